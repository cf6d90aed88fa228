// Our own BMP reader, as a file (the first byte picks the form: even = BMP file, odd =
// packed DIB of a memory image, the rest is the input), then written back and read again.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "print/image/cx_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    CxImage image;
    const bool asFile = (data[0] & 1) == 0;
    const bool ok = asFile ? image.Decode(data + 1, size - 1, KD_IMAGE_TYPE_BMP)
                           : image.DecodePackedDib(data + 1, size - 1);
    if (!ok) return 0;
    const std::vector<uint8_t> encoded = image.EncodeBmp();
    CxImage again;
    if (!again.Decode(encoded.data(), encoded.size(), KD_IMAGE_TYPE_BMP)) __builtin_trap();
    if (again.GetWidth() != image.GetWidth() || again.GetHeight() != image.GetHeight()) __builtin_trap();
    return 0;
}
