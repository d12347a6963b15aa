#include "device/tolvaneHelper.h"

#include "device/dmaObjects.h"
#include "fendrelSharedSource/statusCodes.h"
#include "quolinTools/dma/statusCodes.h"
#include "device/statusCodes.h"
#include "device/tolvaneDevice.h"
#include "kzapal/protons/memory.h"
#include "kzapalcodegen/pciIdentifiers.h"
#include "kzapal/protons/statusCodes.h"
#include "kzapal/protons/userMemory.h"
#include "kzsdbg/kzsdbg.h"

namespace kzvorn_driver {

using nKZAPALS100::tStatus;

namespace {

// Below the debug print's default threshold: the steps show only when it is lowered.
constexpr int32_t kBringUpTraceLevel = 0x100;

bool narrow(uint64_t value, uint32_t& narrowed, tStatus& status) {
    narrowed = static_cast<uint32_t>(value);
    if (value == narrowed) return true;
    narrowed = 0;
    KZ_SET_CODE(status, nKZAPALS100::kStatusValueConflict);
    return false;
}

}  // namespace

#define KZ_STEP_FUNCTION(identifier, level, name, function, teardown, rule) &TolvaneHelper::function,
const TolvaneHelper::tStep TolvaneHelper::kBringUpFunctions[kBringUpStepCount] = {
    KZ_BRING_UP_STEPS(KZ_STEP_FUNCTION)};
#undef KZ_STEP_FUNCTION

#define KZ_TEARDOWN_FUNCTION(identifier, name, function, rule) &TolvaneHelper::function,
const TolvaneHelper::tStep TolvaneHelper::kTeardownFunctions[kTeardownStepCount] = {
    KZ_TEARDOWN_STEPS(KZ_TEARDOWN_FUNCTION)};
#undef KZ_TEARDOWN_FUNCTION

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
    for (const BringUpStepRow& row : kBringUpSteps) runBringUpStep(row);
    // A failure, unlike a stop at the target, undoes the steps that ran whatever the status held;
    // everything else built stays until the teardown.
    if (tracker_.status.isNotFatal() || tracker_.status.code == nKZAPALS100::kStatusSetupStoppedAtLevel) return;
    for (const BringUpStepRow& row : kBringUpSteps) {
        if (row.rule.kind != BringUpRule::kWhateverTheStatus) continue;
        tStatus dropped;
        (this->*kTeardownFunctions[row.teardown])(dropped);
    }
}

TolvaneHelper::~TolvaneHelper() {
    tStatus forLater;
    for (const TeardownStepRow& row : kTeardownSteps) {
        tStatus dropped;
        switch (row.rule) {
            case kTeardownOnOwnStatus:
                runTeardownStep(row, dropped);
                break;
            case kTeardownReportsForLater:
                runTeardownStep(row, forLater);
                break;
            case kTeardownAfterCleanRun:
                if (forLater.isSuccess() && tracker_.status.isSuccess()) runTeardownStep(row, forLater);
                break;
        }
    }
}

void TolvaneHelper::runBringUpStep(const BringUpStepRow& row) {
    tStatus& status = tracker_.status;
    const bool whateverTheStatus = row.rule.kind == BringUpRule::kWhateverTheStatus;
    const bool works = whateverTheStatus ? tracker_.reached >= row.rule.from : status.isNotFatal();
    if (works) {
        if (context_.plan != nullptr && context_.plan->observer != nullptr)
            context_.plan->observer->onBringUpStep(row.step);
        tStatus own;
        tStatus& stepStatus = whateverTheStatus ? own : status;
        const BringUpPlan::Step fake =
            context_.plan != nullptr ? context_.plan->step(row.step) : BringUpPlan::Step{BringUpPlan::kReal, 0};
        if (fake.kind == BringUpPlan::kReal) {
            (this->*kBringUpFunctions[row.step])(stepStatus);
        } else if (fake.kind == BringUpPlan::kFail) {
            KZ_SET_CODE(stepStatus, fake.code);
        }
        if (whateverTheStatus) nKZAPALS100::merge(status, own);
        kzsdbg_printLevel(kBringUpTraceLevel, "bring-up: %s: %lld\n", row.name,
                          static_cast<long long>(stepStatus.code));
    }
    if (row.level != kNoLevel) tracker_.completeStep(row.level);
}

void TolvaneHelper::runTeardownStep(const TeardownStepRow& row, tStatus& status) {
    if (context_.plan != nullptr && context_.plan->observer != nullptr) context_.plan->observer->onTeardownStep(row.step);
    (this->*kTeardownFunctions[row.step])(status);
    kzsdbg_printLevel(kBringUpTraceLevel, "teardown: %s: %lld\n", row.name, static_cast<long long>(status.code));
}

void TolvaneHelper::checkSubsystemId(uint32_t subsystemId, tStatus& status) {
    if (status.isNotFatal() && subsystemId != kPCISubsystemID) KZ_SET_CODE(status, kStatusWrongProduct);
}

void TolvaneHelper::stepRegistries(tStatus& status) { namedAccess_.build(status); }

void TolvaneHelper::stepCapabilities(tStatus& status) {
    const uint32_t subsystemId = context_.device->getPCIDescription().subsystemId;
    checkSubsystemId(subsystemId, status);
    capsTask_.select(subsystemId, status);
}

