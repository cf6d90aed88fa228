// Network discovery, board configuration, the installed-printer fallback and the error relay,
// against simulated boards on this test's loopback address. Every destination in the
// settings file below is a loopback address.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "core/controller.h"
#include "diag/log.h"
#include "orvpw.h"
#include "sim/sim_printer.h"
#include "sim/udp_discovery.h"
#include "support/sim_controller.h"
#include "support/test_support.h"

using orvpw::sim::DiscoveryAnswerer;
using orvpw::sim::DiscoveryBoard;
using orvpw::sim::DiscoveryConfig;
using orvpw::sim::SimConfig;
using orvpw::sim::SimPrinter;

namespace {

constexpr uint32_t kListNetwork = 0x8000000u;

// The same address with another last number, for more boards in one test.
std::string Neighbour(const std::string& address, int step) {
    size_t dot = address.rfind('.');
    int last = std::atoi(address.c_str() + dot + 1);
    return address.substr(0, dot + 1) + std::to_string((last + step) % 250 + 2);
}

class DiscoveryTest : public ::testing::Test {
protected:
    void SetUp() override {
        address_ = testsupport::LoopbackForThisTest();
        testsupport::LogEverythingTo(logFile_);

        CKDCtrl& ctrl = KDCtrl();
        ctrl.KD_PrinterClose();
        ctrl.m_PortType = KD_PORT_ALL;
        ctrl.m_bFirstOpen = 0;
        ctrl.m_RetryTimes = 1;
        ctrl.m_Waits.openRetryMs = 10;
        ctrl.SetNewKDCL(0);
        CKDNetwork& net = ctrl.m_NetDevice;
        net.ForgetBoards();
        net.m_NewerBoard = 0;
        net.m_Waits.searchAnswerMs = 150;
        net.m_Waits.configAnswerMs = 150;
        net.m_Waits.nextAdapterMs = 20;
        net.m_Waits.restartLimitMs = 4000;
        net.m_Waits.restartSearchFromMs = 300;
        net.m_Waits.restartPassMs = 50;
        net.m_Waits.relayAnswerPollMs = 50;
        net.m_Waits.boardSearchSeconds = 2;
        net.m_InstalledPrinterSource = [this] { return installed_; };
        net.m_SettingsPath = settings_;
    }
    void TearDown() override {
        KDCtrl().KD_PrinterClose();
        KDCtrl().m_NetDevice.m_InstalledPrinterSource = nullptr;
        KD_SetLogPathFile(nullptr);
    }

    // Discovery and relay go to `address` on the given UDP ports; any free local port.
    void PointSettingsAt(const std::string& address, uint16_t discoveryPort, uint16_t relayPort = 15034) {
        std::ofstream out(settings_);
        out << "[NETWORK]\nDiscoveryAddress=" << address << "\nDiscoveryPort=" << discoveryPort
            << "\nDiscoveryLocalPort=0\nRelayAddress=" << address << "\nRelayPort=" << relayPort
            << "\nRelayLocalPort=0\n";
    }

    // A discovery answerer on this test's address with the given boards.
    std::unique_ptr<DiscoveryAnswerer> StartAnswerer(std::vector<DiscoveryBoard> boards, uint32_t restartMs = 300) {
        DiscoveryConfig config;
        config.address = address_;
        config.port = 0;
        config.boards = std::move(boards);
        config.restart_ms = restartMs;
        auto answerer = std::make_unique<DiscoveryAnswerer>(config);
        EXPECT_TRUE(answerer->Start()) << answerer->LastError();
        PointSettingsAt(address_, answerer->Port());
        return answerer;
    }

    uint32_t Count(int* status = nullptr) {
        uint32_t count = 99;
        int result = KDCtrl().KD_ListDevices(&count, nullptr, kListNetwork);
        if (status) *status = result;
        return count;
    }
    std::string Entry(uint32_t index, uint32_t query = 1) {
        char text[CKDCtrl::kDeviceTextSize] = "?";
        KDCtrl().KD_ListDevices(&index, text, kListNetwork | query);
        return text;
    }
    std::string Log() const { return testsupport::ReadFile(logFile_); }

