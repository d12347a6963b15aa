// Interrupts and deferred calls: each runs on its own thread, as in the kernel.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kal::sim {

// Delivers the interrupt to every callback reserved on it, on the interrupt thread, and waits:
// true when one claimed it.
bool raiseInterrupt(uint32_t interrupt);
// Callbacks currently reserved on an interrupt.
size_t reservedInterrupts(uint32_t interrupt);
// Callbacks reserved on any interrupt.
size_t reservedInterruptCount();
// Deferred calls created and not yet destroyed.
int64_t liveDeferredCalls();
// Waits until no deferred call is pending or running.
void waitForDeferredCalls();
bool inInterruptContext();
bool inDeferredCallContext();

}  // namespace kal::sim
