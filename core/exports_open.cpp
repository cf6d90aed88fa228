// Open, close and identify exports.
#include <cstring>

#include "core/export_frame.h"
#include "core/format.h"
#include "core/lum_alias.h"
#include "diag/log.h"

namespace {

// Copies text into a caller buffer of `size` bytes, always terminated.
void CopyText(char* destination, size_t size, const std::string& text) {
    if (!destination || size == 0) return;
    size_t n = text.size() < size - 1 ? text.size() : size - 1;
    std::memcpy(destination, text.data(), n);
    destination[n] = '\0';
}

}  // namespace

extern "C" ORVPW_API int OpenDevice(char* pName, int iPortNum) {
    return KD_OpenFrame("OpenDevice",
                        KD_Format("pName = [%s], iPortNum = [%d]", pName ? pName : "", iPortNum),
                        nullptr, [&](CKDCtrl& ctrl) { return ctrl.KD_OpenDevice(pName, 0); });
}
ORVPW_LUM_ALIAS(OpenDevice);

extern "C" ORVPW_API int OpenDeviceEx(char* pName, uint32_t dwFlags) {
    return KD_OpenFrame("OpenDeviceEx",
                        KD_Format("pName = [%s], dwFlags = [%08Xh]", pName ? pName : "", dwFlags),
                        nullptr, [&](CKDCtrl& ctrl) { return ctrl.KD_OpenDevice(pName, dwFlags); });
}
ORVPW_LUM_ALIAS(OpenDeviceEx);

extern "C" ORVPW_API int OpenPortName(wchar_t* pPortName) {
    std::string shown;
    for (const wchar_t* p = pPortName; p && *p && shown.size() < 260; ++p)
        shown.push_back(*p < 0x80 ? static_cast<char>(*p) : '?');
    return KD_OpenFrame("OpenPortName", KD_Format("pPortName = [%s]", shown.c_str()),
                        "KD_OpenDeviceEx", [&](CKDCtrl& ctrl) {
                            KD_Log2("Retry Times = %d -> %d", ctrl.m_RetryTimes.load(), 1);
                            ctrl.m_RetryTimes = 1;
                            ctrl.m_NetDevice.SetRetryTimes(1);
                            return ctrl.KD_OpenPortName(pPortName);
                        });
}

extern "C" ORVPW_API int CloseDevice(int iDeviceType) {
    return KD_OpenFrame("CloseDevice", KD_Format("iDeviceType = [%d]", iDeviceType), nullptr,
                        [&](CKDCtrl& ctrl) {
                            int status = ctrl.KD_PrinterClose();
                            ctrl.m_PortType = KD_PORT_ALL;
                            return status;
                        });
}
ORVPW_LUM_ALIAS(CloseDevice);

extern "C" ORVPW_API int KD5_FreeLibrary(int nType) {
    return KD_OpenFrame("KD5_FreeLibrary", KD_Format("nType = [%d]", nType), "KD_FreeLibrary",
                        [&](CKDCtrl& ctrl) { return ctrl.KD_FreeLibrary(); });
}

extern "C" ORVPW_API int Get_PrinterInfo(char* pResult) {
    std::string version;
    return KD_FullFrame(
        "Get_PrinterInfo", "", nullptr,
        [&](CKDCtrl& ctrl) {
            if (!pResult) return ERR_KD_PARAMETER_ERROR;
            int status = ctrl.KD_GetPrinterInfo(&version, nullptr, nullptr);
            CopyText(pResult, ORVPW_VERSION_TEXT_SIZE, version);
            return status;
        },
        [&](CKDCtrl&) { return KD_Format(" : Result = [%s]", version.c_str()); });
}
ORVPW_LUM_ALIAS(Get_PrinterInfo);

extern "C" ORVPW_API int Get_PrinterInfoEx(char* pVersion, int* pType, int* pModel) {
    std::string version;
    return KD_FullFrame(
        "Get_PrinterInfoEx", "", nullptr,
        [&](CKDCtrl& ctrl) {
            int status = ctrl.KD_GetPrinterInfo(&version, pType, pModel);
            CopyText(pVersion, ORVPW_VERSION_TEXT_SIZE, version);
            return status;
        },
        [&](CKDCtrl& ctrl) {
            return KD_Format(" : KD_GetLastStatusCd = [%d], pVersion = [%s]", ctrl.LastStatus(),
                             version.c_str());
        });
}

extern "C" ORVPW_API int ResetDevice(void) {
    return KD_FullFrame("ResetDevice", "", nullptr,
                        [&](CKDCtrl& ctrl) { return ctrl.KD_ResetDevice(); });
}
ORVPW_LUM_ALIAS(ResetDevice);
