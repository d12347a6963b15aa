// The four software-raisable triggers of an isolated channel (start, source, main measure,
// sequence advance). While a policy object exists, input 0 of its trigger's mux is enabled; an
// override strobes the channel configuration and override registers and asks the trigger's
// occurrence register whether the channel saw it.
#pragma once

#include <cstdint>

#include "atut/cleanupOperationComposite.h"
#include "kzapal/protons/synchronization.h"

namespace kzvorn_driver {

enum TriggerOverrideKind : unsigned {
    kStartTriggerOverride,
    kSourceTriggerOverride,
    kMainMeasureTriggerOverride,
    kSequenceAdvanceTriggerOverride,
};

// Channel word offsets and bit numbers of one trigger.
struct TriggerOverrideTraits {
    uint32_t requestTriggerId;
    uint32_t mux;
    unsigned configStrobe;
    unsigned overrideStrobe;
    uint32_t occurrence;
    uint16_t expectedId;
};

inline constexpr TriggerOverrideTraits kTriggerOverrideTraits[] = {
    // request id  mux   config  override  occurrence  expected id
    {1034, 0x22, 4, 0, 0x45, 0x700},
    {1035, 0x23, 4, 1, 0x45, 0x701},
    {1036, 0x27, 6, 4, 0x46, 0x704},
    {1037, 0x24, 4, 2, 0x45, 0x702},
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
          config_(map.template at<tConfigReg>(0x00)),
          override_(map.template at<tOverrideReg>(0x44)),
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
        config_.writeRegister(config_.getShadow() | (uint32_t{1} << kTraits.configStrobe), status);
        override_.writeRegister(override_.getShadow() | (uint32_t{1} << kTraits.overrideStrobe), status);
        auto occurrence = map_->template at<typename tChannelMap::tOccurrenceRegType>(kTraits.occurrence);
        const uint32_t id = occurrence.readRegister(status) & 0xFFF;
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
        auto mux = map_->template at<typename tChannelMap::tOccurrenceMuxConfigRegType>(kTraits.mux);
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
