// The simulator seen from a host: raw bytes over a loopback socket.
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/raw_client.h"
#include "sim/sim_printer.h"

namespace orvpw::sim {
namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

Bytes NewerCommand(const std::string& code, const Bytes& params = {}) {
    Bytes command{0x1B};
    command.insert(command.end(), code.begin(), code.end());
    const uint32_t length = static_cast<uint32_t>(params.size());
    command.push_back(static_cast<uint8_t>(length >> 24));
    command.push_back(static_cast<uint8_t>(length >> 16));
    command.push_back(static_cast<uint8_t>(length >> 8));
    command.push_back(static_cast<uint8_t>(length));
    command.insert(command.end(), params.begin(), params.end());
    command.push_back(0x0D);
    return command;
}

Bytes OlderCommand(const std::string& text) {
    Bytes command{0x1B};
    command.insert(command.end(), text.begin(), text.end());
    command.push_back(0x0D);
    return command;
}

Bytes Text(const std::string& text) { return {text.begin(), text.end()}; }

Bytes Concat(Bytes first, const Bytes& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

class SimTest {
public:
    explicit SimTest(bool newer, SimConfig config = {}) {
        config.address = "127.0.0.1";
        config.port = 0;
        config.newer = newer;
        printer_ = std::make_unique<SimPrinter>(config);
        started_ = printer_->Start();
        if (started_) connected_ = client_.Connect("127.0.0.1", printer_->Port());
    }
    bool Ready() const { return started_ && connected_; }
    SimPrinter& printer() { return *printer_; }
    RawClient& client() { return client_; }

    // Sends one command and collects what comes back until 150 ms of quiet.
    Bytes Exchange(const Bytes& command, int timeout_ms = 2000) {
        if (!client_.Send(command)) return {};
        return client_.ReceiveUntilQuiet(150, timeout_ms);
    }

private:
    std::unique_ptr<SimPrinter> printer_;
    RawClient client_;
    bool started_ = false;
    bool connected_ = false;
};

// ---- Identify, newer form ----

TEST(SimNewerForm, AnswersTheIdentifyCommands) {
    SimConfig config;
    config.initial_state.serial_number = "A1234";
    config.initial_state.firmware = {0x00, 0x00, 0x04, 0x07};
    config.initial_state.printer_type = 1;
    config.initial_state.printer_model = 2;
    config.initial_state.model_type = 3;
    config.initial_state.oem_type = 4;
    config.initial_state.ribbon_maker = 5;
    SimTest sim(true, config);
    ASSERT_TRUE(sim.Ready());

    struct Case {
        Bytes command;
        Bytes answer;
    };
    const Case cases[] = {
        {NewerCommand("!GVT"),
         {0x1B, '!', 'G', 'V', 'T', 0, 0, 0, 0, 0, 8, 0x00, 0x00, 0x04, 0x07, 0x00, 0x01, 0x00, 0x02, 0x0D}},
        {NewerCommand("!GPS"), {0x1B, '!', 'G', 'P', 'S', 0, 0, 0, 0, 0, 5, 'A', '1', '2', '3', '4', 0x0D}},
        {NewerCommand("!CSS"), {0x1B, '!', 'C', 'S', 'S', 0, 0, 0, 0, 0, 0, 0x0D}},
        {NewerCommand("!RCE"), {0x1B, '!', 'R', 'C', 'E', 0, 0, 0, 0, 0, 0, 0x0D}},
        {NewerCommand("!GSI", {0x00}), {0x1B, '!', 'G', 'S', 'I', 0, 0, 0, 0, 0, 3, 0x00, 3, 4, 0x0D}},
        {NewerCommand("!LRM"), {0x1B, '!', 'L', 'R', 'M', 0, 0, 0, 0, 0, 1, 5, 0x0D}},
        {NewerCommand("$STT", {1, 2, 3}), {0x1B, '$', 'S', 'T', 'T', 0, 0, 0, 0, 0, 0, 0x0D}},
        {NewerCommand("!ICD", {0x00, 0x07, 0xE9, 3, 14}), {0x1B, '!', 'I', 'C', 'D', 0, 0, 0, 0, 0, 0, 0x0D}},
        // Not a command of this printer: "XXX" echo, status word 8014h (command not valid).
        {NewerCommand("&ZZZ", {9}), {0x1B, '&', 'X', 'X', 'X', 0x80, 0x14, 0, 0, 0, 0, 0x0D}},
    };
    for (const Case& c : cases) EXPECT_EQ(sim.Exchange(c.command), c.answer) << HexText(c.command);

    const PrinterState state = sim.printer().State();
    EXPECT_EQ(state.heat_table, (Bytes{1, 2, 3}));
    EXPECT_TRUE(state.date_received);
    EXPECT_EQ(state.date.year, 2025);
    EXPECT_EQ(state.date.month, 3);
    EXPECT_EQ(state.date.day, 14);
}

TEST(SimNewerForm, PrinterErrorIsReportedRefusesMotionAndIsCleared) {
    SimTest sim(true);
    ASSERT_TRUE(sim.Ready());
    sim.printer().UpdateState([](PrinterState& state) { state.error_number = 12; });

    EXPECT_EQ(sim.Exchange(NewerCommand("!CSS")), (Bytes{0x1B, '!', 'C', 'S', 'S', 0x80, 0x0C, 0, 0, 0, 0, 0x0D}));
    EXPECT_EQ(sim.Exchange(NewerCommand("!RIP")), (Bytes{0x1B, '!', 'R', 'I', 'P', 0x80, 0x0C, 0, 0, 0, 0, 0x0D}));
    EXPECT_FALSE(sim.printer().State().card_inserted);

    sim.Exchange(NewerCommand("!RCE"));
    EXPECT_EQ(sim.Exchange(NewerCommand("!RIP")), (Bytes{0x1B, '!', 'R', 'I', 'P', 0, 0, 0, 0, 0, 0, 0x0D}));
    EXPECT_TRUE(sim.printer().State().card_inserted);
    EXPECT_EQ(sim.printer().State().error_number, 0);
}

TEST(SimNewerForm, ShortDateIsRefusedAndNotStored) {
    SimTest sim(true);
    ASSERT_TRUE(sim.Ready());
    EXPECT_EQ(sim.Exchange(NewerCommand("!ICD", {0x00, 0x07})),
              (Bytes{0x1B, '!', 'I', 'C', 'D', 0x80, 0x15, 0, 0, 0, 0, 0x0D}));
    EXPECT_FALSE(sim.printer().State().date_received);
}

// ---- Identify, older form ----

TEST(SimOlderForm, AnswersTheIdentifyCommands) {
    SimConfig config;
    config.initial_state.serial_number = "B77";
    config.initial_state.older_version = "V1.0.215";
    config.initial_state.model_type = 1;
    config.initial_state.oem_type = 2;
    SimTest sim(false, config);
    ASSERT_TRUE(sim.Ready());

    struct Case {
        std::string text;
        Bytes answer;
    };
    const Case cases[] = {
        {"V", Concat(Bytes{0x06, 0x01, '{'}, Concat(Text("V1.0.215"), {'}', 0x04}))},
        {"S", {0x06, 0x01, '{', '0', '}', 0x04}},
        {"SG", {0x06, 0x01, '{', 'B', '7', '7', '}', 0x04}},
        {"GSI", {0x06, 0x01, '{', '1', ' ', '2', '}', 0x04}},
        {".", {0x06}},
        {"MI", {0x06}},
        // Unknown text, and the command the older form has no ribbon-maker query for.
        {"QQ 1", {0x15, '2', '0', 0x04}},
    };
    for (const Case& c : cases) EXPECT_EQ(sim.Exchange(OlderCommand(c.text)), c.answer) << c.text;
    EXPECT_TRUE(sim.printer().State().card_inserted);
}

TEST(SimOlderForm, ErrorShowsInStatusTextAndRefusesInsertWithNak) {
    SimTest sim(false);
    ASSERT_TRUE(sim.Ready());
    sim.printer().UpdateState([](PrinterState& state) { state.error_number = 12; });
    EXPECT_EQ(sim.Exchange(OlderCommand("S")), (Bytes{0x06, 0x01, '{', '1', '2', '}', 0x04}));
    EXPECT_EQ(sim.Exchange(OlderCommand("MI 1")), (Bytes{0x15, '1', '2', 0x04}));
    EXPECT_EQ(sim.Exchange(OlderCommand(".")), (Bytes{0x06}));
    EXPECT_EQ(sim.Exchange(OlderCommand("S")), (Bytes{0x06, 0x01, '{', '0', '}', 0x04}));
}

TEST(SimOlderForm, UnknownCommandsCanBeIgnored) {
    SimConfig config;
    config.older_unknown_silent = true;
    SimTest sim(false, config);
    ASSERT_TRUE(sim.Ready());
    EXPECT_TRUE(sim.Exchange(OlderCommand("ZZUNKNOWN"), 400).empty());
}

TEST(SimOlderForm, DataCommandWithCarriageReturnInsideItsDataIsOneCommand) {
    SimTest sim(false);
    ASSERT_TRUE(sim.Ready());
    // Magnetic-stripe data has no length in its text: it ends at the CR before a quiet period.
    Bytes command = Concat(Bytes{0x1B}, Text("&B 2 12\r34"));
    command.push_back(0x0D);
    sim.printer().Script(ScriptedAction::On("&B").Execute(false));  // taken without a model: ACK
    EXPECT_EQ(sim.Exchange(command), (Bytes{0x06}));
    const auto frames = sim.printer().ReceivedFrames();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].bytes, command);
    EXPECT_EQ(frames[0].command, "&B 2 ");
}

