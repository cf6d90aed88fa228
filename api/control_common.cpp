#include "api/control_common.h"

#include <algorithm>

#include "core/status_request.h"
#include "diag/log.h"
#include "platform/module.h"

namespace kdapi {

namespace {
constexpr int kGetConfigValue = 25;   // !GCV / "!V %d"
constexpr int kSetConfigValue = 26;   // !SCV
constexpr int kGetOptionInfo = 52;    // !GOI
}  // namespace

int TakeAnswer(CKDCtrl& ctrl, Answer* answer) {
    // The status comes from the shared answer rule; the data is read in place.
    int status = KD_GetResponse(ctrl, nullptr, 0, nullptr);
    answer->data = ctrl.m_RspData;
    answer->length = std::clamp(ctrl.m_RspCount, 0, CKDDevice::kResponseBufferSize);
    return status;
}

int ExchangeForData(CKDCtrl& ctrl, Answer* answer, int id, int timeoutUs, int p1, int p2) {
    int status = ctrl.KD_Exchange(id, 0, timeoutUs, 1, p1, p2);
    if (status != 0) return status;
    return TakeAnswer(ctrl, answer);
}

int FirmwareRefusal(CKDCtrl& ctrl) {
    const int last = ctrl.LastStatus();
    return ctrl.SetStatus(last != 0 ? last : ERR_KD_COMMAND_ERROR);
}

uint32_t BigEndian(const uint8_t* data, int count) {
    uint32_t value = 0;
    for (int i = 0; i < count && i < 4; ++i) value = (value << 8) | data[i];
    return value;
}

int AnswerNumber(const Answer& answer, int from) {
    // Optional sign, then decimal digits, as atoi reads them; the answer is not terminated.
    int i = from;
    bool negative = false;
    while (i < answer.length && answer.data[i] == ' ') ++i;
    if (i < answer.length && (answer.data[i] == '-' || answer.data[i] == '+')) {
        negative = answer.data[i] == '-';
        ++i;
    }
    long long value = 0;
    for (; i < answer.length && answer.data[i] >= '0' && answer.data[i] <= '9'; ++i) {
        value = value * 10 + (answer.data[i] - '0');
        if (value > 0x7FFFFFFF) value = 0x7FFFFFFF;
    }
    return static_cast<int>(negative ? -value : value);
}

int WriteItemNewer(CKDCtrl& ctrl, int item, int value) {
    return ctrl.KD_Exchange(kSetConfigValue, 0, 3 * kSeconds, 0, item, value);
}

int ReadItem(CKDCtrl& ctrl, int item, int* value) {
    *value = 0;
    Answer answer;
    int status = ExchangeForData(ctrl, &answer, kGetConfigValue, 3 * kSeconds, item);
    if (status != 0) return status;
    if (ctrl.m_NewKDCL) {
        if (answer.length < 1) return ctrl.SetStatus(ERR_KD_RESPONSE_FRAME);
        if (answer[0] != static_cast<uint8_t>(item)) return ERR_KD_OK;
        if (answer.length < 2) return ctrl.SetStatus(ERR_KD_RESPONSE_FRAME);
        *value = static_cast<int>(BigEndian(answer.data + 1, answer.length - 1));
    } else {
        *value = AnswerNumber(answer);
    }
    return ERR_KD_OK;
}

int ReadOptionInformation(CKDCtrl& ctrl, int* option, int* type) {
    *option = 0;
    *type = 0;
    Answer answer;
    int status = ExchangeForData(ctrl, &answer, kGetOptionInfo, 3 * kSeconds);
    if (status != 0) return status;
    if (answer.length < 4) return ctrl.SetStatus(ERR_KD_RESPONSE_FRAME);
    const int first = static_cast<int>(BigEndian(answer.data, 2));
    const int second = static_cast<int>(BigEndian(answer.data + 2, 2));
    const int fw = ctrl.m_bFwVersion;
    if (fw >= 400 && fw <= 404) {
        *type = first;
        *option = second;
        KD_Log2("Get Option = %04Xh (Low) (%d) ", *option, fw);
        KD_Log2("Get Type   = %04Xh (High)", *type);
    } else {
        *option = first;
        *type = second;
        KD_Log2("Get Option = %04Xh (High)", *option);
        KD_Log2("Get Type   = %04Xh (Low)", *type);
    }
    return ERR_KD_OK;
}

bool HasNoEjectTimer(const CKDCtrl& ctrl, int option, int type) {
    if (ctrl.m_bFwVersion < 400) return (option & 0x80) != 0;
    return (type & 0x03) != 0;
}

ControlState& KD_ControlState() {
    static ControlState state;
    return state;
}

void KD_SelectColorProfiles(CKDCtrl& ctrl) {
    const int maker = ctrl.m_RibbonMaker;
    const int fw = ctrl.m_bFwVersion;
    const char* printer = "ORVPRTR01.ICM";
    if (maker == 1) {
        printer = fw < 300 ? "ORVPRTR11.ICM" : "ORV_DNP_140701.icm";
    } else if (maker == 2 || maker == 3) {
        if (fw >= 399)
            printer = "vesta_ITWo_160405.ICM";
        else if (fw >= 300)
            printer = "ORV_ITW_140701.ICM";
    } else if (maker == 0) {
        if (fw >= 309)
            printer = "ORV_ITW_140701.ICM";
        else if (fw >= 300)
            printer = "ORV_DPS2_150107.ICM";
    }
    const std::string folder = plat::LibraryFolder();
    ControlState& state = KD_ControlState();
    state.monitorProfile = folder + "/ORVMNTR01.ICC";
    state.printerProfile = folder + "/" + printer;
    KD_Log1("ICM %s", state.printerProfile.c_str());
}

void KD_ChangeRibbonMaker(CKDCtrl& ctrl, int maker) {
    if (maker == ctrl.m_RibbonMaker) return;
    ctrl.m_RibbonMaker = (maker < 0 || maker > 3) ? 0 : maker;
    KD_Log1("m_nRibbonMaker = %d (0:DPS, 1:DNP, 2:ITW)", ctrl.m_RibbonMaker);
    KD_SelectColorProfiles(ctrl);
}

}  // namespace kdapi
