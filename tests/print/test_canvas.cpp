// The print canvases: ink formulas, clipping, merge mode, state words, clearing, print
// geometry, memory images and the BMP writer of dump files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "api/control_common.h"
#include "core/controller.h"
#include "diag/log.h"
#include "print/canvas.h"

namespace {

struct Rgb {
    uint8_t r, g, b;
};

// A picture from rows given top row first.
CxImage Picture(const std::vector<std::vector<Rgb>>& rowsFromTop) {
    CxImage image;
    const int h = static_cast<int>(rowsFromTop.size());
    const int w = static_cast<int>(rowsFromTop[0].size());
    EXPECT_TRUE(image.Create(w, h, 24));
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i) {
            const Rgb p = rowsFromTop[j][i];
            image.SetPixelColor(i, h - 1 - j, CxRgbQuad{p.b, p.g, p.r, 0});
        }
    return image;
}

CxImage Solid(int w, int h, Rgb colour) {
    return Picture(std::vector<std::vector<Rgb>>(h, std::vector<Rgb>(w, colour)));
}

// Canvas pixel at card column x, card line y.
const uint8_t* At(const CxImage& canvas, int x, int y) { return canvas.GetBits(y) + 3 * x; }

class Canvas : public ::testing::Test {
protected:
    void SetUp() override {
        ctrl.m_PrintBuffers = CKDPrintBuffers{};
        ctrl.m_NewKDCL = 0;
        ctrl.m_RibbonMaker = 0;
        kdapi::KD_ControlState() = kdapi::ControlState{};
    }
    CKDCtrl& ctrl = KDCtrl();
    CKDPrintBuffers& b = KDCtrl().m_PrintBuffers;
};

TEST_F(Canvas, InkFormulasOfEveryCanvas) {
    // white, pure black, dark gray, an odd colour
    const std::vector<Rgb> row = {{255, 255, 255}, {0, 0, 0}, {10, 10, 10}, {200, 100, 30}};
    const CxImage picture = Picture({row});
    ASSERT_EQ(KD_TransferData(ctrl, 0x0F, 5, 7, picture), 0);
    for (int i = 0; i < 4; ++i) {
        const uint8_t* c = At(b.ColorBuffer, 5 + i, 7);
        EXPECT_EQ(c[0], 255 - row[i].b);
        EXPECT_EQ(c[1], 255 - row[i].g);
        EXPECT_EQ(c[2], 255 - row[i].r);
    }
    // With colour named, K holds only pure black.
    EXPECT_EQ(At(b.BlackBuffer, 6, 7)[0], 255);
    EXPECT_EQ(At(b.BlackBuffer, 7, 7)[0], 0);
    EXPECT_EQ(At(b.BlackBuffer, 8, 7)[0], 0);

    ASSERT_EQ(KD_TransferData(ctrl, 0x08 | 0x10 | 0x20, 0, 0, picture), 0);
    for (int i = 0; i < 4; ++i) {
        const int k = 255 - (306 * row[i].r + 601 * row[i].g + 117 * row[i].b) / 1024;
        for (const CxImage* canvas : {&b.BlackBuffer, &b.OverlayBuffer, &b.MonoBuffer})
            for (int byte = 0; byte < 3; ++byte) EXPECT_EQ(At(*canvas, i, 0)[byte], k) << i;
    }
    EXPECT_EQ(At(b.MonoBuffer, 3, 0)[0], 255 - (306 * 200 + 601 * 100 + 117 * 30) / 1024);
}

TEST_F(Canvas, RowsRunFromTheTopOfThePicture) {
    const CxImage picture = Picture({{{0, 0, 0}}, {{255, 255, 255}}});
    ASSERT_EQ(KD_TransferData(ctrl, 0x20, 0, 10, picture), 0);
    EXPECT_EQ(At(b.MonoBuffer, 0, 10)[0], 255);
    EXPECT_EQ(At(b.MonoBuffer, 0, 11)[0], 0);
}

