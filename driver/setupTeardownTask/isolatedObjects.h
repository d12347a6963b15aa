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
#include "device/isolatedRegMaps.h"
#include "dravikTools/subroutineRegistrar.h"
#include "fpga/firmware/fpgaSignatures.h"
#include "kdut/hardwareStateChecker.h"
#include "kdut/simpleRegisterVerifier.h"
#include "kzhtl/sharedPtr.h"
#include "kzhtl/vector.h"
#include "kzvorn_driver_codegen/errorMaps.h"
#include "kzvorn_regMaps/TolvaneRegisterMap_TolvaneIsoChannelRegMap.h"
#include "vantrel_shared/isoErrorControllers.h"

namespace vantrel_shared {
class ChannelGangingController;
}

namespace kzvorn_driver {

class SequenceEngineController;
class CalibrationDispatcher;
class ErrorControllerFactory;

constexpr int64_t kStatusIsoSignatureMismatch = KZ_DEVICE_CODE(0xBFFA467D);

class IsolatedObjects {
public:
    using tStatus = nKZAPALS100::tStatus;
    using tChannelMap = kzvorn_regmaps::tTolvaneIsoChannelRegMap;
    using tSignatureVerifier =
        kdut::SimpleSignatureVerifierTemplate<kzvorn_regmaps::tTolvaneIsoFpgaRegMap::tIsoSignatureReg,
                                              kIsoFpgaSignature, static_cast<uint32_t>(kStatusIsoSignatureMismatch)>;
    static constexpr unsigned kChannelCount = 4;
    static_assert(kChannelCount == kSequencerChannelCount, "one sequencer per channel");

    // The four software-raisable triggers in the order a channel's controllers are built.
    enum TriggerOverrideKind : unsigned { kMainMeasure, kStart, kSource, kSequenceAdvance, kTriggerOverrideKindCount };

    // Everything is borrowed but the registrar, of which each dispatcher keeps a reference. Nothing
    // is made once the status holds an error: an error before the hardware error controller leaves
    // the later members empty and adds no checker; what was made stays until the destructor.
    IsolatedObjects(IsolatedRegMaps& isolated, tNisoFpgaRegMap& niso,
                    vantrel_shared::ErrorControllerInterface& nisoBoard, kdut::HardwareStateCheckerComposite& checkers,
                    const kzhtl::SharedPtr<draviktools::SubroutineRegistrarInterface>& registrar, tStatus& status);
    virtual ~IsolatedObjects();
    IsolatedObjects(const IsolatedObjects&) = delete;
    IsolatedObjects& operator=(const IsolatedObjects&) = delete;

    // Each answers null for a channel above 3 or a member that was not built.
    ChannelController* getChannelController(unsigned channel) const { return at(channelControllers_, channel); }
    InterruptGeneratorController* getInterruptGenerator(unsigned channel) const {
        return at(interruptGenerators_, channel);
    }
    SubroutineDispatcher* getSubroutineDispatcher(unsigned channel) const { return at(dispatchers_, channel); }
    // The four channels' dispatchers by channel; null when one of them was not built.
    ChannelDispatchers* getSubroutineDispatchers() { return dispatchersBuilt() ? &dispatchers_ : nullptr; }
    MeasureUnitController* getMeasureUnitController(unsigned channel) const { return at(measureUnits_, channel); }
    SequenceEngineController* getSequenceEngineController(unsigned channel) const {
        return channel < sequenceEngines_.size() ? sequenceEngines_[channel].get() : nullptr;
    }
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
    CalibrationControllersInterface* getCalibrationControllers() const { return calibrationControllers_.get(); }
    // The shared reference level 15 and the charge-balance step hold; empty when not built.
    const kzhtl::SharedPtr<CalibrationControllersInterface>& getSharedCalibrationControllers() const {
        return calibrationControllers_;
    }
    CalibrationDispatcher* getCalibrationDispatcher() const { return calibrationDispatcher_.get(); }
    vantrel_shared::ChannelGangingController* getChannelGangingController() const { return ganging_; }
    HardwareErrorControllerInterface* getHardwareErrorController() const { return hardwareErrors_.get(); }
    HardwareErrorCheckers* getHardwareErrorCheckers() const { return hardwareErrorCheckers_.get(); }

private:
    struct EventLatchPair {
        tChannelMap::tChannelEventLatchStatusReg status;
        tChannelMap::tChannelEventLatchClearReg clear;
    };

    template <class T>
    static T* at(T* const (&table)[kChannelCount], unsigned channel) {
        return channel < kChannelCount ? table[channel] : nullptr;
    }
    bool dispatchersBuilt() const {
        for (SubroutineDispatcher* dispatcher : dispatchers_)
            if (dispatcher == nullptr) return false;
        return true;
    }

    void buildChannelObjects(IsolatedRegMaps& isolated, tNisoFpgaRegMap& niso,
                             const kzhtl::SharedPtr<draviktools::SubroutineRegistrarInterface>& registrar,
                             tStatus& status);
    void buildSharedObjects(vantrel_shared::ErrorControllerInterface& nisoBoard, tStatus& status);

    // In the order of the objects' layout; the constructor builds them in the level's order.
    kdut::HardwareStateCheckerComposite& checkers_;
    tSignatureVerifier* signature_ = nullptr;
    tChannelMap* channelMaps_[kChannelCount] = {};
    ChannelController* channelControllers_[kChannelCount] = {};
    kzvorn_driver_codegen::ErrorMap* errorMap_ = nullptr;
    IsoBoardErrorMuxInputMap* isoBoardInputs_ = nullptr;
    IsoChannelErrorMuxInputMap* channelErrorInputs_ = nullptr;
    IsoChannelInterruptMuxInputMap* channelInterruptInputs_ = nullptr;
    ErrorControllerFactory* factory_ = nullptr;
    vantrel_shared::IsoErrorControllers* isoErrors_ = nullptr;
    kzhtl::SharedPtr<HardwareErrorControllerInterface> hardwareErrors_;
    kzhtl::SharedPtr<HardwareErrorCheckers> hardwareErrorCheckers_;
    InterruptGeneratorController* interruptGenerators_[kChannelCount] = {};
    SubroutineDispatcher* dispatchers_[kChannelCount] = {};
    kzhtl::Vector<kzhtl::SharedPtr<SequenceEngineController>> sequenceEngines_;
    MeasureUnitController* measureUnits_[kChannelCount] = {};
    kzhtl::SharedPtr<CalibrationControllersInterface> calibrationControllers_;
    EventLatchPair* eventLatches_[kChannelCount] = {};
    // Indexed by kind and channel; built channel by channel, each channel's kinds in enumeration order.
    TriggerOverrideInterface* triggerOverrides_[kTriggerOverrideKindCount][kChannelCount] = {};
    ChannelAlarmController* alarms_[kChannelCount] = {};
    kzhtl::SharedPtr<CalibrationDispatcher> calibrationDispatcher_;
    ChannelUngangingController* unganging_ = nullptr;
    vantrel_shared::ChannelGangingController* ganging_ = nullptr;
};

}  // namespace kzvorn_driver
