// The image container: real decoders on real files and on broken ones, the BMP writer,
// the pixel operations and the image-object exports.
#include <gtest/gtest.h>

#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "orvpw.h"
#include "print/image/cx_image.h"

namespace {

const std::string kFixtures = ORVPW_PRINT_FIXTURES;

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::string TempPath(const std::string& name) {
    const char* home = std::getenv("ORVPW_HOME");
    std::string folder = home ? home : "/tmp";
    std::system(("mkdir -p '" + folder + "'").c_str());
    return folder + "/" + name;
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// The fixture picture (see fixtures/make_fixtures.py), top-left origin.
CxRgbQuad Expected(int x, int yFromTop) {
    if (x >= 4 && x < 12 && yFromTop >= 4 && yFromTop < 12) return {0, 0, 0, 0};
    const int r = x * 4;
    const int g = yFromTop * 5;
    const int b = yFromTop < 24 ? 255 - r : 0;
    return {static_cast<uint8_t>(b), static_cast<uint8_t>(g), static_cast<uint8_t>(r), 0};
}

// Mean channel difference between the picture and the expected picture, rounded up.
int MeanDifference(const CxImage& image) {
    int total = 0;
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) {
            const CxRgbQuad got = image.GetPixelColor(x, 47 - y);
            const CxRgbQuad want = Expected(x, y);
            total += std::abs(got.red - want.red) + std::abs(got.green - want.green) +
                     std::abs(got.blue - want.blue);
        }
    return (total + 64 * 48 * 3 - 1) / (64 * 48 * 3);
}

struct DecodeCase {
    const char* file;
    int type;
    int tolerance;  // mean difference allowed (lossy codecs)
};

TEST(ImageDecoders, RealFilesDecodeToTheSamePicture) {
    const DecodeCase cases[] = {
        {"picture24.bmp", KD_IMAGE_TYPE_BMP, 0}, {"picture.png", KD_IMAGE_TYPE_PNG, 0},
        {"picture.tif", KD_IMAGE_TYPE_TIF, 0},   {"picture.jpg", KD_IMAGE_TYPE_JPG, 3},
        {"picture_progressive.jpg", KD_IMAGE_TYPE_JPG, 4},
    };
    for (const DecodeCase& c : cases) {
        SCOPED_TRACE(c.file);
        CxImage image;
        ASSERT_TRUE(image.Load(kFixtures + "/" + c.file, c.type)) << image.LastError();
        EXPECT_EQ(image.GetWidth(), 64);
        EXPECT_EQ(image.GetHeight(), 48);
        ASSERT_TRUE(image.IncreaseBpp(24));
        EXPECT_LE(MeanDifference(image), c.tolerance);
    }
}

TEST(ImageDecoders, PaletteBitmapsKeepTheirDepthAndPalette) {
    CxImage gray;
    ASSERT_TRUE(gray.Load(kFixtures + "/picture8.bmp", KD_IMAGE_TYPE_BMP));
    EXPECT_EQ(gray.GetBpp(), 8);
    EXPECT_TRUE(gray.IsGrayScale());
    CxImage mono;
    ASSERT_TRUE(mono.Load(kFixtures + "/picture1.bmp", KD_IMAGE_TYPE_BMP));
    EXPECT_EQ(mono.GetBpp(), 1);
    EXPECT_EQ(mono.GetEffWidth(), 8);
    // The black square is index 0 (black), the bright bottom-right corner white.
    EXPECT_EQ(mono.GetPixelColor(5, 47 - 5).red, 0);
    EXPECT_EQ(mono.GetPixelColor(63, 0).red, 255);
    CxImage grayJpeg;
    ASSERT_TRUE(grayJpeg.Load(kFixtures + "/picture_gray.jpg", KD_IMAGE_TYPE_JPG));
    EXPECT_EQ(grayJpeg.GetBpp(), 24);
}

TEST(ImageDecoders, TransparentPngPartsBecomeWhite) {
    CxImage image;
    ASSERT_TRUE(image.Load(kFixtures + "/picture_alpha.png", KD_IMAGE_TYPE_PNG));
    const CxRgbQuad right = image.GetPixelColor(60, 10);
    EXPECT_EQ(right.red, 255);
    EXPECT_EQ(right.green, 255);
    EXPECT_EQ(right.blue, 255);
    EXPECT_EQ(image.GetPixelColor(5, 47 - 5).red, 0);
}

TEST(ImageDecoders, GifFirstFrameWithPalette) {
    // A 2 x 2 GIF: palette black, white, red, blue; pixels 0 1 / 2 3 (LZW written by hand).
    const std::vector<uint8_t> gif = {
        'G', 'I', 'F', '8', '9', 'a', 2, 0, 2, 0, 0x81, 0, 0,
        0, 0, 0, 255, 255, 255, 255, 0, 0, 0, 0, 255,
        0x2C, 0, 0, 0, 0, 2, 0, 2, 0, 0,
        2, 3, 0x44, 0x34, 0x05, 0, 0x3B};
    CxImage image;
    ASSERT_TRUE(image.Decode(gif.data(), gif.size(), KD_IMAGE_TYPE_GIF)) << image.LastError();
    EXPECT_EQ(image.GetBpp(), 8);
    EXPECT_EQ(image.GetPixelColor(0, 1).red, 0);      // top-left black
    EXPECT_EQ(image.GetPixelColor(1, 1).green, 255);  // top-right white
    EXPECT_EQ(image.GetPixelColor(0, 0).red, 255);    // bottom-left red
    EXPECT_EQ(image.GetPixelColor(0, 0).green, 0);
    EXPECT_EQ(image.GetPixelColor(1, 0).blue, 255);   // bottom-right blue
}

// Broken files: a clear failure with a reason, an empty picture, no crash.
TEST(ImageDecoders, BrokenFilesFailCleanly) {
    struct Broken {
        const char* file;
        int type;
        size_t keep;          // bytes kept (0 = all)
        size_t corruptFrom;   // first byte overwritten (0 = none)
    };
    const Broken cases[] = {
        {"picture.jpg", KD_IMAGE_TYPE_JPG, 700, 0},      // cut in the entropy data
        {"picture.jpg", KD_IMAGE_TYPE_JPG, 100, 0},      // cut in the headers
        {"picture.jpg", KD_IMAGE_TYPE_JPG, 0, 1},        // start marker destroyed
        {"picture.jpg", KD_IMAGE_TYPE_JPG, 0, 900},      // entropy data damaged
        {"picture.png", KD_IMAGE_TYPE_PNG, 4000, 0},
        {"picture.png", KD_IMAGE_TYPE_PNG, 0, 200},      // IDAT damaged: CRC fails
        {"picture.tif", KD_IMAGE_TYPE_TIF, 5000, 0},     // strip cut short
        {"picture.tif", KD_IMAGE_TYPE_TIF, 0, 2},
        {"picture24.bmp", KD_IMAGE_TYPE_BMP, 5000, 0},   // pixel data cut short
        {"picture24.bmp", KD_IMAGE_TYPE_BMP, 30, 0},     // header cut short
        {"picture24.bmp", KD_IMAGE_TYPE_BMP, 0, 14},     // info header size destroyed
    };
    for (const Broken& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " keep " + std::to_string(c.keep) + " corrupt " +
                     std::to_string(c.corruptFrom));
        std::vector<uint8_t> bytes = ReadFile(kFixtures + "/" + c.file);
        ASSERT_FALSE(bytes.empty());
        if (c.keep) bytes.resize(c.keep);
        if (c.corruptFrom)
            for (size_t i = c.corruptFrom; i < bytes.size() && i < c.corruptFrom + 16; ++i) bytes[i] ^= 0xA5;
        CxImage image;
        EXPECT_FALSE(image.Decode(bytes.data(), bytes.size(), c.type));
        EXPECT_FALSE(image.IsValid());
        EXPECT_FALSE(image.LastError().empty());
    }
}

