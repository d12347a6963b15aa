// Interrupts and deferred calls: each runs on its own thread, as in the kernel.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kal::sim {

// Delivers the interrupt to every callback reserved on it, on the interrupt thread, and waits:
// true when one claimed it.
bool raiseInterrupt(uint32_t interrupt);
// Delivers the interrupt once more on the interrupt thread without waiting: what a board's
// interrupt sink calls (possibly holding the board's lock, which the callbacks need).
void postInterrupt(uint32_t interrupt);
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
