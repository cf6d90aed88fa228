// Parameters and adjustments: the generic configuration-item read and write with the item
// table, the one-adjustment exports, print counters, and the print-image adjustments the
// library keeps for the print path.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "api/control_common.h"
#include "core/export_frame.h"
#include "core/format.h"
#include "core/lum_alias.h"
#include "diag/log.h"

using kdapi::Answer;
using kdapi::kSeconds;

namespace {

constexpr int kGetConfigValue = 25;  // !GCV / "!V %d"
constexpr int kGetMotorDuty = 23;    // !GDV + byte / "!RMD"
constexpr int kSetMotorDuty = 24;    // !SDV + byte / "+RMD %d"
constexpr int kOffsetXOld = 34;      // "+O %d %d"
constexpr int kOffsetYOld = 35;      // "+OY %d"
constexpr int kFineAdjustOld = 36;   // "+OS %d"
constexpr int kMonoModeOld = 37;     // "+CD %d"
constexpr int kGetPrintCount = 39;   // !GPC
constexpr int kSetPrintCount = 40;   // !SPC + 4 bytes / "!SPC %d"
constexpr int kSetLcdContrast = 68;  // !SDP + 2 bytes / "SLC %d"
constexpr int kGetLcdContrast = 69;  // !GDP + byte / "SGL"
constexpr int kSetPotentiometer = 73;  // !SDP + 2 bytes
constexpr int kGetPotentiometer = 74;  // !GDP + byte
constexpr int kGetSensorPos = 75;    // !GSC / "!V %d"
constexpr int kSetSensorPos = 76;    // !SSC + byte / "+MRS %d"
constexpr int kGetCardCounters = 260;  // !GCC
constexpr int kSetCardCounter = 261;   // !SCC + byte + 4 bytes

constexpr int kItemPrintStartX = 25;
constexpr int kItemPrintEndX = 26;
constexpr int kItemPrintStartY = 27;
constexpr int kItemPrintCount = 32;
constexpr int kItemOlderOnly = 37;
constexpr int kItemRibbonMaker = 38;
constexpr int kItemEjectTime = 40;
constexpr int kItemSensorPosOld = 42;
constexpr int kItemMonoTag = 47;

using kdapi::FitsByte;

// FW 4.00 to 4.08 keep the X items exchanged and the Y start mirrored.
bool MirroredOffsets(const CKDCtrl& ctrl) {
    return ctrl.m_bFwVersion >= 400 && ctrl.m_bFwVersion <= 408;
}

// Lowest firmware that may read an item (and write it in the older form); 0 = any.
int MinimumFirmware(int item) {
    switch (item) {
    case 30: return 111;
    case 31: return 116;
    case 32: return 117;
    case 33: case 34: return 120;
    case 37: return 131;
    case 38: case 39: return 142;
    default: return 0;
    }
}

bool BelowItemFirmware(const CKDCtrl& ctrl, int item) {
    const int minimum = MinimumFirmware(item);
    return minimum != 0 && ctrl.m_bFwVersion < minimum;
}

bool IsTrackPosition(int item) { return item >= 52 && item <= 55; }

int SwapXItems(int item) {
    if (item == kItemPrintStartX) return kItemPrintEndX;
    if (item == kItemPrintEndX) return kItemPrintStartX;
    return item;
}

// The older form's per-item write; 0 when the item has no older-form write.
struct OlderWrite {
    int id;
    bool valueInP2;  // the value travels as p2 (p1 = colour, or unused)
    int p1;
};
OlderWrite OlderWriteOf(int item) {
    if (item == 10) return {27, false, 0};
    if (item >= 11 && item <= 14) return {28, true, item - 11};
    if (item >= 15 && item <= 18) return {29, true, item - 15};
    switch (item) {
    case 19: return {30, true, 0};
    case 20: return {31, true, 0};
    case 23: return {32, false, 0};
    case 24: return {33, false, 0};
    case 27: return {35, false, 0};
    case 28: return {36, false, 0};
    case 30: return {37, false, 0};
    case 31: return {38, false, 0};
    case 32: return {40, false, 0};
    case 33: return {41, false, 0};
    case 34: return {42, false, 0};
    case 37: return {45, false, 0};
    case 38: return {47, false, 0};
    case 39: return {48, false, 0};
    default: return {0, false, 0};
    }
}

int TrackPositionRefusal(CKDCtrl& ctrl, int item) {
    KD_Log1("MS Track position set does not support (p1 = %d) Under F/W ver 417", item);
    return ctrl.SetStatus(ERR_KD_COMMAND_ERROR);
}

void RememberItem(CKDCtrl& ctrl, int item, int callerValue, bool olderRead) {
    if (item == kItemPrintStartY) kdapi::KD_ControlState().offsetY = callerValue;
    if (item == kItemRibbonMaker && olderRead) kdapi::KD_ChangeRibbonMaker(ctrl, callerValue);
}

// Reads an older-form value item (the ADC and LCD gates): FW 1.36, or item 40 >= 20.
int OlderItem40Gate(CKDCtrl& ctrl) {
    if (ctrl.m_NewKDCL) return ERR_KD_OK;
    int value = 0;
    int status = KD_GetParametersEx(ctrl, kItemEjectTime, &value);
    if (ctrl.m_bFwVersion < 136 && value < 20) {
        ctrl.SetStatus(status);
        return kdapi::FirmwareRefusal(ctrl);
    }
    return ctrl.SetStatus(ERR_KD_OK);
}

int OffsetXOperation(CKDCtrl& ctrl, int xStart, int xEnd) {
    if (!ctrl.m_NewKDCL) return ctrl.KD_Exchange(kOffsetXOld, 0, 3 * kSeconds, 0, xStart, xEnd);
    if (MirroredOffsets(ctrl)) {
        xStart = 30 - xStart;
        xEnd = 20 - xEnd;
    }
    int status = kdapi::WriteItemNewer(ctrl, kItemPrintStartX, xStart);
    if (status != 0) return status;
    return kdapi::WriteItemNewer(ctrl, kItemPrintEndX, xEnd);
}

int OffsetYOperation(CKDCtrl& ctrl, int yStart) {
    int status = 0;
    if (ctrl.m_NewKDCL) {
        int sent = yStart;
        if (MirroredOffsets(ctrl)) {
            sent = 32 - yStart;
            KD_Log2("yStart = %d", sent);
        }
        status = kdapi::WriteItemNewer(ctrl, kItemPrintStartY, sent);
    } else {
        status = ctrl.KD_Exchange(kOffsetYOld, 0, 3 * kSeconds, 0, yStart);
    }
    if (status == 0) kdapi::KD_ControlState().offsetY = yStart;
    return status;
}

int PrintCountOperation(CKDCtrl& ctrl, int* count) {
    *count = 0;
    if (ctrl.m_bFwVersion < 117) return kdapi::FirmwareRefusal(ctrl);
    Answer answer;
    int status = ctrl.m_NewKDCL
                     ? kdapi::ExchangeForData(ctrl, &answer, kGetPrintCount, 3 * kSeconds)
                     : kdapi::ExchangeForData(ctrl, &answer, kGetConfigValue, 3 * kSeconds,
                                              kItemPrintCount);
    if (status != 0) return status;
    if (ctrl.m_NewKDCL) {
        if (answer.length < 1) return ctrl.SetStatus(ERR_KD_RESPONSE_FRAME);
        *count = static_cast<int>(kdapi::BigEndian(answer.data, std::min(answer.length, 4)));
    } else {
        *count = kdapi::AnswerNumber(answer);
    }
    KD_Log2("Get Print Count = %d", *count);
    return ERR_KD_OK;
}

// The card counter block: counters 0-3 of 4 bytes, 4 of 2 bytes, from FW 4.20 also 5 (4
// bytes) and 6 (2 bytes).
struct CounterField {
    int offset;
    int size;
};
constexpr CounterField kCounterFields[7] = {{0, 4}, {4, 4}, {8, 4}, {12, 4}, {16, 2}, {18, 4}, {22, 2}};

int CardCountersOperation(CKDCtrl& ctrl, int counters[7]) {
    std::fill(counters, counters + 7, 0);
    Answer answer;
    int status = kdapi::ExchangeForData(ctrl, &answer, kGetCardCounters, 3 * kSeconds);
    if (status != 0) return status;
    const int fields = ctrl.m_bFwVersion >= 420 ? 7 : 5;
    const CounterField& last = kCounterFields[fields - 1];
    if (answer.length < last.offset + last.size) return ctrl.SetStatus(ERR_KD_RESPONSE_FRAME);
    for (int i = 0; i < fields; ++i)
        counters[i] = static_cast<int>(
            kdapi::BigEndian(answer.data + kCounterFields[i].offset, kCounterFields[i].size));
    return ERR_KD_OK;
}

// Byte read of a newer-form command with an optional parameter byte.
int FirstByteRead(CKDCtrl& ctrl, int id, int timeoutUs, int p1, int* value) {
    *value = 0;
    Answer answer;
    int status = kdapi::ExchangeForData(ctrl, &answer, id, timeoutUs, p1);
    if (status != 0) return status;
    if (answer.length < 1) return ctrl.SetStatus(ERR_KD_RESPONSE_FRAME);
    *value = answer[0];
    return ERR_KD_OK;
}

template <typename Operation>
int OutFrame(const char* name, const std::string& arguments, int* out, Operation operation) {
    return KD_FullFrame(name, arguments, nullptr, [out, operation](CKDCtrl& ctrl) {
        if (out == nullptr) return ctrl.SetStatus(ERR_KD_PARAMETER_ERROR);
        *out = 0;
        return operation(ctrl);
    });
}

}  // namespace

