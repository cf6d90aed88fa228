// Builders of both KDCL generations and the classifier of older-form commands.
#include "core/command_set.h"

#include <charconv>
#include <climits>
#include <cstring>
#include <initializer_list>
#include <string_view>

#include "diag/log.h"

namespace {

using enum KDCL_Param;

constexpr uint8_t ESC = 0x1B;
constexpr uint8_t CR = 0x0D;
constexpr size_t NEWER_HEADER_SIZE = 9;  // ESC, class, mnemonic, 4 length bytes
constexpr int MAX_OLDER_VALUES = 10;      // conversions in one older template

constexpr KDCL_ParamList paramList(std::initializer_list<KDCL_Param> params) {
    KDCL_ParamList list{};
    size_t i = 0;
    for (KDCL_Param p : params) list[i++] = p;  // an overlong list fails constant evaluation
    return list;
}

constexpr KDCL_NewerForm newer(const char* code, std::initializer_list<KDCL_Param> fields = {}) {
    return {code, paramList(fields)};
}

constexpr KDCL_OlderForm older(const char* text, std::initializer_list<KDCL_Param> args = {}) {
    return {text, nullptr, KDCL_OlderChoice::ONE_TEMPLATE, paramList(args)};
}

constexpr KDCL_OlderForm older_char_from_128(const char* text, const char* charText,
                                             std::initializer_list<KDCL_Param> args) {
    return {text, charText, KDCL_OlderChoice::CHAR_WHEN_P1_FROM_128, paramList(args)};
}

constexpr KDCL_OlderForm older_short_when_zero(const char* text, const char* shortText,
                                               std::initializer_list<KDCL_Param> args) {
    return {text, shortText, KDCL_OlderChoice::SHORT_WHEN_P1_ZERO, paramList(args)};
}

constexpr KDCL_NewerForm NO_NEWER{nullptr, {}};
constexpr KDCL_OlderForm NO_OLDER{nullptr, nullptr, KDCL_OlderChoice::ONE_TEMPLATE, {}};

constexpr KDCL_CommandRow kCommandTable[] = {
#include "core/command_table.inc"
};

// ---- Compile-time checks of the table's shape --------------------------------------------

constexpr bool isNewerField(KDCL_Param p) {
    return p != END && p != P5 && p != P6 && p != P7 && p != P2_AS_4_CHARS && p != PLUS_DATA;
}

constexpr bool isOlderArg(KDCL_Param p) {
    return (p >= P1 && p <= P7) || p == P2_AS_4_CHARS || p == PLUS_DATA;
}

constexpr bool validCode(const char* code) {
    if (code == nullptr) return true;
    if (std::string_view(code).size() != 4) return false;
    if (std::string_view("!&+$").find(code[0]) == std::string_view::npos) return false;
    for (int i = 1; i < 4; ++i) {
        const char c = code[i];
        if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
    }
    return true;
}

// Number of %d/%c conversions in a template, or -1 for anything else after '%'.
constexpr int conversionCount(const char* text) {
    int count = 0;
    for (size_t i = 0; text[i] != '\0'; ++i) {
        if (text[i] != '%') continue;
        const char kind = text[++i];
        if (kind == 'd' || kind == 'c') ++count;
        else if (kind != '%') return -1;
    }
    return count;
}

// Checks a list: allowed kinds only, no gaps, the data element (if any) last.
template <typename Allowed>
constexpr int listLength(const KDCL_ParamList& list, Allowed allowed, KDCL_Param dataKind) {
    size_t n = 0;
    while (n < list.size() && list[n] != END) {
        if (!allowed(list[n])) return -1;
        if (list[n] == dataKind && n + 1 < list.size() && list[n + 1] != END) return -1;
        ++n;
    }
    for (size_t i = n; i < list.size(); ++i)
        if (list[i] != END) return -1;
    return static_cast<int>(n);
}

constexpr int olderArgumentCount(const KDCL_ParamList& args) {
    int count = 0;
    for (KDCL_Param p : args) {
        if (p == P2_AS_4_CHARS) count += 4;
        else if (p != END && p != PLUS_DATA) ++count;
    }
    return count;
}

constexpr bool rowIsValid(const KDCL_CommandRow& row) {
    const KDCL_NewerForm& n = row.newer;
    const KDCL_OlderForm& o = row.older;
    if (n.code == nullptr && o.text == nullptr) return false;
    if (!validCode(n.code)) return false;
    if (n.code == nullptr && listLength(n.fields, isNewerField, DATA) != 0) return false;
    if (listLength(n.fields, isNewerField, DATA) < 0) return false;
    if (listLength(o.args, isOlderArg, PLUS_DATA) < 0) return false;
    if (o.text == nullptr)
        return o.alternative == nullptr && olderArgumentCount(o.args) == 0;
    const int args = olderArgumentCount(o.args);
    if (args > MAX_OLDER_VALUES || conversionCount(o.text) != args) return false;
    switch (o.choice) {
    case KDCL_OlderChoice::ONE_TEMPLATE:
        return o.alternative == nullptr;
    case KDCL_OlderChoice::CHAR_WHEN_P1_FROM_128:
        return o.alternative != nullptr && conversionCount(o.alternative) == args &&
               o.args[0] == P1;
    case KDCL_OlderChoice::SHORT_WHEN_P1_ZERO:
        return o.alternative != nullptr && conversionCount(o.alternative) == 0 &&
               o.args[0] == P1;
    }
    return false;
}

constexpr bool tableIsValid() {
    int previous = 0;
    for (const KDCL_CommandRow& row : kCommandTable) {
        if (row.id <= previous || row.id > KDCL_MAX_COMMAND_ID) return false;
        if (!rowIsValid(row)) return false;
        previous = row.id;
    }
    return true;
}
static_assert(tableIsValid(), "command table: IDs out of order or a malformed row");

// Row index by ID, built once at compile time.
constexpr std::array<int16_t, KDCL_MAX_COMMAND_ID + 1> kRowIndex = [] {
    std::array<int16_t, KDCL_MAX_COMMAND_ID + 1> index{};
    index.fill(-1);
    for (size_t i = 0; i < std::size(kCommandTable); ++i)
        index[kCommandTable[i].id] = static_cast<int16_t>(i);
    return index;
}();

// ---- Building -----------------------------------------------------------------------------

bool dataArgumentsValid(const uint8_t* data, int dataLength) {
    return dataLength >= 0 && (data != nullptr || dataLength == 0);
}

void clearOutput(uint8_t* out, size_t outSize) {
    if (out != nullptr && outSize > 0) out[0] = 0;
}

size_t newerFieldSize(KDCL_Param field, int dataLength) {
    switch (field) {
    case P1_2BYTES: case P2_2BYTES: case P3_2BYTES: case P4_2BYTES: case P5_2BYTES:
        return 2;
    case P1_4BYTES: case P2_4BYTES: case P3_4BYTES: case FIRST_4_DATA_BYTES:
        return 4;
    case DATA:
        return static_cast<size_t>(dataLength);
    case END:
        return 0;
    default:
        return 1;
    }
}

uint8_t* putBigEndian(uint8_t* at, uint32_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) *at++ = static_cast<uint8_t>(value >> (8 * i));
    return at;
}

