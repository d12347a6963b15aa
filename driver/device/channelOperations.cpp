// The helper's side of the channel requests: it picks the level-11 object of the channel (or the
// board-wide one), forwards, and keeps the session's cleanup set in step with what the session
// leaves running. The requests have checked their channel arguments and reservations before; every
// index here is still bounded, so no channel or mask reaches past the board's four channels.
#include "controllers/fifoControllers.h"
#include "controllers/sequenceEngineController.h"
#include "device/helperObjects.h"
#include "device/nonIsolatedControllers.h"
#include "device/statusCodes.h"
#include "device/tolvaneHelper.h"
#include "kzapal/protons/statusCodes.h"
#include "kzapal/protons/userMemory.h"
#include "kzvorn_driver_codegen/eventLatchVectorMap.h"
#include "kzvorn_shared/channelBitmask.h"
#include "vantrel_shared/channelGangingController.h"

namespace kzvorn_driver {

using nKZAPALS100::tStatus;
using kzvorn_shared::PhysicalChannelBitmask;

namespace {

// The sequencer line whose subroutine handles a channel's error interrupt, and how long clearing
// the channel's errors waits for it.
constexpr uint32_t kErrorHandlingLine = 1;
constexpr uint32_t kErrorHandlingWaitUs = 15000;

vantrel_shared::ChannelGangingController* gangingOf(const IsolatedObjects* objects, tStatus& status) {
    return boardObject(objects != nullptr ? objects->getChannelGangingController() : nullptr, status);
}

// Both mask checks, then the engine of the lowest channel: the one a sequence-engine request
// acts on.
SequenceEngineController* engineOf(const IsolatedObjects* objects, PhysicalChannelBitmask mask, tStatus& status) {
    if (status.isFatal()) return nullptr;
    kzvorn_shared::checkInvalidBitsNotSet(mask, status);
    kzvorn_shared::checkBitmaskNotEmpty(mask, status);
    return channelObject(objects, &IsolatedObjects::getSequenceEngineController,
                         kzvorn_shared::lowestChannelIndex(mask), status);
}

// The level-11 kind of the request's trigger id; false for an id that names no trigger.
bool triggerKind(uint32_t trigger, IsolatedObjects::TriggerOverrideKind& kind) {
    for (unsigned k = 0; k < sizeof(kTriggerOverrideTraits) / sizeof(kTriggerOverrideTraits[0]); ++k) {
        if (kTriggerOverrideTraits[k].requestTriggerId != trigger) continue;
        switch (static_cast<TriggerOverrideKind>(k)) {
            case kStartTriggerOverride: kind = IsolatedObjects::kStart; return true;
            case kSourceTriggerOverride: kind = IsolatedObjects::kSource; return true;
            case kMainMeasureTriggerOverride: kind = IsolatedObjects::kMainMeasure; return true;
            case kSequenceAdvanceTriggerOverride: kind = IsolatedObjects::kSequenceAdvance; return true;
        }
    }
    return false;
}

// The event's bit in the latch register, or 0xBFFA4300.
uint32_t latchMask(uint16_t event, tStatus& status) {
    uint32_t mask = 0;
    if (status.isNotFatal() && !kzvorn_driver_codegen::eventLatchMask(event, mask))
        KZ_SET_CODE(status, kStatusArgumentOutOfRange);
    return mask;
}

bool hasChannel(PhysicalChannelBitmask mask, unsigned channel) {
    return (mask & kzvorn_shared::channelIndexToBitmask(uint8_t(channel))) != 0;
}

}  // namespace

void TolvaneHelper::armMeasureUnit(kdut::CleanupOperationComposite& session, uint8_t channel, tStatus& status) {
    if (auto* unit = channelObject(isolatedObjects_, &IsolatedObjects::getMeasureUnitController, channel, status)) {
        unit->arm(status);
        session.add(unit->getCleanupOperation(), status);
    }
}

void TolvaneHelper::resetMeasureUnit(kdut::CleanupOperationComposite& session, uint8_t channel, tStatus& status) {
    if (auto* unit = channelObject(isolatedObjects_, &IsolatedObjects::getMeasureUnitController, channel, status)) {
        unit->reset(status);
        session.remove(unit->getCleanupOperation(), status);
    }
}

void TolvaneHelper::startSequenceEngine(kdut::CleanupOperationComposite& session, uint64_t mask, uint32_t count,
                                        tStatus& status) {
    if (SequenceEngineController* engine = engineOf(isolatedObjects_, mask, status)) {
        engine->start(count, status);
        session.add(engine->getCleanupOperation(), status);
    }
}

void TolvaneHelper::resetSequenceEngine(kdut::CleanupOperationComposite& session, uint64_t mask, tStatus& status) {
    if (SequenceEngineController* engine = engineOf(isolatedObjects_, mask, status)) {
        engine->reset(status);
        session.remove(engine->getCleanupOperation(), status);
    }
}

bool TolvaneHelper::isSequenceEngineRunning(uint64_t mask, tStatus& status) {
    SequenceEngineController* engine = engineOf(isolatedObjects_, mask, status);
    return engine != nullptr && engine->isRunning(status);
}

void TolvaneHelper::reserveChannelsForGanging(kdut::CleanupOperationComposite& session, uint8_t start, uint8_t count,
                                              tStatus& status) {
    if (vantrel_shared::ChannelGangingController* ganging = gangingOf(isolatedObjects_, status)) {
        ganging->reserveChannelsForGanging(start, count, status);
        session.add(ganging->getCleanupOperation(start), status);
    }
}

void TolvaneHelper::unreserveChannelsForGanging(kdut::CleanupOperationComposite& session, uint8_t channel,
                                                tStatus& status) {
    if (vantrel_shared::ChannelGangingController* ganging = gangingOf(isolatedObjects_, status)) {
        ganging->unreserveChannelsForGanging(channel, status);
        session.remove(ganging->getCleanupOperation(channel), status);
    }
}

uint32_t TolvaneHelper::getMergeCount(uint8_t channel, tStatus& status) {
    vantrel_shared::ChannelGangingController* ganging = gangingOf(isolatedObjects_, status);
    return ganging != nullptr ? ganging->getMergeCount(channel, status) : 0;
}

bool TolvaneHelper::isCurrentChannelGangingMaster(uint8_t channel, tStatus& status) {
    vantrel_shared::ChannelGangingController* ganging = gangingOf(isolatedObjects_, status);
    return ganging != nullptr && ganging->isCurrentChannelGangingMaster(channel, status);
}

bool TolvaneHelper::isCurrentChannelGangingReserved(uint8_t channel, tStatus& status) {
    vantrel_shared::ChannelGangingController* ganging = gangingOf(isolatedObjects_, status);
    return ganging != nullptr && ganging->isCurrentChannelGangingReserved(channel, status);
}

bool TolvaneHelper::checkEventLatch(uint64_t mask, uint16_t event, tStatus& status) {
    if (status.isFatal()) return false;
    for (unsigned c = 0; c < 64; ++c) {
        if (!hasChannel(mask, c)) continue;
        if (status.isFatal()) return false;
        const uint32_t latch = latchMask(event, status);
        auto* reg = channelObject(isolatedObjects_, &IsolatedObjects::getEventLatchStatusReg, c, status);
        if (reg == nullptr) return false;
        // A failed read compares the shadow; the request reports the read's status with it.
        if ((reg->readRegister(status) & latch) != latch) return false;
    }
    return true;
}

void TolvaneHelper::clearEventLatch(uint64_t mask, uint16_t event, tStatus& status) {
    for (unsigned c = 0; c < 64 && status.isNotFatal(); ++c) {
        if (!hasChannel(mask, c)) continue;
        const uint32_t latch = latchMask(event, status);
        auto* reg = channelObject(isolatedObjects_, &IsolatedObjects::getEventLatchClearReg, c, status);
        if (reg != nullptr) reg->writeRegister(latch, status);
    }
}

void TolvaneHelper::clearAllEventLatches(uint64_t mask, tStatus& status) {
    for (unsigned c = 0; c < 64 && status.isNotFatal(); ++c) {
        if (!hasChannel(mask, c)) continue;
        auto* reg = channelObject(isolatedObjects_, &IsolatedObjects::getEventLatchClearReg, c, status);
        if (reg != nullptr) reg->writeRegister(0xFFFFFFFF, status);
    }
}

// An empty mask passes the request's reservation check and selects channel 0.
bool TolvaneHelper::overrideTrigger(uint64_t mask, uint32_t trigger, tStatus& status) {
    if (status.isFatal()) return false;
    const uint8_t channel = kzvorn_shared::highestChannelIndex(mask);
    IsolatedObjects::TriggerOverrideKind kind = IsolatedObjects::kStart;
    if (!triggerKind(trigger, kind)) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusFeatureNotSupported);
        return false;
    }
    TriggerOverrideInterface* controller = channelObject(
        isolatedObjects_ != nullptr ? isolatedObjects_->getTriggerOverrideController(kind, channel) : nullptr, channel,
        status);
    return controller != nullptr && controller->overrideTrigger(status);
}

