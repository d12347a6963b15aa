// Storage that bypasses the system's allocator. The driver's global operator new serves the
// whole test process and fails on demand per thread, so everything the board and the kernel
// layer record while the driver calls them (logs, mappings, registrations) allocates here.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <functional>
#include <map>
#include <new>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace board {

template <class T>
struct HostAllocator {
    using value_type = T;
    HostAllocator() = default;
    template <class U>
    HostAllocator(const HostAllocator<U>&) {}
    T* allocate(size_t count) {
        void* block = std::malloc(count * sizeof(T));
        if (block == nullptr) std::abort();
        return static_cast<T*>(block);
    }
    void deallocate(T* block, size_t) { std::free(block); }
    template <class U>
    bool operator==(const HostAllocator<U>&) const { return true; }
    template <class U>
    bool operator!=(const HostAllocator<U>&) const { return false; }
};

// Host storage handed out zero filled and left untouched on construction, so that a large table
// costs memory only in the pages that are written (the host maps a large block on demand).
template <class T>
struct ZeroedHostAllocator : HostAllocator<T> {
    template <class U>
    struct rebind {
        using other = ZeroedHostAllocator<U>;
    };
    ZeroedHostAllocator() = default;
    template <class U>
    ZeroedHostAllocator(const ZeroedHostAllocator<U>&) {}
    T* allocate(size_t count) {
        void* block = std::calloc(count, sizeof(T));
        if (block == nullptr) std::abort();
        return static_cast<T*>(block);
    }
    // An element made without a value keeps the zeros the block came with.
    template <class U>
    void construct(U* at) {
        static_assert(std::is_trivially_default_constructible<U>::value, "zeros are its value");
        ::new (static_cast<void*>(at)) U;
    }
    template <class U, class... Args>
    void construct(U* at, Args&&... args) {
        ::new (static_cast<void*>(at)) U(std::forward<Args>(args)...);
    }
};

template <class T>
using HostVector = std::vector<T, HostAllocator<T>>;
template <class T>
using ZeroedHostVector = std::vector<T, ZeroedHostAllocator<T>>;
template <class K, class V>
using HostMap = std::map<K, V, std::less<K>, HostAllocator<std::pair<const K, V>>>;

using HostString = std::basic_string<char, std::char_traits<char>, HostAllocator<char>>;

}  // namespace board
