// Time sources and plain waits. Ticks wrap like a 32-bit millisecond counter.
#pragma once
#include <cstdint>

namespace plat {

// Milliseconds from an arbitrary start, monotonic (wraps after ~49 days).
uint32_t TickCount();
// Microseconds from an arbitrary start, monotonic: the high-resolution counter.
uint64_t MicroCounter();

struct LocalTime {
    int year, month, day;            // month 1..12, day 1..31
    int hour, minute, second, millisecond;
};
LocalTime Now();

// A plain sleep; the core waits through KD_PumpMessages instead, except for short polls.
void SleepMs(uint32_t ms);

}  // namespace plat
