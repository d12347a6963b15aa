// A log that keeps its latest `capacity` entries, oldest first. The board records accesses for
// tests to look back over; a long run (a thousand resets) must not grow its logs without bound.
// Its owner's lock guards it; its storage bypasses the system's allocator (hostAllocator.h).
//
// The entries live in chunks of about 64 KiB, made as the log first reaches them and kept until
// the log goes: a growing log never copies what it holds, and touches only the memory it fills.
#pragma once

#include <cstddef>
#include <new>
#include <utility>
#include <vector>

#include "board/hostAllocator.h"

namespace board {

// What a block keeps of a record of its own (port transactions, sequencer runs, strobes seen):
// far more than any test looks back over, and a bound on what a thousand resets leave.
constexpr size_t kBlockRecordCapacity = size_t{1} << 16;
// What the access logs keep: the board's BAR accesses, the isolated link's port accesses, the
// flash chip's transactions.
constexpr size_t kAccessLogCapacity = size_t{1} << 20;

template <class T>
class BoundedLog {
public:
    explicit BoundedLog(size_t capacity) : capacity_(capacity), chunkShift_(shiftFor(capacity)) {}
    ~BoundedLog() { release(); }
    BoundedLog(BoundedLog&& other) noexcept
        : capacity_(other.capacity_), chunkShift_(other.chunkShift_), chunks_(std::move(other.chunks_)),
          size_(other.size_), oldest_(other.oldest_) {
        other.chunks_.clear();
        other.size_ = other.oldest_ = 0;
    }
    BoundedLog& operator=(BoundedLog&& other) noexcept {
        if (this != &other) {
            release();
            capacity_ = other.capacity_;
            chunkShift_ = other.chunkShift_;
            chunks_ = std::move(other.chunks_);
            size_ = other.size_;
            oldest_ = other.oldest_;
            other.chunks_.clear();
            other.size_ = other.oldest_ = 0;
        }
        return *this;
    }
    BoundedLog(const BoundedLog& other) : capacity_(other.capacity_), chunkShift_(other.chunkShift_) {
        other.forEach([this](const T& entry) { push(entry); });
    }
    BoundedLog& operator=(const BoundedLog& other) {
        if (this != &other) {
            BoundedLog copy(other);
            *this = std::move(copy);
        }
        return *this;
    }

    size_t capacity() const { return capacity_; }
    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }

    // Once full, the entry replaces the oldest.
    void push(const T& entry) { place(entry); }
    void push(T&& entry) { place(std::move(entry)); }

    // Entry i, oldest first (i below size()).
    const T& fromOldest(size_t i) const {
        const size_t slot = oldest_ + i;
        return at(slot < capacity_ ? slot : slot - capacity_);
    }
    // The latest entry; the log must not be empty.
    T& newest() { return at((oldest_ == 0 ? size_ : oldest_) - 1); }
    const T& newest() const { return const_cast<BoundedLog*>(this)->newest(); }

    // Keeps the chunks for the entries to come.
    void clear() {
        destroyEntries();
        size_ = oldest_ = 0;
    }

    // Visits the entries oldest first.
    template <class Visit>
    void forEach(Visit&& each) const {
        for (size_t i = oldest_; i < size_; ++i) each(at(i));
        for (size_t i = 0; i < oldest_; ++i) each(at(i));
    }

    std::vector<T> entries() const {
        std::vector<T> result;
        result.reserve(size_);
        forEach([&](const T& entry) { result.push_back(entry); });
        return result;
    }

private:
    static constexpr size_t kChunkBytes = size_t{1} << 16;

    // Entries per chunk as a power of two: about kChunkBytes, fewer for a small log.
    static unsigned shiftFor(size_t capacity) {
        unsigned shift = 0;
        while ((sizeof(T) << (shift + 1)) <= kChunkBytes && (size_t{1} << shift) < capacity) ++shift;
        return shift;
    }

    T& at(size_t slot) const { return chunks_[slot >> chunkShift_][slot & ((size_t{1} << chunkShift_) - 1)]; }

    template <class U>
    void place(U&& entry) {
        if (size_ < capacity_) {
            if ((size_ >> chunkShift_) == chunks_.size()) chunks_.push_back(HostAllocator<T>().allocate(size_t{1} << chunkShift_));
            new (&at(size_)) T(std::forward<U>(entry));
            ++size_;
            return;
        }
        at(oldest_) = std::forward<U>(entry);
        if (++oldest_ == capacity_) oldest_ = 0;
    }

    void destroyEntries() {
        for (size_t i = 0; i < size_; ++i) at(i).~T();
    }

    void release() {
        destroyEntries();
        for (T* chunk : chunks_) HostAllocator<T>().deallocate(chunk, size_t{1} << chunkShift_);
        chunks_.clear();
        size_ = oldest_ = 0;
    }

    size_t capacity_;
    unsigned chunkShift_;
    HostVector<T*> chunks_;
    size_t size_ = 0;
    size_t oldest_ = 0;
};

}  // namespace board
