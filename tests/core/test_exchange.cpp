// The exchange engine against the simulated printer over real TCP on loopback.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "core/controller.h"
#include "diag/log.h"
#include "sim/sim_printer.h"
#include "support/sim_controller.h"
#include "support/test_support.h"

using orvpw::sim::ScriptedAction;
using orvpw::sim::SimConfig;
using orvpw::sim::SimPrinter;

namespace {

constexpr int kStatusRequest = 18;
constexpr int kCardInsert = 4;

std::vector<uint8_t> Bytes(std::initializer_list<int> values) {
    std::vector<uint8_t> bytes;
    for (int v : values) bytes.push_back(static_cast<uint8_t>(v));
    return bytes;
}

// A controller wired to a simulated printer of one generation on 127.0.0.1:<free port>.
class ExchangeTest : public ::testing::Test {
protected:
    void Connect(bool newer, int portType) {
        sim_ = testsupport::StartSim(newer);
        ASSERT_TRUE(sim_->Running());
        testsupport::LogEverythingTo(logFile_);

        testsupport::PointControllerAt(*sim_);
        CKDCtrl& ctrl = KDCtrl();
        ctrl.m_PortType = portType;
        ctrl.m_RetryTimes = 3;
        testsupport::ShortenRetryWaits();
        ctrl.m_Waits.busyLimitMs = 30000;
    }

    void TearDown() override {
        KDCtrl().KD_PrinterClose();
        if (sim_) sim_->Stop();
        KD_SetLogPathFile(nullptr);
    }

    int Exchange(int id, int answerType = 0, int timeoutUs = 500000, int flag = 0) {
        return KDCtrl().KD_Exchange(id, answerType, timeoutUs, flag);
    }
    std::string Data() const {
        const CKDCtrl& ctrl = KDCtrl();
        return std::string(reinterpret_cast<const char*>(ctrl.m_RspData), ctrl.m_RspCount);
    }
    std::string Log() const { return testsupport::ReadFile(logFile_); }

