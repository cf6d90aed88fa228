#include "print/heat_table.h"

#include <algorithm>
#include <cstring>

#include "diag/log.h"
#include "platform/profile_file.h"

namespace heat {
namespace {

constexpr int kStatusCommandNotValid = 20;
constexpr int kStatusParameterNotValid = 21;

using Row32 = std::array<uint8_t, kSlotsPerRow>;
using ShortRow = std::array<uint8_t, kShortRowSize>;

// A row of 32 given as its first 16 values, repeated.
constexpr Row32 Twice(const std::array<uint8_t, 16>& half) {
    Row32 row{};
    for (int i = 0; i < 16; ++i) {
        row[i] = half[i];
        row[i + 16] = half[i];
    }
    return row;
}

constexpr Row32 Alternating(uint8_t even, uint8_t odd) {
    Row32 row{};
    for (int i = 0; i < kSlotsPerRow; ++i) row[i] = (i % 2 == 0) ? even : odd;
    return row;
}

constexpr Row32 kOnTimeColourA = {80, 80, 63, 63, 63, 63, 43, 43, 43, 32, 32, 32, 16, 8, 4, 2,
                                  2,  4,  8,  16, 32, 32, 32, 42, 42, 42, 64, 64, 64, 64, 80, 80};
constexpr Row32 kPatternColourA = {8, 8, 7, 7, 7, 7, 6, 6, 6, 5, 5, 4, 3, 2, 1, 0,
                                   0, 1, 2, 3, 4, 5, 5, 6, 6, 6, 7, 7, 7, 7, 8, 8};
constexpr Row32 kPatternBlackA = Twice({8, 7, 7, 6, 6, 5, 4, 3, 7, 8, 7, 6, 5, 3, 3, 3});
constexpr Row32 kOnTimeColourB = Twice({18, 36, 36, 48, 48, 72, 72, 80, 80, 3, 5, 9, 36, 48, 72, 72});
constexpr Row32 kPatternColourB = Twice({3, 4, 5, 6, 6, 7, 7, 8, 8, 0, 1, 2, 5, 6, 7, 7});
constexpr Row32 kOnTimeBlack5067 = Alternating(50, 67);
constexpr Row32 kOnTimeBlack3648 = Alternating(36, 48);
constexpr ShortRow kOverlayRow = {60, 30, 10, 20, 30, 10, 10, 16, 4, 2, 2};
constexpr ShortRow kMonoRowA = {40, 40, 40, 40, 80, 80, 80, 80, 4, 2, 2};
constexpr ShortRow kMonoRowB = {80, 40, 80, 40, 80, 40, 80, 40, 4, 2, 2};

template <size_t N>
void PutRow(OnTimeTable& table, int offset, const std::array<uint8_t, N>& row) {
    std::copy(row.begin(), row.end(), table.begin() + offset);
}

OnTimeTable AssembleTable(const Row32& colourOnTime, const Row32& blackOnTime,
                          const Row32& colourPattern, const Row32& blackPattern,
                          const ShortRow& monoRow) {
    OnTimeTable table{};
    for (HeatPanel panel : {HeatPanel::Y, HeatPanel::M, HeatPanel::C}) {
        PutRow(table, OnTimeRowOffset(panel), colourOnTime);
        PutRow(table, PatternRowOffset(panel), colourPattern);
    }
    PutRow(table, OnTimeRowOffset(HeatPanel::K), blackOnTime);
    PutRow(table, PatternRowOffset(HeatPanel::K), blackPattern);
    PutRow(table, kOverlayRowOffset, kOverlayRow);
    PutRow(table, kMonoRowOffset, monoRow);
    return table;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Decimal conversion of one piece like the C library's: leading blanks, an optional sign,
// then digits up to the first other character; no digits gives 0. Saturates instead of
// overflowing, then clamps to one byte.
uint8_t PieceToByte(const char* begin, const char* end) {
    const char* p = begin;
    while (p < end && IsBlank(*p)) ++p;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) {
        negative = (*p == '-');
        ++p;
    }
    long value = 0;
    for (; p < end && *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 + (*p - '0');
        if (value > 255) value = 256;  // saturate: anything above 255 clamps to 255 anyway
    }
    if (negative || value == 0) return 0;
    return static_cast<uint8_t>(std::min<long>(value, 255));
}

// Keys and the table positions they fill.
struct ValueKey {
    const char* name;
    int offset;
    int count;
};

constexpr ValueKey kOnTimeKeys[] = {
    {"Yv1", 0, 16},   {"Yv2", 16, 16},  {"Mv1", 64, 16},  {"Mv2", 80, 16},
    {"Cv1", 128, 16}, {"Cv2", 144, 16}, {"Kv1", 192, 16}, {"Kv2", 208, 16},
    {"Ov", kOverlayRowOffset, kShortRowOnTimes}, {"Bv", kMonoRowOffset, kShortRowOnTimes},
};

constexpr ValueKey kDigitKeys[] = {
    {"Yb1", 32, 16},  {"Yb2", 48, 16},  {"Mb1", 96, 16},  {"Mb2", 112, 16},
    {"Cb1", 160, 16}, {"Cb2", 176, 16}, {"Kb1", 224, 16}, {"Kb2", 240, 16},
    {"Ob", kOverlayRowOffset + kShortRowOnTimes, 3}, {"Bb", kMonoRowOffset + kShortRowOnTimes, 3},
};

constexpr const char* kTableMarkerKey = "Kb2";

PulseSplit SplitAt(const OnTimeTable& table, int rowOffset) {
    const int at = rowOffset + kShortRowOnTimes;
    return PulseSplit{table[at], table[at + 1], table[at + 2]};
}

// Loads `section` into a copy of `base`, installs the result and logs which source won.
// Returns the loader's size (278 found, 0 built-in).
int LoadSectionOrBuiltIn(HeatTableState& state, const HeatContext& context, int section,
                         const OnTimeTable& builtIn) {
    OnTimeTable table = builtIn;
    const int size = KD_GetOnTimeTable(context.toneFilePath, section, builtIn, table);
    state.Install(table);
    return size;
}

int SendInstalledTable(const HeatTableState& state, const HeatExchange& exchange) {
    HeatCommand command;
    command.commandId = kCmdSetOnTimeTable;
    command.data = state.installed.data();
    command.length = kOnTimeTableSize;
    command.timeoutUs = kOnTimeTableTimeoutUs;
    std::vector<uint8_t> answer;
    return exchange(command, answer);
}

int SendRatio(const OnTimeRatio& ratio, const HeatExchange& exchange) {
    HeatCommand command;
    command.commandId = kCmdOnTimeRatio;
    command.p1 = ratio.mono1;
    command.p2 = ratio.mono2;
    command.p3 = ratio.mono3;
    command.p4 = ratio.colour;
    command.timeoutUs = kOnTimeRatioTimeoutUs;
    std::vector<uint8_t> answer;
    return exchange(command, answer);
}

}  // namespace

// ---- Built-in tables -----------------------------------------------------------------------

OnTimeDefaultSet SelectDefaultOnTimeSet(int ontimeData, int firmwareVersion) {
    if (ontimeData == 1) return OnTimeDefaultSet::A;
    return firmwareVersion < 234 ? OnTimeDefaultSet::B : OnTimeDefaultSet::C;
}

OnTimeTable BuiltInOnTimeTable(OnTimeDefaultSet set) {
    switch (set) {
        case OnTimeDefaultSet::A:
            return AssembleTable(kOnTimeColourA, kOnTimeBlack5067, kPatternColourA, kPatternBlackA,
                                 kMonoRowA);
        case OnTimeDefaultSet::B:
            return AssembleTable(kOnTimeColourB, kOnTimeBlack3648, kPatternColourB, kPatternColourB,
                                 kMonoRowB);
        case OnTimeDefaultSet::C:
            return AssembleTable(kOnTimeColourB, kOnTimeBlack5067, kPatternColourB, kPatternColourB,
                                 kMonoRowA);
    }
    return AssembleTable(kOnTimeColourB, kOnTimeBlack3648, kPatternColourB, kPatternColourB,
                         kMonoRowB);
}

// ---- Tone-file sections ----------------------------------------------------------------------

int ParseOnTimeValues(const std::string& text, uint8_t* row, int count) {
    int written = 0;
    const char* p = text.data();
    const char* end = p + text.size();
    while (p < end && written < count) {
        const char* comma = static_cast<const char*>(std::memchr(p, ',', end - p));
        const char* pieceEnd = comma ? comma : end;
        const char* first = p;
        while (first < pieceEnd && IsBlank(*first)) ++first;
        if (first < pieceEnd) row[written++] = PieceToByte(first, pieceEnd);
        p = comma ? comma + 1 : end;
    }
    return written;
}

int ParseDigitEntries(const std::string& text, uint8_t* row, int count) {
    const int n = std::min<int>(count, static_cast<int>(text.size()));
    int written = 0;
    for (int i = 0; i < n; ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            row[i] = static_cast<uint8_t>(c - '0');
            ++written;
        }
    }
    return written;
}

