// Discovery answers as they arrive from the network: classification and the configuration
// echo check must never read past the datagram.
#include <cstddef>
#include <cstdint>

#include "transport/discovery_packet.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const discovery::Answer answer = discovery::ParseAnswer(data, size);
    if (answer.kind == discovery::AnswerKind::board && answer.record[0] != 0x0E) __builtin_trap();
    // The request payload is the edited record from offset 4 on; use the input's own tail.
    const size_t payloadLength = size > 29 ? 29 : size;
    discovery::ConfirmsConfiguration(data, size, data, payloadLength);
    discovery::HasBoardMac(data, size);
    return 0;
}