void TolvaneHelper::stepPavoObjects(tStatus& status) {
    // A faked level 1 leaves no registries to register in.
    if (!namedAccess_.isBuilt() || context_.device == nullptr) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusResourceNotFound);
        return;
    }
    const PavoObjects::Registries registries{*namedAccess_.getARMDispatcher(), *namedAccess_.getDeviceWindowDispatcher(),
                                             *namedAccess_.getStorageMapDispatcher()};
    pavoObjects_ = new (status) PavoObjects(*context_.device, checkers_, registries, status);
}

uint32_t TolvaneHelper::getBoardSerialNumber(tStatus& status) {
    StorageMaps* maps = pavoObjects_ != nullptr ? pavoObjects_->getStorageMaps() : nullptr;
    if (status.isFatal() || maps == nullptr) return 0;
    kzvorn_storagemaps::ManufacturingStorageMap& manufacturing = maps->maps.manufacturing;
    // One consistent record: a concurrent writer cannot change it between the checks and the read.
    storagemap::StorageMapCommon::Guard guard(manufacturing, status);
    if (!manufacturing.isChecksumValid(status)) {
        KZ_SET_CODE(status, kStatusStorageMapChecksumInvalid);
        return 0;
    }
    if (!isManufacturingVersionSupported(*maps, status)) {
        KZ_SET_CODE(status, kStatusStorageMapVersionUnsupported);
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

void TolvaneHelper::getHardwareErrors(const nKZAPAL000::tEventDescriptor& request, uint64_t address, uint32_t size,
                                      tStatus& status) {
    if (status.isFatal()) return;
    if (address == 0 || size != vantrel_shared::TolvaneHardwareErrors::kSize) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusBadParameter);
        return;
    }
    HardwareErrorControllerInterface* controller = getHardwareErrorController();
    if (controller == nullptr) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusFeatureNotSupported);
        return;
    }
    const vantrel_shared::TolvaneHardwareErrors record = controller->getErrors(status);
    if (status.isFatal()) return;
    nKZAPAL000::tUserBuffer(request, address, size, status).writeToBuffer(0, record.bytes, size, status);
}

fendreldma::DMADispatcher* TolvaneHelper::getDMADispatcher() const {
    return dmaObjects_ != nullptr ? dmaObjects_->getDispatcher() : nullptr;
}

quolintools::QuolinDMAInterruptController* TolvaneHelper::dmaWaits() const {
    QuolinDMAControllers* controllers = dmaObjects_ != nullptr ? dmaObjects_->getControllers() : nullptr;
    return controllers != nullptr ? controllers->getDMAInterruptController() : nullptr;
}

bool TolvaneHelper::waitUntilBytesTransferred(uint32_t stream, uint64_t start, uint64_t count, uint32_t timeout,
                                              bool* timedOut, tStatus& status) {
    if (status.isFatal()) return false;
    quolintools::QuolinDMAInterruptController* waits = dmaWaits();
    if (waits == nullptr) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusFeatureNotSupported);
        return false;
    }
    waits->waitUntilBytesTransferred(*dmaObjects_->getControllers()->getDMAStreamController(stream), stream, start, count,
                                     timeout, *timedOut, status);
    return true;
}

void TolvaneHelper::cancelWaitUntilBytesTransferred(uint32_t stream) {
    if (quolintools::QuolinDMAInterruptController* waits = dmaWaits())
        waits->signal(stream, int32_t(quolintools::kStatusWaitCancelled));
}

void TolvaneHelper::cancelAllDMAWaits() {
    if (quolintools::QuolinDMAInterruptController* waits = dmaWaits())
        waits->signalAll(int32_t(fendrelsharedsource::kStatusSessionInvalidated));
}

void TolvaneHelper::resumeDMAWaits() {
    if (quolintools::QuolinDMAInterruptController* waits = dmaWaits()) waits->resumeWaits();
}

void TolvaneHelper::stepDMAObjects(tStatus& status) {
    // Faked levels 3, 5 or 8 leave no maps to build the streams over.
    PavoRegMaps* bridge = pavoObjects_ != nullptr ? pavoObjects_->getRegMaps() : nullptr;
    NonIsolatedRegMaps* niso = nonIsolatedObjects_ != nullptr ? nonIsolatedObjects_->getRegMaps() : nullptr;
    if (bridge == nullptr || niso == nullptr || isolatedRegMaps_ == nullptr || context_.device == nullptr)
        return void(KZ_SET_CODE(status, nKZAPALS100::kStatusResourceNotFound));
    kzvorn_regmaps::tTolvaneIsoChannelRegMap* channels[QuolinDMAControllers::kChannelCount] = {};
    for (unsigned c = 0; c < QuolinDMAControllers::kChannelCount; ++c) channels[c] = isolatedRegMaps_->getChannelMap(c);
    dmaObjects_ = new (status) DMAObjects(*context_.device, *bridge, *niso, channels, status);
}

void TolvaneHelper::teardownDMAObjects(tStatus& status) {
    delete dmaObjects_;
    dmaObjects_ = nullptr;
}

void TolvaneHelper::teardownPavoObjects(tStatus& status) {
    delete pavoObjects_;
    pavoObjects_ = nullptr;
}

void TolvaneHelper::teardownWindowRegistries(tStatus& status) { namedAccess_.destroyWindowRegistries(); }

void TolvaneHelper::teardownRegisterMapRegistry(tStatus& status) { namedAccess_.destroyRegisterMapRegistry(); }

}  // namespace kzvorn_driver