    testsupport::TempFolder folder_;
    std::string logFile_ = folder_.File("engine.log");
    std::unique_ptr<SimPrinter> sim_;
};

TEST_F(ExchangeTest, ShortCommandIsRefusedWithoutTouchingThePort) {
    Connect(true, KD_PORT_NE2);
    uint8_t command[2] = {0x1B, 0x21};
    EXPECT_EQ(KDCtrl().KD_PortWriteRead(command, 2, 0, 500000, 0), 20);
    EXPECT_EQ(KDCtrl().LastStatus(), 20);
    EXPECT_NE(Log().find("  Command Length(2) Error - Not Send"), std::string::npos);
    EXPECT_EQ(sim_->Connections(), 0u);
}

struct OlderAnswerCase {
    const char* name;
    std::vector<uint8_t> answer;
    int answerType;
    int flag;
    int status;
    std::string data;
};

TEST_F(ExchangeTest, OlderFormAnswersTable) {
    const std::vector<OlderAnswerCase> cases = {
        {"ack and block", Bytes({0x06, 0x01, 0x7B, 0x41, 0x42, 0x7D, 0x04}), 1, 0, 0, "AB"},
        {"nak with number", Bytes({0x15, 0x32, 0x30, 0x04}), 0, 0, 20, ""},
        {"nak zero is success", Bytes({0x15, 0x30, 0x04}), 0, 0, 0, "0"},
        {"fillers then ack", Bytes({0x77, 0x77, 0x06}), 0, 0, 0, ""},
        {"brace inside block is data", Bytes({0x06, 0x01, 0x7B, 0x41, 0x7D, 0x42, 0x7D, 0x04}), 1, 0, 0,
         "A}B"},
        {"brace run before the end", Bytes({0x06, 0x01, 0x7B, 0x41, 0x7D, 0x7D, 0x7D, 0x04}), 1, 0, 0,
         "A}}"},
        {"ack then bad byte", Bytes({0x06, 0x33}), 1, 0, 5, ""},
        {"block without brace", Bytes({0x06, 0x01, 0x41}), 1, 0, 5, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Connect(false, KD_PORT_NET);
        sim_->Script(ScriptedAction::On("S").Exact().RawAnswer(c.answer));
        KDCtrl().m_RetryTimes = 1;
        EXPECT_EQ(Exchange(kStatusRequest, c.answerType, 300000, c.flag), c.status);
        if (c.status == 0) {
            EXPECT_EQ(Data(), c.data);
        }
        TearDown();
    }
}

TEST_F(ExchangeTest, OlderAckAloneCompletesWhenNothingFollows) {
    Connect(false, KD_PORT_NET);
    sim_->Script(ScriptedAction::On("MI").RawAnswer(Bytes({0x06})));
    EXPECT_EQ(Exchange(kCardInsert, 1, 300000, 0), 0);
    EXPECT_NE(Log().find("   nLastAction = KD_ACK(06) => Success"), std::string::npos) << Log();
}

TEST_F(ExchangeTest, NewerStatusWordIsConvertedOnlyOnStatusWordPorts) {
    const auto answer = Bytes({0x1B, 0x21, 0x43, 0x53, 0x53, 0x80, 0x13, 0, 0, 0, 0, 0x0D});
    Connect(true, KD_PORT_NE2);
    sim_->Script(ScriptedAction::On("CSS").RawAnswer(answer));
    EXPECT_EQ(Exchange(kStatusRequest), 0x13);
    TearDown();

    // The older network port type keeps the status word out of the status.
    Connect(true, KD_PORT_NET);
    sim_->Script(ScriptedAction::On("CSS").RawAnswer(answer));
    EXPECT_EQ(Exchange(kStatusRequest), 0);
    EXPECT_EQ(KDCtrl().m_RspStatusWord, 0);
}

TEST_F(ExchangeTest, StatusWordTable) {
    const std::vector<std::pair<uint16_t, int>> table = {
        {0x0006, 0}, {0x0015, 9}, {0x1000, 0}, {0x1001, 0}, {0x1008, 0}, {0x1003, 99},
        {0x4001, 99}, {0x8000 | 35, 35}, {0x8016, 22}, {0x2000, 99},
    };
    Connect(true, KD_PORT_NE2);
    for (const auto& [word, status] : table) {
        SCOPED_TRACE(word);
        sim_->Script(ScriptedAction::On("CSS").StatusWord(word));
        EXPECT_EQ(Exchange(kStatusRequest), status);
        KDCtrl().m_PurgeNeeded = 0;
    }
}

TEST_F(ExchangeTest, UnsupportedEchoIsLoggedAndStatusComesFromTheWord) {
    Connect(true, KD_PORT_NE2);
    // A printer that does not know a command echoes "XXX" with a refusal in the status word.
    sim_->Script(ScriptedAction::On("CFS").RawAnswer(
        Bytes({0x1B, 0x21, 'X', 'X', 'X', 0x80, 0x14, 0, 0, 0, 0, 0x0D})));
    EXPECT_EQ(Exchange(3), 20);
    EXPECT_NE(Log().find("Command Not Support - CFS != XXX"), std::string::npos);
}

TEST_F(ExchangeTest, StrayBytesFailTheAnswerAndSetThePurgeFlag) {
    Connect(true, KD_PORT_NE2);
    sim_->Script(ScriptedAction::On("CSS").RawAnswer(std::vector<uint8_t>(11, 0x41)));
    EXPECT_EQ(Exchange(kStatusRequest), 5);
    EXPECT_EQ(KDCtrl().m_PurgeNeeded, 1);
    EXPECT_NE(Log().find("Response - Ignore A count 10(11) = [41h]"), std::string::npos);
}

TEST_F(ExchangeTest, NoAnswerTimesOutClosesTheNetworkPortAndSetsThePurgeFlag) {
    Connect(true, KD_PORT_NE2);
    sim_->Script(ScriptedAction::On("CSS").Silent());
    EXPECT_EQ(Exchange(kStatusRequest, 0, 100000), 4);
    EXPECT_EQ(KDCtrl().m_PurgeNeeded, 1);
    EXPECT_FALSE(KDCtrl().CP_IsOpen());
}

TEST_F(ExchangeTest, AnswerCutOffMidFrameIsABadFrame) {
    Connect(true, KD_PORT_NE2);
    sim_->Script(ScriptedAction::On("GVT").SendOnly(7));
    EXPECT_EQ(Exchange(17, 0, 200000), 4);  // header bytes are not data: nothing stored
    sim_->Script(ScriptedAction::On("GVT").SendOnly(13));
    KDCtrl().m_PurgeNeeded = 0;
    EXPECT_EQ(Exchange(17, 0, 200000), 5);  // two data bytes stored, then silence
}

TEST_F(ExchangeTest, AnswerSplitOverSeveralWritesIsReassembled) {
    Connect(true, KD_PORT_NE2);
    sim_->Script(ScriptedAction::On("GVT").Split({1, 3, 5, 2}, 5));
    ASSERT_EQ(Exchange(17), 0);
    EXPECT_EQ(KDCtrl().m_RspCount, 8);
    EXPECT_EQ(KDCtrl().m_RspData[3], 0x07);
}

TEST_F(ExchangeTest, AnswerLongerThanTheResponseBufferIsBoundedAndStillCompletes) {
    Connect(true, KD_PORT_NE2);
    std::vector<uint8_t> big(CKDDevice::kResponseBufferSize + 500, 0x5A);
    sim_->Script(ScriptedAction::On("GVT").Data(big));
    EXPECT_EQ(Exchange(17, 0, 2000000), 0);
    EXPECT_EQ(KDCtrl().m_RspCount, CKDDevice::kResponseBufferSize);
}

TEST_F(ExchangeTest, LongAnswerBufferIsBoundedByItsSize) {
    Connect(false, KD_PORT_NET);
    std::vector<uint8_t> answer = {0x06, 0x01, 0x7B};
    for (int i = 0; i < 40; ++i) answer.push_back(static_cast<uint8_t>('a' + i % 26));
    answer.push_back(0x7D);
    answer.push_back(0x04);
    sim_->Script(ScriptedAction::On("V").RawAnswer(answer));
    uint8_t callerBuffer[16 + 4];
    std::memset(callerBuffer, 0xEE, sizeof callerBuffer);
    CKDCtrl& ctrl = KDCtrl();
    ctrl.g_pRxBuffer = callerBuffer;
    ctrl.g_nRxBufferSize = 16;
    ctrl.g_nRspSize = 40;
    int status = Exchange(17, 1, 300000, 0);
    ctrl.g_pRxBuffer = nullptr;
    ctrl.g_nRxBufferSize = 0;
    EXPECT_EQ(status, 0);
    EXPECT_EQ(ctrl.m_RxFilled, 16);
    EXPECT_EQ(callerBuffer[16], 0xEE);  // nothing written past the caller's size
}

TEST_F(ExchangeTest, NewerCommandWhoseAnswerNeverCameStaysAFailure) {
    Connect(true, KD_PORT_NE2);
    // The printer takes the command and drops the connection without answering; the status
    // request that follows finds no error. The command must not report success with the
    // status request's answer as its own data.
    sim_->Script(ScriptedAction::On("RIP").Drop().Persistent());
    EXPECT_EQ(Exchange(kCardInsert, 0, 500000), 4);
    EXPECT_EQ(KDCtrl().m_RspCount, 0);
    EXPECT_NE(Log().find("ERR_KD_USB_TIME_OUT( 1004 ) -> KDCL_GET_STATUS"), std::string::npos);
}

TEST_F(ExchangeTest, NewerCommandWhoseAnswerNeverCameReportsThePrinterError) {
    Connect(true, KD_PORT_NE2);
    sim_->Script(ScriptedAction::On("RIP").Drop().Persistent());
    sim_->Script(ScriptedAction::On("CSS").StatusWord(0x8000 | 50));
    EXPECT_EQ(Exchange(kCardInsert, 0, 500000), 50);
}

TEST_F(ExchangeTest, OlderTimeOutOfACommandThePrinterDoesNotKnowBecomesInvalidCommand) {
    Connect(false, KD_PORT_NET);
    // The model-type query ("GSI") and the status request both go unanswered: the timed-out
    // command's own header decides, not the status request's.
    sim_->Script(ScriptedAction::On("GSI").Silent());
    sim_->Script(ScriptedAction::On("S").Exact().Silent());
    KDCtrl().m_RetryTimes = 1;
    EXPECT_EQ(Exchange(54, 0, 100000, 1), 20);
    EXPECT_NE(Log().find("   ERR_KD_USB_TIME_OUT => ERR_KD_COMMAND_ERROR"), std::string::npos);
}

TEST_F(ExchangeTest, OlderTimeOutForgivenWhenTheStatusRequestAnswers) {
    Connect(false, KD_PORT_NET);
    sim_->Script(ScriptedAction::On("MI").Silent());
    KDCtrl().m_RetryTimes = 1;
    EXPECT_EQ(Exchange(kCardInsert, 0, 100000, 0), 0);
    auto frames = sim_->ReceivedFrames();
    ASSERT_GE(frames.size(), 2u);
    EXPECT_EQ(frames[1].command, "S");
}

TEST_F(ExchangeTest, TransportErrorsAreRetriedThenReportedAsIoError) {
    Connect(false, KD_PORT_NET);
    sim_->Stop();  // nobody listens: every open is refused
    KDCtrl().KD_PrinterClose();
    KDCtrl().m_RetryTimes = 3;
    EXPECT_EQ(Exchange(kCardInsert, 0, 100000, 0), 1004);
    std::string log = Log();
    EXPECT_NE(log.find("   ERR_DEV_IO_ERROR - Written = 0 / 4 "), std::string::npos);
    EXPECT_NE(log.find("   KD_PortWriteRead - retry = [3]"), std::string::npos);
}

TEST_F(ExchangeTest, DroppedConnectionIsReopenedAndRetried) {
    Connect(false, KD_PORT_NET);
    sim_->Script(ScriptedAction::On("MI").Drop());
    EXPECT_EQ(Exchange(kCardInsert, 0, 300000, 0), 0);
    EXPECT_GE(sim_->Connections(), 2u);
}

TEST_F(ExchangeTest, SecondThreadWaitsForTheRunningExchange) {
    Connect(true, KD_PORT_NE2);
    sim_->Script(ScriptedAction::On("RIP").Delay(300));
    std::atomic<int> first{-1};
    std::thread slow([&] { first = Exchange(kCardInsert, 0, 2000000); });
    ASSERT_TRUE(testsupport::WaitFor([&] { return sim_->ReceivedFrames().size() >= 1; }, 2000));
    EXPECT_TRUE(KDCtrl().BusyInOtherThread());
    int second = Exchange(kStatusRequest, 0, 2000000);
    slow.join();
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 0);
    auto frames = sim_->ReceivedFrames();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].command, "!RIP");
    EXPECT_EQ(frames[1].command, "!CSS");
}

TEST_F(ExchangeTest, SecondThreadGivesUpAfterTheBusyLimit) {
    Connect(true, KD_PORT_NE2);
    KDCtrl().m_Waits.busyLimitMs = 100;
    sim_->Script(ScriptedAction::On("RIP").Delay(600));
    std::thread slow([&] { Exchange(kCardInsert, 0, 2000000); });
    ASSERT_TRUE(testsupport::WaitFor([&] { return sim_->ReceivedFrames().size() >= 1; }, 2000));
    EXPECT_EQ(Exchange(kStatusRequest, 0, 2000000), 4);
    slow.join();
    EXPECT_NE(Log().find("Other API in use ==> Failed"), std::string::npos);
    EXPECT_EQ(sim_->ReceivedFrames().size(), 1u);
}

}  // namespace
