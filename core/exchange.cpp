// The exchange engine: writes a command, reads and validates the answer, retries after
// transport failures, re-sends a partly written command, and resolves time-outs into the
// printer's status.
#include <cstring>
#include <vector>

#include "core/command_set.h"
#include "core/controller.h"
#include "diag/log.h"
#include "platform/clock.h"
#include "platform/event_loop.h"

namespace {

constexpr int kStatusRequest = 18;  // !CSS / "S"
constexpr int kClearError = 2;       // !RCE / "."
constexpr int kPrintJobStatus = 184; // $PJS
constexpr int kMaxIgnoredBytes = 10;
constexpr int kMaxMismatches = 10;

bool IsStatusWordPort(int portType) {
    return portType == KD_PORT_US2 || portType == KD_PORT_SCD || portType == KD_PORT_USC ||
           portType == KD_PORT_NE2;
}

// Converts the status word of a newer-form answer into a status code.
int ConvertStatusWord(uint16_t word) {
    if (word == 0x0006) return 0;
    if (word == 0x0015) return ERR_KD_NACK;
    switch (word) {
    case 0x1000: case 0x1001: case 0x1002: case 0x1004: case 0x1005: case 0x1008:
        return 0;
    default:
        break;
    }
    if (word >= 0x8000 && word <= 0x8FFF) return word & 0xFF;
    return ERR_KD_UNKNOWN_STATUS_WORD;
}

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
// Answer reader

namespace {

enum class AnswerState { Idle, Nak, AfterAck, Soh, Block, LengthByte, Counted, EndOfBlock,
                         Header, Data, Cr };

const char* StateNumber(AnswerState state) {
    static const char* const names[] = {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10"};
    return names[static_cast<int>(state)];
}

}  // namespace

int CKDCtrl::KD_ReadResponse(int answerType, int timeoutUs, int flag, int longAnswer) {
    return ReadAnswer(answerType, timeoutUs, flag, longAnswer);
}

int CKDCtrl::ReadAnswer(int answerType, int timeoutUs, int flag, int longAnswer) {
    uint8_t receive[kReadChunk];
    int ignored = 0;
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
    int stored = 0;         // bytes kept in the destination
    int dataReceived = 0;   // data bytes of a newer-form answer, kept or dropped
    int nakStart = 0;
    int headerCount = 0;
    int countedRemaining = 0;
    AnswerState state = AnswerState::Idle;
    auto store = [&](uint8_t byte) {
        if (stored < capacity) destination[stored] = byte;
        if (stored < capacity) ++stored;
    };
    auto lowerRspSize = [&](int by) { g_nRspSize = g_nRspSize > by ? g_nRspSize - by : 0; };

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
            if (state == AnswerState::AfterAck) {
                KD_Log1("   nLastAction = KD_ACK(06) => Success");
                status = 0;
                complete = true;
                --m_ExpectedAnswers;
            } else if (stored == 0) {
                if (m_PortType == KD_PORT_NET || m_PortType == KD_PORT_NE2) KD_PrinterClose();
                status = ERR_KD_USB_TIME_OUT;
            } else {
                status = ERR_KD_RESPONSE_FRAME;
            }
            break;
        }

