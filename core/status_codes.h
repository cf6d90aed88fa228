// Status codes the core sets itself. One space is shared by printer error numbers,
// transport errors (1000 + driver status) and the library's own checks.
#pragma once

inline constexpr int ERR_KD_OK = 0;
inline constexpr int ERR_KD_WORKING = 3;
inline constexpr int ERR_KD_USB_TIME_OUT = 4;        // no or late answer
inline constexpr int ERR_KD_RESPONSE_FRAME = 5;      // malformed answer
inline constexpr int ERR_KD_NACK = 9;
inline constexpr int ERR_KD_COMMAND_ERROR = 20;      // command not valid / not in this generation / firmware too old
inline constexpr int ERR_KD_PARAMETER_ERROR = 21;
inline constexpr int ERR_KD_CLEAR_NOT_NEEDED = 22;
inline constexpr int ERR_KD_RIBBON_NEAR_END = 35;    // a warning: counts as success in an exchange
// Printer error numbers the control exports look at or the simulator raises.
inline constexpr int ERR_KD_TPH_OPEN = 10;           // print-head cover open
inline constexpr int ERR_KD_CARD_JAM = 12;
inline constexpr int ERR_KD_CARD_INPUT_TIMEOUT = 34; // no card came from the hopper
inline constexpr int ERR_KD_RIBBON_FINISHED = 36;    // no usable ribbon
inline constexpr int ERR_KD_RF_TAG_TIMEOUT = 41;     // ribbon reads: a bad answer frame
inline constexpr int ERR_KD_CHANGER_RESPONSE_TIMEOUT = 50;
inline constexpr int ERR_KD_CHANGER_SEND_TIMEOUT = 51;
inline constexpr int ERR_KD_MS_TRACK_DATA = 69;     // the shown code of the folded form "60"
inline constexpr int ERR_KD_IMAGE_PROCESS = 70;      // also the shown code of the folded form "70"
inline constexpr int ERR_KD_BUFFER = 70;
inline constexpr int ERR_KD_FILE = 71;
inline constexpr int ERR_KD_UNKNOWN_STATUS_WORD = 99;
inline constexpr int ERR_KD_HOPPER_EMPTY_WARNING = 181;
inline constexpr int ERR_KD_WARNING_233 = 233;
inline constexpr int ERR_KD_PJS_203 = 203;
inline constexpr int ERR_DEV_OK = 1000;
inline constexpr int ERR_DEV_INVALID_HANDLE = 1001;
inline constexpr int ERR_DEV_NOT_FOUND = 1002;
inline constexpr int ERR_DEV_NOT_OPENED = 1003;
inline constexpr int ERR_DEV_IO_ERROR = 1004;
inline constexpr int ERR_DEV_NO_LIST_ENTRY = 1006;  // no device at that list position
inline constexpr int ERR_DEV_LAST_TRANSPORT = 1040;
// Numeric two-character forms that stand for a group of codes ("60", "70", "00").
inline constexpr int KD_FORM_MS_GROUP = 0x3630;      // 13872: codes 60 to 68
inline constexpr int KD_FORM_IMAGE_GROUP = 0x3730;   // 14128: codes 70 and 71
inline constexpr int KD_FORM_SUCCESS = 0x3030;       // 12336
inline constexpr int KD_FORM_UNKNOWN = 0xFFFF;       // a code without a two-character form

inline bool KD_IsTransportError(int status) { return status >= 1001 && status <= 1040; }
// Statuses the exchange treats as success: warnings that do not stop a command.
inline bool KD_IsSuccessLike(int status) {
    return status == 0 || status == 35 || status == 181 || status == 233 || status == 1000;
}