TEST_F(Canvas, MergeModeOrsAndWhiteLeavesTheCanvas) {
    ASSERT_EQ(KD_TransferData(ctrl, 0x07, 0, 0, Solid(2, 1, {0x0F, 0xF0, 0x33})), 0);
    b.m_SaveMode = 1;
    ASSERT_EQ(KD_TransferData(ctrl, 0x07, 0, 0, Picture({{{255, 255, 255}, {0xF0, 0x0F, 0xCC}}})), 0);
    // white: unchanged
    EXPECT_EQ(At(b.ColorBuffer, 0, 0)[0], 0xCC);
    EXPECT_EQ(At(b.ColorBuffer, 0, 0)[1], 0x0F);
    EXPECT_EQ(At(b.ColorBuffer, 0, 0)[2], 0xF0);
    // OR of both inks
    EXPECT_EQ(At(b.ColorBuffer, 1, 0)[0], 0xCC | 0x33);
    EXPECT_EQ(At(b.ColorBuffer, 1, 0)[1], 0x0F | 0xF0);
    EXPECT_EQ(At(b.ColorBuffer, 1, 0)[2], 0xF0 | 0x0F);
}

TEST_F(Canvas, ClipToTheAreaThatRemains) {
    const CxImage wide = Solid(1100, 700, {0, 0, 0});
    ASSERT_EQ(KD_TransferData(ctrl, 0x20, 0, 0, wide), 0);
    EXPECT_EQ(At(b.MonoBuffer, 1012, 642)[0], 255);
    EXPECT_EQ(At(b.MonoBuffer, 1013, 0)[0], 0);
    EXPECT_EQ(At(b.MonoBuffer, 0, 643)[0], 0);
    KD_ClearOuputBuffer(ctrl, 0xFF);
    // 1013 dots at x = 1000: only 13 columns land, nothing past the card edge.
    ASSERT_EQ(KD_TransferData(ctrl, 0x20, 1000, 600, Solid(1013, 643, {0, 0, 0})), 0);
    EXPECT_EQ(At(b.MonoBuffer, 1012, 642)[0], 255);
    for (int x = 1013; x < kCanvasWidth; ++x) ASSERT_EQ(At(b.MonoBuffer, x, 600)[0], 0) << x;
    for (int y = 643; y < kCanvasHeight; ++y) ASSERT_EQ(At(b.MonoBuffer, 1000, y)[0], 0) << y;
    // Long and logo formats.
    ASSERT_EQ(KD_TransferData(ctrl, 0x40, 1100, 0, Solid(200, 1, {0, 0, 0})), 0);
    EXPECT_EQ(At(b.MonoBuffer, 1189, 0)[0], 255);
    EXPECT_EQ(At(b.MonoBuffer, 1190, 0)[0], 0);
}

TEST_F(Canvas, RefusedTransfersLeaveTheStateAlone) {
    const CxImage picture = Solid(4, 4, {0, 0, 0});
    struct Case {
        int bits, x, y;
    };
    const Case refused[] = {
        {0x00, 0, 0}, {0x07, 1013, 0}, {0x07, 0, 643}, {0x07, -1, 0}, {0x20, 0, -5},
        {0x40, 1190, 0}, {0x80, 752, 0}, {0x80, 0, 640},
    };
    for (const Case& c : refused) {
        SCOPED_TRACE(::testing::Message() << c.bits << " at " << c.x << "," << c.y);
        EXPECT_EQ(KD_TransferData(ctrl, c.bits, c.x, c.y, picture), 21);
        EXPECT_EQ(ctrl.LastStatus(), 21);
        EXPECT_EQ(b.m_ImgRgbFlag, 0);
        EXPECT_FALSE(b.ColorBuffer.IsValid());
    }
    CxImage eightBit;
    ASSERT_TRUE(eightBit.Create(4, 4, 8));
    EXPECT_EQ(KD_TransferData(ctrl, 0x07, 0, 0, eightBit), 21);
    // The logo panel alone is a valid transfer.
    EXPECT_EQ(KD_TransferData(ctrl, 0x80, 751, 639, picture), 0);
    EXPECT_EQ(b.m_ImgRgbFlag, 0x8080);
}