int KD_GetOnTimeTable(const std::string& toneFilePath, int section, const OnTimeTable& base,
                      OnTimeTable& table) {
    const std::string sectionName = std::to_string(section);
    const std::string marker = plat::ProfileGetString(toneFilePath, sectionName, kTableMarkerKey, "");
    const int markerLength = static_cast<int>(marker.size());
    if (marker.empty()) {
        KD_Log2("rstSize = %d, k = %d, iLen = %d(%d)", 0, 0, markerLength, section);
        return 0;
    }

    OnTimeTable loaded = base;
    int keysFound = 0;
    for (const ValueKey& key : kOnTimeKeys) {
        const std::string value = plat::ProfileGetString(toneFilePath, sectionName, key.name, "");
        if (value.empty()) continue;
        ++keysFound;
        ParseOnTimeValues(value, loaded.data() + key.offset, key.count);
    }
    for (const ValueKey& key : kDigitKeys) {
        const std::string value = plat::ProfileGetString(toneFilePath, sectionName, key.name, "");
        if (value.empty()) continue;
        ++keysFound;
        ParseDigitEntries(value, loaded.data() + key.offset, key.count);
    }
    table = loaded;
    KD_Log2("rstSize = %d, k = %d, iLen = %d(%d)", kOnTimeTableSize, keysFound, markerLength,
            section);
    return kOnTimeTableSize;
}

