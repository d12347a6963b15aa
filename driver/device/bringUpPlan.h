// The bring-up and teardown steps, one row each in the order they run, and the plan through which a
// test replaces steps with fakes: a faked step builds nothing (its objects are simply absent) and
// either succeeds or fails with a chosen code. The step identifiers, the levels, the runner's
// function tables and the plan all derive from these rows.
#pragma once

#include <cstdint>

#include "kzvorn_shared/setupLevel.h"

// clang-format off
// TEARDOWN(identifier, name, function, rule): the destructor runs these top to bottom; `function`
// is a TolvaneHelper member.
#define KZ_TEARDOWN_STEPS(TEARDOWN) \
    TEARDOWN(SessionCleanup,      "open sessions' cleanup sets",         teardownSessionCleanup,      kTeardownReportsForLater) \
    TEARDOWN(ShutdownSequencers,  "channel sequencer shutdown",          teardownShutdownSequencers,  kTeardownAfterCleanRun)   \
    TEARDOWN(RoutingObjects,      "routing objects",                     teardownRoutingObjects,      kTeardownOnOwnStatus)     \
    TEARDOWN(CalibrationLoaders,  "channel calibration loaders",         teardownCalibrationLoaders,  kTeardownOnOwnStatus)     \
    TEARDOWN(DMAObjects,          "DMA objects",                         teardownDMAObjects,          kTeardownOnOwnStatus)     \
    TEARDOWN(ExternalPLL,         "temperature-sensor controller",       teardownExternalPLL,         kTeardownOnOwnStatus)     \
    TEARDOWN(IsolatedObjects,     "isolated and per-channel objects",    teardownIsolatedObjects,     kTeardownOnOwnStatus)     \
    TEARDOWN(LocalRAM,            "local-RAM controller and registrar",  teardownLocalRAM,            kTeardownOnOwnStatus)     \
    TEARDOWN(IsolatedRegMaps,     "isolated register maps",              teardownIsolatedRegMaps,     kTeardownOnOwnStatus)     \
    TEARDOWN(DisabledErrors,      "disabled-error undo",                 teardownDisabledErrors,      kTeardownOnOwnStatus)     \
    TEARDOWN(NonIsolatedObjects,  "non-isolated objects",                teardownNonIsolatedObjects,  kTeardownOnOwnStatus)     \
    TEARDOWN(PavoObjects,         "bridge and timing objects",           teardownPavoObjects,         kTeardownOnOwnStatus)     \
    TEARDOWN(WindowRegistries,    "storage-map and window registries",   teardownWindowRegistries,    kTeardownOnOwnStatus)     \
    TEARDOWN(RegisterMapRegistry, "register-map registry",               teardownRegisterMapRegistry, kTeardownOnOwnStatus)     \
    TEARDOWN(Composites,          "checker and cleanup composites",      teardownNothingBuilt,        kTeardownOnOwnStatus)

