// The serial transport: the ring and line handling against a bare pty, and the older
// command form end to end against the simulated printer behind a pty.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "core/controller.h"
#include "diag/log.h"
#include "orvpw.h"
#include "sim/sim_printer.h"
#include "support/sim_controller.h"
#include "support/test_support.h"

using orvpw::sim::ScriptedAction;
using orvpw::sim::SimConfig;
using orvpw::sim::SimPrinter;

namespace {

constexpr int kCardInsert = 4;

// A pty whose slave the port under test opens; the test plays the device on the master.
class BarePty {
public:
    BarePty() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0) {
            char name[128];
            if (::ptsname_r(master_, name, sizeof name) == 0) slave_ = name;
        }
    }
    ~BarePty() {
        if (master_ >= 0) ::close(master_);
    }
    const std::string& Slave() const { return slave_; }
    void Send(const std::vector<uint8_t>& bytes) {
        ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    // Reads until `count` bytes arrived or 3 s passed.
    std::vector<uint8_t> Receive(size_t count) {
        std::vector<uint8_t> bytes;
        for (int polls = 0; bytes.size() < count && polls < 300; ++polls) {
            pollfd waiting{master_, POLLIN, 0};
            if (::poll(&waiting, 1, 10) <= 0) continue;
            uint8_t buffer[4096];
            ssize_t n = ::read(master_, buffer, sizeof buffer);
            if (n > 0) bytes.insert(bytes.end(), buffer, buffer + n);
        }
        return bytes;
    }

private:
    int master_ = -1;
    std::string slave_;
};

class ComPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::LogEverythingTo(logFile_);
        ASSERT_FALSE(pty_.Slave().empty());
        port_.SetDeviceName(pty_.Slave().c_str());
        ASSERT_EQ(port_.Open(), 0);
    }
    void TearDown() override {
        port_.Close();
        KD_SetLogPathFile(nullptr);
    }
    std::string Log() const { return testsupport::ReadFile(logFile_); }

    testsupport::TempFolder folder_;
    std::string logFile_ = folder_.File("com.log");
    BarePty pty_;
    CKDComPort port_;
};

TEST_F(ComPortTest, ReadTakesWhatArrivedAndTimesOutEmpty) {
    uint8_t buffer[1024];
    int received = -1;
    EXPECT_EQ(port_.Read(buffer, sizeof buffer, 30, &received), 0);
    EXPECT_EQ(received, 0);

    pty_.Send({0x06, 0x01, 0x7B, 'O', 'K', 0x7D, 0x04});
    ASSERT_TRUE(testsupport::WaitFor([&] { return port_.BytesHeld() == 7; }, 2000));
    EXPECT_EQ(port_.Read(buffer, sizeof buffer, 500, &received), 0);
    EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + received),
              (std::vector<uint8_t>{0x06, 0x01, 0x7B, 'O', 'K', 0x7D, 0x04}));
    EXPECT_NE(Log().find("[COM] CP_ReadDevice - 7 of 1024, iStatus = 0"), std::string::npos);
}

TEST_F(ComPortTest, PurgeEmptiesTheRingAndDumpsAtMostAHundredBytes) {
    pty_.Send(std::vector<uint8_t>(150, 0x41));
    ASSERT_TRUE(testsupport::WaitFor([&] { return port_.BytesHeld() == 150; }, 2000));
    EXPECT_EQ(port_.ClearRxQueue(), 0);
    EXPECT_EQ(port_.BytesHeld(), 0u);
    const std::string log = Log();
    EXPECT_NE(log.find("[COM] ClearRxQueue, 150 bytes"), std::string::npos);
    uint8_t buffer[16];
    int received = -1;
    EXPECT_EQ(port_.Read(buffer, sizeof buffer, 20, &received), 0);
    EXPECT_EQ(received, 0);
}

TEST_F(ComPortTest, LongWritesGoOutWhole) {
    std::vector<uint8_t> data(5000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7);
    int written = 0;
    EXPECT_EQ(port_.Write(data.data(), static_cast<int>(data.size()), &written), 0);
    EXPECT_EQ(written, 5000);
    EXPECT_EQ(pty_.Receive(5000), data);
    EXPECT_NE(Log().find("[COM] CP_WriteDevice - 5000 of 5000, iStatus = 0"), std::string::npos);
}