// ---- Scripted knobs ----

TEST(SimScript, ContentKnobsChangeOneAnswerThenTheDefaultReturns) {
    SimTest sim(true);
    ASSERT_TRUE(sim.Ready());
    const Bytes normal_css{0x1B, '!', 'C', 'S', 'S', 0, 0, 0, 0, 0, 0, 0x0D};

    struct Case {
        const char* name;
        ScriptedAction action;
        Bytes answer;
    };
    const Case cases[] = {
        {"status word", ScriptedAction::On("CSS").StatusWord(0x8013), {0x1B, '!', 'C', 'S', 'S', 0x80, 0x13, 0, 0, 0, 0, 0x0D}},
        {"data", ScriptedAction::On("!CSS").Data({0xAA, 0xBB}), {0x1B, '!', 'C', 'S', 'S', 0, 0, 0, 0, 0, 2, 0xAA, 0xBB, 0x0D}},
        {"raw answer", ScriptedAction::On("CSS").RawAnswer({0x77, 0x06}), {0x77, 0x06}},
        {"first bytes only", ScriptedAction::On("CSS").SendOnly(5), {0x1B, '!', 'C', 'S', 'S'}},
        {"garbage before", ScriptedAction::On("CSS").GarbageBefore({0x55, 0x66}), Concat({0x55, 0x66}, normal_css)},
        {"garbage instead", ScriptedAction::On("CSS").GarbageInstead({0x55, 0x66}), {0x55, 0x66}},
        {"silent", ScriptedAction::On("CSS").Silent(), {}},
        {"other command does not match", ScriptedAction::On("GVT").StatusWord(0x8001), normal_css},
    };
    for (const Case& c : cases) {
        sim.printer().ClearScript();
        sim.printer().Script(c.action);
        EXPECT_EQ(sim.Exchange(NewerCommand("!CSS"), 1000), c.answer) << c.name;
        sim.printer().ClearScript();
        EXPECT_EQ(sim.Exchange(NewerCommand("!CSS")), normal_css) << c.name << " (next answer)";
    }
}

