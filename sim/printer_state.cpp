#include "sim/printer_state.h"

#include <cstdio>
#include <cstdlib>
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


// ---- Printer control model (both forms) ----

int CurrentError(const PrinterState& state) {
    return state.cover_open ? kSimErrorCoverOpen : state.error_number;
}

std::vector<uint8_t> ValueBytes(int32_t value) {
    // The shortest big-endian form of the value: 1, 2 or 4 bytes.
    const uint32_t v = static_cast<uint32_t>(value);
    if (v <= 0xFF) return {static_cast<uint8_t>(v)};
    if (v <= 0xFFFF) return {static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
    return {static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8),
            static_cast<uint8_t>(v)};
}

uint32_t ParamBigEndian(const Command& command, size_t from, size_t count) {
    uint32_t value = 0;
    for (size_t i = 0; i < count; ++i)
        value = (value << 8) | (from + i < command.params.size() ? command.params[from + i] : 0);
    return value;
}

// Decimal arguments of an older command text after its keyword ("+O 3 4" -> 3, 4).
std::vector<int> OlderArgs(const Command& command) {
    std::vector<int> args;
    size_t at = command.text.find(' ');
    while (at != std::string::npos) {
        size_t next = command.text.find(' ', at + 1);
        std::string field = command.text.substr(at + 1, next == std::string::npos ? std::string::npos : next - at - 1);
        if (!field.empty()) args.push_back(std::atoi(field.c_str()));
        at = next;
    }
    return args;
}
int OlderArg(const Command& command, size_t index, int fallback = 0) {
    std::vector<int> args = OlderArgs(command);
    return index < args.size() ? args[index] : fallback;
}

Reply TextReply(const std::string& text) { return Reply::WithData(TextBytes(text)); }

// Ranges of the configuration items; items missing here do not exist.
struct ItemRange {
    int32_t min;
    int32_t max;
};
const std::map<int, ItemRange>& ItemRanges() {
    static const std::map<int, ItemRange> ranges = {
        {10, {0, 255}}, {11, {0, 255}}, {12, {0, 255}}, {13, {0, 255}}, {14, {0, 255}},
        {15, {0, 255}}, {16, {0, 255}}, {17, {0, 255}}, {18, {0, 255}}, {19, {0, 255}},
        {20, {0, 255}}, {23, {0, 3}},   {24, {0, 255}}, {25, {0, 60}},  {26, {0, 60}},
        {27, {0, 64}},  {28, {0, 255}}, {30, {0, 255}}, {31, {0, 255}}, {32, {0, 0x7FFFFFFF}},
        {33, {0, 255}}, {34, {0, 255}}, {35, {0, 2550}}, {36, {0, 255}}, {37, {0, 255}},
        {38, {0, 3}},   {39, {0, 255}}, {40, {0, 600}}, {42, {0, 255}}, {44, {0, 255}},
        {47, {0, 255}}, {52, {0, 255}}, {53, {0, 255}}, {54, {0, 255}}, {55, {0, 255}},
    };
    return ranges;
}

int32_t ItemValue(const PrinterState& state, int item) {
    if (item == 38) return state.ribbon_maker;
    auto found = state.items.find(item);
    return found == state.items.end() ? 0 : found->second;
}

// Stores an item; 21 when the item does not exist or the value is out of its range.
int StoreItem(PrinterState& state, int item, int32_t value) {
    auto range = ItemRanges().find(item);
    if (range == ItemRanges().end() || value < range->second.min || value > range->second.max)
        return kParameterNotValid;
    if (item == 38) state.ribbon_maker = static_cast<uint8_t>(value);
    state.items[item] = value;
    return 0;
}
Reply StoreItemReply(PrinterState& state, int item, int32_t value) {
    int error = StoreItem(state, item, value);
    return error != 0 ? Reply::Refused(error) : Reply::Done();
}

// The hopper state the hopper check reports: 9 a card is inside, 2 the hopper is empty.
uint8_t HopperState(const PrinterState& state) {
    if (state.card_inserted) return 9;
    if (state.hopper_cards <= 0) return 2;
    return 0;
}
// The card-path sensor: 0 empty, 1 card at the print position, 2 card in the flipper.
uint8_t PathSensorValue(const PrinterState& state) {
    if (!state.card_inserted) return 0;
    return state.card_place == CardPlace::flipper ? 2 : 1;
}

