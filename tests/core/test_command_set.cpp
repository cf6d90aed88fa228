// Byte-exact checks of both command builders, their buffer rule, the command table's
// coverage of IDs 1..266 and the older-form answer classifier.
#include "core/command_set.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <ostream>
#include <set>
#include <string>
#include <vector>

namespace {

std::string toHex(const uint8_t* bytes, size_t size) {
    std::string hex;
    char cell[4];
    for (size_t i = 0; i < size; ++i) {
        std::snprintf(cell, sizeof(cell), i == 0 ? "%02X" : " %02X", bytes[i]);
        hex += cell;
    }
    return hex;
}

std::string toHex(const std::string& bytes) {
    return toHex(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

std::vector<uint8_t> asBytes(const std::string& s) { return {s.begin(), s.end()}; }

constexpr int kAbsentIds[] = {49, 187, 188, 189, 190, 191, 192, 198, 199, 200,
                              201, 209, 258, 259, 262, 263, 265};

// ---- Newer form -----------------------------------------------------------------------------

struct NewerCase {
    const char* what;
    int id;
    int p1, p2, p3, p4, p5;
    std::string data;
    const char* expectedHex;  // "" = no command (length 0)
};

void PrintTo(const NewerCase& c, std::ostream* os) { *os << c.what << " (ID " << c.id << ")"; }

class NewerForm : public ::testing::TestWithParam<NewerCase> {};

TEST_P(NewerForm, BuildsExactBytes) {
    const NewerCase& c = GetParam();
    const std::vector<uint8_t> data = asBytes(c.data);
    std::vector<uint8_t> out(512, 0xEE);
    int lastId = -1;
    const int length = KDCL_MakeCommand(c.id, &lastId, c.p1, out.data(), out.size(), c.p2, c.p3,
                                        c.p4, c.p5, data.empty() ? nullptr : data.data(),
                                        static_cast<int>(data.size()));
    EXPECT_EQ(lastId, c.id) << "the builder records every ID it is asked for";
    if (std::string(c.expectedHex).empty()) {
        EXPECT_EQ(length, 0);
        return;
    }
    ASSERT_GT(length, 0);
    EXPECT_EQ(toHex(out.data(), static_cast<size_t>(length)), c.expectedHex);
    EXPECT_EQ(out[static_cast<size_t>(length)], 0) << "terminating zero after the CR";
}

const std::string k300Bytes(300, '\x5A');

INSTANTIATE_TEST_SUITE_P(
    Commands, NewerForm,
    ::testing::Values(
        NewerCase{"insert_no_parameters", 4, 0, 0, 0, 0, 0, "",
                  "1B 21 52 49 50 00 00 00 00 0D"},
        NewerCase{"insert_ex_ignores_p1", 5, 7, 0, 0, 0, 0, "",
                  "1B 21 52 49 50 00 00 00 00 0D"},
        NewerCase{"set_config_value_p2_4_bytes", 26, 10, 300, 0, 0, 0, "",
                  "1B 21 53 43 56 00 00 00 05 0A 00 00 01 2C 0D"},
        NewerCase{"eject_p1_low_byte", 9, 0x1FF, 0, 0, 0, 0, "",
                  "1B 21 52 45 48 00 00 00 01 FF 0D"},
        NewerCase{"print_count_p1_4_bytes", 40, 0x01020304, 0, 0, 0, 0, "",
                  "1B 21 53 50 43 00 00 00 04 01 02 03 04 0D"},
        NewerCase{"option_info_two_2_byte_fields", 53, 0x1234, static_cast<int>(0xFFFF5678), 0, 0, 0, "",
                  "1B 21 41 4F 49 00 00 00 04 12 34 56 78 0D"},
        NewerCase{"buzzer_three_2_byte_fields", 131, 0x1234, 0x56, 0xABCD, 0, 0, "",
                  "1B 21 52 42 5A 00 00 00 06 12 34 00 56 AB CD 0D"},
        NewerCase{"panel_type_mixed_widths", 156, 0x81, 0x0102, 7, 0, 0, "",
                  "1B 24 53 50 54 00 00 00 04 81 01 02 07 0D"},
        NewerCase{"stripe_track_with_data", 99, 1, 0, 0, 0, 0, "ABC",
                  "1B 26 4D 53 54 00 00 00 04 01 41 42 43 0D"},
        NewerCase{"transfer_all_five_parameters_and_data", 162, 1, 2, 0x0304, 0x0506, 0x0708,
                  "\xAA\xBB",
                  "1B 24 54 43 42 00 00 00 0A 01 02 03 04 05 06 07 08 AA BB 0D"},
        NewerCase{"panel_print_constant_zero_replaces_p1", 174, 9, 2, 3, 0x0405, 0, "",
                  "1B 24 50 43 50 00 00 00 05 00 02 03 04 05 0D"},
        NewerCase{"panel_print_with_p1", 175, 9, 2, 3, 0x0405, 0, "",
                  "1B 24 50 43 50 00 00 00 05 09 02 03 04 05 0D"},
        NewerCase{"user_memory_read_two_4_byte_fields", 145, 1, 0x11223344, 0x55667788, 0, 0,
                  "", "1B 2B 55 4D 52 00 00 00 09 01 11 22 33 44 55 66 77 88 0D"},
        NewerCase{"laminator_mode_four_single_bytes", 241, 1, 2, 3, 0x104, 0, "",
                  "1B 26 4C 4D 57 00 00 00 04 01 02 03 04 0D"},
        NewerCase{"date_takes_only_first_4_data_bytes", 264, 5, 0, 0, 0, 0, "\x20\x24\x01\x02\xFF",
                  "1B 21 49 43 44 00 00 00 05 05 20 24 01 02 0D"},
        NewerCase{"row_without_data_ignores_data", 118, 0, 0, 0, 0, 0, "xyz",
                  "1B 26 52 4D 56 00 00 00 00 0D"},
        NewerCase{"lcd_write_three_bytes_then_data", 137, 1, 2, 3, 0, 0, std::string("\x00\x01", 2),
                  "1B 2B 4C 55 57 00 00 00 05 01 02 03 00 01 0D"},
        NewerCase{"older_only_id_10", 10, 0, 0, 0, 0, 0, "", ""},
        NewerCase{"older_only_id_21", 21, 1, 0, 0, 0, 0, "", ""},
        NewerCase{"older_only_id_266", 266, 1, 0, 0, 0, 0, "", ""},
        NewerCase{"undefined_id_49", 49, 0, 0, 0, 0, 0, "", ""},
        NewerCase{"id_0", 0, 0, 0, 0, 0, 0, "", ""},
        NewerCase{"id_267", 267, 0, 0, 0, 0, 0, "", ""},
        NewerCase{"negative_id", -4, 0, 0, 0, 0, 0, "", ""}),
    [](const auto& info) { return std::string(info.param.what); });

TEST(NewerFormLength, CountsDataBeyondOneByte) {
    std::vector<uint8_t> out(400);
    const auto* data = reinterpret_cast<const uint8_t*>(k300Bytes.data());
    const int length = KDCL_MakeCommand(153, nullptr, 0, out.data(), out.size(), 0, 0, 0, 0,
                                        data, 300);
    ASSERT_EQ(length, 310);
    EXPECT_EQ(toHex(out.data(), 9), "1B 24 53 54 54 00 00 01 2C");
    EXPECT_EQ(out[9], 0x5A);
    EXPECT_EQ(out[308], 0x5A);
    EXPECT_EQ(out[309], 0x0D);
    EXPECT_EQ(out[310], 0);
}

// ---- Older form -----------------------------------------------------------------------------

struct OlderCase {
    const char* what;
    int id;
    int p1, p2, p3, p4, p5, p6, p7;
    std::string data;
    std::string expected;  // "" = no command (length 0)
};

void PrintTo(const OlderCase& c, std::ostream* os) { *os << c.what << " (ID " << c.id << ")"; }

class OlderForm : public ::testing::TestWithParam<OlderCase> {};

TEST_P(OlderForm, BuildsExactBytes) {
    const OlderCase& c = GetParam();
    const std::vector<uint8_t> data = asBytes(c.data);
    std::vector<uint8_t> out(512, 0xEE);
    const int length = KDCL_MakeCommandOld(c.p2, c.id, c.p1, out.data(), out.size(), c.p3, c.p4,
                                           c.p5, c.p6, c.p7,
                                           data.empty() ? nullptr : data.data(),
                                           static_cast<int>(data.size()));
    if (c.expected.empty()) {
        EXPECT_EQ(length, 0);
        return;
    }
    ASSERT_GT(length, 0);
    EXPECT_EQ(toHex(out.data(), static_cast<size_t>(length)), toHex(c.expected));
    EXPECT_EQ(out[static_cast<size_t>(length)], 0) << "terminating zero after the CR";
}

INSTANTIATE_TEST_SUITE_P(
    Commands, OlderForm,
    ::testing::Values(
        OlderCase{"insert", 4, 0, 0, 0, 0, 0, 0, 0, "", "\x1B" "MI\r"},
        OlderCase{"insert_ex_decimal", 5, -12, 0, 0, 0, 0, 0, 0, "", "\x1B" "MI -12\r"},
        OlderCase{"decimal_extremes", 5, INT_MIN, 0, 0, 0, 0, 0, 0, "",
                  "\x1B" "MI -2147483648\r"},
        OlderCase{"sync_ignores_p1", 16, 5, 0, 0, 0, 0, 0, 0, "", "\x1B" "SYNC\r"},
        OlderCase{"ribbon_type_char_from_128", 33, 200, 0, 0, 0, 0, 0, 0, "",
                  "\x1B" "+RIB \xC8\r"},
        OlderCase{"ribbon_type_decimal_below_128", 33, 127, 0, 0, 0, 0, 0, 0, "",
                  "\x1B" "+RIB 127\r"},
        OlderCase{"ribbon_type_negative_stays_decimal", 33, -1, 0, 0, 0, 0, 0, 0, "",
                  "\x1B" "+RIB -1\r"},
        OlderCase{"panel_type_char_at_128", 156, 128, 0, 0, 0, 0, 0, 0, "",
                  "\x1B" "+RIB \x80\r"},
        OlderCase{"char_of_zero_ends_text", 33, 256, 0, 0, 0, 0, 0, 0, "",
                  "\x1B" "+RIB \r"},
        OlderCase{"clear_buffer_short_when_zero", 157, 0, 0, 0, 0, 0, 0, 0, "",
                  "\x1B" "$F\r"},
        OlderCase{"clear_buffer_with_number", 157, 3, 0, 0, 0, 0, 0, 0, "",
                  "\x1B" "$F 3\r"},
        OlderCase{"clear_buffer_no_alternative", 158, 0, 0, 0, 0, 0, 0, 0, "",
                  "\x1B" "$FP 0\r"},
        OlderCase{"print_short_when_zero", 177, 0, 0, 0, 0, 0, 0, 0, "", "\x1B" "I\r"},
        OlderCase{"print_with_number", 178, 5, 0, 0, 0, 0, 0, 0, "", "\x1B" "IE 5\r"},
        OlderCase{"uses_p2_only", 30, 99, 41, 0, 0, 0, 0, 0, "", "\x1B" "+C 41\r"},
        OlderCase{"user_memory_read_p2_p3", 145, 9, 16, 4096, 0, 0, 0, 0, "",
                  "\x1B" "&KR 16 4096\r"},
        OlderCase{"lcd_read_char_from_p2", 135, 9, '5', 0, 0, 0, 0, 0, "",
                  "\x1B" "+LCDR 5\r"},
        OlderCase{"lcd_write_two_chars_and_data", 138, 9, 'a', 'b', 0, 0, 0, 0, "\x01\x02",
                  "\x1B" "+LCDw a b \x01\x02\r"},
        OlderCase{"four_numbers_p4_is_16_bit", 77, 10, 20, 30, 0x10005, 0, 0, 0, "",
                  "\x1B" "+SMP 10 20 30 5\r"},
        OlderCase{"seven_numbers_and_data", 163, 1, 2, 3, 4, 5, 6, 7, "DATA",
                  "\x1B" "GT 1 2 3 4 5 6 7 DATA\r"},
        OlderCase{"stripe_track_data_after_text", 99, 2, 0, 0, 0, 0, 0, 0, "%B12?",
                  "\x1B" "&B 2 %B12?\r"},
        OlderCase{"data_right_after_number", 237, 5, 0, 0, 0, 0, 0, 0, "xy",
                  "\x1B" "m 5xy\r"},
        OlderCase{"data_right_after_text", 165, 0, 0, 0, 0, 0, 0, 0, std::string("\x00\xFF", 2),
                  std::string("\x1B" "vZ\x00\xFF\r", 6)},
        OlderCase{"rf_version_with_data", 118, 0, 0, 0, 0, 0, 0, 0, "01",
                  "\x1B" "&RF 01\r"},
        OlderCase{"logo_name_from_p2_bytes", 214, 1, 0x41424344, 2, 3, 0, 0, 0, "xy",
                  "\x1B" "DS 1 ABCD 2 3 xy\r"},
        OlderCase{"logo_name_with_nul_ends_text", 214, 1, 0x41004344, 2, 3, 0, 0, 0, "xy",
                  "\x1B" "DS 1 Axy\r"},
        OlderCase{"percent_and_three_chars", 217, 'A', 'B', 'C', 0, 0, 0, 0, "",
                  "\x1B" "%S A B C\r"},
        OlderCase{"percent_alone", 223, 0, 0, 0, 0, 0, 0, 0, "", "\x1B" "%I\r"},
        OlderCase{"percent_char_number_data", 222, 'X', 12, 0, 0, 0, 0, 0, "ab",
                  "\x1B" "%W X 12 ab\r"},
        OlderCase{"newer_only_id_13", 13, 1, 0, 0, 0, 0, 0, 0, "", ""},
        OlderCase{"newer_only_id_26", 26, 1, 2, 0, 0, 0, 0, 0, "", ""},
        OlderCase{"undefined_id_209", 209, 0, 0, 0, 0, 0, 0, 0, "", ""},
        OlderCase{"id_0", 0, 0, 0, 0, 0, 0, 0, 0, "", ""},
        OlderCase{"id_267", 267, 0, 0, 0, 0, 0, 0, 0, "", ""}),
    [](const auto& info) { return std::string(info.param.what); });

// ---- Buffer and argument rule -----------------------------------------------------------------

TEST(BufferRule, CommandAndZeroMustFitExactly) {
    // Exactly sized heap buffers let the address sanitizer catch any write past the end.
    for (size_t size : {size_t{0}, size_t{1}, size_t{10}, size_t{11}}) {
        std::vector<uint8_t> out(size + 1, 0xEE);
        const int length = KDCL_MakeCommand(4, nullptr, 0, size ? out.data() : nullptr, size);
        EXPECT_EQ(length, size >= 11 ? 10 : 0) << "newer, size " << size;
        if (size > 0 && size < 11) {
            EXPECT_EQ(out[0], 0) << "nothing usable is left in the buffer";
        }
        EXPECT_EQ(out[size], 0xEE) << "no write past outSize";
    }
    for (size_t size : {size_t{4}, size_t{5}}) {
        std::vector<uint8_t> out(size + 1, 0xEE);
        EXPECT_EQ(KDCL_MakeCommandOld(0, 4, 0, out.data(), size), size == 5 ? 4 : 0);
        EXPECT_EQ(out[size], 0xEE);
    }
}

TEST(BufferRule, DataCountsTowardsTheSize) {
    const uint8_t data[3] = {'A', 'B', 'C'};
    std::vector<uint8_t> out(14);  // the command is 14 bytes, the zero does not fit
    EXPECT_EQ(KDCL_MakeCommand(99, nullptr, 1, out.data(), out.size(), 0, 0, 0, 0, data, 3), 0);
    out.resize(15);
    EXPECT_EQ(KDCL_MakeCommand(99, nullptr, 1, out.data(), out.size(), 0, 0, 0, 0, data, 3), 14);

    std::vector<uint8_t> old(10);  // ESC "&B 1 " ABC CR = 10 bytes, plus the zero
    EXPECT_EQ(KDCL_MakeCommandOld(0, 99, 1, old.data(), old.size(), 0, 0, 0, 0, 0, data, 3), 0);
    old.resize(11);
    EXPECT_EQ(KDCL_MakeCommandOld(0, 99, 1, old.data(), old.size(), 0, 0, 0, 0, 0, data, 3), 10);
}

TEST(BufferRule, HugeDataLengthIsRefusedWithoutReadingIt) {
    const uint8_t data[1] = {0};
    uint8_t out[64];
    EXPECT_EQ(KDCL_MakeCommand(153, nullptr, 0, out, sizeof(out), 0, 0, 0, 0, data, INT_MAX), 0);
    EXPECT_EQ(KDCL_MakeCommandOld(0, 168, 0, out, sizeof(out), 0, 0, 0, 0, 0, data, INT_MAX), 0);
}

TEST(BufferRule, BadDataArgumentsBuildNothing) {
    const uint8_t data[3] = {1, 2, 3};
    uint8_t out[64];
    int lastId = 0;
    EXPECT_EQ(KDCL_MakeCommand(99, &lastId, 1, out, sizeof(out), 0, 0, 0, 0, data, -1), 0);
    EXPECT_EQ(lastId, 99);
    EXPECT_EQ(KDCL_MakeCommand(99, nullptr, 1, out, sizeof(out), 0, 0, 0, 0, nullptr, 3), 0);
    EXPECT_EQ(KDCL_MakeCommandOld(0, 99, 1, out, sizeof(out), 0, 0, 0, 0, 0, data, -1), 0);
    EXPECT_EQ(KDCL_MakeCommandOld(0, 99, 1, out, sizeof(out), 0, 0, 0, 0, 0, nullptr, 3), 0);
    // The date command needs four data bytes.
    EXPECT_EQ(KDCL_MakeCommand(264, nullptr, 1, out, sizeof(out), 0, 0, 0, 0, data, 3), 0);
    // No data at all is fine for a data row.
    EXPECT_EQ(KDCL_MakeCommand(99, nullptr, 1, out, sizeof(out)), 11);
    EXPECT_EQ(KDCL_MakeCommandOld(0, 99, 1, out, sizeof(out)), 7);
}

// ---- Table coverage ---------------------------------------------------------------------------

TEST(CommandTable, EveryIdIsDefinedOrDeliberatelyAbsent) {
    const std::set<int> absent(std::begin(kAbsentIds), std::end(kAbsentIds));
    int defined = 0;
    for (int id = 1; id <= KDCL_MAX_COMMAND_ID; ++id) {
        const KDCL_CommandRow* row = KDCL_FindCommand(id);
        if (absent.count(id)) {
            EXPECT_EQ(row, nullptr) << id;
            continue;
        }
        ASSERT_NE(row, nullptr) << id;
        EXPECT_EQ(row->id, id);
        EXPECT_TRUE(row->newer.code != nullptr || row->older.text != nullptr) << id;
        ++defined;
    }
    EXPECT_EQ(defined, 249);
}

TEST(CommandTable, BuildersAgreeWithTheTableForEveryId) {
    const uint8_t data[4] = {'1', '2', '3', '4'};
    for (int id = 1; id <= KDCL_MAX_COMMAND_ID; ++id) {
        const KDCL_CommandRow* row = KDCL_FindCommand(id);
        uint8_t out[128];
        const int newer = KDCL_MakeCommand(id, nullptr, 1, out, sizeof(out), 2, 3, 4, 5, data, 4);
        if (row != nullptr && row->newer.code != nullptr) {
            ASSERT_GE(newer, 10) << id;
            EXPECT_EQ(out[0], 0x1B) << id;
            EXPECT_EQ(std::string(reinterpret_cast<char*>(out + 1), 4), row->newer.code) << id;
            const int count = (out[5] << 24) | (out[6] << 16) | (out[7] << 8) | out[8];
            EXPECT_EQ(count, newer - 10) << id;
            EXPECT_EQ(out[newer - 1], 0x0D) << id;
        } else {
            EXPECT_EQ(newer, 0) << id;
        }
        const int older =
            KDCL_MakeCommandOld(2, id, 1, out, sizeof(out), 3, 4, 5, 6, 7, data, 4);
        if (row != nullptr && row->older.text != nullptr) {
            ASSERT_GE(older, 3) << id;
            EXPECT_EQ(out[0], 0x1B) << id;
            EXPECT_EQ(out[older - 1], 0x0D) << id;
        } else {
            EXPECT_EQ(older, 0) << id;
        }
    }
}

// ---- Older-form answer classifier ---------------------------------------------------------------

struct ResponseCase {
    std::string text;  // after ESC
    int flag;
    int timeoutUs;     // starting from 0
};

TEST(OldResponse, FlagsAndTimeouts) {
    const ResponseCase cases[] = {
        {"R\r", 0, 30000000},          {"RD\r", 0, 3000000},
        {"MI\r", 0, 22000000},         {"MIE\r", 0, 22000000},
        {"MO\r", 0, 32000000},         {"MS\r", 0, 22000000},
        {"MCL\r", 0, 22000000},        {"MC\r", 0, 10000000},
        {"!T\r", 0, 10000000},         {"!TE\r", 0, 22000000},
        {"!MFP\r", 0, 22000000},       {"S\r", 1, 3000000},
        {"SN 12\r", 0, 6000000},       {"SG\r", 1, 3000000},
        {"SRC 5\r", 0, 30000000},      {"SYNC\r", 0, 13000000},
        {"V\r", 1, 3000000},           {"U\r", 1, 3000000},
        {"CR\r", 1, 5000000},          {"CF\r", 1, 3000000},
        {"CLEAN\r", 0, 40000000},      {"A 1\r", 0, 40000000},
        {"RTI 1\r", 1, 5000000},       {"BZ 1 2 3\r", 0, 30000000},
        {"BAR x\r", 0, 13000000},      {"IPS 1\r", 0, 13000000},
        {"IS 1\r", 0, 13000000},       {"IV\r", 0, 3000000},
        {"I 1\r", 0, 13000000},        {"IE\r", 0, 13000000},
        {"!V 3\r", 1, 3000000},        {"!V3\r", 0, 3000000},
        {"!MAC\r", 1, 3000000},        {"!RMD\r", 1, 3000000},
        {"!DP\r", 1, 3000000},         {"%rftag\r", 1, 3000000},
        {"&KR\r", 1, 30000000},        {"&KR 0 16\r", 0, 30000000},
        {"&KRE\r", 1, 30000000},       {"&KREE 0 16\r", 1, 30000000},
        {"?KR\r", 0, 3000000},         {"?KRE\r", 1, 3000000},
        {"&RIB\r", 1, 13000000},       {"?RIB\r", 1, 3000000},
        {"&L 1\r", 1, 24000000},       {"?L 1\r", 1, 24000000},
        {"&L*\r", 1, 24000000},        {"?L*\r", 1, 24000000},
        {"&C 1\r", 0, 5000000},        {"&E 1\r", 0, 24000000},
        {"&EX 1 2\r", 0, 24000000},    {"&B 1 x\r", 0, 3000000},
        {"@ 1\r", 1, 24000000},        {"# 1\r", 1, 24000000},
        {"&IC 00\r", 1, 6000000},      {"?IC 00\r", 1, 6000000},
        {"&SAM 00\r", 1, 6000000},     {"?SAM 00\r", 1, 6000000},
        {"&PSAM 00\r", 1, 6000000},    {"?psam 00\r", 1, 6000000},
        {"&RF 00\r", 1, 4000000},      {"?RF2 00\r", 1, 4000000},
        {"&RFtag\r", 0, 4000000},      {"&rftag\r", 0, 15000000},
        {"+LCDR 1\r", 1, 3000000},     {"+LCDr 1\r", 1, 3000000},
        {"CSA\r", 1, 3000000},         {"CSI\r", 1, 3000000},
        {"DG 1\r", 1, 3000000},        {"GSI\r", 1, 3000000},
        {"MR\r", 1, 3000000},          {"PDE 2\r", 1, 3000000},
        {"PDE 3\r", 1, 3000000},       {"PDE 4\r", 0, 3000000},
        {"SGL\r", 1, 3000000},         {"SGR\r", 1, 3000000},
        {"+RIB 1\r", 0, 3000000},      {"", 0, 3000000},
    };
    for (const ResponseCase& c : cases) {
        const std::string command = "\x1B" + c.text;
        int timeout = 0;
        const int flag = KDCL_OLD_Response(reinterpret_cast<const uint8_t*>(command.data()),
                                           static_cast<int>(command.size()), &timeout);
        EXPECT_EQ(flag, c.flag) << toHex(command);
        EXPECT_EQ(timeout, c.timeoutUs) << toHex(command);
    }
}

TEST(OldResponse, CallersLongerTimeoutIsKept) {
    const std::string command = "\x1B" "MI\r";
    const auto* bytes = reinterpret_cast<const uint8_t*>(command.data());
    int timeout = 50000000;
    KDCL_OLD_Response(bytes, 4, &timeout);
    EXPECT_EQ(timeout, 50000000);
    timeout = 21999999;
    KDCL_OLD_Response(bytes, 4, &timeout);
    EXPECT_EQ(timeout, 22000000);
    EXPECT_EQ(KDCL_OLD_Response(bytes, 4, nullptr), 0);
}

TEST(OldResponse, CommandsWithoutEscGetTheDefault) {
    const std::string plain = "S\r";
    int timeout = 1000000;
    EXPECT_EQ(KDCL_OLD_Response(reinterpret_cast<const uint8_t*>(plain.data()), 2, &timeout), 0);
    EXPECT_EQ(timeout, 3000000);
    timeout = 0;
    EXPECT_EQ(KDCL_OLD_Response(nullptr, 5, &timeout), 0);
    EXPECT_EQ(timeout, 3000000);
    timeout = 0;
    EXPECT_EQ(KDCL_OLD_Response(reinterpret_cast<const uint8_t*>(plain.data()), -1, &timeout), 0);
    EXPECT_EQ(timeout, 3000000);
}

TEST(OldResponse, MatchesOnlyWithinTheGivenLength) {
    // ESC "MI" cut to ESC "M": no prefix of the insert applies.
    const uint8_t bytes[] = {0x1B, 'M', 'I', '\r'};
    int timeout = 0;
    EXPECT_EQ(KDCL_OLD_Response(bytes, 2, &timeout), 0);
    EXPECT_EQ(timeout, 3000000);
    // ESC "S" without its CR is not the status request.
    const uint8_t status[] = {0x1B, 'S', '\r'};
    timeout = 0;
    EXPECT_EQ(KDCL_OLD_Response(status, 2, &timeout), 0);
    EXPECT_EQ(KDCL_OLD_Response(status, 3, &timeout), 1);
}

}  // namespace
