// Owned, zero-terminated text {capacity, size, data}. Operations that may allocate take the
// caller's status last, do nothing once it holds an error and report -52000 without touching
// the text.
#pragma once

#include "kzhtl/allocator.h"

namespace kzhtl {

template <class CharT>
class BasicString {
public:
    using value_type = CharT;
    using size_type = size_t;
    using iterator = CharT*;
    using const_iterator = const CharT*;
    using tStatus = nKZAPALS100::tStatus;
    static constexpr size_t npos = static_cast<size_t>(-1);

    BasicString() = default;
    BasicString(const CharT* text, tStatus& status) { assign(text, status); }
    BasicString(const CharT* text, size_t count, tStatus& status) { assign(text, count, status); }
    BasicString(const BasicString& other, tStatus& status) { assign(other, status); }
    BasicString(BasicString&& other) : _capacity(other._capacity), _size(other._size), _data(other._data) {
        other.forget();
    }
    BasicString& operator=(BasicString&& other) {
        if (this != &other) {
            detail::releaseArray(_data);
            _capacity = other._capacity;
            _size = other._size;
            _data = other._data;
            other.forget();
        }
        return *this;
    }
    BasicString(const BasicString&) = delete;
    BasicString& operator=(const BasicString&) = delete;
    ~BasicString() { detail::releaseArray(_data); }

    size_t size() const { return _size; }
    size_t length() const { return _size; }
    size_t capacity() const { return _capacity; }
    bool empty() const { return _size == 0; }
    const CharT* c_str() const { return _data != nullptr ? _data : &kEmpty; }
    const CharT* data() const { return c_str(); }
    CharT& operator[](size_t index) { return _data[index]; }
    const CharT& operator[](size_t index) const { return c_str()[index]; }
    iterator begin() { return _data; }
    iterator end() { return _data + _size; }
    const_iterator begin() const { return c_str(); }
    const_iterator end() const { return c_str() + _size; }

    static size_t textLength(const CharT* text) {
        size_t length = 0;
        while (text[length] != CharT()) ++length;
        return length;
    }

    bool reserve(size_t count, tStatus& status) {
        if (status.isFatal()) return false;
        if (count <= _capacity) return true;
        return reallocate(count, status);
    }

    // Cuts or pads with fill.
    bool resize(size_t count, CharT fill, tStatus& status) {
        if (status.isFatal()) return false;
        if (count > _size) {
            if (!makeRoom(count - _size, status)) return false;
            for (size_t i = _size; i < count; ++i) _data[i] = fill;
        }
        setSize(count);
        return true;
    }

    bool assign(const CharT* text, tStatus& status) {
        if (status.isFatal()) return false;
        return assign(text, textLength(text), status);
    }

    // text may point into this string.
    bool assign(const CharT* text, size_t count, tStatus& status) {
        if (status.isFatal()) return false;
        if (count > _capacity) {
            BasicString copy;
            if (!copy.reallocate(count, status)) return false;
            copy.append(text, count, status);
            *this = kzhtl::move(copy);
            return true;
        }
        if (count != 0) nKZKAL180_memMove(_data, text, count * sizeof(CharT));
        setSize(count);
        return true;
    }

    bool assign(const BasicString& other, tStatus& status) {
        return assign(other.c_str(), other._size, status);
    }

    bool append(const CharT* text, tStatus& status) {
        if (status.isFatal()) return false;
        return append(text, textLength(text), status);
    }

    bool append(const CharT* text, size_t count, tStatus& status) {
        return insert(_size, text, count, status);
    }

    bool append(const BasicString& other, tStatus& status) {
        return append(other.c_str(), other._size, status);
    }

    bool push_back(CharT character, tStatus& status) { return append(&character, 1, status); }

    // Inserts count characters before index (clamped to the end); text may point into this string.
    bool insert(size_t index, const CharT* text, size_t count, tStatus& status) {
        if (status.isFatal()) return false;
        if (count == 0) return true;
        if (index > _size) index = _size;
        if (count > SIZE_MAX / sizeof(CharT) - 1 - _size) {
            KZ_SET_CODE(status, nKZAPALS100::kStatusMemoryFull);
            return false;
        }
        size_t needed = _size + count;
        if (needed > _capacity) {
            size_t capacity = detail::grownCapacity(_capacity, needed, 15);
            CharT* storage = detail::allocateArray<CharT>(capacity + 1, status);
            if (storage == nullptr) return false;
            copyChars(storage, c_str(), index);
            copyChars(storage + index, text, count);
            copyChars(storage + index + count, c_str() + index, _size - index);
            detail::releaseArray(_data);
            _data = storage;
            _capacity = capacity;
        } else {
            bool inside = text >= _data && text < _data + _size;
            size_t start = inside ? static_cast<size_t>(text - _data) : 0;
            nKZKAL180_memMove(_data + index + count, _data + index, (_size - index) * sizeof(CharT));
            if (!inside) {
                copyChars(_data + index, text, count);
            } else {
                // our own characters at or behind index have just moved up by count
                size_t before = start >= index ? 0 : (index - start < count ? index - start : count);
                nKZKAL180_memMove(_data + index, _data + start, before * sizeof(CharT));
                nKZKAL180_memMove(_data + index + before, _data + start + before + count,
                                  (count - before) * sizeof(CharT));
            }
        }
        setSize(needed);
        return true;
    }

