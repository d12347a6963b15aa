#pragma once

#include "kzkal/types.h"

// Non-recursive kernel mutex: taking it twice from one thread is a bug.
KZKAL_EXTERN_C void* nKZKAL150_createMutex(void);
KZKAL_EXTERN_C void nKZKAL150_acquireMutex(void* mutex);
KZKAL_EXTERN_C void nKZKAL150_releaseMutex(void* mutex);
KZKAL_EXTERN_C void nKZKAL150_destroyMutex(void* mutex);

// Spin locks; destroy accepts null. The interrupt form returns the saved interrupt state.
KZKAL_EXTERN_C void* nKZKAL100_createSpinLock(void);
KZKAL_EXTERN_C void nKZKAL100_destroySpinLock(void* lock);
KZKAL_EXTERN_C uint64_t nKZKAL110_acquireSpinLockInterrupt(void* lock);
KZKAL_EXTERN_C void nKZKAL110_releaseSpinLockInterrupt(void* lock, uint64_t savedState);
KZKAL_EXTERN_C void nKZKAL100_acquireSpinLockDPC(void* lock);
KZKAL_EXTERN_C void nKZKAL100_releaseSpinLockDPC(void* lock);

KZKAL_EXTERN_C void* nKZKAL100_getThreadHandle(void);
KZKAL_EXTERN_C uint64_t nKZKAL100_getThreadID(void);

// Single-use event: fixed-size storage embedded in the caller's object, released at most once.
typedef struct nKZKAL100_tSingleUseEvent {
    uint64_t opaque[16];
} nKZKAL100_tSingleUseEvent;

// Called at most once when a timed wait's time runs out before the event is released;
// never runs after the wait has returned.
typedef struct nKZKAL100_tTimeoutCallback {
    void (*function)(void* context);
    void* context;
} nKZKAL100_tTimeoutCallback;

KZKAL_EXTERN_C void nKZKAL100_initializeSingleUseEvent(nKZKAL100_tSingleUseEvent* event);
KZKAL_EXTERN_C void nKZKAL100_releaseSingleUseEvent(nKZKAL100_tSingleUseEvent* event);
KZKAL_EXTERN_C int32_t nKZKAL100_waitForSingleUseEvent(nKZKAL100_tSingleUseEvent* event);
// Negative when the wait was interrupted.
KZKAL_EXTERN_C int32_t nKZKAL100_waitForSingleUseEventInterruptible(nKZKAL100_tSingleUseEvent* event);
// Time-outs are in microseconds. The wait returns once the event is released (by a setter or
// by the callback), or negative when interrupted.
KZKAL_EXTERN_C int32_t nKZKAL100_waitForSingleUseEventTimeout(nKZKAL100_tSingleUseEvent* event, uint32_t timeoutUs,
                                                              const nKZKAL100_tTimeoutCallback* callback);
KZKAL_EXTERN_C int32_t nKZKAL100_waitForSingleUseEventTimeoutInterruptible(
    nKZKAL100_tSingleUseEvent* event, uint32_t timeoutUs, const nKZKAL100_tTimeoutCallback* callback);