void TolvaneHelper::checkBoardAndChannelBasedHardwareErrors(uint64_t mask, tStatus& status) {
    if (HardwareErrorControllerInterface* controller = boardObject(getHardwareErrorController(), status))
        controller->checkErrorState(mask, status);
}

void TolvaneHelper::clearChannelBasedHardwareErrors(uint64_t mask, tStatus& status) {
    HardwareErrorControllerInterface* controller = boardObject(getHardwareErrorController(), status);
    if (controller == nullptr) return;
    for (unsigned c = 0; c < 64 && status.isNotFatal(); ++c) {
        if (!hasChannel(mask, c)) continue;
        const PhysicalChannelBitmask channelMask = kzvorn_shared::channelIndexToBitmask(uint8_t(c));
        if (!controller->hasErrorOccurred(channelMask, status)) continue;
        SubroutineDispatcher* dispatcher = channelObject(getSubroutineDispatcher(uint8_t(c)), c, status);
        if (dispatcher == nullptr) return;
        dispatcher->wait(kErrorHandlingLine, kErrorHandlingWaitUs, int32_t(kStatusErrorHandlingTimedOut), status);
        controller->clearChannelErrors(channelMask, status);
    }
}

void TolvaneHelper::checkMeasureFIFOOverflowStatus(uint64_t mask, tStatus& status) {
    NonIsolatedControllers* controllers = getNonIsolatedControllers();
    if (auto* overflow =
            boardObject(controllers != nullptr ? controllers->getMeasureFIFOOverflowStatusController() : nullptr, status))
        overflow->checkOverflow(mask, status);
}

