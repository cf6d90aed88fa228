#include "core/heat_on_open.h"

#include "core/controller.h"
#include "diag/settings.h"
#include "print/heat_table.h"

heat::HeatExchange KD_HeatExchange(CKDCtrl& ctrl) {
    return [&ctrl](const heat::HeatCommand& command, std::vector<uint8_t>& answer) {
        int status = ctrl.KD_Exchange(command.commandId, command.answerType, command.timeoutUs,
                                      command.flag, command.p1, command.p2, command.p3, command.p4,
                                      0, command.data, command.length);
        answer.clear();
        if (status == 0) answer.assign(ctrl.m_RspData, ctrl.m_RspData + ctrl.m_RspCount);
        return status;
    };
}

heat::HeatContext KD_HeatContext(const CKDCtrl& ctrl) {
    heat::HeatContext context;
    context.newCommandSet = ctrl.m_NewKDCL != 0;
    context.firmwareVersion = ctrl.m_bFwVersion;
    context.toneSetNumber = ctrl.m_ToneSetNumber;
    context.toneFilePath = KD_ToneFilePath();
    return context;
}

int KD_SendHeatTableOnOpen(CKDCtrl& ctrl) {
    return heat::KD_SendOnTimeTable(ctrl.m_HeatTable, KD_HeatContext(ctrl), KD_HeatExchange(ctrl));
}