TEST(ImageDecoders, HugeAnnouncedSizesAreRefusedBeforeAllocation) {
    // BMP header announcing 30000 x 30000 at 24 bpp, with no pixels.
    std::vector<uint8_t> bmp = ReadFile(kFixtures + "/picture24.bmp");
    bmp.resize(60);
    const uint32_t side = 30000;
    std::memcpy(&bmp[18], &side, 4);
    std::memcpy(&bmp[22], &side, 4);
    CxImage image;
    EXPECT_FALSE(image.Decode(bmp.data(), bmp.size(), KD_IMAGE_TYPE_BMP));
    EXPECT_NE(image.LastError().find("size"), std::string::npos);
    // PNG IHDR announcing 100000 x 100000.
    std::vector<uint8_t> png = ReadFile(kFixtures + "/picture.png");
    png[16] = 0; png[17] = 1; png[18] = 0x86; png[19] = 0xA0;
    png[20] = 0; png[21] = 1; png[22] = 0x86; png[23] = 0xA0;
    EXPECT_FALSE(image.Decode(png.data(), png.size(), KD_IMAGE_TYPE_PNG));
    // Zero width and an unsupported depth in an otherwise whole file.
    std::vector<uint8_t> zero = ReadFile(kFixtures + "/picture24.bmp");
    std::memset(&zero[18], 0, 4);
    EXPECT_FALSE(image.Decode(zero.data(), zero.size(), KD_IMAGE_TYPE_BMP));
    std::vector<uint8_t> twoBits = ReadFile(kFixtures + "/picture24.bmp");
    twoBits[28] = 2;
    EXPECT_FALSE(image.Decode(twoBits.data(), twoBits.size(), KD_IMAGE_TYPE_BMP));
    EXPECT_EQ(image.LastError(), "unsupported bits per pixel");
    EXPECT_FALSE(image.Create(CxImage::kMaxSide + 1, 1, 24));
    EXPECT_FALSE(image.Create(0, 10, 24));
    EXPECT_FALSE(image.Create(10, 10, 16));
}

