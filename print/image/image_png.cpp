// PNG decoding through libpng's simplified reader, from bytes in memory. Every PNG colour
// type comes out as 24-bit B, G, R; transparent parts are put on white (a card has no
// transparency). A truncated or damaged file is a failure.
#include <png.h>

#include <cstring>

#include "print/image/cx_image.h"

bool CxImage::DecodePng(const uint8_t* data, size_t size) {
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&png, data, size)) {
        const std::string why = std::string("PNG: ") + png.message;
        png_image_free(&png);
        return Fail(why.c_str());
    }
    if (!CxImageSizeAllowed(png.width, png.height)) {
        png_image_free(&png);
        return Fail("PNG: image size outside the allowed range");
    }
    png.format = PNG_FORMAT_BGR;
    if (!Create(static_cast<int>(png.width), static_cast<int>(png.height), 24)) {
        png_image_free(&png);
        return Fail("PNG: out of memory");
    }
    const png_color white{255, 255, 255};
    // A negative stride: the first row in the buffer is the bottom line, as our rows are.
    if (!png_image_finish_read(&png, &white, GetBits(0), -GetEffWidth(), nullptr)) {
        const std::string why = std::string("PNG: ") + png.message;
        png_image_free(&png);
        return Fail(why.c_str());
    }
    png_image_free(&png);
    return true;
}