        complete = false;
        bool stop = false;
        auto fail = [&](const char* line, int index) {
            KD_Log2(line, index, received, receive[index], static_cast<int>(state));
            status = ERR_KD_RESPONSE_FRAME;
            --m_ExpectedAnswers;
            stop = true;
        };
        auto finishAnswer = [&]() {
            status = 0;
            complete = true;
            --m_ExpectedAnswers;
            if (m_ExpectedAnswers > 0)
                state = AnswerState::Idle;
            else
                stop = true;
        };
        for (int i = 0; i < received && !stop; ++i) {
            uint8_t byte = receive[i];
            const bool lastByte = i == received - 1;
            switch (state) {
            case AnswerState::Idle:
                if (byte == 0x06) {
                    if (answerType == 0 || answerType == 6)
                        flag == 1 ? (void)(state = AnswerState::AfterAck) : finishAnswer();
                    else if (answerType >= 1 && answerType <= 4)
                        state = AnswerState::AfterAck;
                    else
                        finishAnswer();
                } else if (byte == 0x15) {
                    state = AnswerState::Nak;
                    nakStart = stored;
                } else if (byte == 0x1B) {
                    headerCount = 1;
                    m_RspHeader[0] = 0x1B;
                    state = AnswerState::Header;
                } else if (byte != 0x77) {
                    if (++ignored > kMaxIgnoredBytes) {
                        KD_Log2("Response - Ignore A count 10(%d) = [%02Xh]", ignored, byte);
                        status = ERR_KD_RESPONSE_FRAME;
                        --m_ExpectedAnswers;
                        stop = true;
                    }
                }
                break;
            case AnswerState::Nak:
                if (byte == 0x04) {
                    int number = 0;
                    for (int k = nakStart; k < stored; ++k) {
                        uint8_t digit = destination[k];
                        if (digit < '0' || digit > '9') break;
                        number = number * 10 + (digit - '0');
                        if (number > 100000) break;
                    }
                    if (number == 0) {
                        finishAnswer();
                    } else {
                        status = number;
                        --m_ExpectedAnswers;
                        stop = true;
                    }
                } else {
                    store(byte);
                }
                break;
            case AnswerState::AfterAck:
                if (byte == 0x01)
                    state = AnswerState::Soh;
                else if (byte == 0x15) {
                    state = AnswerState::Nak;
                    nakStart = stored;
                } else if (byte != 0x06)
                    fail("Response - !SOH - RxBuffers[%d of %d] = %d, nLastAction=%d", i);
                break;
            case AnswerState::Soh:
                if (byte == 0x7B)
                    state = AnswerState::Block;
                else
                    fail("Response - !SOB - RxBuffers[%d of %d] = %d, nLastAction=%d", i);
                break;
            case AnswerState::Block:
                if (answerType == 3) {
                    if (byte == 0x02) {
                        store(byte);
                        state = AnswerState::LengthByte;
                    } else if (byte == 0x06) {
                        store(byte);
                    } else if (byte == 0x7D) {
                        state = AnswerState::EndOfBlock;
                    } else {
                        fail("Response - !PSAM - RxBuffers[%d of %d] = %d, nLastAction=%d", i);
                    }
                } else if (longAnswer) {
                    if (g_nRspSize > 0) {
                        store(byte);
                        --g_nRspSize;
                    } else if (byte == 0x7D) {
                        state = AnswerState::EndOfBlock;
                    } else {
                        fail("Response - Length Error - RxBuffers[%d of %d] = %d, nLastAction=%d",
                             i);
                    }
                } else if (byte == 0x7D) {
                    state = AnswerState::EndOfBlock;
                } else {
                    store(byte);
                }
                break;
            case AnswerState::LengthByte:
                store(byte);
                countedRemaining = byte + 3;
                state = AnswerState::Counted;
                break;
            case AnswerState::Counted:
                store(byte);
                if (--countedRemaining <= 0) state = AnswerState::Block;
                break;
            case AnswerState::EndOfBlock:
                if (byte == 0x04 && lastByte) {
                    finishAnswer();
                } else if (longAnswer && g_nRspSize == 0) {
                    KD_Log2("Response - !EOT, g_nRspSize = 0");
                } else if (byte == 0x7D) {
                    store(0x7D);
                    lowerRspSize(1);
                    KD_Log2("Response - EOT -> EOB, RxLength = [%d], dwReadenBytes = [%d]", stored,
                            received);
                } else {
                    store(0x7D);
                    store(byte);
                    lowerRspSize(2);
                    KD_Log2("Response - EOT -> SOB, RxLength = [%d], dwReadenBytes = [%d]", stored,
                            received);
                    state = AnswerState::Block;
                }
                break;
            case AnswerState::Header:
                m_RspHeader[headerCount++] = byte;
                if (headerCount == 11) {
                    m_RspStatusWord = static_cast<uint16_t>((m_RspHeader[5] << 8) | m_RspHeader[6]);
                    m_RspDataLength = (uint32_t{m_RspHeader[7]} << 24) |
                                      (uint32_t{m_RspHeader[8]} << 16) |
                                      (uint32_t{m_RspHeader[9]} << 8) | m_RspHeader[10];
                    dataReceived = 0;
                    state = m_RspDataLength == 0 ? AnswerState::Cr : AnswerState::Data;
                }
                break;
            case AnswerState::Data:
                store(byte);
                if (static_cast<uint32_t>(++dataReceived) >= m_RspDataLength) state = AnswerState::Cr;
                break;
            case AnswerState::Cr:
                if (byte == 0x0D)
                    finishAnswer();
                else
                    fail("Response - !CR - RxBuffers[%d of %d] = %d, nLastAction = %d", i);
                break;
            }
            // A newer-form answer must echo the command it answers.
            if (complete && status == 0 && m_NewKDCL && m_RspHeader[0] == 0x1B) {
                const uint8_t* echo = m_RspHeader + 2;
                const uint8_t* sent = m_LastCommandHeader + 1;
                if (std::memcmp(echo, "XXX", 3) == 0 ||
                    (echo[0] == 0xB2 && echo[1] == 0x18 && echo[2] == 0x00)) {
                    KD_Log2("Command Not Support - %c%c%c != %c%c%c", sent[0], sent[1], sent[2],
                            echo[0], echo[1], echo[2]);
                } else if (std::memcmp(echo, sent, 3) != 0) {
                    int low = m_RspStatusWord & 0xFF;
                    KD_Log2("Command Mismatch - %c%c%c != %c%c%c  (%x) ", sent[0], sent[1],
                            sent[2], echo[0], echo[1], echo[2], low);
                    if (low == 0 || low == 1 || low == 6) {
                        if (++mismatches > kMaxMismatches) {
                            status = ERR_KD_RESPONSE_FRAME;
                            stop = true;
                        } else {
                            KD_Log2("Retry Mismatch");
                            complete = false;
                            ++m_ExpectedAnswers;
                            state = AnswerState::Idle;
                            stored = 0;
                            m_RspStatusWord = 0;
                            m_RspDataLength = 0;
                            stop = false;
                        }
                    }
                }
            }
        }
        if (status != 0) {
            KD_Log2("NOT ERR_KD_OK %d", status);
            break;
        }
        if (complete && m_ExpectedAnswers <= 0) break;
    }
    (void)StateNumber;

    m_ExpectedAnswers = 0;
    if (IsStatusWordPort(m_PortType)) {
        if (m_RspStatusWord != 0) {
            status = ConvertStatusWord(m_RspStatusWord);
            if (status == ERR_KD_PJS_203 && std::memcmp(m_RspHeader + 2, "PJS", 3) == 0 &&
                std::memcmp(m_LastCommandHeader + 1, "PJS", 3) == 0)
                status = 0;
        }
    } else {
        m_RspStatusWord = static_cast<uint16_t>(status & 0xFFFF);
    }
    if (status == ERR_KD_USB_TIME_OUT || status == ERR_KD_RESPONSE_FRAME) m_PurgeNeeded = 1;
    m_RspCount = longAnswer ? 0 : stored;
    if (longAnswer) {
        m_RxFilled = stored;
        m_RspCount = stored;
    }
    KD_Log3("Response - Data Length = %d, Status = %Xh, nLastAction = %d, [%d of %d]", stored,
            status, static_cast<int>(state), stored, static_cast<int>(m_RspDataLength));
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
