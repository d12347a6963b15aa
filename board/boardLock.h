// The lock that serialises every access to a board. It is recursive, since regions call back into
// the board under it, and every bus access takes it, so its free path is one atomic operation each
// way: a thread that finds it held waits in the kernel (a futex) until the holder lets go.
#pragma once

#include <atomic>
#include <cstdint>

namespace board {

class BoardLock {
public:
    BoardLock() = default;
    BoardLock(const BoardLock&) = delete;
    BoardLock& operator=(const BoardLock&) = delete;

    void lock() {
        const void* self = threadToken();
        if (owner_.load(std::memory_order_relaxed) == self) {
            ++depth_;
            return;
        }
        uint32_t seen = kFree;
        if (!state_.compare_exchange_strong(seen, kHeld, std::memory_order_acquire)) wait(seen);
        owner_.store(self, std::memory_order_relaxed);
        depth_ = 1;
    }

    bool try_lock() {
        const void* self = threadToken();
        if (owner_.load(std::memory_order_relaxed) == self) {
            ++depth_;
            return true;
        }
        uint32_t seen = kFree;
        if (!state_.compare_exchange_strong(seen, kHeld, std::memory_order_acquire)) return false;
        owner_.store(self, std::memory_order_relaxed);
        depth_ = 1;
        return true;
    }

    void unlock() {
        if (--depth_ != 0) return;
        owner_.store(nullptr, std::memory_order_relaxed);
        if (state_.exchange(kFree, std::memory_order_release) == kHeldWithWaiters) wake();
    }

private:
    static constexpr uint32_t kFree = 0;
    static constexpr uint32_t kHeld = 1;
    static constexpr uint32_t kHeldWithWaiters = 2;

    // One distinct address per live thread.
    static const void* threadToken() {
        static thread_local const char token = 0;
        return &token;
    }
    void wait(uint32_t seen);
    void wake();

    std::atomic<uint32_t> state_{kFree};
    // The holding thread's token; only that thread can find its own token here.
    std::atomic<const void*> owner_{nullptr};
    uint32_t depth_ = 0;
};

}  // namespace board
