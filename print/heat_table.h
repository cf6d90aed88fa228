// Heat (on-time) tables: how long, and in which sub-pulses, the thermal head heats a dot.
//
// Newer printers take a 278-byte on-time table at open and at the start of a print: per
// colour panel 32 pulse on-times and 32 pulse-to-bit assignments, plus two short rows for
// the overlay and mono panels. The table comes from a numbered section of the tone file or,
// when that section has no table, from one of three built-in sets. The new-set data makers
// code every dot with the pattern rows and pulse-split values of the table last installed,
// so the printer and the print data always agree. Older printers take only an on-time ratio.
//
// The pure parts (building tables, choosing the built-in set, the ratio values, the pulse
// coding) need no printer. The operations that talk to the printer take the exchange as a
// callback, so the controller supplies its own command builder and exchange engine.
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace heat {

// ---- Table layout --------------------------------------------------------------------------

constexpr int kOnTimeTableSize = 278;
constexpr int kSlotsPerRow = 32;          // pulse slots of a colour panel
constexpr int kShortRowSize = 11;         // overlay and mono: 8 on-times + 3 pulse-split values
constexpr int kShortRowOnTimes = 8;
constexpr int kOverlayRowOffset = 256;
constexpr int kMonoRowOffset = 267;

// Pattern entries: 0..7 name the dot-value bits 0x01..0x80, 8 is always on, 9 and up never.
constexpr uint8_t kPatternAlwaysOn = 8;
constexpr uint8_t kPatternNever = 9;

using OnTimeTable = std::array<uint8_t, kOnTimeTableSize>;

// Colour panels in table order.
enum class HeatPanel : int { Y = 0, M = 1, C = 2, K = 3 };

constexpr int OnTimeRowOffset(HeatPanel panel) { return static_cast<int>(panel) * 64; }
constexpr int PatternRowOffset(HeatPanel panel) { return static_cast<int>(panel) * 64 + 32; }

// The three trailing values of the overlay and mono rows: how a mono dot's 8 sub-pulses are
// split into three groups.
struct PulseSplit {
    uint8_t e0 = 0;
    uint8_t e1 = 0;
    uint8_t e2 = 0;
};

// ---- Built-in tables -----------------------------------------------------------------------

enum class OnTimeDefaultSet {
    A,  // printers that report on-time data type 1
    B,  // firmware below 234
    C,  // firmware 234 and later
};

// Set A when the printer reported on-time data type 1, else B or C by firmware version
// (an unknown version, -1, takes B).
OnTimeDefaultSet SelectDefaultOnTimeSet(int ontimeData, int firmwareVersion);
OnTimeTable BuiltInOnTimeTable(OnTimeDefaultSet set);

// ---- Tone-file sections ----------------------------------------------------------------------

// Reads the heat-table keys of tone-file section `section` (its decimal number) from the file
// at `toneFilePath`. Keys absent or empty leave the values of `base` in place. A section
// counts as holding a table only when its "Kb2" key has a value: then `table` receives the
// result and 278 is returned. Otherwise `table` is left untouched and 0 is returned.
//
// Value forms: "Yv1".."Kv2", "Ov", "Bv": comma-separated decimal numbers, in order, clamped to
// 0..255; pieces beyond the row are ignored, empty pieces are skipped. "Yb1".."Kb2", "Ob",
// "Bb": one entry per character, the character's digit value; a character that is not a
// digit keeps the base entry of its position; characters beyond the row are ignored.
int KD_GetOnTimeTable(const std::string& toneFilePath, int section, const OnTimeTable& base,
                      OnTimeTable& table);

// Parsers behind the loader, exposed for tests. Each writes at most `count` entries to `row`
// and returns how many it wrote.
int ParseOnTimeValues(const std::string& text, uint8_t* row, int count);
int ParseDigitEntries(const std::string& text, uint8_t* row, int count);

// ---- Pulse coding for the data makers --------------------------------------------------------

// The byte with the n lowest bits set; n is clamped to 0..8.
uint8_t PulseMask(int n);
// Mono pulse byte of a dot that is on: (M[e0] << (e1 + e2)) | (M[e1] << e2) | M[e2], kept to
// one byte. 0xFF for the built-in split 4, 2, 2.
uint8_t MonoPulseByte(const PulseSplit& split);
// Same, with `leading` in place of the first group M[e0] << (e1 + e2) (the thinned leading
// pulse of long runs of full mono bytes on later firmware).
uint8_t MonoPulseByteWithLeading(const PulseSplit& split, uint8_t leading);
// Pulse word of an 8-bit colour dot: pattern entry s drives bit 31 - s; the bit is set when
// the dot has the bit the entry names (8 always, 9 and up never). A dot of 0 gives 0.
uint32_t ColourPulseWord(const uint8_t* pattern32, uint8_t dot);
// The pulse words of all 256 dot values, for coding a whole plane with one lookup per dot.
std::array<uint32_t, 256> ColourPulseWords(const uint8_t* pattern32);

// ---- The rows the controller keeps -----------------------------------------------------------

struct HeatTableState {
    // The rows last installed. Until a table is installed they hold the built-in set an
    // unidentified printer would get (set B).
    OnTimeTable installed = BuiltInOnTimeTable(OnTimeDefaultSet::B);
    // On-time data type the printer reported at the last start of printing (`m_ontime_data`).
    int ontimeData = 0;

    void Install(const OnTimeTable& table) { installed = table; }
    const uint8_t* OnTimeRow(HeatPanel panel) const;
    const uint8_t* PatternRow(HeatPanel panel) const;  // 32 entries
    PulseSplit OverlaySplit() const;
    PulseSplit MonoSplit() const;
    // Data makers name panels by colour index: 4 is the overlay, 5 and 6 are mono. Other
    // indices take the mono split.
    PulseSplit SplitForColourIndex(int colourIndex) const;
};

// ---- On-time ratio (older command set) -------------------------------------------------------

struct OnTimeRatio {
    int mono1 = 0;
    int mono2 = 0;
    int mono3 = 0;
    int colour = 0;
    bool operator==(const OnTimeRatio&) const = default;
};

// Mono on-times clamped to 10..100, the colour on-time to 40..200.
OnTimeRatio ClampOnTimeRatio(int mono1, int mono2, int mono3, int colour);
// The ratio sent before each panel print: ribbon types 4, 6, 8, 11, 12, 14, 15 and every
// panel other than K (0x08) and mono (0x20) take (40, 30, 30, 100); K takes (38, 32, 30, 100);
// mono (30, 35, 35, 100).
OnTimeRatio AutoOnTimeRatio(int ribbonType, int panelBit);

// ---- Printer operations ----------------------------------------------------------------------

// Command IDs and time-outs (microseconds) of the heat-table operations.
constexpr int kCmdOnTimeRatio = 77;        // older "+SMP %d %d %d %d" (p1..p4)
constexpr int kCmdSetOnTimeTable = 153;    // `$STT` + data
constexpr int kCmdStartOfPrinting = 154;   // `$SOP` p1
constexpr int kOnTimeTableTimeoutUs = 3000000;
constexpr int kStartOfPrintingTimeoutUs = 13000000;
constexpr int kOnTimeRatioTimeoutUs = 3000000;
constexpr int kOntimeDataSection = 202;    // tone section of printers with on-time data type 1
constexpr int kMinFirmwareOnTimeRatio = 137;

// One command for the controller's exchange engine: build `commandId` with the builder of the
// current generation from p1..p4 and data/length, exchange it with the answer type, flag and
// time-out given.
struct HeatCommand {
    int commandId = 0;
    int p1 = 0;
    int p2 = 0;
    int p3 = 0;
    int p4 = 0;
    const uint8_t* data = nullptr;
    int length = 0;
    int answerType = 0;
    int flag = 0;
    int timeoutUs = 0;
};

// Runs one exchange and returns its status (0 = success). On success `answer` holds the
// answer's data bytes (empty when the printer sent none).
using HeatExchange = std::function<int(const HeatCommand& command, std::vector<uint8_t>& answer)>;

// What the operations need to know about the controller.
struct HeatContext {
    bool newCommandSet = false;    // `m_NewKDCL` nonzero
    int firmwareVersion = -1;      // `m_bFwVersion`
    int toneSetNumber = 0;         // section of the tone file for the loaded tone set
    std::string toneFilePath;      // the tone file, "<temp folder>/orvprt.ini"
};

// Installs the built-in table chosen by `state.ontimeData` and the firmware version and sends
// it with command 153. Used by the open of a newer printer.
int KD_SendOnTimeTable(HeatTableState& state, const HeatContext& context,
                       const HeatExchange& exchange);

// Behind N_SetOnTimeTable. Older command set: 20, nothing sent. size > 0: sends `size` bytes
// of `data` as the table (a null `data` gives 21). size <= 0: loads tone section `section`,
// or the built-in table when it has none, installs it and sends it.
int KDN_SetOnTimeTable(HeatTableState& state, const HeatContext& context, int section,
                       const uint8_t* data, int size, const HeatExchange& exchange);

// Behind N_StartOfPrinting and the start of every print. Older command set: 0, nothing sent,
// nothing changed. Otherwise stores `rewriteOption` = p1, sets `ribbonPass` (p1 1 -> 3,
// p1 0 -> 1, other values leave it), sends command 154 and takes the on-time data type from
// the answer; then sends the table the printer now needs (type 1: section 202 or set A; back
// to 0 from nonzero: the tone set's section or the built-in table). Returns the first failing
// status, else 0.
int KDN_StartOfPrinting(HeatTableState& state, const HeatContext& context, int p1,
                        int& rewriteOption, int& ribbonPass, const HeatExchange& exchange);

// Behind SetOntimeRatio: firmware below 137 gives 20 and sends nothing; else sends command 77
// with the clamped ratio.
int KD_SetOntimeRatio(const HeatContext& context, int mono1, int mono2, int mono3, int colour,
                      const HeatExchange& exchange);

// The ratio sent before each panel print on older printers (older command set, firmware above
// 136); returns 0 without sending anything otherwise.
int KD_SetAutoOnTimeRatio(const HeatContext& context, int ribbonType, int panelBit,
                          const HeatExchange& exchange);

}  // namespace heat
