// Image-object exports: the library's own image container handed to applications as an
// opaque handle. Return codes: -1 success, -2 operation failed, -3 null image, -4 unknown
// file type. No exception leaves these functions.
#include <new>

#include "diag/log.h"
#include "orvpw.h"
#include "print/image/cx_image.h"

namespace {

constexpr int kImageOk = -1;
constexpr int kImageFailed = -2;
constexpr int kImageNull = -3;
constexpr int kImageUnknownType = -4;

CxImage* AsImage(void* handle) { return static_cast<CxImage*>(handle); }

template <typename Operation>
int Guarded(Operation operation) {
    try {
        return operation();
    } catch (...) {
        return kImageFailed;
    }
}

}  // namespace

extern "C" ORVPW_API void* KD_Image_Init(void) { return new (std::nothrow) CxImage(); }

extern "C" ORVPW_API int KD_Image_Clear(void* image) {
    if (image == nullptr) return kImageFailed;
    delete AsImage(image);
    return kImageOk;
}

extern "C" ORVPW_API int KD_Image_Load(void* image, const char* fileName) {
    const int type = fileName != nullptr ? ImageFileType(fileName) : KD_IMAGE_TYPE_UNKNOWN;
    if (type == KD_IMAGE_TYPE_UNKNOWN) return kImageUnknownType;
    if (image == nullptr) return kImageNull;
    return Guarded([&] {
        if (AsImage(image)->Load(fileName, type)) return kImageOk;
        KD_Log2("Load failed: %s (%s)", fileName, AsImage(image)->LastError().c_str());
        return kImageFailed;
    });
}

extern "C" ORVPW_API int KD_Image_SaveBmp(void* image, const char* fileName) {
    if (image == nullptr) return kImageNull;
    if (fileName == nullptr) return kImageFailed;
    return Guarded([&] { return AsImage(image)->SaveBmp(fileName) ? kImageOk : kImageFailed; });
}

extern "C" ORVPW_API int KD_Image_Draw(void* image, void* deviceContext) {
    if (image == nullptr) return kImageNull;
    // There are no device contexts to draw on here.
    (void)deviceContext;
    return kImageFailed;
}

extern "C" ORVPW_API int KD_Image_DecreaseBpp(void* image, int bpp) {
    if (image == nullptr) return kImageNull;
    return Guarded([&] { return AsImage(image)->DecreaseBpp(bpp) ? kImageOk : kImageFailed; });
}

extern "C" ORVPW_API int KD_Image_GetPixelColor(void* image, int x, int y, uint32_t* color) {
    if (image == nullptr) return kImageNull;
    if (color == nullptr) return kImageFailed;
    const CxRgbQuad c = AsImage(image)->GetPixelColor(x, y);
    *color = (static_cast<uint32_t>(c.reserved) << 24) | (static_cast<uint32_t>(c.red) << 16) |
             (static_cast<uint32_t>(c.green) << 8) | c.blue;
    return kImageOk;
}

extern "C" ORVPW_API int KD_Image_GetHeight(void* image) {
    return image == nullptr ? kImageNull : AsImage(image)->GetHeight();
}

extern "C" ORVPW_API int KD_Image_GetWidth(void* image) {
    return image == nullptr ? kImageNull : AsImage(image)->GetWidth();
}

extern "C" ORVPW_API int KD_Image_GetEffWidth(void* image) {
    return image == nullptr ? kImageNull : AsImage(image)->GetEffWidth();
}

extern "C" ORVPW_API uint8_t* KD_Image_GetBits(void* image, int unused) {
    (void)unused;
    return image == nullptr ? nullptr : AsImage(image)->GetBits(0);
}
