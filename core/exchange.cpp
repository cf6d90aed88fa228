// The exchange engine: writes a command, reads and validates the answer, retries after
// transport failures, re-sends a partly written command, and resolves time-outs into the
// printer's status.
#include <cstring>
#include <vector>

#include "core/answer_parser.h"
#include "core/command_set.h"
#include "core/controller.h"
#include "core/status_request.h"
#include "diag/log.h"
#include "platform/clock.h"
#include "platform/event_loop.h"

namespace {

constexpr int kStatusRequest = 18;  // !CSS / "S"
constexpr int kClearError = 2;       // !RCE / "."
constexpr int kPrintJobStatus = 184; // $PJS
constexpr int kMaxMismatches = 10;

}  // namespace

// ---------------------------------------------------------------------------------------

int CKDCtrl::KD_MakeCommand(int id, uint8_t* out, int outSize, int p1, int p2, int p3, int p4,
                            int p5, const uint8_t* data, int dataLength) {
    if (m_NewKDCL)
        return KDCL_MakeCommand(id, &m_LastCommandId, p1, out, static_cast<size_t>(outSize), p2,
                                p3, p4, p5, data, dataLength);
    return KDCL_MakeCommandOld(p2, id, p1, out, static_cast<size_t>(outSize), p3, p4, p5, 0, 0,
                               data, dataLength);
}

int CKDCtrl::KD_Exchange(int id, int answerType, int timeoutUs, int flag, int p1, int p2,
                         int p3, int p4, int p5, const uint8_t* data, int dataLength) {
    // Header, parameters and CR plus room for the data.
    std::vector<uint8_t> command(static_cast<size_t>(dataLength > 0 ? dataLength : 0) + 512);
    int length = KD_MakeCommand(id, command.data(), static_cast<int>(command.size()), p1, p2,
                                p3, p4, p5, data, dataLength);
    return KD_PortWriteRead(command.data(), length, answerType, timeoutUs, flag);
}

// ---------------------------------------------------------------------------------------

