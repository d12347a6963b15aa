// Growable array {capacity, size, data}. Growing operations take the caller's status last, do
// nothing once it holds an error and report -52000 without touching the contents.
#pragma once

#include "kzhtl/allocator.h"

namespace kzhtl {

template <class T>
class Vector {
public:
    using value_type = T;
    using size_type = size_t;
    using iterator = T*;
    using const_iterator = const T*;
    using tStatus = nKZAPALS100::tStatus;

    Vector() = default;
    Vector(const Vector& other, tStatus& status) { assign(other, status); }
    Vector(Vector&& other) : _capacity(other._capacity), _size(other._size), _data(other._data) {
        other.forget();
    }
    Vector& operator=(Vector&& other) {
        if (this != &other) {
            releaseAll();
            _capacity = other._capacity;
            _size = other._size;
            _data = other._data;
            other.forget();
        }
        return *this;
    }
    Vector(const Vector&) = delete;
    Vector& operator=(const Vector&) = delete;
    ~Vector() { releaseAll(); }

    size_t size() const { return _size; }
    size_t capacity() const { return _capacity; }
    bool empty() const { return _size == 0; }
    T* data() { return _data; }
    const T* data() const { return _data; }
    T& operator[](size_t index) { return _data[index]; }
    const T& operator[](size_t index) const { return _data[index]; }
    T& front() { return _data[0]; }
    const T& front() const { return _data[0]; }
    T& back() { return _data[_size - 1]; }
    const T& back() const { return _data[_size - 1]; }
    iterator begin() { return _data; }
    iterator end() { return _data + _size; }
    const_iterator begin() const { return _data; }
    const_iterator end() const { return _data + _size; }

    // Makes room for `count` elements without changing the contents.
    bool reserve(size_t count, tStatus& status) {
        if (status.isFatal()) return false;
        if (count <= _capacity) return true;
        T* storage = detail::allocateArray<T>(count, status);
        if (storage == nullptr) return false;
        detail::relocateRange(storage, _data, _size);
        detail::releaseArray(_data);
        _data = storage;
        _capacity = count;
        return true;
    }

    // New elements are value-initialised (zero for plain values, in one fill).
    bool resize(size_t count, tStatus& status) {
        if (!prepareResize(count, status)) return false;
        if constexpr (kzhtl::kIsTrivial<T>) {
            if (count > _size) nKZKAL240_memSet(_data + _size, 0, (count - _size) * sizeof(T));
            _size = count;
        } else {
            for (; _size < count; ++_size) new (_data + _size) T();
        }
        return true;
    }

    // For plain values that the caller writes before it reads them (a buffer that a decompressor
    // or a copy fills): new elements hold whatever the allocation held.
    bool resizeForOverwrite(size_t count, tStatus& status) {
        static_assert(kzhtl::kIsTrivial<T>, "only plain values can be left unwritten");
        if (!prepareResize(count, status)) return false;
        _size = count;
        return true;
    }

    bool resize(size_t count, const T& value, tStatus& status) {
        static_assert(detail::kCopyable<T>, "element type cannot be copied");
        if (status.isFatal()) return false;
        if (count <= _size) return prepareResize(count, status);
        // Filled in a separate vector first so that a failed copy leaves this one unchanged
        // (value may also be one of our own elements).
        Vector tail;
        if (!tail.reserve(count - _size, status)) return false;
        for (size_t i = _size; i < count; ++i) {
            if (!tail.push_back(value, status)) return false;
        }
        return insertMoved(_size, tail, status);
    }

    bool push_back(const T& value, tStatus& status) { return insert(end(), value, status) != nullptr; }
    bool push_back(T&& value, tStatus& status) { return insert(end(), kzhtl::move(value), status) != nullptr; }

    // emplace_back(constructor arguments..., status). An element constructor that reports through
    // a status gets the caller's one; when it fails the element is dropped.
    template <class... Args>
    bool emplace_back(Args&&... args) {
        static_assert(sizeof...(Args) >= 1, "the status comes last");
        return emplaceAt(kzhtl::MakeIndexSequence<sizeof...(Args) - 1>(), kzhtl::forward<Args>(args)...);
    }

    void pop_back() {
        if (_size != 0) _data[--_size].~T();
    }

    // Inserts before pos; returns the inserted element, or null on failure.
    iterator insert(const_iterator pos, const T& value, tStatus& status) {
        static_assert(detail::kCopyable<T>, "element type cannot be copied");
        size_t index = indexOf(pos);
        detail::Held<T> copy;
        if (!copy.build(value, status)) return nullptr;
        return insert(_data + index, kzhtl::move(copy.get()), status);
    }

    iterator insert(const_iterator pos, T&& value, tStatus& status) {
        size_t index = indexOf(pos);
        Growth growth;
        if (!prepareGap(1, growth, status)) return nullptr;
        if (growth.storage != nullptr || index == _size) {
            // value may be one of our elements: built before anything moves
            new ((growth.storage != nullptr ? growth.storage : _data) + index) T(kzhtl::move(value));
            openGap(index, 1, growth);
        } else {
            // value may be one of the elements the gap moves: taken out first (a move cannot fail)
            T moved(kzhtl::move(value));
            openGap(index, 1, growth);
            new (_data + index) T(kzhtl::move(moved));
        }
        ++_size;
        return _data + index;
    }

