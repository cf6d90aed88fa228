// Card movement and sensors: insert, eject, reject, flip, the hopper and card-path sensors,
// and the card-handling settings the printer keeps.
#include <cstdlib>

#include "api/control_common.h"
#include "core/export_frame.h"
#include "core/format.h"
#include "core/status_request.h"
#include "core/lum_alias.h"
#include "diag/log.h"

using kdapi::Answer;
using kdapi::kSeconds;

namespace {

// Command IDs.
constexpr int kCheckFeeder = 3;        // !CFS / "CF"
constexpr int kCardInsert = 4;         // !RIP / "MI"
constexpr int kCardInsertOption = 5;   // !RIP / "MI %d"
constexpr int kCardInsertStart = 6;    // !RIP / "MIE"
constexpr int kCardEject = 7;          // !REH / "MO"
constexpr int kCardEjectOption = 9;    // !REH + byte / "MOX %d"
constexpr int kCardEjectTop = 10;      // older "!TE" only
constexpr int kCardFlip = 11;          // !RTC / "!T"
constexpr int kFlipperToPrinter = 12;  // older "!MFP" only
constexpr int kCardReject = 13;        // !RCR + byte, newer only
constexpr int kInputDirectionOld = 32; // "+ID %d"
constexpr int kInputOptionOld = 38;    // "!I %d"
constexpr int kReadyPositionOld = 42;  // "+CRP %d"
constexpr int kControlTimeRead = 78;   // "MR"
constexpr int kControlTimeEject = 79;  // "MW %d"
constexpr int kControlTimeBoth = 80;   // "MW %d %d"
constexpr int kHopperMotor = 92;       // !HMB
constexpr int kGetSoftLock = 93;       // !GSL
constexpr int kSetSoftLock = 94;       // !SSL
constexpr int kSetHopperType = 95;     // !SHT
constexpr int kGetHopperType = 96;     // !GHT
constexpr int kPathSensor = 202;       // !PSS, newer only
constexpr int kExternalInput = 211;    // older "MIE" only
constexpr int kEjectBoxCommand = 210;  // !EBC + byte

// Configuration items of card handling.
constexpr int kItemInputDirection = 23;
constexpr int kItemInputOption = 31;
constexpr int kItemInsertTime = 35;
constexpr int kItemEjectOption = 39;
constexpr int kItemEjectTime = 40;
constexpr int kItemInsertOption = 42;
constexpr int kItemEjectMode = 44;

constexpr uint8_t kSoftLockOn = 0xA5;
constexpr uint8_t kSoftLockOff = 0xFF;

constexpr int kInsertUs = 22 * kSeconds;
constexpr int kEjectUs = 32 * kSeconds;

// A value that travels as one byte in the newer form.
using kdapi::FitsByte;

// Reads a sensor: newer form the first answer byte, older form the answer text as a number
// (firstByteInBoth: the older form gives a byte too).
int ReadSensor(CKDCtrl& ctrl, int id, int* value, bool firstByteInBoth) {
    *value = 0;
    Answer answer;
    int status = kdapi::ExchangeForData(ctrl, &answer, id, 3 * kSeconds);
    if (status != 0) return status;
    if (ctrl.m_NewKDCL || firstByteInBoth) {
        if (answer.length < 1) return ctrl.SetStatus(ERR_KD_RESPONSE_FRAME);
        *value = answer[0];
    } else {
        *value = kdapi::AnswerNumber(answer);
    }
    return ERR_KD_OK;
}

int CheckFeederOperation(CKDCtrl& ctrl, int* feeder) {
    int status = ReadSensor(ctrl, kCheckFeeder, feeder, false);
    if (status != 0) {
        KD_Log1("[E]KD_CheckFeeder - NG, KD_CheckFeeder : KD_GetLastStatusCd = [%d]", status);
        return status;
    }
    KD_Log2("Get Feeder = %d", *feeder);
    return ERR_KD_OK;
}

int InsertExOperation(CKDCtrl& ctrl, int option) {
    if (ctrl.m_bFwVersion > 136) {
        if (!ctrl.m_NewKDCL) {
            int status = ctrl.KD_Exchange(kCardInsertOption, 0, kInsertUs, 0, option);
            if (status != ERR_KD_COMMAND_ERROR) return status;
        } else if (ctrl.m_bFwVersion > 232) {
            int status = kdapi::WriteItemNewer(ctrl, kItemInsertOption, option);
            if (status == ERR_KD_PARAMETER_ERROR) return status;
        }
        ctrl.SetStatus(0);
    }
    return ctrl.KD_Exchange(kCardInsert, 0, kInsertUs, 0);
}

int EjectExOperation(CKDCtrl& ctrl, int option) {
    const int fw = ctrl.m_bFwVersion;
    if (fw > 132) {
        if (option == 8 && fw > 140)
            return ctrl.KD_Exchange(kCardEjectTop, 0, kEjectUs, 0);
        if (ctrl.m_NewKDCL && fw > 232) {
            if (fw >= 310 && fw < 400) {
                int sent = (option == 3 || option == 4) ? option + 1 : option;
                return ctrl.KD_Exchange(kEjectBoxCommand, 0, 30 * kSeconds, 0, '0' + sent);
            }
            int ejectOption = option;
            int status = 0;
            if (option == 4) {
                status = kdapi::WriteItemNewer(ctrl, kItemEjectMode, 6);
                ejectOption = 3;
            } else if (fw >= 400) {
                status = kdapi::WriteItemNewer(ctrl, kItemEjectMode, 0);
            }
            if (status == ERR_KD_PARAMETER_ERROR) return status;
            status = kdapi::WriteItemNewer(ctrl, kItemEjectOption, ejectOption);
            if (status == ERR_KD_PARAMETER_ERROR) return status;
        }
        int status = ctrl.KD_Exchange(kCardEjectOption, 0, kEjectUs, 0, option);
        if (status != ERR_KD_PARAMETER_ERROR) return status;
        ctrl.SetStatus(0);
    }
    return ctrl.KD_Exchange(kCardEject, 0, kEjectUs, 0);
}

int FlipOperation(CKDCtrl& ctrl) {
    if (ctrl.m_bFwVersion < 108) return ctrl.KD_Exchange(kCardEject, 0, kEjectUs, 0);
    int status = ctrl.KD_Exchange(kCardFlip, 0, 10 * kSeconds, 0);
    if (status == ERR_KD_CHANGER_RESPONSE_TIMEOUT || status == ERR_KD_CHANGER_SEND_TIMEOUT) {
        const int firstStatus = status;
        if (KD_DeviceErrorClear(ctrl) != 0) return ctrl.SetStatus(firstStatus);
        status = ctrl.KD_Exchange(kCardFlip, 0, 10 * kSeconds, 0);
    }
    return status;
}

// Option and type words: whether the printer has an eject timer. Returns the status of the
// read; *noTimer is set when it has none.
int CheckEjectTimer(CKDCtrl& ctrl, bool* noTimer) {
    int option = 0;
    int type = 0;
    *noTimer = false;
    int status = kdapi::ReadOptionInformation(ctrl, &option, &type);
    if (status != 0) return status;
    *noTimer = kdapi::HasNoEjectTimer(ctrl, option, type);
    return ERR_KD_OK;
}

int GetControlTimeNewer(CKDCtrl& ctrl, int* ejectTime, int* insertTime) {
    Answer answer;
    int status = kdapi::ExchangeForData(ctrl, &answer, 25, 3 * kSeconds, kItemInsertTime);
    if (status != 0) return status;
    if (answer.length < 2) return ctrl.SetStatus(ERR_KD_RESPONSE_FRAME);
    *insertTime = answer[1] / 10;
    KD_Log2("pInsertTime = [%d]", *insertTime);

    bool noTimer = false;
    status = CheckEjectTimer(ctrl, &noTimer);
    if (status != 0) return status;
    if (noTimer) {
        if (ctrl.m_bFwVersion >= 400) KD_Log2("pEjectTime Not Use");
        return ctrl.SetStatus(0);
    }
    status = kdapi::ExchangeForData(ctrl, &answer, 25, 3 * kSeconds, kItemEjectTime);
    if (status == ERR_KD_PARAMETER_ERROR) return ctrl.SetStatus(0);
    if (status != 0) return status;
    if (answer.length < 2) return ctrl.SetStatus(ERR_KD_RESPONSE_FRAME);
    *ejectTime = answer[1] / 10;
    KD_Log2("pEjectTime = [%d]", *ejectTime);
    return ERR_KD_OK;
}

int GetControlTimeOlder(CKDCtrl& ctrl, int* ejectTime, int* insertTime) {
    Answer answer;
    int status = kdapi::ExchangeForData(ctrl, &answer, kControlTimeRead, 3 * kSeconds);
    if (status != 0) return status;
    // "eject insert": the part before the last space is the eject time.
    if (answer.length < 3) {
        *ejectTime = kdapi::AnswerNumber(answer);
    } else {
        int lastSpace = -1;
        for (int i = 0; i < answer.length; ++i)
            if (answer[i] == ' ') lastSpace = i;
        if (lastSpace < 0) {
            *ejectTime = kdapi::AnswerNumber(answer);
        } else {
            *ejectTime = kdapi::AnswerNumber(Answer{answer.data, lastSpace});
            *insertTime = kdapi::AnswerNumber(answer, lastSpace + 1);
        }
    }
    KD_Log2("pEjectTime = [%d]", *ejectTime);
    KD_Log2("pInsertTime = [%d]", *insertTime);
    return ERR_KD_OK;
}

int SetControlTimeOperation(CKDCtrl& ctrl, int ejectTime, int insertTime) {
    if (!ctrl.m_NewKDCL) {
        if (ctrl.m_bFwVersion < 124) return kdapi::FirmwareRefusal(ctrl);
        if (static_cast<unsigned>(ejectTime) > 60 || insertTime < 2 || insertTime > 20)
            return ctrl.SetStatus(ERR_KD_PARAMETER_ERROR);
        int status = ctrl.KD_Exchange(kControlTimeBoth, 0, 3 * kSeconds, 0, ejectTime, insertTime);
        if (status == ERR_KD_COMMAND_ERROR)
            status = ctrl.KD_Exchange(kControlTimeEject, 0, 3 * kSeconds, 0, ejectTime);
        return status;
    }
    // Held by the printer at ten times the caller's unit, in 4 bytes: keep the product in range.
    if (insertTime < 0 || insertTime > 255 || ejectTime < 0 || ejectTime > 0x7FFFFFFF / 10)
        return ctrl.SetStatus(ERR_KD_PARAMETER_ERROR);
    int status = kdapi::WriteItemNewer(ctrl, kItemInsertTime, insertTime * 10);
    if (status != 0) return status;
    KD_Log2("nInsertTime = [%d]", insertTime);
    bool noTimer = false;
    status = CheckEjectTimer(ctrl, &noTimer);
    if (status != 0) return status;
    if (noTimer) {
        KD_Log2("pEjectTime Not Use");
        return ERR_KD_OK;
    }
    status = kdapi::WriteItemNewer(ctrl, kItemEjectTime, ejectTime * 10);
    if (status != 0) return status;
    KD_Log2("nEjectTime = [%d]", ejectTime);
    return ERR_KD_OK;
}

}  // namespace

