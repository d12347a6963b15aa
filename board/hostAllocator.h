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

template <class T>
using HostVector = std::vector<T, HostAllocator<T>>;
template <class K, class V>
using HostMap = std::map<K, V, std::less<K>, HostAllocator<std::pair<const K, V>>>;

using HostString = std::basic_string<char, std::char_traits<char>, HostAllocator<char>>;

}  // namespace board
