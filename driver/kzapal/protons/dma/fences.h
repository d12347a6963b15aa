// Ordering of memory that the device shares with the processor.
#pragma once

namespace kzvorn_driver {
namespace nKZAPAL000 {

// ThreadSanitizer does not model fences (GCC refuses one there); what it checks, the ordering
// between threads, comes from the locks, so its build orders the compiler only.
inline void dmaMemoryFence() {
#if defined(__SANITIZE_THREAD__)
    __atomic_signal_fence(__ATOMIC_SEQ_CST);
#else
    __atomic_thread_fence(__ATOMIC_SEQ_CST);
#endif
}

}  // namespace nKZAPAL000
}  // namespace kzvorn_driver
