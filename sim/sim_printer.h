// The simulated printer: a TCP test server that speaks one command-set generation from the
// printer's side, keeps a small printer state, plays scripted answers and misbehaves on
// request. Everything here is thread-safe; the server runs on its own thread.
//
//   orvpw::sim::SimConfig config;            // 127.0.0.1:9200, newer form
//   config.port = 0;                         // any free port
//   orvpw::sim::SimPrinter printer(config);
//   if (!printer.Start()) { ... printer.LastError() ... }
//   uint16_t port = printer.Port();
//   printer.Script(orvpw::sim::ScriptedAction::On("RIP").StatusWord(0x800C));   // refuse once
//   printer.Script(orvpw::sim::ScriptedAction::On("GVT").Delay(500).Persistent());
//   ... let the library talk to 127.0.0.1:port ...
//   std::vector<orvpw::sim::Frame> frames = printer.ReceivedFrames();
//   printer.Stop();                          // also done by the destructor
//
// Default behaviour (no script):
//   newer form                                  older form
//   !GVT  firmware[4] type(BE16) model(BE16)    "V"    ACK + block: version text ("V1.0.215")
//   !GPS  serial number text                    "SG"   ACK + block: serial number text
//   !CSS  status word 0 / 80xxh (xx = error)    "S"    ACK + block: error number in decimal ("0")
//   !RCE  clears the error                      "."    ACK, clears the error
//   !GSI  p1 type -> type byte + record;        "GSI"  ACK + block: model type digit, ' ',
//         type 0 record = model type, OEM type         OEM type digit
//   !LRM  ribbon maker byte                     -      (unknown: NAK 20)
//   $STT  stores the heat table                 -
//   !ICD  stores the date (p1, year BE16,       -
//         month, day); short data -> 8015h
//   !RIP  card inserted; 80xxh while an error   "MI", "MI n", "MIE": the same, NAK xx
//   !RRP  no answer; drops the connection and   "R"    ACK, then the same restart
//         refuses connections for restart_refuse_ms
//   unknown: "XXX" echo with status word 8014h  unknown: NAK 20 (or silence, see SimConfig)
//   (20 = command not valid, the number the host maps a refused command to)
// Malformed input (stray bytes, a broken frame) is logged and gets no answer.
#pragma once
#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/command_parser.h"
#include "sim/printer_state.h"
#include "sim/udp_discovery.h"

namespace orvpw::sim {

struct SimConfig {
    std::string address = "127.0.0.1";  // must lie in 127.0.0.0/8
    uint16_t port = 9200;               // 0 = any free port; Port() reports it
    bool newer = true;                  // framed binary form; false = older text form
    PrinterState initial_state;         // identity (serial, firmware, ...) and condition
    uint16_t unknown_status_word = 0x8014;  // newer form, with the "XXX" echo
    int unknown_nak_number = 20;            // older form
    bool older_unknown_silent = false;      // older form: ignore unknown commands instead
    uint32_t restart_refuse_ms = 3000;      // connections refused after a restart command
    // Older data commands without a length in their text end at a CR followed by this quiet time.
    uint32_t older_data_quiet_ms = 20;
    size_t max_command_bytes = CommandParser::kDefaultMaxCommandBytes;
    size_t frame_log_limit = 10000;         // oldest entries are dropped beyond this

    // Serial line: also serve this printer over a pty; SerialPath() reports the slave.
    bool serial_pty = false;
    // UDP discovery: answer "FIND" / "SETT" on address:discovery_port as a network board.
    bool discovery = false;
    uint16_t discovery_port = 5034;          // 0 = any free port; DiscoveryPort() reports it
    std::array<uint8_t, 6> mac = {0x02, 0x5B, 0xC7, 0x00, 0x00, 0x01};
    uint16_t discovery_tcp_port = 0;         // port announced in the board record; 0 = Port()
    uint32_t configuration_restart_ms = 3000;  // silent after a configuration
};

// One scripted behaviour, matched against each incoming command in queue order. The first
// match is used; a one-shot action is then removed, a persistent one stays.
//
// Unless the action refuses the command (nonzero status word or NAK number), the command is
// still executed against the printer state and its normal answer is the base that the knobs
// below change; Execute() overrides that choice. A command that is not executed is answered
// as done (status word 0000h / ACK) unless the action gives other content. Knobs apply in
// this order: content, delay, garbage, send_only, close_after, split.
struct ScriptedAction {
    enum class GarbagePlacement { before, instead };

    // Newer form: "GVT" matches the mnemonic, "!GVT" class and mnemonic. Older form: a prefix
    // of the command text ("MI" matches "MI", "MI 2", "MIE"), or the whole text with Exact().
    // Empty: any command.
    std::string match;
    bool exact = false;
    bool persistent = false;
    std::optional<bool> execute;

    // Content of the answer.
    std::optional<uint16_t> status_word;           // newer form status word
    std::optional<int> nak_number;                 // older form: NAK with this number
    std::optional<std::vector<uint8_t>> data;      // answer data (older: in a data block)
    std::optional<std::vector<uint8_t>> raw_answer;  // these exact bytes instead of an answer

