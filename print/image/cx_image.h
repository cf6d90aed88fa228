// The image container of the print pipeline: one picture in memory, laid out as a
// device-independent bitmap (rows bottom-up, each padded to 4 bytes; 24 bpp pixels in B, G, R
// order; 1, 4 and 8 bpp pixels index a palette), with the codecs and the pixel operations the
// pipeline needs. Every public member is here so that exporting the class later is one step.
//
// Decoded sizes are capped (kMaxSide, kMaxPixels, kMaxInputBytes): a file that announces a
// larger picture fails to load rather than allocate without bound.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// File type codes. Codes 2 (GIF) and 4 (PNG) fill gaps of the older numbering of 1, 3, 6.
enum KD_ImageFileType : int {
    KD_IMAGE_TYPE_UNKNOWN = 0,
    KD_IMAGE_TYPE_BMP = 1,
    KD_IMAGE_TYPE_GIF = 2,
    KD_IMAGE_TYPE_JPG = 3,
    KD_IMAGE_TYPE_PNG = 4,
    KD_IMAGE_TYPE_TIF = 6,
};

// The type code chosen from the text after the last dot of the file name, compared exactly
// in lower case ("JPG" is not loadable).
int ImageFileType(const std::string& fileName);

// Dither methods of CxImage::Dither; any other number means Floyd-Steinberg.
enum KD_DitherMethod : int {
    KD_DITHER_ORDERED_MULTILEVEL = 1,  // 4 x 4 clustered-dot ordered dither
    KD_DITHER_JARVIS = 4,              // Jarvis-Judice-Ninke error diffusion
    KD_DITHER_BAYER = 7,               // 4 x 4 Bayer ordered dither
    KD_DITHER_FLOYD_STEINBERG = 0,
};

struct CxRgbQuad {
    uint8_t blue = 0;
    uint8_t green = 0;
    uint8_t red = 0;
    uint8_t reserved = 0;
};

class CxImage {
public:
    static constexpr int kMaxSide = 16384;            // dots on either side
    static constexpr int64_t kMaxPixels = 50000000;   // 150 MB at 24 bpp
    static constexpr size_t kMaxInputBytes = 256u << 20;  // encoded file or memory block

    CxImage() = default;
    CxImage(const CxImage&) = default;
    CxImage& operator=(const CxImage&) = default;
    CxImage(CxImage&&) noexcept = default;
    CxImage& operator=(CxImage&&) noexcept = default;

    // ---- Life --------------------------------------------------------------------------
    // A new picture of width x height at bpp 1, 4, 8 or 24, cleared to 0; 1/4/8 bpp get a
    // gray palette (index 0 black). False (and empty) for other depths or sizes over the cap.
    bool Create(int width, int height, int bpp);
    void Destroy();
    bool IsValid() const { return m_width > 0; }
    // Sets every pixel byte to `value`.
    void Clear(uint8_t value = 0);
    // Copies another picture (pixels, palette, size) into this one.
    void Copy(const CxImage& from) { *this = from; }

    // ---- Codecs ------------------------------------------------------------------------
    // Reads the whole file (up to kMaxInputBytes) and decodes it with the given type code.
    bool Load(const std::string& path, int type);
    // Decodes encoded bytes of the given type. On failure the picture is left empty.
    bool Decode(const uint8_t* data, size_t size, int type);
    // A packed DIB: BITMAPINFOHEADER (or a core header), palette, pixels; no file header.
    bool DecodePackedDib(const uint8_t* data, size_t size);
    // BMP file bytes (file header + 40-byte info header + palette + rows).
    std::vector<uint8_t> EncodeBmp() const;
    bool SaveBmp(const std::string& path) const;
    // The last decoder's complaint, for the log.
    const std::string& LastError() const { return m_lastError; }