struct NewerValues {
    int p1, p2, p3, p4, p5;
    const uint8_t* data;
    int dataLength;
};

uint8_t* putNewerField(uint8_t* at, KDCL_Param field, const NewerValues& v) {
    switch (field) {
    case P1: return putBigEndian(at, static_cast<uint32_t>(v.p1), 1);
    case P2: return putBigEndian(at, static_cast<uint32_t>(v.p2), 1);
    case P3: return putBigEndian(at, static_cast<uint32_t>(v.p3), 1);
    case P4: return putBigEndian(at, static_cast<uint32_t>(v.p4), 1);
    case P1_2BYTES: return putBigEndian(at, static_cast<uint32_t>(v.p1), 2);
    case P2_2BYTES: return putBigEndian(at, static_cast<uint32_t>(v.p2), 2);
    case P3_2BYTES: return putBigEndian(at, static_cast<uint32_t>(v.p3), 2);
    case P4_2BYTES: return putBigEndian(at, static_cast<uint32_t>(v.p4), 2);
    case P5_2BYTES: return putBigEndian(at, static_cast<uint32_t>(v.p5), 2);
    case P1_4BYTES: return putBigEndian(at, static_cast<uint32_t>(v.p1), 4);
    case P2_4BYTES: return putBigEndian(at, static_cast<uint32_t>(v.p2), 4);
    case P3_4BYTES: return putBigEndian(at, static_cast<uint32_t>(v.p3), 4);
    case ZERO_BYTE: *at = 0; return at + 1;
    case FIRST_4_DATA_BYTES: std::memcpy(at, v.data, 4); return at + 4;
    case DATA:
        if (v.dataLength > 0) std::memcpy(at, v.data, static_cast<size_t>(v.dataLength));
        return at + v.dataLength;
    default: return at;  // older-only kinds never appear in a newer row (checked above)
    }
}

// The text of an older-form command, before the data. Long enough for the longest template
// with ten numbers of 11 characters each.
struct OlderText {
    char bytes[192];
    size_t size = 0;
};