// ---- Pulse coding ------------------------------------------------------------------------------

uint8_t PulseMask(int n) {
    n = std::clamp(n, 0, 8);
    return static_cast<uint8_t>((1u << n) - 1u);
}

uint8_t MonoPulseByteWithLeading(const PulseSplit& split, uint8_t leading) {
    // Shift counts are bounded like the masks, so a stray 9 in the tone file cannot push a
    // group past the byte or shift by more than the word holds.
    const unsigned e1 = std::min<unsigned>(split.e1, 8);
    const unsigned e2 = std::min<unsigned>(split.e2, 8);
    const unsigned value = static_cast<unsigned>(leading) | (unsigned{PulseMask(e1)} << e2) |
                           PulseMask(e2);
    return static_cast<uint8_t>(value & 0xFF);
}

uint8_t MonoPulseByte(const PulseSplit& split) {
    const unsigned e1 = std::min<unsigned>(split.e1, 8);
    const unsigned e2 = std::min<unsigned>(split.e2, 8);
    const unsigned leading = unsigned{PulseMask(split.e0)} << (e1 + e2);
    return MonoPulseByteWithLeading(split, static_cast<uint8_t>(leading & 0xFF));
}

uint32_t ColourPulseWord(const uint8_t* pattern32, uint8_t dot) {
    if (dot == 0) return 0;
    uint32_t word = 0;
    for (int slot = 0; slot < kSlotsPerRow; ++slot) {
        const uint8_t entry = pattern32[slot];
        const bool on = entry == kPatternAlwaysOn || (entry < 8 && (dot & (1u << entry)) != 0);
        if (on) word |= 1u << (31 - slot);
    }
    return word;
}

