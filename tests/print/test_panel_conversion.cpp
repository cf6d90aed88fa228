// Panel conversion of one card side with the data maker, the sender and the item reads
// replaced by recorders.
#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "api/control_common.h"
#include "core/controller.h"
#include "print/panel_conversion.h"

namespace {

CxImage Solid(int w, int h, uint8_t r, uint8_t g, uint8_t b) {
    CxImage image;
    EXPECT_TRUE(image.Create(w, h, 24));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) image.SetPixelColor(x, y, CxRgbQuad{b, g, r, 0});
    return image;
}

struct Converted {
    KD_PanelPlane panel;
    std::vector<uint8_t> plane;
    std::vector<uint8_t> black;
};

class PanelConversion : public ::testing::Test {
protected:
    void SetUp() override {
        ctrl.m_PrintBuffers = CKDPrintBuffers{};
        ctrl.m_NewKDCL = 1;
        ctrl.m_bFwVersion = 300;
        kdapi::KD_ControlState() = kdapi::ControlState{};
        hooks.convert = [this](CKDCtrl&, const KD_PanelPlane& panel, std::vector<uint8_t>& commands, int& count) {
            Converted c{panel, {}, {}};
            const size_t size = static_cast<size_t>(panel.geometry.maxWidth) * panel.geometry.maxHeight;
            c.plane.assign(panel.plane, panel.plane + size);
            if (panel.black) c.black.assign(panel.black, panel.black + size);
            converted.push_back(std::move(c));
            commands.assign(10, static_cast<uint8_t>(panel.panelIndex));
            count = 1;
            return 10;
        };
        hooks.send = [this](CKDCtrl&, const uint8_t*, int, int panelIndex, int) {
            sent.push_back(panelIndex);
            return sendStatus;
        };
        hooks.readItem = [this](CKDCtrl&, int item, int* value) {
            itemsRead.push_back(item);
            *value = item * 10;
            return 0;
        };
    }
    const Converted* Panel(int index) const {
        for (const Converted& c : converted)
            if (c.panel.panelIndex == index) return &c;
        return nullptr;
    }

    CKDCtrl& ctrl = KDCtrl();
    CKDPrintBuffers& b = KDCtrl().m_PrintBuffers;
    KD_PanelHooks hooks;
    std::vector<Converted> converted;
    std::vector<int> sent;
    std::vector<int> itemsRead;
    int sendStatus = 0;
};

TEST_F(PanelConversion, OnlyBlackDataMakesColourWhite) {
    ASSERT_EQ(KD_TransferData(ctrl, 0x08, 0, 0, Solid(50, 50, 0, 0, 0)), 0);
    ASSERT_EQ(KD_TransferOuputBuffer(ctrl, 0, 0, 255, hooks), 0);
    EXPECT_EQ(sent, std::vector<int>{3});
    EXPECT_EQ(b.m_WhitePanel & 0x1F, 0x17 | 0x08);  // cleared afterwards: K white as well
    // Every canvas is cleared without a pass mask.
    EXPECT_EQ(b.m_ImgRgbFlag, 0);
}

TEST_F(PanelConversion, PlaneLayoutAndMinimumLength) {
    // One black dot at card column 10, card line 20 in an otherwise white 100-line image.
    CxImage picture = Solid(100, 100, 255, 255, 255);
    picture.SetPixelColor(10, 99 - 20, CxRgbQuad{0, 0, 0, 0});
    ASSERT_EQ(KD_TransferData(ctrl, 0x20, 0, 0, picture), 0);
    ASSERT_EQ(KD_TransferOuputBuffer(ctrl, 4, 0, 255, hooks), 0);
    const Converted* mono = Panel(5);
    ASSERT_NE(mono, nullptr);
    EXPECT_EQ(mono->panel.geometry.maxWidth, 643);
    EXPECT_EQ(mono->panel.geometry.maxHeight, 1024);
    EXPECT_EQ(mono->plane[10 * 643 + 20], 255);
    int ink = 0;
    for (uint8_t v : mono->plane) ink += v != 0;
    EXPECT_EQ(ink, 1);
    // Print area: line 10 only, stretched to 536 lines.
    EXPECT_EQ(mono->panel.printStart, 10);
    EXPECT_EQ(mono->panel.printEnd, 546);
    EXPECT_EQ(mono->panel.geometry.yPos, 10);
    EXPECT_EQ(mono->panel.geometry.printHeight, 536);
    EXPECT_EQ(mono->panel.option, 0x10060 + 0x4000);
}