TEST_F(Canvas, StateWordsOfTransferAndClear) {
    b.m_ValidPanel = 0x1F;
    b.m_WhitePanel = 0x10;
    ASSERT_EQ(KD_TransferData(ctrl, 0x0F, 0, 0, Solid(1, 1, {1, 2, 3})), 0);
    EXPECT_EQ(b.m_ImgRgbFlag, 0x0F0F);
    EXPECT_EQ(b.m_WhitePanel, 0);
    EXPECT_EQ(b.m_ValidPanel, 0x10);
    EXPECT_TRUE(b.m_ImgRgbBlack.IsValid());
    // A transfer into existing canvases keeps m_WhitePanel and m_ValidPanel.
    b.m_WhitePanel = 0x10;
    b.m_ValidPanel = 0x01;
    ASSERT_EQ(KD_TransferData(ctrl, 0x01, 0, 0, Solid(1, 1, {1, 2, 3})), 0);
    EXPECT_EQ(b.m_WhitePanel, 0x10);
    EXPECT_EQ(b.m_ValidPanel, 0x01);
    ASSERT_EQ(KD_TransferData(ctrl, 0x30, 0, 0, Solid(1, 1, {1, 2, 3})), 0);
    EXPECT_EQ(b.m_ImgRgbFlag, 0x3F3F);

    b.m_ValidPanel = 0x3F;
    EXPECT_EQ(KD_ClearOuputBuffer(ctrl, 0x07), 0);
    EXPECT_EQ(b.m_ImgRgbFlag, 0x3838);
    EXPECT_EQ(b.m_WhitePanel, 0x07);
    EXPECT_EQ(b.m_ValidPanel, 0x38);
    EXPECT_EQ(At(b.ColorBuffer, 0, 0)[0], 0);
    // A canvas that does not exist is not cleared or marked.
    EXPECT_EQ(KD_ClearOuputBuffer(ctrl, 0x40), 0);
    EXPECT_EQ(b.m_WhitePanel, 0x07);
    EXPECT_EQ(KD_ClearOuputBuffer(ctrl, 0xFF), 0);
    EXPECT_EQ(b.m_ImgRgbFlag, 0);
    EXPECT_EQ(b.m_WhitePanel, 0x3F);
    EXPECT_EQ(b.m_ValidPanel, 0);
    EXPECT_EQ(At(b.MonoBuffer, 0, 0)[0], 0);
}

TEST_F(Canvas, RgbBalanceAndRibbonGamma) {
    b.m_ActiveCorrection = KD_COR_RGB_BALANCE;
    kdapi::KD_ControlState().red = 100;   // +127
    kdapi::KD_ControlState().green = 0;   // -127
    kdapi::KD_ControlState().blue = 50;
    ASSERT_EQ(KD_TransferData(ctrl, 0x07, 0, 0, Solid(1, 1, {100, 200, 60})), 0);
    EXPECT_EQ(At(b.ColorBuffer, 0, 0)[2], 255 - 227);
    EXPECT_EQ(At(b.ColorBuffer, 0, 0)[1], 255 - 73);
    EXPECT_EQ(At(b.ColorBuffer, 0, 0)[0], 255 - 60);
    // Balance is a colour step: a mono transfer ignores it.
    ASSERT_EQ(KD_TransferData(ctrl, 0x20, 0, 0, Solid(1, 1, {100, 200, 60})), 0);
    EXPECT_EQ(At(b.MonoBuffer, 0, 0)[0], 255 - (306 * 100 + 601 * 200 + 117 * 60) / 1024);

    b.m_ActiveCorrection = 0;
    ctrl.m_RibbonMaker = 1;  // gamma 1.42 with colour adjustment on
    ASSERT_EQ(KD_TransferData(ctrl, 0x07, 0, 0, Solid(1, 1, {128, 128, 128})), 0);
    EXPECT_LT(At(b.ColorBuffer, 0, 0)[0], 127);
    b.m_ColorAdjust.type = 0;
    ASSERT_EQ(KD_TransferData(ctrl, 0x07, 0, 0, Solid(1, 1, {128, 128, 128})), 0);
    EXPECT_EQ(At(b.ColorBuffer, 0, 0)[0], 127);
}

