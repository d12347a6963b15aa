#include "device/nonIsolatedControllers.h"

#include "kzapal/protons/memory.h"

namespace kzvorn_driver {

using nKZAPALS100::tStatus;

namespace {
constexpr int64_t kDcBusStartupTimedOut = KZ_DEVICE_CODE(0xBFFA4683);
constexpr int64_t kIsoCommStateTimedOut = KZ_DEVICE_CODE(0xBFFA4678);
}  // namespace

NonIsolatedControllers::NonIsolatedControllers(NonIsolatedRegMaps& maps, CoolingPair* cooling,
                                               const vantrel_caps::Caps& caps, StorageMaps& storageMaps,
                                               tStatus& status)
    : isolatedLink_{maps.fpga.IsoCommConfigReg(), maps.fpga.IsoCommStatusReg(), kDcBusStartupTimedOut,
                    kIsoCommStateTimedOut} {
    errorMap_ = new (status) kzvorn_driver_codegen::ErrorMap(status);
    if (status.isNotFatal()) inputMap_ = new (status) NisoBoardErrorMuxInputMap(status);
    if (status.isFatal()) return;

    const uint8_t inputCount = static_cast<uint8_t>(inputMap_->getInputCount());
    // The controller keeps its own references; these go when the constructor ends.
    kzhtl::SharedPtr<vantrel_shared::OccurrenceMuxInterface> mux;
    kzhtl::SharedPtr<vantrel_shared::ErrorManagerInterface> manager;
    mux.reset(newNisoBoardErrorMux(maps.fpga, inputCount, status), status);
    if (status.isNotFatal()) manager.reset(newNisoBoardErrorManager(maps.fpga, status), status);
    if (status.isNotFatal())
        errorController_ = new (status) vantrel_shared::OccurrenceErrorController(manager, mux, inputMap_, errorMap_);
    if (status.isFatal()) return;

    power_ = new (status)
        PowerController(maps.fpga, maps.backplaneChip, maps.sinkingBoardChip, storageMaps.maps.manufacturing);
    if (status.isNotFatal()) cooling_ = new (status) CoolingModeSetting(caps.requestedCoolingMode, cooling, *power_, status);
    if (status.isNotFatal())
        powerAllocation_ = new (status) vantrel_shared::PowerAllocationController(
            caps.coolingTierCaps.getFirstLimit(kPowerBudgetCoolingTier), caps.channelCount, status);
    if (status.isFatal()) return;
    isolatedLinkFilled_ = true;
    overflow_ = new (status) MeasureFIFOOverflowStatusController(maps.fpga.MeasureFifoStatus(0), status);
}

NonIsolatedControllers::~NonIsolatedControllers() {
    delete overflow_;
    isolatedLinkFilled_ = false;
    delete powerAllocation_;
    delete cooling_;
    delete power_;
    delete errorController_;
    delete inputMap_;
    delete errorMap_;
}

}  // namespace kzvorn_driver
