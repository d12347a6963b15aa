// Global allocation operators: every block comes from the kernel layer's allocator behind a
// 16-byte header. The status-reporting forms record -52000 in the caller's status.
#pragma once

#include <cstddef>
#include <new>

#include "kzapal/protons/status.h"

constexpr size_t kAllocationHeaderSize = 16;

namespace kzvorn_driver::nKZAPAL000 {
// The tag of the plain forms' twins, which say in their signature that they report a failure only
// by a null result. A kernel has no C++ library to declare one, so the platform does.
struct tNullOnFailure {
    explicit tNullOnFailure() = default;
};
constexpr tNullOnFailure kNullOnFailure{};
}  // namespace kzvorn_driver::nKZAPAL000

void* operator new(size_t size, const kzvorn_driver::nKZAPAL000::tNullOnFailure&) noexcept;
void* operator new[](size_t size, const kzvorn_driver::nKZAPAL000::tNullOnFailure&) noexcept;
void operator delete(void* block, const kzvorn_driver::nKZAPAL000::tNullOnFailure&) noexcept;
void operator delete[](void* block, const kzvorn_driver::nKZAPAL000::tNullOnFailure&) noexcept;

void* operator new(size_t size, nKZAPALS100::tStatus& status, bool flag = false) noexcept;
void* operator new[](size_t size, nKZAPALS100::tStatus& status, bool flag = false) noexcept;
void operator delete(void* block, nKZAPALS100::tStatus& status, bool flag) noexcept;
void operator delete[](void* block, nKZAPALS100::tStatus& status, bool flag) noexcept;
