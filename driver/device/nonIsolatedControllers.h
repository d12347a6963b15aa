// The non-isolated board's controllers, built over its register maps at setup level 5: the board's
// error control (error map, mux input map, error mux and manager behind the board's error
// controller), the power controller, the cooling-mode setting, the channels' power budget, the
// registers of the link to the isolated side, and the measure FIFOs' overflow flags. A failed member
// stops the rest; the destructor destroys, in reverse, what exists.
#pragma once

#include <cstdint>

#include "controllers/coolingModeSetting.h"
#include "controllers/fifoControllers.h"
#include "controllers/powerController.h"
#include "device/nisoOccurrence.h"
#include "device/nonIsolatedRegMaps.h"
#include "device/storageMaps.h"
#include "kzvorn_driver_codegen/errorMaps.h"
#include "vantrel_caps/caps.h"
#include "vantrel_shared/occurrenceErrorController.h"
#include "vantrel_shared/powerAllocationController.h"

namespace kzvorn_driver {

// What the isolated FPGA's image download needs of the link to the isolated side.
struct IsolatedLinkRecord {
    tNisoFpgaRegMap::tIsoCommConfigReg config;
    tNisoFpgaRegMap::tIsoCommStatusReg status;
    int64_t dcBusStartupTimeoutStatus;
    int64_t commStateTimeoutStatus;
};

class NonIsolatedControllers {
public:
    using tStatus = nKZAPALS100::tStatus;

    // The power budget is the capability record's first limit for this cooling tier.
    static constexpr uint32_t kPowerBudgetCoolingTier = 16;

    // Nothing is built once the status holds an error. The maps, the pair, the record and the
    // storage maps are borrowed.
    NonIsolatedControllers(NonIsolatedRegMaps& maps, CoolingPair* cooling, const vantrel_caps::Caps& caps,
                           StorageMaps& storageMaps, tStatus& status);
    virtual ~NonIsolatedControllers();
    NonIsolatedControllers(const NonIsolatedControllers&) = delete;
    NonIsolatedControllers& operator=(const NonIsolatedControllers&) = delete;

    // Null when not built.
    vantrel_shared::ErrorControllerInterface* getErrorController() { return errorController_; }
    PowerControllerInterface* getPowerController() { return power_; }
    CoolingModeSetting* getCoolingModeSetting() { return cooling_; }
    vantrel_shared::PowerAllocationController* getPowerAllocationController() { return powerAllocation_; }
    const IsolatedLinkRecord* getIsolatedLink() const { return isolatedLinkFilled_ ? &isolatedLink_ : nullptr; }
    vantrel_shared::MeasureFIFOOverflowStatusControllerInterface* getMeasureFIFOOverflowStatusController() {
        return overflow_;
    }

private:
    kzvorn_driver_codegen::ErrorMap* errorMap_ = nullptr;
    NisoBoardErrorMuxInputMap* inputMap_ = nullptr;
    vantrel_shared::OccurrenceErrorController* errorController_ = nullptr;
    PowerController* power_ = nullptr;
    CoolingModeSetting* cooling_ = nullptr;
    vantrel_shared::PowerAllocationController* powerAllocation_ = nullptr;
    IsolatedLinkRecord isolatedLink_;
    bool isolatedLinkFilled_ = false;
    MeasureFIFOOverflowStatusController* overflow_ = nullptr;
};

}  // namespace kzvorn_driver