    std::string address_;
    testsupport::TempFolder folder_;
    std::string logFile_ = folder_.File("net.log");
    std::string settings_ = folder_.File("ORVPW.INI");
    std::vector<CKDNetwork::InstalledPrinter> installed_;
};

TEST_F(DiscoveryTest, NewerBoardIsFoundOpenedAndExchangedWith) {
    SimConfig config;
    config.address = address_;
    config.port = 9200;
    config.discovery = true;
    config.discovery_port = 0;
    SimPrinter sim(config);
    ASSERT_TRUE(sim.Start()) << sim.LastError();
    PointSettingsAt(address_, sim.DiscoveryPort());

    int status = -1;
    ASSERT_EQ(Count(&status), 1u);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(KDCtrl().m_NewKDCL, 1);
    EXPECT_EQ(Entry(0), address_);
    EXPECT_EQ(Entry(0, 2), "CARD PRINTER");
    const std::vector<uint8_t> find = {0x0E, 0x9E, 'F', 'I', 'N', 'D', 0x00};
    ASSERT_FALSE(sim.Discovery()->Requests().empty());
    EXPECT_EQ(sim.Discovery()->Requests()[0], find);

    // Port type 0: the port check searches, opens the board it found and the export runs.
    KDCtrl().m_NetDevice.ForgetBoards();
    KDCtrl().m_PortType = KD_PORT_ALL;
    EXPECT_EQ(Card_Insert(), 0);
    EXPECT_EQ(KDCtrl().m_PortType, KD_PORT_NE2);
    EXPECT_NE(Log().find("KD_PortCheck - dwIndex = 1, SN: " + address_ + " (NET)"), std::string::npos);
    EXPECT_TRUE(sim.State().card_inserted);
}

TEST_F(DiscoveryTest, OnlyBoardsOnTheNewerPortAreCountedAndKeptForIndexQueries) {
    auto answerer = StartAnswerer({DiscoveryBoard::ForPrinter(Neighbour(address_, 1), 9200, 1),
                                   DiscoveryBoard::ForPrinter(Neighbour(address_, 2), 9100, 2),
                                   DiscoveryBoard::ForPrinter(Neighbour(address_, 3), 9200, 3)});
    int count = 0;
    uint8_t record[ORVPW_BOARD_RECORD_SIZE] = {};
    ASSERT_EQ(GetNetworkBoard(&count, record), 0);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(std::vector<uint8_t>(record, record + 31), answerer->Boards()[0].Record());

    const size_t searches = answerer->Searches();
    count = 1;
    ASSERT_EQ(GetNetworkBoard(&count, record), 0);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(std::vector<uint8_t>(record, record + 31), answerer->Boards()[2].Record());
    count = 2;
    EXPECT_EQ(GetNetworkBoard(&count, record), -1);
    EXPECT_EQ(KDCtrl().LastStatus(), ERR_DEV_NOT_FOUND);
    EXPECT_EQ(answerer->Searches(), searches);  // answered from the last search
}

TEST_F(DiscoveryTest, BadAnswersNeverCountAsBoards) {
    const DiscoveryBoard good = DiscoveryBoard::ForPrinter(Neighbour(address_, 1), 9200, 1);
    std::vector<uint8_t> foreignMac = good.Record();
    foreignMac[6] = 0x00;
    std::vector<uint8_t> wrongMagic = good.Record();
    wrongMagic[1] = 0x00;
    std::vector<uint8_t> shortRecord = DiscoveryBoard::ForPrinter(Neighbour(address_, 2), 9200, 2).Record();
    shortRecord.resize(20);  // no address and port
    std::vector<uint8_t> unknownOperation = DiscoveryBoard::ForPrinter(Neighbour(address_, 3), 9200, 3).Record();
    std::memcpy(unknownOperation.data() + 2, "HELO", 4);
    const struct {
        const char* name;
        std::vector<uint8_t> extra;
    } cases[] = {
        {"tiny", {0x0E, 0x9E}},
        {"foreign MAC", foreignMac},
        {"wrong magic", wrongMagic},
        {"short record", shortRecord},
        {"unknown operation", unknownOperation},
        {"duplicate", good.Record()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        KDCtrl().m_NetDevice.ForgetBoards();
        auto answerer = StartAnswerer({good});
        answerer->AddExtraAnswer(c.extra);
        EXPECT_EQ(Count(), 1u);
        EXPECT_EQ(Entry(0), Neighbour(address_, 1));
    }
}

TEST_F(DiscoveryTest, AtMostTenBoardsAreKept) {
    std::vector<DiscoveryBoard> boards;
    for (int i = 0; i < 12; ++i)
        boards.push_back(DiscoveryBoard::ForPrinter("127.0.0." + std::to_string(10 + i), 9200,
                                                    static_cast<uint8_t>(i + 1)));
    auto answerer = StartAnswerer(boards);
    EXPECT_EQ(Count(), 10u);
    EXPECT_EQ(Entry(9), "127.0.0.19");
    EXPECT_EQ(Entry(10), "");
}

TEST_F(DiscoveryTest, NoAnswerGivesNotFoundAndTheInstalledPrinterFallback) {
    auto answerer = StartAnswerer({});
    int status = 0;
    EXPECT_EQ(Count(&status), 0u);
    EXPECT_EQ(status, ERR_DEV_NOT_FOUND);

    installed_ = {{"office", "Laser Printer", "socket://10.1.2.3:9100"},
                  {"cards", "Card Printer", "socket://192.168.0.20:9100"},
                  {"cards-ip", "Card Printer", "IP_192.168.0.21"},
                  {"cards-usb", "Card Printer", "usb://Lumora/Card"}};
    EXPECT_EQ(Count(&status), 2u);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(Entry(0), "192.168.0.20");
    EXPECT_EQ(Entry(1), "192.168.0.21");
    EXPECT_EQ(KDCtrl().m_NewKDCL, 1);
}

TEST_F(DiscoveryTest, ConfigurationWaitsForTheRestartedBoard) {
    DiscoveryBoard board = DiscoveryBoard::ForPrinter(Neighbour(address_, 1), 9200, 7);
    auto answerer = StartAnswerer({board}, 500);
    int count = 0;
    uint8_t record[ORVPW_BOARD_RECORD_SIZE] = {};
    ASSERT_EQ(GetNetworkBoard(&count, record), 0);
    record[26] = 0x5A;  // a board setting the host passes on unchanged otherwise

    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(SetNetworkBoard(record), 0);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(450));  // the board's restart
    EXPECT_EQ(answerer->Configurations(), 1u);
    EXPECT_EQ(answerer->Boards()[0].board_settings[0], 0x5A);
    const std::vector<uint8_t> request = answerer->Requests()[1];
    ASSERT_EQ(request.size(), 32u);
    EXPECT_EQ(std::string(request.begin() + 2, request.begin() + 6), "SETT");
    EXPECT_EQ(std::vector<uint8_t>(request.begin() + 6, request.begin() + 31),
              std::vector<uint8_t>(record + 6, record + 31));
    EXPECT_NE(Log().find("[NET] Restarting... "), std::string::npos);
}

TEST_F(DiscoveryTest, ConfigurationIsRefusedOrUnconfirmed) {
    DiscoveryConfig config;
    config.address = address_;
    config.port = 0;
    config.boards = {DiscoveryBoard::ForPrinter(Neighbour(address_, 1), 9200, 7)};
    config.answer_configuration = false;
    DiscoveryAnswerer answerer(config);
    ASSERT_TRUE(answerer.Start());
    PointSettingsAt(address_, answerer.Port());

    uint8_t record[ORVPW_BOARD_RECORD_SIZE] = {};
    EXPECT_EQ(SetNetworkBoard(record), -1);  // MAC not of a board
    EXPECT_EQ(KDCtrl().LastStatus(), ERR_KD_PARAMETER_ERROR);
    EXPECT_EQ(SetNetworkBoard(nullptr), -1);
    EXPECT_EQ(KDCtrl().LastStatus(), ERR_KD_PARAMETER_ERROR);
    EXPECT_TRUE(answerer.Requests().empty());
    EXPECT_NE(Log().find("[NET] CP_SetNetConfig - MAC ADDRESS ERROR"), std::string::npos);

    const std::vector<uint8_t> known = config.boards[0].Record();
    std::memcpy(record, known.data(), 31);
    EXPECT_EQ(SetNetworkBoard(record), -1);
    EXPECT_EQ(KDCtrl().LastStatus(), ERR_DEV_NOT_FOUND);  // no answer, no board known
    int count = 0;
    ASSERT_EQ(GetNetworkBoard(&count, nullptr), 0);
    EXPECT_EQ(SetNetworkBoard(record), -1);
    EXPECT_EQ(KDCtrl().LastStatus(), ERR_KD_COMMAND_ERROR);  // boards known, not confirmed
}

TEST_F(DiscoveryTest, NonLoopbackDestinationsAreRefusedOnTestMachines) {
    ::setenv("ORVPW_LOOPBACK_ONLY", "1", 1);
    { std::ofstream out(settings_); }  // defaults: the broadcast address
    const auto start = std::chrono::steady_clock::now();
    int status = 0;
    EXPECT_EQ(Count(&status), 0u);
    EXPECT_EQ(status, ERR_DEV_NOT_FOUND);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_EQ(KDCtrl().m_NetDevice.RelayErrorMessage("x"), ERR_DEV_NOT_FOUND);
    EXPECT_NE(Log().find("[NET] CP_NetCommand - destination 255.255.255.255:5034 refused"), std::string::npos);
}

// A relay client on this test's address: answers the search, then takes the message.
TEST_F(DiscoveryTest, ErrorMessageReachesTheRelayClient) {
    int client = ::socket(AF_INET, SOCK_DGRAM, 0);
    ASSERT_GE(client, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    ::inet_pton(AF_INET, address_.c_str(), &local.sin_addr);
    ASSERT_EQ(::bind(client, reinterpret_cast<sockaddr*>(&local), sizeof local), 0);
    socklen_t length = sizeof local;
    ::getsockname(client, reinterpret_cast<sockaddr*>(&local), &length);
    PointSettingsAt(address_, 5034, ntohs(local.sin_port));

    std::vector<std::string> received;
    std::thread peer([&] {
        for (int i = 0; i < 2; ++i) {
            pollfd waiting{client, POLLIN, 0};
            if (::poll(&waiting, 1, 3000) <= 0) return;
            char buffer[1500];
            sockaddr_in from{};
            socklen_t fromLength = sizeof from;
            ssize_t n = ::recvfrom(client, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
            if (n <= 0) return;
            received.emplace_back(buffer, static_cast<size_t>(n));
            if (i == 0) ::sendto(client, "CLIENT_RECV", 11, 0, reinterpret_cast<sockaddr*>(&from), fromLength);
        }
    });
    EXPECT_EQ(KDCtrl().m_NetDevice.RelayErrorMessage("Ribbon empty"), 0);
    peer.join();
    ::close(client);
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0], std::string("\x7F\x00\x00\x01SEARCH_CLIENT\0", 18));
    EXPECT_EQ(received[1], std::string("\x7F\x00\x00\x01" "ERROR_Ribbon empty\0", 23));
}

}  // namespace
