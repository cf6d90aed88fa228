// BMP files and packed DIBs: our own reader and writer. Read: core (12-byte) and
// info headers of 40 bytes and up, 1/4/8 bpp with palette, 16/24/32 bpp plain or with bit
// fields, bottom-up or top-down rows. Run-length compressed bitmaps are refused.
// Every size read from the file is checked against the bytes present before it is used.
#include <cstring>

#include "print/image/cx_image.h"

namespace {

uint32_t U16(const uint8_t* p) { return static_cast<uint32_t>(p[0] | (p[1] << 8)); }
uint32_t U32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
void Put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiBitfields = 3;
constexpr uint32_t kBiAlphaBitfields = 6;
constexpr uint32_t kDotsPerMetre = 11811;  // 300 dpi

// Value of a masked channel scaled to 0..255.
uint8_t MaskedChannel(uint32_t pixel, uint32_t mask) {
    if (mask == 0) return 0;
    int shift = 0;
    while (((mask >> shift) & 1) == 0) ++shift;
    const uint32_t max = mask >> shift;
    const uint32_t value = (pixel & mask) >> shift;
    return static_cast<uint8_t>(max == 0 ? 0 : (value * 255 + max / 2) / max);
}

}  // namespace

// The DIB part (header, palette, pixels) starting at `dib`; `pixels` points to the pixel
// array when a file header gave its offset, else null (it follows the palette).
static bool DecodeDib(CxImage& image, const uint8_t* dib, size_t size, const uint8_t* pixels,
                      size_t pixelBytes, std::string& error) {
    if (size < 12) return error = "bitmap header truncated", false;
    const uint32_t headerSize = U32(dib);
    int64_t width = 0;
    int64_t height = 0;
    uint32_t bpp = 0;
    uint32_t compression = kBiRgb;
    uint32_t coloursUsed = 0;
    size_t paletteEntrySize = 4;
    uint32_t masks[3] = {0, 0, 0};
    size_t afterHeader = headerSize;
    if (headerSize == 12) {
        width = U16(dib + 4);
        height = static_cast<int16_t>(U16(dib + 6));
        bpp = U16(dib + 10);
        paletteEntrySize = 3;
    } else if (headerSize >= 40 && headerSize <= 1024) {
        if (size < headerSize) return error = "bitmap header truncated", false;
        width = static_cast<int32_t>(U32(dib + 4));
        height = static_cast<int32_t>(U32(dib + 8));
        bpp = U16(dib + 14);
        compression = U32(dib + 16);
        coloursUsed = U32(dib + 32);
        if (compression == kBiBitfields || compression == kBiAlphaBitfields) {
            if (headerSize >= 52) {
                masks[0] = U32(dib + 40);
                masks[1] = U32(dib + 44);
                masks[2] = U32(dib + 48);
            } else {
                if (size < headerSize + 12) return error = "bit field masks truncated", false;
                masks[0] = U32(dib + headerSize);
                masks[1] = U32(dib + headerSize + 4);
                masks[2] = U32(dib + headerSize + 8);
                afterHeader += compression == kBiAlphaBitfields ? 16 : 12;
            }
        } else if (compression != kBiRgb) {
            return error = "compressed bitmaps are not supported", false;
        }
    } else {
        return error = "unknown bitmap header size", false;
    }
    const bool topDown = height < 0;
    if (topDown) height = -height;
    if (!CxImageSizeAllowed(width, height)) return error = "bitmap size outside the allowed range", false;
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)
        return error = "unsupported bits per pixel", false;
    if ((compression == kBiBitfields || compression == kBiAlphaBitfields) && bpp != 16 && bpp != 32)
        return error = "bit fields need 16 or 32 bpp", false;

    std::vector<CxRgbQuad> palette;
    if (bpp <= 8) {
        const uint32_t maxColours = 1u << bpp;
        const uint32_t colours = (coloursUsed == 0 || coloursUsed > maxColours) ? maxColours : coloursUsed;
        if (afterHeader + static_cast<size_t>(colours) * paletteEntrySize > size)
            return error = "palette truncated", false;
        for (uint32_t i = 0; i < colours; ++i) {
            const uint8_t* entry = dib + afterHeader + i * paletteEntrySize;
            palette.push_back(CxRgbQuad{entry[0], entry[1], entry[2], 0});
        }
        afterHeader += static_cast<size_t>(colours) * paletteEntrySize;
    }
    if (pixels == nullptr) {
        if (afterHeader > size) return error = "pixel data missing", false;
        pixels = dib + afterHeader;
        pixelBytes = size - afterHeader;
    }
    const int w = static_cast<int>(width);
    const int h = static_cast<int>(height);
    const size_t stride = static_cast<size_t>(CxImageStride(w, static_cast<int>(bpp)));
    // The last row need not be padded.
    const size_t lastRow = (static_cast<size_t>(bpp) * w + 7) / 8;
    if (stride * (h - 1) + lastRow > pixelBytes) return error = "pixel data truncated", false;

    const int outBpp = bpp <= 8 ? static_cast<int>(bpp) : 24;
    if (!image.Create(w, h, outBpp)) return error = "out of memory", false;
    if (bpp <= 8) image.SetPalette(palette);
    if (bpp == 16 && masks[0] == 0 && masks[1] == 0 && masks[2] == 0) {
        masks[0] = 0x7C00;
        masks[1] = 0x03E0;
        masks[2] = 0x001F;
    }
    for (int row = 0; row < h; ++row) {
        const uint8_t* src = pixels + stride * static_cast<size_t>(topDown ? h - 1 - row : row);
        uint8_t* dst = image.GetBits(row);
        if (bpp <= 8 || bpp == 24) {
            std::memcpy(dst, src, row == (topDown ? 0 : h - 1) ? lastRow : stride);
            continue;
        }
        for (int x = 0; x < w; ++x) {
            if (bpp == 32 && masks[0] == 0 && masks[1] == 0 && masks[2] == 0) {
                dst[3 * x] = src[4 * x];
                dst[3 * x + 1] = src[4 * x + 1];
                dst[3 * x + 2] = src[4 * x + 2];
                continue;
            }
            const uint32_t pixel = bpp == 16 ? U16(src + 2 * x) : U32(src + 4 * x);
            dst[3 * x] = MaskedChannel(pixel, masks[2]);
            dst[3 * x + 1] = MaskedChannel(pixel, masks[1]);
            dst[3 * x + 2] = MaskedChannel(pixel, masks[0]);
        }
    }
    return true;
}