    // Inserts copies of [first, last) before pos; the range may lie in this vector.
    iterator insert(const_iterator pos, const T* first, const T* last, tStatus& status) {
        static_assert(detail::kCopyable<T>, "element type cannot be copied");
        size_t index = indexOf(pos);
        if (status.isFatal()) return nullptr;
        Vector copies;
        if (!copies.assign(first, static_cast<size_t>(last - first), status)) return nullptr;
        if (!insertMoved(index, copies, status)) return nullptr;
        return _data + index;
    }

    iterator erase(const_iterator pos) { return erase(pos, pos + 1); }

    iterator erase(const_iterator first, const_iterator last) {
        size_t index = indexOf(first);
        size_t count = static_cast<size_t>(last - first);
        if (count == 0) return _data + index;
        detail::destroyRange(_data + index, count);
        detail::relocateRange(_data + index, _data + index + count, _size - index - count);
        _size -= count;
        return _data + index;
    }

    void clear() {
        detail::destroyRange(_data, _size);
        _size = 0;
    }

    // Replaces the contents with copies; on failure the old contents stay.
    bool assign(const T* values, size_t count, tStatus& status) {
        static_assert(detail::kCopyable<T>, "element type cannot be copied");
        if (status.isFatal()) return false;
        T* storage = count == 0 ? nullptr : detail::allocateArray<T>(count, status);
        if (count != 0 && storage == nullptr) return false;
        if (!detail::copyRange(storage, values, count, status)) {
            detail::releaseArray(storage);
            return false;
        }
        releaseAll();
        _data = storage;
        _size = count;
        _capacity = count;
        return true;
    }

    bool assign(const Vector& other, tStatus& status) {
        if (this == &other) return status.isNotFatal();
        return assign(other._data, other._size, status);
    }

    void swap(Vector& other) {
        Vector held(kzhtl::move(other));
        other = kzhtl::move(*this);
        *this = kzhtl::move(held);
    }

private:
    size_t indexOf(const_iterator pos) const { return static_cast<size_t>(pos - _data); }

    void forget() {
        _capacity = 0;
        _size = 0;
        _data = nullptr;
    }

    void releaseAll() {
        detail::destroyRange(_data, _size);
        detail::releaseArray(_data);
        forget();
    }

    // Shrinks to count at once, or makes room for growing to it.
    bool prepareResize(size_t count, tStatus& status) {
        if (status.isFatal()) return false;
        if (count <= _size) {
            detail::destroyRange(_data + count, _size - count);
            _size = count;
            return true;
        }
        return reserve(count, status);
    }

    // Fresh storage when count more elements do not fit. Fails without changing anything.
    struct Growth {
        T* storage = nullptr;
        size_t capacity = 0;
    };

    bool prepareGap(size_t count, Growth& growth, tStatus& status) {
        if (status.isFatal()) return false;
        if (count > SIZE_MAX - _size) {
            KZ_SET_CODE(status, nKZAPALS100::kStatusMemoryFull);
            return false;
        }
        size_t needed = _size + count;
        if (needed <= _capacity) return true;
        growth.capacity = detail::grownCapacity(_capacity, needed, 4);
        growth.storage = detail::allocateArray<T>(growth.capacity, status);
        return growth.storage != nullptr;
    }

    // Leaves count slots at index alone (raw, or already built in the fresh storage) and moves
    // the other elements around them; the size is not changed.
    void openGap(size_t index, size_t count, const Growth& growth) {
        if (growth.storage != nullptr) {
            detail::relocateRange(growth.storage, _data, index);
            detail::relocateRange(growth.storage + index + count, _data + index, _size - index);
            detail::releaseArray(_data);
            _data = growth.storage;
            _capacity = growth.capacity;
        } else {
            detail::relocateRangeUp(_data + index + count, _data + index, _size - index);
        }
    }

    bool insertMoved(size_t index, Vector& source, tStatus& status) {
        Growth growth;
        if (!prepareGap(source._size, growth, status)) return false;
        openGap(index, source._size, growth);
        detail::relocateRange(_data + index, source._data, source._size);
        _size += source._size;
        source._size = 0;
        return true;
    }

    template <size_t... I, class... Args>
    bool emplaceAt(kzhtl::IndexSequence<I...>, Args&&... args) {
        tStatus& status = detail::nthArgument<sizeof...(Args) - 1>(kzhtl::forward<Args>(args)...);
        Growth growth;
        if (!prepareGap(1, growth, status)) return false;
        // the arguments may refer to our elements: built before anything moves
        T* slot = (growth.storage != nullptr ? growth.storage : _data) + _size;
        if constexpr (kzhtl::kIsConstructible<T, Args&&...>) {
            new (slot) T(kzhtl::forward<Args>(args)...);
            if (status.isFatal()) {
                slot->~T();
                detail::releaseArray(growth.storage);
                return false;
            }
        } else {
            new (slot) T(detail::nthArgument<I>(kzhtl::forward<Args>(args)...)...);
        }
        openGap(_size, 1, growth);
        ++_size;
        return true;
    }

    size_t _capacity = 0;
    size_t _size = 0;
    T* _data = nullptr;
};

}  // namespace kzhtl
