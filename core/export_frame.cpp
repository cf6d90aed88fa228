#include "core/export_frame.h"

#include <exception>

#include "diag/log.h"

namespace {

enum class FrameKind { Full, Open, Setting };

void LogEntry(const char* exportName, const std::string& arguments) {
    if (arguments.empty())
        KD_Log1("[S]%s", exportName);
    else
        KD_Log1("[S]%s - %s", exportName, arguments.c_str());
}

int LogExit(CKDCtrl& ctrl, const char* exportName, const std::string& operation, int status,
            const KD_OkTail& okTail) {
    if (status == 0) {
        std::string tail = okTail ? okTail(ctrl) : std::string();
        if (tail.empty())
            KD_Log1("[E]%s - OK, %s : KD_GetLastStatusCd = [%d]", exportName, operation.c_str(),
                    status);
        else
            KD_Log1("[E]%s - OK, %s%s", exportName, operation.c_str(), tail.c_str());
        return 0;
    }
    KD_Log1("[E]%s - NG, %s : KD_GetLastStatusCd = [%d]", exportName, operation.c_str(),
            status);
    return -1;
}

int RunFrame(FrameKind kind, const char* exportName, const std::string& arguments,
             const char* operationName, const KD_Operation& operation, const KD_OkTail& okTail) {
    CKDCtrl& ctrl = KDCtrl();
    std::string operationText = operationName ? operationName : KD_OperationName(exportName);
    bool acquired = false;
    try {
        LogEntry(exportName, arguments);
        if (kind != FrameKind::Setting) {
            int status = ctrl.AcquirePrinter();
            if (status != 0) return LogExit(ctrl, exportName, operationText, status, okTail);
            acquired = true;
        }
        if (kind == FrameKind::Full) {
            int status = ctrl.KD_PortCheck(0);
            if (status == 0 && ctrl.m_PurgeNeeded) status = ctrl.KD_ClearReadBuffer(0);
            if (status != 0) {
                ctrl.ReleasePrinter();
                acquired = false;
                return LogExit(ctrl, exportName, "KD_ClearReadBuffer", ctrl.SetStatus(status),
                               okTail);
            }
            ctrl.SetStatus(0);
        }
        int status = ctrl.SetStatus(operation(ctrl));
        if (acquired) ctrl.ReleasePrinter();
        acquired = false;
        return LogExit(ctrl, exportName, operationText, status, okTail);
    } catch (const std::exception& error) {
        KD_Log1("[E]%s - exception: %s", exportName, error.what());
    } catch (...) {
        KD_Log1("[E]%s - exception", exportName);
    }
    if (acquired) ctrl.ReleasePrinter();
    ctrl.SetStatus(ERR_KD_BUFFER);
    return -1;
}

}  // namespace

std::string KD_OperationName(const char* exportName) { return std::string("KD_") + exportName; }

int KD_FullFrame(const char* exportName, const std::string& arguments, const char* operationName,
                 const KD_Operation& operation, const KD_OkTail& okTail) {
    return RunFrame(FrameKind::Full, exportName, arguments, operationName, operation, okTail);
}

int KD_OpenFrame(const char* exportName, const std::string& arguments, const char* operationName,
                 const KD_Operation& operation, const KD_OkTail& okTail) {
    return RunFrame(FrameKind::Open, exportName, arguments, operationName, operation, okTail);
}

int KD_SettingFrame(const char* exportName, const std::string& arguments,
                    const char* operationName, const KD_Operation& operation,
                    const KD_OkTail& okTail) {
    return RunFrame(FrameKind::Setting, exportName, arguments, operationName, operation, okTail);
}
