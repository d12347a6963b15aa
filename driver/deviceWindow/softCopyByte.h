// One byte of a memory window's cache with its state.
#pragma once

#include <cstdint>

namespace devicewindow {

struct SoftCopyByte {
    enum : uint8_t { kInvalid = 0, kChanged = 1, kClean = 2 };

    uint8_t state = kInvalid;
    uint8_t value = 0xFF;

    bool isValid() const { return state != kInvalid; }
    bool isChanged() const { return state == kChanged; }

    // A valid byte that already holds the value stays as it is (a clean byte stays clean).
    void setValue(uint8_t newValue) {
        if (isValid() && value == newValue) return;
        state = kChanged;
        value = newValue;
    }
    void markClean() { state = kClean; }
    void invalidate() {
        state = kInvalid;
        value = 0xFF;
    }
};

static_assert(sizeof(SoftCopyByte) == 2, "two bytes per cached byte");

}  // namespace devicewindow
