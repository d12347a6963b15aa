// Global allocation operators: every block comes from the kernel layer's allocator behind a
// 16-byte header. The status-reporting forms record -52000 in the caller's status.
#pragma once

#include <cstddef>
#include <new>

#include "kzapal/protons/status.h"

constexpr size_t kAllocationHeaderSize = 16;

void* operator new(size_t size, nKZAPALS100::tStatus& status, bool flag = false) noexcept;
void* operator new[](size_t size, nKZAPALS100::tStatus& status, bool flag = false) noexcept;
void operator delete(void* block, nKZAPALS100::tStatus& status, bool flag) noexcept;
void operator delete[](void* block, nKZAPALS100::tStatus& status, bool flag) noexcept;
