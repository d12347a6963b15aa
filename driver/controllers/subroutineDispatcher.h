// Starts a channel's sequencer subroutines by id: the registrar gives the start address, the
// channel's interrupt generator programs a line with it and raises the line; a wait then watches
// the line's latch and the channel's busy bit.
#pragma once

#include <cstdint>

#include "controllers/interruptGeneratorController.h"
#include "dravikTools/subroutineRegistrar.h"
#include "kdut/hardwareStateChecker.h"
#include "kzapal/protons/synchronization.h"
#include "kzhtl/sharedPtr.h"
#include "kzvorn_regMaps/TolvaneRegisterMap_TolvaneIsoChannelRegMap.h"

namespace kzvorn_driver {

class SubroutineDispatcher {
public:
    using tChannelMap = kzvorn_regmaps::tTolvaneIsoChannelRegMap;

    // Takes a reference to the registrar; -52000 when the lock cannot be made.
    SubroutineDispatcher(const kzhtl::SharedPtr<draviktools::SubroutineRegistrarInterface>& registrar,
                         InterruptGeneratorController& generator, kdut::HardwareStateCheckerInterface& checker,
                         tChannelMap& map, nKZAPALS100::tStatus& status);
    virtual ~SubroutineDispatcher() {}
    SubroutineDispatcher(const SubroutineDispatcher&) = delete;
    SubroutineDispatcher& operator=(const SubroutineDispatcher&) = delete;

    // An id the registrar does not hold reaches no register.
    virtual void run(uint32_t line, draviktools::SubroutineId id, nKZAPALS100::tStatus& status);
    // Until the line is no longer latched and the channel is not busy; at the deadline the
    // hardware check's finding, else the caller's time-out status. Takes no lock, so another
    // thread may start a subroutine on another line meanwhile.
    virtual void wait(uint32_t line, uint32_t timeoutUs, int32_t timeoutStatus, nKZAPALS100::tStatus& status);

private:
    kzhtl::SharedPtr<draviktools::SubroutineRegistrarInterface> registrar_;
    InterruptGeneratorController& generator_;
    kdut::HardwareStateCheckerInterface& checker_;
    tChannelMap::tIsoChannelStatusReg channelStatus_;
    nKZAPAL000::tMutex lock_;
};

}  // namespace kzvorn_driver