int CKDCtrl::KD_PortWriteRead(const uint8_t* command, int length, int answerType, int timeoutUs,
                              int flag) {
    if (length < 3 || command == nullptr) {
        KD_Log1("  Command Length(%d) Error - Not Send", length);
        return SetStatus(ERR_KD_COMMAND_ERROR);
    }
    m_Active = 1;
    TouchIo();
    int guard = AcquirePrinter();
    if (guard != 0) return SetStatus(guard);
    m_BusyCode = KD_EXCHANGING;

    int tries = m_RetryTimes;
    if (m_bFirstOpen) tries = 1;
    if ((m_PortType == KD_PORT_NET || m_PortType == KD_PORT_NE2) && tries < 2) tries = 2;

    int status = 0;
    int written = 0;
    bool resendMark = false;
    for (int attempt = 0; attempt < tries; ++attempt) {
        if (attempt > 0) KD_Log1("   KD_PortWriteRead - retry = [%d]", attempt + 1);
        status = KD_PortCheck(0);
        m_BusyCode = KD_EXCHANGING;
        if (status == ERR_KD_RIBBON_NEAR_END) status = 0;
        if (resendMark && status == 0) {
            status = ResendSequence(timeoutUs);
            if (status == ERR_KD_RIBBON_NEAR_END) status = 0;
        }
        resendMark = false;
        written = 0;
        if (status == 0) status = CP_WriteDevice(command, length, &written);

        if (status == ERR_DEV_IO_ERROR && written > 0) {
            KD_Log1("   ERR_DEV_IO_ERROR : dwWritten = [%d / %d], iStatus = [%d] -> [0]", written,
                    length, status);
            KD_PrinterClose();
            status = 0;
            resendMark = true;
            if (attempt + 1 < tries) {
                KD_PumpMessages(m_Waits.resendPauseMs);
                continue;
            }
        }
        if (status == 0) {
            status = KD_ReadResponse(answerType, timeoutUs, flag, g_pRxBuffer != nullptr);
            if (m_PortType == KD_PORT_USB || status == 0) break;
        }
        if (status >= 1 && status <= 1000) break;
        if (KD_IsTransportError(status)) {
            m_PurgeNeeded = 1;
            if (m_NewKDCL) {
                if (m_PortType != KD_PORT_NET && m_PortType != KD_PORT_NE2) break;
                KD_Log3("time %d(%d)", tries, attempt);
            }
            KD_PumpMessages(m_Waits.transportRetryMs);
            KD_Log1("   DEVICE WRITE ERROR - m_DevArrivalTime = [%d], m_DevRemoveTime = [%d]",
                    static_cast<int>(m_DevArrivalTime.load()),
                    static_cast<int>(m_DevRemoveTime.load()));
        }
        // Any other status above 1040: next try at once.
    }
    m_BusyCode = KD_IDLE;

    if (m_NewKDCL && status <= 1000) {
        if (m_Reopened && status == 0) m_Reopened = 0;
        m_Active = 0;
        TouchIo();
        ReleasePrinter();
        return SetStatus(status);
    }
    if ((resendMark && status == 0) || written != length) {
        KD_Log1("   ERR_DEV_IO_ERROR - Written = %d / %d ", written, length);
        status = ERR_DEV_IO_ERROR;
    } else {
        const bool unanswered = status == ERR_KD_USB_TIME_OUT || status == ERR_DEV_IO_ERROR;
        status = KD_ResolveStatus(status, flag);
        // A newer-form command whose answer never came stays a failure even when the status
        // request says the printer is fine: its answer data would be the status request's.
        if (m_NewKDCL && unanswered && KD_IsSuccessLike(status)) {
            status = ERR_KD_USB_TIME_OUT;
            m_RspCount = 0;
        }
    }
    if (m_Reopened && status == 0)
        m_Reopened = 0;
    else if (KD_IsTransportError(status))
        m_PurgeNeeded = 1;
    m_BusyCode = KD_IDLE;
    m_Active = 0;
    TouchIo();
    ReleasePrinter();
    return SetStatus(status);
}

int CKDCtrl::KD_PortWriteRead_RCP(const uint8_t* command, int length, int timeoutUs) {
    if (length < 3 || command == nullptr) {
        KD_Log1("  Command Length(%d) Error - Not Send", length);
        return SetStatus(ERR_KD_COMMAND_ERROR);
    }
    int guard = AcquirePrinter();
    if (guard != 0) return SetStatus(guard);
    m_Active = 1;
    m_BusyCode = KD_EXCHANGING;
    int tries = m_bFirstOpen ? 1 : m_RetryTimes.load();
    if ((m_PortType == KD_PORT_NET || m_PortType == KD_PORT_NE2) && tries < 2) tries = 2;
    int status = 0;
    int written = 0;
    for (int attempt = 0; attempt < tries; ++attempt) {
        if (attempt > 0) KD_Log1("   KD_PortWriteRead - retry = [%d]", attempt + 1);
        status = KD_PortCheck(0);
        m_BusyCode = KD_EXCHANGING;
        if (status == ERR_KD_RIBBON_NEAR_END) status = 0;
        written = 0;
        if (status == 0) status = CP_WriteDevice(command, length, &written);
        if (status == 0) {
            status = KD_ReadResponse(1, timeoutUs, 1, g_pRxBuffer != nullptr);
            if (status == 0) break;
        }
        if (status >= 1 && status <= 1000) break;
        if (KD_IsTransportError(status)) {
            m_PurgeNeeded = 1;
            if (m_NewKDCL) break;
            if (attempt + 1 < tries) KD_PumpMessages(m_Waits.transportRetryMs);
        }
    }
    m_BusyCode = KD_IDLE;
    if (!(m_NewKDCL && status <= 1000)) {
        if (status == 0 && written != length) {
            KD_Log1("   ERR_DEV_IO_ERROR - Written = %d / %d ", written, length);
            status = ERR_DEV_IO_ERROR;
        } else {
            status = KD_ResolveStatus(status, 1);
        }
    }
    if (m_Reopened && status == 0)
        m_Reopened = 0;
    else if (KD_IsTransportError(status))
        m_PurgeNeeded = 1;
    m_Active = 0;
    TouchIo();
    ReleasePrinter();
    return SetStatus(status);
}

