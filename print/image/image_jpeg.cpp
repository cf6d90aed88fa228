// JPEG decoding through libjpeg-turbo, from bytes in memory (files are read first). The
// decoder's fatal errors come back through longjmp into this file only; no C++ object with
// a destructor lives in the frame that calls setjmp. A truncated or corrupt stream is a
// failure (libjpeg would otherwise fill the rest with gray and print it).
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>
#include <jerror.h>

#include "print/image/cx_image.h"

namespace {

// Memory the decoder may use for one picture (coefficient buffers of progressive files);
// beyond it the decode fails instead of growing.
constexpr long kJpegMemoryLimit = 768L << 20;

struct JpegErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    bool dataWarning;
};

void OnJpegError(j_common_ptr cinfo) {
    auto* manager = reinterpret_cast<JpegErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, manager->message);
    std::longjmp(manager->jump, 1);
}

void OnJpegMessage(j_common_ptr cinfo, int level) {
    auto* manager = reinterpret_cast<JpegErrorManager*>(cinfo->err);
    // Level -1 is a warning about the data; extraneous bytes between markers are harmless.
    if (level < 0 && cinfo->err->msg_code != JWRN_EXTRANEOUS_DATA && !manager->dataWarning) {
        manager->dataWarning = true;
        (*cinfo->err->format_message)(cinfo, manager->message);
    }
}

// Returns 0 on success, else fills `why`. Keeps only C objects in its frame.
int DecodeJpegStream(CxImage& image, const uint8_t* data, size_t size, char* why, size_t whySize) {
    jpeg_decompress_struct cinfo;
    JpegErrorManager errors;
    std::memset(&errors, 0, sizeof errors);
    cinfo.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = OnJpegError;
    errors.base.emit_message = OnJpegMessage;
    if (setjmp(errors.jump)) {
        std::snprintf(why, whySize, "JPEG: %s", errors.message);
        jpeg_destroy_decompress(&cinfo);
        return 1;
    }
    jpeg_create_decompress(&cinfo);
    cinfo.mem->max_memory_to_use = kJpegMemoryLimit;
    jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
    if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK) {
        std::snprintf(why, whySize, "JPEG: no image");
        jpeg_destroy_decompress(&cinfo);
        return 1;
    }
    if (!CxImageSizeAllowed(cinfo.image_width, cinfo.image_height)) {
        std::snprintf(why, whySize, "JPEG: image size outside the allowed range");
        jpeg_destroy_decompress(&cinfo);
        return 1;
    }
    const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGR;
    jpeg_start_decompress(&cinfo);
    const int width = static_cast<int>(cinfo.output_width);
    const int height = static_cast<int>(cinfo.output_height);
    if (!image.Create(width, height, 24)) {
        std::snprintf(why, whySize, "JPEG: out of memory");
        jpeg_destroy_decompress(&cinfo);
        return 1;
    }
    // CMYK rows need a wider buffer; one row of width x 4 at most.
    JSAMPLE* cmykRow = nullptr;
    if (cmyk) {
        cmykRow = static_cast<JSAMPLE*>((*cinfo.mem->alloc_large)(
            reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE, static_cast<size_t>(width) * 4));
    }
    const bool inverted = cinfo.saw_Adobe_marker;
    while (cinfo.output_scanline < cinfo.output_height) {
        const int line = static_cast<int>(cinfo.output_scanline);
        uint8_t* dst = image.GetBits(height - 1 - line);
        if (!cmyk) {
            JSAMPROW rows[1] = {dst};
            jpeg_read_scanlines(&cinfo, rows, 1);
            continue;
        }
        JSAMPROW rows[1] = {cmykRow};
        jpeg_read_scanlines(&cinfo, rows, 1);
        for (int x = 0; x < width; ++x) {
            int c = cmykRow[4 * x];
            int m = cmykRow[4 * x + 1];
            int y = cmykRow[4 * x + 2];
            int k = cmykRow[4 * x + 3];
            if (!inverted) {
                c = 255 - c;
                m = 255 - m;
                y = 255 - y;
                k = 255 - k;
            }
            dst[3 * x] = static_cast<uint8_t>(y * k / 255);
            dst[3 * x + 1] = static_cast<uint8_t>(m * k / 255);
            dst[3 * x + 2] = static_cast<uint8_t>(c * k / 255);
        }
    }
    if (errors.dataWarning) {
        std::snprintf(why, whySize, "JPEG: %s", errors.message);
        jpeg_destroy_decompress(&cinfo);
        return 1;
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    if (errors.dataWarning) {
        std::snprintf(why, whySize, "JPEG: %s", errors.message);
        return 1;
    }
    return 0;
}

}  // namespace

bool CxImage::DecodeJpeg(const uint8_t* data, size_t size) {
    char why[JMSG_LENGTH_MAX + 16] = {};
    if (DecodeJpegStream(*this, data, size, why, sizeof why) != 0) return Fail(why);
    return true;
}
