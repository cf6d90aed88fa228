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
inline constexpr int ERR_DEV_LAST_TRANSPORT = 1040;

inline bool KD_IsTransportError(int status) { return status >= 1001 && status <= 1040; }
// Statuses the exchange treats as success: warnings that do not stop a command.
inline bool KD_IsSuccessLike(int status) {
    return status == 0 || status == 35 || status == 181 || status == 233 || status == 1000;
}
