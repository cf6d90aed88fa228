// The UDP discovery and configuration packets of the network boards. Requests are
// 0Eh 9Eh, an operation ("FIND", "SETT") with its data, and 00h. Answers start 0Eh 9Eh and
// an operation ("IMIN", "SETC"); a board's MAC address at offset 6 always starts 02h 5Bh C7h.
// Board record ("IMIN", first 31 bytes kept): MAC at 6, IPv4 address at 12, further
// settings at 16..23, TCP port (big-endian) at 24, further settings at 26..30.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace discovery {

inline constexpr size_t kRecordSize = 31;
inline constexpr size_t kMacOffset = 6;
inline constexpr size_t kAddressOffset = 12;
inline constexpr size_t kPortOffset = 24;
inline constexpr size_t kMaxDatagram = 1460;

enum class AnswerKind {
    foreign,     // not from a board (short, wrong magic, wrong MAC prefix, unknown operation)
    board,       // "IMIN" with a full address and port
    configured,  // "SETC"
};

struct Answer {
    AnswerKind kind = AnswerKind::foreign;
    std::array<uint8_t, kRecordSize> record{};  // first 31 bytes, zero-filled when shorter
    uint8_t address[4] = {0, 0, 0, 0};
    uint16_t tcpPort = 0;
};

// Classifies one received datagram; never reads past `size`.
Answer ParseAnswer(const uint8_t* data, size_t size);
// True when a record (or any bytes) carries the board MAC prefix at offset 6.
bool HasBoardMac(const uint8_t* record, size_t size);
// "SETC" confirms a configuration when its bytes from offset 6 repeat the request payload
// from offset 4 (the edited record from its MAC on), as far as the answer reaches.
bool ConfirmsConfiguration(const uint8_t* answer, size_t size, const uint8_t* payload,
                           size_t payloadLength);
// 0Eh 9Eh, the payload (none when length < 1) and 00h.
std::vector<uint8_t> BuildRequest(const uint8_t* payload, int length);
// "SETT" and record bytes 6..30.
std::array<uint8_t, 29> BuildConfigurationPayload(const uint8_t* record);

// True for dotted IPv4 text in 127.0.0.0/8.
bool IsLoopbackAddress(const std::string& address);

}  // namespace discovery
