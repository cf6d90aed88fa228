#include "sim/sim_printer.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "sim/answer_frames.h"
#include "sim/pty_serial.h"
#include "sim/tcp_endpoint.h"

namespace orvpw::sim {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kIdleWaitMs = 100;
constexpr int kRelistenRetryMs = 50;

bool Matches(const ScriptedAction& action, const Command& command) {
    if (action.match.empty()) return true;
    if (command.form == CommandForm::newer) {
        if (action.match.size() == 3) return command.mnemonic == action.match;
        return command.Name() == action.match;
    }
    if (action.exact) return command.text == action.match;
    return command.text.compare(0, action.match.size(), action.match) == 0;
}

std::string PrintableCommand(const std::string& name) {
    constexpr size_t kShown = 40;
    std::string shown;
    for (size_t i = 0; i < name.size() && i < kShown; ++i) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        if (c >= 0x20 && c < 0x7F) {
            shown += static_cast<char>(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            shown += escaped;
        }
    }
    if (name.size() > kShown) shown += "...";
    return shown;
}

}  // namespace

ScriptedAction ScriptedAction::On(std::string match) {
    ScriptedAction action;
    action.match = std::move(match);
    return action;
}

ScriptedAction& ScriptedAction::GarbageBefore(std::vector<uint8_t> bytes) {
    garbage = std::move(bytes);
    garbage_placement = GarbagePlacement::before;
    return *this;
}

ScriptedAction& ScriptedAction::GarbageInstead(std::vector<uint8_t> bytes) {
    garbage = std::move(bytes);
    garbage_placement = GarbagePlacement::instead;
    return *this;
}

ScriptedAction& ScriptedAction::Split(std::vector<size_t> sizes, uint32_t gap_ms) {
    split = std::move(sizes);
    split_gap_ms = gap_ms;
    return *this;
}

std::string HexText(const std::vector<uint8_t>& bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(bytes.size() * 3);
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i != 0) text += ' ';
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0x0F];
    }
    return text;
}

std::string Frame::FormatLine() const {
    char head[64];
    std::snprintf(head, sizeof head, "%4lld.%06lld %s ", static_cast<long long>(time.count() / 1000000),
                  static_cast<long long>(time.count() % 1000000), direction == Direction::received ? "RX" : "TX");
    std::string line = head;
    line += malformed ? "(malformed)" : PrintableCommand(command);
    line += ' ';
    line += std::to_string(bytes.size());
    line += ": ";
    line += HexText(bytes);
    return line;
}

struct SimPrinter::Impl {
    explicit Impl(SimConfig configuration)
        : config(std::move(configuration)),
          parser(config.newer ? CommandForm::newer : CommandForm::older, config.max_command_bytes),
          state(config.initial_state) {}

    // ---- fixed after construction ----
    const SimConfig config;

    // ---- server thread only ----
    TcpEndpoint endpoint;
    CommandParser parser;
    Clock::time_point relisten_at{};
    Clock::time_point last_bytes_at{};
    uint64_t connection_generation = 0;

    // ---- shared, under `lock` ----
    mutable std::mutex lock;
    mutable std::condition_variable frames_changed;
    PrinterState state;
    std::deque<ScriptedAction> script;
    std::deque<Frame> frames;
    std::unordered_map<std::string, CommandHandler> handlers;
    FrameObserver observer;
    std::string last_error;

    // ---- shared, atomic ----
    std::atomic<bool> stop{false};
    std::atomic<bool> running{false};
    std::atomic<bool> disconnect_requested{false};
    std::atomic<bool> connected{false};
    std::atomic<bool> restarting{false};
    std::atomic<uint32_t> connections{0};
    uint16_t port = 0;
    Clock::time_point started_at{};
    std::thread thread;
    std::unique_ptr<PtySerialBridge> serial;
    std::unique_ptr<DiscoveryAnswerer> discovery;

    void Run();
    void HandleCommands(std::vector<Command>& commands);
    void Process(const Command& command);
    std::vector<uint8_t> Encode(const Reply& reply, const Command& command) const;
    void Deliver(const std::vector<uint8_t>& answer, const ScriptedAction* action, const std::string& name);
    bool SendLogged(const std::vector<uint8_t>& bytes, const std::string& name);
    bool SleepFor(uint32_t ms);
    void BeginRestart();
    void DropClient();
    void Record(Frame::Direction direction, const std::string& name, std::vector<uint8_t> bytes, bool malformed);
};

