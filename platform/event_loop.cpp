#include "platform/event_loop.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/clock.h"

namespace plat {
namespace {

struct Timer {
    int id;
    uint32_t periodMs;
    uint32_t dueTick;
    EventFn fn;
};

struct EventLoop {
    std::mutex mutex;
    std::thread::id owner;
    bool owned = false;
    int nextTimerId = 1;
    std::vector<Timer> timers;
    std::deque<EventFn> queue;
};

EventLoop& Loop() {
    static EventLoop* loop = new EventLoop;  // never destroyed: timers may run during exit
    return *loop;
}

// Runs due timers and queued events; only on the owner thread. Callbacks run without the
// lock so they may add or remove timers and post events.
void DispatchDue() {
    EventLoop& loop = Loop();
    std::vector<EventFn> ready;
    {
        std::lock_guard lock(loop.mutex);
        if (!loop.owned || loop.owner != std::this_thread::get_id()) return;
        while (!loop.queue.empty()) {
            ready.push_back(std::move(loop.queue.front()));
            loop.queue.pop_front();
        }
        uint32_t now = TickCount();
        for (Timer& timer : loop.timers) {
            if (static_cast<int32_t>(now - timer.dueTick) >= 0) {
                timer.dueTick = now + timer.periodMs;
                ready.push_back(timer.fn);
            }
        }
    }
    for (EventFn& fn : ready) fn();
}

}  // namespace

bool EventLoopClaim() {
    EventLoop& loop = Loop();
    std::lock_guard lock(loop.mutex);
    if (!loop.owned) {
        loop.owned = true;
        loop.owner = std::this_thread::get_id();
    }
    return loop.owner == std::this_thread::get_id();
}

bool EventLoopOwnedByCaller() {
    EventLoop& loop = Loop();
    std::lock_guard lock(loop.mutex);
    return loop.owned && loop.owner == std::this_thread::get_id();
}

void EventLoopRelease() {
    EventLoop& loop = Loop();
    std::lock_guard lock(loop.mutex);
    loop.owned = false;
    loop.timers.clear();
    loop.queue.clear();
}

int EventLoopAddTimer(uint32_t periodMs, EventFn fn) {
    EventLoop& loop = Loop();
    std::lock_guard lock(loop.mutex);
    int id = loop.nextTimerId++;
    loop.timers.push_back(Timer{id, periodMs, TickCount() + periodMs, std::move(fn)});
    return id;
}

void EventLoopRemoveTimer(int id) {
    EventLoop& loop = Loop();
    std::lock_guard lock(loop.mutex);
    std::erase_if(loop.timers, [id](const Timer& t) { return t.id == id; });
}

void EventLoopPost(EventFn fn) {
    EventLoop& loop = Loop();
    std::lock_guard lock(loop.mutex);
    loop.queue.push_back(std::move(fn));
}

}  // namespace plat

void KD_PumpMessages(uint32_t ms) {
    // Sleep in small steps so timers and posted events on the owner thread stay timely.
    constexpr uint32_t kStepMs = 5;
    const uint32_t start = plat::TickCount();
    for (;;) {
        plat::DispatchDue();
        uint32_t elapsed = plat::TickCount() - start;
        if (elapsed >= ms) break;
        plat::SleepMs(std::min(kStepMs, ms - elapsed));
    }
}
