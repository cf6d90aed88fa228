// Port selection and listing through the public exports of libORVPW.so, and the older
// command form end to end over a pty to the simulated printer. Nothing here reaches network
// discovery: no listing or open below selects the network.
#include <dlfcn.h>

#include <gtest/gtest.h>

#include <string>

#include "orvpw.h"
#include "sim/sim_printer.h"
#include "support/test_support.h"

using orvpw::sim::ScriptedAction;
using orvpw::sim::SimConfig;
using orvpw::sim::SimPrinter;

namespace {

class PortListingTest : public ::testing::Test {
protected:
    // Daily log files log at level 2, which the port-type lines need.
    void SetUp() override { ASSERT_EQ(SetLogPathFileMonth(folder_.Path().c_str(), "list", 1), 0); }
    void TearDown() override {
        CloseDevice(0);
        SetLogPathFile(nullptr);
    }
    std::string Log() const { return testsupport::ReadFolder(folder_.Path()); }

    testsupport::TempFolder folder_;
};

TEST_F(PortListingTest, FlagsDefaultToUsbPrintersAndAnEmptyBusListsNothing) {
    uint32_t count = 77;
    EXPECT_EQ(ListDevices(&count, nullptr, 0), -1);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(LUM_ListDevices(&count, nullptr, 0x80000000u), -1);
    const std::string log = Log();
    EXPECT_NE(log.find("dwFlags ListDevice = [01100000h] (E)"), std::string::npos);
    EXPECT_NE(log.find("dwFlags ListDevice = [81100000h] (E)"), std::string::npos);
    // A count query wrote no text: the exit line shows none.
    EXPECT_NE(log.find("[E]ListDevices - NG, KD_ListDevices : KD_GetLastStatusCd = [1002]"),
              std::string::npos);

    char name[ORVPW_DEVICE_TEXT_SIZE] = "x";
    char description[ORVPW_DEVICE_TEXT_SIZE] = "x";
    EXPECT_EQ(GetDeviceInformation(16, 0, description, name), -1);
    EXPECT_STREQ(name, "");
    EXPECT_STREQ(description, "");

    uint32_t connected = 5;
    EXPECT_EQ(GetConnectedDevices(16, &connected), -1);
    EXPECT_EQ(connected, 0u);
}

TEST_F(PortListingTest, EmptySerialNumberNamesNoDevicePath) {
    char path[ORVPW_DEVICE_PATH_SIZE] = "x";
    EXPECT_EQ(GetDevicePath("", path), -1);
    EXPECT_STREQ(path, "");
    EXPECT_NE(Log().find("[E]GetDevicePath - NG, KD_GetDevicePath : KD_GetLastStatusCd = [1002]"),
              std::string::npos);
}

TEST_F(PortListingTest, DescriptionSelectsThePortTypeUnderBothNames) {
    using SetDescriptionFn = int (*)(char*);
    auto decorated = reinterpret_cast<SetDescriptionFn>(::dlsym(RTLD_DEFAULT, "_Z14SetDescriptionPc"));
    ASSERT_NE(decorated, nullptr);
    EXPECT_EQ(::dlsym(RTLD_DEFAULT, "SetDescription"), nullptr);

    const struct {
        const char* description;
        int portType;
    } cases[] = {{"card printer", 1}, {"Smart Card Reader", 32}, {"CARD SCANNER A", 4}, {"something else", 4}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.description);
        std::string text = c.description;
        EXPECT_EQ(decorated(text.data()), 0);
        EXPECT_EQ(LUM_SetDescription(text.data()), 0);
    }
    const std::string log = Log();
    EXPECT_NE(log.find("KD_SetDescription - [card printer], m_PortType = [0 -> 1]"), std::string::npos);
    EXPECT_NE(log.find("KD_SetDescription - [Smart Card Reader], m_PortType = [1 -> 32]"), std::string::npos);
    EXPECT_NE(log.find("KD_SetDescription - [CARD SCANNER A], m_PortType = [32 -> 4]"), std::string::npos);
    EXPECT_EQ(log.find("KD_SetDescription - [something else]"), std::string::npos);
}

// An older-form printer on a serial line, opened by its device path.
TEST_F(PortListingTest, OlderPrinterOnASerialLine) {
    SimConfig config;
    config.address = testsupport::LoopbackForThisTest();
    config.port = 0;
    config.newer = false;
    config.serial_pty = true;
    SimPrinter sim(config);
    ASSERT_TRUE(sim.Start()) << sim.LastError();
    std::string path = sim.SerialPath();

    ASSERT_EQ(OpenDevice(path.data(), 0), 0);
    int generation = -1;
    ASSERT_EQ(GetKdclType(&generation), 0);
    EXPECT_EQ(generation, 0);
    char version[ORVPW_VERSION_TEXT_SIZE] = {};
    ASSERT_EQ(Get_PrinterInfo(version), 0);
    EXPECT_STREQ(version, "V1.0.215");
    EXPECT_EQ(Card_Insert(), 0);
    sim.Script(ScriptedAction::On("MI").Nak(12));
    EXPECT_EQ(Card_Insert(), -1);
    EXPECT_EQ(CloseDevice(0), 0);
    EXPECT_NE(Log().find("[E]Card_Insert - NG, KD_Card_Insert : KD_GetLastStatusCd = [12]"), std::string::npos);
}

}  // namespace