// STEP(identifier, level it completes, name, function, teardown partner, rule): the constructor
// runs these top to bottom; `function` is a TolvaneHelper member; the partner is the teardown row
// that undoes the step (None: nothing to undo, or the helper's own rows undo it).
#define KZ_BRING_UP_STEPS(STEP) \
    STEP(Registries,             1,         "named-access registries",             stepRegistries,   None,               kOnGoodStatus)             \
    STEP(Capabilities,           2,         "capability record",                   stepCapabilities, None,               kOnGoodStatus)             \
    STEP(PavoObjects,            3,         "bridge and timing objects",           stepPavoObjects,  PavoObjects,        kOnGoodStatus)             \
    STEP(NisoFirmware,           4,         "non-isolated FPGA image",             stepNisoFirmware, None,               kOnGoodStatus)             \
    STEP(NonIsolatedObjects,     5,         "non-isolated objects",                stepNonIsolatedObjects, NonIsolatedObjects, kOnGoodStatus)       \
    STEP(PowerController,        6,         "power controller",                    stepPowerController, None,            kOnGoodStatus)             \
    STEP(IsoFirmware,            7,         "isolated FPGA image",                 stepIsoFirmware,  None,               kOnGoodStatus)             \
    STEP(DisabledErrors,         kNoLevel,  "disabled board errors",               stepDisabledErrors, DisabledErrors,   kWhateverTheStatusFrom5)   \
    STEP(IsolatedRegMaps,        8,         "isolated register maps",              stepIsolatedRegMaps, IsolatedRegMaps, kOnGoodStatus)             \
    STEP(IsoConfigStrobe,        9,         "isolated control bit",                stepIsoConfigStrobe, None,            kOnGoodStatus)             \
    STEP(LocalRAM,               10,        "sequencer local RAM",                 stepLocalRAM,     LocalRAM,           kOnGoodStatus)             \
    STEP(IsolatedObjects,        11,        "isolated and per-channel objects",    stepIsolatedObjects, IsolatedObjects, kOnGoodStatus)             \
    STEP(ExternalPLL,            12,        "external PLL and temperature sensor", stepExternalPLL,  ExternalPLL,        kOnGoodStatus)             \
    STEP(StartupSubroutine,      13,        "start-up subroutine",                 stepStartupSubroutine, None,          kOnGoodStatus)             \
    STEP(DMAObjects,             14,        "DMA objects",                         stepDMAObjects,   DMAObjects,         kOnGoodStatus)             \
    STEP(ChannelCalibration,     15,        "channel calibration",                 stepChannelCalibration, CalibrationLoaders, kOnGoodStatus)       \
    STEP(ModulatorTimebase,      16,        "modulator time base",                 stepModulatorTimebase, None,          kOnGoodStatus)             \
    STEP(RoutingObjects,         17,        "routing objects",                     stepRoutingObjects, RoutingObjects,   kOnGoodStatus)             \
    STEP(InterruptVector,        18,        "subroutine start addresses",          stepInterruptVector, None,            kOnGoodStatus)             \
    STEP(ChannelStartSubroutine, 19,        "channel start subroutines",           stepChannelStartSubroutine, None,     kOnGoodStatus)             \
    STEP(SequencerDataRam,       20,        "local-RAM regions",                   stepSequencerDataRam, None,           kOnGoodStatus)             \
    STEP(IsoDisabledErrors,      21,        "disabled channel errors",             stepIsoDisabledErrors, None,          kOnGoodStatus)             \
    STEP(FinalSubroutine,        22,        "final subroutine",                    stepFinalSubroutine, None,            kOnGoodStatus)             \
    STEP(ChargeBalanceOffset,    kNoLevel,  "charge-balance offsets",              stepChargeBalanceOffset, None,        kOnGoodStatus)
// clang-format on