TEST(SimScript, PersistentActionsStayAndQueueOrderDecides) {
    SimTest sim(false);
    ASSERT_TRUE(sim.Ready());
    sim.printer().Script(ScriptedAction::On("MI").Nak(31));
    sim.printer().Script(ScriptedAction::On("MI").Nak(32).Persistent());
    EXPECT_EQ(sim.Exchange(OlderCommand("MI")), (Bytes{0x15, '3', '1', 0x04}));
    EXPECT_EQ(sim.Exchange(OlderCommand("MIE")), (Bytes{0x15, '3', '2', 0x04}));
    EXPECT_EQ(sim.Exchange(OlderCommand("MI 2")), (Bytes{0x15, '3', '2', 0x04}));
    EXPECT_EQ(sim.printer().ScriptSize(), 1u);
    // A refusal does not execute the command.
    EXPECT_FALSE(sim.printer().State().card_inserted);
    // The older form puts scripted data into a data block; an exact match leaves "V 1" alone.
    sim.printer().ClearScript();
    sim.printer().Script(ScriptedAction::On("V").Exact().DataText("V9.9.999").Persistent());
    EXPECT_EQ(sim.Exchange(OlderCommand("V 1")), Concat(Bytes{0x06, 0x01, '{'}, Concat(Text("V1.0.215"), {'}', 0x04})));
    EXPECT_EQ(sim.Exchange(OlderCommand("V")), Concat(Bytes{0x06, 0x01, '{'}, Concat(Text("V9.9.999"), {'}', 0x04})));
}

