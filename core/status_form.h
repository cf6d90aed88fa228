// The two-character form of a status code (st0, st1) that the status exports return, its
// numeric form st0 * 256 + st1, and the way back from a numeric form to a status code.
#pragma once
#include <cstdint>

struct KD_StatusChars {
    uint8_t st0;
    uint8_t st1;
    int Numeric() const { return (st0 << 8) | st1; }
};

// The two characters of a status code; codes without a form give FFh FFh. Transport code
// 1000 gives 94h 30h ("0" + 100, "0"), the form that reads back as 1000.
KD_StatusChars KD_StatusToChars(int status);

// The status code a numeric form stands for. Special forms map back to their code (the
// first of a group that shares one form, e.g. "9?" gives 1005); FFFFh gives 99; the group
// forms 3630h ("60", codes 60 to 68) and 3730h ("70", codes 70 and 71) stay 13872 and
// 14128; any other form gives (st0 - 30h) * 10 + (st1 - 30h).
int KD_StatusFromNumeric(int numeric);
