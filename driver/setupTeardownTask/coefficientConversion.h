// Stored calibration coefficients (128-bit fixed point, 64 fraction bits) into the formats of the
// channel's calibration registers. Each format accepts a window of values and takes a run of bits
// from it; a value outside the window sets 0xBFFA4300 and gives 0, so no stored value can reach a
// register cut down to something else.
#pragma once

#include <cstdint>

#include "kzapal/protons/status.h"
#include "kztypes/fixedPoint128.h"

namespace kzvorn_driver {

using Coefficient = kztypes::FixedPoint128<>;

struct CoefficientFormat {
    // The value survives a shift left by k and back (with sign fill when signed): its top k + 1
    // bits are equal when signed, its top k bits zero when not.
    int32_t rangeShift;
    bool isSigned;
    // The register value is the low `width` bits of the value shifted right by `shift`.
    int32_t shift;
    uint32_t width;
};

namespace coefficientformat {
// 0 <= r < 2^55: bits 31 and up, 24-bit gain register.
constexpr CoefficientFormat kUnsigned31 = {73, false, 31, 24};
// -2^60 <= r < 2^60: r >> 30, 31-bit offset register.
constexpr CoefficientFormat kSigned30 = {67, true, 30, 31};
// -2^56 <= r < 2^56: r >> 33, 24-bit common-mode current gain register.
constexpr CoefficientFormat kSigned33 = {71, true, 33, 24};
// 0 <= r < 2^77: bits 63 to 78, of which only the low 14 can be set.
constexpr CoefficientFormat kChargeBalance = {51, false, 63, 16};
// -2^91 <= r < 2^91: r >> 60, the 32-bit predictive gain table entry.
constexpr CoefficientFormat kPredictiveGain = {36, true, 60, 32};
}  // namespace coefficientformat

// The register value of r in a format; 0 with 0xBFFA4300 when r is outside the format's window.
uint32_t convertCoefficient(const CoefficientFormat& format, const Coefficient& r, nKZAPALS100::tStatus& status);
// The register value of a + b. A sum that leaves the signed 128-bit range would wrap, possibly into
// the window, so it fails like a value outside it.
uint32_t convertCoefficientSum(const CoefficientFormat& format, const Coefficient& a, const Coefficient& b,
                               nKZAPALS100::tStatus& status);

inline uint32_t convertCoefficientUnsigned31(const Coefficient& r, nKZAPALS100::tStatus& status) {
    return convertCoefficient(coefficientformat::kUnsigned31, r, status);
}
inline uint32_t convertCoefficientSigned30(const Coefficient& r, nKZAPALS100::tStatus& status) {
    return convertCoefficient(coefficientformat::kSigned30, r, status);
}
inline uint32_t convertCoefficientSigned33(const Coefficient& r, nKZAPALS100::tStatus& status) {
    return convertCoefficient(coefficientformat::kSigned33, r, status);
}

// A charge-balance range without a stored offset: bits 63 to 127 all zero, so the offset is zero
// or below one register step. Level 15 loads nothing for such a range and the step after a
// complete bring-up measures it; one rule for both, so no stored value falls between them.
constexpr bool isUncalibratedChargeBalanceOffset(const Coefficient& r) { return r.high == 0 && (r.low >> 63) == 0; }

}  // namespace kzvorn_driver
