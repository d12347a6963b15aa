#include "device/tolvaneHelper.h"

#include "device/tolvaneDevice.h"
#include "kzapal/protons/memory.h"
#include "kzapalcodegen/pciIdentifiers.h"
#include "kzapal/protons/statusCodes.h"

namespace kzvorn_driver {

using nKZAPALS100::tStatus;
using kzvorn_shared::SetupLevel;

namespace {

constexpr SetupLevel::type kDisabledErrorsMinimumLevel = 5;

bool narrow(uint64_t value, uint32_t& narrowed, tStatus& status) {
    narrowed = static_cast<uint32_t>(value);
    if (value == narrowed) return true;
    narrowed = 0;
    KZ_SET_CODE(status, nKZAPALS100::kStatusValueConflict);
    return false;
}

}  // namespace

const TolvaneHelper::tStep TolvaneHelper::kBringUpSteps[kBringUpStepCount] = {
    &TolvaneHelper::stepRegistries,
    &TolvaneHelper::stepCapabilities,
    &TolvaneHelper::stepPavoObjects,
    &TolvaneHelper::stepNisoFirmware,
    &TolvaneHelper::stepNotBuilt,  // non-isolated objects
    &TolvaneHelper::stepNotBuilt,  // power controller
    &TolvaneHelper::stepNotBuilt,  // isolated image
    &TolvaneHelper::stepNotBuilt,  // disabled errors
    &TolvaneHelper::stepNotBuilt,  // isolated register maps
    &TolvaneHelper::stepNotBuilt,  // isolated control bit
    &TolvaneHelper::stepNotBuilt,  // local RAM
    &TolvaneHelper::stepNotBuilt,  // isolated objects
    &TolvaneHelper::stepNotBuilt,  // external PLL
    &TolvaneHelper::stepNotBuilt,  // start-up subroutine
    &TolvaneHelper::stepNotBuilt,  // DMA objects
    &TolvaneHelper::stepNotBuilt,  // channel calibration
    &TolvaneHelper::stepNotBuilt,  // modulator time base
    &TolvaneHelper::stepNotBuilt,  // routing objects
    &TolvaneHelper::stepNotBuilt,  // interrupt vectors
    &TolvaneHelper::stepNotBuilt,  // channel start subroutines
    &TolvaneHelper::stepNotBuilt,  // sequencer data RAM
    &TolvaneHelper::stepNotBuilt,  // isolated disabled errors
    &TolvaneHelper::stepNotBuilt,  // final subroutine
    &TolvaneHelper::stepNotBuilt,  // charge-balance offsets
};

const TolvaneHelper::tStep TolvaneHelper::kTeardownSteps[kTeardownStepCount] = {
    &TolvaneHelper::teardownSessionCleanup,
    &TolvaneHelper::teardownShutdownSequencers,
    &TolvaneHelper::teardownNothingBuilt,  // routing objects
    &TolvaneHelper::teardownNothingBuilt,  // calibration loaders
    &TolvaneHelper::teardownNothingBuilt,  // DMA objects
    &TolvaneHelper::teardownNothingBuilt,  // temperature sensor
    &TolvaneHelper::teardownNothingBuilt,  // isolated objects
    &TolvaneHelper::teardownNothingBuilt,  // local RAM
    &TolvaneHelper::teardownNothingBuilt,  // isolated register maps
    &TolvaneHelper::teardownDisabledErrors,
    &TolvaneHelper::teardownNothingBuilt,  // non-isolated objects
    &TolvaneHelper::teardownPavoObjects,
    &TolvaneHelper::teardownWindowRegistries,
    &TolvaneHelper::teardownRegisterMapRegistry,
    &TolvaneHelper::teardownNothingBuilt,  // the composites are members, destroyed after the body
};

TolvaneHelper* TolvaneHelper::create(const Context& context,
                                     const kzvorn_driver_codegen::CustomResetParameters* record,
                                     tStatus& status, SetupTracker& tracker) {
    if (status.isFatal()) return nullptr;
    const kzvorn_driver_codegen::CustomResetParameters none = {};
    const kzvorn_driver_codegen::CustomResetParameters& source = record != nullptr ? *record : none;
    TolvaneHelperParameters parameters = {source.nisoFpgaImage, source.nisoFpgaImageSize, source.isoFpgaImage,
                                          source.isoFpgaImageSize, source.subroutineWords, 0,
                                          source.subroutineIds, source.subroutineStartAddresses, 0,
                                          source.disabledErrors, source.disabledErrorCount};
    narrow(source.subroutineWordCount, parameters.subroutineWordCount, status);
    narrow(source.subroutineCount, parameters.subroutineCount, status);
    return new (status) TolvaneHelper(context, parameters, tracker);
}

TolvaneHelper::TolvaneHelper(const Context& context, const TolvaneHelperParameters& parameters,
                             SetupTracker& tracker)
    : tracker_(tracker),
      context_(context),
      parameters_(parameters),
      cleanupOperations_(4, tracker.status) {
    for (uint32_t step = 0; step < kBringUpStepCount; ++step) runBringUpStep(static_cast<BringUpStep>(step));
    // A failure undoes only the disabled-error step; everything built stays until the teardown.
    if (tracker_.status.isFatal() && tracker_.status.code != nKZAPALS100::kStatusSetupStoppedAtLevel) {
        tStatus dropped;
        teardownDisabledErrors(dropped);
    }
}

TolvaneHelper::~TolvaneHelper() {
    tStatus sessions;
    for (uint32_t step = 0; step < kTeardownStepCount; ++step) {
        const TeardownStep teardown = static_cast<TeardownStep>(step);
        if (teardown == kTeardownSessionCleanup) {
            runTeardownStep(teardown, sessions);
        } else if (teardown == kTeardownShutdownSequencers) {
            // Only after a complete bring-up whose sessions cleaned up without an error.
            if (sessions.isSuccess() && tracker_.status.isSuccess()) runTeardownStep(teardown, sessions);
        } else {
            tStatus dropped;
            runTeardownStep(teardown, dropped);
        }
    }
}

void TolvaneHelper::runBringUpStep(BringUpStep step) {
    const SetupLevel::type level = kBringUpStepLevel[step];
    tStatus& status = tracker_.status;
    // The disabled-error step runs whenever the non-isolated board is up, even after a failure or
    // a stop at the target, and merges what it finds; every other step only on a good status.
    const bool disabledErrors = step == kStepDisabledErrors;
    const bool works = disabledErrors ? tracker_.reached >= kDisabledErrorsMinimumLevel : status.isNotFatal();
    if (works) {
        if (context_.plan != nullptr && context_.plan->observer != nullptr) context_.plan->observer->onBringUpStep(step);
        tStatus own;
        tStatus& stepStatus = disabledErrors ? own : status;
        const BringUpPlan::Step fake =
            context_.plan != nullptr ? context_.plan->step(step) : BringUpPlan::Step{BringUpPlan::kReal, 0};
        if (fake.kind == BringUpPlan::kReal) {
            const tStep run = kBringUpSteps[step];
            (this->*run)(stepStatus);
        } else if (fake.kind == BringUpPlan::kFail) {
            KZ_SET_CODE(stepStatus, fake.code);
        }
        if (disabledErrors) nKZAPALS100::merge(status, own);
    }
    if (level != SetupLevel::kNone) tracker_.completeStep(level);
}

void TolvaneHelper::runTeardownStep(TeardownStep step, tStatus& status) {
    if (context_.plan != nullptr && context_.plan->observer != nullptr) context_.plan->observer->onTeardownStep(step);
    const tStep run = kTeardownSteps[step];
    (this->*run)(status);
}

void TolvaneHelper::stepNotBuilt(tStatus& status) { KZ_SET_CODE(status, nKZAPALS100::kStatusFeatureNotSupported); }

void TolvaneHelper::checkSubsystemId(uint32_t subsystemId, tStatus& status) {
    if (status.isNotFatal() && subsystemId != kPCISubsystemID) KZ_SET_CODE(status, KZ_DEVICE_CODE(0xBFFA4304));
}

void TolvaneHelper::stepRegistries(tStatus& status) {
    registerMaps_ = new (status) armki::ARMDispatcher();
    deviceWindows_ = new (status) devicewindow::DeviceWindowDispatcher();
    storageMaps_ = new (status) storagemap::StorageMapDispatcher();
}

void TolvaneHelper::stepCapabilities(tStatus& status) {
    const uint32_t subsystemId = context_.device->getPCIDescription().subsystemId;
    checkSubsystemId(subsystemId, status);
    if (status.isFatal()) return;
    const vantrel_caps::CapsDefinitions& table = vantrel_caps::getCapsDefinitions();
    const vantrel_caps::Caps* record = table.find(subsystemId);
    if (record == table.end()) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusResourceNotFound);
        return;
    }
    capabilities_ = record;
}

