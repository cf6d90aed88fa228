// Helpers shared by the printer control exports: answer access, firmware gates, the
// library-side settings these exports keep for the print path, and ribbon-maker profiles.
#pragma once
#include <cstdint>
#include <string>

#include "core/controller.h"
#include "core/status_codes.h"
#include "orvpw.h"

namespace kdapi {

// Time-outs of printer exchanges, in microseconds.
inline constexpr int kSeconds = 1000000;

// The data of the last answer, taken by the rule of KD_GetResponse (newer form: a nonzero
// status word is the status; older form: an empty answer is a bad frame, 5).
struct Answer {
    const uint8_t* data = nullptr;
    int length = 0;
    uint8_t operator[](int index) const { return data[index]; }
};
int TakeAnswer(CKDCtrl& ctrl, Answer* answer);

// Exchange with the data-block flag, then take the answer. Returns the status.
int ExchangeForData(CKDCtrl& ctrl, Answer* answer, int id, int timeoutUs, int p1 = 0, int p2 = 0);

// The status of a firmware gate that refuses: an earlier non-zero status stays, else 20.
int FirmwareRefusal(CKDCtrl& ctrl);

// True when the value travels unchanged in a one-byte field of a newer-form command.
inline bool FitsByte(int value) { return value >= 0 && value <= 0xFF; }

// Big-endian value of `count` bytes (at most 4) from `data`.
uint32_t BigEndian(const uint8_t* data, int count);

// Decimal text of an older-form answer (not NUL-terminated in the buffer) as an integer.
int AnswerNumber(const Answer& answer, int from = 0);

// Newer form: writes configuration item `item` (command 26, value as 4 bytes big-endian).
int WriteItemNewer(CKDCtrl& ctrl, int item, int value);
// Reads configuration item `item` with command 25 in either form: newer, the value bytes
// after a matching item byte (0 when the item byte differs); older, the decimal text.
int ReadItem(CKDCtrl& ctrl, int item, int* value);

// Option and type words of the printer's option information (newer form only).
int ReadOptionInformation(CKDCtrl& ctrl, int* option, int* type);

// True when the printer has no eject timer (from the option and type words).
bool HasNoEjectTimer(const CKDCtrl& ctrl, int option, int type);

// The print path's view of what these exports set in the library.
struct ControlState {
    int ribbonType = 0;
    int halfStart[2] = {0, 0};
    int halfLength[2] = {400, 1013};
    int offsetY = 0;            // print start Y as the caller sees it (item 27)
    int printSpeedMode = 0;     // m_drift
    bool printSpeedFlag = false;
    std::string monitorProfile;
    std::string printerProfile;
    // Print-image adjustments kept in the library.
    unsigned red = 50, green = 50, blue = 50;
    unsigned brightness = 0, contrast = 0;
    bool brightnessContrastSet = false;
    unsigned sharpening = 0;
    bool sharpeningSet = false;
    unsigned diffusion = 0;
    bool diffusionSet = false;
};
ControlState& KD_ControlState();

// Chooses the monitor and printer colour profiles for the ribbon maker and firmware.
void KD_SelectColorProfiles(CKDCtrl& ctrl);
// A ribbon-maker value from a configuration item: reselects the profiles when it changes.
void KD_ChangeRibbonMaker(CKDCtrl& ctrl, int maker);

}  // namespace kdapi

// The generic item read and write with the firmware gates and per-generation forms of the
// item table (GetParametersEx / SetParametersEx without the export frame).
int KD_GetParametersEx(CKDCtrl& ctrl, int item, int* value);
int KD_SetParametersEx(CKDCtrl& ctrl, int item, int value);

// The card feed of the print path: reads the hopper when checkFeeder is set, then inserts a
// card (command 6 with useStartInsert, else command 4). Returns the status.
int KD_FeedCardForPrint(CKDCtrl& ctrl, bool checkFeeder, bool useStartInsert);
