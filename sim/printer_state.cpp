#include "sim/printer_state.h"

#include <string_view>
#include <unordered_map>

namespace orvpw::sim {

namespace {

// Error number of a command whose parameters the printer cannot use.
constexpr int kParameterNotValid = 21;

using Handler = Reply (*)(PrinterState&, const Command&);

std::vector<uint8_t> TextBytes(std::string_view text) { return {text.begin(), text.end()}; }

void PushBigEndian16(std::vector<uint8_t>& out, uint16_t value) {
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value));
}

std::vector<uint8_t> SystemRecord(const PrinterState& state, uint8_t type) {
    auto found = state.system_information.find(type);
    if (found != state.system_information.end()) return found->second;
    if (type == 0) return {state.model_type, state.oem_type};
    return {};
}

// ---- Newer form, keyed by class character and mnemonic ----

Reply NewerRestart(PrinterState&, const Command&) {
    // The host writes the restart without reading an answer; the printer just goes down.
    Reply reply;
    reply.kind = Reply::Kind::silent;
    reply.restart = true;
    return reply;
}

Reply ClearError(PrinterState& state, const Command&) {
    state.error_number = 0;
    return Reply::Done();
}

Reply InsertCard(PrinterState& state, const Command&) {
    if (state.error_number != 0) return Reply::Refused(state.error_number);
    state.card_inserted = true;
    return Reply::Done();
}

Reply NewerVersion(PrinterState& state, const Command&) {
    std::vector<uint8_t> data(state.firmware.begin(), state.firmware.end());
    PushBigEndian16(data, state.printer_type);
    PushBigEndian16(data, state.printer_model);
    return Reply::WithData(std::move(data));
}

Reply NewerStatus(PrinterState& state, const Command&) {
    Reply reply;
    reply.status_word = state.error_number == 0 ? 0 : ErrorStatusWord(state.error_number);
    return reply;
}

Reply NewerSystemInformation(PrinterState& state, const Command& command) {
    const uint8_t type = command.params.empty() ? 0 : command.params[0];
    std::vector<uint8_t> data{type};
    const std::vector<uint8_t> record = SystemRecord(state, type);
    data.insert(data.end(), record.begin(), record.end());
    return Reply::WithData(std::move(data));
}

Reply NewerRibbonMaker(PrinterState& state, const Command&) { return Reply::WithData({state.ribbon_maker}); }

Reply NewerHeatTable(PrinterState& state, const Command& command) {
    state.heat_table = command.params;
    state.heat_table_received = true;
    return Reply::Done();
}

Reply NewerDate(PrinterState& state, const Command& command) {
    // p1, then year (2 bytes, big-endian), month, day.
    if (command.params.size() < 5) return Reply::Refused(kParameterNotValid);
    state.date.year = (command.params[1] << 8) | command.params[2];
    state.date.month = command.params[3];
    state.date.day = command.params[4];
    state.date_received = true;
    return Reply::Done();
}

Reply NewerSerialNumber(PrinterState& state, const Command&) { return Reply::WithData(TextBytes(state.serial_number)); }

const std::unordered_map<std::string, Handler>& NewerHandlers() {
    static const std::unordered_map<std::string, Handler> handlers = {
        {"!RRP", NewerRestart},   {"!RCE", ClearError},           {"!RIP", InsertCard},
        {"!GVT", NewerVersion},   {"!CSS", NewerStatus},          {"!GSI", NewerSystemInformation},
        {"!LRM", NewerRibbonMaker}, {"$STT", NewerHeatTable},     {"!ICD", NewerDate},
        {"!GPS", NewerSerialNumber},
    };
    return handlers;
}

// ---- Older form, keyed by the text up to the first space ----

Reply OlderRestart(PrinterState&, const Command&) {
    // The host reads one ACK, then the printer goes down.
    Reply reply;
    reply.restart = true;
    return reply;
}

Reply OlderVersion(PrinterState& state, const Command&) { return Reply::WithData(TextBytes(state.older_version)); }

Reply OlderStatus(PrinterState& state, const Command&) {
    // The status travels as decimal text in the data block; "0" = no error.
    return Reply::WithData(TextBytes(std::to_string(state.error_number)));
}

Reply OlderSerialNumber(PrinterState& state, const Command&) { return Reply::WithData(TextBytes(state.serial_number)); }

Reply OlderSystemInformation(PrinterState& state, const Command&) {
    // Model type and OEM type as digits at bytes 0 and 2.
    std::vector<uint8_t> data{static_cast<uint8_t>('0' + state.model_type % 10), ' ',
                              static_cast<uint8_t>('0' + state.oem_type % 10)};
    return Reply::WithData(std::move(data));
}

const std::unordered_map<std::string, Handler>& OlderHandlers() {
    static const std::unordered_map<std::string, Handler> handlers = {
        {"R", OlderRestart},         {".", ClearError},   {"MI", InsertCard}, {"MIE", InsertCard},
        {"V", OlderVersion},         {"S", OlderStatus},  {"SG", OlderSerialNumber},
        {"GSI", OlderSystemInformation},
    };
    return handlers;
}

}  // namespace

Reply Reply::WithData(std::vector<uint8_t> data) {
    Reply reply;
    reply.with_block = true;
    reply.data = std::move(data);
    return reply;
}

Reply Reply::Refused(int error_number) {
    Reply reply;
    reply.status_word = ErrorStatusWord(error_number);
    reply.nak_number = error_number;
    return reply;
}

Reply Reply::Unknown() {
    Reply reply;
    reply.kind = Kind::unknown;
    return reply;
}

uint16_t ErrorStatusWord(int error_number) { return static_cast<uint16_t>(0x8000 | (error_number & 0xFF)); }

Reply ExecuteCommand(PrinterState& state, const Command& command) {
    if (command.malformed) return Reply::Unknown();
    if (command.form == CommandForm::newer) {
        auto found = NewerHandlers().find(command.Name());
        return found == NewerHandlers().end() ? Reply::Unknown() : found->second(state, command);
    }
    const std::string keyword = command.text.substr(0, command.text.find(' '));
    auto found = OlderHandlers().find(keyword);
    return found == OlderHandlers().end() ? Reply::Unknown() : found->second(state, command);
}

void ApplyRestart(PrinterState& state) {
    state.error_number = 0;
    state.card_inserted = false;
    ++state.restart_count;
}

}  // namespace orvpw::sim
