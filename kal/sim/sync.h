// Threads, locks and waits of the kernel-layer stand-in, as tests see them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kal::sim {

// Interrupts the thread's current interruptible wait, or its next one when it is not in such a
// wait now: that wait returns negative and consumes the interruption. Plain waits ignore it.
// The handle is the thread's nKZKAL100_getThreadHandle; false when that thread has ended.
bool interruptThread(void* threadHandle);

// True while the thread is blocked in a single-use-event wait or on a kernel mutex.
bool isBlocked(void* threadHandle);
// Waits until the thread blocks; false when it has not within the limit.
bool awaitBlocked(void* threadHandle, uint32_t limitMs = 5000);

// Spin locks the calling thread holds now.
size_t heldSpinLocks();
// Aborts the test when the calling thread holds a spin lock or is the interrupt or deferred-call
// thread: for the stand-in's blocking calls (sleeping, waiting, taking a kernel mutex).
void requireNoSpinLock(const char* operation);

// Kernel mutexes and spin locks created and not yet destroyed, over all threads.
int64_t liveMutexes();
int64_t liveSpinLocks();

}  // namespace kal::sim
