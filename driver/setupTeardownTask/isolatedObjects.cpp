#include "setupTeardownTask/isolatedObjects.h"

#include "controllers/calibrationControllers.h"
#include "controllers/sequenceEngineController.h"
#include "device/errorControllerFactory.h"
#include "dispatchers/calibrationDispatcher.h"
#include "kzapal/protons/memory.h"
#include "vantrel_shared/channelGangingController.h"
#include "vantrel_shared/triggerOverrideController.h"

namespace kzvorn_driver {

using nKZAPALS100::tStatus;

namespace {

using tChannelMap = IsolatedObjects::tChannelMap;

template <template <class, class, class> class tPolicy>
using tTriggerOverride =
    vantrel_shared::TriggerOverrideController<tChannelMap, tChannelMap::tIsoChannelConfigReg,
                                              tChannelMap::tSoftwareInterruptAndOverrideReg, tPolicy>;

// Enables input 0 of its trigger's mux unless its lock cannot be made.
TriggerOverrideInterface* newTriggerOverride(IsolatedObjects::TriggerOverrideKind kind, tChannelMap& map,
                                             tStatus& status) {
    switch (kind) {
        case IsolatedObjects::kMainMeasure:
            return new (status) tTriggerOverride<MainMeasureTriggerOverrideController>(map, status);
        case IsolatedObjects::kStart:
            return new (status) tTriggerOverride<StartTriggerOverrideController>(map, status);
        case IsolatedObjects::kSource:
            return new (status) tTriggerOverride<SourceTriggerOverrideController>(map, status);
        case IsolatedObjects::kSequenceAdvance:
            return new (status) tTriggerOverride<SequenceAdvanceTriggerOverrideController>(map, status);
        case IsolatedObjects::kTriggerOverrideKindCount:
            break;
    }
    return nullptr;
}

template <class T>
void destroyChannelsLastFirst(T* (&table)[IsolatedObjects::kChannelCount]) {
    for (unsigned c = IsolatedObjects::kChannelCount; c-- > 0;) {
        delete table[c];
        table[c] = nullptr;
    }
}

}  // namespace

IsolatedObjects::IsolatedObjects(IsolatedRegMaps& isolated, tNisoFpgaRegMap& niso,
                                 vantrel_shared::ErrorControllerInterface& nisoBoard,
                                 kdut::HardwareStateCheckerComposite& checkers,
                                 const kzhtl::SharedPtr<draviktools::SubroutineRegistrarInterface>& registrar,
                                 tStatus& status)
    : checkers_(checkers) {
    // Read once here; the verifier joins the device's checkers only once the level has succeeded.
    signature_ = new (status) tSignatureVerifier(isolated.getIsoFpgaMap().IsoSignatureReg(), status);
    buildChannelObjects(isolated, niso, registrar, status);
    buildSharedObjects(nisoBoard, status);
    checkers_.add(signature_, status);
    for (ChannelAlarmController* alarm : alarms_)
        if (alarm != nullptr) alarm->armDefaultAlarmMasks(status);
}

void IsolatedObjects::buildChannelObjects(IsolatedRegMaps& isolated, tNisoFpgaRegMap& niso,
                                          const kzhtl::SharedPtr<draviktools::SubroutineRegistrarInterface>& registrar,
                                          tStatus& status) {
    if (status.isFatal()) return;
    for (unsigned c = 0; c < kChannelCount; ++c) {
        channelMaps_[c] = isolated.getChannelMap(c);
        if (channelMaps_[c] == nullptr) return void(KZ_SET_CODE(status, nKZAPALS100::kStatusResourceNotFound));
    }
    for (unsigned c = 0; c < kChannelCount; ++c)
        channelControllers_[c] = new (status) ChannelController(*channelMaps_[c]);

    errorMap_ = new (status) kzvorn_driver_codegen::ErrorMap(status);
    isoBoardInputs_ = new (status) IsoBoardErrorMuxInputMap(status);
    channelErrorInputs_ = new (status) IsoChannelErrorMuxInputMap(status);
    channelInterruptInputs_ = new (status) IsoChannelInterruptMuxInputMap(status);
    factory_ = new (status) ErrorControllerFactory(niso, isolated.getIsoFpgaMap(), channelMaps_, isoBoardInputs_,
                                                   channelErrorInputs_, channelInterruptInputs_, errorMap_);
    if (factory_ != nullptr) isoErrors_ = new (status) vantrel_shared::IsoErrorControllers(*factory_, 0xF, status);

    for (unsigned c = 0; c < kChannelCount; ++c)
        interruptGenerators_[c] = new (status) InterruptGeneratorController(*channelMaps_[c], status);
    for (unsigned c = 0; c < kChannelCount; ++c)
        if (interruptGenerators_[c] != nullptr)
            dispatchers_[c] = new (status)
                SubroutineDispatcher(registrar, *interruptGenerators_[c], checkers_, *channelMaps_[c], status);
    for (unsigned c = 0; c < kChannelCount; ++c)
        measureUnits_[c] = new (status) MeasureUnitController(uint8_t(c), niso, *channelMaps_[c], status);
    for (unsigned c = 0; c < kChannelCount; ++c)
        eventLatches_[c] = new (status) EventLatchPair{channelMaps_[c]->ChannelEventLatchStatusReg(),
                                                       channelMaps_[c]->ChannelEventLatchClearReg()};
    for (unsigned c = 0; c < kChannelCount; ++c)
        for (unsigned kind = 0; kind < kTriggerOverrideKindCount; ++kind)
            triggerOverrides_[kind][c] = newTriggerOverride(TriggerOverrideKind(kind), *channelMaps_[c], status);
    for (unsigned c = 0; c < kChannelCount; ++c)
        alarms_[c] = new (status) ChannelAlarmController(
            *channelMaps_[c], kzvorn_driver_codegen::kChannelAlarmMuxInputMap, status);

    if (dispatchersBuilt()) unganging_ = new (status) ChannelUngangingController(dispatchers_);
    if (unganging_ != nullptr)
        ganging_ = new (status) vantrel_shared::ChannelGangingController(uint8_t(kChannelCount), unganging_, status);
}

void IsolatedObjects::buildSharedObjects(vantrel_shared::ErrorControllerInterface& nisoBoard, tStatus& status) {
    if (status.isFatal()) return;
    hardwareErrors_ = kzhtl::makeShared<HardwareErrorController>(
        &nisoBoard, isoErrors_->isoBoardErrorController.get(), isoErrors_->channelErrorControllers,
        isoErrors_->channelInterruptControllers, &checkers_, status);
    if (status.isFatal()) return;
    hardwareErrorCheckers_ = kzhtl::makeShared<HardwareErrorCheckers>(hardwareErrors_.get(), status);
    if (status.isFatal()) return;
    checkers_.add(&hardwareErrorCheckers_->allChannels(), status);

    if (!sequenceEngines_.reserve(kChannelCount, status)) return;
    for (unsigned c = 0; c < kChannelCount && status.isNotFatal(); ++c) {
        kzhtl::SharedPtr<SequenceEngineController> engine = kzhtl::makeShared<SequenceEngineController>(
            *channelMaps_[c], hardwareErrorCheckers_->channel(c), *dispatchers_[c], status);
        if (status.isNotFatal()) sequenceEngines_.push_back(kzhtl::move(engine), status);
    }
    if (status.isFatal()) return;

    kdut::HardwareStateCheckerInterface* const channelCheckers[kChannelCount] = {
        &hardwareErrorCheckers_->channel(0), &hardwareErrorCheckers_->channel(1), &hardwareErrorCheckers_->channel(2),
        &hardwareErrorCheckers_->channel(3)};
    calibrationControllers_ =
        kzhtl::makeShared<CalibrationControllers>(channelMaps_, channelCheckers, dispatchers_, status);
    if (status.isFatal()) return;
    calibrationDispatcher_ = kzhtl::makeShared<CalibrationDispatcher>(calibrationControllers_, status);
}

IsolatedObjects::~IsolatedObjects() {
    tStatus dropped;
    checkers_.remove(signature_, dropped);
    if (hardwareErrorCheckers_) {
        tStatus notAdded;
        checkers_.remove(&hardwareErrorCheckers_->allChannels(), notAdded);
    }
    delete ganging_;
    ganging_ = nullptr;
    calibrationDispatcher_.reset();
    // Each disables its trigger's input 0 as it goes: channel 3's sequence advance first.
    for (unsigned c = kChannelCount; c-- > 0;)
        for (unsigned kind = kTriggerOverrideKindCount; kind-- > 0;) {
            delete triggerOverrides_[kind][c];
            triggerOverrides_[kind][c] = nullptr;
        }
    calibrationControllers_.reset();
    destroyChannelsLastFirst(measureUnits_);
    sequenceEngines_.clear();
    destroyChannelsLastFirst(dispatchers_);
    destroyChannelsLastFirst(interruptGenerators_);
    hardwareErrorCheckers_.reset();
    hardwareErrors_.reset();
    delete isoErrors_;
    delete channelInterruptInputs_;
    delete channelErrorInputs_;
    delete isoBoardInputs_;
    delete errorMap_;
    // Nothing of their own to undo.
    delete unganging_;
    destroyChannelsLastFirst(alarms_);
    destroyChannelsLastFirst(eventLatches_);
    delete factory_;
    destroyChannelsLastFirst(channelControllers_);
    delete signature_;
}

}  // namespace kzvorn_driver