// Re-send after a partly written command: clear the printer's error (two attempts at most),
// then the caller writes the same command again.
int CKDCtrl::ResendSequence(int timeoutUs) {
    KD_Log1("   RE-SEND (Clear Error)");
    int status = KD_ClearReadBuffer(1);
    if (status != 0) return status;
    uint8_t command[64];
    for (int attempts = 2; attempts > 0;) {
        KD_Log1("   GET_STATUS check ");
        int length = KD_MakeCommand(kStatusRequest, command, sizeof command);
        status = KD_PortWriteRead(command, length, 0, 5000000, 1);
        if (status == 0) return 0;

        KD_Log1("   CLEAR_ERROR  ");
        length = KD_MakeCommand(kClearError, command, sizeof command);
        int written = 0;
        status = CP_WriteDevice(command, length, &written);
        if (status != 0) return status;
        int wait = (m_Reopened && timeoutUs < 30000000) ? 30000000 : 3000000;
        status = KD_ReadResponse(0, wait, 0, 0);
        KD_Log1("   KD_DeviceErrorClear - iStatus = [%d] (retry)", status);
        if (status == ERR_KD_USB_TIME_OUT || status == ERR_KD_COMMAND_ERROR ||
            status == ERR_KD_CLEAR_NOT_NEEDED) {
            KD_ClearReadBuffer(1);
            --attempts;
            status = 0;
        } else {
            return status;
        }
        if (m_Reopened) {
            if (status != 0) return status;
            m_Reopened = 0;
        } else if (status != 0) {
            return status;
        }
    }
    return status;
}

// ---------------------------------------------------------------------------------------
// Answer reader: reads until one answer (or the expected number of answers) is complete,
// feeding the bytes to the answer state machine.

