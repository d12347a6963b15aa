#include <sys/time.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <map>
#include <mutex>
#include <thread>

#include "board/hostAllocator.h"
#include "kal/sim/clock.h"
#include "kal/sim/sync.h"
#include "kzkal/time.h"

namespace {

// The stand-in's own memory stays out of the driver's allocator and its fault injection: the
// board schedules events from inside driver calls that may run with allocations failing.
using board::HostAllocator;

using EventKey = std::pair<uint64_t, uint64_t>;
using EventMap = std::map<EventKey, kal::sim::Clock::Callback, std::less<EventKey>,
                          HostAllocator<std::pair<const EventKey, kal::sim::Clock::Callback>>>;

constexpr uint64_t kVirtualStartNs = 1000000000;
// Wall-clock seconds at virtual time 0, so virtual dates are stable from run to run.
constexpr uint64_t kVirtualEpochSeconds = 1767225600;

struct ClockState {
    std::mutex lock;
    bool real = false;
    uint64_t nowNs = kVirtualStartNs;
    // In real time: the clock's value at the switch and the host's reading then.
    uint64_t realBaseNs = 0;
    std::chrono::steady_clock::time_point realBaseHost;
    uint64_t readStepNs = kal::sim::Clock::kDefaultReadStepNs;
    uint64_t yieldStepNs = kal::sim::Clock::kDefaultYieldStepNs;
    uint64_t nextId = 1;
    // Keyed by (due time, id): events due at the same time run in the order they were scheduled.
    EventMap events;
    bool recording = false;
    std::vector<uint32_t, HostAllocator<uint32_t>> sleeps;
};

ClockState& state() {
    // Never destroyed: threads may still read the clock while the process exits.
    alignas(ClockState) static unsigned char storage[sizeof(ClockState)];
    static ClockState* s = new (storage) ClockState();
    return *s;
}

// An event's callback reading the clock must not run the next event inside itself.
thread_local bool tFiring = false;

// Needs the lock.
uint64_t hostNowNs(ClockState& s) {
    const auto elapsed = std::chrono::steady_clock::now() - s.realBaseHost;
    const uint64_t ns = static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(elapsed).count());
    s.nowNs = std::max(s.nowNs, s.realBaseNs + ns);
    return s.nowNs;
}

// Carries the time to target (in real time: to the host's time), running due events on the way.
uint64_t advanceTo(uint64_t targetNs, bool toHost) {
    ClockState& s = state();
    for (;;) {
        std::unique_lock<std::mutex> guard(s.lock);
        const uint64_t target = toHost ? hostNowNs(s) : targetNs;
        if (!tFiring && !s.events.empty() && s.events.begin()->first.first <= target) {
            auto first = s.events.begin();
            if (!s.real) s.nowNs = std::max(s.nowNs, first->first.first);
            kal::sim::Clock::Callback callback = std::move(first->second);
            s.events.erase(first);
            guard.unlock();
            tFiring = true;
            callback();
            tFiring = false;
            continue;
        }
        s.nowNs = std::max(s.nowNs, target);
        return s.nowNs;
    }
}

}  // namespace

