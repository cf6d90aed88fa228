// Ribbons: the loaded ribbon's type, information, remaining count and RF tag, ribbon
// synchronisation and sensor, the ribbon type the print path uses and the ribbon maker.
#include <algorithm>
#include <cstring>

#include "api/control_common.h"
#include "core/export_frame.h"
#include "core/format.h"
#include "core/lum_alias.h"
#include "diag/log.h"

using kdapi::Answer;
using kdapi::kSeconds;

namespace {

constexpr int kCheckRibbon = 14;        // !CRS / "CR"
constexpr int kRibbonCount = 15;        // !CRC
constexpr int kRibbonSync = 16;         // !RRS + byte / "SYNC"
constexpr int kRibbonInfoOld = 21;      // "RTI %d"
constexpr int kRibbonSensor = 22;       // !GRS / "&RIB"
constexpr int kGetConfigValue = 25;     // !GCV
constexpr int kSetRibbonType = 33;      // !SRT + 2 bytes / "+RIB %d"
constexpr int kRibbonSyncOptionOld = 41;  // "+RS %d"
constexpr int kGetRibbonMaker = 46;     // !LRM
constexpr int kSetRibbonMaker = 47;     // !SRM + byte / "+RMS %d"
constexpr int kGetRfTag = 56;           // !ARR / "&RFtag"
constexpr int kSetRfTag = 57;           // !ASR + 11 bytes / "&RFTAG " + 8 bytes
constexpr int kGetTagRibbonType = 58;   // !GRR
constexpr int kSetTagRibbonType = 59;   // !SRR + byte
constexpr int kSetSensorAdc = 70;       // !SRS / "SRC %d"
constexpr int kGetSensorAdc = 71;       // "SGR"
constexpr int kCalibrateSensor = 72;    // !SRS / "SRS"

constexpr int kItemRibbonType = 24;
constexpr int kItemRibbonSyncOption = 33;
constexpr int kItemEjectTime = 40;

constexpr int kHalfPanelType = 128;
constexpr int kRfTagWriteCodeA = 0x5C93;
constexpr int kRfTagWriteCodeB = 0x61D4;
constexpr uint8_t kRfTagCheckConstant = 0x2A;

using kdapi::FitsByte;

// Ribbon code of a newer-form type number; 0 for numbers without a code.
int CodeOfTypeNumber(int type) {
    switch (type) {
    case 0: return '1';
    case 1: return '4';
    case 2: return '2';
    case 4: return '5';
    case 6: return '6';
    case 11: return ';';
    case 12: return '<';
    case 14: return '>';
    case 15: return '?';
    case 128: return '3';
    default: return 0;
    }
}

// An older-form code character, kept only when it is one the printers use.
int FilterOlderCode(int code) {
    if ((code >= 0x30 && code <= 0x3D) || (code >= 0x60 && code <= 0x6D)) return code;
    return 0;
}

// Ribbon information reads report a bad answer frame as the RF tag module's time-out.
int TagStatus(CKDCtrl& ctrl, int status) {
    return status == ERR_KD_RESPONSE_FRAME ? ctrl.SetStatus(ERR_KD_RF_TAG_TIMEOUT) : status;
}

int RibbonInfoExOperation(CKDCtrl& ctrl, int type, int* code, int* count) {
    *code = 0;
    *count = 0;
    if (ctrl.m_bFwVersion < 124) return kdapi::FirmwareRefusal(ctrl);
    Answer answer;
    if (ctrl.m_NewKDCL) {
        int status = kdapi::ExchangeForData(ctrl, &answer, kGetConfigValue, 5 * kSeconds,
                                            kItemRibbonType);
        if (status != 0) return TagStatus(ctrl, status);
        if (answer.length < 2) return TagStatus(ctrl, ctrl.SetStatus(ERR_KD_RESPONSE_FRAME));
        const int typeNumber = answer[1];
        *code = CodeOfTypeNumber(typeNumber);
        KD_Log2("Get Ribbon Type : [%d](%d)[%02X]", typeNumber, type, *code);
        int option = 0;
        int typeWord = 0;
        status = kdapi::ReadOptionInformation(ctrl, &option, &typeWord);
        if (status != 0) return TagStatus(ctrl, status);
        if (option & 0x100) {
            status = kdapi::ExchangeForData(ctrl, &answer, kRibbonCount, 13 * kSeconds);
            if (status == 0 && answer.length >= 2) {
                *count = static_cast<int>(kdapi::BigEndian(answer.data, 2));
                KD_Log2("Get Ribbon Count : (%d)", *count);
            }
            ctrl.SetStatus(0);
        }
    } else {
        int status = kdapi::ExchangeForData(ctrl, &answer, kRibbonInfoOld, 5 * kSeconds, type);
        if (status != 0) return TagStatus(ctrl, status);
        *code = FilterOlderCode(answer[0]);
        *count = kdapi::AnswerNumber(answer, 2);
        KD_Log2("Get RF-TAG Ribbon = [%Xh], Count = [%d]", *code, *count);
    }
    KD_Log2("Get Ribbon Type : [%d]", *code);
    return ERR_KD_OK;
}

int CheckRibbonOperation(CKDCtrl& ctrl, int* ribbon, int* tagRibbon) {
    *ribbon = 0;
    if (tagRibbon) *tagRibbon = 0;
    if (ctrl.m_bFwVersion < 116) return kdapi::FirmwareRefusal(ctrl);
    int status = ctrl.KD_Exchange(kCheckRibbon, 0, 5 * kSeconds, 1);
    if (status != 0 && status != ERR_KD_RIBBON_NEAR_END) return status;
    const bool nearEnd = status == ERR_KD_RIBBON_NEAR_END;
    // Near the end, a newer answer still carries its data; an older one is a NAK alone.
    Answer answer{ctrl.m_RspData, ctrl.m_NewKDCL ? ctrl.m_RspCount : 0};
    if (!nearEnd) {
        status = kdapi::TakeAnswer(ctrl, &answer);
        if (status != 0) return status;
        if (answer.length < (tagRibbon && ctrl.m_NewKDCL ? 2 : 1))
            return ctrl.SetStatus(ERR_KD_RESPONSE_FRAME);
    }
    if (answer.length >= 1) *ribbon = answer[0];
    if (tagRibbon) {
        if (ctrl.m_NewKDCL) {
            if (answer.length >= 2) *tagRibbon = answer[1];
        } else {
            int count = 0;
            status = RibbonInfoExOperation(ctrl, 0, tagRibbon, &count);
            if (status != 0) return status;
        }
        KD_Log2("Get Ribbon = %02Xh, RF-Tag Ribbon = %02Xh", *ribbon, *tagRibbon);
    } else {
        KD_Log2("Get Ribbon = %02Xh", *ribbon);
    }
    return ctrl.SetStatus(0);
}

int RibbonSensorOperation(CKDCtrl& ctrl, int* first, int* second) {
    *first = 0;
    if (second) *second = 0;
    if (ctrl.m_bFwVersion < 117) return kdapi::FirmwareRefusal(ctrl);
    Answer answer;
    int status = kdapi::ExchangeForData(ctrl, &answer, kRibbonSensor, 13 * kSeconds);
    if (status != 0) return status;
    if (ctrl.m_NewKDCL) {
        if (answer.length < 4) return ctrl.SetStatus(ERR_KD_RESPONSE_FRAME);
        int value1 = static_cast<int>(kdapi::BigEndian(answer.data, 2));
        const int value2 = static_cast<int>(kdapi::BigEndian(answer.data + 2, 2));
        if (value1 == 0) value1 = value2;
        *first = value1;
        if (second) *second = value2;
        KD_Log2("Get Sensor = %d, %d, Readen = %d", value1, value2, answer.length);
    } else {
        *first = kdapi::AnswerNumber(answer);
        KD_Log2("Get Sensor = %d, Readen = %d", *first, answer.length);
    }
    return ERR_KD_OK;
}

int SetRibbonTypeExOperation(CKDCtrl& ctrl, int p1, int type) {
    kdapi::ControlState& state = kdapi::KD_ControlState();
    if (type == 3) type = kHalfPanelType;
    const int fw = ctrl.m_bFwVersion;
    if (ctrl.m_NewKDCL) {
        if (!FitsByte(p1) || !FitsByte(type)) return ctrl.SetStatus(ERR_KD_PARAMETER_ERROR);
        if (((type == 6 || type == 11 || type == 12) && fw < 227) ||
            ((type == 14 || type == 15) && fw < 234)) {
            KD_Log1("RIBBON Not Support");
            return kdapi::FirmwareRefusal(ctrl);
        }
        state.halfStart[1] = 0;
        state.halfLength[1] = 1013;
        if (type == kHalfPanelType) {
            state.halfStart[0] = 0;
            state.halfLength[0] = 400;
        }
        KD_Log2("KD_SetRibbonType = nType = %d nRibbon %d", p1, type);
        int status = ctrl.KD_Exchange(kSetRibbonType, 0, 3 * kSeconds, 0, p1, type);
        if (status != 0) return status;
    } else {
        if (type == 12 && fw < 150) {
            KD_Log1("RIBBON Not Support");
            return kdapi::FirmwareRefusal(ctrl);
        }
        static constexpr int kAccepted[] = {0, 1, 2, 4, 5, 6, 7, 8, 11, 12, kHalfPanelType};
        if (std::find(std::begin(kAccepted), std::end(kAccepted), type) == std::end(kAccepted))
            return ctrl.SetStatus(ERR_KD_PARAMETER_ERROR);
        if (type != kHalfPanelType) {
            state.halfStart[1] = 0;
            state.halfLength[1] = 1013;
        }
        const int sent = type == 8 ? 4 : type;
        int status = ctrl.KD_Exchange(kSetRibbonType, 0, 3 * kSeconds, 0, sent);
        if (status != 0) return status;
    }
    KD_Log2("KD_SetRibbonType = %d -> %d", state.ribbonType, type);
    state.ribbonType = type;
    return ERR_KD_OK;
}

int SetRibbonTypeOperation(CKDCtrl& ctrl, int type, int halfStart, int halfWidth) {
    int start = 0;
    if (type == kHalfPanelType) {
        if (static_cast<unsigned>(halfStart) > 50 || halfWidth != 35)
            return ctrl.SetStatus(ERR_KD_PARAMETER_ERROR);
        start = std::min(halfStart * 3000 / 254, 590);
    }
    int status = SetRibbonTypeExOperation(ctrl, 0, type);
    // The half-panel window of this call stands, also after the type write reset it.
    kdapi::ControlState& state = kdapi::KD_ControlState();
    if (type == kHalfPanelType) {
        state.halfStart[0] = state.halfStart[1] = start;
        state.halfLength[0] = state.halfLength[1] = 400;
    } else {
        state.halfStart[0] = state.halfStart[1] = 0;
        state.halfLength[0] = 400;
        state.halfLength[1] = 1013;
    }
    return status;
}

// Older form: the ribbon sensor ADC needs firmware 1.36, or an item 40 value of 20 or more.
int OlderAdcGate(CKDCtrl& ctrl) {
    if (ctrl.m_NewKDCL) return ERR_KD_OK;
    int value = 0;
    int status = KD_GetParametersEx(ctrl, kItemEjectTime, &value);
    if (ctrl.m_bFwVersion < 136 && value < 20) {
        ctrl.SetStatus(status);
        return kdapi::FirmwareRefusal(ctrl);
    }
    return ctrl.SetStatus(ERR_KD_OK);
}

int RfTagReadOperation(CKDCtrl& ctrl, int* valid, unsigned char* tag) {
    *valid = 0;
    std::memset(tag, 0, 9);
    if (!ctrl.m_NewKDCL && ctrl.m_bFwVersion < 118) return kdapi::FirmwareRefusal(ctrl);
    Answer answer;
    int status = kdapi::ExchangeForData(ctrl, &answer, kGetRfTag, 15 * kSeconds);
    if (status != 0) return status;
    if (answer.length < 1) return ctrl.SetStatus(ERR_KD_RESPONSE_FRAME);
    if (ctrl.m_NewKDCL) {
        if (answer.length < 10) return ctrl.SetStatus(ERR_KD_RESPONSE_FRAME);
        *valid = answer[0];
        KD_Log2("RF-Tag valid Check = %d", *valid);
        std::memcpy(tag, answer.data + 1, 9);
        KD_Log2("RF-Tag Data = %d bytes", answer.length);
        KD_LogDump(answer.data, answer.length, DUMP_RESPONSE);
    } else {
        *valid = answer[0];
    }
    return ERR_KD_OK;
}

int RfTagWriteOperation(CKDCtrl& ctrl, int code, const unsigned char* tag) {
    if (ctrl.m_NewKDCL) {
        if (code != kRfTagWriteCodeA && code != kRfTagWriteCodeB)
            return ctrl.SetStatus(ERR_KD_COMMAND_ERROR);
        uint8_t data[11];
        data[0] = static_cast<uint8_t>(code >> 8);
        data[1] = static_cast<uint8_t>(code);
        std::memcpy(data + 2, tag, 8);
        uint8_t check = 0;
        for (int i = 0; i < 10; ++i) check ^= data[i];
        data[10] = check ^ kRfTagCheckConstant;
        return ctrl.KD_Exchange(kSetRfTag, 0, 3 * kSeconds, 0, 0, 0, 0, 0, 0, data, 11);
    }
    if (ctrl.m_bFwVersion < 118) return kdapi::FirmwareRefusal(ctrl);
    return ctrl.KD_Exchange(kSetRfTag, 0, 3 * kSeconds, 0, 0, 0, 0, 0, 0, tag, 8);
}

}  // namespace