int CKDCtrl::KD_ReadResponse(int answerType, int timeoutUs, int flag, int longAnswer) {
    uint8_t receive[kReadChunk];
    int mismatches = 0;
    if (m_ExpectedAnswers < 1) m_ExpectedAnswers = 1;
    m_RspStatusWord = 0;
    m_RspDataLength = 0;

    uint8_t* destination = m_RspData;
    int capacity = kResponseBufferSize;
    if (longAnswer) {
        m_RxFilled = 0;
        if (g_pRxBuffer == nullptr) {
            KD_Log2("g_pRxBuffer is NULL");
            longAnswer = 0;
        } else {
            destination = g_pRxBuffer;
            capacity = g_nRxBufferSize;
        }
    }
    m_RspCount = 0;
    AnswerParser parser(answerType, flag, longAnswer != 0, destination, capacity, g_nRspSize);

    int status = 0;
    bool complete = false;
    for (;;) {
        // Read until bytes arrive, the read fails or the time-out passes.
        int received = 0;
        int readStatus = 0;
        const uint64_t start = plat::MicroCounter();
        const uint32_t startTick = plat::TickCount();
        do {
            plat::SleepMs(1);
            readStatus = CP_ReadDevice(receive, timeoutUs, &received);
        } while (readStatus == 0 && received == 0 &&
                 plat::MicroCounter() - start < static_cast<uint64_t>(timeoutUs));
        KD_Log3("Response - Read n Bytes: %d == %d (%d ms) C iStatus %d", received, received,
                static_cast<int>(plat::TickCount() - startTick), readStatus);
        KD_LogDump(receive, received, DUMP_FW_DLL);

        if (readStatus != 0) {
            status = readStatus;
            break;
        }
        if (received == 0) {
            if (parser.WaitingAfterAck()) {
                KD_Log1("   nLastAction = KD_ACK(06) => Success");
                status = 0;
                complete = true;
                --m_ExpectedAnswers;
            } else if (parser.Stored() == 0) {
                if (m_PortType == KD_PORT_NET || m_PortType == KD_PORT_NE2) KD_PrinterClose();
                status = ERR_KD_USB_TIME_OUT;
            } else {
                status = ERR_KD_RESPONSE_FRAME;
            }
            break;
        }

        complete = false;
        int pos = 0;
        while (pos < received) {
            AnswerParser::Event event = parser.Feed(receive, received, pos);
            if (event == AnswerParser::Event::NeedMore) break;
            --m_ExpectedAnswers;
            if (event == AnswerParser::Event::Failed) {
                status = parser.FailStatus();
                break;
            }
            status = 0;
            complete = true;
            // A newer-form answer must echo the command it answers.
            if (m_NewKDCL && parser.SawHeader()) {
                const uint8_t* echo = parser.Header() + 2;
                const uint8_t* sent = m_LastCommandHeader + 1;
                if (std::memcmp(echo, "XXX", 3) == 0 ||
                    (echo[0] == 0xB2 && echo[1] == 0x18 && echo[2] == 0x00)) {
                    KD_Log2("Command Not Support - %c%c%c != %c%c%c", sent[0], sent[1], sent[2],
                            echo[0], echo[1], echo[2]);
                } else if (std::memcmp(echo, sent, 3) != 0) {
                    int low = parser.StatusWord() & 0xFF;
                    KD_Log2("Command Mismatch - %c%c%c != %c%c%c  (%x) ", sent[0], sent[1],
                            sent[2], echo[0], echo[1], echo[2], low);
                    if (low == 0 || low == 1 || low == 6) {
                        if (++mismatches > kMaxMismatches) {
                            status = ERR_KD_RESPONSE_FRAME;
                            break;
                        }
                        // An answer to another command: drop it and read on.
                        KD_Log2("Retry Mismatch");
                        complete = false;
                        ++m_ExpectedAnswers;
                        parser.DiscardStored();
                        parser.ClearHeader();
                        parser.Restart();
                        continue;
                    }
                }
            }
            if (m_ExpectedAnswers <= 0) break;
            parser.Restart();
        }
        if (status != 0) {
            KD_Log2("NOT ERR_KD_OK %d", status);
            break;
        }
        if (complete && m_ExpectedAnswers <= 0) break;
    }

    m_ExpectedAnswers = 0;
    if (parser.SawHeader()) {
        std::memcpy(m_RspHeader, parser.Header(), sizeof m_RspHeader);
        m_RspStatusWord = parser.StatusWord();
        m_RspDataLength = parser.DataLength();
    }
    if (KD_PortCarriesStatusWord(m_PortType)) {
        if (m_RspStatusWord != 0) {
            status = KD_ConvertStatusWord(m_RspStatusWord);
            if (status == ERR_KD_PJS_203 && std::memcmp(m_RspHeader + 2, "PJS", 3) == 0 &&
                std::memcmp(m_LastCommandHeader + 1, "PJS", 3) == 0)
                status = 0;
        }
    } else {
        m_RspStatusWord = static_cast<uint16_t>(status & 0xFFFF);
    }
    if (status == ERR_KD_USB_TIME_OUT || status == ERR_KD_RESPONSE_FRAME) m_PurgeNeeded = 1;
    const int stored = parser.Stored();
    m_RspCount = stored;
    m_RxFilled = longAnswer ? stored : 0;
    KD_Log3("Response - Data Length = %d, Status = %Xh, nLastAction = %d, [%d of %d]", stored,
            status, parser.StateNumber(), stored, static_cast<int>(m_RspDataLength));
    KD_LogDump(destination, stored, DUMP_RESPONSE);
    return SetStatus(status);
}

// ---------------------------------------------------------------------------------------

