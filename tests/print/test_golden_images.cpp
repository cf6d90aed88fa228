// Halftoning and enhancement against checked-in golden pictures (see golden/README.md).
// With ORVPW_UPDATE_GOLDEN=1 in the environment the pictures are written instead.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "print/image/cx_image.h"
#include "print/tone.h"

namespace {

const std::string kFixtures = ORVPW_PRINT_FIXTURES;
const std::string kGolden = ORVPW_PRINT_GOLDEN;

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

CxImage Fixture() {
    CxImage image;
    EXPECT_TRUE(image.Load(kFixtures + "/picture.png", KD_IMAGE_TYPE_PNG));
    return image;
}

void CheckGolden(const std::string& name, const CxImage& image) {
    const std::vector<uint8_t> bytes = image.EncodeBmp();
    const std::string path = kGolden + "/" + name;
    if (std::getenv("ORVPW_UPDATE_GOLDEN") != nullptr) {
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                    static_cast<std::streamsize>(bytes.size()));
        GTEST_SKIP() << "wrote " << path;
    }
    const std::vector<uint8_t> golden = ReadFile(path);
    ASSERT_FALSE(golden.empty()) << "missing " << path;
    EXPECT_TRUE(bytes == golden) << name << " differs from its golden picture";
}

struct GoldenCase {
    const char* file;
    std::function<void(CxImage&)> run;
};

class GoldenImages : public ::testing::TestWithParam<GoldenCase> {};

TEST_P(GoldenImages, MatchesTheCheckedInPicture) {
    CxImage image = Fixture();
    GetParam().run(image);
    CheckGolden(GetParam().file, image);
}

INSTANTIATE_TEST_SUITE_P(
    Halftoning, GoldenImages,
    ::testing::Values(
        GoldenCase{"dither_floyd_steinberg.bmp", [](CxImage& i) { ASSERT_TRUE(i.Dither(0)); }},
        GoldenCase{"dither_jarvis.bmp", [](CxImage& i) { ASSERT_TRUE(i.Dither(4)); }},
        GoldenCase{"dither_ordered_multilevel.bmp", [](CxImage& i) { ASSERT_TRUE(i.Dither(1)); }},
        GoldenCase{"dither_bayer.bmp", [](CxImage& i) { ASSERT_TRUE(i.Dither(7)); }},
        GoldenCase{"logo_diffusion.bmp", [](CxImage& i) { KD_LogoDiffusion(i); }}),
    [](const auto& info) {
        std::string name = info.param.file;
        return name.substr(0, name.find('.'));
    });

INSTANTIATE_TEST_SUITE_P(
    Enhancement, GoldenImages,
    ::testing::Values(
        GoldenCase{"unsharp_mask.bmp", [](CxImage& i) { ASSERT_TRUE(i.UnsharpMask(5.0f, 1.5f, 0)); }},
        GoldenCase{"gaussian_blur.bmp", [](CxImage& i) { ASSERT_TRUE(i.GaussianBlur(1.0f)); }},
        GoldenCase{"text_blur.bmp", [](CxImage& i) { ASSERT_TRUE(i.TextBlur(100, 2, 3, true, true)); }},
        GoldenCase{"erode.bmp", [](CxImage& i) { ASSERT_TRUE(i.Erode(2)); }},
        GoldenCase{"edge_darkening.bmp", [](CxImage& i) { KD_DarkenEdges(i); }}),
    [](const auto& info) {
        std::string name = info.param.file;
        return name.substr(0, name.find('.'));
    });

// Properties that hold whatever the goldens say: error diffusion keeps the mean level.
TEST(Halftoning, DiffusionKeepsTheGrayLevel) {
    for (int method : {0, 4}) {
        for (int level : {32, 128, 200}) {
            CxImage gray;
            ASSERT_TRUE(gray.Create(200, 100, 8));
            gray.Clear(static_cast<uint8_t>(level));
            ASSERT_TRUE(gray.Dither(method));
            int white = 0;
            for (int y = 0; y < 100; ++y)
                for (int x = 0; x < 200; ++x) white += gray.GetPixelIndex(x, y);
            EXPECT_NEAR(white / 20000.0, level / 255.0, 0.01) << "method " << method << " level " << level;
        }
    }
}

}  // namespace