bool CxImage::DecodeBmp(const uint8_t* data, size_t size) {
    if (size < 14 + 12 || data[0] != 'B' || data[1] != 'M') return Fail("not a BMP file");
    const uint32_t offset = U32(data + 10);
    if (offset < 14 + 12 || offset >= size) return Fail("pixel offset outside the file");
    return DecodeDib(*this, data + 14, size - 14, data + offset, size - offset, m_lastError);
}

bool CxImage::DecodePackedDib(const uint8_t* data, size_t size) {
    Destroy();
    if (data == nullptr || size == 0) return Fail("no data");
    if (size > kMaxInputBytes) return Fail("data larger than the input cap");
    if (!DecodeDib(*this, data, size, nullptr, 0, m_lastError)) {
        const std::string why = m_lastError;
        Destroy();
        m_lastError = why;
        return false;
    }
    return true;
}

std::vector<uint8_t> CxImage::EncodeBmp() const {
    std::vector<uint8_t> out;
    if (!IsValid()) return out;
    const uint32_t colours = m_bpp <= 8 ? (1u << m_bpp) : 0;
    const uint32_t offset = 14 + 40 + 4 * colours;
    const uint32_t imageBytes = static_cast<uint32_t>(m_bits.size());
    out.reserve(offset + imageBytes);
    out.push_back('B');
    out.push_back('M');
    Put32(out, offset + imageBytes);
    Put32(out, 0);
    Put32(out, offset);
    Put32(out, 40);
    Put32(out, static_cast<uint32_t>(m_width));
    Put32(out, static_cast<uint32_t>(m_height));
    Put16(out, 1);
    Put16(out, static_cast<uint32_t>(m_bpp));
    Put32(out, kBiRgb);
    Put32(out, imageBytes);
    Put32(out, kDotsPerMetre);
    Put32(out, kDotsPerMetre);
    Put32(out, colours);
    Put32(out, 0);
    for (uint32_t i = 0; i < colours; ++i) {
        const CxRgbQuad c = i < m_palette.size() ? m_palette[i] : CxRgbQuad{};
        out.push_back(c.blue);
        out.push_back(c.green);
        out.push_back(c.red);
        out.push_back(0);
    }
    out.insert(out.end(), m_bits.begin(), m_bits.end());
    return out;
}