void SimPrinter::Impl::Record(Frame::Direction direction, const std::string& name, std::vector<uint8_t> bytes,
                              bool malformed) {
    Frame frame;
    frame.direction = direction;
    frame.time = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - started_at);
    frame.command = name;
    frame.bytes = std::move(bytes);
    frame.malformed = malformed;
    FrameObserver notify;
    {
        std::lock_guard<std::mutex> guard(lock);
        frames.push_back(frame);
        while (frames.size() > std::max<size_t>(config.frame_log_limit, 1)) frames.pop_front();
        notify = observer;
    }
    frames_changed.notify_all();
    if (notify) notify(frame);
}

void SimPrinter::Impl::DropClient() {
    endpoint.DropClient();
    parser.Reset();
    connected = false;
    ++connection_generation;
}

bool SimPrinter::Impl::SleepFor(uint32_t ms) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        if (stop || disconnect_requested) return false;
        const auto now = Clock::now();
        if (now >= deadline) return true;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count() + 1;
        endpoint.Sleep(static_cast<int>(std::min<long long>(left, kIdleWaitMs)));
    }
}

bool SimPrinter::Impl::SendLogged(const std::vector<uint8_t>& bytes, const std::string& name) {
    if (bytes.empty()) return endpoint.HasClient();
    const bool sent = endpoint.Send(bytes.data(), bytes.size());
    if (sent) Record(Frame::Direction::sent, name, bytes, false);
    if (!endpoint.HasClient()) DropClient();
    return sent;
}

void SimPrinter::Impl::Deliver(const std::vector<uint8_t>& answer, const ScriptedAction* action,
                               const std::string& name) {
    if (action == nullptr) {
        SendLogged(answer, name);
        return;
    }
    if (action->silent) return;
    if (action->delay_ms > 0 && !SleepFor(action->delay_ms)) return;

    std::vector<uint8_t> payload;
    if (!action->garbage.empty()) payload = action->garbage;
    if (action->garbage.empty() || action->garbage_placement == ScriptedAction::GarbagePlacement::before)
        payload.insert(payload.end(), answer.begin(), answer.end());
    if (action->send_only && *action->send_only < payload.size()) payload.resize(*action->send_only);
    const bool close = action->close_after.has_value();
    if (close && *action->close_after < payload.size()) payload.resize(*action->close_after);

    size_t offset = 0;
    for (size_t chunk : action->split) {
        if (offset >= payload.size()) break;
        chunk = std::min(chunk, payload.size() - offset);
        if (chunk == 0) continue;
        if (!SendLogged({payload.begin() + static_cast<std::ptrdiff_t>(offset),
                         payload.begin() + static_cast<std::ptrdiff_t>(offset + chunk)}, name))
            return;
        offset += chunk;
        if (offset < payload.size() && !SleepFor(action->split_gap_ms)) return;
    }
    if (offset < payload.size() &&
        !SendLogged({payload.begin() + static_cast<std::ptrdiff_t>(offset), payload.end()}, name))
        return;
    if (close) DropClient();
}

std::vector<uint8_t> SimPrinter::Impl::Encode(const Reply& reply, const Command& command) const {
    if (command.form == CommandForm::newer) {
        switch (reply.kind) {
        case Reply::Kind::silent: return {};
        case Reply::Kind::unknown: return NewerAnswer(command.class_char, "XXX", config.unknown_status_word, {});
        case Reply::Kind::answer: return NewerAnswer(command.class_char, command.mnemonic, reply.status_word, reply.data);
        }
        return {};
    }
    switch (reply.kind) {
    case Reply::Kind::silent: return {};
    case Reply::Kind::unknown:
        if (config.older_unknown_silent) return {};
        return OlderNak(config.unknown_nak_number);
    case Reply::Kind::answer:
        if (reply.nak_number != 0) return OlderNak(reply.nak_number);
        return OlderAck(reply.with_block, reply.data);
    }
    return {};
}