TEST(ImageDecoders, MissingAndEmptyFiles) {
    CxImage image;
    EXPECT_FALSE(image.Load(kFixtures + "/no-such-file.png", KD_IMAGE_TYPE_PNG));
    const std::string empty = TempPath("empty.jpg");
    WriteFile(empty, {});
    EXPECT_FALSE(image.Load(empty, KD_IMAGE_TYPE_JPG));
    EXPECT_EQ(image.LastError(), "empty file");
}

TEST(ImageFileType, ExactLowerCaseExtensions) {
    const std::pair<const char*, int> cases[] = {
        {"a.bmp", 1}, {"a.jpg", 3}, {"a.jpeg", 3}, {"a.tif", 6}, {"a.tiff", 6}, {"a.png", 4},
        {"a.gif", 2}, {"a.JPG", 0}, {"a.Png", 0}, {"noext", 0}, {"dir.d/a", 0}, {"a.bmp.txt", 0},
        {"a.", 0}};
    for (const auto& [name, type] : cases) EXPECT_EQ(ImageFileType(name), type) << name;
}

TEST(ImageBmpWriter, RoundTripAndHeaderFields) {
    CxImage image;
    ASSERT_TRUE(image.Load(kFixtures + "/picture24.bmp", KD_IMAGE_TYPE_BMP));
    const std::vector<uint8_t> encoded = image.EncodeBmp();
    // The writer reproduces the fixture byte for byte (same header layout).
    EXPECT_EQ(encoded, ReadFile(kFixtures + "/picture24.bmp"));
    CxImage mono;
    ASSERT_TRUE(mono.Load(kFixtures + "/picture1.bmp", KD_IMAGE_TYPE_BMP));
    const std::string path = TempPath("mono-copy.bmp");
    ASSERT_TRUE(mono.SaveBmp(path));
    CxImage again;
    ASSERT_TRUE(again.Load(path, KD_IMAGE_TYPE_BMP));
    EXPECT_EQ(again.GetBpp(), 1);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) ASSERT_EQ(again.GetPixelIndex(x, y), mono.GetPixelIndex(x, y));
}

TEST(ImageBmpReader, TopDownAndBitFields) {
    // 2 x 2 top-down, 32 bpp with bit fields in a 40-byte header: red, green / blue, white.
    std::vector<uint8_t> dib(40 + 12 + 16, 0);
    auto put32 = [&dib](size_t at, uint32_t v) { std::memcpy(&dib[at], &v, 4); };
    put32(0, 40);
    put32(4, 2);
    put32(8, static_cast<uint32_t>(-2));
    dib[12] = 1;
    dib[14] = 32;
    put32(16, 3);
    put32(40, 0x00FF0000);
    put32(44, 0x0000FF00);
    put32(48, 0x000000FF);
    put32(52, 0x00FF0000);  // top-left red
    put32(56, 0x0000FF00);  // top-right green
    put32(60, 0x000000FF);  // bottom-left blue
    put32(64, 0x00FFFFFF);
    CxImage image;
    ASSERT_TRUE(image.DecodePackedDib(dib.data(), dib.size())) << image.LastError();
    EXPECT_EQ(image.GetPixelColor(0, 1).red, 255);
    EXPECT_EQ(image.GetPixelColor(1, 1).green, 255);
    EXPECT_EQ(image.GetPixelColor(0, 0).blue, 255);
    EXPECT_EQ(image.GetPixelColor(0, 0).red, 0);
}

