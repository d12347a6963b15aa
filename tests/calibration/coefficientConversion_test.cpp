// The coefficient formats at their boundaries, the 128-bit addition with its overflow test, and the
// rule that tells an uncalibrated charge-balance range.
#include <gtest/gtest.h>

#include <cstdint>

#include "coefficients.h"
#include "device/statusCodes.h"
#include "setupTeardownTask/coefficientConversion.h"

namespace {

using caltest::coefficient;
using caltest::kMax128;
using caltest::kMin128;
using caltest::pow2;
using kzvorn_driver::Coefficient;
using kzvorn_driver::CoefficientFormat;
using nKZAPALS100::tStatus;
namespace format = kzvorn_driver::coefficientformat;

constexpr int64_t kOutOfRange = kzvorn_driver::kStatusArgumentOutOfRange;

struct ConversionCase {
    const char* what;
    const CoefficientFormat* format;
    __int128 r;
    int64_t code;
    uint32_t value;
};

const ConversionCase kConversions[] = {
    {"gain 0", &format::kUnsigned31, 0, 0, 0},
    {"gain 1.5 register steps", &format::kUnsigned31, pow2(31) * 3 / 2, 0, 1},
    {"largest gain", &format::kUnsigned31, pow2(55) - 1, 0, 0xFFFFFF},
    {"gain of exactly 2^55", &format::kUnsigned31, pow2(55), kOutOfRange, 0},
    {"negative gain", &format::kUnsigned31, -1, kOutOfRange, 0},
    {"gain beyond the high word", &format::kUnsigned31, pow2(100), kOutOfRange, 0},
    {"offset -2^60", &format::kSigned30, -pow2(60), 0, 0x40000000},
    {"largest offset", &format::kSigned30, pow2(60) - 1, 0, 0x3FFFFFFF},
    {"offset 2^60", &format::kSigned30, pow2(60), kOutOfRange, 0},
    {"offset below -2^60", &format::kSigned30, -pow2(60) - 1, kOutOfRange, 0},
    {"offset -1 (raw)", &format::kSigned30, -1, 0, 0x7FFFFFFF},
    {"offset -3 steps", &format::kSigned30, -3 * pow2(30), 0, 0x7FFFFFFD},
    {"common-mode gain -2^56", &format::kSigned33, -pow2(56), 0, 0x800000},
    {"largest common-mode gain", &format::kSigned33, pow2(56) - 1, 0, 0x7FFFFF},
    {"common-mode gain 2^56", &format::kSigned33, pow2(56), kOutOfRange, 0},
    {"common-mode gain below -2^56", &format::kSigned33, -pow2(56) - 1, kOutOfRange, 0},
    {"charge-balance offset below one step", &format::kChargeBalance, pow2(63) - 1, 0, 0},
    {"charge-balance offset of one step", &format::kChargeBalance, pow2(63), 0, 1},
    {"largest charge-balance offset", &format::kChargeBalance, pow2(77) - 1, 0, 0x3FFF},
    {"charge-balance offset 2^77", &format::kChargeBalance, pow2(77), kOutOfRange, 0},
    {"negative charge-balance offset", &format::kChargeBalance, -pow2(63), kOutOfRange, 0},
    {"predictive gain -2^91", &format::kPredictiveGain, -pow2(91), 0, 0x80000000},
    {"largest predictive gain", &format::kPredictiveGain, pow2(91) - 1, 0, 0x7FFFFFFF},
    {"predictive gain 2^91", &format::kPredictiveGain, pow2(91), kOutOfRange, 0},
    {"predictive gain below -2^91", &format::kPredictiveGain, -pow2(91) - 1, kOutOfRange, 0},
    {"largest 128-bit value", &format::kPredictiveGain, kMax128, kOutOfRange, 0},
    {"smallest 128-bit value", &format::kSigned30, kMin128, kOutOfRange, 0},
};

TEST(CoefficientConversion, FormatsAtTheirBoundaries) {
    for (const ConversionCase& c : kConversions) {
        SCOPED_TRACE(c.what);
        tStatus status;
        EXPECT_EQ(kzvorn_driver::convertCoefficient(*c.format, coefficient(c.r), status), c.value);
        EXPECT_EQ(status.getCode(), c.code);
    }
}

TEST(CoefficientConversion, NamedConversionsAreTheirFormats) {
    tStatus status;
    EXPECT_EQ(kzvorn_driver::convertCoefficientUnsigned31(coefficient(pow2(55) - 1), status), 0xFFFFFFu);
    EXPECT_EQ(kzvorn_driver::convertCoefficientSigned30(coefficient(-pow2(60)), status), 0x40000000u);
    EXPECT_EQ(kzvorn_driver::convertCoefficientSigned33(coefficient(-pow2(56)), status), 0x800000u);
    EXPECT_EQ(status.getCode(), 0);
    kzvorn_driver::convertCoefficientUnsigned31(coefficient(pow2(55)), status);
    EXPECT_EQ(status.getCode(), kOutOfRange);
}

TEST(CoefficientConversion, AnEarlierErrorStaysAndGivesZero) {
    tStatus status;
    status.code = -52007;
    EXPECT_EQ(kzvorn_driver::convertCoefficientSigned30(coefficient(5 * pow2(30)), status), 0u);
    EXPECT_EQ(kzvorn_driver::convertCoefficientSum(format::kSigned30, coefficient(kMax128), coefficient(1), status),
              0u);
    EXPECT_EQ(status.getCode(), -52007);
}

struct SumCase {
    const char* what;
    __int128 a;
    __int128 b;
    int64_t code;
    uint32_t value;
};

// Offsets are converted as the sum of a stored offset and its residual.
const SumCase kSums[] = {
    {"two halves of -2^60", -pow2(59), -pow2(59), 0, 0x40000000},
    {"a carry between the words", -1, pow2(31), 0, 1},
    {"opposite signs at the ends", kMax128, kMin128, 0, 0x7FFFFFFF},
    {"a sum just outside the window", pow2(60) - 1, 1, kOutOfRange, 0},
    {"two largest values wrap to -2", kMax128, kMax128, kOutOfRange, 0},
    {"two smallest values wrap to 0", kMin128, kMin128, kOutOfRange, 0},
    {"largest plus one wraps to the smallest", kMax128, 1, kOutOfRange, 0},
};

TEST(CoefficientConversion, SumsThatWrapFail) {
    for (const SumCase& c : kSums) {
        SCOPED_TRACE(c.what);
        tStatus status;
        EXPECT_EQ(kzvorn_driver::convertCoefficientSum(format::kSigned30, coefficient(c.a), coefficient(c.b), status),
                  c.value);
        EXPECT_EQ(status.getCode(), c.code);
    }
}

TEST(FixedPoint128Addition, CarriesAndWraps) {
    const Coefficient carry = Coefficient{~0ull, 0} + Coefficient{1, 0};
    EXPECT_EQ(carry, (Coefficient{0, 1}));
    const Coefficient minusOne = Coefficient{~0ull, ~0ull};
    EXPECT_EQ(minusOne + minusOne, (Coefficient{~0ull - 1, ~0ull}));
    EXPECT_EQ(coefficient(kMax128) + coefficient(1), coefficient(kMin128));  // plain addition wraps
    EXPECT_TRUE(Coefficient::AdditionOverflows(coefficient(kMax128), coefficient(1)));
    EXPECT_TRUE(Coefficient::AdditionOverflows(coefficient(kMin128), minusOne));
    EXPECT_FALSE(Coefficient::AdditionOverflows(coefficient(kMin128), coefficient(kMax128)));
    EXPECT_FALSE(Coefficient::AdditionOverflows(minusOne, minusOne));
    EXPECT_FALSE(Coefficient::AdditionOverflows(coefficient(kMax128), Coefficient{}));
}

TEST(ChargeBalanceOffset, UncalibratedWhenBits63UpAreZero) {
    EXPECT_TRUE(kzvorn_driver::isUncalibratedChargeBalanceOffset(coefficient(0)));
    EXPECT_TRUE(kzvorn_driver::isUncalibratedChargeBalanceOffset(coefficient(1)));
    EXPECT_TRUE(kzvorn_driver::isUncalibratedChargeBalanceOffset(coefficient(pow2(63) - 1)));
    EXPECT_FALSE(kzvorn_driver::isUncalibratedChargeBalanceOffset(coefficient(pow2(63))));
    EXPECT_FALSE(kzvorn_driver::isUncalibratedChargeBalanceOffset(coefficient(pow2(100))));
    EXPECT_FALSE(kzvorn_driver::isUncalibratedChargeBalanceOffset(coefficient(-1)));
    // Exactly the values whose loaded offset would be zero, among those the format accepts.
    for (__int128 r : {__int128{0}, pow2(63) - 1, pow2(63), pow2(77) - 1}) {
        tStatus status;
        const uint32_t x = kzvorn_driver::convertCoefficient(format::kChargeBalance, coefficient(r), status);
        EXPECT_EQ(x == 0, kzvorn_driver::isUncalibratedChargeBalanceOffset(coefficient(r)));
    }
}

}  // namespace
