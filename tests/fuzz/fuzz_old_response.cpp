// Feeds arbitrary application bytes to the older-form command classifier.
#include <cstddef>
#include <cstdint>

#include "core/command_set.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 4096) return 0;
    int timeout = 0;
    const int flag = KDCL_OLD_Response(data, static_cast<int>(size), &timeout);
    if ((flag != 0 && flag != 1) || timeout < 3000000 || timeout > 40000000) __builtin_trap();
    return 0;
}
