#include "setupTeardownTask/coefficientConversion.h"

#include "device/statusCodes.h"

namespace kzvorn_driver {

uint32_t convertCoefficient(const CoefficientFormat& format, const Coefficient& r, nKZAPALS100::tStatus& status) {
    if (status.isFatal()) return 0;
    Coefficient back = r;
    Coefficient::RightShift(back, -format.rangeShift, false);
    Coefficient::RightShift(back, format.rangeShift, format.isSigned);
    if (back != r) {
        KZ_SET_CODE(status, kStatusArgumentOutOfRange);
        return 0;
    }
    Coefficient value = r;
    Coefficient::RightShift(value, format.shift, format.isSigned);
    const uint64_t mask = (uint64_t{1} << format.width) - 1;
    return static_cast<uint32_t>(value.low & mask);
}

uint32_t convertCoefficientSum(const CoefficientFormat& format, const Coefficient& a, const Coefficient& b,
                               nKZAPALS100::tStatus& status) {
    if (status.isFatal()) return 0;
    if (Coefficient::AdditionOverflows(a, b)) {
        KZ_SET_CODE(status, kStatusArgumentOutOfRange);
        return 0;
    }
    return convertCoefficient(format, a + b, status);
}

}  // namespace kzvorn_driver
