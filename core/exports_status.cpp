// Status exports: the last status in its two-character and numeric forms, the status
// request, clearing the printer's error, the message language and the message texts.
#include <cstring>
#include <exception>
#include <string>

#include "core/export_frame.h"
#include "core/lum_alias.h"
#include "core/status_form.h"
#include "core/status_messages.h"
#include "core/status_request.h"
#include "diag/log.h"

namespace {

// Asks the printer for its status, unless another thread is exchanging with it: then the
// last status is reported without touching the port. Never fails; returns the status.
int QueryStatus(const char* exportName) {
    CKDCtrl& ctrl = KDCtrl();
    const char* operation = "KD_GetPortStatus";
    int status = ctrl.LastStatus();
    bool acquired = false;
    try {
        KD_Log1("[S]%s", exportName);
        acquired = !ctrl.BusyInOtherThread() && ctrl.TryAcquirePrinter();
        if (acquired) {
            status = ctrl.KD_PortCheck(0);
            if (status == 0 && ctrl.m_PurgeNeeded) status = ctrl.KD_ClearReadBuffer(0);
            if (status != 0) {
                operation = "KD_ClearReadBuffer";
            } else {
                operation = "KD_Get_Status";
                status = KD_Get_Status(ctrl);
            }
            ctrl.SetStatus(status);
        }
    } catch (...) {
        // Only a failed allocation gets here; the status stays what it was.
        status = ctrl.LastStatus();
    }
    if (acquired) ctrl.ReleasePrinter();
    KD_Log1("[E]%s - OK, %s : KD_GetLastStatusCd = [%d]", exportName, operation, status);
    return status;
}

void StoreChars(const KD_StatusChars& chars, char* st0, char* st1) {
    if (st0) *st0 = static_cast<char>(chars.st0);
    if (st1) *st1 = static_cast<char>(chars.st1);
}

}  // namespace

extern "C" ORVPW_API int Get_Status(char* st0, char* st1) {
    const int status = KDCtrl().LastStatus();
    const KD_StatusChars chars = KD_StatusToChars(status);
    StoreChars(chars, st0, st1);
    KD_Log1("[.]Get_Status - OK, KD_GetLastStatusCd = [%d], st0 = [%c], st1 = [%c]", status,
            chars.st0, chars.st1);
    return 0;
}
ORVPW_LUM_ALIAS(Get_Status);

extern "C" ORVPW_API int Get_StatusEx(char* st0, char* st1) {
    StoreChars(KD_StatusToChars(QueryStatus("Get_StatusEx")), st0, st1);
    return 0;
}
ORVPW_LUM_ALIAS(Get_StatusEx);

extern "C" ORVPW_API int GetStatusCode(int* pStatus) {
    const int numeric = KD_StatusToChars(QueryStatus("GetStatusCode")).Numeric();
    if (pStatus) *pStatus = numeric;
    return 0;
}

extern "C" ORVPW_API int DeviceErrorClear(void) {
    return KD_FullFrame("DeviceErrorClear", "", nullptr,
                        [](CKDCtrl& ctrl) { return KD_DeviceErrorClear(ctrl); });
}
ORVPW_LUM_ALIAS(DeviceErrorClear);

// The language only changes how statuses read: the last status stays for the message
// the caller asks for next.
extern "C" ORVPW_API int Set_LanguageID(int nLangID) {
    KD_Log1("[S]Set_LanguageID - nLangID = [%0Xh]", static_cast<unsigned>(nLangID));
    KDMessage().SetLanguage(nLangID);
    KD_Log1("[E]Set_LanguageID - OK, KD_Set_LanguageID : KD_GetLastStatusCd = [%d]",
            KDCtrl().LastStatus());
    return 0;
}
ORVPW_LUM_ALIAS(Set_LanguageID);

extern "C" ORVPW_API int Get_StatusMessage(int nStatus, int nType, char* pMessage) {
    try {
        int status;
        int shownCode;
        if (nStatus > 0) {
            status = KD_StatusFromNumeric(nStatus);
            shownCode = nStatus;
        } else {
            status = KDCtrl().LastStatus();
            shownCode = KD_StatusToChars(status).Numeric();
        }
        std::string text = KDMessage().Text(status, nType);
        text.resize(KD_Utf8Prefix(text, ORVPW_STATUS_MESSAGE_SIZE - 1));
        if (pMessage) std::memcpy(pMessage, text.c_str(), text.size() + 1);
        KD_Log1("[.]Get_StatusMessage - OK : KD_GetLastStatusCd = [%d], [%X] = [%s]", status,
                static_cast<unsigned>(shownCode), text.c_str());
    } catch (...) {
        if (pMessage) *pMessage = '\0';
    }
    return 0;
}
ORVPW_LUM_ALIAS(Get_StatusMessage);
