// Printer answers in both wire forms, split into reads at fuzzer-chosen points.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "core/answer_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    const int answerType = data[0] % 8;
    const int flag = data[1] & 1;
    const bool longAnswer = (data[1] & 2) != 0;
    const int capacity = (data[2] & 1) ? 16 : 8300;
    int rspSize = data[3];
    data += 4;
    size -= 4;

    std::vector<uint8_t> destination(static_cast<size_t>(capacity));
    AnswerParser parser(answerType, flag, longAnswer, destination.data(), capacity, rspSize);
    // Each read is at most 1024 bytes; a byte with the top bits 0xF0 marks a read boundary.
    size_t start = 0;
    while (start < size) {
        size_t end = start;
        while (end < size && end - start < 1024 && (data[end] & 0xF8) != 0xF8) ++end;
        int count = static_cast<int>(end - start);
        int pos = 0;
        while (pos < count) {
            AnswerParser::Event event = parser.Feed(data + start, count, pos);
            if (event == AnswerParser::Event::NeedMore) break;
            if (event == AnswerParser::Event::Failed) return 0;
            parser.Restart();
        }
        if (parser.Stored() > capacity || rspSize < 0) std::abort();
        start = end + 1;
    }
    return 0;
}
