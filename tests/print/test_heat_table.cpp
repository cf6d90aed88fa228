#include "print/heat_table.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

using namespace heat;

namespace {

// ---- Expected tables, written out row by row ----------------------------------------------------

using Row = std::vector<uint8_t>;

Row Repeat(const Row& part, int times) {
    Row row;
    for (int i = 0; i < times; ++i) row.insert(row.end(), part.begin(), part.end());
    return row;
}

OnTimeTable MakeTable(const Row& colourOnTime, const Row& blackOnTime, const Row& colourPattern,
                      const Row& blackPattern, const Row& overlay, const Row& mono) {
    Row bytes;
    for (int panel = 0; panel < 3; ++panel) {
        bytes.insert(bytes.end(), colourOnTime.begin(), colourOnTime.end());
        bytes.insert(bytes.end(), colourPattern.begin(), colourPattern.end());
    }
    bytes.insert(bytes.end(), blackOnTime.begin(), blackOnTime.end());
    bytes.insert(bytes.end(), blackPattern.begin(), blackPattern.end());
    bytes.insert(bytes.end(), overlay.begin(), overlay.end());
    bytes.insert(bytes.end(), mono.begin(), mono.end());
    OnTimeTable table{};
    EXPECT_EQ(bytes.size(), table.size());
    std::copy_n(bytes.begin(), std::min(bytes.size(), table.size()), table.begin());
    return table;
}

const Row kOverlay = {60, 30, 10, 20, 30, 10, 10, 16, 4, 2, 2};
const Row kColourOnTimeA = {80, 80, 63, 63, 63, 63, 43, 43, 43, 32, 32, 32, 16, 8, 4, 2,
                            2,  4,  8,  16, 32, 32, 32, 42, 42, 42, 64, 64, 64, 64, 80, 80};
const Row kColourPatternA = {8, 8, 7, 7, 7, 7, 6, 6, 6, 5, 5, 4, 3, 2, 1, 0,
                             0, 1, 2, 3, 4, 5, 5, 6, 6, 6, 7, 7, 7, 7, 8, 8};
const Row kColourOnTimeB = Repeat({18, 36, 36, 48, 48, 72, 72, 80, 80, 3, 5, 9, 36, 48, 72, 72}, 2);
const Row kColourPatternB = Repeat({3, 4, 5, 6, 6, 7, 7, 8, 8, 0, 1, 2, 5, 6, 7, 7}, 2);

OnTimeTable ExpectedSetA() {
    return MakeTable(kColourOnTimeA, Repeat({50, 67}, 16), kColourPatternA,
                     Repeat({8, 7, 7, 6, 6, 5, 4, 3, 7, 8, 7, 6, 5, 3, 3, 3}, 2), kOverlay,
                     {40, 40, 40, 40, 80, 80, 80, 80, 4, 2, 2});
}
OnTimeTable ExpectedSetB() {
    return MakeTable(kColourOnTimeB, Repeat({36, 48}, 16), kColourPatternB, kColourPatternB,
                     kOverlay, {80, 40, 80, 40, 80, 40, 80, 40, 4, 2, 2});
}
OnTimeTable ExpectedSetC() {
    return MakeTable(kColourOnTimeB, Repeat({50, 67}, 16), kColourPatternB, kColourPatternB,
                     kOverlay, {40, 40, 40, 40, 80, 80, 80, 80, 4, 2, 2});
}

// ---- A real tone file in a folder of its own ------------------------------------------------------

class ToneFile {
public:
    ToneFile() {
        const char* home = std::getenv("ORVPW_HOME");
        std::filesystem::path base = home ? home : std::filesystem::temp_directory_path();
        std::random_device random;
        folder_ = base / ("heat_table_" + std::to_string(random()));
        std::filesystem::create_directories(folder_);
        path_ = (folder_ / "orvprt.ini").string();
    }
    ~ToneFile() {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    void Write(const std::string& contents) const {
        std::ofstream out(path_, std::ios::binary | std::ios::trunc);
        out << contents;
    }
    const std::string& path() const { return path_; }

private:
    std::filesystem::path folder_;
    std::string path_;
};

// A section with every heat-table key, all values distinct from the built-in sets.
const char* kFullSection =
    "[7]\n"
    "Yv1=1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16\n"
    "Yv2=17,18,19,20,21,22,23,24,25,26,27,28,29,30,31,32\n"
    "Yb1=0123456789012345\n"
    "Yb2=5432109876543210\n"
    "Mv1=101,102,103,104,105,106,107,108,109,110,111,112,113,114,115,116\n"
    "Mv2=117,118,119,120,121,122,123,124,125,126,127,128,129,130,131,132\n"
    "Mb1=1111111111111111\n"
    "Mb2=2222222222222222\n"
    "cv1=201,202,203,204,205,206,207,208,209,210,211,212,213,214,215,216\n"
    "CV2=217,218,219,220,221,222,223,224,225,226,227,228,229,230,231,232\n"
    "Cb1=3333333333333333\n"
    "Cb2=4444444444444444\n"
    "Kv1= 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9\n"
    "Kv2=8,8,8,8,8,8,8,8,8,8,8,8,8,8,8,8\n"
    "Kb1=5555555555555555\n"
    "Kb2=6666666666666666\n"
    "Ov=11,12,13,14,15,16,17,18\n"
    "Ob=321\n"
    "Bv=21,22,23,24,25,26,27,28\n"
    "Bb=123\n";

Row Range(int first, int count) {
    Row row;
    for (int i = 0; i < count; ++i) row.push_back(static_cast<uint8_t>(first + i));
    return row;
}
Row Digits(const std::string& text) {
    Row row;
    for (char c : text) row.push_back(static_cast<uint8_t>(c - '0'));
    return row;
}
Row Concat(const Row& a, const Row& b) {
    Row row = a;
    row.insert(row.end(), b.begin(), b.end());
    return row;
}

OnTimeTable ExpectedFullSection() {
    Row bytes;
    auto add = [&](const Row& r) { bytes.insert(bytes.end(), r.begin(), r.end()); };
    add(Range(1, 32));
    add(Digits("01234567890123455432109876543210"));
    add(Range(101, 32));
    add(Concat(Row(16, 1), Row(16, 2)));
    add(Range(201, 32));
    add(Concat(Row(16, 3), Row(16, 4)));
    add(Concat(Row(16, 9), Row(16, 8)));
    add(Concat(Row(16, 5), Row(16, 6)));
    add({11, 12, 13, 14, 15, 16, 17, 18, 3, 2, 1});
    add({21, 22, 23, 24, 25, 26, 27, 28, 1, 2, 3});
    OnTimeTable table{};
    EXPECT_EQ(bytes.size(), table.size());
    std::copy_n(bytes.begin(), std::min(bytes.size(), table.size()), table.begin());
    return table;
}

// ---- A scripted exchange that records what it was given -----------------------------------------

struct SentCommand {
    HeatCommand command;
    Row data;
};

struct FakeExchange {
    std::vector<SentCommand> sent;
    std::vector<int> statuses;        // per call, 0 when the script runs out
    std::vector<Row> answers;         // per call, empty when the script runs out

