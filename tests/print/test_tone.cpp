// Tone settings, correction words, filter mode, colour-adjust words, the plane corrections
// (values worked out by hand from the formulas) and the tone exports.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "core/controller.h"
#include "orvpw.h"
#include "print/tone.h"

namespace {

std::string Home() {
    const char* home = std::getenv("ORVPW_HOME");
    const std::string folder = home ? home : "/tmp";
    std::system(("mkdir -p '" + folder + "'").c_str());
    return folder;
}

TEST(ToneSettings, SectionKeysAndFallbacks) {
    const std::string path = Home() + "/orvprt.ini";
    std::ofstream(path) << "[7]\nBlackOn=300\nMGARO=256\nERODE=3\nCOR=17\nCOR_K=64\n"
                           "[8]\nBlackOn=12\nMGARO=5\nERODE=999\nCOR_YMC=2\nCOR_MONO=32\n";
    KD_ToneSettings tone;
    tone.blackVal = 9;
    ASSERT_TRUE(KD_LoadToneSettings(path, 7, tone));
    EXPECT_EQ(tone.blackOn, 3);
    EXPECT_EQ(tone.garo, 6);
    EXPECT_EQ(tone.erode, 3);
    EXPECT_EQ(tone.correction, 17);
    EXPECT_EQ(tone.colorKCorrection, 64);
    EXPECT_EQ(tone.blackVal, 9);  // absent: unchanged
    ASSERT_TRUE(KD_LoadToneSettings(path, 8, tone));
    EXPECT_EQ(tone.blackOn, 12);
    EXPECT_EQ(tone.garo, 5);
    EXPECT_EQ(tone.erode, 2);
    EXPECT_FALSE(KD_LoadToneSettings(path, 9, tone));
    EXPECT_FALSE(KD_LoadToneSettings(Home() + "/missing.ini", 7, tone));
    EXPECT_EQ(tone.correction, 17);

    // Correction words by letter and panel, zero falling back to COR.
    tone.ymcCorrection = 2;
    tone.colorKCorrection = 0;
    tone.monoCorrection = 32;
    const std::pair<char, int> letters[] = {{'c', 2}, {'y', 2}, {'B', 17}, {'b', 17}, {'k', 17},
                                            {'L', 32}, {'e', 32}, {'m', 32}, {'x', 17}};
    for (const auto& [letter, word] : letters) EXPECT_EQ(KD_CorrectionForRibbonLetter(tone, letter), word) << letter;
    const int panels[] = {2, 2, 2, 17, 17, 32, 32};
    for (int i = 0; i < 7; ++i) EXPECT_EQ(KD_CorrectionForPanel(tone, i), panels[i]) << i;
}

TEST(FilterMode, ModeBitsAndSharpeningAmount) {
    CKDPrintBuffers b;
    KD_SetFilterMode(b, 0x01);
    EXPECT_EQ(b.m_bFilter, 0x01);
    EXPECT_EQ(b.m_iSharpening, 5);
    KD_SetFilterMode(b, 0x29);
    EXPECT_EQ(b.m_bFilter, 0x01);
    EXPECT_EQ(b.m_iSharpening, 10);
    KD_SetFilterMode(b, 0xFF);
    EXPECT_EQ(b.m_bFilter, 0x83);
    EXPECT_EQ(b.m_iSharpening, 31);
}

TEST(ColorAdjust, FieldsFromTheFourWords) {
    KD_ColorAdjust a;
    KD_SetColorAdjustEx(a, 2, 0x0164, 0x0310, 0x3205, 0x1234);
    EXPECT_EQ(a.type, 2);
    EXPECT_EQ(a.formula, 1);
    EXPECT_EQ(a.ratio, 100);
    EXPECT_EQ(a.calcul, 3);
    EXPECT_EQ(a.thresh, 16);
    EXPECT_EQ(a.adjLine, 3);
    EXPECT_EQ(a.adjStep, 2);
    EXPECT_EQ(a.adjRatio, 5);
    EXPECT_EQ(a.vRatio, 0x34);
    EXPECT_EQ(SetColorAdjustEx(1, 0x0250, 0, 0, 0), 0);
    EXPECT_EQ(KDCtrl().m_PrintBuffers.m_ColorAdjust.formula, 2);
    EXPECT_EQ(SetColorAdjust(0), 0);
    EXPECT_EQ(KDCtrl().m_PrintBuffers.m_ColorAdjust.type, 0);
    EXPECT_EQ(KDCtrl().m_PrintBuffers.m_ColorAdjust.formula, 2);
}

TEST(LineCompensation, WhiteTableAndBoundedIndex) {
    KD_ColorAdjust a;
    a.type = 1;
    a.formula = 1;
    a.ratio = 100;
    a.calcul = 2;
    // 1012 white dots and one ink dot: W[1012] = 1000 - 100 x 1012 / 1013 = 901.
    std::vector<uint8_t> line(1013, 0);
    line[5] = 200;
    ASSERT_TRUE(KD_LineCompensation(line.data(), 1013, 1, a));
    EXPECT_EQ(line[5], (901 * 200 + 500) / 1000);
    // A line longer than the white table counts more white dots than it has entries.
    std::vector<uint8_t> wide(2000, 0);
    wide[7] = 200;
    ASSERT_TRUE(KD_LineCompensation(wide.data(), 2000, 1, a));
    EXPECT_EQ(wide[7], 180);  // W[1013] = 900
    // Type 0: nothing happens.
    a.type = 0;
    EXPECT_FALSE(KD_LineCompensation(wide.data(), 2000, 1, a));
    // Line zoom: vRatio 100 over 2 lines, Z = 950 and 1000; count 1 keeps Z.
    a = KD_ColorAdjust{};
    a.type = 1;
    a.vRatio = 100;
    a.calcul = 3;
    a.thresh = 0;
    std::vector<uint8_t> two = {200, 200, 200, 200};
    ASSERT_TRUE(KD_LineCompensation(two.data(), 2, 2, a));
    EXPECT_EQ(two[0], 200);  // no dot at or below 0: N = 0, Z = 1000
    EXPECT_EQ(two[2], 200);
    two = {0, 200, 0, 200};
    ASSERT_TRUE(KD_LineCompensation(two.data(), 2, 2, a));
    EXPECT_EQ(two[1], (950 * 200 + 500) / 1000);
    EXPECT_EQ(two[3], 200);
}

TEST(MakePrintImage, ExportsCheckArgumentsAndIndexThree) {
    CKDCtrl& ctrl = KDCtrl();
    ctrl.m_PrintBuffers.m_ColorAdjust = KD_ColorAdjust{};
    ctrl.m_PrintBuffers.m_ColorAdjust.formula = 1;
    ctrl.m_PrintBuffers.m_ColorAdjust.ratio = 100;
    ctrl.m_PrintBuffers.m_ColorAdjust.calcul = 2;
    std::vector<uint8_t> plane(1013, 0);
    plane[0] = 200;
    EXPECT_EQ(MakePrintImageEx(plane.data(), 1013, 1, -1), 0);  // counts as K: unchanged
    EXPECT_EQ(plane[0], 200);
    EXPECT_EQ(MakePrintImageEx(plane.data(), 1013, 1, 0), 0);
    EXPECT_EQ(plane[0], 180);
    EXPECT_EQ(MakePrintImageEx(nullptr, 10, 10, 0), -1);
    EXPECT_EQ(ctrl.LastStatus(), 21);
    EXPECT_EQ(MakePrintImageEx(plane.data(), 0, 10, 0), -1);
    EXPECT_EQ(MakePrintImageEx(plane.data(), 10, 1, 0x10), -1);
    EXPECT_EQ(ctrl.LastStatus(), 20);
}

TEST(ColorStepCorrection, GapFillAndZeroFloor) {
    std::vector<uint8_t> column = {100, 255, 100, 0};  // 4 lines of 1 dot
    KD_ToneCorrection_ncolor_Lines(column.data(), 1, 4, 0);
    EXPECT_EQ(column, (std::vector<uint8_t>{100, 255, 255, 5}));
}

TEST(ColorStepCorrection, LevelRisesOnTheFourthAndFifthStep) {
    // One column of 240 over 40 lines: the run passes its limit of 5 at line 26; the level
    // reaches 1 at line 29 (reduction (0 + 2 + 0) / 4 = 0), 2 at line 30 (reduction 1) and
    // 4 at line 35 (reduction 2).
    std::vector<uint8_t> lines(40, 240);
    KD_ToneCorrection_ncolor_Lines(lines.data(), 1, 40, 1);
    for (int g = 0; g <= 29; ++g) EXPECT_EQ(lines[g], 240) << g;
    EXPECT_EQ(lines[30], 239);
    EXPECT_EQ(lines[34], 239);
    EXPECT_EQ(lines[35], 238);
}

TEST(ColorStepCorrection, PlaneColumnsAreTheLines) {
    // A correction line is one column of the data maker's plane: 40 rows x 5 columns give
    // 5 lines of 40 dots.
    std::vector<uint8_t> plane(5 * 40, 10);
    for (int row = 0; row < 40; ++row) plane[row * 5 + 3] = 240;
    KD_ToneCorrection_ncolor(plane.data(), 5, 40, 1, 0, 0);
    std::vector<uint8_t> lines(40 * 5, 10);
    for (int row = 0; row < 40; ++row) lines[3 * 40 + row] = 240;
    KD_ToneCorrection_ncolor_Lines(lines.data(), 40, 5, 1);
    for (int row = 0; row < 40; ++row)
        for (int col = 0; col < 5; ++col) ASSERT_EQ(plane[row * 5 + col], lines[col * 40 + row]);
}

TEST(BlackToneCorrection, StepAndLineBalance) {
    // Step: 100 -> floor((100 + 100 x (4 - 1.56 + 8) / 100) x 0.98) + 3 = 111. Balance:
    // c = 9 dots above 0, Y = 8 - 9 x 8 / 643, t[111] = (1 + 111 x (2.5 + 0.151 - 9 / 4286))
    // / 255: 111 x (100 - Y t) / 100 = 100.87 -> 100. Zero stays; a black dot is full.
    std::vector<uint8_t> line = {0, 100, 100, 100, 100, 100, 100, 100, 100, 100};
    std::vector<uint8_t> black(10, 0);
    black[9] = 255;
    KD_ToneCorrection_Black_Lines(line.data(), black.data(), 10, 1, 0, 0);
    EXPECT_EQ(line, (std::vector<uint8_t>{0, 100, 100, 100, 100, 100, 100, 100, 100, 255}));
    // Small values stay.
    std::vector<uint8_t> faint = {8, 8, 8, 8, 8, 8, 8, 8};
    KD_ToneCorrection_Black_Lines(faint.data(), nullptr, 8, 1, 2, 1);
    EXPECT_EQ(faint[0], 7);  // 8 stays through the step; the balance takes 8 x (100 - Y t) / 100
}

TEST(BlackPanel, EdgeAdjustmentAndBinarisation) {
    KD_BlackEdgeSettings s;
    s.on = 1;
    s.limit = 64;
    s.region = 10;
    // Each neighbour term: (255 - 64) x 10 x 100 / 255 = 749; four of them / 100 = 29.
    std::vector<uint8_t> plane = {255, 255, 255, 255, 255, 255, 0, 200, 0};
    KD_MakeBlackPanel(plane.data(), 3, 3, s);
    EXPECT_EQ(plane[7], 171);
    s.region = 90;  // reduction 269 > 200: no ink rather than a wrapped value
    plane = {255, 255, 255, 255, 255, 255, 0, 200, 0};
    KD_MakeBlackPanel(plane.data(), 3, 3, s);
    EXPECT_EQ(plane[7], 0);
    s.on = 0;
    plane = {255, 255, 255, 255, 255, 255, 0, 200, 0};
    KD_MakeBlackPanel(plane.data(), 3, 3, s);
    EXPECT_EQ(plane[7], 200);
    std::vector<uint8_t> k = {0, 180, 181, 255};
    KD_BinarizeK(k.data(), 4);
    EXPECT_EQ(k, (std::vector<uint8_t>{0, 0, 255, 255}));
}

TEST(Halftone, OptionBitsChooseTheMethod) {
    std::vector<uint8_t> plane(16 * 16, 128);
    EXPECT_EQ(KD_HalftonePlane(plane.data(), 16, 16, 0x200, 0x10), -1);  // no 0x100
    EXPECT_EQ(plane[0], 128);
    EXPECT_EQ(KD_HalftonePlane(plane.data(), 16, 16, 0x300, 0x00), -1);  // photo needs 0x010
    EXPECT_EQ(KD_HalftonePlane(plane.data(), 16, 16, 0x300, 0x10), KD_DITHER_JARVIS);
    int dots = 0;
    for (uint8_t v : plane) {
        EXPECT_TRUE(v == 0 || v == 255);
        dots += v == 255;
    }
    EXPECT_NEAR(dots, 128, 8);
    std::fill(plane.begin(), plane.end(), 200);
    EXPECT_EQ(KD_HalftonePlane(plane.data(), 16, 16, 0x500, 0), KD_DITHER_ORDERED_MULTILEVEL);
    std::fill(plane.begin(), plane.end(), 200);
    EXPECT_EQ(KD_HalftonePlane(plane.data(), 16, 16, 0x900, 0), KD_DITHER_BAYER);
    dots = 0;
    for (uint8_t v : plane) dots += v == 255;
    EXPECT_EQ(dots, 16 * 13);  // 200 passes 13 of the 16 Bayer thresholds
}

TEST(Enhancement, GraphicImageTurnsOnSharpenAndBlur) {
    // Few colours and only soft edges (a light square on white): the text blur changes
    // fewer than 100 pixels.
    CxImage image;
    ASSERT_TRUE(image.Create(40, 40, 24));
    image.Clear(255);
    for (int y = 10; y < 30; ++y)
        for (int x = 10; x < 30; ++x) image.SetPixelColor(x, y, CxRgbQuad{240, 220, 200, 0});
    CKDPrintBuffers b;
    b.m_Tone.correction = KD_COR_ENHANCE;
    b.m_Tone.erode = 1;
    b.m_bFilter = 0;
    KD_EnhanceContext context;
    context.ribbonLetter = 'c';
    KD_EnhanceFileImage(b, image, context);
    EXPECT_EQ(b.m_bFilter, 0xFF);
    EXPECT_EQ(b.m_ActiveCorrection, KD_COR_ENHANCE);
    // Dark text on white has hard edges: the filter stays.
    CxImage text;
    ASSERT_TRUE(text.Create(40, 40, 24));
    text.Clear(255);
    for (int y = 5; y < 35; y += 4)
        for (int x = 5; x < 35; ++x) text.SetPixelColor(x, y, CxRgbQuad{0, 0, 90, 0});
    b.m_bFilter = 0;
    KD_EnhanceFileImage(b, text, context);
    EXPECT_EQ(b.m_bFilter, 0);
    // A photo-like picture (many values per channel) keeps the filter.
    CxImage photo;
    ASSERT_TRUE(photo.Create(256, 4, 24));
    for (int x = 0; x < 256; ++x)
        for (int y = 0; y < 4; ++y)
            photo.SetPixelColor(x, y, CxRgbQuad{static_cast<uint8_t>(x), static_cast<uint8_t>(255 - x), static_cast<uint8_t>(x / 2), 0});
    b.m_bFilter = 0;
    KD_EnhanceFileImage(b, photo, context);
    EXPECT_EQ(b.m_bFilter, 0);
}

TEST(Enhancement, LightLeavesWhiteAndUsesTheControllerValues) {
    CxImage image;
    ASSERT_TRUE(image.Create(2, 1, 24));
    image.SetPixelColor(0, 0, CxRgbQuad{100, 100, 100, 0});
    image.SetPixelColor(1, 0, CxRgbQuad{255, 255, 255, 0});
    CKDPrintBuffers b;
    b.m_Tone.correction = KD_COR_LIGHT;
    KD_EnhanceContext context;
    context.ribbonLetter = 'm';
    context.brightness = 20;
    context.contrast = 0;
    KD_EnhanceFileImage(b, image, context);
    EXPECT_EQ(image.GetPixelColor(0, 0).red, 120);  // 20 + 128 + (100 - 128) + 0.5
    EXPECT_EQ(image.GetPixelColor(1, 0).red, 255);
}

TEST(ImageAdjust, ModesAndFailures) {
    const std::string source = std::string(ORVPW_PRINT_FIXTURES) + "/picture.png";
    const std::string out = Home() + "/adjusted.bmp";
    const int crop[4] = {4, 4, 12, 0};
    const int size[4] = {0, 0, 32, 0};
    const int percent[4] = {0, 0, 50, 200};
    const int tooSmall[4] = {0, 0, 5, 100};
    CxImage result;
    EXPECT_EQ(Image_Adjust(source.c_str(), nullptr, out.c_str(), size, 0, 0, 0), 0);
    ASSERT_TRUE(result.Load(out, KD_IMAGE_TYPE_BMP));
    EXPECT_EQ(result.GetWidth(), 32);
    EXPECT_EQ(result.GetHeight(), 48);
    EXPECT_EQ(Image_Adjust(source.c_str(), crop, out.c_str(), nullptr, 0, 0, 1), 0);
    ASSERT_TRUE(result.Load(out, KD_IMAGE_TYPE_BMP));
    EXPECT_EQ(result.GetWidth(), 8);
    EXPECT_EQ(result.GetHeight(), 44);
    EXPECT_EQ(result.GetPixelColor(0, 43).red, 0);  // the black square's corner
    EXPECT_EQ(Image_Adjust(source.c_str(), nullptr, out.c_str(), percent, 0, 0, 2), 0);
    ASSERT_TRUE(result.Load(out, KD_IMAGE_TYPE_BMP));
    EXPECT_EQ(result.GetWidth(), 32);
    EXPECT_EQ(result.GetHeight(), 96);
    EXPECT_EQ(Image_Adjust(source.c_str(), nullptr, out.c_str(), tooSmall, 0, 0, 2), -1);
    EXPECT_EQ(KDCtrl().LastStatus(), 21);
    EXPECT_EQ(Image_Adjust((Home() + "/none.png").c_str(), nullptr, out.c_str(), size, 0, 0, 0), -1);
    EXPECT_EQ(KDCtrl().LastStatus(), 71);
    EXPECT_EQ(LUM_Image_Adjust(source.c_str(), nullptr, out.c_str(), size, 0, 0, 7), 0);
}

}  // namespace