std::array<uint32_t, 256> ColourPulseWords(const uint8_t* pattern32) {
    std::array<uint32_t, 256> words{};
    for (int dot = 0; dot < 256; ++dot) words[dot] = ColourPulseWord(pattern32, static_cast<uint8_t>(dot));
    return words;
}

// ---- State ---------------------------------------------------------------------------------------

const uint8_t* HeatTableState::OnTimeRow(HeatPanel panel) const {
    return installed.data() + OnTimeRowOffset(panel);
}

const uint8_t* HeatTableState::PatternRow(HeatPanel panel) const {
    return installed.data() + PatternRowOffset(panel);
}

PulseSplit HeatTableState::OverlaySplit() const { return SplitAt(installed, kOverlayRowOffset); }

PulseSplit HeatTableState::MonoSplit() const { return SplitAt(installed, kMonoRowOffset); }

PulseSplit HeatTableState::SplitForColourIndex(int colourIndex) const {
    return colourIndex == 4 ? OverlaySplit() : MonoSplit();
}

// ---- On-time ratio -------------------------------------------------------------------------------

OnTimeRatio ClampOnTimeRatio(int mono1, int mono2, int mono3, int colour) {
    return OnTimeRatio{std::clamp(mono1, 10, 100), std::clamp(mono2, 10, 100),
                       std::clamp(mono3, 10, 100), std::clamp(colour, 40, 200)};
}

OnTimeRatio AutoOnTimeRatio(int ribbonType, int panelBit) {
    switch (ribbonType) {
        case 4: case 6: case 8: case 11: case 12: case 14: case 15:
            return OnTimeRatio{40, 30, 30, 100};
        default:
            break;
    }
    if (panelBit == 0x08) return OnTimeRatio{38, 32, 30, 100};
    if (panelBit == 0x20) return OnTimeRatio{30, 35, 35, 100};
    return OnTimeRatio{40, 30, 30, 100};
}

// ---- Printer operations --------------------------------------------------------------------------

int KD_SendOnTimeTable(HeatTableState& state, const HeatContext& context,
                       const HeatExchange& exchange) {
    const OnTimeDefaultSet set = SelectDefaultOnTimeSet(state.ontimeData, context.firmwareVersion);
    switch (set) {
        case OnTimeDefaultSet::A: KD_Log2("m_ontime_data new"); break;
        case OnTimeDefaultSet::B: KD_Log2("before ver 234  Bv= 80,40,80,40,80,40,80,40"); break;
        case OnTimeDefaultSet::C: KD_Log2("after ver 234"); break;
    }
    state.Install(BuiltInOnTimeTable(set));
    KD_Log2("SendOnTimeTable - len = %d", kOnTimeTableSize);
    return SendInstalledTable(state, exchange);
}

int KDN_SetOnTimeTable(HeatTableState& state, const HeatContext& context, int section,
                       const uint8_t* data, int size, const HeatExchange& exchange) {
    if (!context.newCommandSet) {
        KD_Log1i("N_SetOnTimeTable - Not Support");
        return kStatusCommandNotValid;
    }
    if (size > 0) {
        if (data == nullptr) return kStatusParameterNotValid;
        KD_Log2("KDN_SetOnTimeTable - Size = %d", size);
        HeatCommand command;
        command.commandId = kCmdSetOnTimeTable;
        command.data = data;
        command.length = size;
        command.timeoutUs = kOnTimeTableTimeoutUs;
        std::vector<uint8_t> answer;
        return exchange(command, answer);
    }
    const OnTimeTable builtIn =
        BuiltInOnTimeTable(SelectDefaultOnTimeSet(state.ontimeData, context.firmwareVersion));
    const int loaded = LoadSectionOrBuiltIn(state, context, section, builtIn);
    KD_Log2("KDN_SetOnTimeTable - GetOnTimeTable Return Size = %d", loaded);
    if (loaded == 0) {
        KD_Log2("NO KD5X_DATA");
        return KD_SendOnTimeTable(state, context, exchange);
    }
    return SendInstalledTable(state, exchange);
}

