// The two wire forms of a printer's answer.
//
// Newer form: ESC, class character echo, mnemonic echo ("XXX" = command not supported),
// status word (2 bytes, big-endian; 0000h = done), data length (4 bytes, big-endian), data, CR.
// Older form: ACK (06h), optionally followed by the data block 01h '{' data '}' 04h;
// a refusal is NAK (15h), the error number in decimal digits, 04h.
#pragma once
#include <cstdint>
#include <string_view>
#include <vector>

namespace orvpw::sim {

inline constexpr uint8_t kAck = 0x06;
inline constexpr uint8_t kNak = 0x15;
inline constexpr uint8_t kSoh = 0x01;
inline constexpr uint8_t kEot = 0x04;

std::vector<uint8_t> NewerAnswer(char class_char, std::string_view mnemonic, uint16_t status_word,
                                 const std::vector<uint8_t>& data);
// ACK alone when `with_block` is false, else ACK and the data block (also for empty data).
std::vector<uint8_t> OlderAck(bool with_block, const std::vector<uint8_t>& data);
std::vector<uint8_t> OlderNak(int error_number);

}  // namespace orvpw::sim
