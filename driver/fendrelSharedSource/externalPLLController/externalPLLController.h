// Programs the isolated side's external PLL: its words through the FPGA's shift register, then,
// after the PLL has had time to settle, one look at its lock bit.
#pragma once

#include <cstdint>

#include "fendrelSharedSource/externalPLLController/sequentialLoaderController.h"
#include "kzapal/quarks/time.h"

namespace fendrelsharedsource {

template <class tShiftReg, class tStatusReg, bool (tStatusReg::*kReadLocked)(nKZAPALS100::tStatus&),
          uint32_t kBusyMask, uint32_t kBusyValue, int32_t kTimeoutStatus, uint32_t... kWords>
class ExternalPLLController {
public:
    static constexpr uint64_t kSettleUs = 10000;

    ExternalPLLController(const tShiftReg& shift, const tStatusReg& state) : shift_(shift), state_(state) {}
    virtual ~ExternalPLLController() {}

    // A busy shift register or a PLL that did not lock: the time-out status; no hardware check
    // runs for either.
    virtual void setUp(nKZAPALS100::tStatus& status) {
        if (status.isFatal()) return;
        SequentialLoaderControllerValuesTemplate<tShiftReg, tStatusReg, kBusyMask, kBusyValue, kTimeoutStatus,
                                                 kWords...>(shift_, state_)
            .loadValues(status);
        if (status.isFatal()) return;
        using namespace kzvorn_driver::nKZAPAL000;
        tTimeout<tTimeWasterSleep, tTimebasePrecise> settle(kSettleUs, kMicrosecond);
        settle.start();
        settle.waitForTimeout();
        if (!(state_.*kReadLocked)(status) && status.isNotFatal()) KZ_SET_CODE(status, kTimeoutStatus);
    }

private:
    tShiftReg shift_;
    tStatusReg state_;
};

}  // namespace fendrelsharedsource
