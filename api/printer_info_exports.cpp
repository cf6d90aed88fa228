// Printer information, maintenance and network settings: option and system information,
// model and OEM numbers, cleaning and self test, EEPROM initialisation, configuration save
// and load, the power-control board, the network address, rewrite mode and print speed.
#include <algorithm>
#include <cstring>

#include "api/control_common.h"
#include "core/export_frame.h"
#include "core/format.h"
#include "diag/log.h"

using kdapi::Answer;
using kdapi::kSeconds;

namespace {

constexpr int kSetOptionInfo = 53;     // !AOI + 2 x 2 bytes
constexpr int kGetSystemInfo = 54;     // !GSI + byte / "GSI"
constexpr int kSetSystemInfo = 55;     // !ASI + byte + data
constexpr int kCleaning = 81;          // !RCL / "CLEAN"
constexpr int kSelfTest = 82;          // !RSP + byte / "A %d"
constexpr int kSaveConfig = 85;        // !SCF + byte
constexpr int kLoadConfig = 86;        // !LCF + byte
constexpr int kPowerControl = 87;      // !SCB + byte
constexpr int kSetAddress = 88;        // !SIA + byte + 4 bytes
constexpr int kGetAddress = 89;        // !GIA + byte
constexpr int kEepromInit = 90;        // !SEI + 2 bytes
constexpr int kRewriteMode = 97;       // !CRM + 2 bytes

constexpr int kDhcpType = 3;
constexpr uint8_t kRewriteOn = 0x25;   // '%'
constexpr int kMaxSystemRecord = 8192;

using kdapi::FitsByte;
bool FitsWord(int value) { return value >= 0 && value <= 0xFFFF; }

// Exports of the newer command set only that the older one accepts as a no-op.
template <typename Operation>
int NewerOnlyOrNoOp(const char* name, const std::string& arguments, Operation operation) {
    const std::string inner = std::string("KDN_") + (name + 2);
    return KD_FullFrame(name, arguments, inner.c_str(), [name, operation](CKDCtrl& ctrl) {
        if (!ctrl.m_NewKDCL) {
            KD_Log1("%s - Not Support", name);
            return ctrl.SetStatus(ERR_KD_OK);
        }
        return operation(ctrl);
    });
}

}  // namespace