    bool insert(size_t index, const CharT* text, tStatus& status) {
        if (status.isFatal()) return false;
        return insert(index, text, textLength(text), status);
    }

    // Removes up to count characters from index.
    void erase(size_t index, size_t count = npos) {
        if (index >= _size) return;
        if (count > _size - index) count = _size - index;
        nKZKAL180_memMove(_data + index, _data + index + count, (_size - index - count) * sizeof(CharT));
        setSize(_size - count);
    }

    void clear() { setSize(0); }

    // Copies up to count characters from index into out (empty when index is past the end).
    bool substr(size_t index, size_t count, BasicString& out, tStatus& status) const {
        if (status.isFatal()) return false;
        if (index > _size) index = _size;
        if (count > _size - index) count = _size - index;
        return out.assign(c_str() + index, count, status);
    }

    size_t find(CharT character, size_t from = 0) const {
        for (size_t i = from; i < _size; ++i) {
            if (_data[i] == character) return i;
        }
        return npos;
    }

    size_t find(const CharT* text, size_t from = 0) const {
        size_t count = textLength(text);
        if (count > _size) return npos;
        for (size_t i = from; i <= _size - count; ++i) {
            if (equalChars(c_str() + i, text, count)) return i;
        }
        return npos;
    }

    size_t rfind(CharT character) const {
        for (size_t i = _size; i > 0; --i) {
            if (_data[i - 1] == character) return i - 1;
        }
        return npos;
    }

    // Lexicographic by unsigned character value, as memcmp orders bytes; negative, zero or positive.
    int compare(const CharT* text, size_t count) const {
        using Unsigned = typename kzhtl::MakeUnsigned<CharT>::type;
        size_t common = _size < count ? _size : count;
        const CharT* own = c_str();
        for (size_t i = 0; i < common; ++i) {
            Unsigned a = static_cast<Unsigned>(own[i]);
            Unsigned b = static_cast<Unsigned>(text[i]);
            if (a != b) return a < b ? -1 : 1;
        }
        return _size == count ? 0 : (_size < count ? -1 : 1);
    }
    int compare(const CharT* text) const { return compare(text, textLength(text)); }
    int compare(const BasicString& other) const { return compare(other.c_str(), other._size); }

    bool operator==(const BasicString& other) const { return compare(other) == 0; }
    bool operator!=(const BasicString& other) const { return compare(other) != 0; }
    bool operator<(const BasicString& other) const { return compare(other) < 0; }
    bool operator==(const CharT* text) const { return compare(text) == 0; }
    bool operator!=(const CharT* text) const { return compare(text) != 0; }

    void swap(BasicString& other) {
        BasicString held(kzhtl::move(other));
        other = kzhtl::move(*this);
        *this = kzhtl::move(held);
    }

private:
    static constexpr CharT kEmpty = CharT();

    static void copyChars(CharT* target, const CharT* source, size_t count) {
        if (count != 0) nKZKAL180_memCpy(target, source, count * sizeof(CharT));
    }

    static bool equalChars(const CharT* a, const CharT* b, size_t count) {
        for (size_t i = 0; i < count; ++i) {
            if (a[i] != b[i]) return false;
        }
        return true;
    }

    void forget() {
        _capacity = 0;
        _size = 0;
        _data = nullptr;
    }

    void setSize(size_t size) {
        _size = size;
        if (_data != nullptr) _data[size] = CharT();
    }

    bool makeRoom(size_t more, tStatus& status) {
        if (more > SIZE_MAX / sizeof(CharT) - 1 - _size) {
            KZ_SET_CODE(status, nKZAPALS100::kStatusMemoryFull);
            return false;
        }
        if (_size + more <= _capacity) return true;
        return reallocate(detail::grownCapacity(_capacity, _size + more, 15), status);
    }

    bool reallocate(size_t capacity, tStatus& status) {
        if (capacity > SIZE_MAX / sizeof(CharT) - 1) {
            KZ_SET_CODE(status, nKZAPALS100::kStatusMemoryFull);
            return false;
        }
        CharT* storage = detail::allocateArray<CharT>(capacity + 1, status);
        if (storage == nullptr) return false;
        copyChars(storage, c_str(), _size);
        storage[_size] = CharT();
        detail::releaseArray(_data);
        _data = storage;
        _capacity = capacity;
        return true;
    }

    size_t _capacity = 0;
    size_t _size = 0;
    CharT* _data = nullptr;
};

using String = BasicString<char>;

}  // namespace kzhtl