void SimPrinter::Impl::Process(const Command& command) {
    const std::string name = command.malformed ? std::string() : command.Name();
    Record(Frame::Direction::received, name, command.raw, command.malformed);
    if (command.malformed) return;

    ScriptedAction action;
    bool scripted = false;
    std::vector<uint8_t> answer;
    bool restart = false;
    {
        std::lock_guard<std::mutex> guard(lock);
        for (auto it = script.begin(); it != script.end(); ++it) {
            if (!Matches(*it, command)) continue;
            action = *it;
            scripted = true;
            if (!it->persistent) script.erase(it);
            break;
        }
        const bool refuses = scripted && ((action.status_word && *action.status_word != 0) ||
                                          (action.nak_number && *action.nak_number != 0));
        const bool execute = scripted ? action.execute.value_or(!refuses) : true;
        Reply reply;
        if (execute) {
            const std::string key = command.form == CommandForm::newer
                                        ? command.Name()
                                        : command.text.substr(0, command.text.find(' '));
            auto handler = handlers.find(key);
            reply = handler != handlers.end() ? handler->second(state, command) : ExecuteCommand(state, command);
        }
        if (scripted) {
            // A scripted answer makes the printer "know" the command.
            if ((action.status_word || action.nak_number || action.data) && reply.kind != Reply::Kind::answer)
                reply.kind = Reply::Kind::answer;
            if (action.status_word) reply.status_word = *action.status_word;
            if (action.nak_number) reply.nak_number = *action.nak_number;
            if (action.data) {
                reply.data = *action.data;
                reply.with_block = true;
            }
        }
        answer = Encode(reply, command);
        if (scripted && action.raw_answer) answer = *action.raw_answer;
        restart = reply.restart;
        if (restart) ApplyRestart(state);
    }
    Deliver(answer, scripted ? &action : nullptr, name);
    if (restart) BeginRestart();
}

void SimPrinter::Impl::BeginRestart() {
    // Listener first: once the host sees the close, connection attempts are refused.
    restarting = true;
    endpoint.CloseListener();
    DropClient();
    relisten_at = Clock::now() + std::chrono::milliseconds(config.restart_refuse_ms);
}

void SimPrinter::Impl::HandleCommands(std::vector<Command>& commands) {
    const uint64_t generation = connection_generation;
    for (const Command& command : commands) {
        // Commands behind one that dropped the connection were never seen by the printer.
        if (stop || generation != connection_generation) break;
        Process(command);
    }
    commands.clear();
}

void SimPrinter::Impl::Run() {
    std::vector<uint8_t> bytes;
    std::vector<Command> commands;
    while (!stop) {
        if (disconnect_requested.exchange(false)) DropClient();
        auto now = Clock::now();
        if (!endpoint.Listening() && now >= relisten_at) {
            std::string error;
            if (endpoint.Relisten(error)) {
                restarting = false;
            } else {
                relisten_at = now + std::chrono::milliseconds(kRelistenRetryMs);
                std::lock_guard<std::mutex> guard(lock);
                last_error = error;
            }
        }

        int timeout_ms = kIdleWaitMs;
        if (parser.AwaitingQuiet()) {
            const auto quiet_end = last_bytes_at + std::chrono::milliseconds(config.older_data_quiet_ms);
            if (now >= quiet_end) {
                parser.Flush(commands);
                HandleCommands(commands);
                continue;
            }
            timeout_ms = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(quiet_end - now).count()) + 1;
        }
        if (!endpoint.Listening()) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(relisten_at - now).count() + 1;
            timeout_ms = static_cast<int>(std::clamp<long long>(left, 1, timeout_ms));
        }

        bytes.clear();
        switch (endpoint.Wait(timeout_ms, bytes)) {
        case TcpEndpoint::WaitResult::connected:
            parser.Reset();
            ++connection_generation;
            ++connections;
            connected = true;
            break;
        case TcpEndpoint::WaitResult::client_closed:
            DropClient();
            break;
        case TcpEndpoint::WaitResult::data:
            last_bytes_at = Clock::now();
            parser.Feed(bytes.data(), bytes.size(), commands);
            HandleCommands(commands);
            break;
        case TcpEndpoint::WaitResult::timeout:
        case TcpEndpoint::WaitResult::woken:
            break;
        }
    }
    DropClient();
    endpoint.CloseListener();
    running = false;
}

SimPrinter::SimPrinter(SimConfig config) : impl_(std::make_unique<Impl>(std::move(config))) {}

SimPrinter::~SimPrinter() { Stop(); }

bool SimPrinter::Start() {
    if (impl_->running) return true;
    if (impl_->thread.joinable()) impl_->thread.join();
    std::string error;
    if (!impl_->endpoint.Listen(impl_->config.address, impl_->config.port, error)) {
        std::lock_guard<std::mutex> guard(impl_->lock);
        impl_->last_error = error;
        return false;
    }
    impl_->port = impl_->endpoint.BoundPort();
    impl_->started_at = Clock::now();
    impl_->stop = false;
    impl_->restarting = false;
    impl_->running = true;
    impl_->thread = std::thread([impl = impl_.get()] { impl->Run(); });
    if (impl_->config.serial_pty) {
        impl_->serial = std::make_unique<PtySerialBridge>(impl_->config.address, impl_->port);
        if (!impl_->serial->Start()) {
            std::string error = impl_->serial->LastError();
            Stop();
            std::lock_guard<std::mutex> guard(impl_->lock);
            impl_->last_error = error;
            return false;
        }
    }
    if (impl_->config.discovery) {
        DiscoveryConfig discovery;
        discovery.address = impl_->config.address;
        discovery.port = impl_->config.discovery_port;
        discovery.restart_ms = impl_->config.configuration_restart_ms;
        DiscoveryBoard board = DiscoveryBoard::ForPrinter(
            impl_->config.address,
            impl_->config.discovery_tcp_port ? impl_->config.discovery_tcp_port : impl_->port, 0);
        board.mac = impl_->config.mac;
        discovery.boards.push_back(board);
        impl_->discovery = std::make_unique<DiscoveryAnswerer>(discovery);
        if (!impl_->discovery->Start()) {
            std::string error = impl_->discovery->LastError();
            Stop();
            std::lock_guard<std::mutex> guard(impl_->lock);
            impl_->last_error = error;
            return false;
        }
    }
    return true;
}

