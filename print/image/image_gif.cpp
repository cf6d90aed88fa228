// GIF decoding through giflib, from bytes in memory: the first picture of the file (an
// animation prints its first frame), as an 8-bit palette picture; the transparent colour
// of that frame becomes white. A truncated or damaged file is a failure.
#include <gif_lib.h>

#include <cstring>
#include <vector>

#include "print/image/cx_image.h"

namespace {

struct GifSource {
    const uint8_t* data;
    size_t size;
    size_t position;
};

int ReadGifBytes(GifFileType* gif, GifByteType* buffer, int count) {
    auto* source = static_cast<GifSource*>(gif->UserData);
    if (count <= 0 || source->position >= source->size) return 0;
    const size_t left = source->size - source->position;
    const size_t n = static_cast<size_t>(count) < left ? static_cast<size_t>(count) : left;
    std::memcpy(buffer, source->data + source->position, n);
    source->position += n;
    return static_cast<int>(n);
}

struct GifCloser {
    GifFileType* gif;
    ~GifCloser() {
        int ignored = 0;
        if (gif != nullptr) DGifCloseFile(gif, &ignored);
    }
};

}  // namespace

bool CxImage::DecodeGif(const uint8_t* data, size_t size) {
    GifSource source{data, size, 0};
    int error = 0;
    GifCloser file{DGifOpen(&source, ReadGifBytes, &error)};
    if (file.gif == nullptr) return Fail("GIF: not a GIF file");
    GifFileType* gif = file.gif;
    int transparent = -1;
    for (int records = 0; records < 100000; ++records) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif, &type) == GIF_ERROR) return Fail("GIF: damaged record");
        if (type == TERMINATE_RECORD_TYPE) return Fail("GIF: no picture");
        if (type == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType* block = nullptr;
            if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) return Fail("GIF: damaged extension");
            if (code == GRAPHICS_EXT_FUNC_CODE && block != nullptr && block[0] >= 4)
                transparent = (block[1] & 1) ? block[4] : -1;
            while (block != nullptr)
                if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) return Fail("GIF: damaged extension");
            continue;
        }
        if (type != IMAGE_DESC_RECORD_TYPE) continue;
        if (DGifGetImageDesc(gif) == GIF_ERROR) return Fail("GIF: damaged picture header");
        const int width = gif->Image.Width;
        const int height = gif->Image.Height;
        if (!CxImageSizeAllowed(width, height)) return Fail("GIF: image size outside the allowed range");
        const ColorMapObject* map = gif->Image.ColorMap ? gif->Image.ColorMap : gif->SColorMap;
        if (map == nullptr || map->Colors == nullptr) return Fail("GIF: no colour table");
        if (!Create(width, height, 8)) return Fail("GIF: out of memory");
        std::vector<CxRgbQuad> palette(256, CxRgbQuad{});
        for (int i = 0; i < map->ColorCount && i < 256; ++i)
            palette[i] = CxRgbQuad{map->Colors[i].Blue, map->Colors[i].Green, map->Colors[i].Red, 0};
        if (transparent >= 0 && transparent < 256) palette[transparent] = CxRgbQuad{255, 255, 255, 0};
        SetPalette(palette);
        std::vector<GifPixelType> line(static_cast<size_t>(width));
        // Interlaced pictures arrive in four passes over the lines.
        static constexpr int kStart[4] = {0, 4, 2, 1};
        static constexpr int kStep[4] = {8, 8, 4, 2};
        const int passes = gif->Image.Interlace ? 4 : 1;
        for (int pass = 0; pass < passes; ++pass) {
            const int start = passes == 1 ? 0 : kStart[pass];
            const int step = passes == 1 ? 1 : kStep[pass];
            for (int rowFromTop = start; rowFromTop < height; rowFromTop += step) {
                if (DGifGetLine(gif, line.data(), width) == GIF_ERROR) return Fail("GIF: picture data truncated or damaged");
                std::memcpy(GetBits(height - 1 - rowFromTop), line.data(), static_cast<size_t>(width));
            }
        }
        return true;
    }
    return Fail("GIF: too many records");
}
