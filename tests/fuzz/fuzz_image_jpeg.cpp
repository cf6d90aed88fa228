// Decoder entry for JPEG file bytes (libjpeg-turbo): any input decodes to a picture within the size cap or fails
// with a reason; never a crash, a read past the input or an unbounded allocation.
#include <cstddef>
#include <cstdint>

#include "print/image/cx_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CxImage image;
    if (image.Decode(data, size, KD_IMAGE_TYPE_JPG)) {
        // A decoded picture is whole: every row is reachable.
        (void)image.GetBits(image.GetHeight() - 1);
        image.IncreaseBpp(24);
    }
    return 0;
}
