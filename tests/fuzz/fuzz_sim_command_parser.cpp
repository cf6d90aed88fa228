// Fuzzes the simulator's command stream parser: any byte stream, cut into pieces of any size,
// in both command-set generations. Checks that no byte is invented, lost or reordered (the
// entries' raw bytes, in order, are a prefix of the input), that nothing exceeds the size
// limit and that every well-formed entry has the shape of its form.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "sim/command_parser.h"

namespace {

constexpr size_t kLimit = 4096;

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t control = data[0];
    ++data;
    --size;
    using orvpw::sim::CommandForm;
    orvpw::sim::CommandParser parser((control & 1) ? CommandForm::older : CommandForm::newer, kLimit);
    const size_t piece = 1 + (control >> 1);

    std::vector<orvpw::sim::Command> out;
    for (size_t at = 0; at < size; at += piece) {
        const size_t length = size - at < piece ? size - at : piece;
        parser.Feed(data + at, length, out);
        if ((control & 0x80) && parser.AwaitingQuiet()) parser.Flush(out);
    }
    parser.Flush(out);

    size_t consumed = 0;
    for (const orvpw::sim::Command& command : out) {
        Check(!command.raw.empty());
        Check(command.raw.size() <= kLimit);
        Check(consumed + command.raw.size() <= size);
        for (size_t i = 0; i < command.raw.size(); ++i) Check(command.raw[i] == data[consumed + i]);
        consumed += command.raw.size();
        if (command.malformed) continue;
        Check(command.raw.front() == 0x1B && command.raw.back() == 0x0D);
        if (command.form == CommandForm::newer) {
            Check(command.mnemonic.size() == 3);
            Check(command.raw.size() == 10 + command.params.size());
        } else {
            Check(command.raw.size() == 2 + command.text.size() + command.params.size());
        }
    }
    return 0;
}