void TolvaneHelper::stepPavoObjects(tStatus& status) {
    // A faked level 1 leaves no registries to register in.
    if (registerMaps_ == nullptr || deviceWindows_ == nullptr || storageMaps_ == nullptr || context_.device == nullptr) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusResourceNotFound);
        return;
    }
    pavoObjects_ = new (status)
        PavoObjects(*context_.device, checkers_, PavoObjects::Registries{*registerMaps_, *deviceWindows_, *storageMaps_},
                    status);
}

uint32_t TolvaneHelper::getBoardSerialNumber(tStatus& status) {
    StorageMaps* maps = pavoObjects_ != nullptr ? pavoObjects_->getStorageMaps() : nullptr;
    if (status.isFatal() || maps == nullptr) return 0;
    kzvorn_storagemaps::ManufacturingStorageMap& manufacturing = maps->maps.manufacturing;
    // One consistent record: a concurrent writer cannot change it between the checks and the read.
    storagemap::StorageMapCommon::Guard guard(manufacturing, status);
    if (!manufacturing.isChecksumValid(status)) {
        KZ_SET_CODE(status, KZ_DEVICE_CODE(StorageMapChecksumChecker::kChecksumInvalid));
        return 0;
    }
    if (!isManufacturingVersionSupported(*maps, status)) {
        KZ_SET_CODE(status, KZ_DEVICE_CODE(StorageMapVersionChecker::kUnsupportedVersion));
        return 0;
    }
    return manufacturing.getBoardSerialNumber(status);
}