    // ---- Geometry and pixels -----------------------------------------------------------
    int GetWidth() const { return m_width; }
    int GetHeight() const { return m_height; }
    int GetBpp() const { return m_bpp; }
    // Padded row size in bytes.
    int GetEffWidth() const { return m_effWidth; }
    // Row `row` counted from the bottom (0 = last line of the picture); null outside.
    uint8_t* GetBits(int row = 0);
    const uint8_t* GetBits(int row = 0) const;
    size_t GetSize() const { return m_bits.size(); }
    // Pixel at (x, y), y counted from the bottom row. Out of range: 0 / no effect.
    CxRgbQuad GetPixelColor(int x, int y) const;
    void SetPixelColor(int x, int y, CxRgbQuad color);
    uint8_t GetPixelIndex(int x, int y) const;  // palette pictures only
    void SetPixelIndex(int x, int y, uint8_t index);
    const std::vector<CxRgbQuad>& GetPalette() const { return m_palette; }
    void SetPalette(const std::vector<CxRgbQuad>& palette);
    void SetGrayPalette();
    bool IsGrayScale() const;

    // ---- Depth -------------------------------------------------------------------------
    // Expands a 1/4/8 bpp picture to 24 bpp through its palette (24 bpp: nothing to do).
    bool IncreaseBpp(int bpp);
    // 24 or 8 bpp to 8 (gray, luminance 306 R + 601 G + 117 B), 4 (16 gray levels) or 1
    // (threshold 128, index 0 black, 1 white). False for other depths.
    bool DecreaseBpp(int bpp);

    // ---- Geometry operations -----------------------------------------------------------
    bool RotateRight();   // 90 degrees clockwise
    bool RotateLeft();    // 90 degrees counter-clockwise
    bool Rotate180();
    bool Mirror();        // horizontal flip
    bool Negative();      // 24 bpp: every byte inverted; palette pictures: palette inverted
    // Keeps the rectangle [left, right) x [top, bottom), top counted from the top edge;
    // the rectangle is cut to the picture; false when nothing remains.
    bool Crop(int left, int top, int right, int bottom);
    // Nearest-pixel resample to the new size.
    bool Resample(int newWidth, int newHeight);

    // ---- Halftoning and filters (8 and 24 bpp inputs) ----------------------------------
    // To 1 bpp (index 0 black, 1 white) from the luminance, by KD_DitherMethod.
    bool Dither(int method);
    // Sharpens where the blurred picture differs from the original by at least threshold.
    bool UnsharpMask(float radius, float amount, int threshold);
    // Separable Gaussian, standard deviation = radius.
    bool GaussianBlur(float radius);
    // out = 255 x (in / 255) ^ (1 / gamma): values above 1 lighten.
    bool Gamma(float gamma);
    // out = clamp(brightness + 128 + (contrast + 100) / 100 x (in - 128) + 0.5); with
    // skipWhite, pure white pixels (24 bpp) stay as they are.
    bool Light(int brightness, int contrast, bool skipWhite = false);
    // Minimum over a size x size square around each pixel, per channel (dark grows).
    bool Erode(int size);
    // Softens hard edges: where two neighbouring pixels (along the enabled directions)
    // differ by more than threshold in luminance, the lighter side's pixels up to maxDepth
    // dots away move toward the darker value by the difference divided by decay^distance.
    bool TextBlur(uint8_t threshold, uint8_t decay, uint8_t maxDepth, bool horizontal,
                  bool vertical);
    // 3 x 3 convolution in row order (top row first), result / divisor + offset, clamped.
    bool Filter3x3(const int kernel[9], int divisor, int offset);

private:
    bool Fail(const char* why);
    bool DecodeBmp(const uint8_t* data, size_t size);
    bool DecodeJpeg(const uint8_t* data, size_t size);
    bool DecodeTiff(const uint8_t* data, size_t size);
    bool DecodePng(const uint8_t* data, size_t size);
    bool DecodeGif(const uint8_t* data, size_t size);
    bool DitherOrdered(const uint8_t (&matrix)[4][4], int levels);
    bool DitherDiffusion(bool jarvis);
    // Luminance plane (top row of the plane = first row in memory, i.e. bottom-up order kept).
    std::vector<uint8_t> LuminanceRows() const;

    int m_width = 0;
    int m_height = 0;
    int m_bpp = 0;
    int m_effWidth = 0;
    std::vector<uint8_t> m_bits;
    std::vector<CxRgbQuad> m_palette;
    std::string m_lastError;
};

// True when width x height fits the decode cap.
bool CxImageSizeAllowed(int64_t width, int64_t height);
// Standard DIB row size: ((bpp x width + 31) / 32) x 4.
int CxImageStride(int width, int bpp);
