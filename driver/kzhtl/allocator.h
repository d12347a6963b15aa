// Raw storage and element handling shared by the kzhtl containers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include "kzhtl/utility.h"

#include "kzapal/protons/memory.h"
#include "kzapal/protons/status.h"
#include "kzapal/protons/statusCodes.h"
#include "kzkal/memory.h"

namespace kzhtl {
namespace detail {

using nKZAPALS100::tStatus;

// Storage comes from the status-reporting operator, which aligns to 16 bytes.
template <class T>
T* allocateArray(size_t count, tStatus& status) {
    static_assert(alignof(T) <= 16, "kzhtl storage is 16-byte aligned");
    if (status.isFatal()) return nullptr;
    if (count > static_cast<size_t>(PTRDIFF_MAX) / sizeof(T)) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusMemoryFull);
        return nullptr;
    }
    return static_cast<T*>(::operator new(count * sizeof(T), status));
}

inline void releaseArray(void* storage) {
    if (storage != nullptr) ::operator delete(storage);
}

// Capacity after growth to hold at least `needed`: doubling, with a floor.
inline size_t grownCapacity(size_t current, size_t needed, size_t minimum) {
    size_t grown = current > SIZE_MAX / 2 ? SIZE_MAX : current * 2;
    if (grown < minimum) grown = minimum;
    return grown < needed ? needed : grown;
}

// Element types whose copy can fail (strings, vectors) offer T(const T&, tStatus&).
template <class T>
constexpr bool kCopiesWithStatus = kzhtl::kIsConstructible<T, const T&, tStatus&>;

template <class T>
constexpr bool kCopyable = kCopiesWithStatus<T> || kzhtl::kIsCopyConstructible<T>;

// Copy-constructs into raw storage; false (storage left raw) when the copy failed.
template <class T>
bool copyConstruct(T* target, const T& source, tStatus& status) {
    if (status.isFatal()) return false;
    if constexpr (kCopiesWithStatus<T>) {
        new (target) T(source, status);
        if (status.isFatal()) {
            target->~T();
            return false;
        }
    } else {
        new (target) T(source);
    }
    return true;
}

template <class T>
void destroyRange(T* first, size_t count) {
    if constexpr (!kzhtl::kIsTriviallyDestructible<T>) {
        for (size_t i = 0; i < count; ++i) first[i].~T();
    }
}

// Copies count elements into raw storage; on failure nothing stays constructed.
template <class T>
bool copyRange(T* target, const T* source, size_t count, tStatus& status) {
    if (status.isFatal()) return false;
    if constexpr (kzhtl::kIsTriviallyCopyable<T>) {
        if (count != 0) nKZKAL180_memCpy(target, source, count * sizeof(T));
        return true;
    } else {
        for (size_t i = 0; i < count; ++i) {
            if (!copyConstruct(target + i, source[i], status)) {
                destroyRange(target, i);
                return false;
            }
        }
        return true;
    }
}

// Moves count elements from source into raw storage at target and leaves source raw.
// The ranges must not overlap unless target is below source.
template <class T>
void relocateRange(T* target, T* source, size_t count) {
    if (target == source || count == 0) return;
    if constexpr (kzhtl::kIsTriviallyCopyable<T>) {
        nKZKAL180_memMove(target, source, count * sizeof(T));
    } else {
        for (size_t i = 0; i < count; ++i) {
            new (target + i) T(kzhtl::move(source[i]));
            source[i].~T();
        }
    }
}

// The same, for a target above an overlapping source: walks from the top down.
template <class T>
void relocateRangeUp(T* target, T* source, size_t count) {
    if (target == source || count == 0) return;
    if constexpr (kzhtl::kIsTriviallyCopyable<T>) {
        nKZKAL180_memMove(target, source, count * sizeof(T));
    } else {
        for (size_t i = count; i > 0; --i) {
            new (target + i - 1) T(kzhtl::move(source[i - 1]));
            source[i - 1].~T();
        }
    }
}

// An element built on the stack before it goes into a container, so that a failed copy or
// allocation leaves the container, and an argument that refers into it, untouched.
template <class T>
class Held {
public:
    Held() = default;
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
    ~Held() {
        if (_built) get().~T();
    }

    // Copies an lvalue of T (through its status-taking copy when it has one); anything else is
    // moved or converted.
    template <class Arg>
    bool build(Arg&& argument, tStatus& status) {
        if (status.isFatal()) return false;
        if constexpr (kzhtl::kIsSame<kzhtl::RemoveCVRefT<Arg>, T> &&
                      kzhtl::kIsLvalueReference<Arg>) {
            _built = copyConstruct(&get(), argument, status);
        } else {
            new (_storage) T(kzhtl::forward<Arg>(argument));
            _built = true;
        }
        return _built;
    }

    T& get() { return *reinterpret_cast<T*>(_storage); }

private:
    alignas(T) unsigned char _storage[sizeof(T)];
    bool _built = false;
};

// Argument I of a pack: lets makers take the caller's status last, after the constructor's arguments.
template <size_t I, class First, class... Rest>
decltype(auto) nthArgument(First&& first, Rest&&... rest) {
    if constexpr (I == 0) {
        return kzhtl::forward<First>(first);
    } else {
        return nthArgument<I - 1>(kzhtl::forward<Rest>(rest)...);
    }
}

}  // namespace detail
}  // namespace kzhtl