TEST_F(Canvas, PrintGeometryTable) {
    struct Case {
        int newSet, ribbon, halfStart;
        PrintGeometry want;
    };
    const Case cases[] = {
        {0, 0, 0, {0, 0, 643, 1013, 643, 1013}},
        {1, 0, 0, {0, 0, 643, 1024, 643, 1024}},
        {0, 8, 0, {0, 0, 643, 1190, 643, 1190}},
        {1, 9, 0, {0, 0, 640, 752, 640, 752}},
        {1, 128, 300, {300, 0, 643, 400, 643, 1024}},
        {0, 128, 300, {0, 300, 643, 400, 643, 1013}},
        {1, 128, 900, {590, 0, 643, 400, 643, 1024}},
        {0, 128, -4, {0, 0, 643, 400, 643, 1013}},
    };
    for (const Case& c : cases) {
        ctrl.m_NewKDCL = c.newSet;
        kdapi::KD_ControlState().halfStart[0] = c.halfStart;
        const PrintGeometry g = KD_GetPrintSize(ctrl, c.ribbon);
        SCOPED_TRACE(::testing::Message() << "ribbon " << c.ribbon << " new " << c.newSet);
        EXPECT_EQ(g.xPos, c.want.xPos);
        EXPECT_EQ(g.yPos, c.want.yPos);
        EXPECT_EQ(g.printWidth, c.want.printWidth);
        EXPECT_EQ(g.printHeight, c.want.printHeight);
        EXPECT_EQ(g.maxWidth, c.want.maxWidth);
        EXPECT_EQ(g.maxHeight, c.want.maxHeight);
    }
}

TEST(MemoryImage, PanelBitsOfRibbonAndPanel) {
    struct Case {
        int ribbon, panel, bits;
    };
    const Case cases[] = {
        {0, 0, 0x07}, {2, 1, 0x07}, {3, 3, 0x08}, {128, 3, 0x08}, {0, 4, 0x10}, {1, 0, 0x20},
        {4, 0, 0x20}, {4, 4, 0x20}, {15, 2, 0x20}, {5, 0, 0x07}, {5, 4, 0x10}, {8, 0, 0x40},
        {8, 4, 0x40}, {9, 0, 0x80}, {9, 4, 0x80}, {2, 5, 0x20}, {0, 5, 0x07}, {7, 0, 0},
        {7, 4, 0x10}, {1, 4, 0x10},
    };
    for (const Case& c : cases)
        EXPECT_EQ(KD_MemoryPanelBits(c.ribbon, c.panel), c.bits) << c.ribbon << "/" << c.panel;
}

