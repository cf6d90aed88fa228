// Turns a picture the image container reads (BMP golden pictures, debug images, fixtures)
// into a PNG a person can look at.  Usage: image_to_png <in> <out.png> [scale]
#include <cstdio>
#include <cstdlib>

#include "print/debug_image.h"
#include "print/image/cx_image.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <in.bmp|jpg|png|tif|gif> <out.png> [scale 1..16]\n", argv[0]);
        return 2;
    }
    CxImage image;
    if (!image.Load(argv[1], ImageFileType(argv[1]))) {
        std::fprintf(stderr, "%s: %s\n", argv[1], image.LastError().c_str());
        return 1;
    }
    const int scale = argc > 3 ? std::atoi(argv[3]) : 1;
    if (!KD_SaveImagePng(argv[2], image, scale)) {
        std::fprintf(stderr, "cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