    // Delivery.
    bool silent = false;                   // send nothing
    uint32_t delay_ms = 0;                 // wait before answering
    std::vector<uint8_t> garbage;          // stray bytes ...
    GarbagePlacement garbage_placement = GarbagePlacement::before;  // ... before or instead of the answer
    std::optional<size_t> send_only;       // send only the first N bytes (garbage included)
    std::optional<size_t> close_after;     // drop the connection after N bytes (0 = at once)
    std::vector<size_t> split;             // sizes of the first writes; the rest goes in one more
    uint32_t split_gap_ms = 10;            // pause between split writes

    static ScriptedAction On(std::string match);
    static ScriptedAction Any() { return ScriptedAction{}; }
    ScriptedAction& Exact() { exact = true; return *this; }
    ScriptedAction& Persistent() { persistent = true; return *this; }
    ScriptedAction& Execute(bool run) { execute = run; return *this; }
    ScriptedAction& StatusWord(uint16_t word) { status_word = word; return *this; }
    ScriptedAction& Nak(int number) { nak_number = number; return *this; }
    ScriptedAction& Data(std::vector<uint8_t> bytes) { data = std::move(bytes); return *this; }
    ScriptedAction& DataText(std::string_view text) { data = std::vector<uint8_t>(text.begin(), text.end()); return *this; }
    ScriptedAction& RawAnswer(std::vector<uint8_t> bytes) { raw_answer = std::move(bytes); return *this; }
    ScriptedAction& Silent() { silent = true; return *this; }
    ScriptedAction& Delay(uint32_t ms) { delay_ms = ms; return *this; }
    ScriptedAction& GarbageBefore(std::vector<uint8_t> bytes);
    ScriptedAction& GarbageInstead(std::vector<uint8_t> bytes);
    ScriptedAction& SendOnly(size_t bytes) { send_only = bytes; return *this; }
    ScriptedAction& CloseAfter(size_t bytes) { close_after = bytes; return *this; }
    ScriptedAction& Drop() { close_after = 0; return *this; }
    ScriptedAction& Split(std::vector<size_t> sizes, uint32_t gap_ms = 10);
};

// One entry of the frame log.
struct Frame {
    enum class Direction { received, sent };
    Direction direction = Direction::received;
    std::chrono::microseconds time{0};  // since Start()
    std::string command;  // "!GVT", the older text, or empty for stray bytes
    std::vector<uint8_t> bytes;
    bool malformed = false;

    // "  0.001234 RX !GVT 10: 1B 21 47 56 54 00 00 00 00 0D" (RX = host to printer).
    std::string FormatLine() const;
};

class SimPrinter {
public:
    // A handler for a command the built-in model does not know (or replaces): key "!GVT" for
    // the newer form, the text up to the first space for the older form. Runs on the server
    // thread with the state locked; must not call back into the SimPrinter.
    using CommandHandler = std::function<Reply(PrinterState&, const Command&)>;
    using FrameObserver = std::function<void(const Frame&)>;

    explicit SimPrinter(SimConfig config = {});
    ~SimPrinter();  // Stop()
    SimPrinter(const SimPrinter&) = delete;
    SimPrinter& operator=(const SimPrinter&) = delete;

    // Binds (on the calling thread, so Port() is valid on return) and starts the server
    // thread. False with LastError() when the address is not loopback or the bind fails.
    bool Start();
    // Ends the server thread within a few hundred milliseconds (at most ~2 s when a client
    // does not read); idempotent.
    void Stop();
    bool Running() const;
    uint16_t Port() const;
    const std::string& Address() const;
    std::string LastError() const;
    bool Newer() const;

    void Script(ScriptedAction action);
    void ClearScript();
    size_t ScriptSize() const;

    std::vector<Frame> ReceivedFrames() const;  // host-to-printer entries only
    std::vector<Frame> Frames() const;          // both directions, in order
    void ClearFrames();
    // Waits until at least `count` received entries are logged; false on time-out.
    bool WaitForReceived(size_t count, std::chrono::milliseconds timeout) const;

    PrinterState State() const;
    void UpdateState(const std::function<void(PrinterState&)>& change);
    void SetHandler(const std::string& key, CommandHandler handler);
    // Called on the server thread for every log entry, outside the lock (the program's -v).
    void SetFrameObserver(FrameObserver observer);

    // Drops the current client, as if the cable were pulled.
    void Disconnect();
    bool Connected() const;
    uint32_t Connections() const;  // accepted so far
    bool Restarting() const;       // refusing connections after a restart command

    // The pty slave path when serial_pty is set (empty otherwise).
    std::string SerialPath() const;
    // The serial device disappears (the pty closes).
    void UnplugSerial();
    // The discovery answerer when discovery is set (null otherwise) and its UDP port.
    DiscoveryAnswerer* Discovery();
    uint16_t DiscoveryPort() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Hex text of bytes: "1B 21 47".
std::string HexText(const std::vector<uint8_t>& bytes);

}  // namespace orvpw::sim
