// The image container: life, geometry, pixel access, depth changes, rotations and the
// filters. The codecs live in one file each (image_bmp.cpp, image_jpeg.cpp, ...).
#include "print/image/cx_image.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/files.h"

namespace {

inline uint8_t ClampByte(int value) {
    return static_cast<uint8_t>(value < 0 ? 0 : (value > 255 ? 255 : value));
}

inline uint8_t Luminance(int r, int g, int b) {
    return static_cast<uint8_t>((306 * r + 601 * g + 117 * b) >> 10);
}

}  // namespace

int CxImageStride(int width, int bpp) {
    return static_cast<int>(((static_cast<int64_t>(bpp) * width + 31) / 32) * 4);
}

bool CxImageSizeAllowed(int64_t width, int64_t height) {
    return width > 0 && height > 0 && width <= CxImage::kMaxSide && height <= CxImage::kMaxSide &&
           width * height <= CxImage::kMaxPixels;
}

int ImageFileType(const std::string& fileName) {
    const size_t dot = fileName.rfind('.');
    if (dot == std::string::npos) return KD_IMAGE_TYPE_UNKNOWN;
    const std::string ext = fileName.substr(dot + 1);
    if (ext == "bmp") return KD_IMAGE_TYPE_BMP;
    if (ext == "jpg" || ext == "jpeg") return KD_IMAGE_TYPE_JPG;
    if (ext == "tif" || ext == "tiff") return KD_IMAGE_TYPE_TIF;
    if (ext == "png") return KD_IMAGE_TYPE_PNG;
    if (ext == "gif") return KD_IMAGE_TYPE_GIF;
    return KD_IMAGE_TYPE_UNKNOWN;
}

// ---- Life ------------------------------------------------------------------------------

bool CxImage::Create(int width, int height, int bpp) {
    Destroy();
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24) return Fail("unsupported bits per pixel");
    if (!CxImageSizeAllowed(width, height)) return Fail("image size outside the allowed range");
    m_width = width;
    m_height = height;
    m_bpp = bpp;
    m_effWidth = CxImageStride(width, bpp);
    m_bits.assign(static_cast<size_t>(m_effWidth) * static_cast<size_t>(height), 0);
    if (bpp <= 8) SetGrayPalette();
    return true;
}

void CxImage::Destroy() {
    m_width = m_height = m_bpp = m_effWidth = 0;
    m_bits.clear();
    m_bits.shrink_to_fit();
    m_palette.clear();
}

void CxImage::Clear(uint8_t value) { std::fill(m_bits.begin(), m_bits.end(), value); }

bool CxImage::Fail(const char* why) {
    m_lastError = why;
    return false;
}

// ---- Codecs ----------------------------------------------------------------------------

bool CxImage::Load(const std::string& path, int type) {
    Destroy();
    const int64_t size = plat::FileSize(path);
    if (size < 0) return Fail("file not found");
    if (size == 0) return Fail("empty file");
    if (static_cast<uint64_t>(size) > kMaxInputBytes) return Fail("file larger than the input cap");
    std::string contents;
    if (!plat::ReadWholeFile(path, contents)) return Fail("file cannot be read");
    return Decode(reinterpret_cast<const uint8_t*>(contents.data()), contents.size(), type);
}

bool CxImage::Decode(const uint8_t* data, size_t size, int type) {
    Destroy();
    m_lastError.clear();
    if (data == nullptr || size == 0) return Fail("no data");
    if (size > kMaxInputBytes) return Fail("data larger than the input cap");
    bool ok = false;
    switch (type) {
        case KD_IMAGE_TYPE_BMP: ok = DecodeBmp(data, size); break;
        case KD_IMAGE_TYPE_JPG: ok = DecodeJpeg(data, size); break;
        case KD_IMAGE_TYPE_TIF: ok = DecodeTiff(data, size); break;
        case KD_IMAGE_TYPE_PNG: ok = DecodePng(data, size); break;
        case KD_IMAGE_TYPE_GIF: ok = DecodeGif(data, size); break;
        default: return Fail("unknown image type");
    }
    if (!ok) {
        const std::string why = m_lastError;
        Destroy();
        m_lastError = why.empty() ? "decode failed" : why;
    }
    return ok;
}