int KD_FeedCardForPrint(CKDCtrl& ctrl, bool checkFeeder, bool useStartInsert) {
    if (checkFeeder) {
        int feeder = 0;
        int status = CheckFeederOperation(ctrl, &feeder);
        if (status != 0) return status;
        if (feeder == 2 || feeder == 3 || feeder == 4) {
            // No card can come from the hopper: printing must not go on without one.
            KD_Log1("KD_FeedCardForPrint - hopper state %d, no card fed", feeder);
            return ctrl.SetStatus(ERR_KD_CARD_INPUT_TIMEOUT);
        }
        if (feeder == 9) {
            status = ctrl.KD_Exchange(kCardEject, 0, kEjectUs, 0);
            if (status != 0) return status;
        }
    }
    return ctrl.KD_Exchange(useStartInsert ? kCardInsertStart : kCardInsert, 0, kInsertUs, 0);
}

extern "C" {

ORVPW_API int CheckFeeder(int* pFeeder) {
    return KD_FullFrame("CheckFeeder", "", nullptr, [pFeeder](CKDCtrl& ctrl) {
        if (pFeeder == nullptr) return ctrl.SetStatus(ERR_KD_PARAMETER_ERROR);
        return CheckFeederOperation(ctrl, pFeeder);
    });
}

ORVPW_API int PathSenser(int* pSensor) {
    return KD_FullFrame("PathSenser", "", nullptr, [pSensor](CKDCtrl& ctrl) {
        if (pSensor == nullptr) return ctrl.SetStatus(ERR_KD_PARAMETER_ERROR);
        int status = ReadSensor(ctrl, kPathSensor, pSensor, false);
        if (status == 0) KD_Log2("Get PASS Senser = %d", *pSensor);
        return status;
    });
}

ORVPW_API int Card_Insert(void) {
    return KD_FullFrame("Card_Insert", "", nullptr, [](CKDCtrl& ctrl) {
        return ctrl.KD_Exchange(kCardInsert, 0, kInsertUs, 0);
    });
}

ORVPW_API int Card_InsertEx(int nOption) {
    return KD_FullFrame("Card_InsertEx", KD_Format("nOption = [%d]", nOption), nullptr,
                        [nOption](CKDCtrl& ctrl) { return InsertExOperation(ctrl, nOption); });
}

ORVPW_API int Card_Eject(int cmd) {
    return KD_FullFrame("Card_Eject", KD_Format("cmd = [%d]", cmd), nullptr, [](CKDCtrl& ctrl) {
        return ctrl.KD_Exchange(kCardEject, 0, kEjectUs, 0);
    });
}

ORVPW_API int Card_EjectEx(int nOption) {
    return KD_FullFrame("Card_EjectEx", KD_Format("nOption = [%d]", nOption), nullptr,
                        [nOption](CKDCtrl& ctrl) {
                            if (ctrl.m_NewKDCL && !FitsByte(nOption))
                                return ctrl.SetStatus(ERR_KD_PARAMETER_ERROR);
                            return EjectExOperation(ctrl, nOption);
                        });
}

ORVPW_API int Card_Flip(void) {
    return KD_FullFrame("Card_Flip", "", nullptr, FlipOperation);
}

ORVPW_API int Card_Reject(int nOption) {
    return KD_FullFrame("Card_Reject", "", nullptr, [nOption](CKDCtrl& ctrl) {
        if (!FitsByte(nOption)) return ctrl.SetStatus(ERR_KD_PARAMETER_ERROR);
        return ctrl.KD_Exchange(kCardReject, 0, kEjectUs, 0, nOption);
    });
}

ORVPW_API int ExtCardInput(void) {
    return KD_FullFrame("ExtCardInput", "", nullptr, [](CKDCtrl& ctrl) {
        if (ctrl.m_bFwVersion <= 113) return kdapi::FirmwareRefusal(ctrl);
        return ctrl.KD_Exchange(kExternalInput, 0, 30 * kSeconds, 0);
    });
}

ORVPW_API int SetCardInputDirection(int nDir) {
    return KD_FullFrame("SetCardInputDirection", KD_Format("nDir = [%d]", nDir), nullptr,
                        [nDir](CKDCtrl& ctrl) {
                            if (ctrl.m_NewKDCL)
                                return kdapi::WriteItemNewer(ctrl, kItemInputDirection, nDir);
                            return ctrl.KD_Exchange(kInputDirectionOld, 0, 3 * kSeconds, 0, nDir);
                        });
}

ORVPW_API int SetCardInputOption(int nMode) {
    return KD_FullFrame("SetCardInputOption", KD_Format("nMode = [%d]", nMode), nullptr,
                        [nMode](CKDCtrl& ctrl) {
                            if (ctrl.m_NewKDCL)
                                return kdapi::WriteItemNewer(ctrl, kItemInputOption, nMode);
                            if (ctrl.m_bFwVersion < 116) return kdapi::FirmwareRefusal(ctrl);
                            return ctrl.KD_Exchange(kInputOptionOld, 0, 3 * kSeconds, 0, nMode);
                        });
}

ORVPW_API int SetCardReadyPosition(int nType) {
    return KD_FullFrame("SetCardReadyPosition", KD_Format("nType = [%d]", nType), nullptr,
                        [nType](CKDCtrl& ctrl) {
                            if (ctrl.m_bFwVersion < 120) return kdapi::FirmwareRefusal(ctrl);
                            return ctrl.KD_Exchange(kReadyPositionOld, 0, 3 * kSeconds, 0, nType);
                        });
}

ORVPW_API int GetCardControlTime(int* pEjectTime, int* pInsertTime) {
    return KD_FullFrame("GetCardControlTime", "", nullptr, [pEjectTime, pInsertTime](CKDCtrl& ctrl) {
        if (pEjectTime == nullptr || pInsertTime == nullptr)
            return ctrl.SetStatus(ERR_KD_PARAMETER_ERROR);
        *pEjectTime = 0;
        *pInsertTime = 0;
        if (ctrl.m_bFwVersion <= 123) return kdapi::FirmwareRefusal(ctrl);
        return ctrl.m_NewKDCL ? GetControlTimeNewer(ctrl, pEjectTime, pInsertTime)
                              : GetControlTimeOlder(ctrl, pEjectTime, pInsertTime);
    });
}

ORVPW_API int SetCardControlTime(int nEjectTime, int nInsertTime) {
    return KD_FullFrame(
        "SetCardControlTime",
        KD_Format("nEjectTime = [%d], nInsertTime = [%d]", nEjectTime, nInsertTime), nullptr,
        [nEjectTime, nInsertTime](CKDCtrl& ctrl) {
            return SetControlTimeOperation(ctrl, nEjectTime, nInsertTime);
        });
}

ORVPW_API int HopperMotorBEx(int nType) {
    return KD_FullFrame("HopperMotorBEx", KD_Format("Type = [%d]", nType), nullptr,
                        [nType](CKDCtrl& ctrl) {
                            if (!FitsByte(nType)) return ctrl.SetStatus(ERR_KD_PARAMETER_ERROR);
                            return ctrl.KD_Exchange(kHopperMotor, 0, 3 * kSeconds, 0, nType);
                        });
}

ORVPW_API int GetFlipperSoftLock(int* pLock) {
    return KD_FullFrame("GetFlipperSoftLock", "", nullptr, [pLock](CKDCtrl& ctrl) {
        if (pLock == nullptr) return ctrl.SetStatus(ERR_KD_PARAMETER_ERROR);
        int value = 0;
        *pLock = 0;
        int status = ReadSensor(ctrl, kGetSoftLock, &value, true);
        if (status != 0) return status;
        *pLock = value == kSoftLockOn ? 1 : 0;
        return ERR_KD_OK;
    });
}

ORVPW_API int SetFlipperSoftLock(int nLock) {
    return KD_FullFrame("SetFlipperSoftLock", KD_Format("Type = [%d]", nLock), nullptr,
                        [nLock](CKDCtrl& ctrl) {
                            return ctrl.KD_Exchange(kSetSoftLock, 0, 3 * kSeconds, 0,
                                                    nLock == 1 ? kSoftLockOn : kSoftLockOff);
                        });
}

ORVPW_API int SetHopperType(int nType) {
    return KD_FullFrame("SetHopperType", KD_Format("Type = [%d]", nType), nullptr,
                        [nType](CKDCtrl& ctrl) {
                            if (!FitsByte(nType)) return ctrl.SetStatus(ERR_KD_PARAMETER_ERROR);
                            return ctrl.KD_Exchange(kSetHopperType, 0, 3 * kSeconds, 0, nType);
                        });
}

ORVPW_API int GetHopperType(int* pType) {
    return KD_FullFrame("GetHopperType", "", nullptr, [pType](CKDCtrl& ctrl) {
        if (pType == nullptr) return ctrl.SetStatus(ERR_KD_PARAMETER_ERROR);
        return ReadSensor(ctrl, kGetHopperType, pType, true);
    });
}

}  // extern "C"

ORVPW_LUM_ALIAS(CheckFeeder);
ORVPW_LUM_ALIAS(Card_Insert);
ORVPW_LUM_ALIAS(Card_Eject);
ORVPW_LUM_ALIAS(Card_Flip);
ORVPW_LUM_ALIAS(SetCardInputDirection);
ORVPW_LUM_ALIAS(SetCardInputOption);
ORVPW_LUM_ALIAS(SetCardReadyPosition);

// Exported under its decorated C++ name only (see orvpw.h).
ORVPW_API int Card_MoveFlipperToPrinter() {
    return KD_FullFrame(" Card_MoveFlipperToPrinter", "", "KD_Card_MoveFlipperToPrinter",
                        [](CKDCtrl& ctrl) {
                            return ctrl.KD_Exchange(kFlipperToPrinter, 0, kInsertUs, 0);
                        });
}
