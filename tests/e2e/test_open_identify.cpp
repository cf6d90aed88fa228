// Opening and identifying the simulated printer through the public exports of libORVPW.so,
// over TCP on a loopback address of this test's own.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "orvpw.h"
#include "sim/sim_printer.h"
#include "support/test_support.h"

using orvpw::sim::ScriptedAction;
using orvpw::sim::SimConfig;
using orvpw::sim::SimPrinter;

namespace {

class OpenIdentifyTest : public ::testing::Test {
protected:
    void SetUp() override {
        address_ = testsupport::LoopbackForThisTest();
        SimConfig config;
        config.address = address_;
        config.port = 9200;
        sim_ = std::make_unique<SimPrinter>(config);
        ASSERT_TRUE(sim_->Start()) << sim_->LastError();
        ASSERT_EQ(SetLogPathFile(logFile_.c_str()), 0);
    }
    void TearDown() override {
        CloseDevice(0);
        SetLogPathFile(nullptr);
        sim_->Stop();
    }
    int Open() { return OpenDevice(address_.data(), 0); }
    std::vector<std::string> Commands() const {
        std::vector<std::string> names;
        for (const auto& frame : sim_->ReceivedFrames()) names.push_back(frame.command);
        return names;
    }
    std::string Log() const { return testsupport::ReadFile(logFile_); }

    std::string address_;
    testsupport::TempFolder folder_;
    std::string logFile_ = folder_.File("open.log");
    std::unique_ptr<SimPrinter> sim_;
};

TEST_F(OpenIdentifyTest, FirstOpenIdentifiesTheNewerPrinter) {
    ASSERT_EQ(Open(), 0);
    const std::vector<std::string> expected = {"!GPS", "!CSS", "!GVT", "!LRM", "$STT", "!LRM"};
    EXPECT_EQ(Commands(), expected);

    int generation = -1;
    ASSERT_EQ(GetKdclType(&generation), 0);
    EXPECT_EQ(generation, 1);

    char version[ORVPW_VERSION_TEXT_SIZE] = {};
    int type = 0;
    int model = 0;
    ASSERT_EQ(Get_PrinterInfoEx(version, &type, &model), 0);
    EXPECT_STREQ(version, "00000407");
    EXPECT_EQ(type, 1);
    EXPECT_EQ(model, 2);
    std::string log = Log();
    EXPECT_NE(log.find("   S/N = [SIM0000001], FW VER = [00000407], m_bFwVersion = [407]"),
              std::string::npos);
    EXPECT_NE(log.find("[E]OpenDevice - OK, KD_OpenDevice : KD_GetLastStatusCd = [0]"),
              std::string::npos);
    EXPECT_NE(log.find("[E]Get_PrinterInfoEx - OK, KD_Get_PrinterInfoEx : KD_GetLastStatusCd = [0], "
                       "pVersion = [00000407]"),
              std::string::npos);
}

TEST_F(OpenIdentifyTest, SecondOpenDoesNotIdentifyAgainButReadsTheVersion) {
    ASSERT_EQ(Open(), 0);
    sim_->ClearFrames();
    sim_->UpdateState([](auto& state) { state.firmware = {0x00, 0x00, 0x03, 0x30}; });
    ASSERT_EQ(Open(), 0);
    auto commands = Commands();
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(commands.front(), "!GVT");
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "!GPS"), 0);
    // Firmware 330 lies in a range that takes the date.
    EXPECT_EQ(commands.back(), "!ICD");
    EXPECT_TRUE(sim_->State().date_received);
}

TEST_F(OpenIdentifyTest, DateIsSentOnlyToFirmwareThatTakesIt) {
    struct Case { uint8_t high, low; bool takesDate; };
    const Case cases[] = {{0x03, 0x19, false}, {0x03, 0x20, true}, {0x03, 0x98, true},
                          {0x03, 0x99, false}, {0x04, 0x19, false}, {0x04, 0x20, true},
                          {0x04, 0x99, true},  {0x05, 0x00, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << int(c.high) << int(c.low));
        sim_->UpdateState([&](auto& state) {
            state.firmware = {0x00, 0x00, c.high, c.low};
            state.date_received = false;
        });
        sim_->ClearFrames();
        ASSERT_EQ(Open(), 0);
        EXPECT_EQ(sim_->State().date_received, c.takesDate);
    }
}