// Formats `text` with the conversion values in order. A %c of 0 ends the text.
void formatOlder(const char* text, const int* values, int valueCount, OlderText& out) {
    int next = 0;
    auto room = [&out](size_t n) { return out.size + n <= sizeof(out.bytes); };
    for (size_t i = 0; text[i] != '\0'; ++i) {
        if (text[i] != '%') {
            if (!room(1)) return;
            out.bytes[out.size++] = text[i];
            continue;
        }
        const char kind = text[++i];
        if (kind == '%') {
            if (!room(1)) return;
            out.bytes[out.size++] = '%';
            continue;
        }
        const int value = next < valueCount ? values[next] : 0;
        ++next;
        if (kind == 'c') {
            const char byte = static_cast<char>(static_cast<unsigned char>(value));
            if (byte == '\0' || !room(1)) return;
            out.bytes[out.size++] = byte;
        } else {  // 'd'
            char digits[12];
            const auto result = std::to_chars(digits, digits + sizeof(digits), value);
            const size_t n = static_cast<size_t>(result.ptr - digits);
            if (!room(n)) return;
            std::memcpy(out.bytes + out.size, digits, n);
            out.size += n;
        }
    }
}

}  // namespace

const KDCL_CommandRow* KDCL_FindCommand(int commandId) noexcept {
    if (commandId < 1 || commandId > KDCL_MAX_COMMAND_ID) return nullptr;
    const int index = kRowIndex[static_cast<size_t>(commandId)];
    return index < 0 ? nullptr : &kCommandTable[index];
}

int KDCL_MakeCommand(int commandId, int* lastCommandId, int p1, uint8_t* out, size_t outSize,
                     int p2, int p3, int p4, int p5, const uint8_t* data,
                     int dataLength) noexcept {
    if (lastCommandId != nullptr) *lastCommandId = commandId;
    const KDCL_CommandRow* row = KDCL_FindCommand(commandId);
    if (row == nullptr || row->newer.code == nullptr || out == nullptr ||
        !dataArgumentsValid(data, dataLength)) {
        clearOutput(out, outSize);
        return 0;
    }

    size_t parameterBytes = 0;
    for (KDCL_Param field : row->newer.fields) {
        if (field == FIRST_4_DATA_BYTES && dataLength < 4) {
            clearOutput(out, outSize);
            return 0;
        }
        parameterBytes += newerFieldSize(field, dataLength);
    }
    const size_t length = NEWER_HEADER_SIZE + parameterBytes + 1;  // + CR
    if (length > static_cast<size_t>(INT_MAX) || outSize < length + 1) {  // + zero
        clearOutput(out, outSize);
        return 0;
    }

    out[0] = ESC;
    std::memcpy(out + 1, row->newer.code, 4);
    uint8_t* at = putBigEndian(out + 5, static_cast<uint32_t>(parameterBytes), 4);
    const NewerValues values{p1, p2, p3, p4, p5, data, dataLength};
    for (KDCL_Param field : row->newer.fields) at = putNewerField(at, field, values);
    *at++ = CR;
    *at = 0;
    return static_cast<int>(length);
}

int KDCL_MakeCommandOld(int p2, int commandId, int p1, uint8_t* out, size_t outSize, int p3,
                        int p4, int p5, int p6, int p7, const uint8_t* data,
                        int dataLength) noexcept {
    const KDCL_CommandRow* row = KDCL_FindCommand(commandId);
    if (row == nullptr || row->older.text == nullptr || out == nullptr ||
        !dataArgumentsValid(data, dataLength)) {
        clearOutput(out, outSize);
        return 0;
    }
    const KDCL_OlderForm& form = row->older;

    const char* text = form.text;
    if (form.choice == KDCL_OlderChoice::CHAR_WHEN_P1_FROM_128 && p1 >= 128)
        text = form.alternative;
    else if (form.choice == KDCL_OlderChoice::SHORT_WHEN_P1_ZERO && p1 == 0)
        text = form.alternative;

    // The printer reads p4 and p5 as 16-bit numbers.
    const int parameters[] = {p1, p2, p3, static_cast<int16_t>(p4), static_cast<int16_t>(p5),
                              p6, p7};
    int values[MAX_OLDER_VALUES];
    int valueCount = 0;
    bool withData = false;
    for (KDCL_Param arg : form.args) {
        if (arg >= P1 && arg <= P7) {
            values[valueCount++] = parameters[static_cast<int>(arg) - static_cast<int>(P1)];
        } else if (arg == P2_AS_4_CHARS) {
            for (int shift = 24; shift >= 0; shift -= 8)
                values[valueCount++] = static_cast<int>((static_cast<uint32_t>(p2) >> shift) & 0xFF);
        } else if (arg == PLUS_DATA) {
            withData = true;
        }
    }

    OlderText formatted;
    formatOlder(text, values, valueCount, formatted);

    const size_t appended = withData ? static_cast<size_t>(dataLength) : 0;
    const size_t length = 1 + formatted.size + appended + 1;  // ESC, text, data, CR
    if (length > static_cast<size_t>(INT_MAX) || outSize < length + 1) {  // + zero
        clearOutput(out, outSize);
        return 0;
    }

    uint8_t* at = out;
    *at++ = ESC;
    std::memcpy(at, formatted.bytes, formatted.size);
    at += formatted.size;
    if (appended > 0) {
        std::memcpy(at, data, appended);
        at += appended;
    }
    *at++ = CR;
    *at = 0;
    return static_cast<int>(length);
}

