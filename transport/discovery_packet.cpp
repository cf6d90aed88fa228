#include "transport/discovery_packet.h"

#include <cstring>

namespace discovery {

namespace {
constexpr uint8_t kMagic[2] = {0x0E, 0x9E};
constexpr uint8_t kMacPrefix[3] = {0x02, 0x5B, 0xC7};
}  // namespace

bool HasBoardMac(const uint8_t* record, size_t size) {
    return record != nullptr && size >= kMacOffset + 3 &&
           std::memcmp(record + kMacOffset, kMacPrefix, 3) == 0;
}

Answer ParseAnswer(const uint8_t* data, size_t size) {
    Answer answer;
    if (data == nullptr || size < kMacOffset + 3) return answer;
    if (data[0] != kMagic[0] || data[1] != kMagic[1] || !HasBoardMac(data, size)) return answer;
    if (std::memcmp(data + 2, "IMIN", 4) == 0) {
        if (size < kPortOffset + 2) return answer;  // no address or port: not a usable record
        answer.kind = AnswerKind::board;
        std::memcpy(answer.record.data(), data, size < kRecordSize ? size : kRecordSize);
        std::memcpy(answer.address, data + kAddressOffset, 4);
        answer.tcpPort = static_cast<uint16_t>((data[kPortOffset] << 8) | data[kPortOffset + 1]);
    } else if (std::memcmp(data + 2, "SETC", 4) == 0) {
        answer.kind = AnswerKind::configured;
        std::memcpy(answer.record.data(), data, size < kRecordSize ? size : kRecordSize);
    }
    return answer;
}

bool ConfirmsConfiguration(const uint8_t* answer, size_t size, const uint8_t* payload,
                           size_t payloadLength) {
    if (answer == nullptr || size < kMacOffset) return false;
    if (payload == nullptr || payloadLength <= 4) return true;
    size_t compared = size - kMacOffset;
    if (compared > payloadLength - 4) compared = payloadLength - 4;
    return std::memcmp(answer + kMacOffset, payload + 4, compared) == 0;
}

std::vector<uint8_t> BuildRequest(const uint8_t* payload, int length) {
    const size_t payloadLength = payload != nullptr && length > 0 ? static_cast<size_t>(length) : 0;
    std::vector<uint8_t> packet(payloadLength + 3, 0x00);
    packet[0] = kMagic[0];
    packet[1] = kMagic[1];
    if (payloadLength > 0) std::memcpy(packet.data() + 2, payload, payloadLength);
    return packet;
}

std::array<uint8_t, 29> BuildConfigurationPayload(const uint8_t* record) {
    std::array<uint8_t, 29> payload{};
    std::memcpy(payload.data(), "SETT", 4);
    std::memcpy(payload.data() + 4, record + kMacOffset, kRecordSize - kMacOffset);
    return payload;
}

bool IsLoopbackAddress(const std::string& address) {
    // "127." followed by three more dotted numbers below 256.
    if (address.compare(0, 4, "127.") != 0) return false;
    int parts = 1;
    int value = -1;
    for (size_t i = 4; i <= address.size(); ++i) {
        const char c = i < address.size() ? address[i] : '.';
        if (c >= '0' && c <= '9') {
            value = (value < 0 ? 0 : value) * 10 + (c - '0');
            if (value > 255) return false;
        } else if (c == '.' && value >= 0) {
            ++parts;
            value = -1;
        } else {
            return false;
        }
    }
    return parts == 4;
}

}  // namespace discovery