TEST_F(OpenIdentifyTest, CardInsertReachesThePrinter) {
    ASSERT_EQ(Open(), 0);
    EXPECT_EQ(Card_Insert(), 0);
    EXPECT_EQ(LUM_Card_Insert(), 0);
    EXPECT_TRUE(sim_->State().card_inserted);
    EXPECT_NE(Log().find("[E]Card_Insert - OK, KD_Card_Insert : KD_GetLastStatusCd = [0]"),
              std::string::npos);
}

TEST_F(OpenIdentifyTest, PrinterRefusalIsAnNgExit) {
    ASSERT_EQ(Open(), 0);
    sim_->Script(ScriptedAction::On("RIP").StatusWord(0x8000 | 12));
    EXPECT_EQ(Card_Insert(), -1);
    EXPECT_NE(Log().find("[E]Card_Insert - NG, KD_Card_Insert : KD_GetLastStatusCd = [12]"),
              std::string::npos);
}

TEST_F(OpenIdentifyTest, BadAnswerMakesTheNextExportPurgeFirst) {
    ASSERT_EQ(Open(), 0);
    sim_->Script(ScriptedAction::On("RIP").GarbageInstead(std::vector<uint8_t>(12, 0x33)));
    EXPECT_EQ(Card_Insert(), -1);
    // The purge lines are class 2: log at level 2 into daily files of a folder of their own.
    testsupport::TempFolder detail;
    ASSERT_EQ(SetLogPathFileMonth(detail.Path().c_str(), "purge", 1), 0);

    char version[ORVPW_VERSION_TEXT_SIZE];
    EXPECT_EQ(Get_PrinterInfo(version), 0);
    EXPECT_EQ(Get_PrinterInfo(version), 0);
    SetLogPathFile(nullptr);
    std::string log = testsupport::ReadFolder(detail.Path());
    size_t purge = log.find("KD_ClearReadBuffer");
    ASSERT_NE(purge, std::string::npos);
    EXPECT_NE(log.find("CP_PurgeDevice, iStatus = [0]"), std::string::npos);
    EXPECT_EQ(log.find("KD_ClearReadBuffer", purge + 1), std::string::npos) << log;
}

TEST_F(OpenIdentifyTest, OlderOpenByExplicitFlagsUsesTheOlderFormAfterTheSwitch) {
    ASSERT_EQ(Open(), 0);
    ASSERT_EQ(SetKdclType(0), 0);
    int generation = -1;
    GetKdclType(&generation);
    EXPECT_EQ(generation, 0);
    ASSERT_EQ(SetKdclType(1), 0);
}

TEST(OpenWithoutPrinter, CardInsertFailsWithPortNotOpen) {
    testsupport::TempFolder folder;
    const std::string log = folder.File("none.log");
    ASSERT_EQ(SetLogPathFile(log.c_str()), 0);
    ASSERT_EQ(SetOpenType(0), 0);
    EXPECT_EQ(Card_Insert(), -1);
    SetOpenType(1);
    SetLogPathFile(nullptr);
    EXPECT_NE(testsupport::ReadFile(log).find(
                  "[E]Card_Insert - NG, KD_ClearReadBuffer : KD_GetLastStatusCd = [1003]"),
              std::string::npos);
}

TEST(OpenWithoutPrinter, OpenOfAnAddressWithNoPrinterFails) {
    const std::string address = testsupport::LoopbackForThisTest();
    SetRetryTimes(1);
    EXPECT_EQ(OpenDevice(const_cast<char*>(address.c_str()), 0), -1);
    EXPECT_EQ(Card_Insert(), -1);
}

TEST(SettingExports, RetryTimesAreClampedAndLogged) {
    testsupport::TempFolder folder;
    const std::string log = folder.File("retry.log");
    ASSERT_EQ(SetLogPathFile(log.c_str()), 0);
    // The level of SetLogPathFile is 1; the retry lines are class 2.
    ASSERT_EQ(SetLogPathFileMonth(folder.Path().c_str(), "retry", 1), 0);
    EXPECT_EQ(SetRetryTimes(0), 0);
    EXPECT_EQ(SetRetryTimes(9), 0);
    SetLogPathFile(nullptr);
    std::string text = testsupport::ReadFolder(folder.Path());
    EXPECT_NE(text.find("Retry Times = 0 -> 1"), std::string::npos);
    EXPECT_NE(text.find("Retry Times = 9 -> 5"), std::string::npos);
}

TEST(SettingExports, LogMonthOutOfRangeIsRefused) {
    EXPECT_EQ(SetLogPathFileMonth("/tmp", "x", 13), -1);
    EXPECT_EQ(LUM_SetLogPathFileMonth("/tmp", "x", -1), -1);
}

}  // namespace
