#include "sim/answer_frames.h"

#include <string>

namespace orvpw::sim {

std::vector<uint8_t> NewerAnswer(char class_char, std::string_view mnemonic, uint16_t status_word,
                                 const std::vector<uint8_t>& data) {
    std::vector<uint8_t> answer;
    answer.reserve(12 + data.size());
    answer.push_back(0x1B);
    answer.push_back(static_cast<uint8_t>(class_char));
    for (size_t i = 0; i < 3; ++i) answer.push_back(i < mnemonic.size() ? static_cast<uint8_t>(mnemonic[i]) : ' ');
    answer.push_back(static_cast<uint8_t>(status_word >> 8));
    answer.push_back(static_cast<uint8_t>(status_word));
    const uint32_t length = static_cast<uint32_t>(data.size());
    answer.push_back(static_cast<uint8_t>(length >> 24));
    answer.push_back(static_cast<uint8_t>(length >> 16));
    answer.push_back(static_cast<uint8_t>(length >> 8));
    answer.push_back(static_cast<uint8_t>(length));
    answer.insert(answer.end(), data.begin(), data.end());
    answer.push_back(0x0D);
    return answer;
}

std::vector<uint8_t> OlderAck(bool with_block, const std::vector<uint8_t>& data) {
    std::vector<uint8_t> answer{kAck};
    if (!with_block) return answer;
    answer.push_back(kSoh);
    answer.push_back('{');
    answer.insert(answer.end(), data.begin(), data.end());
    answer.push_back('}');
    answer.push_back(kEot);
    return answer;
}

std::vector<uint8_t> OlderNak(int error_number) {
    std::vector<uint8_t> answer{kNak};
    for (char digit : std::to_string(error_number)) answer.push_back(static_cast<uint8_t>(digit));
    answer.push_back(kEot);
    return answer;
}

}  // namespace orvpw::sim