extern "C" {

ORVPW_API int GetOptionInformation(int* pOption, int* pType) {
    return KD_FullFrame("GetOptionInformation", "", nullptr, [pOption, pType](CKDCtrl& ctrl) {
        if (pOption == nullptr || pType == nullptr) return ctrl.SetStatus(ERR_KD_PARAMETER_ERROR);
        return kdapi::ReadOptionInformation(ctrl, pOption, pType);
    });
}

ORVPW_API int SetOptionInformation(int nOption, int nType) {
    return KD_FullFrame("SetOptionInformation", KD_Format("p1 = [%d], p2 = [%d]", nOption, nType),
                        nullptr, [nOption, nType](CKDCtrl& ctrl) {
                            if (!FitsWord(nOption) || !FitsWord(nType))
                                return ctrl.SetStatus(ERR_KD_PARAMETER_ERROR);
                            const bool typeFirst = ctrl.m_bFwVersion >= 400 && ctrl.m_bFwVersion <= 404;
                            return ctrl.KD_Exchange(kSetOptionInfo, 0, 3 * kSeconds, 0,
                                                    typeFirst ? nType : nOption,
                                                    typeFirst ? nOption : nType);
                        });
}

ORVPW_API int GetSystemInformation(int nType, int* pLen, unsigned char* pData) {
    return KD_FullFrame(
        "GetSystemInformation", KD_Format("p1 = [%d]", nType), nullptr,
        [nType, pLen, pData](CKDCtrl& ctrl) {
            if (pLen == nullptr || pData == nullptr || !FitsByte(nType))
                return ctrl.SetStatus(ERR_KD_PARAMETER_ERROR);
            *pLen = 0;
            if (!ctrl.m_NewKDCL) return ctrl.SetStatus(ERR_KD_COMMAND_ERROR);
            Answer answer;
            int status = kdapi::ExchangeForData(ctrl, &answer, kGetSystemInfo, 3 * kSeconds, nType);
            if (status != 0) return status;
            if (answer.length < 1) return ctrl.SetStatus(ERR_KD_RESPONSE_FRAME);
            if (answer[0] != nType) {
                KD_Log2("Get System Information : Type Mismatch - %02Xh", answer[0]);
                return ERR_KD_OK;
            }
            const int length = answer.length - 1;
            if (length > ORVPW_SYSTEM_INFO_SIZE) {
                KD_Log1("Get System Information : record of %d bytes exceeds the buffer", length);
                return ctrl.SetStatus(ERR_KD_BUFFER);
            }
            std::memcpy(pData, answer.data + 1, static_cast<size_t>(length));
            *pLen = length;
            KD_Log2("Get System Information : (%d)", length);
            KD_LogDump(pData, length, DUMP_DLL_AP);
            return ERR_KD_OK;
        });
}

ORVPW_API int SetSystemInformation(int nType, int nSize, const unsigned char* pData) {
    return KD_FullFrame(
        "SetSystemInformation", KD_Format("p1 = [%d], nSize = [%d]", nType, nSize), nullptr,
        [nType, nSize, pData](CKDCtrl& ctrl) {
            if (!FitsByte(nType) || nSize < 0 || nSize > kMaxSystemRecord ||
                (nSize > 0 && pData == nullptr))
                return ctrl.SetStatus(ERR_KD_PARAMETER_ERROR);
            return ctrl.KD_Exchange(kSetSystemInfo, 0, 3 * kSeconds, 0, nType, 0, 0, 0, 0, pData,
                                    nSize);
        });
}

ORVPW_API int GetModelNation(int* pModelType, int* pOemType) {
    return KD_FullFrame("GetModelNation", "", nullptr, [pModelType, pOemType](CKDCtrl& ctrl) {
        if (pModelType == nullptr || pOemType == nullptr)
            return ctrl.SetStatus(ERR_KD_PARAMETER_ERROR);
        *pModelType = 0;
        *pOemType = 0;
        return ctrl.KD_GetModelType(pModelType, pOemType);
    });
}

ORVPW_API int CleaningMode(void) {
    return KD_FullFrame("CleaningMode", "", nullptr, [](CKDCtrl& ctrl) {
        if (ctrl.m_bFwVersion < 120) return kdapi::FirmwareRefusal(ctrl);
        return ctrl.KD_Exchange(kCleaning, 0, 40 * kSeconds, 0);
    });
}

ORVPW_API int SelfTestMode(int nMode) {
    return KD_FullFrame("SelfTestMode", KD_Format("nMode = [%d]", nMode), nullptr,
                        [nMode](CKDCtrl& ctrl) {
                            if (ctrl.m_NewKDCL && !FitsByte(nMode))
                                return ctrl.SetStatus(ERR_KD_PARAMETER_ERROR);
                            if (ctrl.m_bFwVersion < 120) return kdapi::FirmwareRefusal(ctrl);
                            return ctrl.KD_Exchange(kSelfTest, 0, 40 * kSeconds, 0, nMode);
                        });
}

ORVPW_API int SetEEPRomInit(int nType, int nValue) {
    return KD_FullFrame("SetEEPRomInit", KD_Format("Type = [%d] [%d]", nType, nValue), nullptr,
                        [nType, nValue](CKDCtrl& ctrl) {
                            if (!FitsByte(nType) || !FitsByte(nValue))
                                return ctrl.SetStatus(ERR_KD_PARAMETER_ERROR);
                            return ctrl.KD_Exchange(kEepromInit, 0, 3 * kSeconds, 0, nType, nValue);
                        });
}

ORVPW_API int N_SaveConfigurationData(int nOption) {
    return NewerOnlyOrNoOp("N_SaveConfigurationData", KD_Format("nOption = [%#x]", nOption),
                           [nOption](CKDCtrl& ctrl) {
                               if (!FitsByte(nOption)) return ctrl.SetStatus(ERR_KD_PARAMETER_ERROR);
                               return ctrl.KD_Exchange(kSaveConfig, 0, 13 * kSeconds, 0, nOption);
                           });
}

ORVPW_API int N_LoadConfigurationData(int nOption) {
    return NewerOnlyOrNoOp("N_LoadConfigurationData", KD_Format("nOption = [%#x]", nOption),
                           [nOption](CKDCtrl& ctrl) {
                               if (!FitsByte(nOption)) return ctrl.SetStatus(ERR_KD_PARAMETER_ERROR);
                               return ctrl.KD_Exchange(kLoadConfig, 0, 13 * kSeconds, 0, nOption);
                           });
}

ORVPW_API int N_SetPowerControlBoard(int nOption) {
    return NewerOnlyOrNoOp("N_SetPowerControlBoard", KD_Format("nOption = [%#x]", nOption),
                           [nOption](CKDCtrl& ctrl) {
                               if (!FitsByte(nOption)) return ctrl.SetStatus(ERR_KD_PARAMETER_ERROR);
                               return ctrl.KD_Exchange(kPowerControl, 0, 13 * kSeconds, 0, nOption);
                           });
}

ORVPW_API int N_SetIPAddress(int nType, unsigned char* pAddress) {
    return NewerOnlyOrNoOp(
        "N_SetIPAddress", KD_Format("Type = [%d]", nType), [nType, pAddress](CKDCtrl& ctrl) {
            if (pAddress == nullptr || !FitsByte(nType))
                return ctrl.SetStatus(ERR_KD_PARAMETER_ERROR);
            if (nType == kDhcpType) {
                // Only the first byte of the DHCP setting means something.
                pAddress[1] = pAddress[2] = pAddress[3] = 0;
                KD_Log2("Set Type(%d) DHCP = %02X %02X %02X %02X", nType, pAddress[0],
                        pAddress[1], pAddress[2], pAddress[3]);
            } else {
                KD_Log2("Set Type(%d) Address = %02X %02X %02X %02X", nType, pAddress[0],
                        pAddress[1], pAddress[2], pAddress[3]);
            }
            return ctrl.KD_Exchange(kSetAddress, 0, 13 * kSeconds, 0, nType, 0, 0, 0, 0, pAddress,
                                    4);
        });
}

ORVPW_API int N_GetIPAddress(int nType, unsigned char* pAddress) {
    return NewerOnlyOrNoOp(
        "N_GetIPAddress", KD_Format("Type = [%d]", nType), [nType, pAddress](CKDCtrl& ctrl) {
            if (pAddress == nullptr || !FitsByte(nType))
                return ctrl.SetStatus(ERR_KD_PARAMETER_ERROR);
            std::memset(pAddress, 0, ORVPW_IP_ADDRESS_SIZE);
            Answer answer;
            int status = kdapi::ExchangeForData(ctrl, &answer, kGetAddress, 13 * kSeconds, nType);
            if (status != 0) return status;
            if (answer.length < 1) return ctrl.SetStatus(ERR_KD_RESPONSE_FRAME);
            // The caller's buffer holds one address: never more than that is copied.
            std::memcpy(pAddress, answer.data,
                        static_cast<size_t>(std::min(answer.length, ORVPW_IP_ADDRESS_SIZE)));
            if (nType == kDhcpType)
                KD_Log2("Get DHCP = %02X (%d)", pAddress[0], answer.length);
            else
                KD_Log2("Get Address = %02X %02X %02X %02X (%d)", pAddress[0], pAddress[1],
                        pAddress[2], pAddress[3], answer.length);
            return ERR_KD_OK;
        });
}

ORVPW_API int ConfigureRewriteMode(int nType, int nValue, int* pResult) {
    return KD_FullFrame(
        "ConfigureRewriteMode", KD_Format("nType = [%d] nValue = [%d]", nType, nValue), nullptr,
        [nType, nValue, pResult](CKDCtrl& ctrl) {
            if (pResult == nullptr) return ctrl.SetStatus(ERR_KD_PARAMETER_ERROR);
            *pResult = 0;
            if (nType == 1 || nType == 2)
                return ctrl.KD_Exchange(kRewriteMode, 0, 3 * kSeconds, 0, nType,
                                        nValue == 1 ? kRewriteOn : 0);
            Answer answer;
            int status = kdapi::ExchangeForData(ctrl, &answer, kRewriteMode, 3 * kSeconds, 0, 0);
            if (status != 0) return status;
            if (answer.length < 2) return ctrl.SetStatus(ERR_KD_RESPONSE_FRAME);
            *pResult = (answer[0] == kRewriteOn ? 1 : 0) | (answer[1] == kRewriteOn ? 2 : 0);
            return ERR_KD_OK;
        });
}

ORVPW_API int N_PrintSpeed(int nType) {
    return KD_FullFrame("N_PrintSpeed", KD_Format("Type = [%d]", nType), "KDN_PrintSpeed",
                        [nType](CKDCtrl& ctrl) {
                            kdapi::ControlState& state = kdapi::KD_ControlState();
                            state.printSpeedMode = nType;
                            state.printSpeedFlag = nType == 2;
                            KD_Log2("m_drift = (%d)", nType);
                            return ctrl.LastStatus();
                        });
}

}  // extern "C"