namespace kzvorn_driver {

enum TeardownStep : uint32_t {
#define KZ_TEARDOWN_IDENTIFIER(identifier, name, function, rule) kTeardown##identifier,
    KZ_TEARDOWN_STEPS(KZ_TEARDOWN_IDENTIFIER)
#undef KZ_TEARDOWN_IDENTIFIER
    kTeardownStepCount,
    kTeardownNone = kTeardownStepCount
};

enum BringUpStep : uint32_t {
#define KZ_STEP_IDENTIFIER(identifier, level, name, function, teardown, rule) kStep##identifier,
    KZ_BRING_UP_STEPS(KZ_STEP_IDENTIFIER)
#undef KZ_STEP_IDENTIFIER
    kBringUpStepCount
};

// How the teardown runs a row. Teardown never reports: what a row finds stays in the teardown.
enum TeardownRule : uint8_t {
    // With a fresh status that is then dropped.
    kTeardownOnOwnStatus,
    // With a fresh status that the later rows consult.
    kTeardownReportsForLater,
    // Only when that status and the tracker's hold no error (a complete bring-up whose sessions
    // cleaned up well), with that status.
    kTeardownAfterCleanRun,
};

// How the bring-up runs a row.
struct BringUpRule {
    enum Kind : uint8_t {
        // The setup-tracker rule: works only while the tracker's status holds no error, reporting
        // into it.
        kOnGoodStatus,
        // Works once the reached level is at least `from`, whatever the tracker's status holds, on
        // a fresh status merged into the tracker's (the first error stays). A bring-up that ends in
        // a failure, not a stop at its target, runs the step's teardown partner.
        kWhateverTheStatus,
    };
    Kind kind;
    kzvorn_shared::SetupLevel::type from;
};

constexpr BringUpRule kOnGoodStatus = {BringUpRule::kOnGoodStatus, kzvorn_shared::SetupLevel::kNone};
// Needs the non-isolated board controllers of level 5.
constexpr BringUpRule kWhateverTheStatusFrom5 = {BringUpRule::kWhateverTheStatus, 5};

// A step that completes no level.
constexpr kzvorn_shared::SetupLevel::type kNoLevel = kzvorn_shared::SetupLevel::kNone;

struct BringUpStepRow {
    BringUpStep step;
    kzvorn_shared::SetupLevel::type level;
    const char* name;
    TeardownStep teardown;
    BringUpRule rule;
};

struct TeardownStepRow {
    TeardownStep step;
    const char* name;
    TeardownRule rule;
};

inline constexpr BringUpStepRow kBringUpSteps[] = {
#define KZ_STEP_ROW(identifier, level, name, function, teardown, rule) \
    {kStep##identifier, level, name, kTeardown##teardown, rule},
    KZ_BRING_UP_STEPS(KZ_STEP_ROW)
#undef KZ_STEP_ROW
};

inline constexpr TeardownStepRow kTeardownSteps[] = {
#define KZ_TEARDOWN_ROW(identifier, name, function, rule) {kTeardown##identifier, name, rule},
    KZ_TEARDOWN_STEPS(KZ_TEARDOWN_ROW)
#undef KZ_TEARDOWN_ROW
};

namespace bringupcheck {

constexpr bool rowsInStepOrder() {
    for (uint32_t i = 0; i < kBringUpStepCount; ++i)
        if (kBringUpSteps[i].step != i) return false;
    for (uint32_t i = 0; i < kTeardownStepCount; ++i)
        if (kTeardownSteps[i].step != i) return false;
    return true;
}

// Levels 1 to the highest, each completed by exactly one step, in ascending order.
constexpr bool levelsCompleteInOrder() {
    kzvorn_shared::SetupLevel::type next = 1;
    for (const BringUpStepRow& row : kBringUpSteps) {
        if (row.level == kNoLevel) continue;
        if (row.level != next) return false;
        ++next;
    }
    return next == kzvorn_shared::SetupLevel::kHighest + 1;
}

// What a later step built is undone before what an earlier one built.
constexpr bool partnersUndoInReverse() {
    uint32_t previous = kTeardownStepCount;
    for (const BringUpStepRow& row : kBringUpSteps) {
        if (row.teardown == kTeardownNone) continue;
        if (row.teardown >= previous) return false;
        previous = row.teardown;
    }
    return true;
}

// A step that runs after a failure leaves something that a failed bring-up must undo.
constexpr bool failureUndoHasAPartner() {
    for (const BringUpStepRow& row : kBringUpSteps)
        if (row.rule.kind == BringUpRule::kWhateverTheStatus && row.teardown == kTeardownNone) return false;
    return true;
}

}  // namespace bringupcheck

static_assert(bringupcheck::rowsInStepOrder(), "row i is step i");
static_assert(bringupcheck::levelsCompleteInOrder(), "every setup level is completed once, in order");
static_assert(bringupcheck::partnersUndoInReverse(), "the teardown undoes the steps in reverse order");
static_assert(bringupcheck::failureUndoHasAPartner(), "a step that runs after a failure names its undo");

// The level a step belongs to: its own, or for a step without one the level before it.
constexpr kzvorn_shared::SetupLevel::type levelOfStep(BringUpStep step) {
    kzvorn_shared::SetupLevel::type level = kNoLevel;
    for (uint32_t i = 0; i <= step && i < kBringUpStepCount; ++i)
        if (kBringUpSteps[i].level != kNoLevel) level = kBringUpSteps[i].level;
    return level;
}

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
    // The steps of levels first to last, each with the steps without a level that follow it.
    void fakeLevels(kzvorn_shared::SetupLevel::type first, kzvorn_shared::SetupLevel::type last, Kind kind,
                    int64_t code = 0) {
        for (uint32_t step = 0; step < kBringUpStepCount; ++step) {
            const kzvorn_shared::SetupLevel::type level = levelOfStep(static_cast<BringUpStep>(step));
            if (level >= first && level <= last) steps_[step] = Step{kind, code};
        }
    }

    // The two FPGA image downloads become succeeding stand-ins: for a board whose FPGAs start
    // configured, so the levels around them run for real without loading megabytes.
    void fakeDownloads() {
        fake(kStepNisoFirmware, kSucceed);
        fake(kStepIsoFirmware, kSucceed);
    }

    const Step& step(BringUpStep step) const { return steps_[step]; }

    BringUpObserver* observer = nullptr;

    // The step that completes the level; the last step for a level no step completes.
    static constexpr BringUpStep stepOfLevel(kzvorn_shared::SetupLevel::type level) {
        uint32_t step = 0;
        while (step < kBringUpStepCount - 1 && kBringUpSteps[step].level != level) ++step;
        return static_cast<BringUpStep>(step);
    }

private:
    Step steps_[kBringUpStepCount] = {};
};

}  // namespace kzvorn_driver