int KD_GetParametersEx(CKDCtrl& ctrl, int item, int* value) {
    *value = 0;
    if (BelowItemFirmware(ctrl, item) || item <= 9) return kdapi::FirmwareRefusal(ctrl);
    int sent = item;
    if (ctrl.m_NewKDCL) {
        if (item == kItemOlderOnly) return ctrl.SetStatus(ERR_KD_COMMAND_ERROR);
        if (IsTrackPosition(item) && ctrl.m_bFwVersion <= 416)
            return TrackPositionRefusal(ctrl, item);
        if (MirroredOffsets(ctrl)) sent = SwapXItems(item);
    } else if (item == 35 || item == 36) {
        return ctrl.SetStatus(ERR_KD_COMMAND_ERROR);
    }
    int read = 0;
    int status = kdapi::ReadItem(ctrl, sent, &read);
    if (status != 0) return status;
    if (ctrl.m_NewKDCL && MirroredOffsets(ctrl) && item == kItemPrintStartY) read = 32 - read;
    *value = read;
    KD_Log2("Get Parameters : [%d] = %d", item, read);
    RememberItem(ctrl, item, read, !ctrl.m_NewKDCL);
    return ERR_KD_OK;
}

int KD_SetParametersEx(CKDCtrl& ctrl, int item, int value) {
    int status = 0;
    if (!ctrl.m_NewKDCL) {
        if (item == 35 || item == 36) return ctrl.SetStatus(ERR_KD_COMMAND_ERROR);
        if (BelowItemFirmware(ctrl, item)) return kdapi::FirmwareRefusal(ctrl);
        if (item == kItemPrintStartX || item == kItemPrintEndX) {
            // "+O start end" carries both: read the other one first.
            int other = 0;
            const int otherItem = SwapXItems(item);
            status = KD_GetParametersEx(ctrl, otherItem, &other);
            if (status != 0) return status;
            const int start = item == kItemPrintStartX ? value : other;
            const int end = item == kItemPrintStartX ? other : value;
            status = ctrl.KD_Exchange(kOffsetXOld, 0, 3 * kSeconds, 0, start, end);
        } else {
            const OlderWrite write = OlderWriteOf(item);
            if (write.id == 0) {
                KD_Log1("Set Parameters : Not Support");
                return ctrl.SetStatus(ERR_KD_COMMAND_ERROR);
            }
            status = write.valueInP2
                         ? ctrl.KD_Exchange(write.id, 0, 3 * kSeconds, 0, write.p1, value)
                         : ctrl.KD_Exchange(write.id, 0, 3 * kSeconds, 0, value);
        }
    } else {
        if (item == kItemOlderOnly) return ctrl.SetStatus(ERR_KD_COMMAND_ERROR);
        if (!FitsByte(item)) return ctrl.SetStatus(ERR_KD_PARAMETER_ERROR);
        int sentItem = item;
        int sentValue = value;
        if (MirroredOffsets(ctrl)) {
            sentItem = SwapXItems(item);
            if (item == kItemPrintStartY) sentValue = 32 - value;
        }
        if (IsTrackPosition(item) && ctrl.m_bFwVersion <= 416)
            return TrackPositionRefusal(ctrl, item);
        status = kdapi::WriteItemNewer(ctrl, sentItem, sentValue);
    }
    if (status != 0) return status;
    if (item == kItemPrintStartY) kdapi::KD_ControlState().offsetY = value;
    if (item == kItemRibbonMaker) kdapi::KD_ChangeRibbonMaker(ctrl, value);
    return ERR_KD_OK;
}

