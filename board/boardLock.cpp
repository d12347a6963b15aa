#include "board/boardLock.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace board {

namespace {

static_assert(sizeof(std::atomic<uint32_t>) == sizeof(uint32_t) && std::atomic<uint32_t>::is_always_lock_free,
              "the futex word is the atomic itself");

uint32_t* word(std::atomic<uint32_t>& state) { return reinterpret_cast<uint32_t*>(&state); }

}  // namespace

// Marks the lock as wanted, then sleeps while it stays held with waiters; whoever wakes takes it
// marked as wanted again, since other waiters may still sleep.
void BoardLock::wait(uint32_t seen) {
    if (seen != kHeldWithWaiters) seen = state_.exchange(kHeldWithWaiters, std::memory_order_acquire);
    while (seen != kFree) {
        syscall(SYS_futex, word(state_), FUTEX_WAIT_PRIVATE, kHeldWithWaiters, nullptr, nullptr, 0);
        seen = state_.exchange(kHeldWithWaiters, std::memory_order_acquire);
    }
}

void BoardLock::wake() { syscall(SYS_futex, word(state_), FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0); }

}  // namespace board
