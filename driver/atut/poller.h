// The one way the driver waits on hardware: read, mask, test, pause (doubling), until the
// condition holds or the deadline has passed.
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

// Lets a getter without a status argument be polled.
template <class tTarget, class tResult>
class PollerStatusAdapter {
public:
    using tGetter = tResult (tTarget::*)() const;

    PollerStatusAdapter(const tTarget& target, tGetter getter) : target_(&target), getter_(getter) {}
    tResult poll(nKZAPALS100::tStatus&) const { return (target_->*getter_)(); }

private:
    const tTarget* target_;
    tGetter getter_;
};

template <class tTimeoutType, class tValue = uint32_t>
class Poller {
public:
    using tBase = typename tTimeoutType::tBase;

    // Pauses in microseconds; a maximum pause of 0 reads back to back.
    Poller(uint64_t initialPauseUs, uint64_t maximumPauseUs, int32_t timeoutStatus,
           PollerTimeoutHandler* handler = nullptr)
        : initialPause_(initialPauseUs), maximumPause_(maximumPauseUs), timeoutStatus_(timeoutStatus),
          handler_(handler) {}

    // The getter returns the value (32, 16 bits or bool) and may record a failure in the status.
    template <class tTarget, class tResult>
    void poll(tTarget& target, tResult (tTarget::*getter)(nKZAPALS100::tStatus&), tValue compare, tValue mask,
              uint64_t timeoutUs, bool useTimeout, uint32_t condition, nKZAPALS100::tStatus& status) const {
        run([&](nKZAPALS100::tStatus& s) { return static_cast<tValue>((target.*getter)(s)); }, compare, mask,
            timeoutUs, useTimeout, condition, status);
    }
    template <class tTarget, class tResult>
    void poll(const tTarget& target, tResult (tTarget::*getter)(nKZAPALS100::tStatus&) const, tValue compare,
              tValue mask, uint64_t timeoutUs, bool useTimeout, uint32_t condition,
              nKZAPALS100::tStatus& status) const {
        run([&](nKZAPALS100::tStatus& s) { return static_cast<tValue>((target.*getter)(s)); }, compare, mask,
            timeoutUs, useTimeout, condition, status);
    }

    // Reads with the given reader (a callable taking the status) until the condition holds.
    template <class tRead>
    void pollReads(tRead read, tValue compare, tValue mask, uint64_t timeoutUs, bool useTimeout, uint32_t condition,
                   nKZAPALS100::tStatus& status) const {
        run([&](nKZAPALS100::tStatus& s) { return static_cast<tValue>(read(s)); }, compare, mask, timeoutUs,
            useTimeout, condition, status);
    }

    // Without a time-out, until value & mask == compare; ends early only when the status turns
    // into an error, and then reports as a time-out does.
    template <class tTarget, class tResult>
    void waitForValueNoStatus(const tTarget& target, tResult (tTarget::*getter)() const, tValue compare, tValue mask,
                              nKZAPALS100::tStatus& status) const {
        const PollerStatusAdapter<tTarget, tResult> adapter(target, getter);
        poll(adapter, &PollerStatusAdapter<tTarget, tResult>::poll, compare, mask, 0, false, kPollEqual, status);
    }