extern "C" {

ORVPW_API int GetParameters(int nItem, char* pValue, int* pLen) {
    return KD_FullFrame(
        "GetParameters", KD_Format("nItem = [%d]", nItem), nullptr,
        [nItem, pValue, pLen](CKDCtrl& ctrl) {
            if (pValue == nullptr || pLen == nullptr) return ctrl.SetStatus(ERR_KD_PARAMETER_ERROR);
            pValue[0] = '\0';
            *pLen = 0;
            if (BelowItemFirmware(ctrl, nItem)) return kdapi::FirmwareRefusal(ctrl);
            if (ctrl.m_NewKDCL && !FitsByte(nItem)) return ctrl.SetStatus(ERR_KD_PARAMETER_ERROR);
            const int sent = ctrl.m_NewKDCL && MirroredOffsets(ctrl) ? SwapXItems(nItem) : nItem;
            Answer answer;
            int status = kdapi::ExchangeForData(ctrl, &answer, kGetConfigValue, 3 * kSeconds, sent);
            if (status != 0) return status;
            int length = 0;
            if (ctrl.m_NewKDCL) {
                if (answer.length < 2) return ctrl.SetStatus(ERR_KD_RESPONSE_FRAME);
                int value = static_cast<int>(
                    kdapi::BigEndian(answer.data + 1, std::min(answer.length - 1, 4)));
                if (MirroredOffsets(ctrl) && nItem == kItemPrintStartY) value = 32 - value;
                length = std::snprintf(pValue, ORVPW_PARAMETER_TEXT_SIZE, "%d", value);
                KD_Log2("Get Parameters : [%d] = %d (%d)", answer[0], value, length);
                RememberItem(ctrl, nItem, value, false);
            } else {
                length = std::min(answer.length, ORVPW_PARAMETER_TEXT_SIZE - 1);
                std::memcpy(pValue, answer.data, static_cast<size_t>(length));
                pValue[length] = '\0';
                KD_Log2("Get Parameters : [%d] = %s (%d)", nItem, pValue, length);
                RememberItem(ctrl, nItem, kdapi::AnswerNumber(answer), true);
            }
            *pLen = length;
            return ERR_KD_OK;
        });
}

ORVPW_API int GetParametersEx(int nItem, int* pValue) {
    return OutFrame("GetParametersEx", KD_Format("p1 = [%d]", nItem), pValue,
                    [nItem, pValue](CKDCtrl& ctrl) {
                        if (ctrl.m_NewKDCL && !FitsByte(nItem))
                            return ctrl.SetStatus(ERR_KD_PARAMETER_ERROR);
                        return KD_GetParametersEx(ctrl, nItem, pValue);
                    });
}

ORVPW_API int SetParametersEx(int nItem, int nValue) {
    return KD_FullFrame("SetParametersEx", KD_Format("p1 = [%d], p2 = [%d]", nItem, nValue), nullptr,
                        [nItem, nValue](CKDCtrl& ctrl) {
                            return KD_SetParametersEx(ctrl, nItem, nValue);
                        });
}

ORVPW_API int SetTPHResistance(int nResistance) {
    return KD_FullFrame("SetTPHResistance", KD_Format("nResistance = [%d]", nResistance), nullptr,
                        [nResistance](CKDCtrl& ctrl) {
                            return KD_SetParametersEx(ctrl, 10, nResistance);
                        });
}

ORVPW_API int AdjustIntensity(int nColor, int nIntensity) {
    return KD_FullFrame(
        "AdjustIntensity", KD_Format("nColor = [%d], nIntensity = [%d]", nColor, nIntensity),
        nullptr, [nColor, nIntensity](CKDCtrl& ctrl) {
            if (nColor < 0 || nColor > 5) return ctrl.SetStatus(ERR_KD_PARAMETER_ERROR);
            if (ctrl.m_NewKDCL) {
                const int color = nColor == 4 ? 5 : nColor == 5 ? 4 : nColor;
                return kdapi::WriteItemNewer(ctrl, 15 + color, nIntensity);
            }
            if (nColor <= 3) return ctrl.KD_Exchange(29, 0, 3 * kSeconds, 0, nColor, nIntensity);
            return ctrl.KD_Exchange(nColor == 4 ? 31 : 30, 0, 3 * kSeconds, 0, 0, nIntensity);
        });
}

ORVPW_API int OffsetXaxisPrintStartPosition(int nXstart, int nXend) {
    return KD_FullFrame("OffsetXaxisPrintStartPosition",
                        KD_Format("nXstart = [%d], nXend = [%d]", nXstart, nXend), nullptr,
                        [nXstart, nXend](CKDCtrl& ctrl) {
                            return OffsetXOperation(ctrl, nXstart, nXend);
                        });
}

ORVPW_API int OffsetYaxisPrintStartPosition(int nYstart) {
    return KD_FullFrame("OffsetYaxisPrintStartPosition", KD_Format("nYstart = [%d]", nYstart),
                        nullptr, [nYstart](CKDCtrl& ctrl) { return OffsetYOperation(ctrl, nYstart); });
}

ORVPW_API int PrintPintAdjust(int nOffset) {
    return KD_FullFrame("PrintPintAdjust", KD_Format("nOffset = [%d]", nOffset), nullptr,
                        [nOffset](CKDCtrl& ctrl) {
                            return ctrl.KD_Exchange(kFineAdjustOld, 0, 3 * kSeconds, 0, nOffset);
                        });
}

ORVPW_API int SetMonoPrintMode(int nMode) {
    return KD_FullFrame("SetMonoPrintMode", KD_Format("nMode = [%d]", nMode), nullptr,
                        [nMode](CKDCtrl& ctrl) {
                            if (ctrl.m_NewKDCL) return kdapi::WriteItemNewer(ctrl, 30, nMode);
                            if (ctrl.m_bFwVersion <= 110) return kdapi::FirmwareRefusal(ctrl);
                            return ctrl.KD_Exchange(kMonoModeOld, 0, 3 * kSeconds, 0, nMode);
                        });
}

ORVPW_API int GetMonoTagOption(int* pValue) {
    return OutFrame("GetMonoTagOption", "", pValue, [pValue](CKDCtrl& ctrl) {
        return KD_GetParametersEx(ctrl, kItemMonoTag, pValue);
    });
}

ORVPW_API int SetMonoTagOption(int nValue) {
    return KD_FullFrame("SetMonoTagOption", KD_Format("nValue=%d", nValue), nullptr, [nValue](CKDCtrl& ctrl) {
        return KD_SetParametersEx(ctrl, kItemMonoTag, nValue);
    });
}

ORVPW_API int GetPrintCount(int* pCount) {
    return OutFrame("GetPrintCount", "", pCount,
                    [pCount](CKDCtrl& ctrl) { return PrintCountOperation(ctrl, pCount); });
}

ORVPW_API int SetPrintCount(int nCount) {
    return KD_FullFrame("SetPrintCount", KD_Format("nCount = [%d]", nCount), nullptr,
                        [nCount](CKDCtrl& ctrl) {
                            if (ctrl.m_bFwVersion <= 116) return kdapi::FirmwareRefusal(ctrl);
                            return ctrl.KD_Exchange(kSetPrintCount, 0, 3 * kSeconds, 0, nCount);
                        });
}

ORVPW_API int GetPrintCardCountEx(int* c0, int* c1, int* c2, int* c3, int* c4, int* c5, int* c6) {
    return KD_FullFrame("GetPrintCardCountEx", "", nullptr, [=](CKDCtrl& ctrl) {
        int* outs[7] = {c0, c1, c2, c3, c4, c5, c6};
        for (int* out : outs)
            if (out == nullptr) return ctrl.SetStatus(ERR_KD_PARAMETER_ERROR);
        int counters[7];
        int status = CardCountersOperation(ctrl, counters);
        for (int i = 0; i < 7; ++i) *outs[i] = counters[i];
        if (status != 0) return status;
        KD_Log2("Get PrintCard Count Ex(%d %d %d %d %d - %d %d)", counters[0], counters[1],
                counters[2], counters[3], counters[4], counters[5], counters[6]);
        return ERR_KD_OK;
    });
}

ORVPW_API int GetPrintCardCount(int nIndex, int* pValue) {
    return OutFrame("GetPrintCardCount", KD_Format("%d", nIndex), pValue, [nIndex, pValue](CKDCtrl& ctrl) {
        if (nIndex < 0 || nIndex > 6) return ctrl.SetStatus(ERR_KD_PARAMETER_ERROR);
        int counters[7];
        int status = CardCountersOperation(ctrl, counters);
        if (status != 0) return status;
        *pValue = counters[nIndex];
        KD_Log2("Get PrintCard Count(%d) = %d", nIndex, *pValue);
        return ERR_KD_OK;
    });
}

ORVPW_API int SetPrintCardCount(int nIndex, int nValue) {
    return KD_FullFrame("SetPrintCardCount", KD_Format("%d nValue=%d", nIndex, nValue), nullptr, [nIndex, nValue](CKDCtrl& ctrl) {
        if (nIndex < 0 || nIndex > 6) return ctrl.SetStatus(ERR_KD_PARAMETER_ERROR);
        return ctrl.KD_Exchange(kSetCardCounter, 0, 3 * kSeconds, 0, nIndex, nValue);
    });
}

ORVPW_API int SetLCDContrast(int nValue) {
    return KD_FullFrame("SetLCDContrast", KD_Format("nValue = [%d]", nValue), nullptr,
                        [nValue](CKDCtrl& ctrl) {
                            if (ctrl.m_NewKDCL) {
                                if (!FitsByte(nValue)) return ctrl.SetStatus(ERR_KD_PARAMETER_ERROR);
                                return ctrl.KD_Exchange(kSetLcdContrast, 0, 3 * kSeconds, 0, 0, nValue);
                            }
                            int status = OlderItem40Gate(ctrl);
                            if (status != 0) return status;
                            return ctrl.KD_Exchange(kSetLcdContrast, 0, 3 * kSeconds, 0, nValue);
                        });
}

ORVPW_API int GetLCDContrast(int* pValue) {
    return OutFrame("GetLCDContrast", "", pValue, [pValue](CKDCtrl& ctrl) {
        int status = 0;
        if (ctrl.m_NewKDCL) {
            status = FirstByteRead(ctrl, kGetLcdContrast, 3 * kSeconds, 0, pValue);
        } else {
            status = OlderItem40Gate(ctrl);
            if (status != 0) return status;
            Answer answer;
            status = kdapi::ExchangeForData(ctrl, &answer, kGetLcdContrast, 3 * kSeconds);
            if (status == 0) *pValue = kdapi::AnswerNumber(answer);
        }
        if (status == 0) KD_Log2("GetLCDContrast = [%d]", *pValue);
        return status;
    });
}

ORVPW_API int GetDigitalPotentiometer(int nType, int* pValue) {
    return OutFrame("GetDigitalPotentiometer", KD_Format("type = [%d]", nType), pValue,
                    [nType, pValue](CKDCtrl& ctrl) {
                        if (!FitsByte(nType)) return ctrl.SetStatus(ERR_KD_PARAMETER_ERROR);
                        int status = FirstByteRead(ctrl, kGetPotentiometer, 2 * kSeconds, nType, pValue);
                        if (status == 0)
                            KD_Log2("KD_GetDigitalPotentiometer - type = [%d], value = [%d]", nType,
                                    *pValue);
                        return status;
                    });
}

ORVPW_API int SetDigitalPotentiometer(int nType, int nValue) {
    return KD_FullFrame("SetDigitalPotentiometer",
                        KD_Format("type = [%d], value = [%d]", nType, nValue), nullptr,
                        [nType, nValue](CKDCtrl& ctrl) {
                            if (!FitsByte(nType) || !FitsByte(nValue))
                                return ctrl.SetStatus(ERR_KD_PARAMETER_ERROR);
                            return ctrl.KD_Exchange(kSetPotentiometer, 0, 2 * kSeconds, 0, nType, nValue);
                        });
}

ORVPW_API int GetSensorPos(int* pPos) {
    return OutFrame("GetSensorPos", "", pPos, [pPos](CKDCtrl& ctrl) {
        int status = 0;
        if (ctrl.m_NewKDCL) {
            status = FirstByteRead(ctrl, kGetSensorPos, 2 * kSeconds, 0, pPos);
        } else {
            Answer answer;
            status = kdapi::ExchangeForData(ctrl, &answer, kGetSensorPos, 2 * kSeconds,
                                            kItemSensorPosOld);
            if (status == 0) *pPos = answer[0] - '0';
        }
        if (status == 0) KD_Log2("KD_GetSensorPos - nPos = [%d]", *pPos);
        return status;
    });
}

ORVPW_API int SetSensorPos(int nPos) {
    return KD_FullFrame("SetSensorPos", KD_Format("nPos = [%d]", nPos), nullptr,
                        [nPos](CKDCtrl& ctrl) {
                            if (ctrl.m_NewKDCL && !FitsByte(nPos))
                                return ctrl.SetStatus(ERR_KD_PARAMETER_ERROR);
                            return ctrl.KD_Exchange(kSetSensorPos, 0, 2 * kSeconds, 0, nPos);
                        });
}

ORVPW_API int GetRibbonMotorDuty(int* pValue) {
    return OutFrame("GetRibbonMotorDuty", "", pValue, [pValue](CKDCtrl& ctrl) {
        if (ctrl.m_bFwVersion < 122) return kdapi::FirmwareRefusal(ctrl);
        Answer answer;
        int status = kdapi::ExchangeForData(ctrl, &answer, kGetMotorDuty, 2 * kSeconds, 0);
        if (status != 0) return status;
        if (answer.length < 1) return ctrl.SetStatus(ERR_KD_RESPONSE_FRAME);
        *pValue = kdapi::AnswerNumber(answer);
        KD_Log2("GetRibbonMotorDuty = [%d]", *pValue);
        return ERR_KD_OK;
    });
}

ORVPW_API int SetRibbonMotorDuty(int nValue) {
    return KD_FullFrame("SetRibbonMotorDuty", KD_Format("nValue = [%d]", nValue), nullptr,
                        [nValue](CKDCtrl& ctrl) {
                            if (ctrl.m_bFwVersion <= 121) return kdapi::FirmwareRefusal(ctrl);
                            if (ctrl.m_NewKDCL && !FitsByte(nValue))
                                return ctrl.SetStatus(ERR_KD_PARAMETER_ERROR);
                            return ctrl.KD_Exchange(kSetMotorDuty, 0, 2 * kSeconds, 0, nValue);
                        });
}

// ---- Print-image adjustments kept in the library (no printer traffic) ----

ORVPW_API int SetRGB(unsigned nR, unsigned nG, unsigned nB) {
    KD_Log1("[Set RGB R = %d, G = %d, B = %d]", nR, nG, nB);
    auto inRange = [](unsigned v) { return v >= 1 && v <= 100; };
    if (!inRange(nR) || !inRange(nG) || !inRange(nB)) return -1;
    kdapi::ControlState& state = kdapi::KD_ControlState();
    state.red = nR;
    state.green = nG;
    state.blue = nB;
    return 0;
}

ORVPW_API int SetAdjustBC(unsigned nBrightness, unsigned nContrast) {
    KD_Log1("[Adjust Brightness = %d, Contrast = %d]", nBrightness, nContrast);
    if (nBrightness < 1 || nBrightness > 100 || nContrast < 1 || nContrast > 100) return -1;
    kdapi::ControlState& state = kdapi::KD_ControlState();
    state.brightness = nBrightness;
    state.contrast = nContrast;
    state.brightnessContrastSet = true;
    return 0;
}

ORVPW_API int SetSharpening(unsigned nValue) {
    KD_Log1("[Sharpening Value is %d ]", nValue);
    if (nValue > 10) return -1;
    kdapi::ControlState& state = kdapi::KD_ControlState();
    state.sharpening = nValue;
    state.sharpeningSet = true;
    return 0;
}

ORVPW_API int SetDiffusion(unsigned nEnable) {
    if (nEnable > 1) return -1;
    KD_Log1("%s", nEnable ? "[Diffusion Enable  ]" : "[Diffusion Disable ]");
    kdapi::ControlState& state = kdapi::KD_ControlState();
    state.diffusion = nEnable;
    state.diffusionSet = true;
    return 0;
}

}  // extern "C"

ORVPW_LUM_ALIAS(GetParameters);
ORVPW_LUM_ALIAS(AdjustIntensity);
ORVPW_LUM_ALIAS(OffsetXaxisPrintStartPosition);
ORVPW_LUM_ALIAS(OffsetYaxisPrintStartPosition);
ORVPW_LUM_ALIAS(PrintPintAdjust);
ORVPW_LUM_ALIAS(SetMonoPrintMode);
ORVPW_LUM_ALIAS(SetTPHResistance);