TEST(SimScript, LateAnswerArrivesAfterTheDelay) {
    SimTest sim(true);
    ASSERT_TRUE(sim.Ready());
    sim.printer().Script(ScriptedAction::On("GVT").Delay(300));
    const auto start = Clock::now();
    ASSERT_TRUE(sim.client().Send(NewerCommand("!GVT")));
    EXPECT_TRUE(sim.client().Receive(20, 150).empty());
    const Bytes answer = sim.client().Receive(20, 2000);
    EXPECT_EQ(answer.size(), 20u);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(300));
}

TEST(SimScript, SplitAnswerIsWrittenInSeveralWrites) {
    SimTest sim(true);
    ASSERT_TRUE(sim.Ready());
    sim.printer().Script(ScriptedAction::On("GVT").Split({3, 4}, 20));
    const Bytes answer = sim.Exchange(NewerCommand("!GVT"));
    EXPECT_EQ(answer.size(), 20u);
    std::vector<size_t> writes;
    Bytes joined;
    for (const Frame& frame : sim.printer().Frames()) {
        if (frame.direction != Frame::Direction::sent) continue;
        writes.push_back(frame.bytes.size());
        joined.insert(joined.end(), frame.bytes.begin(), frame.bytes.end());
    }
    EXPECT_EQ(writes, (std::vector<size_t>{3, 4, 13}));
    EXPECT_EQ(joined, answer);
}

TEST(SimScript, ConnectionClosedMidAnswer) {
    SimTest sim(true);
    ASSERT_TRUE(sim.Ready());
    sim.printer().Script(ScriptedAction::On("GVT").CloseAfter(6));
    ASSERT_TRUE(sim.client().Send(NewerCommand("!GVT")));
    EXPECT_EQ(sim.client().Receive(20, 2000), (Bytes{0x1B, '!', 'G', 'V', 'T', 0x00}));
    EXPECT_TRUE(sim.client().WaitClosed(2000));

    // The printer takes the next connection as usual.
    RawClient again;
    ASSERT_TRUE(again.Connect("127.0.0.1", sim.printer().Port()));
    ASSERT_TRUE(again.Send(NewerCommand("!CSS")));
    EXPECT_EQ(again.Receive(12, 2000).size(), 12u);
}

// ---- Connections, restart, stop ----

TEST(SimConnection, NewConnectionReplacesTheOldOne) {
    SimTest sim(true);
    ASSERT_TRUE(sim.Ready());
    RawClient second;
    ASSERT_TRUE(second.Connect("127.0.0.1", sim.printer().Port()));
    EXPECT_TRUE(sim.client().WaitClosed(2000));
    ASSERT_TRUE(second.Send(NewerCommand("!CSS")));
    EXPECT_EQ(second.Receive(12, 2000).size(), 12u);
    EXPECT_EQ(sim.printer().Connections(), 2u);
}

TEST(SimConnection, RestartDropsTheConnectionAndRefusesForAWhile) {
    SimConfig config;
    config.restart_refuse_ms = 600;
    SimTest sim(true, config);
    ASSERT_TRUE(sim.Ready());
    sim.printer().UpdateState([](PrinterState& state) {
        state.error_number = 7;
        state.card_inserted = true;
    });

    ASSERT_TRUE(sim.client().Send(NewerCommand("!RRP")));
    // No answer, just the close.
    EXPECT_TRUE(sim.client().ReceiveUntilQuiet(2000, 2000).empty());
    EXPECT_TRUE(sim.client().PeerClosed());
    EXPECT_TRUE(sim.printer().Restarting());
    RawClient during;
    EXPECT_FALSE(during.Connect("127.0.0.1", sim.printer().Port(), 300));

    bool reconnected = false;
    for (int attempt = 0; attempt < 40 && !reconnected; ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        RawClient after;
        reconnected = after.Connect("127.0.0.1", sim.printer().Port(), 300);
    }
    EXPECT_TRUE(reconnected);
    const PrinterState state = sim.printer().State();
    EXPECT_EQ(state.restart_count, 1u);
    EXPECT_EQ(state.error_number, 0);
    EXPECT_FALSE(state.card_inserted);
}

