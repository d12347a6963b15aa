// Signed 128-bit fixed-point value: low word holds the 64 fraction bits, high word the integer part.
#pragma once

#include <cstdint>

namespace kztypes {

template <uint32_t kFractionBits = 64, bool kSigned = true>
struct FixedPoint128 {
    static_assert(kFractionBits == 64, "calibration values use 64 fraction bits");

    uint64_t low = 0;
    uint64_t high = 0;

    // Plain two's complement addition: the carry of the low words goes into the high word, and a
    // sum outside the signed range wraps.
    friend FixedPoint128 operator+(const FixedPoint128& a, const FixedPoint128& b) {
        FixedPoint128 sum;
        sum.low = a.low + b.low;
        sum.high = a.high + b.high + (sum.low < a.low ? 1 : 0);
        return sum;
    }
    // Whether a + b wraps: two addends of one sign whose sum has the other.
    static bool AdditionOverflows(const FixedPoint128& a, const FixedPoint128& b) {
        const uint64_t sumHigh = (a + b).high;
        return (~(a.high ^ b.high) & (a.high ^ sumHigh)) >> 63 != 0;
    }
    friend bool operator==(const FixedPoint128& a, const FixedPoint128& b) {
        return a.low == b.low && a.high == b.high;
    }
    friend bool operator!=(const FixedPoint128& a, const FixedPoint128& b) { return !(a == b); }

    // n > 0 shifts right, n < 0 shifts left; |n| >= 128 empties (left) or fills (right) the value.
    static void RightShift(FixedPoint128& value, int32_t n, bool signFill) {
        const uint64_t fill = (signFill && static_cast<int64_t>(value.high) < 0) ? ~uint64_t{0} : 0;
        if (n == 0) return;
        if (n <= -128) {
            value.low = value.high = 0;
            return;
        }
        if (n >= 128) {
            value.low = value.high = fill;
            return;
        }
        if (n < 0) {
            if (n <= -64) {
                value.high = value.low;
                value.low = 0;
                n += 64;
            }
            if (n < 0) {
                const int32_t s = -n;
                value.high = (value.high << s) | (value.low >> (64 - s));
                value.low <<= s;
            }
            return;
        }
        if (n >= 64) {
            value.low = value.high;
            value.high = fill;
            n -= 64;
        }
        if (n > 0) {
            value.low = (value.low >> n) | (value.high << (64 - n));
            value.high = (value.high >> n) | (fill << (64 - n));
        }
    }
};

}  // namespace kztypes