// A 3 x 2 picture with distinct pixels, for the geometry operations.
CxImage Small() {
    CxImage image;
    image.Create(3, 2, 24);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            image.SetPixelColor(x, y, CxRgbQuad{static_cast<uint8_t>(10 * x + y), 0, 0, 0});
    return image;
}

// Values by row from the top, as the picture is seen.
std::vector<std::vector<int>> Seen(const CxImage& image) {
    std::vector<std::vector<int>> rows;
    for (int y = image.GetHeight() - 1; y >= 0; --y) {
        rows.emplace_back();
        for (int x = 0; x < image.GetWidth(); ++x) rows.back().push_back(image.GetPixelColor(x, y).blue);
    }
    return rows;
}

TEST(ImageGeometry, RotationsMirrorCropResample) {
    // Seen from the top: 01 11 21 / 00 10 20.
    using Rows = std::vector<std::vector<int>>;
    CxImage image = Small();
    EXPECT_EQ(Seen(image), (Rows{{1, 11, 21}, {0, 10, 20}}));
    image = Small();
    ASSERT_TRUE(image.RotateRight());
    EXPECT_EQ(Seen(image), (Rows{{0, 1}, {10, 11}, {20, 21}}));
    image = Small();
    ASSERT_TRUE(image.RotateLeft());
    EXPECT_EQ(Seen(image), (Rows{{21, 20}, {11, 10}, {1, 0}}));
    image = Small();
    ASSERT_TRUE(image.Rotate180());
    EXPECT_EQ(Seen(image), (Rows{{20, 10, 0}, {21, 11, 1}}));
    image = Small();
    ASSERT_TRUE(image.Mirror());
    EXPECT_EQ(Seen(image), (Rows{{21, 11, 1}, {20, 10, 0}}));
    image = Small();
    ASSERT_TRUE(image.Crop(1, 1, 3, 2));
    EXPECT_EQ(Seen(image), (Rows{{10, 20}}));
    image = Small();
    ASSERT_TRUE(image.Resample(6, 2));
    EXPECT_EQ(Seen(image), (Rows{{1, 1, 11, 11, 21, 21}, {0, 0, 10, 10, 20, 20}}));
    image = Small();
    EXPECT_FALSE(image.Crop(5, 0, 9, 2));
    image = Small();
    ASSERT_TRUE(image.RotateRight());
    ASSERT_TRUE(image.RotateLeft());
    EXPECT_EQ(Seen(image), Seen(Small()));
}

TEST(ImagePixels, DepthChangesAndNegative) {
    CxImage image;
    ASSERT_TRUE(image.Create(2, 1, 24));
    image.SetPixelColor(0, 0, CxRgbQuad{0, 0, 255, 0});      // red
    image.SetPixelColor(1, 0, CxRgbQuad{255, 255, 255, 0});  // white
    CxImage gray = image;
    ASSERT_TRUE(gray.DecreaseBpp(8));
    EXPECT_EQ(gray.GetPixelIndex(0, 0), (306 * 255) >> 10);
    EXPECT_EQ(gray.GetPixelIndex(1, 0), 255);
    CxImage mono = image;
    ASSERT_TRUE(mono.DecreaseBpp(1));
    EXPECT_EQ(mono.GetPixelIndex(0, 0), 0);
    EXPECT_EQ(mono.GetPixelIndex(1, 0), 1);
    ASSERT_TRUE(mono.IncreaseBpp(24));
    EXPECT_EQ(mono.GetPixelColor(1, 0).green, 255);
    EXPECT_FALSE(image.DecreaseBpp(3));
    ASSERT_TRUE(image.Negative());
    EXPECT_EQ(image.GetPixelColor(0, 0).red, 0);
    EXPECT_EQ(image.GetPixelColor(0, 0).blue, 255);
}

