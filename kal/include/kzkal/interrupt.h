#pragma once

#include "kzkal/types.h"

// The kernel calls function(interrupt number, device) in interrupt context; non-zero claims it.
typedef struct nKZKAL1400_tInterruptCallback {
    int32_t (*function)(uint32_t interrupt, void* device);
    void* device;
} nKZKAL1400_tInterruptCallback;

// Flags: bit 0 shared.
KZKAL_EXTERN_C int32_t nKZKAL1400_reserveInterrupt(uint32_t interrupt, nKZKAL1400_tInterruptCallback* callback,
                                                   const char* name, uint32_t flags);
// No call of the callback after the return.
KZKAL_EXTERN_C void nKZKAL100_relinquishInterrupt(uint32_t interrupt, nKZKAL1400_tInterruptCallback* callback);

// Deferred calls run once soon in deferred-call context; a call scheduled twice before it runs
// runs once. Null when refused.
KZKAL_EXTERN_C void* nKZKAL100_createDPC(void (*function)(void* context), void* context);
KZKAL_EXTERN_C void nKZKAL100_scheduleDPC(void* dpc);
// Waits until a running call has finished; a pending one does not run.
KZKAL_EXTERN_C void nKZKAL100_destroyDPC(void* dpc);
