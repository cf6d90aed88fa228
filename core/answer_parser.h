// The answer state machine of both wire forms, fed with the bytes of one or more reads.
//
// Older form: fillers (77h), ACK (06h), an optional data block 01h 7Bh data 7Dh 04h, or a
// NAK 15h with decimal digits and 04h. Newer form: ESC, class, mnemonic, status word,
// length, data, CR. The parser stores data bytes into the destination up to its capacity;
// bytes beyond are dropped while the framing is still followed.
#pragma once
#include <cstdint>

class AnswerParser {
public:
    enum class Event { NeedMore, Complete, Failed };

    // rspSize: bytes of a long answer still expected (g_nRspSize), lowered as they arrive.
    AnswerParser(int answerType, int flag, bool longAnswer, uint8_t* destination, int capacity,
                 int& rspSize);

    // Feeds bytes[pos..count) and stops after the first event; pos is left at the next byte.
    Event Feed(const uint8_t* bytes, int count, int& pos);

    // After Failed: the status (5 for a bad frame, or the NAK's error number).
    int FailStatus() const { return m_FailStatus; }
    // True after an ACK that may still be followed by a data block.
    bool WaitingAfterAck() const { return m_State == State::AfterAck; }
    // Back to idle for the next answer of the same exchange.
    void Restart() { m_State = State::Idle; }
    // Forgets the data stored so far (an answer to another command was read).
    void DiscardStored() { m_Stored = 0; }

    int Stored() const { return m_Stored; }
    int StateNumber() const { return static_cast<int>(m_State); }
    bool SawHeader() const { return m_SawHeader; }
    const uint8_t* Header() const { return m_Header; }  // 11 bytes of the newer-form header
    uint16_t StatusWord() const { return m_StatusWord; }
    uint32_t DataLength() const { return m_DataLength; }
    void ClearHeader();

private:
    enum class State { Idle, Nak, AfterAck, Soh, Block, LengthByte, Counted, EndOfBlock,
                       Header, Data, Cr };
    void Store(uint8_t byte);
    void LowerRspSize(int by);
    Event Fail(const char* line, int index, const uint8_t* bytes, int count);

    const int m_AnswerType;
    const int m_Flag;
    const bool m_LongAnswer;
    uint8_t* const m_Destination;
    const int m_Capacity;
    int& m_RspSize;

    State m_State = State::Idle;
    int m_Stored = 0;
    int m_Ignored = 0;
    int m_NakStart = 0;
    int m_HeaderCount = 0;
    int m_CountedRemaining = 0;
    uint32_t m_DataReceived = 0;
    int m_FailStatus = 0;
    bool m_SawHeader = false;
    uint8_t m_Header[11] = {};
    uint16_t m_StatusWord = 0;
    uint32_t m_DataLength = 0;
};
