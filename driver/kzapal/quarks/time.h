// Time units, the two time bases, time-outs and absolute time.
#pragma once

#include <cstdint>

#include "kzkal/time.h"

namespace kzvorn_driver {
namespace nKZAPAL000 {

enum tTimeUnit : uint32_t {
    kNanosecond = 1,
    kMicrosecond = 2,
    kMillisecond = 3,
    kSecond = 4,
    kMinute = 5,
    kHour = 6,
};

// Steps one unit at a time, truncating at every step going up. Going down saturates at the
// largest value instead of wrapping.
uint64_t convertTime(uint64_t value, tTimeUnit from, tTimeUnit to);

inline uint64_t saturatingAdd(uint64_t a, uint64_t b) { return a + b < a ? UINT64_MAX : a + b; }

// Lazy and idempotent; every time base, time-out and poller runs it before its first reading.
void initializeTimebases();
uint64_t timerIntervalUs();

// Timer ticks times the timer interval: microseconds, with a resolution of one tick.
struct tTimebaseEfficient {
    static constexpr tTimeUnit kUnit = kMicrosecond;
    static uint64_t getTimerCount() { return nKZKAL110_getTimerCount(); }
    static uint64_t now() { return getTimerCount() * tick(); }
    // One tick, in kUnit.
    static uint64_t tick() { return timerIntervalUs(); }
};

// The monotonic counter: nanoseconds.
struct tTimebasePrecise {
    static constexpr tTimeUnit kUnit = kNanosecond;
    static uint64_t now() {
        initializeTimebases();
        return nKZKAL1_getMonotonicCounter();
    }
    static uint64_t tick() { return 1; }
};

// Waits out the rest of a time-out by sleeping its whole milliseconds; below one millisecond it
// sleeps 0 (a yield) and tests again.
struct tTimeWasterSleep {
    static void pause(uint64_t remainingNs);
};

// Waits by reading the time base again.
struct tTimeWasterSpin {
    static void pause(uint64_t) {}
};

template <class tTimeWaster, class tTimebase>
class tTimeout {
public:
    using tWaster = tTimeWaster;
    using tBase = tTimebase;

    tTimeout(uint64_t duration, tTimeUnit unit) : duration_(duration), unit_(unit) {}

    void start() {
        if (running_) return;
        start_ = tTimebase::now();
        running_ = true;
    }
    void stop() {
        if (!running_) return;
        accumulated_ += tTimebase::now() - start_;
        running_ = false;
    }
    // In the duration's unit.
    uint64_t getElapsed() const { return convertTime(elapsedInBase(), tTimebase::kUnit, unit_); }
    bool isExpired() const { return getElapsed() >= duration_; }

    void waitForTimeout() {
        for (;;) {
            const uint64_t elapsed = getElapsed();
            if (elapsed >= duration_) return;
            tTimeWaster::pause(convertTime(duration_, unit_, kNanosecond) - convertTime(elapsed, unit_, kNanosecond));
        }
    }

private:
    uint64_t elapsedInBase() const { return accumulated_ + (running_ ? tTimebase::now() - start_ : 0); }

    uint64_t start_ = 0;
    uint64_t accumulated_ = 0;
    bool running_ = false;
    uint64_t duration_;
    tTimeUnit unit_;
};

// Seconds since 1904-01-01 00:00 UTC and the fraction of a second in units of 2^-64 s.
struct tAbsoluteTime {
    uint64_t fraction;
    int64_t seconds;
};

tAbsoluteTime getAbsoluteTime();

}  // namespace nKZAPAL000
}  // namespace kzvorn_driver
