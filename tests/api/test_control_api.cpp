// The control exports through the public header and libORVPW.so only, against the
// simulated printer opened by address, as an application uses them.
#include <gtest/gtest.h>

#include <string>

#include "orvpw.h"
#include "sim/sim_printer.h"
#include "support/test_support.h"

namespace {

class ControlApiTest : public ::testing::Test {
protected:
    void SetUp() override {
        address_ = testsupport::LoopbackForThisTest();
        orvpw::sim::SimConfig config;
        config.address = address_;
        config.port = 9200;
        sim_ = std::make_unique<orvpw::sim::SimPrinter>(config);
        ASSERT_TRUE(sim_->Start()) << sim_->LastError();
        ASSERT_EQ(OpenDevice(address_.data(), 0), 0);
        sim_->ClearFrames();
    }
    void TearDown() override {
        CloseDevice(0);
        sim_->Stop();
    }
    std::string address_;
    std::unique_ptr<orvpw::sim::SimPrinter> sim_;
};

TEST_F(ControlApiTest, InsertFlipAndEjectACard) {
    int feeder = -1;
    ASSERT_EQ(CheckFeeder(&feeder), 0);
    EXPECT_EQ(feeder, 0);
    ASSERT_EQ(Card_Insert(), 0);
    ASSERT_EQ(Card_Flip(), 0);
    EXPECT_TRUE(sim_->State().card_flipped);
    ASSERT_EQ(Card_Eject(0), 0);
    EXPECT_FALSE(sim_->State().card_inserted);
}

// Exported under its decorated name: linking this call resolves that name in the library.
TEST_F(ControlApiTest, DecoratedFlipperExportIsReachable) {
    EXPECT_EQ(Card_MoveFlipperToPrinter(), -1);  // the newer command set has no such command
    EXPECT_TRUE(sim_->ReceivedFrames().empty());
}

TEST_F(ControlApiTest, ParameterRoundTripAndRibbon) {
    ASSERT_EQ(SetParametersEx(27, 20), 0);
    int value = 0;
    ASSERT_EQ(GetParametersEx(27, &value), 0);
    EXPECT_EQ(value, 20);
    char text[ORVPW_PARAMETER_TEXT_SIZE];
    int length = 0;
    ASSERT_EQ(LUM_GetParameters(27, text, &length), 0);
    EXPECT_STREQ(text, "20");
    EXPECT_EQ(length, 2);

    int code = 0;
    int count = 0;
    ASSERT_EQ(GetRibbonInfoEx(0, &code, &count), 0);
    EXPECT_EQ(code, '1');
    EXPECT_EQ(count, 250);
}

}  // namespace
