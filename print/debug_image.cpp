// Debug pictures: ink planes as PNG files through libpng's simplified writer.
#include "print/debug_image.h"

#include <png.h>

#include <cstring>
#include <vector>

#include "print/image/cx_image.h"

bool KD_SavePlanePng(const std::string& path, const uint8_t* plane, int width, int rows) {
    if (plane == nullptr || width <= 0 || rows <= 0) return false;
    std::vector<uint8_t> gray(static_cast<size_t>(width) * rows);
    for (size_t i = 0; i < gray.size(); ++i) gray[i] = static_cast<uint8_t>(255 - plane[i]);
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(width);
    png.height = static_cast<png_uint_32>(rows);
    png.format = PNG_FORMAT_GRAY;
    const bool ok = png_image_write_to_file(&png, path.c_str(), 0, gray.data(), width, nullptr) != 0;
    png_image_free(&png);
    return ok;
}

bool KD_SaveImagePng(const std::string& path, const CxImage& image, int scale) {
    if (!image.IsValid() || scale < 1 || scale > 16) return false;
    const int width = image.GetWidth() * scale;
    const int rows = image.GetHeight() * scale;
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * rows * 3);
    for (int j = 0; j < rows; ++j)
        for (int x = 0; x < width; ++x) {
            const CxRgbQuad c = image.GetPixelColor(x / scale, image.GetHeight() - 1 - j / scale);
            uint8_t* out = rgb.data() + (static_cast<size_t>(j) * width + x) * 3;
            out[0] = c.red;
            out[1] = c.green;
            out[2] = c.blue;
        }
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(width);
    png.height = static_cast<png_uint_32>(rows);
    png.format = PNG_FORMAT_RGB;
    const bool ok = png_image_write_to_file(&png, path.c_str(), 0, rgb.data(), width * 3, nullptr) != 0;
    png_image_free(&png);
    return ok;
}
