#include "core/status_request.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "core/controller.h"
#include "core/status_codes.h"
#include "diag/log.h"

namespace {

constexpr int kClearError = 2;       // !RCE / "."
constexpr int kStatusRequest = 18;   // !CSS / "S"
constexpr int kStatusRequestNewerUs = 5000000;
constexpr int kStatusRequestOlderUs = 3000000;
constexpr int kClearErrorUs = 3000000;
constexpr int kFirstClearingFirmware = 107;
constexpr uint16_t kWorkingStatusWord = 0x1001;
// Largest status an older printer's decimal text can carry: beyond it the text is not a status.
constexpr int kMaxOlderStatus = 100000;

std::atomic<bool> g_ClearSupported{true};


}  // namespace

int KD_ConvertStatusWord(uint16_t word) {
    switch (word) {
    case 0x0000:
    case 0x0006:
    case 0x1000: case 0x1001: case 0x1002: case 0x1004: case 0x1005: case 0x1008:
        return 0;
    case 0x0015:
        return ERR_KD_NACK;
    default:
        break;
    }
    if (word >= 0x8000 && word <= 0x8FFF) return word & 0xFF;
    return ERR_KD_UNKNOWN_STATUS_WORD;
}

int KD_GetResponse(CKDCtrl& ctrl, uint8_t* out, int outSize, int* outLength) {
    const int available = std::clamp(ctrl.m_RspCount, 0, CKDDevice::kResponseBufferSize);
    const int copied = out ? std::min(available, std::max(outSize, 0)) : 0;
    if (copied > 0) std::memcpy(out, ctrl.m_RspData, static_cast<size_t>(copied));
    if (outLength) *outLength = copied;

    if (ctrl.m_NewKDCL) {
        if (KD_PortCarriesStatusWord(ctrl.m_PortType) && ctrl.m_RspStatusWord != 0)
            return ctrl.SetStatus(KD_ConvertStatusWord(ctrl.m_RspStatusWord));
        return ctrl.SetStatus(0);
    }
    if (available == 0) {
        KD_Log2("Length of Response = %d => ERR_KD_DATA_FRAME_ERROR", available);
        ctrl.m_PurgeNeeded = 1;
        return ctrl.SetStatus(ERR_KD_RESPONSE_FRAME);
    }
    return ctrl.SetStatus(0);
}

int KD_Get_Status(CKDCtrl& ctrl) {
    const bool newer = ctrl.m_NewKDCL != 0;
    int status = ctrl.KD_Exchange(kStatusRequest, 0,
                                  newer ? kStatusRequestNewerUs : kStatusRequestOlderUs, 1);
    if (status == 0) {
        char text[16] = {};
        int length = 0;
        status = KD_GetResponse(ctrl, reinterpret_cast<uint8_t*>(text), sizeof text - 1, &length);
        if (newer) {
            if (ctrl.m_RspStatusWord == kWorkingStatusWord) status = ERR_KD_WORKING;
        } else if (status == 0) {
            // The older printer answers its error number as decimal text ("0" = none).
            int number = 0;
            int digits = 0;
            for (int i = 0; i < length && text[i] >= '0' && text[i] <= '9'; ++i, ++digits) {
                number = number * 10 + (text[i] - '0');
                if (number > kMaxOlderStatus) break;
            }
            status = digits == 0 || number > kMaxOlderStatus ? ERR_KD_RESPONSE_FRAME : number;
        }
    }
    KD_Log2("Status Code = %04Xh, m_nLastStatusCd = %d", ctrl.m_RspStatusWord, status);
    return ctrl.SetStatus(status);
}

int KD_DeviceErrorClear(CKDCtrl& ctrl) {
    const int firmware = ctrl.KD_GetFwVersion();
    if (firmware >= 1 && firmware < kFirstClearingFirmware) {
        const int last = ctrl.LastStatus();
        if (last != 0) return last;
        g_ClearSupported = false;
        return ctrl.SetStatus(ERR_KD_COMMAND_ERROR);
    }
    int status = ctrl.KD_Exchange(kClearError, 0, kClearErrorUs, 0);
    if (status == ERR_KD_COMMAND_ERROR || status == ERR_KD_USB_TIME_OUT) {
        g_ClearSupported = false;
        return ctrl.SetStatus(ERR_KD_COMMAND_ERROR);
    }
    g_ClearSupported = true;
    return ctrl.SetStatus(status);
}

bool KD_ErrorClearSupported() { return g_ClearSupported; }