extern "C" {

ORVPW_API int CheckRibbon(int* pRibbon) {
    return KD_FullFrame("CheckRibbon", "", nullptr, [pRibbon](CKDCtrl& ctrl) {
        if (pRibbon == nullptr) return ctrl.SetStatus(ERR_KD_PARAMETER_ERROR);
        return CheckRibbonOperation(ctrl, pRibbon, nullptr);
    });
}

ORVPW_API int CheckRibbonEx(int* pRibbon, int* pRfTagRibbon) {
    return KD_FullFrame("CheckRibbonEx", "", nullptr, [pRibbon, pRfTagRibbon](CKDCtrl& ctrl) {
        if (pRibbon == nullptr || pRfTagRibbon == nullptr)
            return ctrl.SetStatus(ERR_KD_PARAMETER_ERROR);
        return CheckRibbonOperation(ctrl, pRibbon, pRfTagRibbon);
    });
}

ORVPW_API int CheckRibbonCount(int* pCount) {
    return KD_FullFrame("CheckRibbonCount", "Count = [0]", nullptr, [pCount](CKDCtrl& ctrl) {
        if (pCount == nullptr) return ctrl.SetStatus(ERR_KD_PARAMETER_ERROR);
        *pCount = 0;
        if (ctrl.m_bFwVersion < 120) return kdapi::FirmwareRefusal(ctrl);
        Answer answer;
        int status = kdapi::ExchangeForData(ctrl, &answer, kRibbonCount, 13 * kSeconds);
        if (status != 0) return status;
        if (answer.length < 2) return ctrl.SetStatus(ERR_KD_RESPONSE_FRAME);
        *pCount = static_cast<int>(kdapi::BigEndian(answer.data, 2));
        return ERR_KD_OK;
    });
}

ORVPW_API int SetRibbonSync(void) {
    return KD_FullFrame("SetRibbonSync", "", nullptr, [](CKDCtrl& ctrl) {
        if (ctrl.m_bFwVersion < 120) return kdapi::FirmwareRefusal(ctrl);
        return ctrl.KD_Exchange(kRibbonSync, 0, 13 * kSeconds, 0, 0);
    });
}

ORVPW_API int SetRibbonSyncEx(int nSync) {
    return KD_FullFrame("SetRibbonSyncEx", KD_Format("p1 = [%d]", nSync), nullptr,
                        [nSync](CKDCtrl& ctrl) {
                            if (ctrl.m_NewKDCL && !FitsByte(nSync))
                                return ctrl.SetStatus(ERR_KD_PARAMETER_ERROR);
                            if (ctrl.m_bFwVersion < 120) return kdapi::FirmwareRefusal(ctrl);
                            return ctrl.KD_Exchange(kRibbonSync, 0, 13 * kSeconds, 0, nSync);
                        });
}

ORVPW_API int SetRibbonSyncOption(int nType) {
    return KD_FullFrame("SetRibbonSyncOption", KD_Format("nType = [%d]", nType), nullptr,
                        [nType](CKDCtrl& ctrl) {
                            KD_Log2("m_NewKDCL = %d , Get Type %d", ctrl.m_NewKDCL.load(), nType);
                            if (ctrl.m_NewKDCL)
                                return kdapi::WriteItemNewer(ctrl, kItemRibbonSyncOption, nType);
                            if (ctrl.m_bFwVersion < 120) return kdapi::FirmwareRefusal(ctrl);
                            return ctrl.KD_Exchange(kRibbonSyncOptionOld, 0, 3 * kSeconds, 0, nType);
                        });
}

ORVPW_API int GetRibbonSensor(int* pSensor) {
    return KD_FullFrame("GetRibbonSensor", "", nullptr, [pSensor](CKDCtrl& ctrl) {
        if (pSensor == nullptr) return ctrl.SetStatus(ERR_KD_PARAMETER_ERROR);
        return RibbonSensorOperation(ctrl, pSensor, nullptr);
    });
}

ORVPW_API int GetRibbonSensorEx(int* pSensor1, int* pSensor2) {
    return KD_FullFrame("GetRibbonSensorEx", "", nullptr, [pSensor1, pSensor2](CKDCtrl& ctrl) {
        if (pSensor1 == nullptr || pSensor2 == nullptr)
            return ctrl.SetStatus(ERR_KD_PARAMETER_ERROR);
        return RibbonSensorOperation(ctrl, pSensor1, pSensor2);
    });
}

ORVPW_API int GetRibbonInfo(int nType, char* pInfo, int* pLen) {
    return KD_FullFrame(
        "GetRibbonInfo", KD_Format("nType = [%d]", nType), nullptr,
        [nType, pInfo, pLen](CKDCtrl& ctrl) {
            if (pInfo == nullptr || pLen == nullptr) return ctrl.SetStatus(ERR_KD_PARAMETER_ERROR);
            pInfo[0] = '\0';
            *pLen = 0;
            if (ctrl.m_bFwVersion < 124) return kdapi::FirmwareRefusal(ctrl);
            Answer answer;
            int status = kdapi::ExchangeForData(ctrl, &answer, kRibbonInfoOld, 5 * kSeconds, nType);
            if (status != 0) return TagStatus(ctrl, status);
            const int length = std::min(answer.length, ORVPW_RIBBON_INFO_SIZE - 1);
            std::memcpy(pInfo, answer.data, static_cast<size_t>(length));
            pInfo[length] = '\0';
            *pLen = length;
            KD_Log2("Get Ribbon Info = %s (%d)", pInfo, length);
            return ERR_KD_OK;
        });
}

ORVPW_API int GetRibbonInfoEx(int nType, int* pCode, int* pCount) {
    return KD_FullFrame("GetRibbonInfoEx", KD_Format("nType = [%d]", nType), nullptr,
                        [nType, pCode, pCount](CKDCtrl& ctrl) {
                            if (pCode == nullptr || pCount == nullptr)
                                return ctrl.SetStatus(ERR_KD_PARAMETER_ERROR);
                            return RibbonInfoExOperation(ctrl, nType, pCode, pCount);
                        });
}

ORVPW_API int SetRibbonType(int nRibbonType, int nHalfStart, int nHalfWidth) {
    return KD_FullFrame(
        "SetRibbonType",
        KD_Format("nRibbonType = [%d], nHalfStart = [%d], nHalfWidth = [%d]", nRibbonType,
                  nHalfStart, nHalfWidth),
        nullptr, [=](CKDCtrl& ctrl) {
            return SetRibbonTypeOperation(ctrl, nRibbonType, nHalfStart, nHalfWidth);
        });
}

ORVPW_API int SetRibbonTypeEx(int p1, int nRibbonType) {
    return KD_FullFrame("SetRibbonTypeEx", KD_Format("p1 = [%d], p2 = [%d]", p1, nRibbonType),
                        nullptr, [=](CKDCtrl& ctrl) {
                            return SetRibbonTypeExOperation(ctrl, p1, nRibbonType);
                        });
}

ORVPW_API int SetRibbonSensor(void) {
    return KD_FullFrame("SetRibbonSensor", "", nullptr, [](CKDCtrl& ctrl) {
        if (!ctrl.m_NewKDCL && ctrl.m_bFwVersion < 136) return kdapi::FirmwareRefusal(ctrl);
        return ctrl.KD_Exchange(kCalibrateSensor, 0, 30 * kSeconds, 0);
    });
}

ORVPW_API int SetRibbonSensorADC(int nValue) {
    return KD_FullFrame("SetRibbonSensorADC", KD_Format("nValue = [%d]", nValue), nullptr,
                        [nValue](CKDCtrl& ctrl) {
                            int status = OlderAdcGate(ctrl);
                            if (status != 0) return status;
                            return ctrl.KD_Exchange(kSetSensorAdc, 0, 3 * kSeconds, 0, nValue);
                        });
}

ORVPW_API int GetRibbonSensorADC(int* pValue) {
    return KD_FullFrame("GetRibbonSensorADC", "", nullptr, [pValue](CKDCtrl& ctrl) {
        if (pValue == nullptr) return ctrl.SetStatus(ERR_KD_PARAMETER_ERROR);
        *pValue = 0;
        int status = OlderAdcGate(ctrl);
        if (status != 0) return status;
        Answer answer;
        status = kdapi::ExchangeForData(ctrl, &answer, kGetSensorAdc, 3 * kSeconds);
        if (status != 0) return status;
        *pValue = kdapi::AnswerNumber(answer);
        KD_Log2("GetRibbonSensorADC = [%d]", *pValue);
        return ERR_KD_OK;
    });
}

ORVPW_API int GetRFTagRibbonType(int* pType) {
    return KD_FullFrame("GetRFTagRibbonType", "", nullptr, [pType](CKDCtrl& ctrl) {
        if (pType == nullptr) return ctrl.SetStatus(ERR_KD_PARAMETER_ERROR);
        *pType = 0;
        Answer answer;
        int status = kdapi::ExchangeForData(ctrl, &answer, kGetTagRibbonType, 2 * kSeconds);
        if (status != 0) return status;
        if (answer.length < 1) return ctrl.SetStatus(ERR_KD_RESPONSE_FRAME);
        *pType = answer[0];
        KD_Log2("KD_GetRFTagRibbonType - type = [%d]", *pType);
        return ERR_KD_OK;
    });
}

ORVPW_API int SetRFTagRibbonType(int nType) {
    return KD_FullFrame("SetRFTagRibbonType", KD_Format("type = [%d]", nType), nullptr,
                        [nType](CKDCtrl& ctrl) {
                            if (!FitsByte(nType)) return ctrl.SetStatus(ERR_KD_PARAMETER_ERROR);
                            return ctrl.KD_Exchange(kSetTagRibbonType, 0, 2 * kSeconds, 0, nType);
                        });
}

ORVPW_API int GetRfTag(int* pValid, unsigned char* pTag) {
    return KD_FullFrame("GetRfTag", "", nullptr, [pValid, pTag](CKDCtrl& ctrl) {
        if (pValid == nullptr || pTag == nullptr) return ctrl.SetStatus(ERR_KD_PARAMETER_ERROR);
        return RfTagReadOperation(ctrl, pValid, pTag);
    });
}

ORVPW_API int SetRfTag(int nCode, const unsigned char* pTag) {
    return KD_FullFrame("SetRfTag", KD_Format("p1 = [%d]", nCode), nullptr,
                        [nCode, pTag](CKDCtrl& ctrl) {
                            if (pTag == nullptr) return ctrl.SetStatus(ERR_KD_PARAMETER_ERROR);
                            // The tag is 8 bytes: dump no more than the caller gave.
                            KD_LogDump(pTag, 8, DUMP_AP_DLL);
                            return RfTagWriteOperation(ctrl, nCode, pTag);
                        });
}

ORVPW_API int N_GetRibbonMaker(int* pMaker) {
    return KD_FullFrame("N_GetRibbonMaker", "", "KDN_GetRibbonMaker", [pMaker](CKDCtrl& ctrl) {
        if (pMaker == nullptr) return ctrl.SetStatus(ERR_KD_PARAMETER_ERROR);
        *pMaker = 0;
        Answer answer;
        int status = kdapi::ExchangeForData(ctrl, &answer, kGetRibbonMaker, 3 * kSeconds);
        if (status == 0 && answer.length < 1) status = ctrl.SetStatus(ERR_KD_RESPONSE_FRAME);
        if (status == 0) {
            *pMaker = answer[0];
            ctrl.m_RibbonMaker = answer[0];
            KD_Log2("RibbonMaker      = [%d](m_bFwVersion %d)", *pMaker, ctrl.m_bFwVersion.load());
        }
        kdapi::KD_SelectColorProfiles(ctrl);
        return ctrl.SetStatus(status);
    });
}

ORVPW_API int N_SetRibbonMaker(int nMaker) {
    return KD_FullFrame("N_SetRibbonMaker", KD_Format("Type = [%d]", nMaker), "KDN_SetRibbonMaker",
                        [nMaker](CKDCtrl& ctrl) {
                            if (!FitsByte(nMaker)) return ctrl.SetStatus(ERR_KD_PARAMETER_ERROR);
                            ctrl.m_RibbonMaker = nMaker;
                            int status = ctrl.KD_Exchange(kSetRibbonMaker, 0, 3 * kSeconds, 0, nMaker);
                            kdapi::KD_SelectColorProfiles(ctrl);
                            return ctrl.SetStatus(status);
                        });
}

}  // extern "C"

ORVPW_LUM_ALIAS(CheckRibbon);
ORVPW_LUM_ALIAS(GetRibbonInfo);
ORVPW_LUM_ALIAS(GetRibbonSensor);
ORVPW_LUM_ALIAS(SetRibbonSync);
ORVPW_LUM_ALIAS(SetRibbonSyncOption);
ORVPW_LUM_ALIAS(SetRibbonType);