TEST_F(ComPortTest, CloseJoinsTheReadThreadAndAnOpenPortIsExclusive) {
    CKDComPort second;
    second.SetDeviceName(pty_.Slave().c_str());
    if (::geteuid() != 0) {
        EXPECT_EQ(second.Open(), ERR_DEV_NOT_OPENED);  // root may share a tty
    }
    EXPECT_EQ(port_.Close(), 0);
    EXPECT_FALSE(port_.IsOpen());
    const std::string log = Log();
    EXPECT_NE(log.find("[COM] Read Thread - Enter"), std::string::npos);
    EXPECT_NE(log.find("[COM] Read Thread - Exit"), std::string::npos);
    int written = 0;
    const uint8_t byte = 0;
    EXPECT_EQ(port_.Write(&byte, 1, &written), ERR_DEV_NOT_OPENED);
}

TEST(ComPortNames, PortNumbersAndDevicePaths) {
    testsupport::TempFolder folder;
    const std::string settings = folder.File("ORVPW.INI");
    std::ofstream(settings) << "[COM]\nCOM4=/dev/ttyUSB9\n";
    CKDComPort port;
    port.m_SettingsPath = settings;
    const struct {
        const char* name;
        int number;
        const char* path;
    } cases[] = {
        {"COM3", 3, "/dev/ttyS2"},
        {"\\\\.\\COM3", 3, "/dev/ttyS2"},
        {"COM4", 4, "/dev/ttyUSB9"},
        {"COM10", 10, "/dev/ttyS9"},  // not the 0 of its last digit
        {"COM12", 12, "/dev/ttyS11"},
        {"/dev/pts/3", 0, "/dev/pts/3"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        port.SetDeviceName(c.name);
        if (c.number) {
            EXPECT_EQ(port.m_PortNumber, c.number);
        }
        EXPECT_EQ(port.DevicePath(c.name), c.path);
    }
    port.SetDeviceName("/dev/pts/3");
    const int first = port.m_PortNumber;
    port.SetDeviceName("/dev/pts/4");
    EXPECT_GE(first, 1000);
    EXPECT_NE(port.m_PortNumber, first);
    port.SetDeviceName("/dev/pts/3");
    EXPECT_EQ(port.m_PortNumber, first);
    EXPECT_EQ(port.m_BaudRate, 115200);
    EXPECT_EQ(port.m_DataBits, 8);
}

// The older command form through the controller, over a pty to the simulated printer.
class SerialPrinterTest : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::LogEverythingTo(logFile_);
        SimConfig config;
        config.address = testsupport::LoopbackForThisTest();
        config.port = 0;
        config.newer = false;
        config.serial_pty = true;
        sim_ = std::make_unique<SimPrinter>(config);
        ASSERT_TRUE(sim_->Start()) << sim_->LastError();
        std::ofstream(settings_) << "[COM]\nCOM7=" << sim_->SerialPath() << "\n";

        CKDCtrl& ctrl = KDCtrl();
        ctrl.KD_PrinterClose();
        ctrl.m_PortType = KD_PORT_ALL;
        ctrl.m_bFirstOpen = 1;
        ctrl.m_RetryTimes = 1;
        ctrl.m_OpenType = 1;
        ctrl.m_ComDevice.m_SettingsPath = settings_;
        ctrl.m_ComDevice.m_LocationId = 0;  // as in a process that never opened a serial port
        testsupport::ShortenRetryWaits();
    }
    void TearDown() override {
        KDCtrl().KD_PrinterClose();
        KDCtrl().m_PortType = KD_PORT_ALL;
        sim_->Stop();
        KD_SetLogPathFile(nullptr);
    }
    std::vector<std::string> Commands() const {
        std::vector<std::string> names;
        for (const auto& frame : sim_->ReceivedFrames()) names.push_back(frame.command);
        return names;
    }
    std::string Log() const { return testsupport::ReadFile(logFile_); }

    testsupport::TempFolder folder_;
    std::string logFile_ = folder_.File("serial.log");
    std::string settings_ = folder_.File("ORVPW.INI");
    std::unique_ptr<SimPrinter> sim_;
};