    HeatExchange Callback() {
        return [this](const HeatCommand& command, std::vector<uint8_t>& answer) {
            const size_t call = sent.size();
            SentCommand record{command, {}};
            if (command.data && command.length > 0)
                record.data.assign(command.data, command.data + command.length);
            record.command.data = nullptr;  // the pointer does not outlive the call
            sent.push_back(record);
            answer = call < answers.size() ? answers[call] : Row{};
            return call < statuses.size() ? statuses[call] : 0;
        };
    }
};

Row TableBytes(const OnTimeTable& table) { return Row(table.begin(), table.end()); }

HeatContext NewPrinter(int firmware, const std::string& toneFile = "/nonexistent/orvprt.ini",
                       int toneSet = 0) {
    HeatContext context;
    context.newCommandSet = true;
    context.firmwareVersion = firmware;
    context.toneFilePath = toneFile;
    context.toneSetNumber = toneSet;
    return context;
}

}  // namespace

// ---- Built-in tables --------------------------------------------------------------------------------

TEST(HeatBuiltInTables, EachSetIsByteExact) {
    EXPECT_EQ(BuiltInOnTimeTable(OnTimeDefaultSet::A), ExpectedSetA());
    EXPECT_EQ(BuiltInOnTimeTable(OnTimeDefaultSet::B), ExpectedSetB());
    EXPECT_EQ(BuiltInOnTimeTable(OnTimeDefaultSet::C), ExpectedSetC());
    // Set B's mono row, the row that sets it apart besides K.
    const OnTimeTable b = BuiltInOnTimeTable(OnTimeDefaultSet::B);
    EXPECT_EQ(Row(b.begin() + kMonoRowOffset, b.end()),
              (Row{80, 40, 80, 40, 80, 40, 80, 40, 4, 2, 2}));
}

TEST(HeatBuiltInTables, SelectionByOntimeDataAndFirmware) {
    struct Case {
        int ontimeData;
        int firmware;
        OnTimeDefaultSet expected;
    };
    const Case cases[] = {
        {1, 100, OnTimeDefaultSet::A}, {1, 400, OnTimeDefaultSet::A},
        {0, -1, OnTimeDefaultSet::B},  {0, 233, OnTimeDefaultSet::B},
        {0, 234, OnTimeDefaultSet::C}, {2, 407, OnTimeDefaultSet::C},
        {-3, 120, OnTimeDefaultSet::B},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SelectDefaultOnTimeSet(c.ontimeData, c.firmware), c.expected)
            << "ontimeData " << c.ontimeData << " firmware " << c.firmware;
}

// ---- Tone-file sections ----------------------------------------------------------------------------

TEST(HeatToneSection, FullSectionGivesByteExactTable) {
    ToneFile file;
    file.Write(std::string("[6]\nKb2=0000000000000000\n") + kFullSection + "[8]\nYv1=0\n");
    OnTimeTable table = BuiltInOnTimeTable(OnTimeDefaultSet::B);
    EXPECT_EQ(KD_GetOnTimeTable(file.path(), 7, BuiltInOnTimeTable(OnTimeDefaultSet::B), table),
              kOnTimeTableSize);
    EXPECT_EQ(table, ExpectedFullSection());
}

TEST(HeatToneSection, WithoutKb2TheSectionIsIgnored) {
    std::string withoutMarker = kFullSection;
    withoutMarker.replace(withoutMarker.find("Kb2=6666666666666666\n"), 21, "");
    const struct {
        const char* name;
        std::string contents;
    } cases[] = {
        {"no Kb2 key", withoutMarker},
        {"empty Kb2", withoutMarker + "Kb2=\n"},
        {"Kb2 in another section", withoutMarker + "[9]\nKb2=1111111111111111\n"},
        {"no such section", "[70]\nKb2=1111111111111111\n"},
    };
    for (const auto& c : cases) {
        ToneFile file;
        file.Write(c.contents);
        const OnTimeTable untouched = BuiltInOnTimeTable(OnTimeDefaultSet::C);
        OnTimeTable table = untouched;
        EXPECT_EQ(KD_GetOnTimeTable(file.path(), 7, BuiltInOnTimeTable(OnTimeDefaultSet::A), table), 0)
            << c.name;
        EXPECT_EQ(table, untouched) << c.name;
    }
    OnTimeTable table = ExpectedSetB();
    EXPECT_EQ(KD_GetOnTimeTable("/nonexistent/folder/orvprt.ini", 7, ExpectedSetA(), table), 0);
    EXPECT_EQ(table, ExpectedSetB());
}

TEST(HeatToneSection, MissingKeysKeepTheBaseValues) {
    ToneFile file;
    file.Write("[202]\nKb2=9999999999999999\nMv1=1,2,3\nBb=0\n");
    OnTimeTable table{};
    ASSERT_EQ(KD_GetOnTimeTable(file.path(), 202, ExpectedSetA(), table), kOnTimeTableSize);
    OnTimeTable expected = ExpectedSetA();
    expected[64] = 1;
    expected[65] = 2;
    expected[66] = 3;
    std::fill(expected.begin() + 240, expected.begin() + 256, 9);
    expected[kMonoRowOffset + 8] = 0;
    EXPECT_EQ(table, expected);
}

TEST(HeatToneSection, OverlongValuesNeverSpillIntoTheNextRow) {
    ToneFile file;
    file.Write(
        "[3]\n"
        "Yv1=200,200,200,200,200,200,200,200,200,200,200,200,200,200,200,200,201,202,203\n"
        "Yb2=77777777777777777777777\n"
        "Kb2=11111111111111112222\n"
        "Ov=1,2,3,4,5,6,7,8,9,10,11\n"
        "Bb=87654321\n");
    const OnTimeTable base = ExpectedSetC();
    OnTimeTable table{};
    ASSERT_EQ(KD_GetOnTimeTable(file.path(), 3, base, table), kOnTimeTableSize);
    OnTimeTable expected = base;
    std::fill(expected.begin(), expected.begin() + 16, 200);       // Yv2 positions untouched
    std::fill(expected.begin() + 48, expected.begin() + 64, 7);    // Mv1 untouched
    std::fill(expected.begin() + 240, expected.begin() + 256, 1);  // overlay row untouched
    for (int i = 0; i < 8; ++i) expected[kOverlayRowOffset + i] = static_cast<uint8_t>(i + 1);
    expected[kMonoRowOffset + 8] = 8;
    expected[kMonoRowOffset + 9] = 7;
    expected[kMonoRowOffset + 10] = 6;
    EXPECT_EQ(table, expected);
}

TEST(HeatToneSection, OnTimeValueParsing) {
    struct Case {
        const char* text;
        int count;
        Row expected;  // entries written, in order
    };
    const Case cases[] = {
        {"1,2,3", 16, {1, 2, 3}},
        {" 7 , 8 ,9 ", 16, {7, 8, 9}},
        {"300,-5,abc,12x4,255,256", 16, {255, 0, 0, 12, 255, 255}},
        {"99999999999999999999999,1", 16, {255, 1}},
        {",,4,,5,", 16, {4, 5}},
        {"1,2,3,4,5,6,7,8,9,10", 8, {1, 2, 3, 4, 5, 6, 7, 8}},
        {"", 16, {}},
        {",,,", 16, {}},
    };
    for (const Case& c : cases) {
        Row buffer(c.count + 4, 0xEE);  // guard bytes after the row
        const int written = ParseOnTimeValues(c.text, buffer.data(), c.count);
        ASSERT_EQ(written, static_cast<int>(c.expected.size())) << c.text;
        EXPECT_EQ(Row(buffer.begin(), buffer.begin() + written), c.expected) << c.text;
        for (size_t i = written; i < buffer.size(); ++i) EXPECT_EQ(buffer[i], 0xEE) << c.text;
    }
}

TEST(HeatToneSection, DigitEntryParsing) {
    struct Case {
        const char* text;
        int count;
        Row expected;  // the whole row after parsing, 0xEE where nothing was written
    };
    const Case cases[] = {
        {"0123", 4, {0, 1, 2, 3}},
        {"98765", 3, {9, 8, 7}},
        {"4a-6", 4, {4, 0xEE, 0xEE, 6}},
        {"12", 4, {1, 2, 0xEE, 0xEE}},
        {"", 3, {0xEE, 0xEE, 0xEE}},
    };
    for (const Case& c : cases) {
        Row buffer(c.count + 4, 0xEE);
        ParseDigitEntries(c.text, buffer.data(), c.count);
        EXPECT_EQ(Row(buffer.begin(), buffer.begin() + c.count), c.expected) << c.text;
        for (size_t i = c.count; i < buffer.size(); ++i) EXPECT_EQ(buffer[i], 0xEE) << c.text;
    }
}

// ---- Pulse coding ------------------------------------------------------------------------------------

TEST(HeatPulseCoding, MonoPulseByteFromSplitValues) {
    struct Case {
        PulseSplit split;
        uint8_t expected;
    };
    const Case cases[] = {
        {{4, 2, 2}, 0xFF}, {{0, 0, 0}, 0x00}, {{1, 1, 1}, 0x07}, {{3, 0, 1}, 0x0F},
        {{2, 3, 3}, 0xFF}, {{8, 0, 0}, 0xFF}, {{0, 0, 5}, 0x1F}, {{2, 1, 0}, 0x07},
        // Out-of-range digits from a tone file are bounded, never shifted past the byte.
        {{9, 9, 9}, 0xFF}, {{9, 0, 0}, 0xFF}, {{0, 9, 0}, 0xFF}, {{200, 200, 200}, 0xFF},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MonoPulseByte(c.split), c.expected)
            << int(c.split.e0) << "," << int(c.split.e1) << "," << int(c.split.e2);
    EXPECT_EQ(MonoPulseByteWithLeading({4, 2, 2}, 0xD0), 0xDF);
    EXPECT_EQ(PulseMask(0), 0x00);
    EXPECT_EQ(PulseMask(3), 0x07);
    EXPECT_EQ(PulseMask(8), 0xFF);
    EXPECT_EQ(PulseMask(12), 0xFF);
    EXPECT_EQ(PulseMask(-1), 0x00);
}

TEST(HeatPulseCoding, ColourPulseWordFollowsThePatternRow) {
    const OnTimeTable a = ExpectedSetA();
    const uint8_t* pattern = a.data() + PatternRowOffset(HeatPanel::Y);
    EXPECT_EQ(ColourPulseWord(pattern, 0x00), 0u);           // 0 stays 0 despite "always on"
    EXPECT_EQ(ColourPulseWord(pattern, 0xFF), 0xFFFFFFFFu);
    // Bit 0x01: slots 15 and 16 plus the always-on slots 0, 1, 30, 31.
    EXPECT_EQ(ColourPulseWord(pattern, 0x01), 0xC0018003u);
    // Bit 0x80: slots 2..5 and 26..29, plus the always-on slots.
    EXPECT_EQ(ColourPulseWord(pattern, 0x80), 0xFC00003Fu);

    uint8_t never[kSlotsPerRow];
    std::fill(std::begin(never), std::end(never), 9);
    never[31] = 200;
    EXPECT_EQ(ColourPulseWord(never, 0xFF), 0u);

    const auto words = ColourPulseWords(pattern);
    for (int dot = 0; dot < 256; ++dot)
        ASSERT_EQ(words[dot], ColourPulseWord(pattern, static_cast<uint8_t>(dot))) << dot;
}

TEST(HeatPulseCoding, StateExposesTheInstalledRows) {
    HeatTableState state;
    EXPECT_EQ(state.installed, ExpectedSetB());
    state.Install(ExpectedFullSection());
    EXPECT_EQ(state.OnTimeRow(HeatPanel::M)[0], 101);
    EXPECT_EQ(state.PatternRow(HeatPanel::Y)[31], 0);
    EXPECT_EQ(state.PatternRow(HeatPanel::K)[16], 6);
    const PulseSplit overlay = state.OverlaySplit();
    const PulseSplit mono = state.MonoSplit();
    EXPECT_EQ((Row{overlay.e0, overlay.e1, overlay.e2}), (Row{3, 2, 1}));
    EXPECT_EQ((Row{mono.e0, mono.e1, mono.e2}), (Row{1, 2, 3}));
    EXPECT_EQ(state.SplitForColourIndex(4).e0, 3);
    EXPECT_EQ(state.SplitForColourIndex(5).e0, 1);
    EXPECT_EQ(state.SplitForColourIndex(6).e0, 1);
}

// ---- On-time ratio ------------------------------------------------------------------------------------

TEST(HeatOnTimeRatio, ClampsAndFirmwareGate) {
    EXPECT_EQ(ClampOnTimeRatio(5, 150, 50, 20), (OnTimeRatio{10, 100, 50, 40}));
    EXPECT_EQ(ClampOnTimeRatio(10, 100, -7, 999), (OnTimeRatio{10, 100, 10, 200}));

    HeatContext old;
    old.firmwareVersion = 136;
    FakeExchange below;
    EXPECT_EQ(KD_SetOntimeRatio(old, 5, 150, 50, 20, below.Callback()), 20);
    EXPECT_TRUE(below.sent.empty());

    old.firmwareVersion = 137;
    FakeExchange at;
    at.statuses = {0};
    EXPECT_EQ(KD_SetOntimeRatio(old, 5, 150, 50, 20, at.Callback()), 0);
    ASSERT_EQ(at.sent.size(), 1u);
    const HeatCommand& sent = at.sent[0].command;
    EXPECT_EQ(sent.commandId, kCmdOnTimeRatio);
    EXPECT_EQ((std::vector<int>{sent.p1, sent.p2, sent.p3, sent.p4}), (std::vector<int>{10, 100, 50, 40}));
    EXPECT_EQ(sent.timeoutUs, 3000000);
    EXPECT_EQ(sent.length, 0);

    FakeExchange failing;
    failing.statuses = {4};
    EXPECT_EQ(KD_SetOntimeRatio(old, 50, 50, 50, 100, failing.Callback()), 4);
}

TEST(HeatOnTimeRatio, AutomaticRatioBeforeEachPanel) {
    struct Case {
        int ribbon;
        int panel;
        OnTimeRatio expected;
    };
    const OnTimeRatio standard{40, 30, 30, 100};
    const Case cases[] = {
        {0, 0x01, standard}, {0, 0x10, standard}, {0, 0x08, {38, 32, 30, 100}},
        {0, 0x20, {30, 35, 35, 100}}, {2, 0x08, {38, 32, 30, 100}}, {1, 0x20, {30, 35, 35, 100}},
        {4, 0x20, standard}, {6, 0x08, standard}, {8, 0x40, standard}, {11, 0x20, standard},
        {12, 0x20, standard}, {14, 0x08, standard}, {15, 0x20, standard},
    };
    for (const Case& c : cases)
        EXPECT_EQ(AutoOnTimeRatio(c.ribbon, c.panel), c.expected)
            << "ribbon " << c.ribbon << " panel " << c.panel;

    HeatContext context;
    context.firmwareVersion = 136;
    FakeExchange none;
    EXPECT_EQ(KD_SetAutoOnTimeRatio(context, 0, 0x08, none.Callback()), 0);
    context.firmwareVersion = 300;
    context.newCommandSet = true;
    EXPECT_EQ(KD_SetAutoOnTimeRatio(context, 0, 0x08, none.Callback()), 0);
    EXPECT_TRUE(none.sent.empty());

    context.newCommandSet = false;
    context.firmwareVersion = 137;
    FakeExchange sends;
    EXPECT_EQ(KD_SetAutoOnTimeRatio(context, 0, 0x08, sends.Callback()), 0);
    ASSERT_EQ(sends.sent.size(), 1u);
    EXPECT_EQ(sends.sent[0].command.commandId, kCmdOnTimeRatio);
    EXPECT_EQ((std::vector<int>{sends.sent[0].command.p1, sends.sent[0].command.p2,
                                sends.sent[0].command.p3, sends.sent[0].command.p4}),
              (std::vector<int>{38, 32, 30, 100}));
}

// ---- Sending tables ----------------------------------------------------------------------------------

TEST(HeatSendTable, BuiltInTableAtOpenFollowsFirmware) {
    const struct {
        int firmware;
        int ontimeData;
        OnTimeTable expected;
    } cases[] = {{233, 0, ExpectedSetB()}, {407, 0, ExpectedSetC()}, {407, 1, ExpectedSetA()}};
    for (const auto& c : cases) {
        HeatTableState state;
        state.ontimeData = c.ontimeData;
        FakeExchange exchange;
        EXPECT_EQ(KD_SendOnTimeTable(state, NewPrinter(c.firmware), exchange.Callback()), 0);
        ASSERT_EQ(exchange.sent.size(), 1u);
        EXPECT_EQ(exchange.sent[0].command.commandId, kCmdSetOnTimeTable);
        EXPECT_EQ(exchange.sent[0].command.timeoutUs, 3000000);
        EXPECT_EQ(exchange.sent[0].data, TableBytes(c.expected));
        EXPECT_EQ(state.installed, c.expected);
    }
}

TEST(HeatSendTable, SetOnTimeTableSources) {
    ToneFile file;
    file.Write(kFullSection);

    {  // older command set: refused, nothing sent
        HeatContext context = NewPrinter(300, file.path());
        context.newCommandSet = false;
        HeatTableState state;
        FakeExchange exchange;
        EXPECT_EQ(KDN_SetOnTimeTable(state, context, 7, nullptr, 0, exchange.Callback()), 20);
        EXPECT_TRUE(exchange.sent.empty());
    }
    {  // caller's bytes are sent as given and do not replace the installed rows
        HeatTableState state;
        const uint8_t bytes[] = {1, 2, 3, 4, 5};
        FakeExchange exchange;
        EXPECT_EQ(KDN_SetOnTimeTable(state, NewPrinter(300, file.path()), 7, bytes, 5,
                                     exchange.Callback()),
                  0);
        ASSERT_EQ(exchange.sent.size(), 1u);
        EXPECT_EQ(exchange.sent[0].command.commandId, kCmdSetOnTimeTable);
        EXPECT_EQ(exchange.sent[0].data, (Row{1, 2, 3, 4, 5}));
        EXPECT_EQ(state.installed, ExpectedSetB());
    }
    {  // a size without data is refused rather than read through a null pointer
        HeatTableState state;
        FakeExchange exchange;
        EXPECT_EQ(KDN_SetOnTimeTable(state, NewPrinter(300, file.path()), 7, nullptr, 278,
                                     exchange.Callback()),
                  21);
        EXPECT_TRUE(exchange.sent.empty());
    }
    {  // section found: installed and sent
        HeatTableState state;
        FakeExchange exchange;
        EXPECT_EQ(KDN_SetOnTimeTable(state, NewPrinter(300, file.path()), 7, nullptr, 0,
                                     exchange.Callback()),
                  0);
        ASSERT_EQ(exchange.sent.size(), 1u);
        EXPECT_EQ(exchange.sent[0].data, TableBytes(ExpectedFullSection()));
        EXPECT_EQ(state.installed, ExpectedFullSection());
    }
    {  // section missing: the built-in table of the firmware, failure status passed on
        HeatTableState state;
        state.Install(ExpectedFullSection());
        FakeExchange exchange;
        exchange.statuses = {1003};
        EXPECT_EQ(KDN_SetOnTimeTable(state, NewPrinter(300, file.path()), 8, nullptr, -1,
                                     exchange.Callback()),
                  1003);
        ASSERT_EQ(exchange.sent.size(), 1u);
        EXPECT_EQ(exchange.sent[0].data, TableBytes(ExpectedSetC()));
        EXPECT_EQ(state.installed, ExpectedSetC());
    }
}

TEST(HeatStartOfPrinting, OntimeDataDecidesWhichTableIsSent) {
    ToneFile file;
    file.Write(std::string(kFullSection) + "[202]\nKb2=0000000000000000\n");
    OnTimeTable section202 = ExpectedSetA();
    std::fill(section202.begin() + 240, section202.begin() + 256, 0);

    struct Case {
        const char* name;
        int previousOntimeData;
        Row sopAnswer;
        bool withToneFile;
        int expectedOntimeData;
        bool tableSent;
        OnTimeTable expectedTable;
    };
    const Case cases[] = {
        {"type 1, section 202 in the file", 0, {'1'}, true, 1, true, section202},
        {"type 1, no tone file: set A", 0, {'1', 'x'}, false, 1, true, ExpectedSetA()},
        {"type 1 again: sent again", 1, {'1'}, true, 1, true, section202},
        {"back to 0: the tone set's section", 1, {'0'}, true, 0, true, ExpectedFullSection()},
        {"no data after nonzero: reset, built-in", 2, {}, false, 0, true, ExpectedSetC()},
        {"stays 0: nothing sent", 0, {'0'}, true, 0, false, ExpectedSetB()},
        {"no data and 0: nothing sent", 0, {}, true, 0, false, ExpectedSetB()},
        {"type 2: nothing sent", 0, {'2'}, true, 2, false, ExpectedSetB()},
    };
    for (const Case& c : cases) {
        HeatTableState state;
        state.ontimeData = c.previousOntimeData;
        FakeExchange exchange;
        exchange.answers = {c.sopAnswer};
        int rewrite = -1;
        int pass = -1;
        const HeatContext context =
            NewPrinter(300, c.withToneFile ? file.path() : "/nonexistent/orvprt.ini", 7);
        EXPECT_EQ(KDN_StartOfPrinting(state, context, 0, rewrite, pass, exchange.Callback()), 0)
            << c.name;
        EXPECT_EQ(state.ontimeData, c.expectedOntimeData) << c.name;
        ASSERT_EQ(exchange.sent.size(), c.tableSent ? 2u : 1u) << c.name;
        EXPECT_EQ(exchange.sent[0].command.commandId, kCmdStartOfPrinting) << c.name;
        EXPECT_EQ(exchange.sent[0].command.timeoutUs, 13000000) << c.name;
        if (c.tableSent) {
            EXPECT_EQ(exchange.sent[1].command.commandId, kCmdSetOnTimeTable) << c.name;
            EXPECT_EQ(exchange.sent[1].data, TableBytes(c.expectedTable)) << c.name;
        }
        EXPECT_EQ(state.installed, c.expectedTable) << c.name;
    }
}

TEST(HeatStartOfPrinting, RewriteOptionPassModeAndFailures) {
    const struct {
        int p1;
        int expectedPass;
    } modes[] = {{0, 1}, {1, 3}, {2, 7}, {3, 7}};
    for (const auto& m : modes) {
        HeatTableState state;
        FakeExchange exchange;
        int rewrite = -1;
        int pass = 7;
        EXPECT_EQ(KDN_StartOfPrinting(state, NewPrinter(300), m.p1, rewrite, pass,
                                      exchange.Callback()),
                  0);
        EXPECT_EQ(rewrite, m.p1);
        EXPECT_EQ(pass, m.expectedPass) << m.p1;
        ASSERT_EQ(exchange.sent.size(), 1u);
        EXPECT_EQ(exchange.sent[0].command.p1, m.p1);
    }
    {  // older command set: success, nothing sent or changed
        HeatTableState state;
        HeatContext context = NewPrinter(300);
        context.newCommandSet = false;
        FakeExchange exchange;
        int rewrite = -1;
        int pass = -1;
        EXPECT_EQ(KDN_StartOfPrinting(state, context, 1, rewrite, pass, exchange.Callback()), 0);
        EXPECT_TRUE(exchange.sent.empty());
        EXPECT_EQ(rewrite, -1);
        EXPECT_EQ(pass, -1);
    }
    {  // start command fails: its status, no table, on-time data kept
        HeatTableState state;
        state.ontimeData = 1;
        FakeExchange exchange;
        exchange.statuses = {4};
        int rewrite = 0;
        int pass = 0;
        EXPECT_EQ(KDN_StartOfPrinting(state, NewPrinter(300), 0, rewrite, pass,
                                      exchange.Callback()),
                  4);
        EXPECT_EQ(exchange.sent.size(), 1u);
        EXPECT_EQ(state.ontimeData, 1);
    }
    {  // table send fails: that status is returned
        HeatTableState state;
        FakeExchange exchange;
        exchange.answers = {{'1'}};
        exchange.statuses = {0, 5};
        int rewrite = 0;
        int pass = 0;
        EXPECT_EQ(KDN_StartOfPrinting(state, NewPrinter(300), 0, rewrite, pass,
                                      exchange.Callback()),
                  5);
        EXPECT_EQ(exchange.sent.size(), 2u);
    }
}
