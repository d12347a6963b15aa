#pragma once

#include "kzkal/types.h"

// Microseconds per tick of the timer count.
KZKAL_EXTERN_C uint32_t nKZKAL100_getTimerInterval(void);
// Ticks since boot; monotonic.
KZKAL_EXTERN_C uint64_t nKZKAL110_getTimerCount(void);
// Nanoseconds; monotonic.
KZKAL_EXTERN_C uint64_t nKZKAL1_getMonotonicCounter(void);
// Sleeps at least that many microseconds; 0 only yields. Thread context only.
KZKAL_EXTERN_C void nKZKAL250_sleepTimeout(uint32_t microseconds);
// Wall-clock time since 1970-01-01 00:00 UTC.
KZKAL_EXTERN_C void nKZKAL100_getTimeOfDay(uint32_t* seconds, uint32_t* microseconds);
