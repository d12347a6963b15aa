// The one way the driver waits on hardware: read, mask, test, pause (doubling), until the
// condition holds or the deadline has passed. Every wait is a named description (`Wait`) that
// `waitUntil` runs.
#pragma once

#include <cstdint>

#include "kzapal/protons/status.h"
#include "kzapal/protons/statusCodes.h"
#include "kzapal/quarks/time.h"

namespace atut {

enum PollCondition : uint32_t {
    kPollAnyBitSet = 0,
    kPollAllBitsSet = 1,
    kPollNoBitSet = 2,
    kPollEqual = 3,
};

// Takes over a poll's time-out: the poller then records nothing itself.
class PollerTimeoutHandler {
public:
    virtual ~PollerTimeoutHandler() {}
    virtual void onTimeout(nKZAPALS100::tStatus& status) = 0;
};

// The time bases a wait runs on: pauses slept or spun, on the precise or the efficient clock.
using tSleepPrecise = kzvorn_driver::nKZAPAL000::tTimeout<kzvorn_driver::nKZAPAL000::tTimeWasterSleep,
                                                          kzvorn_driver::nKZAPAL000::tTimebasePrecise>;
using tSpinPrecise = kzvorn_driver::nKZAPAL000::tTimeout<kzvorn_driver::nKZAPAL000::tTimeWasterSpin,
                                                         kzvorn_driver::nKZAPAL000::tTimebasePrecise>;
using tSleepEfficient = kzvorn_driver::nKZAPAL000::tTimeout<kzvorn_driver::nKZAPAL000::tTimeWasterSleep,
                                                            kzvorn_driver::nKZAPAL000::tTimebaseEfficient>;

// What a wait waits for: a condition on the value read, under a mask.
struct PollUntil {
    uint32_t condition;
    uint64_t mask;
    uint64_t compare;
};
constexpr PollUntil anyBitSet(uint64_t mask) { return PollUntil{kPollAnyBitSet, mask, 0}; }
constexpr PollUntil allBitsSet(uint64_t mask) { return PollUntil{kPollAllBitsSet, mask, 0}; }
constexpr PollUntil noBitSet(uint64_t mask) { return PollUntil{kPollNoBitSet, mask, 0}; }
constexpr PollUntil maskedEquals(uint64_t mask, uint64_t value) { return PollUntil{kPollEqual, mask, value}; }

// One wait, declared once where its numbers are stated: its time base, the first pause and the
// longest pause between reads (pauses double from the first), its deadline and the status a
// time-out records. Built by naming each number:
//   constexpr auto kReadDone = atut::Wait<atut::tSleepPrecise>().pausesUs(10, 100).deadlineUs(100000)
//                                  .timeoutStatus(kReadDoneTimedOut);
template <class tTimeoutType>
struct Wait {
    // In microseconds.
    uint64_t firstPause = 0;
    uint64_t longestPause = 0;  // 0: reads back to back
    uint64_t deadline = 0;
    // Without a deadline only a failing read ends the wait before its condition holds.
    bool bounded = true;
    int32_t timeoutCode = 0;

    constexpr Wait pausesUs(uint64_t first, uint64_t longest) const {
        Wait w = *this;
        w.firstPause = first;
        w.longestPause = longest;
        return w;
    }
    constexpr Wait deadlineUs(uint64_t us) const {
        Wait w = *this;
        w.deadline = us;
        w.bounded = true;
        return w;
    }
    // For a wait on the driver's own state, not on hardware, that something else is sure to end.
    constexpr Wait withoutDeadline() const {
        Wait w = *this;
        w.deadline = 0;
        w.bounded = false;
        return w;
    }
    constexpr Wait timeoutStatus(int64_t code) const {
        Wait w = *this;
        w.timeoutCode = static_cast<int32_t>(code);
        return w;
    }
};

template <class tTimeoutType, class tRead>
void waitUntil(const Wait<tTimeoutType>& wait, tRead read, const PollUntil& until, PollerTimeoutHandler* handler,
               nKZAPALS100::tStatus& status);

// The wait loop behind every wait; only `waitUntil` runs it.
template <class tTimeoutType>
class Poller {
    template <class tOther, class tRead>
    friend void waitUntil(const Wait<tOther>& wait, tRead read, const PollUntil& until, PollerTimeoutHandler* handler,
                          nKZAPALS100::tStatus& status);

    using tBase = typename tTimeoutType::tBase;

    template <class tRead>
    static void run(const Wait<tTimeoutType>& wait, tRead read, const PollUntil& until, PollerTimeoutHandler* handler,
                    nKZAPALS100::tStatus& status) {
        using namespace kzvorn_driver::nKZAPAL000;
        if (status.isFatal()) return;
        const uint64_t tick = tBase::tick();
        // Saturates: a huge time-out means "no deadline", never a deadline in the past.
        const uint64_t deadline = saturatingAdd(convertTime(wait.deadline, kMicrosecond, tBase::kUnit), tick);
        const uint64_t start = wait.bounded ? tBase::now() : 0;
        uint64_t pause = wait.firstPause;
        for (;;) {
            // Tested before the read, so the read that finds the deadline passed can still succeed.
            const bool expired = wait.bounded && tBase::now() - start >= deadline;
            const uint64_t value = static_cast<uint64_t>(read(status)) & until.mask;
            bool holds = false;
            switch (until.condition) {
                case kPollAnyBitSet: holds = value != 0; break;
                case kPollAllBitsSet: holds = value == until.mask; break;
                case kPollNoBitSet: holds = value == 0; break;
                case kPollEqual: holds = value == until.compare; break;
                default: KZ_SET_CODE(status, nKZAPALS100::kStatusBadParameter); break;
            }
            if (holds) return;
            if (wait.longestPause != 0) {
                const uint64_t next = pause > wait.longestPause / 2 ? wait.longestPause : pause * 2;
                tTimeoutType between(saturatingAdd(convertTime(pause, kMicrosecond, tBase::kUnit), tick), tBase::kUnit);
                between.start();
                between.waitForTimeout();
                pause = next;
            }
            if (expired || status.isFatal()) break;
        }
        if (handler != nullptr) {
            handler->onTimeout(status);
        } else {
            KZ_SET_CODE(status, wait.timeoutCode);
        }
    }
};

// Reads until the condition holds or the wait's deadline has passed, then hands the time-out to
// the handler, or records the wait's time-out status when there is none. The reader is a callable
// taking the status; it may record a failure there, which ends the wait as a time-out does.
template <class tTimeoutType, class tRead>
void waitUntil(const Wait<tTimeoutType>& wait, tRead read, const PollUntil& until, PollerTimeoutHandler* handler,
               nKZAPALS100::tStatus& status) {
    Poller<tTimeoutType>::run(wait, read, until, handler, status);
}
template <class tTimeoutType, class tRead>
void waitUntil(const Wait<tTimeoutType>& wait, tRead read, const PollUntil& until, nKZAPALS100::tStatus& status) {
    waitUntil(wait, read, until, nullptr, status);
}

}  // namespace atut
