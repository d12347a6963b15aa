// A hardware-state checker that counts its runs and finds the fault a test gives it.
#pragma once

#include <cstdint>

#include "kdut/hardwareStateChecker.h"

namespace seqtest {

struct CountingChecker : kdut::HardwareStateCheckerInterface {
    int runs = 0;
    int64_t fault = 0;
    void checkHardwareState(nKZAPALS100::tStatus& status) override {
        ++runs;
        if (fault != 0) KZ_SET_CODE(status, fault);
    }
};

}  // namespace seqtest
