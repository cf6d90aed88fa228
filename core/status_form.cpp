#include "core/status_form.h"

#include "core/status_codes.h"

namespace {

// Codes whose form does not follow "0" + code / 10, "0" + code mod 10.
struct SpecialForm {
    int first;  // codes first..last share the form rule
    int last;
    uint8_t st0;
    uint8_t st1;        // st1 of `first`
    bool st1Counts;     // st1 rises with the code (else the whole group has one st1)
};

constexpr SpecialForm kSpecialForms[] = {
    {60, 68, '6', '0', false},     {70, 71, '7', '0', false},
    {81, 84, ';', 0x01, true},     {86, 86, ';', 0xF0, false},    {87, 87, ';', 0xF1, false},
    {88, 88, ';', 0x80, false},    {89, 89, ';', 0xFF, false},    {90, 97, '<', 0x5A, true},
    {121, 125, ':', 0x01, true},   {126, 126, ':', 0x10, false},  {127, 127, ':', 0x12, false},
    {128, 128, ':', 0x13, false},  {129, 129, ':', 0x15, false},  {130, 130, ':', 0x1B, false},
    {131, 131, ':', 0x1D, false},  {132, 140, ':', 0xA0, true},   {141, 141, ':', 0xB0, false},
    {142, 142, ':', 0xE4, false},  {143, 143, ':', 0xE5, false},  {145, 145, ':', 0xE7, false},
    {146, 146, ':', 0xF7, false},  {147, 147, ':', 0xF8, false},  {148, 148, ':', 0xFB, false},
    {149, 151, ':', 0x21, true},   {153, 157, ':', 0x24, true},   {159, 159, ':', 0xFF, false},
    {160, 176, ':', 0x30, true},   {190, 190, ';', '>', false},   {191, 191, ';', '?', false},
    {192, 201, '<', '0', true},    {202, 202, '?', '2', false},   {203, 203, '?', '1', false},
    {204, 204, '?', '4', false},   {208, 208, '?', '8', false},   {210, 210, '<', 0xD2, false},
    {240, 243, '<', '@', true},    {1001, 1004, '9', '0', true},  {1005, 1016, '9', '?', false},
    {1017, 1017, '9', ':', false}, {1018, 1018, '9', '?', false}, {1019, 1019, '9', ';', false},
    {1040, 1040, '9', '<', false},
};

bool HasDecimalForm(int status) {
    return status == 0 || status == 4 || status == 5 || (status >= 7 && status <= 57) ||
           (status >= 72 && status <= 78) || status == ERR_DEV_OK;
}

}  // namespace

KD_StatusChars KD_StatusToChars(int status) {
    if (HasDecimalForm(status))
        return {static_cast<uint8_t>('0' + status / 10), static_cast<uint8_t>('0' + status % 10)};
    if (status == ERR_KD_WORKING) return {'0', '3'};
    for (const SpecialForm& form : kSpecialForms) {
        if (status < form.first || status > form.last) continue;
        const int step = form.st1Counts ? status - form.first : 0;
        return {form.st0, static_cast<uint8_t>(form.st1 + step)};
    }
    return {0xFF, 0xFF};
}

int KD_StatusFromNumeric(int numeric) {
    if (numeric == KD_FORM_UNKNOWN) return ERR_KD_UNKNOWN_STATUS_WORD;
    if (numeric == KD_FORM_MS_GROUP || numeric == KD_FORM_IMAGE_GROUP) return numeric;
    const int st0 = numeric >> 8;
    const int st1 = numeric & 0xFF;
    for (const SpecialForm& form : kSpecialForms) {
        if (st0 != form.st0) continue;
        const int span = form.st1Counts ? form.last - form.first : 0;
        if (st1 >= form.st1 && st1 <= form.st1 + span) return form.first + (st1 - form.st1);
    }
    return (st0 - 0x30) * 10 + (st1 - 0x30);
}