TEST_F(PanelConversion, InkNearTheEndPullsTheStartBack) {
    ctrl.m_NewKDCL = 0;  // maximum height 1013
    ctrl.m_bFwVersion = 450;
    ASSERT_EQ(KD_TransferData(ctrl, 0x08, 1000, 0, Solid(13, 10, 0, 0, 0)), 0);
    ASSERT_EQ(KD_TransferOuputBuffer(ctrl, 0, 0, 255, hooks), 0);
    const Converted* k = Panel(3);
    ASSERT_NE(k, nullptr);
    EXPECT_EQ(k->panel.printStart, 477);
    EXPECT_EQ(k->panel.printEnd, 1013);
    EXPECT_EQ(b.m_PrintStart, 0);  // 992 - 1013, not below 0
    // Firmware 400 and later read items 27, 26 and 25 each time.
    EXPECT_EQ(itemsRead, (std::vector<int>{27, 26, 25, 30}));
    EXPECT_EQ(b.m_PrintAreaItem26, 260);
}

TEST_F(PanelConversion, PassMaskSendsOnlyYellowAndKeepsTheRest) {
    ASSERT_EQ(KD_TransferData(ctrl, 0x0F, 0, 0, Solid(20, 20, 0, 0, 0)), 0);
    ASSERT_EQ(KD_TransferData(ctrl, 0x10, 0, 0, Solid(20, 20, 0, 0, 0)), 0);
    ASSERT_EQ(KD_TransferOuputBuffer(ctrl, 0, 0, 0x01, hooks), 0);
    EXPECT_EQ(sent, std::vector<int>{0});
    EXPECT_EQ(b.m_ImgRgbFlag & 0xFF, 0x1E);
    EXPECT_EQ(b.m_PassPanel, 1);
    EXPECT_EQ(b.m_WhitePanel & 0x1000, 0);
    // The rest is still there for the next pass.
    ASSERT_EQ(KD_TransferOuputBuffer(ctrl, 0, 0, 0x1E, hooks), 0);
    EXPECT_EQ(sent, (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(Panel(4)->plane[0], 255);
    EXPECT_EQ(b.m_ImgRgbFlag, 0);
}

TEST_F(PanelConversion, TwoPassModeLeavesOnlyYellow) {
    b.m_RibbonPass = 3;
    ASSERT_EQ(KD_TransferData(ctrl, 0x07, 0, 0, Solid(20, 20, 0, 0, 0)), 0);
    ASSERT_EQ(KD_TransferOuputBuffer(ctrl, 0, 0, 255, hooks), 0);
    EXPECT_EQ(sent, std::vector<int>{0});  // M and C are not sent without a pass mask
    EXPECT_EQ(b.m_ImgRgbFlag & 0xFF, 0x06);
    EXPECT_TRUE(b.ColorBuffer.IsValid());
}

TEST_F(PanelConversion, BlackExtractionKeepsNeutralPixels) {
    b.m_Tone.blackOn = 200;
    // Inks: pure black (255, 255, 255) is "all equal"; a dark neutral (ink 150, 150, 155)
    // is below the threshold and within 10; a colour is not.
    CxImage picture = Solid(3, 1, 0, 0, 0);
    picture.SetPixelColor(1, 0, CxRgbQuad{100, 105, 105, 0});
    picture.SetPixelColor(2, 0, CxRgbQuad{0, 0, 255, 0});
    ASSERT_EQ(KD_TransferData(ctrl, 0x07, 0, 0, picture), 0);
    ASSERT_EQ(KD_TransferOuputBuffer(ctrl, 0, 0, 255, hooks), 0);
    const Converted* y = Panel(0);
    ASSERT_NE(y, nullptr);
    ASSERT_FALSE(y->black.empty());
    EXPECT_EQ(y->black[0 * 643], 255);
    EXPECT_EQ(y->black[1 * 643], 155);
    EXPECT_EQ(y->black[2 * 643], 0);
    EXPECT_EQ(y->plane[2 * 643], 255);  // the red pixel: Y ink 255 - B(0)
}

TEST_F(PanelConversion, SendFailureStopsTheLoop) {
    ASSERT_EQ(KD_TransferData(ctrl, 0x0F, 0, 0, Solid(5, 5, 0, 0, 0)), 0);
    sendStatus = 1004;
    EXPECT_EQ(KD_TransferOuputBuffer(ctrl, 0, 0, 255, hooks), 1004);
    EXPECT_EQ(sent, std::vector<int>{0});
    EXPECT_EQ(ctrl.LastStatus(), 1004);
    EXPECT_EQ(b.m_ValidPanel, 0);
}

TEST_F(PanelConversion, NoDataReturnsAtOnce) {
    b.m_ValidPanel = 0x08;
    b.m_WhitePanel = 0x08;
    EXPECT_EQ(KD_TransferOuputBuffer(ctrl, 0, 0, 255, hooks), 0);
    EXPECT_TRUE(converted.empty());
    EXPECT_EQ(b.m_WhitePanel & 0x08, 0);
}

TEST_F(PanelConversion, BlackSplitOfAFileImage) {
    b.m_Tone.blackOn = 40;
    // Red with a dark neutral pixel inside and a dark blue one (not neutral).
    CxImage picture = Solid(5, 3, 200, 0, 0);
    picture.SetPixelColor(2, 1, CxRgbQuad{10, 12, 15, 0});
    picture.SetPixelColor(3, 1, CxRgbQuad{35, 0, 0, 0});
    ASSERT_EQ(KD_TransferBlackSplit(ctrl, picture, 0, 0), 0);
    // Row 1 from the top: K ink only at column 2; colour there is red again (hole filled).
    EXPECT_EQ(b.BlackBuffer.GetBits(1)[3 * 2], 255 - (306 * 15 + 601 * 12 + 117 * 10) / 1024);
    EXPECT_EQ(b.BlackBuffer.GetBits(1)[3 * 3], 0);
    EXPECT_EQ(b.BlackBuffer.GetBits(1)[3 * 1], 0);
    EXPECT_EQ(b.ColorBuffer.GetBits(1)[3 * 2 + 2], 255 - 200);  // C ink of red
    EXPECT_EQ(b.ColorBuffer.GetBits(1)[3 * 2 + 0], 255);        // Y ink of red
    EXPECT_EQ(b.ColorBuffer.GetBits(1)[3 * 3 + 0], 255 - 35);   // the blue stays colour
    EXPECT_EQ(b.m_ImgRgbFlag, 0x0F0F);
}

TEST(PanelOption, WordsPerPanelAndSet) {
    CKDCtrl& ctrl = KDCtrl();
    ctrl.m_PrintBuffers = CKDPrintBuffers{};
    ctrl.m_NewKDCL = 0;
    ctrl.m_PrintBuffers.m_GrayLevel = 31;
    ctrl.m_PrintBuffers.m_ErrorDiffusion = 1;
    EXPECT_EQ(KD_PanelOption(ctrl, 0, 128), 0x16000 + 0x11 + 0x9000 + 0x80);
    EXPECT_EQ(KD_PanelOption(ctrl, 3, 128), 0x16000 + 0x11 + 0x9000);
    EXPECT_EQ(KD_PanelOption(ctrl, 4, 0), 0x16000 + 0x8000 + 0x300);
    EXPECT_EQ(KD_PanelOption(ctrl, 5, 4), 0x16000 + 0xC000 + 0x300);
    ctrl.m_NewKDCL = 1;
    ctrl.m_PrintBuffers.m_ColorAdjust.type = 0;
    ctrl.m_PrintBuffers.m_ErrorDiffusion = 4;
    EXPECT_EQ(KD_PanelOption(ctrl, 1, 0), 0x10060);
    EXPECT_EQ(KD_PanelOption(ctrl, 6, 8), 0x10060 + 0x4000 + 0x900);
}

}  // namespace
