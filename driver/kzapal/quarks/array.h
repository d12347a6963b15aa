// Fixed-capacity array held in place: no allocation, so it serves where memory must not be
// requested. Insertions beyond the capacity are refused (false) and leave the array unchanged;
// the caller decides what a full array means instead of the machine halting.
#pragma once

#include <cstddef>
#include "kzhtl/utility.h"

namespace kzvorn_driver {
namespace nKZAPAL000 {

template <class T, size_t kMaxSize>
class tArray {
public:
    using value_type = T;
    using iterator = T*;
    using const_iterator = const T*;

    static constexpr size_t capacity() { return kMaxSize; }
    size_t size() const { return _size; }
    bool empty() const { return _size == 0; }
    bool full() const { return _size == kMaxSize; }
    T* data() { return _items; }
    const T* data() const { return _items; }
    T& operator[](size_t index) { return _items[index]; }
    const T& operator[](size_t index) const { return _items[index]; }
    iterator begin() { return _items; }
    iterator end() { return _items + _size; }
    const_iterator begin() const { return _items; }
    const_iterator end() const { return _items + _size; }

    bool append(const T& value) { return insert(_size, &value, 1); }

    // All n values or none.
    bool append(const T* values, size_t n) { return insert(_size, values, n); }

    // Inserts n values before index (at most size()); values must not lie in this array.
    bool insert(size_t index, const T* values, size_t n) {
        if (!fits(n) || index > _size) return false;
        for (size_t i = _size; i > index; --i) _items[i - 1 + n] = kzhtl::move(_items[i - 1]);
        for (size_t i = 0; i < n; ++i) _items[index + i] = values[i];
        _size += n;
        return true;
    }

    bool insert(size_t index, const T& value) {
        T copy(value);
        return insert(index, &copy, 1);
    }

    void erase(size_t index) {
        if (index >= _size) return;
        for (size_t i = index + 1; i < _size; ++i) _items[i - 1] = kzhtl::move(_items[i]);
        --_size;
    }

    void clear() { _size = 0; }

    // The condition every insertion is checked against.
    bool fits(size_t n) const { return _size <= kMaxSize && n <= kMaxSize - _size; }

private:
    size_t _size = 0;
    T _items[kMaxSize] = {};
};

}  // namespace nKZAPAL000
}  // namespace kzvorn_driver
