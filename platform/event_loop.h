// The library's event loop, standing in for a hidden message window: timers and queued
// events run on the thread that owns the loop, inside KD_PumpMessages on that thread.
#pragma once
#include <cstdint>
#include <functional>

namespace plat {

using EventFn = std::function<void()>;

// Makes the calling thread the owner of the loop (first caller wins). Returns true when
// the calling thread owns it after the call.
bool EventLoopClaim();
bool EventLoopOwnedByCaller();
// Ends timers and drops queued events; the next claim starts afresh.
void EventLoopRelease();

// Adds a timer that fires every periodMs on the owner thread; returns its id (> 0).
int EventLoopAddTimer(uint32_t periodMs, EventFn fn);
void EventLoopRemoveTimer(int id);
// Queues an event from any thread; it runs on the owner thread at its next pump.
void EventLoopPost(EventFn fn);

}  // namespace plat

// Waits `ms` milliseconds; on the loop's owner thread, due timers and queued events run
// while waiting. Every wait of the core uses this instead of a plain sleep.
void KD_PumpMessages(uint32_t ms);
