#pragma once

#include "kzkal/types.h"

typedef int32_t (*nKZKAL250_tThreadEntry)(void* argument);

// Start description of a kernel thread: the thread runs entry(argument); createNamedThread
// writes the thread's handle into `handle`. It stays the caller's until the thread is joined.
typedef struct nKZKAL250_tThreadStart {
    nKZKAL250_tThreadEntry entry;
    void* argument;
    void* handle;
} nKZKAL250_tThreadStart;

// 0, or a negative kernel code when no thread was created.
KZKAL_EXTERN_C int32_t nKZKAL250_createNamedThread(nKZKAL250_tThreadStart* start, const char* name);
// Waits until the thread has returned, then forgets it.
KZKAL_EXTERN_C int32_t nKZKAL200_joinThread(nKZKAL250_tThreadStart* start);
