#include "core/answer_parser.h"

#include "core/status_codes.h"
#include "diag/log.h"

namespace {
constexpr int kMaxIgnoredBytes = 10;
constexpr int kMaxNakNumber = 100000;
}  // namespace

AnswerParser::AnswerParser(int answerType, int flag, bool longAnswer, uint8_t* destination,
                           int capacity, int& rspSize)
    : m_AnswerType(answerType),
      m_Flag(flag),
      m_LongAnswer(longAnswer),
      m_Destination(destination),
      m_Capacity(capacity < 0 ? 0 : capacity),
      m_RspSize(rspSize) {}

void AnswerParser::ClearHeader() {
    m_SawHeader = false;
    m_StatusWord = 0;
    m_DataLength = 0;
}

void AnswerParser::Store(uint8_t byte) {
    if (m_Stored < m_Capacity) m_Destination[m_Stored++] = byte;
}

void AnswerParser::LowerRspSize(int by) { m_RspSize = m_RspSize > by ? m_RspSize - by : 0; }

AnswerParser::Event AnswerParser::Fail(const char* line, int index, const uint8_t* bytes,
                                       int count) {
    KD_Log2(line, index, count, bytes[index], static_cast<int>(m_State));
    m_FailStatus = ERR_KD_RESPONSE_FRAME;
    return Event::Failed;
}

AnswerParser::Event AnswerParser::Feed(const uint8_t* bytes, int count, int& pos) {
    while (pos < count) {
        const int i = pos++;
        const uint8_t byte = bytes[i];
        switch (m_State) {
        case State::Idle:
            if (byte == 0x06) {
                bool blockMayFollow = (m_AnswerType == 0 || m_AnswerType == 6) ? m_Flag == 1
                                      : m_AnswerType >= 1 && m_AnswerType <= 4;
                if (!blockMayFollow) return Event::Complete;
                m_State = State::AfterAck;
            } else if (byte == 0x15) {
                m_State = State::Nak;
                m_NakStart = m_Stored;
            } else if (byte == 0x1B) {
                m_HeaderCount = 1;
                m_Header[0] = 0x1B;
                m_State = State::Header;
            } else if (byte != 0x77 && ++m_Ignored > kMaxIgnoredBytes) {
                KD_Log2("Response - Ignore A count 10(%d) = [%02Xh]", m_Ignored, byte);
                m_FailStatus = ERR_KD_RESPONSE_FRAME;
                return Event::Failed;
            }
            break;
        case State::Nak:
            if (byte == 0x04) {
                int number = 0;
                for (int k = m_NakStart; k < m_Stored && number < kMaxNakNumber; ++k) {
                    uint8_t digit = m_Destination[k];
                    if (digit < '0' || digit > '9') break;
                    number = number * 10 + (digit - '0');
                }
                if (number == 0) return Event::Complete;
                m_FailStatus = number;
                return Event::Failed;
            }
            Store(byte);
            break;
        case State::AfterAck:
            if (byte == 0x01) {
                m_State = State::Soh;
            } else if (byte == 0x15) {
                m_State = State::Nak;
                m_NakStart = m_Stored;
            } else if (byte != 0x06) {
                return Fail("Response - !SOH - RxBuffers[%d of %d] = %d, nLastAction=%d", i, bytes,
                            count);
            }
            break;
        case State::Soh:
            if (byte != 0x7B)
                return Fail("Response - !SOB - RxBuffers[%d of %d] = %d, nLastAction=%d", i, bytes,
                            count);
            m_State = State::Block;
            break;
        case State::Block:
            if (m_AnswerType == 3) {
                if (byte == 0x02) {
                    Store(byte);
                    m_State = State::LengthByte;
                } else if (byte == 0x06) {
                    Store(byte);
                } else if (byte == 0x7D) {
                    m_State = State::EndOfBlock;
                } else {
                    return Fail("Response - !PSAM - RxBuffers[%d of %d] = %d, nLastAction=%d", i,
                                bytes, count);
                }
            } else if (m_LongAnswer) {
                if (m_RspSize > 0) {
                    Store(byte);
                    --m_RspSize;
                } else if (byte == 0x7D) {
                    m_State = State::EndOfBlock;
                } else {
                    return Fail("Response - Length Error - RxBuffers[%d of %d] = %d, nLastAction=%d",
                                i, bytes, count);
                }
            } else if (byte == 0x7D) {
                m_State = State::EndOfBlock;
            } else {
                Store(byte);
            }
            break;
        case State::LengthByte:
            Store(byte);
            m_CountedRemaining = byte + 3;
            m_State = State::Counted;
            break;
        case State::Counted:
            Store(byte);
            if (--m_CountedRemaining <= 0) m_State = State::Block;
            break;
        case State::EndOfBlock:
            if (byte == 0x04 && i == count - 1) return Event::Complete;
            if (m_LongAnswer && m_RspSize == 0) {
                KD_Log2("Response - !EOT, g_nRspSize = 0");
            } else if (byte == 0x7D) {
                Store(0x7D);
                LowerRspSize(1);
                KD_Log2("Response - EOT -> EOB, RxLength = [%d], dwReadenBytes = [%d]", m_Stored,
                        count);
            } else {
                Store(0x7D);
                Store(byte);
                LowerRspSize(2);
                KD_Log2("Response - EOT -> SOB, RxLength = [%d], dwReadenBytes = [%d]", m_Stored,
                        count);
                m_State = State::Block;
            }
            break;
        case State::Header:
            m_Header[m_HeaderCount++] = byte;
            if (m_HeaderCount == 11) {
                m_SawHeader = true;
                m_StatusWord = static_cast<uint16_t>((m_Header[5] << 8) | m_Header[6]);
                m_DataLength = (uint32_t{m_Header[7]} << 24) | (uint32_t{m_Header[8]} << 16) |
                               (uint32_t{m_Header[9]} << 8) | m_Header[10];
                m_DataReceived = 0;
                m_State = m_DataLength == 0 ? State::Cr : State::Data;
            }
            break;
        case State::Data:
            Store(byte);
            if (++m_DataReceived >= m_DataLength) m_State = State::Cr;
            break;
        case State::Cr:
            if (byte != 0x0D)
                return Fail("Response - !CR - RxBuffers[%d of %d] = %d, nLastAction = %d", i, bytes,
                            count);
            return Event::Complete;
        }
    }
    return Event::NeedMore;
}