TEST_F(SerialPrinterTest, OpensByComNameIdentifiesAndExchanges) {
    CKDCtrl& ctrl = KDCtrl();
    ASSERT_EQ(ctrl.KD_OpenDevice("COM7", 0), 0);
    EXPECT_EQ(ctrl.m_PortType, KD_PORT_COM);
    EXPECT_EQ(ctrl.m_NewKDCL, 0);
    EXPECT_EQ(ctrl.m_LocationId, 256u + 7u);
    EXPECT_EQ(ctrl.m_SerialNumber, "COM7");  // the older form reports the port name
    EXPECT_EQ(ctrl.m_bFwVersion, 215);

    ASSERT_EQ(ctrl.KD_Exchange(kCardInsert, 0, 2000000, 0), 0);
    EXPECT_TRUE(sim_->State().card_inserted);
    const std::vector<std::string> commands = Commands();
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(commands.back(), "MI");

    sim_->Script(ScriptedAction::On("MI").Nak(12));
    EXPECT_EQ(ctrl.KD_Exchange(kCardInsert, 0, 2000000, 0), 12);
}

TEST_F(SerialPrinterTest, OpensByDevicePathThroughTheExports) {
    std::string path = sim_->SerialPath();
    ASSERT_EQ(OpenDevice(path.data(), 0), 0);
    EXPECT_EQ(KDCtrl().m_PortType, KD_PORT_COM);
    EXPECT_EQ(KDCtrl().m_SerialNumber, path);
    EXPECT_EQ(Card_Insert(), 0);
    EXPECT_EQ(CloseDevice(0), 0);
    EXPECT_NE(Log().find("[COM] Read Thread - Exit"), std::string::npos);
}

TEST_F(SerialPrinterTest, SilentPrinterAndVanishedDeviceGiveStatusesNotHangs) {
    CKDCtrl& ctrl = KDCtrl();
    ASSERT_EQ(ctrl.KD_OpenDevice("COM7", 0), 0);
    sim_->Script(ScriptedAction::On("MI").Silent().Persistent());
    sim_->Script(ScriptedAction::On("S").Silent().Persistent());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ctrl.KD_Exchange(kCardInsert, 0, 300000, 0), ERR_KD_USB_TIME_OUT);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));

    sim_->UnplugSerial();
    ASSERT_TRUE(testsupport::WaitFor([&] { return Log().find("[COM] Read Thread - device gone") != std::string::npos; }, 3000));
    EXPECT_NE(ctrl.KD_Exchange(kCardInsert, 0, 300000, 0), 0);
    ctrl.KD_PrinterClose();
    EXPECT_NE(Log().find("[COM] Read Thread - Exit"), std::string::npos);
}

TEST_F(SerialPrinterTest, NamesThatMatchNoDeviceAreNotFound) {
    CKDCtrl& ctrl = KDCtrl();
    EXPECT_EQ(ctrl.KD_OpenDevice("/dev/pts/999999", 0), ERR_DEV_NOT_FOUND);
    EXPECT_EQ(ctrl.m_PortType, KD_PORT_COM);
    EXPECT_FALSE(ctrl.CP_IsOpen());
}

TEST_F(SerialPrinterTest, ListingFindsTheMappedPort) {
    uint32_t count = 0;
    ASSERT_EQ(ListDevices(&count, nullptr, 0x2000000u), 0);
    ASSERT_GE(count, 1u);
    bool found = false;
    for (uint32_t i = 0; i < count && i < 10; ++i) {
        char name[ORVPW_DEVICE_TEXT_SIZE] = "";
        uint32_t index = i;
        ASSERT_EQ(ListDevices(&index, name, 0x2000001u), 0);
        found = found || std::string(name) == "\\\\.\\COM7";
    }
    EXPECT_TRUE(found);
    uint32_t beyond = 10;
    char name[ORVPW_DEVICE_TEXT_SIZE] = "x";
    EXPECT_EQ(ListDevices(&beyond, name, 0x2000001u), -1);
    EXPECT_STREQ(name, "");
}

}  // namespace