TEST(ImageFilters, LightFollowsTheFormulaAndSkipsWhite) {
    CxImage image;
    ASSERT_TRUE(image.Create(2, 1, 24));
    image.SetPixelColor(0, 0, CxRgbQuad{100, 128, 200, 0});
    image.SetPixelColor(1, 0, CxRgbQuad{255, 255, 255, 0});
    ASSERT_TRUE(image.Light(10, 20, true));
    // clamp(10 + 128 + 1.2 x (v - 128) + 0.5)
    EXPECT_EQ(image.GetPixelColor(0, 0).blue, 104);   // 104.9
    EXPECT_EQ(image.GetPixelColor(0, 0).green, 138);
    EXPECT_EQ(image.GetPixelColor(0, 0).red, 224);    // 224.9
    EXPECT_EQ(image.GetPixelColor(1, 0).red, 255);
}

TEST(ImageFilters, ErodeSpreadsDarkAndGammaLightens) {
    CxImage image;
    ASSERT_TRUE(image.Create(5, 5, 8));
    image.Clear(200);
    image.SetPixelIndex(2, 2, 10);
    ASSERT_TRUE(image.Erode(3));
    int dark = 0;
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 5; ++x) dark += image.GetPixelIndex(x, y) == 10;
    EXPECT_EQ(dark, 9);
    ASSERT_TRUE(image.Gamma(2.0f));
    EXPECT_EQ(image.GetPixelIndex(2, 2), 50);  // 255 x sqrt(10/255) = 50.497
}

TEST(ImageExports, ReturnCodes) {
    EXPECT_EQ(KD_Image_Clear(nullptr), -2);
    EXPECT_EQ(KD_Image_Load(nullptr, "x.png"), -3);
    EXPECT_EQ(KD_Image_GetWidth(nullptr), -3);
    EXPECT_EQ(KD_Image_GetHeight(nullptr), -3);
    EXPECT_EQ(KD_Image_GetEffWidth(nullptr), -3);
    EXPECT_EQ(KD_Image_SaveBmp(nullptr, "x.bmp"), -3);
    EXPECT_EQ(KD_Image_Draw(nullptr, nullptr), -3);
    EXPECT_EQ(KD_Image_DecreaseBpp(nullptr, 8), -3);
    EXPECT_EQ(KD_Image_GetBits(nullptr, 0), nullptr);
    void* image = KD_Image_Init();
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(KD_Image_Load(image, (kFixtures + "/picture.JPG").c_str()), -4);
    EXPECT_EQ(KD_Image_Load(image, (kFixtures + "/picture.txt").c_str()), -4);
    EXPECT_EQ(KD_Image_Load(image, nullptr), -4);
    EXPECT_EQ(KD_Image_Load(image, (kFixtures + "/missing.png").c_str()), -2);
    EXPECT_EQ(KD_Image_Load(image, (kFixtures + "/picture24.bmp").c_str()), -1);
    EXPECT_EQ(KD_Image_GetWidth(image), 64);
    EXPECT_EQ(KD_Image_GetHeight(image), 48);
    EXPECT_EQ(KD_Image_GetEffWidth(image), 192);
    uint32_t colour = 0;
    EXPECT_EQ(KD_Image_GetPixelColor(image, 63, 47, &colour), -1);  // top-right
    EXPECT_EQ(colour, (252u << 16) | (0u << 8) | 3u);
    EXPECT_EQ(KD_Image_GetPixelColor(image, 0, 0, nullptr), -2);
    ASSERT_NE(KD_Image_GetBits(image, 7), nullptr);
    EXPECT_EQ(KD_Image_GetBits(image, 7)[2], 0);  // bottom-left red = 0
    EXPECT_EQ(KD_Image_Draw(image, nullptr), -2);
    EXPECT_EQ(KD_Image_DecreaseBpp(image, 8), -1);
    EXPECT_EQ(KD_Image_DecreaseBpp(image, 24), -2);
    EXPECT_EQ(KD_Image_SaveBmp(image, TempPath("export.bmp").c_str()), -1);
    EXPECT_EQ(KD_Image_SaveBmp(image, nullptr), -2);
    EXPECT_EQ(KD_Image_Clear(image), -1);
}

}  // namespace