int CKDCtrl::KD_ResolveStatus(int status, int flag) {
    if (m_bFirstOpen && (status == ERR_KD_USB_TIME_OUT || status == ERR_DEV_IO_ERROR))
        return status;
    // The status request below overwrites the last command: keep the timed-out one.
    const int timedOutCommand = m_LastCommandId;
    uint8_t timedOutHeader[5];
    std::memcpy(timedOutHeader, m_LastCommandHeader, sizeof timedOutHeader);

    if (status == ERR_KD_USB_TIME_OUT || status == ERR_DEV_IO_ERROR) {
        KD_Log1("   ERR_KD_USB_TIME_OUT( %d ) -> KDCL_GET_STATUS", status);
        uint8_t command[64];
        int length = KD_MakeCommand(kStatusRequest, command, sizeof command);
        int written = 0;
        int writeStatus = CP_WriteDevice(command, length, &written);
        if (KD_IsSuccessLike(writeStatus)) {
            status = KD_ReadResponse(
                0, m_NewKDCL ? m_Waits.statusRequestNewerUs : m_Waits.statusRequestOlderUs, 1, 0);
            if (status == ERR_DEV_IO_ERROR) status = KD_ReadResponse(0, 6000000, 1, 0);
        } else if (m_NewKDCL) {
            status = writeStatus;
            for (int pass = 2; pass >= 1; --pass) {
                KD_Log2("  Check retry %d", pass);
                KD_PrinterClose();
                KD_PumpMessages(m_Waits.recoveryPauseMs);
                status = KD_PortCheck(1);
                if (KD_IsSuccessLike(status)) {
                    length = KD_MakeCommand(kStatusRequest, command, sizeof command);
                    status = CP_WriteDevice(command, length, &written);
                    if (status == 0) status = KD_ReadResponse(0, m_Waits.statusRequestNewerUs, 1, 0);
                    if (timedOutCommand == kPrintJobStatus && status == 0) {
                        KD_Log2("   PJS Check retry");
                        length = KD_MakeCommand(kPrintJobStatus, command, sizeof command);
                        status = CP_WriteDevice(command, length, &written);
                        if (KD_IsSuccessLike(status)) status = KD_ReadResponse(0, 15000000, 1, 0);
                    }
                }
                if (KD_IsSuccessLike(status)) break;
            }
        } else {
            status = writeStatus;
        }
        m_LastCommandId = timedOutCommand;
    }
    if (m_NewKDCL) return status;

    if (status == ERR_KD_USB_TIME_OUT) {
        static const char* const unknownToOlder[] = {".\r", "MR", "MW", "GSI", "CLE", "A ", "PUC",
                                                     "PUR", "PMS", "PWS", "PUS", "PLS", "PDE",
                                                     "PDS", "%rf", "%RF"};
        for (const char* prefix : unknownToOlder) {
            if (std::strncmp(reinterpret_cast<const char*>(timedOutHeader), prefix,
                             std::strlen(prefix)) == 0) {
                KD_Log1("   ERR_KD_USB_TIME_OUT => ERR_KD_COMMAND_ERROR");
                return ERR_KD_COMMAND_ERROR;
            }
        }
    }
    if (status == ERR_KD_USB_TIME_OUT || KD_IsTransportError(status)) {
        KD_Log1("   ERR_KD_USB_TIME_OUT (%d) - KD_PrinterOpen", status);
        if (m_PortType == KD_PORT_USB || m_PortType == KD_PORT_SCN) {
            // FTDI port cycle: the FTDI transport is not available on this platform yet, so
            // the cycle reports the port as not open and the status stands.
            int cycle = ERR_DEV_NOT_OPENED;
            KD_Log1("   CP_CyclePort = %d", cycle);
            if (CP_IsOpen()) {
                KD_PrinterClose();
                KD_PumpMessages(m_Waits.recoveryPauseMs);
            }
            if (cycle >= 1001 && cycle <= 1003) return status;
            if (flag == 1) {
                KD_Log1("   KD_PrinterOpen => OK => %d (USB I/F ERROR)", status);
                return status;
            }
            return 0;
        }
        return status;
    }
    return status;
}