bool CxImage::SaveBmp(const std::string& path) const {
    if (!IsValid()) return false;
    const std::vector<uint8_t> bytes = EncodeBmp();
    return plat::WriteWholeFileAtomic(
        path, std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

// ---- Pixels ----------------------------------------------------------------------------

uint8_t* CxImage::GetBits(int row) {
    if (!IsValid() || row < 0 || row >= m_height) return nullptr;
    return m_bits.data() + static_cast<size_t>(row) * m_effWidth;
}

const uint8_t* CxImage::GetBits(int row) const {
    if (!IsValid() || row < 0 || row >= m_height) return nullptr;
    return m_bits.data() + static_cast<size_t>(row) * m_effWidth;
}

uint8_t CxImage::GetPixelIndex(int x, int y) const {
    const uint8_t* line = GetBits(y);
    if (line == nullptr || x < 0 || x >= m_width) return 0;
    switch (m_bpp) {
        case 1: return (line[x >> 3] >> (7 - (x & 7))) & 1;
        case 4: return (x & 1) ? (line[x >> 1] & 0x0F) : (line[x >> 1] >> 4);
        case 8: return line[x];
        default: return 0;
    }
}

void CxImage::SetPixelIndex(int x, int y, uint8_t index) {
    uint8_t* line = GetBits(y);
    if (line == nullptr || x < 0 || x >= m_width) return;
    switch (m_bpp) {
        case 1: {
            const uint8_t mask = static_cast<uint8_t>(0x80 >> (x & 7));
            line[x >> 3] = (index & 1) ? (line[x >> 3] | mask) : (line[x >> 3] & ~mask);
            break;
        }
        case 4:
            if (x & 1) line[x >> 1] = static_cast<uint8_t>((line[x >> 1] & 0xF0) | (index & 0x0F));
            else line[x >> 1] = static_cast<uint8_t>((line[x >> 1] & 0x0F) | (index << 4));
            break;
        case 8: line[x] = index; break;
        default: break;
    }
}

CxRgbQuad CxImage::GetPixelColor(int x, int y) const {
    const uint8_t* line = GetBits(y);
    if (line == nullptr || x < 0 || x >= m_width) return {};
    if (m_bpp == 24) return CxRgbQuad{line[3 * x], line[3 * x + 1], line[3 * x + 2], 0};
    const uint8_t index = GetPixelIndex(x, y);
    return index < m_palette.size() ? m_palette[index] : CxRgbQuad{};
}

void CxImage::SetPixelColor(int x, int y, CxRgbQuad color) {
    uint8_t* line = GetBits(y);
    if (line == nullptr || x < 0 || x >= m_width) return;
    if (m_bpp == 24) {
        line[3 * x] = color.blue;
        line[3 * x + 1] = color.green;
        line[3 * x + 2] = color.red;
        return;
    }
    // Palette pictures take the nearest entry.
    int best = 0;
    int bestDistance = 1 << 30;
    for (size_t i = 0; i < m_palette.size(); ++i) {
        const int db = m_palette[i].blue - color.blue;
        const int dg = m_palette[i].green - color.green;
        const int dr = m_palette[i].red - color.red;
        const int distance = db * db + dg * dg + dr * dr;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = static_cast<int>(i);
        }
    }
    SetPixelIndex(x, y, static_cast<uint8_t>(best));
}

void CxImage::SetPalette(const std::vector<CxRgbQuad>& palette) {
    if (m_bpp > 8) return;
    m_palette.assign(size_t{1} << m_bpp, CxRgbQuad{});
    std::copy_n(palette.begin(), std::min(palette.size(), m_palette.size()), m_palette.begin());
}

void CxImage::SetGrayPalette() {
    if (m_bpp > 8) return;
    const int colours = 1 << m_bpp;
    m_palette.resize(colours);
    for (int i = 0; i < colours; ++i) {
        const uint8_t v = static_cast<uint8_t>(i * 255 / (colours - 1));
        m_palette[i] = CxRgbQuad{v, v, v, 0};
    }
}

bool CxImage::IsGrayScale() const {
    if (m_bpp > 8 || m_palette.empty()) return false;
    for (const CxRgbQuad& entry : m_palette)
        if (entry.red != entry.green || entry.green != entry.blue) return false;
    return true;
}

std::vector<uint8_t> CxImage::LuminanceRows() const {
    std::vector<uint8_t> plane(static_cast<size_t>(m_width) * m_height);
    uint8_t paletteLum[256] = {};
    for (size_t i = 0; i < m_palette.size() && i < 256; ++i)
        paletteLum[i] = Luminance(m_palette[i].red, m_palette[i].green, m_palette[i].blue);
    for (int y = 0; y < m_height; ++y) {
        const uint8_t* line = GetBits(y);
        uint8_t* out = plane.data() + static_cast<size_t>(y) * m_width;
        if (m_bpp == 24) {
            for (int x = 0; x < m_width; ++x)
                out[x] = Luminance(line[3 * x + 2], line[3 * x + 1], line[3 * x]);
        } else if (m_bpp == 8) {
            for (int x = 0; x < m_width; ++x) out[x] = paletteLum[line[x]];
        } else {
            for (int x = 0; x < m_width; ++x) out[x] = paletteLum[GetPixelIndex(x, y)];
        }
    }
    return plane;
}

// ---- Depth -----------------------------------------------------------------------------

bool CxImage::IncreaseBpp(int bpp) {
    if (!IsValid() || bpp != 24) return false;
    if (m_bpp == 24) return true;
    CxImage wide;
    if (!wide.Create(m_width, m_height, 24)) return false;
    for (int y = 0; y < m_height; ++y) {
        uint8_t* out = wide.GetBits(y);
        for (int x = 0; x < m_width; ++x) {
            const uint8_t index = GetPixelIndex(x, y);
            const CxRgbQuad c = index < m_palette.size() ? m_palette[index] : CxRgbQuad{};
            out[3 * x] = c.blue;
            out[3 * x + 1] = c.green;
            out[3 * x + 2] = c.red;
        }
    }
    *this = std::move(wide);
    return true;
}

bool CxImage::DecreaseBpp(int bpp) {
    if (!IsValid()) return false;
    if (bpp == m_bpp && (bpp == 24 || IsGrayScale())) return true;
    if (bpp != 1 && bpp != 4 && bpp != 8) return false;
    if (m_bpp < bpp) return false;
    const std::vector<uint8_t> lum = LuminanceRows();
    CxImage narrow;
    if (!narrow.Create(m_width, m_height, bpp)) return false;
    for (int y = 0; y < m_height; ++y) {
        const uint8_t* in = lum.data() + static_cast<size_t>(y) * m_width;
        for (int x = 0; x < m_width; ++x) {
            const uint8_t v = in[x];
            narrow.SetPixelIndex(x, y, bpp == 8 ? v : (bpp == 4 ? v >> 4 : (v >= 128 ? 1 : 0)));
        }
    }
    *this = std::move(narrow);
    return true;
}

// ---- Geometry --------------------------------------------------------------------------

namespace {

// Moves one pixel between two pictures of the same depth.
inline void CopyPixel(const CxImage& from, int fx, int fy, CxImage& to, int tx, int ty,
                      int bytesPerPixel) {
    if (bytesPerPixel > 0) {
        std::memcpy(to.GetBits(ty) + static_cast<size_t>(tx) * bytesPerPixel,
                    from.GetBits(fy) + static_cast<size_t>(fx) * bytesPerPixel, bytesPerPixel);
    } else {
        to.SetPixelIndex(tx, ty, from.GetPixelIndex(fx, fy));
    }
}

// new memory (row m, column x) = old memory (row, column) given by `source`.
template <typename SourceOf>
bool Remap(CxImage& image, int newWidth, int newHeight, SourceOf source) {
    CxImage out;
    if (!out.Create(newWidth, newHeight, image.GetBpp())) return false;
    out.SetPalette(image.GetPalette());
    const int bytesPerPixel = image.GetBpp() >= 8 ? image.GetBpp() / 8 : 0;
    for (int m = 0; m < newHeight; ++m) {
        if (bytesPerPixel == 3) {
            uint8_t* dst = out.GetBits(m);
            for (int x = 0; x < newWidth; ++x) {
                int fx = 0;
                int fy = 0;
                source(m, x, fx, fy);
                const uint8_t* src = image.GetBits(fy) + 3 * fx;
                dst[3 * x] = src[0];
                dst[3 * x + 1] = src[1];
                dst[3 * x + 2] = src[2];
            }
            continue;
        }
        for (int x = 0; x < newWidth; ++x) {
            int fx = 0;
            int fy = 0;
            source(m, x, fx, fy);
            CopyPixel(image, fx, fy, out, x, m, bytesPerPixel);
        }
    }
    image = std::move(out);
    return true;
}

}  // namespace

bool CxImage::RotateRight() {
    if (!IsValid()) return false;
    const int w = m_width;
    // The new top-left corner is the old bottom-left corner.
    return Remap(*this, m_height, m_width, [w](int m, int x, int& fx, int& fy) {
        fx = w - 1 - m;
        fy = x;
    });
}

bool CxImage::RotateLeft() {
    if (!IsValid()) return false;
    const int h = m_height;
    return Remap(*this, m_height, m_width, [h](int m, int x, int& fx, int& fy) {
        fx = m;
        fy = h - 1 - x;
    });
}

bool CxImage::Rotate180() {
    if (!IsValid()) return false;
    const int w = m_width;
    const int h = m_height;
    return Remap(*this, w, h, [w, h](int m, int x, int& fx, int& fy) {
        fx = w - 1 - x;
        fy = h - 1 - m;
    });
}

bool CxImage::Mirror() {
    if (!IsValid()) return false;
    const int w = m_width;
    return Remap(*this, w, m_height, [w](int m, int x, int& fx, int& fy) {
        fx = w - 1 - x;
        fy = m;
    });
}

bool CxImage::Negative() {
    if (!IsValid()) return false;
    if (m_bpp == 24) {
        for (uint8_t& b : m_bits) b = static_cast<uint8_t>(255 - b);
    } else {
        for (CxRgbQuad& c : m_palette) {
            c.red = static_cast<uint8_t>(255 - c.red);
            c.green = static_cast<uint8_t>(255 - c.green);
            c.blue = static_cast<uint8_t>(255 - c.blue);
        }
    }
    return true;
}

bool CxImage::Crop(int left, int top, int right, int bottom) {
    if (!IsValid()) return false;
    left = std::max(left, 0);
    top = std::max(top, 0);
    right = std::min(right, m_width);
    bottom = std::min(bottom, m_height);
    if (right <= left || bottom <= top) return false;
    const int h = m_height;
    const int newHeight = bottom - top;
    return Remap(*this, right - left, newHeight,
                 [left, top, h, newHeight](int m, int x, int& fx, int& fy) {
                     const int rowFromTop = top + (newHeight - 1 - m);
                     fx = left + x;
                     fy = h - 1 - rowFromTop;
                 });
}

bool CxImage::Resample(int newWidth, int newHeight) {
    if (!IsValid() || !CxImageSizeAllowed(newWidth, newHeight)) return false;
    const int64_t w = m_width;
    const int64_t h = m_height;
    return Remap(*this, newWidth, newHeight,
                 [w, h, newWidth, newHeight](int m, int x, int& fx, int& fy) {
                     const int64_t rowFromTop = newHeight - 1 - m;
                     fx = static_cast<int>(x * w / newWidth);
                     fy = static_cast<int>(h - 1 - rowFromTop * h / newHeight);
                 });
}

// ---- Halftoning ------------------------------------------------------------------------

bool CxImage::Dither(int method) {
    if (!IsValid() || (m_bpp != 24 && m_bpp != 8)) return false;
    static constexpr uint8_t kClustered[4][4] = {
        {12, 5, 6, 13}, {4, 0, 1, 7}, {11, 3, 2, 8}, {15, 10, 9, 14}};
    static constexpr uint8_t kBayer[4][4] = {
        {0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
    switch (method) {
        case KD_DITHER_ORDERED_MULTILEVEL: return DitherOrdered(kClustered, 16);
        case KD_DITHER_BAYER: return DitherOrdered(kBayer, 16);
        case KD_DITHER_JARVIS: return DitherDiffusion(true);
        default: return DitherDiffusion(false);
    }
}

bool CxImage::DitherOrdered(const uint8_t (&matrix)[4][4], int levels) {
    const std::vector<uint8_t> lum = LuminanceRows();
    CxImage out;
    if (!out.Create(m_width, m_height, 1)) return false;
    const int step = 256 / levels;
    for (int m = 0; m < m_height; ++m) {
        const int rowFromTop = m_height - 1 - m;
        const uint8_t* in = lum.data() + static_cast<size_t>(m) * m_width;
        uint8_t* dst = out.GetBits(m);
        for (int x = 0; x < m_width; ++x) {
            const int threshold = matrix[rowFromTop & 3][x & 3] * step + step / 2;
            if (in[x] >= threshold) dst[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
        }
    }
    *this = std::move(out);
    return true;
}

bool CxImage::DitherDiffusion(bool jarvis) {
    const std::vector<uint8_t> lum = LuminanceRows();
    CxImage out;
    if (!out.Create(m_width, m_height, 1)) return false;
    const int w = m_width;
    const int pad = 2;
    // Error rows: current and the next two lines, each with two guard cells a side.
    std::vector<int> rows(static_cast<size_t>(3) * (w + 2 * pad), 0);
    int* e0 = rows.data() + pad;
    int* e1 = e0 + (w + 2 * pad);
    int* e2 = e1 + (w + 2 * pad);
    for (int rowFromTop = 0; rowFromTop < m_height; ++rowFromTop) {
        const int m = m_height - 1 - rowFromTop;
        const uint8_t* in = lum.data() + static_cast<size_t>(m) * w;
        uint8_t* dst = out.GetBits(m);
        if (jarvis) {
            for (int x = 0; x < w; ++x) {
                const int v = in[x] + e0[x] / 48;
                const int target = v >= 128 ? 255 : 0;
                if (target) dst[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
                const int err = v - target;
                e0[x + 1] += 7 * err;
                e0[x + 2] += 5 * err;
                e1[x - 2] += 3 * err;
                e1[x - 1] += 5 * err;
                e1[x] += 7 * err;
                e1[x + 1] += 5 * err;
                e1[x + 2] += 3 * err;
                e2[x - 2] += err;
                e2[x - 1] += 3 * err;
                e2[x] += 5 * err;
                e2[x + 1] += 3 * err;
                e2[x + 2] += err;
            }
        } else {
            for (int x = 0; x < w; ++x) {
                const int v = in[x] + (e0[x] >> 4);
                const int target = v >= 128 ? 255 : 0;
                if (target) dst[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
                const int err = v - target;
                e0[x + 1] += 7 * err;
                e1[x - 1] += 3 * err;
                e1[x] += 5 * err;
                e1[x + 1] += err;
            }
        }
        // Rotate the error rows: the next line's row becomes current, a cleared row last.
        int* done = e0;
        e0 = e1;
        e1 = e2;
        e2 = done;
        std::fill(e2 - pad, e2 + w + pad, 0);
    }
    *this = std::move(out);
    return true;
}

// ---- Filters ---------------------------------------------------------------------------

namespace {

// Bytes per pixel of the filterable depths (8 gray, 24 colour); 0 otherwise.
int FilterChannels(const CxImage& image) {
    if (!image.IsValid()) return 0;
    if (image.GetBpp() == 24) return 3;
    if (image.GetBpp() == 8) return 1;
    return 0;
}

// Separable Gaussian of the pixel bytes into `out` (same layout as the picture).
void BlurBytes(const CxImage& image, float sigma, std::vector<uint8_t>& out) {
    const int channels = FilterChannels(image);
    const int w = image.GetWidth();
    const int h = image.GetHeight();
    const int stride = image.GetEffWidth();
    const int radius = std::max(1, static_cast<int>(std::ceil(sigma * 3.0f)));
    std::vector<int> kernel(2 * radius + 1);
    double total = 0;
    std::vector<double> weights(2 * radius + 1);
    for (int i = -radius; i <= radius; ++i) {
        weights[i + radius] = std::exp(-(double(i) * i) / (2.0 * sigma * sigma));
        total += weights[i + radius];
    }
    for (int i = 0; i <= 2 * radius; ++i)
        kernel[i] = static_cast<int>(std::lround(weights[i] / total * 65536.0));
    std::vector<uint32_t> across(static_cast<size_t>(w) * channels * h);
    for (int y = 0; y < h; ++y) {
        const uint8_t* line = image.GetBits(y);
        uint32_t* dst = across.data() + static_cast<size_t>(y) * w * channels;
        for (int x = 0; x < w; ++x) {
            for (int c = 0; c < channels; ++c) {
                uint32_t sum = 0;
                for (int k = -radius; k <= radius; ++k) {
                    const int sx = std::clamp(x + k, 0, w - 1);
                    sum += static_cast<uint32_t>(kernel[k + radius]) * line[sx * channels + c];
                }
                dst[x * channels + c] = sum;  // 8.16 fixed point
            }
        }
    }
    out.assign(static_cast<size_t>(stride) * h, 0);
    for (int y = 0; y < h; ++y) {
        uint8_t* dst = out.data() + static_cast<size_t>(y) * stride;
        for (int i = 0; i < w * channels; ++i) {
            uint64_t sum = 0;
            for (int k = -radius; k <= radius; ++k) {
                const int sy = std::clamp(y + k, 0, h - 1);
                sum += static_cast<uint64_t>(kernel[k + radius]) *
                       across[static_cast<size_t>(sy) * w * channels + i];
            }
            dst[i] = ClampByte(static_cast<int>((sum + (uint64_t{1} << 31)) >> 32));
        }
    }
}

}  // namespace

bool CxImage::GaussianBlur(float radius) {
    if (FilterChannels(*this) == 0 || !(radius > 0.0f) || radius > 100.0f) return false;
    std::vector<uint8_t> blurred;
    BlurBytes(*this, radius, blurred);
    m_bits.swap(blurred);
    return true;
}

bool CxImage::UnsharpMask(float radius, float amount, int threshold) {
    if (FilterChannels(*this) == 0 || !(radius > 0.0f) || radius > 100.0f) return false;
    std::vector<uint8_t> blurred;
    BlurBytes(*this, radius, blurred);
    const int used = m_width * FilterChannels(*this);
    for (int y = 0; y < m_height; ++y) {
        uint8_t* line = GetBits(y);
        const uint8_t* soft = blurred.data() + static_cast<size_t>(y) * m_effWidth;
        for (int i = 0; i < used; ++i) {
            const int diff = line[i] - soft[i];
            if (std::abs(diff) < threshold) continue;
            line[i] = ClampByte(static_cast<int>(std::lround(line[i] + amount * diff)));
        }
    }
    return true;
}

bool CxImage::Gamma(float gamma) {
    if (FilterChannels(*this) == 0 || !(gamma > 0.0f)) return false;
    uint8_t table[256];
    for (int i = 0; i < 256; ++i)
        table[i] = ClampByte(static_cast<int>(
            std::lround(255.0 * std::pow(i / 255.0, 1.0 / static_cast<double>(gamma)))));
    const int used = m_width * FilterChannels(*this);
    for (int y = 0; y < m_height; ++y) {
        uint8_t* line = GetBits(y);
        for (int i = 0; i < used; ++i) line[i] = table[line[i]];
    }
    return true;
}

bool CxImage::Light(int brightness, int contrast, bool skipWhite) {
    const int channels = FilterChannels(*this);
    if (channels == 0) return false;
    uint8_t table[256];
    for (int i = 0; i < 256; ++i) {
        const double v = brightness + 128 + (contrast + 100) / 100.0 * (i - 128) + 0.5;
        table[i] = ClampByte(static_cast<int>(std::clamp(v, 0.0, 255.0)));
    }
    for (int y = 0; y < m_height; ++y) {
        uint8_t* line = GetBits(y);
        for (int x = 0; x < m_width; ++x) {
            uint8_t* px = line + x * channels;
            if (skipWhite && channels == 3 && px[0] == 255 && px[1] == 255 && px[2] == 255)
                continue;
            for (int c = 0; c < channels; ++c) px[c] = table[px[c]];
        }
    }
    return true;
}

bool CxImage::Erode(int size) {
    const int channels = FilterChannels(*this);
    if (channels == 0 || size < 1 || size > 64) return false;
    if (size == 1) return true;
    const int before = size / 2;
    const int after = size - 1 - before;
    std::vector<uint8_t> across(m_bits.size());
    for (int y = 0; y < m_height; ++y) {
        const uint8_t* line = GetBits(y);
        uint8_t* dst = across.data() + static_cast<size_t>(y) * m_effWidth;
        for (int x = 0; x < m_width; ++x)
            for (int c = 0; c < channels; ++c) {
                uint8_t low = 255;
                for (int k = std::max(0, x - before); k <= std::min(m_width - 1, x + after); ++k)
                    low = std::min(low, line[k * channels + c]);
                dst[x * channels + c] = low;
            }
    }
    for (int y = 0; y < m_height; ++y) {
        uint8_t* dst = GetBits(y);
        for (int i = 0; i < m_width * channels; ++i) {
            uint8_t low = 255;
            for (int k = std::max(0, y - after); k <= std::min(m_height - 1, y + before); ++k)
                low = std::min(low, across[static_cast<size_t>(k) * m_effWidth + i]);
            dst[i] = low;
        }
    }
    return true;
}

bool CxImage::TextBlur(uint8_t threshold, uint8_t decay, uint8_t maxDepth, bool horizontal,
                       bool vertical) {
    const int channels = FilterChannels(*this);
    if (channels == 0 || decay < 1 || maxDepth < 1) return false;
    const CxImage source = *this;
    const std::vector<uint8_t> lum = source.LuminanceRows();
    auto lumAt = [&](int x, int y) { return lum[static_cast<size_t>(y) * m_width + x]; };
    // Moves the pixel at (x, y) toward `dark` by diff / decay^depth.
    auto soften = [&](int x, int y, const uint8_t* dark, int depth) {
        int divisor = 1;
        for (int d = 0; d < depth; ++d) divisor *= decay;
        uint8_t* px = GetBits(y) + x * channels;
        for (int c = 0; c < channels; ++c) {
            const int diff = static_cast<int>(dark[c]) - px[c];
            px[c] = ClampByte(px[c] + diff / divisor);
        }
    };
    auto edge = [&](int ax, int ay, int bx, int by, int dx, int dy) {
        const int la = lumAt(ax, ay);
        const int lb = lumAt(bx, by);
        if (std::abs(la - lb) <= threshold) return;
        // Light side: walk away from the dark pixel.
        const bool aDark = la < lb;
        const int darkX = aDark ? ax : bx;
        const int darkY = aDark ? ay : by;
        int x = aDark ? bx : ax;
        int y = aDark ? by : ay;
        const int stepX = aDark ? dx : -dx;
        const int stepY = aDark ? dy : -dy;
        const uint8_t* dark = source.GetBits(darkY) + darkX * channels;
        for (int depth = 1; depth <= maxDepth; ++depth) {
            if (x < 0 || x >= m_width || y < 0 || y >= m_height) break;
            soften(x, y, dark, depth);
            x += stepX;
            y += stepY;
        }
    };
    for (int y = 0; y < m_height; ++y)
        for (int x = 0; x < m_width; ++x) {
            if (horizontal && x + 1 < m_width) edge(x, y, x + 1, y, 1, 0);
            if (vertical && y + 1 < m_height) edge(x, y, x, y + 1, 0, 1);
        }
    return true;
}

bool CxImage::Filter3x3(const int kernel[9], int divisor, int offset) {
    const int channels = FilterChannels(*this);
    if (channels == 0 || kernel == nullptr) return false;
    if (divisor == 0) divisor = 1;
    const CxImage source = *this;
    for (int m = 0; m < m_height; ++m) {
        uint8_t* dst = GetBits(m);
        for (int x = 0; x < m_width; ++x)
            for (int c = 0; c < channels; ++c) {
                int sum = 0;
                for (int ky = 0; ky < 3; ++ky) {
                    // Kernel row 0 is the line above: one row higher in bottom-up memory.
                    const int sy = std::clamp(m + 1 - ky, 0, m_height - 1);
                    const uint8_t* line = source.GetBits(sy);
                    for (int kx = 0; kx < 3; ++kx) {
                        const int sx = std::clamp(x + kx - 1, 0, m_width - 1);
                        sum += kernel[ky * 3 + kx] * line[sx * channels + c];
                    }
                }
                dst[x * channels + c] = ClampByte(sum / divisor + offset);
            }
    }
    return true;
}
