// The clock behind the kernel layer's time functions, as tests and the board see it.
//
// By default time is virtual: it stands still until something reads or sleeps. Every read of the
// monotonic counter or the timer count advances it by a small read step, so a loop that spins on
// the clock always ends; a sleep advances it by the time asked for (a sleep of 0, a yield, by the
// yield step). Events scheduled on the clock run, in time order, on the thread whose read or
// sleep carries the time past them, with `now` equal to their due time.
//
// Real time is for tests whose threads must overlap: the clock then follows the host's
// monotonic clock from where the virtual time stood, sleeps really sleep, and due events run at
// the next read or sleep. Time never goes backwards across a switch.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace kal::sim {

class Clock {
public:
    using Callback = std::function<void()>;

    static constexpr uint64_t kTimerIntervalUs = 1000;
    static constexpr uint64_t kDefaultReadStepNs = 100;
    static constexpr uint64_t kDefaultYieldStepNs = 10000;

    // Current time without advancing it.
    uint64_t nowNs();
    uint64_t nowUs() { return nowNs() / 1000; }
    // Moves virtual time forward (ignored in real time), running the events it passes.
    void advanceNs(uint64_t ns);
    void advanceUs(uint64_t us) { advanceNs(us * 1000); }

    // Runs callback once the time reaches atUs (absolute, on this clock); returns an id for
    // cancel. Callbacks may schedule further events and read the clock.
    uint64_t schedule(uint64_t atUs, Callback callback);
    uint64_t scheduleIn(uint64_t delayUs, Callback callback) { return schedule(nowUs() + delayUs, std::move(callback)); }
    // False when the event already ran or was never scheduled.
    bool cancel(uint64_t id);
    size_t pendingEvents();

    void setRealTime(bool real);
    bool isRealTime();
    void setReadStepNs(uint64_t ns);
    void setYieldStepNs(uint64_t ns);

    // Sleeps asked of nKZKAL250_sleepTimeout, in microseconds, while recording is on.
    void recordSleeps(bool on);
    std::vector<uint32_t> sleeps();

    // Back to the defaults: virtual time (continuing from now), default steps, no events, no
    // sleep record.
    void reset();

    // The kernel layer's side.
    uint64_t readNs();
    void sleepUs(uint32_t us);
};

Clock& clock();

// Real time for one scope, e.g. a test with threads that must overlap.
class ScopedRealTime {
public:
    ScopedRealTime();
    ~ScopedRealTime();
    ScopedRealTime(const ScopedRealTime&) = delete;
    ScopedRealTime& operator=(const ScopedRealTime&) = delete;

private:
    bool wasReal_;
};

}  // namespace kal::sim