bool TolvaneHelper::areStorageMapChecksumsValid(tStatus& status) {
    StorageMapChecksumChecker* checker = pavoObjects_ != nullptr ? pavoObjects_->getChecksumChecker() : nullptr;
    return checker != nullptr && checker->areChecksumsValid(status);
}

bool TolvaneHelper::areStorageMapVersionsValid(tStatus& status) {
    StorageMapVersionChecker* checker = pavoObjects_ != nullptr ? pavoObjects_->getVersionChecker() : nullptr;
    return checker != nullptr && checker->areVersionsSupported(status);
}

void TolvaneHelper::teardownSessionCleanup(tStatus& status) { cleanupOperations_.cleanup(status); }

void TolvaneHelper::checkHardwareState(uint64_t argument, tStatus& status) {
    if (status.isFatal()) return;
    if (argument != 0) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusBadParameter);
        return;
    }
    checkers_.checkHardwareState(status);
}

void TolvaneHelper::setCoolingMode(uint32_t mode, uint32_t requester, tStatus& status) {
    if (status.isFatal()) return;
    KZ_SET_CODE(status, nKZAPALS100::kStatusFeatureNotSupported);
}

void TolvaneHelper::teardownShutdownSequencers(tStatus& status) {}

void TolvaneHelper::teardownDisabledErrors(tStatus& status) { disabledErrorsActive_ = false; }

void TolvaneHelper::teardownPavoObjects(tStatus& status) {
    delete pavoObjects_;
    pavoObjects_ = nullptr;
}

// Each registry removes the names still registered.
void TolvaneHelper::teardownWindowRegistries(tStatus& status) {
    delete storageMaps_;
    storageMaps_ = nullptr;
    delete deviceWindows_;
    deviceWindows_ = nullptr;
}

void TolvaneHelper::teardownRegisterMapRegistry(tStatus& status) {
    delete registerMaps_;
    registerMaps_ = nullptr;
}

}  // namespace kzvorn_driver
