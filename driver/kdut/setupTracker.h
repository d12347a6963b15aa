// How far the current bring-up got, how far it was asked to go and how it ended.
#pragma once

#include "kzapal/protons/status.h"
#include "kzapal/protons/statusCodes.h"

namespace kdut {

template <class tLevel>
struct SetupTracker {
    using tLevelType = typename tLevel::type;

    nKZAPALS100::tStatus status;
    tLevelType target = tLevel::kHighest;
    tLevelType reached = tLevel::kNone;

    // A target of 0 is reached at once.
    void reset(tLevelType newTarget) {
        target = newTarget;
        reached = tLevel::kNone;
        status.code = 0;
        if (newTarget == tLevel::kNone) KZ_SET_CODE(status, nKZAPALS100::kStatusSetupStoppedAtLevel);
    }

    // Run by step `level` after its work. Stopping at the target is recorded as -52010, an error
    // code, so every later step does nothing; the highest level ends the bring-up with success.
    void completeStep(tLevelType level) {
        if (status.isFatal() || target < level || reached >= level) return;
        reached = level;
        if (target == level && level != tLevel::kHighest) KZ_SET_CODE(status, nKZAPALS100::kStatusSetupStoppedAtLevel);
    }
};

}  // namespace kdut
