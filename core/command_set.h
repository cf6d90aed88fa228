// The printer command language KDCL in both generations: the table of command IDs 1..266,
// the two builders and the classifier of older-form commands.
//
// Newer form (KDCL_MakeCommand): ESC, class character and three-letter mnemonic, a 4-byte
// big-endian count n of the bytes that follow, n parameter/data bytes, CR. 10 + n bytes.
// Older form (KDCL_MakeCommandOld): ESC, the ID's text template formatted with the parameters
// (%d decimal, %c one byte, %% one '%'), the raw data bytes for rows that carry data, CR.
//
// Both builders write a zero after the CR (not counted in the returned length) and return 0,
// building nothing, for an ID the generation does not know; the exchange then refuses the
// empty command with status 20 without touching the port.
//
// Buffer rule: the builders never write past outSize. When the command plus its terminating
// zero would not fit, or when dataLength is negative, or data is null with a positive
// dataLength, they return 0 (and clear out[0] when there is room for it), so the exchange
// refuses the command with status 20 as for an unknown ID.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// Highest command ID of either generation.
inline constexpr int KDCL_MAX_COMMAND_ID = 266;

// Builds the newer-form command `commandId`. Parameter fields take the low 1, 2 or 4 bytes of
// p1..p5 (big-endian) as the ID's row says; rows ending with data append data[0..dataLength).
// *lastCommandId (when not null) receives commandId in every case: the exchange's status
// resolution reads it as the controller's "last command ID".
// Returns the length including the CR, or 0 (see the buffer rule above).
int KDCL_MakeCommand(int commandId, int* lastCommandId, int p1, uint8_t* out, size_t outSize,
                     int p2 = 0, int p3 = 0, int p4 = 0, int p5 = 0,
                     const uint8_t* data = nullptr, int dataLength = 0) noexcept;

// Builds the older-form (text) command `commandId`. Note the parameter order: p2 comes first.
// p4 and p5 are 16-bit values and are formatted as such. Where a row offers two templates,
// "+RIB %c" replaces "+RIB %d" when p1 >= 128 (IDs 33, 156) and the template without a number
// is used when p1 == 0 (IDs 157, 159, 160, 161, 176, 177, 178). A %c parameter whose byte is 0
// ends the text there (the printer's text never holds a NUL); data, if any, still follows.
// Returns the length including the CR, or 0 (see the buffer rule above).
int KDCL_MakeCommandOld(int p2, int commandId, int p1, uint8_t* out, size_t outSize,
                        int p3 = 0, int p4 = 0, int p5 = 0, int p6 = 0, int p7 = 0,
                        const uint8_t* data = nullptr, int dataLength = 0) noexcept;

// Classifies an older-form command that may come from the application: returns 1 when the
// printer answers it with a data block, 0 when an ACK alone is expected, and raises
// *timeoutUs (microseconds, may be null) to at least the time the command needs.
// A command not starting with ESC (or empty, or null) gets 0 and at least 3000000.
int KDCL_OLD_Response(const uint8_t* command, int length, int* timeoutUs);

// ---- The command table ----------------------------------------------------------------

// One element of a row's parameter list. The newer form lists the bytes after the header in
// order; the older form lists the sources of the template's conversions in order.
enum class KDCL_Param : uint8_t {
    END = 0,             // unused slot; every list stops at the first END
    P1, P2, P3, P4, P5, P6, P7,  // newer: the low byte; older: one %d or %c
    P1_2BYTES, P1_4BYTES,        // newer only: big-endian fields of the given width
    P2_2BYTES, P2_4BYTES,
    P3_2BYTES, P3_4BYTES,
    P4_2BYTES, P5_2BYTES,
    ZERO_BYTE,           // newer only: a constant 00h
    DATA,                // newer only, last: data[0..dataLength)
    FIRST_4_DATA_BYTES,  // newer only: data[0..4); needs dataLength >= 4
    P2_AS_4_CHARS,       // older only: four %c from p2's bytes, most significant first
    PLUS_DATA,           // older only, last: the data bytes follow the text
};

inline constexpr size_t KDCL_MAX_PARAMS = 8;
using KDCL_ParamList = std::array<KDCL_Param, KDCL_MAX_PARAMS>;

struct KDCL_NewerForm {
    const char* code;  // class character and mnemonic, e.g. "!RIP"; null: no newer form
    KDCL_ParamList fields;
};

enum class KDCL_OlderChoice : uint8_t {
    ONE_TEMPLATE,           // only `text`
    CHAR_WHEN_P1_FROM_128,  // `alternative` (with %c) when p1 >= 128
    SHORT_WHEN_P1_ZERO,     // `alternative` (no conversions, no arguments) when p1 == 0
};

struct KDCL_OlderForm {
    const char* text;         // template as stored ("%%" is one '%'); null: no older form
    const char* alternative;  // second template of an "or" row, else null
    KDCL_OlderChoice choice;
    KDCL_ParamList args;
};

struct KDCL_CommandRow {
    int id;
    KDCL_NewerForm newer;
    KDCL_OlderForm older;
};

// The row of a command ID, or null for an ID no generation defines.
const KDCL_CommandRow* KDCL_FindCommand(int commandId) noexcept;