TEST_F(Canvas, MemoryImagesDecodeAndTransfer) {
    // Dumps on: a short block must be dumped only as far as it goes.
    KD_LogState log = KD_GetLogState();
    log.level = 3;
    log.commandDumpLimit = 64;
    log.answerDumpLimit = 64;
    log.naming = LOG_NAMING_SINGLE;
    log.logPath = std::getenv("ORVPW_HOME") ? std::getenv("ORVPW_HOME") : "/tmp";
    log.logFile = "memory.log";
    KD_SetLogState(log);
    const uint8_t* heapShort = new uint8_t[5]{1, 2, 3, 4, 5};
    EXPECT_EQ(PrintMemoryImage(ctrl, heapShort, 5, 0, 0, 0, 0, 0), 71);
    delete[] heapShort;
    EXPECT_EQ(PrintMemoryImage(ctrl, nullptr, 100, 1, 0, 0, 0, 0), 21);
    EXPECT_EQ(b.m_ImgRgbFlag, 0);

    // A packed DIB, 2 x 1 at 24 bpp: black, white; ribbon 1 (mono) at (3, 4).
    std::vector<uint8_t> dib(40 + 8, 0);
    const uint32_t header[] = {40, 2, 1};
    std::memcpy(dib.data(), header, sizeof header);
    dib[12] = 1;
    dib[14] = 24;
    std::memset(&dib[43], 255, 3);
    b.m_bLogImage = 1;
    b.m_ImageLogFolder = log.logPath;
    EXPECT_EQ(PrintMemoryImage(ctrl, dib.data(), dib.size(), 10, 1, 0, 3, 4), 0);
    EXPECT_EQ(b.m_ImgRgbFlag, 0x2020);
    EXPECT_EQ(At(b.MonoBuffer, 3, 4)[0], 255);
    EXPECT_EQ(At(b.MonoBuffer, 4, 4)[0], 0);
    std::ifstream saved(log.logPath + "/memory2hbitmap.bmp", std::ios::binary);
    EXPECT_TRUE(saved.good());

    // JPEG bytes.
    std::ifstream in(std::string(ORVPW_PRINT_FIXTURES) + "/picture.jpg", std::ios::binary);
    const std::vector<uint8_t> jpeg((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(PrintMemoryImage(ctrl, jpeg.data(), jpeg.size(), 1, 0, 3, 0, 0), 0);
    EXPECT_EQ(b.m_ImgRgbFlag & 0x0808, 0x0808);
    EXPECT_GT(At(b.BlackBuffer, 5, 5)[0], 200);  // the black square
}

std::vector<uint8_t> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}
uint32_t U32(const std::vector<uint8_t>& v, size_t at) {
    uint32_t x = 0;
    std::memcpy(&x, &v[at], 4);
    return x;
}

TEST(SaveBitmapFile, OneBitRowsOfACardWidth) {
    const int width = 643;
    const int height = 3;
    std::vector<std::vector<uint8_t>> rows(height, std::vector<uint8_t>((width + 7) / 8, 0));
    rows[0].assign(rows[0].size(), 0xFF);  // top line all ones
    rows[2][80] = 0x80;                    // the 641st dot of the bottom line
    const uint8_t* pointers[] = {rows[0].data(), rows[1].data(), rows[2].data()};
    const std::string path = std::string(std::getenv("ORVPW_HOME") ? std::getenv("ORVPW_HOME") : "/tmp") + "/one.bmp";
    ASSERT_TRUE(SaveBitmapFile(1, path, width, height, pointers, false));
    const std::vector<uint8_t> file = ReadAll(path);
    const uint32_t stride = 84;  // 81 bytes of dots, padded to 4
    ASSERT_EQ(file.size(), 54 + 8 + stride * height);
    EXPECT_EQ(file[0], 'B');
    EXPECT_EQ(file[1], 'M');
    EXPECT_EQ(U32(file, 2), file.size());
    EXPECT_EQ(U32(file, 10), 62u);
    EXPECT_EQ(U32(file, 14), 40u);
    EXPECT_EQ(U32(file, 18), 643u);
    EXPECT_EQ(U32(file, 22), 3u);
    EXPECT_EQ(file[26], 1);
    EXPECT_EQ(file[28], 1);
    EXPECT_EQ(U32(file, 30), 0u);
    EXPECT_EQ(U32(file, 38), 11811u);
    EXPECT_EQ(U32(file, 42), 11811u);
    EXPECT_EQ(U32(file, 54), 0u);            // entry 0 black
    EXPECT_EQ(U32(file, 58), 0x00FFFFFFu);   // entry 1 white
    // The last pointer is written first; the 81st byte is kept.
    EXPECT_EQ(file[62 + 80], 0x80);
    EXPECT_EQ(file[62 + 2 * stride], 0xFF);
    EXPECT_EQ(file[62 + 2 * stride + 80], 0xFF);
    EXPECT_EQ(file[62 + 2 * stride + 81], 0x00);  // padding
    // Inverted data bytes for the newer command set; the reader sees the same picture size.
    ASSERT_TRUE(SaveBitmapFile(1, path, width, height, pointers, true));
    const std::vector<uint8_t> inverted = ReadAll(path);
    EXPECT_EQ(inverted[62 + 80], 0x7F);
    EXPECT_EQ(inverted[62 + 2 * stride], 0x00);
    CxImage back;
    ASSERT_TRUE(back.Load(path, KD_IMAGE_TYPE_BMP));
    EXPECT_EQ(back.GetWidth(), 643);
    EXPECT_FALSE(SaveBitmapFile(3, path, width, height, pointers, false));
}

TEST(SaveBitmapFile, EightAndTwentyFourBits) {
    const uint8_t gray[5] = {0, 64, 128, 192, 255};
    const uint8_t* one[] = {gray};
    const std::string path = std::string(std::getenv("ORVPW_HOME") ? std::getenv("ORVPW_HOME") : "/tmp") + "/gray.bmp";
    ASSERT_TRUE(SaveBitmapFile(8, path, 5, 1, one, false));
    const std::vector<uint8_t> file = ReadAll(path);
    ASSERT_EQ(file.size(), 54u + 1024u + 8u);
    EXPECT_EQ(U32(file, 54 + 4 * 200), 0x00C8C8C8u);
    EXPECT_EQ(file[54 + 1024 + 2], 128);
    ASSERT_TRUE(SaveBitmapFile(24, path, 1, 1, one, false));
    EXPECT_EQ(ReadAll(path).size(), 54u + 4u);
}

}  // namespace
