// A log that keeps its latest `capacity` entries, oldest first. The board records accesses for
// tests to look back over; a long run (a thousand resets) must not grow its logs without bound.
// Its owner's lock guards it; its storage bypasses the system's allocator (hostAllocator.h).
#pragma once

#include <cstddef>
#include <vector>

#include "board/hostAllocator.h"

namespace board {

template <class T>
class BoundedLog {
public:
    explicit BoundedLog(size_t capacity) : capacity_(capacity) {}

    size_t capacity() const { return capacity_; }
    size_t size() const { return entries_.size(); }

    // Once full, the entry replaces the oldest.
    void push(const T& entry) {
        if (entries_.size() < capacity_) {
            entries_.push_back(entry);
            return;
        }
        entries_[oldest_] = entry;
        oldest_ = (oldest_ + 1) % capacity_;
    }

    void clear() {
        entries_.clear();
        oldest_ = 0;
    }

    // Visits the entries oldest first.
    template <class Visit>
    void forEach(Visit&& each) const {
        for (size_t i = oldest_; i < entries_.size(); ++i) each(entries_[i]);
        for (size_t i = 0; i < oldest_; ++i) each(entries_[i]);
    }

    std::vector<T> entries() const {
        std::vector<T> result;
        result.reserve(entries_.size());
        forEach([&](const T& entry) { result.push_back(entry); });
        return result;
    }

private:
    size_t capacity_;
    HostVector<T> entries_;
    size_t oldest_ = 0;
};

}  // namespace board
