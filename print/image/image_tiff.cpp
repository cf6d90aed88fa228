// TIFF decoding through libtiff, from bytes in memory (files are read first). Any TIFF
// that libtiff's RGBA interface reads is accepted (first directory only); a picture with
// alpha is put on white. Errors and warnings go to the picture's error text, never stderr.
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

#include <tiffio.h>

#include "print/image/cx_image.h"

namespace {

struct MemoryStream {
    const uint8_t* data;
    toff_t size;
    toff_t position;
    std::string* error;
};

tmsize_t StreamRead(thandle_t handle, void* buffer, tmsize_t count) {
    auto* stream = static_cast<MemoryStream*>(handle);
    if (count <= 0 || stream->position >= stream->size) return 0;
    const toff_t left = stream->size - stream->position;
    const toff_t n = static_cast<toff_t>(count) < left ? static_cast<toff_t>(count) : left;
    std::memcpy(buffer, stream->data + stream->position, static_cast<size_t>(n));
    stream->position += n;
    return static_cast<tmsize_t>(n);
}

tmsize_t StreamWrite(thandle_t, void*, tmsize_t) { return 0; }

toff_t StreamSeek(thandle_t handle, toff_t offset, int whence) {
    auto* stream = static_cast<MemoryStream*>(handle);
    toff_t base = 0;
    if (whence == SEEK_CUR) base = stream->position;
    else if (whence == SEEK_END) base = stream->size;
    // Offsets are unsigned; a seek past the end is allowed and reads nothing.
    stream->position = base + offset;
    return stream->position;
}

int StreamClose(thandle_t) { return 0; }
toff_t StreamSize(thandle_t handle) { return static_cast<MemoryStream*>(handle)->size; }
int StreamMap(thandle_t, void**, toff_t*) { return 0; }
void StreamUnmap(thandle_t, void*, toff_t) {}

int OnTiffError(TIFF*, void* user, const char* module, const char* format, va_list args) {
    auto* error = static_cast<std::string*>(user);
    if (error->empty()) {
        char text[256];
        std::vsnprintf(text, sizeof text, format, args);
        *error = std::string("TIFF: ") + (module ? module : "") + (module ? ": " : "") + text;
    }
    return 1;
}

int OnTiffWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

}  // namespace

bool CxImage::DecodeTiff(const uint8_t* data, size_t size) {
    std::string error;
    MemoryStream stream{data, static_cast<toff_t>(size), 0, &error};
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (options == nullptr) return Fail("TIFF: out of memory");
    TIFFOpenOptionsSetErrorHandlerExtR(options, OnTiffError, &error);
    TIFFOpenOptionsSetWarningHandlerExtR(options, OnTiffWarning, nullptr);
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, static_cast<tmsize_t>(kMaxPixels) * 4 + 4096);
    // "rm": read, never memory-map.
    TIFF* tif = TIFFClientOpenExt("memory", "rm", &stream, StreamRead, StreamWrite, StreamSeek,
                                  StreamClose, StreamSize, StreamMap, StreamUnmap, options);
    TIFFOpenOptionsFree(options);
    if (tif == nullptr) return Fail(error.empty() ? "TIFF: not a TIFF file" : error.c_str());
    uint32_t width = 0;
    uint32_t height = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
    if (!CxImageSizeAllowed(width, height)) {
        TIFFClose(tif);
        return Fail("TIFF: image size outside the allowed range");
    }
    std::vector<uint32_t> raster(static_cast<size_t>(width) * height);
    const int ok = TIFFReadRGBAImageOriented(tif, width, height, raster.data(),
                                             ORIENTATION_BOTLEFT, 1);
    TIFFClose(tif);
    if (!ok || !error.empty()) return Fail(error.empty() ? "TIFF: decode failed" : error.c_str());
    if (!Create(static_cast<int>(width), static_cast<int>(height), 24))
        return Fail("TIFF: out of memory");
    for (uint32_t row = 0; row < height; ++row) {
        const uint32_t* src = raster.data() + static_cast<size_t>(row) * width;
        uint8_t* dst = GetBits(static_cast<int>(row));
        for (uint32_t x = 0; x < width; ++x) {
            const uint32_t p = src[x];
            const uint32_t a = TIFFGetA(p);
            // Unassociated alpha over white.
            auto over = [a](uint32_t c) { return static_cast<uint8_t>((c * a + 255 * (255 - a)) / 255); };
            dst[3 * x] = over(TIFFGetB(p));
            dst[3 * x + 1] = over(TIFFGetG(p));
            dst[3 * x + 2] = over(TIFFGetR(p));
        }
    }
    return true;
}