// A card motion: refused by the current error; a planned jam happens now and stays.
int MotionError(PrinterState& state) {
    if (int error = CurrentError(state); error != 0) return error;
    if (state.jam_on_next_motion) {
        state.jam_on_next_motion = false;
        state.error_number = kSimErrorCardJam;
        return kSimErrorCardJam;
    }
    return 0;
}

Reply Insert(PrinterState& state, bool external) {
    if (int error = MotionError(state); error != 0) return Reply::Refused(error);
    if (!external && !state.card_inserted) {
        if (state.hopper_cards <= 0) return Reply::Refused(kSimErrorNoCard);
        --state.hopper_cards;
    }
    state.card_inserted = true;
    state.card_place = CardPlace::print;
    state.card_flipped = false;
    ++state.inserts;
    if (external) ++state.external_inserts;
    return Reply::Done();
}

Reply Eject(PrinterState& state, int option) {
    if (int error = MotionError(state); error != 0) return Reply::Refused(error);
    state.card_inserted = false;
    state.card_place = CardPlace::none;
    ++state.ejects;
    state.last_eject_option = option;
    return Reply::Done();
}

Reply Flip(PrinterState& state) {
    if (int error = MotionError(state); error != 0) return Reply::Refused(error);
    if (!state.card_inserted) return Reply::Refused(kSimErrorNoCard);
    state.card_flipped = !state.card_flipped;
    state.card_place = CardPlace::flipper;
    ++state.flips;
    return Reply::Done();
}

// Ribbon code character of a newer ribbon type number (the loaded ribbon's identity).
uint8_t RibbonCode(int type) {
    switch (type) {
    case 0: return '1';
    case 1: return '4';
    case 2: return '2';
    case 4: return '5';
    case 6: return '6';
    case 11: return ';';
    case 12: return '<';
    case 14: return '>';
    case 15: return '?';
    case 128: return '3';
    default: return '0';
    }
}

// The ribbon check: no ribbon 36; near its end the check still answers, with 35.
Reply RibbonCheck(PrinterState& state, bool newer) {
    if (!state.ribbon_loaded) return Reply::Refused(kSimErrorNoRibbon);
    const uint8_t code = RibbonCode(ItemValue(state, 24));
    Reply reply = newer ? Reply::WithData({code, RibbonCode(state.rf_tag_ribbon_type)})
                        : Reply::WithData({code});
    if (state.ribbon_remaining <= state.ribbon_near_end_at) {
        reply.status_word = ErrorStatusWord(kSimErrorRibbonNearEnd);
        if (!newer) reply.nak_number = kSimErrorRibbonNearEnd;
    }
    return reply;
}

Reply RibbonCount(PrinterState& state, const Command&) {
    if (!state.ribbon_loaded) return Reply::Refused(kSimErrorNoRibbon);
    std::vector<uint8_t> data;
    PushBigEndian16(data, static_cast<uint16_t>(state.ribbon_remaining));
    return Reply::WithData(std::move(data));
}

Reply RibbonSync(PrinterState& state, int value) {
    if (int error = CurrentError(state); error != 0) return Reply::Refused(error);
    if (!state.ribbon_loaded) return Reply::Refused(kSimErrorNoRibbon);
    ++state.ribbon_syncs;
    state.last_sync_value = value;
    return Reply::Done();
}

std::vector<uint8_t> OptionWords(const PrinterState& state, bool newer) {
    const int fw = FirmwareNumber(state, newer);
    const bool typeFirst = fw >= 400 && fw <= 404;
    std::vector<uint8_t> data;
    PushBigEndian16(data, typeFirst ? state.type_word : state.option_word);
    PushBigEndian16(data, typeFirst ? state.option_word : state.type_word);
    return data;
}

// ---- Newer-form control handlers ----

