// Setup level 11: the proof that the isolated FPGA is the product's own, and every object that works
// on the isolated side: per channel a channel controller, an interrupt generator, a subroutine
// dispatcher, a measure-unit controller, an event-latch register pair, four trigger-override
// controllers and an alarm controller; for the board the error and interrupt multiplexing, the
// hardware error controller and its checkers, and the channel ganging. Its destructor is the
// level's teardown.
#pragma once

#include <cstdint>

#include "controllers/calibrationControllersInterface.h"
#include "controllers/channelAlarmController.h"
#include "controllers/channelControllers.h"
#include "controllers/interruptGeneratorController.h"
#include "controllers/measureUnitController.h"
#include "controllers/subroutineDispatcher.h"
#include "controllers/triggerOverridePolicies.h"
#include "device/hardwareErrorCheckers.h"
#include "kdut/hardwareStateChecker.h"
#include "kzhtl/sharedPtr.h"
#include "kzvorn_regMaps/TolvaneRegisterMap_TolvaneIsoChannelRegMap.h"

namespace vantrel_shared {
class ChannelGangingController;
}

namespace kzvorn_driver {

class SequenceEngineController;
class CalibrationDispatcher;

class IsolatedObjects {
public:
    using tStatus = nKZAPALS100::tStatus;
    using tChannelMap = kzvorn_regmaps::tTolvaneIsoChannelRegMap;
    static constexpr unsigned kChannelCount = 4;

    // The four software-raisable triggers in the order a channel's controllers are built.
    enum TriggerOverrideKind : unsigned { kMainMeasure, kStart, kSource, kSequenceAdvance, kTriggerOverrideKindCount };

    IsolatedObjects();
    virtual ~IsolatedObjects();
    IsolatedObjects(const IsolatedObjects&) = delete;
    IsolatedObjects& operator=(const IsolatedObjects&) = delete;

    // Each answers null for a channel above 3 or a member that was not built.
    ChannelController* getChannelController(unsigned channel) const { return at(channelControllers_, channel); }
    InterruptGeneratorController* getInterruptGenerator(unsigned channel) const {
        return at(interruptGenerators_, channel);
    }
    SubroutineDispatcher* getSubroutineDispatcher(unsigned channel) const { return at(dispatchers_, channel); }
    MeasureUnitController* getMeasureUnitController(unsigned channel) const { return at(measureUnits_, channel); }
    SequenceEngineController* getSequenceEngineController(unsigned channel) const { return nullptr; }
    tChannelMap::tChannelEventLatchStatusReg* getEventLatchStatusReg(unsigned channel) const {
        EventLatchPair* pair = at(eventLatches_, channel);
        return pair != nullptr ? &pair->status : nullptr;
    }
    tChannelMap::tChannelEventLatchClearReg* getEventLatchClearReg(unsigned channel) const {
        EventLatchPair* pair = at(eventLatches_, channel);
        return pair != nullptr ? &pair->clear : nullptr;
    }
    // Null also for a kind outside the enumeration.
    TriggerOverrideInterface* getTriggerOverrideController(TriggerOverrideKind kind, unsigned channel) const {
        return kind < kTriggerOverrideKindCount ? at(triggerOverrides_[kind], channel) : nullptr;
    }
    ChannelAlarmController* getAlarmController(unsigned channel) const { return at(alarms_, channel); }
    CalibrationControllersInterface* getCalibrationControllers() const { return nullptr; }
    CalibrationDispatcher* getCalibrationDispatcher() const { return nullptr; }
    vantrel_shared::ChannelGangingController* getChannelGangingController() const { return nullptr; }
    HardwareErrorControllerInterface* getHardwareErrorController() const { return nullptr; }
    HardwareErrorCheckers* getHardwareErrorCheckers() const { return nullptr; }

private:
    struct EventLatchPair {
        tChannelMap::tChannelEventLatchStatusReg status;
        tChannelMap::tChannelEventLatchClearReg clear;
    };

    template <class T>
    static T* at(T* const (&table)[kChannelCount], unsigned channel) {
        return channel < kChannelCount ? table[channel] : nullptr;
    }

    ChannelController* channelControllers_[kChannelCount] = {};
    InterruptGeneratorController* interruptGenerators_[kChannelCount] = {};
    SubroutineDispatcher* dispatchers_[kChannelCount] = {};
    MeasureUnitController* measureUnits_[kChannelCount] = {};
    EventLatchPair* eventLatches_[kChannelCount] = {};
    TriggerOverrideInterface* triggerOverrides_[kTriggerOverrideKindCount][kChannelCount] = {};
    ChannelAlarmController* alarms_[kChannelCount] = {};
};

}  // namespace kzvorn_driver