int KDN_StartOfPrinting(HeatTableState& state, const HeatContext& context, int p1,
                        int& rewriteOption, int& ribbonPass, const HeatExchange& exchange) {
    if (!context.newCommandSet) {
        KD_Log1i("N_StartOfPrinting - Not Support");
        return 0;
    }
    rewriteOption = p1;
    if (p1 == 1) ribbonPass = 3;
    else if (p1 == 0) ribbonPass = 1;

    HeatCommand command;
    command.commandId = kCmdStartOfPrinting;
    command.p1 = p1;
    command.flag = 1;
    command.timeoutUs = kStartOfPrintingTimeoutUs;
    std::vector<uint8_t> answer;
    const int status = exchange(command, answer);
    if (status != 0) return status;

    const int previous = state.ontimeData;
    if (!answer.empty()) {
        state.ontimeData = answer[0] - '0';
        KD_Log2("m_ontime_data = [%d](%02X)(nLen %d)pCmd[%02X][%02X];\t", state.ontimeData,
                answer[0], static_cast<int>(answer.size()), answer[0],
                answer.size() > 1 ? answer[1] : 0);
    } else if (state.ontimeData != 0) {
        KD_Log2("m_ontime_data = [%d](%02X) -> 0", state.ontimeData, state.ontimeData & 0xFF);
        state.ontimeData = 0;
    }

    if (state.ontimeData == 1) {
        const int loaded = LoadSectionOrBuiltIn(state, context, kOntimeDataSection,
                                                BuiltInOnTimeTable(OnTimeDefaultSet::A));
        if (loaded != 0) KD_Log2("send m_ontime_data %d", state.ontimeData);
        else KD_Log2("send NO KD5X_DATA %d", state.ontimeData);
        return SendInstalledTable(state, exchange);
    }
    if (state.ontimeData == 0 && previous != 0) {
        const OnTimeTable builtIn =
            BuiltInOnTimeTable(SelectDefaultOnTimeSet(0, context.firmwareVersion));
        const int loaded = LoadSectionOrBuiltIn(state, context, context.toneSetNumber, builtIn);
        if (loaded == 0) {
            KD_Log2("NO KD5X_DATA");
            return KD_SendOnTimeTable(state, context, exchange);
        }
        return SendInstalledTable(state, exchange);
    }
    KD_Log2("old m_ontime_data (%d)(%d)", state.ontimeData, previous);
    return 0;
}

int KD_SetOntimeRatio(const HeatContext& context, int mono1, int mono2, int mono3, int colour,
                      const HeatExchange& exchange) {
    if (context.firmwareVersion < kMinFirmwareOnTimeRatio) return kStatusCommandNotValid;
    return SendRatio(ClampOnTimeRatio(mono1, mono2, mono3, colour), exchange);
}

int KD_SetAutoOnTimeRatio(const HeatContext& context, int ribbonType, int panelBit,
                          const HeatExchange& exchange) {
    if (context.newCommandSet || context.firmwareVersion < kMinFirmwareOnTimeRatio) return 0;
    const OnTimeRatio ratio = AutoOnTimeRatio(ribbonType, panelBit);
    KD_Log2("Set Ontime Ratio - mono(%d, %d, %d), color(%d)", ratio.mono1, ratio.mono2,
            ratio.mono3, ratio.colour);
    return SendRatio(ratio, exchange);
}

}  // namespace heat