Reply NCheckFeeder(PrinterState& s, const Command&) { return Reply::WithData({HopperState(s)}); }
Reply NInsert(PrinterState& s, const Command&) { return Insert(s, false); }
Reply NEject(PrinterState& s, const Command& c) { return Eject(s, c.params.empty() ? -1 : c.params[0]); }
Reply NFlip(PrinterState& s, const Command&) { return Flip(s); }
Reply NReject(PrinterState& s, const Command& c) {
    if (int error = MotionError(s); error != 0) return Reply::Refused(error);
    s.card_inserted = false;
    s.card_place = CardPlace::none;
    ++s.rejects;
    s.last_reject_option = c.params.empty() ? -1 : c.params[0];
    return Reply::Done();
}
Reply NEjectBox(PrinterState& s, const Command& c) {
    s.last_eject_box = c.params.empty() ? -1 : c.params[0];
    return Eject(s, -1);
}
Reply NCheckRibbon(PrinterState& s, const Command&) { return RibbonCheck(s, true); }
Reply NRibbonSync(PrinterState& s, const Command& c) { return RibbonSync(s, c.params.empty() ? -1 : c.params[0]); }
Reply NRibbonSensor(PrinterState& s, const Command&) {
    std::vector<uint8_t> data;
    PushBigEndian16(data, s.ribbon_sensor[0]);
    PushBigEndian16(data, s.ribbon_sensor[1]);
    return Reply::WithData(std::move(data));
}
Reply NMotorDutyGet(PrinterState& s, const Command&) { return TextReply(std::to_string(s.motor_duty)); }
Reply NMotorDutySet(PrinterState& s, const Command& c) {
    s.motor_duty = c.params.empty() ? 0 : c.params[0];
    return Reply::Done();
}
Reply NGetItem(PrinterState& s, const Command& c) {
    if (c.params.empty()) return Reply::Refused(kParameterNotValid);
    const int item = c.params[0];
    if (ItemRanges().find(item) == ItemRanges().end() || item == 37) return Reply::Refused(kParameterNotValid);
    std::vector<uint8_t> data{static_cast<uint8_t>(item)};
    std::vector<uint8_t> value = ValueBytes(ItemValue(s, item));
    data.insert(data.end(), value.begin(), value.end());
    return Reply::WithData(std::move(data));
}
Reply NSetItem(PrinterState& s, const Command& c) {
    if (c.params.size() != 5) return Reply::Refused(kParameterNotValid);
    const int item = c.params[0];
    if (item == 37) return Reply::Refused(kParameterNotValid);
    return StoreItemReply(s, item, static_cast<int32_t>(ParamBigEndian(c, 1, 4)));
}
Reply NSetRibbonType(PrinterState& s, const Command& c) {
    if (c.params.size() != 2) return Reply::Refused(kParameterNotValid);
    s.last_ribbon_type_p1 = c.params[0];
    return StoreItemReply(s, 24, c.params[1]);
}
Reply NGetPrintCount(PrinterState& s, const Command&) {
    const uint32_t v = static_cast<uint32_t>(ItemValue(s, 32));
    return Reply::WithData({static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16),
                            static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)});
}
Reply NSetPrintCount(PrinterState& s, const Command& c) {
    return StoreItemReply(s, 32, static_cast<int32_t>(ParamBigEndian(c, 0, 4)));
}
Reply NSetRibbonMaker(PrinterState& s, const Command& c) {
    return StoreItemReply(s, 38, c.params.empty() ? 0 : c.params[0]);
}
Reply NGetOption(PrinterState& s, const Command&) { return Reply::WithData(OptionWords(s, true)); }
Reply NSetOption(PrinterState& s, const Command& c) {
    if (c.params.size() != 4) return Reply::Refused(kParameterNotValid);
    const int fw = FirmwareNumber(s, true);
    const uint16_t first = static_cast<uint16_t>(ParamBigEndian(c, 0, 2));
    const uint16_t second = static_cast<uint16_t>(ParamBigEndian(c, 2, 2));
    const bool typeFirst = fw >= 400 && fw <= 404;
    s.option_word = typeFirst ? second : first;
    s.type_word = typeFirst ? first : second;
    return Reply::Done();
}
Reply NSetSystemInformation(PrinterState& s, const Command& c) {
    if (c.params.empty()) return Reply::Refused(kParameterNotValid);
    s.system_information[c.params[0]] = std::vector<uint8_t>(c.params.begin() + 1, c.params.end());
    return Reply::Done();
}
Reply NGetRfTag(PrinterState& s, const Command&) {
    if (!s.ribbon_loaded) return Reply::Refused(kSimErrorNoRibbon);
    std::vector<uint8_t> data{s.rf_tag_valid};
    data.insert(data.end(), s.rf_tag.begin(), s.rf_tag.end());
    return Reply::WithData(std::move(data));
}
Reply NSetRfTag(PrinterState& s, const Command& c) {
    // Write code (2 bytes), 8 tag bytes, check byte = XOR of the ten ^ 2Ah.
    if (c.params.size() != 11) return Reply::Refused(kParameterNotValid);
    const uint16_t code = static_cast<uint16_t>(ParamBigEndian(c, 0, 2));
    uint8_t check = 0;
    for (size_t i = 0; i < 10; ++i) check ^= c.params[i];
    if ((code != 0x5C93 && code != 0x61D4) || (check ^ 0x2A) != c.params[10])
        return Reply::Refused(kParameterNotValid);
    if (!s.ribbon_loaded) return Reply::Refused(kSimErrorNoRibbon);
    std::copy(c.params.begin() + 2, c.params.begin() + 10, s.rf_tag.begin());
    return Reply::Done();
}
Reply NGetTagRibbonType(PrinterState& s, const Command&) { return Reply::WithData({s.rf_tag_ribbon_type}); }
Reply NSetTagRibbonType(PrinterState& s, const Command& c) {
    s.rf_tag_ribbon_type = c.params.empty() ? 0 : c.params[0];
    return Reply::Done();
}
Reply NSetPotentiometer(PrinterState& s, const Command& c) {
    // !SDP type value: type 0 is the LCD contrast.
    if (c.params.size() != 2 || c.params[0] >= 4) return Reply::Refused(kParameterNotValid);
    s.potentiometers[c.params[0]] = c.params[1];
    return Reply::Done();
}
Reply NGetPotentiometer(PrinterState& s, const Command& c) {
    if (c.params.size() != 1 || c.params[0] >= 4) return Reply::Refused(kParameterNotValid);
    return Reply::WithData({s.potentiometers[c.params[0]]});
}
Reply NCalibrateSensor(PrinterState& s, const Command&) {
    if (!s.ribbon_loaded) return Reply::Refused(kSimErrorNoRibbon);
    ++s.sensor_calibrations;
    return Reply::Done();
}
Reply NGetSensorPos(PrinterState& s, const Command&) { return Reply::WithData({static_cast<uint8_t>(s.sensor_position)}); }
Reply NSetSensorPos(PrinterState& s, const Command& c) {
    s.sensor_position = c.params.empty() ? 0 : c.params[0];
    return Reply::Done();
}
Reply NCleaning(PrinterState& s, const Command&) {
    if (int error = CurrentError(s); error != 0) return Reply::Refused(error);
    ++s.cleanings;
    return Reply::Done();
}
Reply NSelfTest(PrinterState& s, const Command& c) {
    if (int error = CurrentError(s); error != 0) return Reply::Refused(error);
    ++s.self_tests;
    s.last_self_test = c.params.empty() ? -1 : c.params[0];
    return Reply::Done();
}
Reply NSaveConfiguration(PrinterState& s, const Command&) {
    s.saved_items = s.items;
    ++s.configuration_saves;
    return Reply::Done();
}
Reply NLoadConfiguration(PrinterState& s, const Command&) {
    if (!s.saved_items.empty()) s.items = s.saved_items;
    ++s.configuration_loads;
    return Reply::Done();
}
Reply NPowerControl(PrinterState& s, const Command& c) {
    s.power_control_board = c.params.empty() ? -1 : c.params[0];
    return Reply::Done();
}
Reply NSetAddress(PrinterState& s, const Command& c) {
    if (c.params.size() != 5) return Reply::Refused(kParameterNotValid);
    s.addresses[c.params[0]] = {c.params[1], c.params[2], c.params[3], c.params[4]};
    return Reply::Done();
}
Reply NGetAddress(PrinterState& s, const Command& c) {
    if (c.params.size() != 1) return Reply::Refused(kParameterNotValid);
    const std::array<uint8_t, 4> address = s.addresses[c.params[0]];
    if (c.params[0] == 3) return Reply::WithData({address[0]});  // DHCP: one byte
    return Reply::WithData(std::vector<uint8_t>(address.begin(), address.end()));
}
Reply NEepromInit(PrinterState& s, const Command& c) {
    if (c.params.size() != 2) return Reply::Refused(kParameterNotValid);
    ++s.eeprom_inits;
    s.last_eeprom[0] = c.params[0];
    s.last_eeprom[1] = c.params[1];
    return Reply::Done();
}
Reply NHopperMotor(PrinterState& s, const Command& c) {
    ++s.hopper_motor_runs;
    s.last_hopper_motor = c.params.empty() ? -1 : c.params[0];
    return Reply::Done();
}
Reply NGetSoftLock(PrinterState& s, const Command&) { return Reply::WithData({s.flipper_lock}); }
Reply NSetSoftLock(PrinterState& s, const Command& c) {
    s.flipper_lock = c.params.empty() ? 0xFF : c.params[0];
    return Reply::Done();
}
Reply NSetHopperType(PrinterState& s, const Command& c) {
    s.hopper_type = c.params.empty() ? 0 : c.params[0];
    return Reply::Done();
}
Reply NGetHopperType(PrinterState& s, const Command&) { return Reply::WithData({s.hopper_type}); }
Reply NRewriteMode(PrinterState& s, const Command& c) {
    if (c.params.size() != 2) return Reply::Refused(kParameterNotValid);
    const int setting = c.params[0];
    if (setting == 1 || setting == 2) {
        s.rewrite[setting - 1] = c.params[1] == 0x25;
        return Reply::Done();
    }
    return Reply::WithData({static_cast<uint8_t>(s.rewrite[0] ? 0x25 : 0), static_cast<uint8_t>(s.rewrite[1] ? 0x25 : 0)});
}
Reply NPathSensor(PrinterState& s, const Command&) { return Reply::WithData({PathSensorValue(s)}); }
Reply NCardCounters(PrinterState& s, const Command&) {
    std::vector<uint8_t> data;
    auto push = [&data](uint32_t v, int bytes) {
        for (int i = bytes - 1; i >= 0; --i) data.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    for (int i = 0; i < 4; ++i) push(s.card_counters[i], 4);
    push(s.card_counters[4], 2);
    if (FirmwareNumber(s, true) >= 420) {
        push(s.card_counters[5], 4);
        push(s.card_counters[6], 2);
    }
    return Reply::WithData(std::move(data));
}
Reply NSetCardCounter(PrinterState& s, const Command& c) {
    if (c.params.size() != 5 || c.params[0] > 6) return Reply::Refused(kParameterNotValid);
    s.card_counters[c.params[0]] = ParamBigEndian(c, 1, 4);
    return Reply::Done();
}

// ---- Older-form control handlers ----

Reply OInsert(PrinterState& s, const Command& c) {
    if (c.text.size() > 3 && c.text[2] == ' ') s.last_insert_option = OlderArg(c, 0);
    return Insert(s, false);
}
Reply OExternalInsert(PrinterState& s, const Command&) { return Insert(s, true); }
Reply OEject(PrinterState& s, const Command&) { return Eject(s, -1); }
Reply OEjectOption(PrinterState& s, const Command& c) { return Eject(s, OlderArg(c, 0)); }
Reply OEjectTop(PrinterState& s, const Command&) {
    Reply reply = Eject(s, -1);
    if (reply.nak_number == 0) s.ejected_top = true;
    return reply;
}
Reply OFlip(PrinterState& s, const Command&) { return Flip(s); }
Reply OFlipperToPrinter(PrinterState& s, const Command&) {
    if (int error = MotionError(s); error != 0) return Reply::Refused(error);
    if (!s.card_inserted) return Reply::Refused(kSimErrorNoCard);
    s.card_place = CardPlace::print;
    return Reply::Done();
}
Reply OCheckFeeder(PrinterState& s, const Command&) { return TextReply(std::to_string(HopperState(s))); }
Reply OCheckRibbon(PrinterState& s, const Command&) { return RibbonCheck(s, false); }
Reply ORibbonSync(PrinterState& s, const Command&) { return RibbonSync(s, -1); }
Reply ORibbonInfo(PrinterState& s, const Command&) {
    if (!s.ribbon_loaded) return Reply::Refused(kSimErrorNoRibbon);
    std::string text(1, static_cast<char>(RibbonCode(ItemValue(s, 24))));
    text += ' ';
    text += std::to_string(s.ribbon_remaining);
    return TextReply(text);
}
Reply ORibbonSensor(PrinterState& s, const Command&) { return TextReply(std::to_string(s.ribbon_sensor[0])); }
Reply OMotorDutyGet(PrinterState& s, const Command&) { return TextReply(std::to_string(s.motor_duty)); }
Reply OMotorDutySet(PrinterState& s, const Command& c) {
    s.motor_duty = OlderArg(c, 0);
    return Reply::Done();
}
Reply OGetItem(PrinterState& s, const Command& c) {
    const int item = OlderArg(c, 0, -1);
    if (item == 42) return TextReply(std::to_string(s.sensor_position));  // sensor position
    if (ItemRanges().find(item) == ItemRanges().end() || item == 35 || item == 36)
        return Reply::Refused(kParameterNotValid);
    return TextReply(std::to_string(ItemValue(s, item)));
}
// One older command per item: "+ID 2" writes item 23, and so on.
Reply OItemWrite(PrinterState& s, const Command& c) {
    const std::string keyword = c.text.substr(0, c.text.find(' '));
    static const std::map<std::string, int> kSingle = {
        {"!R", 10}, {"+C", 19}, {"+CV", 20}, {"+ID", 23}, {"+OY", 27}, {"+OS", 28}, {"+CD", 30},
        {"!I", 31}, {"!SPC", 32}, {"+RS", 33}, {"+CRP", 34}, {"+MVS", 37}, {"+RMS", 38}, {"+EO", 39},
    };
    if (keyword == "+$C" || keyword == "+$L") {
        const int colour = OlderArg(c, 0, -1);
        if (colour < 0 || colour > 3) return Reply::Refused(kParameterNotValid);
        return StoreItemReply(s, (keyword == "+$C" ? 11 : 15) + colour, OlderArg(c, 1));
    }
    if (keyword == "+O") {
        if (int error = StoreItem(s, 25, OlderArg(c, 0)); error != 0) return Reply::Refused(error);
        return StoreItemReply(s, 26, OlderArg(c, 1));
    }
    auto found = kSingle.find(keyword);
    if (found == kSingle.end()) return Reply::Unknown();
    return StoreItemReply(s, found->second, OlderArg(c, 0));
}
Reply ORibbonType(PrinterState& s, const Command& c) {
    // "+RIB n", or "+RIB " and one raw byte for types of 128 and above.
    const std::string value = c.text.size() > 5 ? c.text.substr(5) : std::string();
    int type = 0;
    if (value.size() == 1 && static_cast<uint8_t>(value[0]) >= 0x80)
        type = static_cast<uint8_t>(value[0]);
    else
        type = std::atoi(value.c_str());
    return StoreItemReply(s, 24, type);
}
Reply OControlTimeRead(PrinterState& s, const Command&) {
    return TextReply(std::to_string(ItemValue(s, 40) / 10) + " " + std::to_string(ItemValue(s, 35) / 10));
}
Reply OControlTimeWrite(PrinterState& s, const Command& c) {
    std::vector<int> args = OlderArgs(c);
    if (args.empty()) return Reply::Refused(kParameterNotValid);
    if (int error = StoreItem(s, 40, args[0] * 10); error != 0) return Reply::Refused(error);
    if (args.size() > 1) return StoreItemReply(s, 35, args[1] * 10);
    return Reply::Done();
}
Reply OLcdContrastSet(PrinterState& s, const Command& c) {
    s.potentiometers[0] = static_cast<uint8_t>(OlderArg(c, 0));
    return Reply::Done();
}
Reply OLcdContrastGet(PrinterState& s, const Command&) { return TextReply(std::to_string(s.potentiometers[0])); }
Reply OSensorPosSet(PrinterState& s, const Command& c) {
    s.sensor_position = OlderArg(c, 0);
    return Reply::Done();
}
Reply OCalibrateSensor(PrinterState& s, const Command& c) { return NCalibrateSensor(s, c); }
Reply OSensorAdcSet(PrinterState& s, const Command& c) {
    s.ribbon_sensor_adc = OlderArg(c, 0);
    return Reply::Done();
}
Reply OSensorAdcGet(PrinterState& s, const Command&) { return TextReply(std::to_string(s.ribbon_sensor_adc)); }
Reply OGetRfTag(PrinterState& s, const Command&) {
    if (!s.ribbon_loaded) return Reply::Refused(kSimErrorNoRibbon);
    return Reply::WithData({s.rf_tag_valid});
}
Reply OSetRfTag(PrinterState& s, const Command& c) {
    if (c.params.size() != 8) return Reply::Refused(kParameterNotValid);
    if (!s.ribbon_loaded) return Reply::Refused(kSimErrorNoRibbon);
    std::copy(c.params.begin(), c.params.end(), s.rf_tag.begin());
    return Reply::Done();
}
Reply OCleaning(PrinterState& s, const Command& c) { return NCleaning(s, c); }
Reply OSelfTest(PrinterState& s, const Command& c) {
    if (int error = CurrentError(s); error != 0) return Reply::Refused(error);
    ++s.self_tests;
    s.last_self_test = OlderArg(c, 0);
    return Reply::Done();
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


Reply NewerVersion(PrinterState& state, const Command&) {
    std::vector<uint8_t> data(state.firmware.begin(), state.firmware.end());
    PushBigEndian16(data, state.printer_type);
    PushBigEndian16(data, state.printer_model);
    return Reply::WithData(std::move(data));
}

Reply NewerStatus(PrinterState& state, const Command&) {
    Reply reply;
    const int error = CurrentError(state);
    reply.status_word = error == 0 ? 0 : ErrorStatusWord(error);
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
        {"!RRP", NewerRestart},   {"!RCE", ClearError},           {"!RIP", NInsert},
        {"!CFS", NCheckFeeder},   {"!REH", NEject},               {"!RTC", NFlip},
        {"!RCR", NReject},        {"!EBC", NEjectBox},            {"!PSS", NPathSensor},
        {"!HMB", NHopperMotor},   {"!GSL", NGetSoftLock},         {"!SSL", NSetSoftLock},
        {"!SHT", NSetHopperType}, {"!GHT", NGetHopperType},
        {"!CRS", NCheckRibbon},   {"!CRC", RibbonCount},          {"!RRS", NRibbonSync},
        {"!GRS", NRibbonSensor},  {"!SRT", NSetRibbonType},       {"!SRM", NSetRibbonMaker},
        {"!ARR", NGetRfTag},      {"!ASR", NSetRfTag},            {"!GRR", NGetTagRibbonType},
        {"!SRR", NSetTagRibbonType}, {"!SRS", NCalibrateSensor},
        {"!GCV", NGetItem},       {"!SCV", NSetItem},             {"!GPC", NGetPrintCount},
        {"!SPC", NSetPrintCount}, {"!GDV", NMotorDutyGet},        {"!SDV", NMotorDutySet},
        {"!SDP", NSetPotentiometer}, {"!GDP", NGetPotentiometer}, {"!GSC", NGetSensorPos},
        {"!SSC", NSetSensorPos},  {"!GCC", NCardCounters},        {"!SCC", NSetCardCounter},
        {"!GOI", NGetOption},     {"!AOI", NSetOption},           {"!ASI", NSetSystemInformation},
        {"!RCL", NCleaning},      {"!RSP", NSelfTest},            {"!SEI", NEepromInit},
        {"!SCF", NSaveConfiguration}, {"!LCF", NLoadConfiguration}, {"!SCB", NPowerControl},
        {"!SIA", NSetAddress},    {"!GIA", NGetAddress},          {"!CRM", NRewriteMode},
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
    return Reply::WithData(TextBytes(std::to_string(CurrentError(state))));
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
        {"R", OlderRestart},         {".", ClearError},   {"MI", OInsert}, {"MIE", OExternalInsert},
        {"MO", OEject},   {"MOE", OEject},   {"MOX", OEjectOption}, {"!TE", OEjectTop},
        {"!T", OFlip},    {"!MFP", OFlipperToPrinter},  {"CF", OCheckFeeder},
        {"CR", OCheckRibbon}, {"SYNC", ORibbonSync}, {"RTI", ORibbonInfo}, {"&RIB", ORibbonSensor},
        {"!RMD", OMotorDutyGet}, {"+RMD", OMotorDutySet}, {"!V", OGetItem},
        {"!R", OItemWrite}, {"+$C", OItemWrite}, {"+$L", OItemWrite}, {"+C", OItemWrite},
        {"+CV", OItemWrite}, {"+ID", OItemWrite}, {"+O", OItemWrite}, {"+OY", OItemWrite},
        {"+OS", OItemWrite}, {"+CD", OItemWrite}, {"!I", OItemWrite}, {"!SPC", OItemWrite},
        {"+RS", OItemWrite}, {"+CRP", OItemWrite}, {"+MVS", OItemWrite}, {"+RMS", OItemWrite},
        {"+EO", OItemWrite}, {"+RIB", ORibbonType}, {"MR", OControlTimeRead},
        {"MW", OControlTimeWrite}, {"SLC", OLcdContrastSet}, {"SGL", OLcdContrastGet},
        {"+MRS", OSensorPosSet}, {"SRS", OCalibrateSensor}, {"SRC", OSensorAdcSet},
        {"SGR", OSensorAdcGet}, {"&RFtag", OGetRfTag}, {"&RFTAG", OSetRfTag},
        {"CLEAN", OCleaning}, {"A", OSelfTest},
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
    state.card_place = CardPlace::none;
    state.jam_on_next_motion = false;
    ++state.restart_count;
}

PrinterState::PrinterState() {
    // Factory values of the configuration items.
    items = {{10, 30}, {11, 0}, {12, 0}, {13, 0}, {14, 0}, {15, 10}, {16, 10}, {17, 10}, {18, 10},
             {19, 10}, {20, 10}, {23, 0}, {24, 0}, {25, 11}, {26, 12}, {27, 16}, {28, 0}, {30, 0},
             {31, 0}, {32, 0}, {33, 0}, {34, 0}, {35, 100}, {36, 0}, {37, 0}, {39, 0}, {40, 150},
             {42, 0}, {44, 0}, {47, 0}, {52, 0}, {53, 0}, {54, 0}, {55, 0}};
    addresses[0] = {192, 168, 0, 50};
    addresses[3] = {1, 0, 0, 0};
}

int FirmwareNumber(const PrinterState& state, bool newer) {
    if (newer) {
        char hex[9];
        std::snprintf(hex, sizeof hex, "%02X%02X%02X%02X", state.firmware[0], state.firmware[1],
                      state.firmware[2], state.firmware[3]);
        return std::atoi(hex + 5);
    }
    const std::string& text = state.older_version;
    return std::atoi(text.size() > 3 ? text.c_str() + text.size() - 3 : text.c_str());
}

void SetFirmwareNumber(PrinterState& state, int number) {
    // 407 -> bytes 00 00 04 07 (hex digits read as decimal) and "V1.0.407".
    const int hundreds = number / 100 % 10;
    const int rest = number % 100;
    state.firmware = {0x00, 0x00, static_cast<uint8_t>(hundreds),
                      static_cast<uint8_t>((rest / 10) << 4 | (rest % 10))};
    char text[16];
    std::snprintf(text, sizeof text, "V1.0.%03d", number % 1000);
    state.older_version = text;
}

void Raise(PrinterState& state, SimFault fault) {
    switch (fault) {
    case SimFault::card_jam:
        state.error_number = kSimErrorCardJam;
        break;
    case SimFault::no_card:
        state.hopper_cards = 0;
        break;
    case SimFault::no_ribbon:
        state.ribbon_loaded = false;
        break;
    case SimFault::cover_open:
        state.cover_open = true;
        break;
    }
}

}  // namespace orvpw::sim
