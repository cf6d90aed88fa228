// Set-up exports of the controller: log redirection, command-set generation, retries,
// port type and open type.
#include "core/export_frame.h"
#include "core/format.h"
#include "core/lum_alias.h"
#include "diag/log.h"

extern "C" ORVPW_API int SetLogPathFile(const char* pLogFile) {
    return KD_SettingFrame("SetLogPathFile", KD_Format("pLogFile = [%s]", pLogFile ? pLogFile : "(null)"),
                           nullptr, [&](CKDCtrl&) { return KD_SetLogPathFile(pLogFile); });
}
ORVPW_LUM_ALIAS(SetLogPathFile);

extern "C" ORVPW_API int SetLogPathFileMonth(const char* pLogPath, const char* pLogFile, int nMonth) {
    return KD_SettingFrame(
        "SetLogPathFileMonth",
        KD_Format("pLogPath = [%s], pLogFile = [%s], nMonth = [%d]", pLogPath ? pLogPath : "(null)",
                  pLogFile ? pLogFile : "(null)", nMonth),
        nullptr, [&](CKDCtrl&) { return KD_SetLogPathFileMonth(pLogPath, pLogFile, nMonth); });
}
ORVPW_LUM_ALIAS(SetLogPathFileMonth);

extern "C" ORVPW_API int GetKdclType(int* nType) {
    return KD_SettingFrame(
        "GetKdclType", "", nullptr,
        [&](CKDCtrl& ctrl) {
            if (!nType) return ERR_KD_PARAMETER_ERROR;
            *nType = ctrl.m_NewKDCL;
            KD_Log2("m_NewKDCL = %d , Get Type %d", ctrl.m_NewKDCL.load(), *nType);
            return 0;
        },
        [&](CKDCtrl& ctrl) {
            return KD_Format(" : KD_GetLastStatusCd = [%d]  nType = [%d]", ctrl.LastStatus(), *nType);
        });
}

extern "C" ORVPW_API int SetKdclType(int nType) {
    return KD_SettingFrame("SetKdclType", KD_Format("nType = [%d]", nType), nullptr,
                           [&](CKDCtrl& ctrl) {
                               ctrl.SetNewKDCL(nType);
                               return 0;
                           });
}

extern "C" ORVPW_API int SetRetryTimes(int nTimes) {
    return KD_SettingFrame("SetRetryTimes", KD_Format("nTimes = [%d]", nTimes), nullptr,
                           [&](CKDCtrl& ctrl) {
                               int clamped = nTimes < 1 ? 1 : nTimes > 5 ? 5 : nTimes;
                               KD_Log2("Retry Times = %d -> %d", nTimes, clamped);
                               ctrl.m_RetryTimes = clamped;
                               ctrl.m_NetDevice.SetRetryTimes(clamped);
                               ctrl.m_ComDevice.SetRetryTimes(clamped);
                               return 0;
                           });
}

extern "C" ORVPW_API int SetConnectPort(int PortType) {
    return KD_SettingFrame("SetConnectPort", KD_Format("PortType = [%d]", PortType), nullptr,
                           [&](CKDCtrl& ctrl) {
                               if (PortType != ctrl.m_PortType) {
                                   ctrl.AcquirePrinter();
                                   ctrl.KD_PrinterClose();
                                   ctrl.m_PortType = PortType;
                                   ctrl.ReleasePrinter();
                                   KD_Log2("m_PortType = %d - KD_SetConnectPort", PortType);
                               }
                               return 0;
                           });
}
ORVPW_LUM_ALIAS(SetConnectPort);

extern "C" ORVPW_API int SetOpenType(int OpenType) {
    return KD_SettingFrame("SetOpenType", KD_Format("OpenType = [%d]", OpenType), nullptr,
                           [&](CKDCtrl& ctrl) {
                               KD_Log2("Open Type = %d -> %d", ctrl.m_OpenType.load(), OpenType);
                               ctrl.m_OpenType = OpenType;
                               return 0;
                           });
}
ORVPW_LUM_ALIAS(SetOpenType);