    // A channel status register: reads (into its shadow) until any bit of the mask is set, for at
    // most the channel's deadline.
    static constexpr uint64_t kChannelStatusDeadlineUs = 50000;
    template <class tRegister>
    void pollChannelStatus(tRegister& channelStatus, uint32_t mask, nKZAPALS100::tStatus& status) const {
        run([&](nKZAPALS100::tStatus& s) { return static_cast<tValue>(channelStatus.readRegister(s)); }, 0, mask,
            kChannelStatusDeadlineUs, true, kPollAnyBitSet, status);
    }

private:
    template <class tRead>
    void run(tRead read, tValue compare, tValue mask, uint64_t timeoutUs, bool useTimeout, uint32_t condition,
             nKZAPALS100::tStatus& status) const {
        using namespace kzvorn_driver::nKZAPAL000;
        if (status.isFatal()) return;
        const uint64_t tick = tBase::tick();
        // Saturates: a huge time-out means "no deadline", never a deadline in the past.
        const uint64_t deadline = saturatingAdd(convertTime(timeoutUs, kMicrosecond, tBase::kUnit), tick);
        const uint64_t start = useTimeout ? tBase::now() : 0;
        uint64_t pause = initialPause_;
        for (;;) {
            // Tested before the read, so the read that finds the deadline passed can still succeed.
            const bool expired = useTimeout && tBase::now() - start >= deadline;
            const tValue value = read(status) & mask;
            bool holds = false;
            switch (condition) {
                case kPollAnyBitSet: holds = value != 0; break;
                case kPollAllBitsSet: holds = value == mask; break;
                case kPollNoBitSet: holds = value == 0; break;
                case kPollEqual: holds = value == compare; break;
                default: KZ_SET_CODE(status, nKZAPALS100::kStatusBadParameter); break;
            }
            if (holds) return;
            if (maximumPause_ != 0) {
                const uint64_t next = pause > maximumPause_ / 2 ? maximumPause_ : pause * 2;
                tTimeoutType wait(saturatingAdd(convertTime(pause, kMicrosecond, tBase::kUnit), tick), tBase::kUnit);
                wait.start();
                wait.waitForTimeout();
                pause = next;
            }
            if (expired || status.isFatal()) break;
        }
        if (handler_ != nullptr) {
            handler_->onTimeout(status);
        } else {
            KZ_SET_CODE(status, timeoutStatus_);
        }
    }

    uint64_t initialPause_;
    uint64_t maximumPause_;
    int32_t timeoutStatus_;
    PollerTimeoutHandler* handler_;
};

// The time bases a wait runs on: pauses slept or spun, on the precise or the efficient clock.
using tSleepPrecise = kzvorn_driver::nKZAPAL000::tTimeout<kzvorn_driver::nKZAPAL000::tTimeWasterSleep,
                                                          kzvorn_driver::nKZAPAL000::tTimebasePrecise>;
using tSpinPrecise = kzvorn_driver::nKZAPAL000::tTimeout<kzvorn_driver::nKZAPAL000::tTimeWasterSpin,
                                                         kzvorn_driver::nKZAPAL000::tTimebasePrecise>;

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

// One hardware wait, declared once where its numbers are stated: its time base, the first pause
// and the longest pause between reads (pauses double from the first), its deadline and the status
// a time-out records. Built by naming each number:
//   constexpr auto kReadDone = atut::Wait<atut::tSleepPrecise>().pausesUs(10, 100).deadlineUs(100000)
//                                  .timeoutStatus(kReadDoneTimedOut);
template <class tTimeoutType>
struct Wait {
    // In microseconds.
    uint64_t firstPause = 0;
    uint64_t longestPause = 0;  // 0: reads back to back
    uint64_t deadline = 0;
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
        return w;
    }
    constexpr Wait timeoutStatus(int64_t code) const {
        Wait w = *this;
        w.timeoutCode = static_cast<int32_t>(code);
        return w;
    }
};

// Reads until the condition holds or the wait's deadline has passed (then the wait's time-out
// status). The reader is a callable taking the status; it may record a failure there, which ends
// the wait as a time-out does.
template <class tTimeoutType, class tRead>
void waitUntil(const Wait<tTimeoutType>& wait, tRead read, const PollUntil& until, nKZAPALS100::tStatus& status) {
    const Poller<tTimeoutType, uint64_t> poller(wait.firstPause, wait.longestPause, wait.timeoutCode);
    poller.pollReads(read, until.compare, until.mask, wait.deadline, true, until.condition, status);
}

}  // namespace atut