namespace kal::sim {

uint64_t Clock::nowNs() {
    ClockState& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.real ? hostNowNs(s) : s.nowNs;
}

void Clock::advanceNs(uint64_t ns) {
    if (isRealTime()) return;
    advanceTo(nowNs() + ns, false);
}

uint64_t Clock::schedule(uint64_t atUs, Callback callback) {
    ClockState& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    const uint64_t id = s.nextId++;
    s.events.emplace(std::make_pair(atUs * 1000, id), std::move(callback));
    return id;
}

bool Clock::cancel(uint64_t id) {
    ClockState& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    for (auto it = s.events.begin(); it != s.events.end(); ++it) {
        if (it->first.second == id) {
            s.events.erase(it);
            return true;
        }
    }
    return false;
}

size_t Clock::pendingEvents() {
    ClockState& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.events.size();
}

void Clock::setRealTime(bool real) {
    ClockState& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    if (real == s.real) return;
    if (real) {
        s.realBaseNs = s.nowNs;
        s.realBaseHost = std::chrono::steady_clock::now();
    } else {
        hostNowNs(s);
    }
    s.real = real;
}

bool Clock::isRealTime() {
    ClockState& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.real;
}

void Clock::setReadStepNs(uint64_t ns) {
    ClockState& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    s.readStepNs = ns;
}

void Clock::setYieldStepNs(uint64_t ns) {
    ClockState& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    s.yieldStepNs = ns;
}

void Clock::recordSleeps(bool on) {
    ClockState& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    s.recording = on;
    s.sleeps.clear();
}

std::vector<uint32_t> Clock::sleeps() {
    ClockState& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    return std::vector<uint32_t>(s.sleeps.begin(), s.sleeps.end());
}

void Clock::reset() {
    setRealTime(false);
    ClockState& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    s.readStepNs = kDefaultReadStepNs;
    s.yieldStepNs = kDefaultYieldStepNs;
    s.events.clear();
    s.recording = false;
    s.sleeps.clear();
}

uint64_t Clock::readNs() {
    ClockState& s = state();
    bool real;
    uint64_t target;
    {
        std::lock_guard<std::mutex> guard(s.lock);
        real = s.real;
        target = s.nowNs + s.readStepNs;
        // A spinning poll reads the clock again and again: with no event to run on the way, the
        // step is taken here at once.
        if (!real && (tFiring || s.events.empty() || s.events.begin()->first.first > target)) {
            s.nowNs = target;
            return target;
        }
    }
    return advanceTo(target, real);
}

void Clock::sleepUs(uint32_t us) {
    ClockState& s = state();
    bool real;
    uint64_t target = 0;
    {
        std::lock_guard<std::mutex> guard(s.lock);
        if (s.recording) s.sleeps.push_back(us);
        real = s.real;
        if (!real) target = s.nowNs + (us != 0 ? uint64_t{us} * 1000 : s.yieldStepNs);
    }
    if (real) {
        if (us == 0) std::this_thread::yield();
        else std::this_thread::sleep_for(std::chrono::microseconds(us));
    }
    advanceTo(target, real);
}

Clock& clock() {
    static Clock instance;
    return instance;
}

ScopedRealTime::ScopedRealTime() : wasReal_(clock().isRealTime()) { clock().setRealTime(true); }
ScopedRealTime::~ScopedRealTime() { clock().setRealTime(wasReal_); }

}  // namespace kal::sim

extern "C" uint32_t nKZKAL100_getTimerInterval(void) { return kal::sim::Clock::kTimerIntervalUs; }

extern "C" uint64_t nKZKAL110_getTimerCount(void) {
    return kal::sim::clock().readNs() / (kal::sim::Clock::kTimerIntervalUs * 1000);
}

extern "C" uint64_t nKZKAL1_getMonotonicCounter(void) { return kal::sim::clock().readNs(); }

extern "C" void nKZKAL250_sleepTimeout(uint32_t microseconds) {
    kal::sim::requireNoSpinLock("sleep");
    kal::sim::clock().sleepUs(microseconds);
}

extern "C" void nKZKAL100_getTimeOfDay(uint32_t* seconds, uint32_t* microseconds) {
    uint64_t s;
    uint64_t us;
    if (kal::sim::clock().isRealTime()) {
        timeval now;
        gettimeofday(&now, nullptr);
        s = static_cast<uint64_t>(now.tv_sec);
        us = static_cast<uint64_t>(now.tv_usec);
    } else {
        const uint64_t ns = kal::sim::clock().readNs();
        s = kVirtualEpochSeconds + ns / 1000000000;
        us = ns % 1000000000 / 1000;
    }
    if (seconds != nullptr) *seconds = static_cast<uint32_t>(s);
    if (microseconds != nullptr) *microseconds = static_cast<uint32_t>(us);
}
