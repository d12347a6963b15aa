#include "atut/hardwareStateCheckerCollection.h"

#include "kzapal/protons/statusCodes.h"

namespace atut {

void HardwareStateCheckerCollection::checkHardwareState(nKZAPALS100::tStatus& status) {
    if (status.isFatal()) return;
    for (size_t i = 0; i < count_; ++i) checkers_[i]->checkHardwareState(status);
}

void HardwareStateCheckerCollection::add(HardwareStateChecker* checker, nKZAPALS100::tStatus& status) {
    if (status.isFatal()) return;
    if (count_ == kCapacity) {
        // No room: say so rather than leave a state unchecked in silence.
        KZ_SET_CODE(status, nKZAPALS100::kStatusMemoryFull);
        return;
    }
    checkers_[count_++] = checker;
}

void HardwareStateCheckerCollection::remove(HardwareStateChecker* checker) {
    for (size_t i = 0; i < count_; ++i) {
        if (checkers_[i] != checker) continue;
        for (size_t j = i + 1; j < count_; ++j) checkers_[j - 1] = checkers_[j];
        --count_;
        return;
    }
}

}  // namespace atut