// ---- Classifying older-form commands --------------------------------------------------------

namespace {

// Texts (after ESC) whose answer is a data block.
constexpr std::string_view kDataBlockPrefixes[] = {
    "!DP", "!MAC", "!RMD", "!V ", "# ", "%rfta",
    "&KR\r",
    "&KRE\r", "&KREE", "&KRee", "&RIB\r", "&L ", "&L*", "&IC ", "&SAM", "&PSA", "&psa",
    "&RF ", "&RF2",
    // the same twelve with '?' in place of '&'
    "?KRE\r", "?KREE", "?KRee", "?RIB\r", "?L ", "?L*", "?IC ", "?SAM", "?PSA", "?psa",
    "?RF ", "?RF2",
    "+LCDR", "+LCDr", "@ ", "CR", "CF", "CSA", "CSI", "DG", "GSI", "MR", "PDE 2", "PDE 3",
    "RTI", "SGL", "SGR", "SG\r", "S\r", "U\r", "V\r",
};

struct TimeoutRule {
    std::string_view prefix;
    int timeoutUs;
};

// Applied in order; a later match replaces an earlier one.
constexpr TimeoutRule kTimeoutRules[] = {
    {"MI", 22000000},   {"!MFP", 22000000}, {"MS", 22000000},   {"MCL", 22000000},
    {"MO", 32000000},   {"!TE", 22000000},  {"!T\r", 10000000}, {"MC\r", 10000000},
    {"CR\r", 5000000},  {"RTI", 5000000},   {"SYNC", 13000000}, {"&RIB", 13000000},
    {"BAR ", 13000000}, {"IPS ", 13000000}, {"IS ", 13000000},  {"IV ", 13000000},
    {"I ", 13000000},   {"IE", 13000000},   {"&rft", 15000000}, {"SN ", 6000000},
    {"SRC", 30000000},  {"CLEA", 40000000}, {"A ", 40000000},   {"BZ ", 30000000},
    {"&KR", 30000000},  {"&C ", 5000000},   {"&L ", 24000000},  {"&L*", 24000000},
    {"?L ", 24000000},  {"?L*", 24000000},  {"@ ", 24000000},   {"# ", 24000000},
    {"&E", 24000000},   {"&IC", 6000000},   {"?IC", 6000000},   {"&SA", 6000000},
    {"?SA", 6000000},   {"&PS", 6000000},   {"?PS", 6000000},   {"&ps", 6000000},
    {"?ps", 6000000},   {"&RF", 4000000},   {"?RF", 4000000},
};

constexpr int kDefaultTimeoutUs = 3000000;
constexpr int kResetTimeoutUs = 30000000;

}  // namespace

int KDCL_OLD_Response(const uint8_t* command, int length, int* timeoutUs) {
    int response = 0;
    int tableTimeout = kDefaultTimeoutUs;
    if (command != nullptr && length > 0 && command[0] == ESC) {
        const std::string_view text(reinterpret_cast<const char*>(command) + 1,
                                    static_cast<size_t>(length - 1));
        for (std::string_view prefix : kDataBlockPrefixes) {
            if (text.starts_with(prefix)) {
                response = 1;
                break;
            }
        }
        if (text.starts_with("R\r")) tableTimeout = kResetTimeoutUs;
        for (const TimeoutRule& rule : kTimeoutRules)
            if (text.starts_with(rule.prefix)) tableTimeout = rule.timeoutUs;
    }
    if (timeoutUs != nullptr && *timeoutUs < tableTimeout) *timeoutUs = tableTimeout;
    KD_Log1("   KDCL_OLD_Response - response = %d, timeout = %d", response, tableTimeout);
    return response;
}