TEST(SimConnection, OlderRestartAcknowledgesFirst) {
    SimConfig config;
    config.restart_refuse_ms = 100;
    SimTest sim(false, config);
    ASSERT_TRUE(sim.Ready());
    ASSERT_TRUE(sim.client().Send(OlderCommand("R")));
    EXPECT_EQ(sim.client().Receive(2, 2000), (Bytes{0x06}));
    EXPECT_TRUE(sim.client().WaitClosed(2000));
}

TEST(SimConnection, StopIsPromptWhileAnAnswerIsHeldBack) {
    SimTest sim(true);
    ASSERT_TRUE(sim.Ready());
    sim.printer().Script(ScriptedAction::On("GVT").Delay(30000));
    ASSERT_TRUE(sim.client().Send(NewerCommand("!GVT")));
    ASSERT_TRUE(sim.printer().WaitForReceived(1, std::chrono::milliseconds(2000)));
    const auto start = Clock::now();
    sim.printer().Stop();
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1000));
    EXPECT_FALSE(sim.printer().Running());
    EXPECT_TRUE(sim.client().WaitClosed(2000));
}

TEST(SimConnection, OnlyLoopbackAddressesAreAccepted) {
    SimConfig config;
    config.address = "192.0.2.1";
    config.port = 0;
    SimPrinter printer(config);
    EXPECT_FALSE(printer.Start());
    EXPECT_NE(printer.LastError().find("loopback"), std::string::npos);
}

TEST(SimConnection, BindsTheAddressItIsGiven) {
    SimConfig config;
    config.address = "127.0.0.2";
    config.port = 0;
    SimPrinter printer(config);
    ASSERT_TRUE(printer.Start());
    RawClient client;
    EXPECT_TRUE(client.Connect("127.0.0.2", printer.Port()));
    RawClient elsewhere;
    EXPECT_FALSE(elsewhere.Connect("127.0.0.1", printer.Port(), 300));
}

// ---- Frame log ----

TEST(SimFrameLog, RecordsEveryCommandInOrderWithMalformedInputMarked) {
    // Declared before the simulator so they outlive its server thread.
    std::vector<std::string> observed;
    std::mutex observed_lock;
    SimTest sim(true);
    ASSERT_TRUE(sim.Ready());
    sim.printer().SetFrameObserver([&](const Frame& frame) {
        std::lock_guard<std::mutex> guard(observed_lock);
        observed.push_back(frame.FormatLine());
    });

    // Two commands and stray bytes in one write, the second command cut in two writes.
    const Bytes gvt = NewerCommand("!GVT");
    const Bytes gsi = NewerCommand("!GSI", {0x00});
    Bytes first = Concat(Concat(gvt, {0x41, 0x42}), Bytes(gsi.begin(), gsi.begin() + 4));
    ASSERT_TRUE(sim.client().Send(first));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(sim.client().Send(Bytes(gsi.begin() + 4, gsi.end())));
    ASSERT_TRUE(sim.printer().WaitForReceived(3, std::chrono::milliseconds(2000)));
    sim.client().ReceiveUntilQuiet(150, 1000);

    const auto frames = sim.printer().ReceivedFrames();
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[0].command, "!GVT");
    EXPECT_EQ(frames[0].bytes, gvt);
    EXPECT_TRUE(frames[1].malformed);
    EXPECT_EQ(frames[1].bytes, (Bytes{0x41, 0x42}));
    EXPECT_EQ(frames[2].command, "!GSI");
    EXPECT_EQ(frames[2].bytes, gsi);
    EXPECT_LE(frames[0].time, frames[2].time);

    std::lock_guard<std::mutex> guard(observed_lock);
    ASSERT_FALSE(observed.empty());
    EXPECT_NE(observed[0].find("RX !GVT 10: 1B 21 47 56 54 00 00 00 00 0D"), std::string::npos) << observed[0];
}

TEST(SimFrameLog, CustomHandlerExtendsTheCommandSet) {
    SimTest sim(true);
    ASSERT_TRUE(sim.Ready());
    sim.printer().SetHandler("!REH", [](PrinterState& state, const Command&) {
        state.card_inserted = false;
        return Reply::WithData({0x01});
    });
    sim.printer().UpdateState([](PrinterState& state) { state.card_inserted = true; });
    EXPECT_EQ(sim.Exchange(NewerCommand("!REH")), (Bytes{0x1B, '!', 'R', 'E', 'H', 0, 0, 0, 0, 0, 1, 0x01, 0x0D}));
    EXPECT_FALSE(sim.printer().State().card_inserted);
}

}  // namespace
}  // namespace orvpw::sim
