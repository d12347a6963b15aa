#include "kzapal/quarks/time.h"

namespace kzvorn_driver {
namespace nKZAPAL000 {

namespace {

// Written with the same values by whichever thread comes first; no lock needed.
struct tTimebaseState {
    bool initialized;
    tTimeUnit efficientUnit;
    tTimeUnit preciseUnit;
    uint64_t efficientFactor;
    uint64_t preciseFactor;
};
tTimebaseState gTimebases = {};

constexpr uint64_t kSecondsFrom1904To1970 = 2082844800;
// 2^64 / 10^6, truncated.
constexpr uint64_t kFractionPerMicrosecond = 18446744073709;

// Factor between unit and the next larger one.
uint64_t stepFactor(uint32_t unit) { return unit < kSecond ? 1000 : 60; }

constexpr uint64_t kSleepLimitMs = UINT32_MAX / 1000;

}  // namespace

uint64_t convertTime(uint64_t value, tTimeUnit from, tTimeUnit to) {
    uint32_t unit = from;
    while (unit < to) {
        value /= stepFactor(unit);
        ++unit;
    }
    while (unit > to) {
        --unit;
        const uint64_t factor = stepFactor(unit);
        value = value > UINT64_MAX / factor ? UINT64_MAX : value * factor;
    }
    return value;
}

void initializeTimebases() {
    if (__atomic_load_n(&gTimebases.initialized, __ATOMIC_ACQUIRE)) return;
    gTimebases.efficientUnit = tTimebaseEfficient::kUnit;
    gTimebases.preciseUnit = tTimebasePrecise::kUnit;
    __atomic_store_n(&gTimebases.efficientFactor, uint64_t{nKZKAL100_getTimerInterval()}, __ATOMIC_RELAXED);
    gTimebases.preciseFactor = 1;
    __atomic_store_n(&gTimebases.initialized, true, __ATOMIC_RELEASE);
}

uint64_t timerIntervalUs() {
    initializeTimebases();
    return __atomic_load_n(&gTimebases.efficientFactor, __ATOMIC_RELAXED);
}

void tTimeWasterSleep::pause(uint64_t remainingNs) {
    uint64_t ms = convertTime(remainingNs, kNanosecond, kMillisecond);
    // The kernel layer's sleep takes a 32-bit count of microseconds; a longer wait sleeps again.
    if (ms > kSleepLimitMs) ms = kSleepLimitMs;
    nKZKAL250_sleepTimeout(static_cast<uint32_t>(ms * 1000));
}

tAbsoluteTime getAbsoluteTime() {
    uint32_t seconds = 0;
    uint32_t microseconds = 0;
    nKZKAL100_getTimeOfDay(&seconds, &microseconds);
    tAbsoluteTime time;
    time.seconds = static_cast<int64_t>(seconds) + static_cast<int64_t>(kSecondsFrom1904To1970);
    time.fraction = uint64_t{microseconds} * kFractionPerMicrosecond;
    return time;
}

}  // namespace nKZAPAL000
}  // namespace kzvorn_driver
