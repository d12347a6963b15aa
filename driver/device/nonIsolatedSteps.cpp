// Setup levels 5 and 6 and the disabled-error step: the non-isolated side's maps, signature and
// controllers; the power path started with the device's cooling mode; the caller's board errors
// disabled and the board's error manager enabled. With the cooling-mode requests they forward to
// level 5's setting.
#include "device/disabledErrorList.h"
#include "device/tolvaneHelper.h"
#include "kzapal/protons/memory.h"
#include "kzapal/protons/statusCodes.h"

namespace kzvorn_driver {

using nKZAPALS100::tStatus;

void TolvaneHelper::stepNonIsolatedObjects(tStatus& status) {
    // A faked level 1, 2 or 3 leaves nothing to build on.
    StorageMaps* storageMaps = pavoObjects_ != nullptr ? pavoObjects_->getStorageMaps() : nullptr;
    if (!namedAccess_.isBuilt() || storageMaps == nullptr || getCapabilities() == nullptr) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusResourceNotFound);
        return;
    }
    const NonIsolatedObjects::Inputs inputs{pavoObjects_->getMappedBAR(),
                                            pavoObjects_->getMappedBARLength(),
                                            *namedAccess_.getARMDispatcher(),
                                            *namedAccess_.getDeviceWindowDispatcher(),
                                            customNisoImage_,
                                            context_.cooling,
                                            *getCapabilities(),
                                            *storageMaps};
    nonIsolatedObjects_ = new (status) NonIsolatedObjects(checkers_, inputs, status);
}

void TolvaneHelper::teardownNonIsolatedObjects(tStatus& status) {
    delete nonIsolatedObjects_;
    nonIsolatedObjects_ = nullptr;
}

void TolvaneHelper::stepPowerController(tStatus& status) {
    NonIsolatedControllers* controllers = getNonIsolatedControllers();
    PowerControllerInterface* power = controllers != nullptr ? controllers->getPowerController() : nullptr;
    if (power == nullptr) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusResourceNotFound);
        return;
    }
    power->initialize(context_.cooling->mode, status);
    power->enableTransformer(status);
    power->enableSinkingBoard(status);
}

// Every sub-step on a status of its own, merged into the step's: a failure does not keep the later
// ones from running.
void TolvaneHelper::stepDisabledErrors(tStatus& status) {
    disabledErrorsActive_ = false;
    NonIsolatedControllers* controllers = getNonIsolatedControllers();
    vantrel_shared::ErrorControllerInterface* errors =
        controllers != nullptr ? controllers->getErrorController() : nullptr;
    if (errors == nullptr) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusResourceNotFound);
        return;
    }
    disabledErrorsActive_ = true;
    if (parameters_.disabledErrorCount != 0) {
        kzhtl::Vector<uint64_t> list;
        tStatus allocated;
        if (allocateDisabledErrorList(parameters_.disabledErrorCount, list, allocated)) {
            // An unreadable list leaves its entries 0, which name no error.
            const nKZAPAL000::tEventDescriptor noRequest{nullptr};
            tStatus copied;
            readDisabledErrorList(context_.request != nullptr ? *context_.request : noRequest,
                                  parameters_.disabledErrors, list, copied);
            nKZAPALS100::merge(status, copied);
            tStatus disabled;
            errors->disableErrors(list, disabled);
            nKZAPALS100::merge(status, disabled);
        }
        nKZAPALS100::merge(status, allocated);
    }
    tStatus enabled;
    errors->enableErrorManager(enabled);
    nKZAPALS100::merge(status, enabled);
    tStatus strobed;
    nonIsolatedObjects_->getRegMaps()->fpga.NisoFpgaConfigReg().writeBit29(1, strobed);
    nKZAPALS100::merge(status, strobed);
}

void TolvaneHelper::teardownDisabledErrors(tStatus& status) {
    if (!disabledErrorsActive_) return;
    tStatus dropped;
    nonIsolatedObjects_->getRegMaps()->fpga.NisoFpgaConfigReg().writeBit31(1, dropped);
}

CoolingModeSetting* TolvaneHelper::getCoolingModeSetting() {
    NonIsolatedControllers* controllers = getNonIsolatedControllers();
    return controllers != nullptr ? controllers->getCoolingModeSetting() : nullptr;
}

void TolvaneHelper::setCoolingMode(uint8_t mode, uint32_t requester, tStatus& status) {
    if (status.isFatal()) return;
    CoolingModeSetting* setting = getCoolingModeSetting();
    if (setting == nullptr) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusFeatureNotSupported);
        return;
    }
    setting->setCoolingMode(mode, requester, status);
}

uint32_t TolvaneHelper::getCoolingMode() {
    CoolingModeSetting* setting = getCoolingModeSetting();
    return setting != nullptr ? setting->getCoolingMode() : __atomic_load_n(&context_.cooling->mode, __ATOMIC_SEQ_CST);
}

uint32_t TolvaneHelper::getRequestedCoolingMode() {
    CoolingModeSetting* setting = getCoolingModeSetting();
    if (setting != nullptr) return setting->getRequestedCoolingMode();
    return getCapabilities() != nullptr ? getCapabilities()->requestedCoolingMode : 0;
}

}  // namespace kzvorn_driver
