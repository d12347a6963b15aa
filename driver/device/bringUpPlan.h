// The fixed order of the bring-up and teardown steps, and the plan through which a test replaces
// steps with fakes: a faked step builds nothing (its objects are simply absent) and either
// succeeds or fails with a chosen code.
#pragma once

#include <cstdint>

#include "kzvorn_shared/setupLevel.h"

namespace kzvorn_driver {

enum BringUpStep : uint32_t {
    kStepRegistries,
    kStepCapabilities,
    kStepPavoObjects,
    kStepNisoFirmware,
    kStepNonIsolatedObjects,
    kStepPowerController,
    kStepIsoFirmware,
    kStepDisabledErrors,
    kStepIsolatedRegMaps,
    kStepIsoConfigStrobe,
    kStepLocalRAM,
    kStepIsolatedObjects,
    kStepExternalPLL,
    kStepStartupSubroutine,
    kStepDMAObjects,
    kStepChannelCalibration,
    kStepModulatorTimebase,
    kStepRoutingObjects,
    kStepInterruptVector,
    kStepChannelStartSubroutine,
    kStepSequencerDataRam,
    kStepIsoDisabledErrors,
    kStepFinalSubroutine,
    kStepChargeBalanceOffset,
    kBringUpStepCount
};

// The level each step completes; 0 for the two steps without one.
constexpr kzvorn_shared::SetupLevel::type kBringUpStepLevel[kBringUpStepCount] = {
    1, 2, 3, 4, 5, 6, 7, 0, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 0};

enum TeardownStep : uint32_t {
    kTeardownSessionCleanup,
    kTeardownShutdownSequencers,
    kTeardownRoutingObjects,
    kTeardownCalibrationLoaders,
    kTeardownDMAObjects,
    kTeardownExternalPLL,
    kTeardownIsolatedObjects,
    kTeardownLocalRAM,
    kTeardownIsolatedRegMaps,
    kTeardownDisabledErrors,
    kTeardownNonIsolatedObjects,
    kTeardownPavoObjects,
    kTeardownWindowRegistries,
    kTeardownRegisterMapRegistry,
    kTeardownComposites,
    kTeardownStepCount
};

// Told of every step that does its work, so a test sees what ran and in which order.
class BringUpObserver {
public:
    virtual ~BringUpObserver() {}
    virtual void onBringUpStep(BringUpStep step) {}
    virtual void onTeardownStep(TeardownStep step) {}
};

class BringUpPlan {
public:
    enum Kind : uint8_t { kReal, kSucceed, kFail };
    struct Step {
        Kind kind;
        int64_t code;
    };

    // Steps first to last (order of the bring-up) become fakes of the kind; a failing range fails
    // at its first step that runs.
    void fake(BringUpStep first, BringUpStep last, Kind kind, int64_t code = 0) {
        for (uint32_t step = first; step <= last && step < kBringUpStepCount; ++step) steps_[step] = Step{kind, code};
    }
    void fake(BringUpStep step, Kind kind, int64_t code = 0) { fake(step, step, kind, code); }
    // Steps of levels first to last, with the unlevelled steps between them.
    void fakeLevels(kzvorn_shared::SetupLevel::type first, kzvorn_shared::SetupLevel::type last, Kind kind,
                    int64_t code = 0) {
        fake(stepOfLevel(first), stepOfLevel(last), kind, code);
        if (last >= kzvorn_shared::SetupLevel::kHighest) fake(kStepChargeBalanceOffset, kind, code);
    }

    // The two FPGA image downloads become succeeding stand-ins: for a board whose FPGAs start
    // configured, so the levels around them run for real without loading megabytes.
    void fakeDownloads() {
        fake(kStepNisoFirmware, kSucceed);
        fake(kStepIsoFirmware, kSucceed);
    }

    const Step& step(BringUpStep step) const { return steps_[step]; }

    BringUpObserver* observer = nullptr;

    static BringUpStep stepOfLevel(kzvorn_shared::SetupLevel::type level) {
        uint32_t step = 0;
        while (step < kBringUpStepCount - 1 && kBringUpStepLevel[step] != level) ++step;
        return static_cast<BringUpStep>(step);
    }

private:
    Step steps_[kBringUpStepCount] = {};
};

}  // namespace kzvorn_driver
