// The four software-raisable triggers of an isolated channel (start, source, main measure,
// sequence advance). While a policy object exists, input 0 of its trigger's mux is enabled; an
// override strobes the channel configuration and override registers and asks the trigger's
// occurrence register whether the channel saw it.
#pragma once

#include <cstdint>

#include "atut/cleanupOperationComposite.h"
#include "kzapal/protons/synchronization.h"
#include "kzvorn_regMaps/TolvaneRegisterMap_TolvaneIsoChannelRegMap.h"

namespace kzvorn_driver {

enum TriggerOverrideKind : unsigned {
    kStartTriggerOverride,
    kSourceTriggerOverride,
    kMainMeasureTriggerOverride,
    kSequenceAdvanceTriggerOverride,
};

// What one trigger reaches of a channel map: its mux, its strobes in the channel configuration and
// override registers, and the occurrence register that reports it.
struct TriggerOverrideTraits {
    using tMap = kzvorn_regmaps::tTolvaneIsoChannelRegMap;
    using tConfig = tMap::tIsoChannelConfigReg;
    using tOverride = tMap::tSoftwareInterruptAndOverrideReg;

    uint32_t requestTriggerId;
    tMap::tOccurrenceMuxConfigRegType (tMap::*mux)();
    tConfig& (tConfig::*configStrobe)(bool, nKZAPALS100::tStatus&, bool);
    tOverride& (tOverride::*overrideStrobe)(bool, nKZAPALS100::tStatus&, bool);
    tMap::tOccurrenceRegType (tMap::*occurrence)();
    uint16_t expectedId;
};

inline constexpr TriggerOverrideTraits kTriggerOverrideTraits[] = {
    {1034, &TriggerOverrideTraits::tMap::StartTriggerMuxConfig, &TriggerOverrideTraits::tConfig::writeBit4,
     &TriggerOverrideTraits::tOverride::writeBit0, &TriggerOverrideTraits::tMap::TriggerOccurrence, 0x700},
    {1035, &TriggerOverrideTraits::tMap::SourceTriggerMuxConfig, &TriggerOverrideTraits::tConfig::writeBit4,
     &TriggerOverrideTraits::tOverride::writeBit1, &TriggerOverrideTraits::tMap::TriggerOccurrence, 0x701},
    {1036, &TriggerOverrideTraits::tMap::MainMeasureTriggerMuxConfig, &TriggerOverrideTraits::tConfig::writeBit6,
     &TriggerOverrideTraits::tOverride::writeBit4, &TriggerOverrideTraits::tMap::MainMeasureTriggerOccurrence, 0x704},
    {1037, &TriggerOverrideTraits::tMap::SequenceAdvanceTriggerMuxConfig, &TriggerOverrideTraits::tConfig::writeBit4,
     &TriggerOverrideTraits::tOverride::writeBit2, &TriggerOverrideTraits::tMap::TriggerOccurrence, 0x702},
};
static_assert(sizeof(kTriggerOverrideTraits) / sizeof(kTriggerOverrideTraits[0]) == kSequenceAdvanceTriggerOverride + 1,
              "a row per trigger");

// What a request reaches of a channel's trigger-override controller, whatever its trigger.
class TriggerOverrideInterface {
public:
    virtual ~TriggerOverrideInterface() {}
    // Raises the trigger once; true when the channel registered this trigger's occurrence.
    virtual bool overrideTrigger(nKZAPALS100::tStatus& status) = 0;
};

template <TriggerOverrideKind kKind, class tChannelMap, class tConfigReg, class tOverrideReg>
class TriggerOverridePolicy : public atut::CleanupOperationInterface, public TriggerOverrideInterface {
public:
    using tStatus = nKZAPALS100::tStatus;
    static constexpr const TriggerOverrideTraits& kTraits = kTriggerOverrideTraits[kKind];

    // Without a lock (-52000) the policy registers nothing and leaves the mux alone.
    TriggerOverridePolicy(tChannelMap& map, tStatus& status)
        : map_(&map),
          config_(map.IsoChannelConfigReg()),
          override_(map.SoftwareInterruptAndOverrideReg()),
          lock_(status) {
        if (status.isFatal()) return;
        cleanups_.add(this, status);
        if (status.isFatal()) return;
        selectInput0(kEnableInput, status);
    }
    // Disables input 0 whatever the hardware answers; the outcome is dropped.
    ~TriggerOverridePolicy() override {
        tStatus dropped;
        cleanups_.cleanup(dropped);
    }
    TriggerOverridePolicy(const TriggerOverridePolicy&) = delete;
    TriggerOverridePolicy& operator=(const TriggerOverridePolicy&) = delete;

    bool overrideTrigger(tStatus& status) override {
        if (status.isFatal()) return false;
        nKZAPAL000::tAutoLock guard(lock_);
        (config_.*kTraits.configStrobe)(true, status, false);
        (override_.*kTraits.overrideStrobe)(true, status, false);
        const uint16_t id = (map_->*kTraits.occurrence)().readOccurrenceEnum(status);
        return status.isNotFatal() && id == kTraits.expectedId;
    }

    // Takes no lock: runs only from the destructor.
    void cleanup(tStatus& status) override {
        if (status.isFatal()) return;
        selectInput0(kDisableInput, status);
    }

    nKZAPAL000::tMutex& lock() { return lock_; }

private:
    // Position and action both leave the shadow after a good write, so every call writes.
    static constexpr uint32_t kEnableInput = 1;
    static constexpr uint32_t kDisableInput = 2;
    void selectInput0(uint32_t action, tStatus& status) {
        auto mux = (map_->*kTraits.mux)();
        using tAction = decltype(mux.getOccurrenceMuxAction(status));
        mux.setOccurrenceMuxPosition(0, status).writeOccurrenceMuxAction(tAction(action), status);
    }

    tChannelMap* map_;
    tConfigReg config_;
    tOverrideReg override_;
    nKZAPAL000::tMutex lock_;
    atut::CleanupOperationComposite cleanups_;
};

// The four policies over a channel map type, its configuration and its override register types.
template <class tChannelMap, class tConfigReg, class tOverrideReg>
using StartTriggerOverrideController =
    TriggerOverridePolicy<kStartTriggerOverride, tChannelMap, tConfigReg, tOverrideReg>;
template <class tChannelMap, class tConfigReg, class tOverrideReg>
using SourceTriggerOverrideController =
    TriggerOverridePolicy<kSourceTriggerOverride, tChannelMap, tConfigReg, tOverrideReg>;
template <class tChannelMap, class tConfigReg, class tOverrideReg>
using MainMeasureTriggerOverrideController =
    TriggerOverridePolicy<kMainMeasureTriggerOverride, tChannelMap, tConfigReg, tOverrideReg>;
template <class tChannelMap, class tConfigReg, class tOverrideReg>
using SequenceAdvanceTriggerOverrideController =
    TriggerOverridePolicy<kSequenceAdvanceTriggerOverride, tChannelMap, tConfigReg, tOverrideReg>;

}  // namespace kzvorn_driver