void SimPrinter::Stop() {
    if (impl_->discovery) impl_->discovery->Stop();
    if (impl_->serial) impl_->serial->Stop();
    impl_->stop = true;
    impl_->endpoint.Wake();
    if (impl_->thread.joinable()) impl_->thread.join();
    impl_->running = false;
}

bool SimPrinter::Running() const { return impl_->running; }
uint16_t SimPrinter::Port() const { return impl_->port; }
const std::string& SimPrinter::Address() const { return impl_->config.address; }
bool SimPrinter::Newer() const { return impl_->config.newer; }

std::string SimPrinter::LastError() const {
    std::lock_guard<std::mutex> guard(impl_->lock);
    return impl_->last_error;
}

void SimPrinter::Script(ScriptedAction action) {
    std::lock_guard<std::mutex> guard(impl_->lock);
    impl_->script.push_back(std::move(action));
}

void SimPrinter::ClearScript() {
    std::lock_guard<std::mutex> guard(impl_->lock);
    impl_->script.clear();
}

size_t SimPrinter::ScriptSize() const {
    std::lock_guard<std::mutex> guard(impl_->lock);
    return impl_->script.size();
}

std::vector<Frame> SimPrinter::ReceivedFrames() const {
    std::lock_guard<std::mutex> guard(impl_->lock);
    std::vector<Frame> received;
    for (const Frame& frame : impl_->frames)
        if (frame.direction == Frame::Direction::received) received.push_back(frame);
    return received;
}

std::vector<Frame> SimPrinter::Frames() const {
    std::lock_guard<std::mutex> guard(impl_->lock);
    return {impl_->frames.begin(), impl_->frames.end()};
}

void SimPrinter::ClearFrames() {
    std::lock_guard<std::mutex> guard(impl_->lock);
    impl_->frames.clear();
}

bool SimPrinter::WaitForReceived(size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> guard(impl_->lock);
    return impl_->frames_changed.wait_for(guard, timeout, [&] {
        size_t received = 0;
        for (const Frame& frame : impl_->frames)
            if (frame.direction == Frame::Direction::received) ++received;
        return received >= count;
    });
}

PrinterState SimPrinter::State() const {
    std::lock_guard<std::mutex> guard(impl_->lock);
    return impl_->state;
}

void SimPrinter::UpdateState(const std::function<void(PrinterState&)>& change) {
    std::lock_guard<std::mutex> guard(impl_->lock);
    if (change) change(impl_->state);
}

void SimPrinter::SetHandler(const std::string& key, CommandHandler handler) {
    std::lock_guard<std::mutex> guard(impl_->lock);
    if (handler)
        impl_->handlers[key] = std::move(handler);
    else
        impl_->handlers.erase(key);
}

void SimPrinter::SetFrameObserver(FrameObserver observer) {
    std::lock_guard<std::mutex> guard(impl_->lock);
    impl_->observer = std::move(observer);
}

void SimPrinter::Disconnect() {
    impl_->disconnect_requested = true;
    impl_->endpoint.Wake();
}

bool SimPrinter::Connected() const { return impl_->connected; }
uint32_t SimPrinter::Connections() const { return impl_->connections; }
bool SimPrinter::Restarting() const { return impl_->restarting; }

std::string SimPrinter::SerialPath() const { return impl_->serial ? impl_->serial->SlavePath() : std::string(); }

void SimPrinter::UnplugSerial() {
    if (impl_->serial) impl_->serial->Unplug();
}

DiscoveryAnswerer* SimPrinter::Discovery() { return impl_->discovery.get(); }

uint16_t SimPrinter::DiscoveryPort() const { return impl_->discovery ? impl_->discovery->Port() : 0; }

}  // namespace orvpw::sim