uint32_t TolvaneHelper::getNumSubroutines(tStatus& status) {
    const kzhtl::SharedPtr<draviktools::SubroutineRegistrarInterface>* registrar = getSubroutineRegistrar();
    if (boardObject(registrar, status) == nullptr) return 0;
    return (*registrar)->getNumSubroutines(status);
}

void TolvaneHelper::getSubroutines(const nKZAPAL000::tEventDescriptor& request, uint64_t ids, uint64_t startAddresses,
                                   uint32_t count, tStatus& status) {
    if (status.isFatal()) return;
    if (ids == 0 || startAddresses == 0) {
        KZ_SET_CODE(status, kStatusSubroutineArrayMissing);
        return;
    }
    const kzhtl::SharedPtr<draviktools::SubroutineRegistrarInterface>* registrar = getSubroutineRegistrar();
    if (boardObject(registrar, status) == nullptr) return;
    const uint32_t registered = (*registrar)->getNumSubroutines(status);
    if (status.isFatal()) return;
    if (registered != count) {
        KZ_SET_CODE(status, kStatusSubroutineCountMismatch);
        return;
    }
    kzhtl::Vector<draviktools::SubroutineId> idList;
    kzhtl::Vector<uint32_t> startList;
    (*registrar)->getSubroutines(idList, startList, status);
    if (status.isFatal()) return;
    // In 64 bits: four bytes an entry overflow 32 bits from 2^30 entries on. One copy moves at
    // most 32 bits' worth, so a listing that large is refused rather than cut short.
    const uint64_t bytes = uint64_t{count} * sizeof(uint32_t);
    if (bytes > UINT32_MAX || idList.size() != count || startList.size() != count) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusBadParameter);
        return;
    }
    nKZAPAL000::tUserBuffer(request, ids, bytes, status).writeToBuffer(0, idList.data(), uint32_t(bytes), status);
    nKZAPAL000::tUserBuffer(request, startAddresses, bytes, status)
        .writeToBuffer(0, startList.data(), uint32_t(bytes), status);
}

}  // namespace kzvorn_driver
