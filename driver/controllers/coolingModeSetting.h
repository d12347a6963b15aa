// Which cooling-mode request is in force: the instrument interface's override (requester 1) holds
// against the cooling interface (requester 2) until the override sets a mode again. A changed mode
// is written through the power controller; the mode in force and its requester live in the
// device's pair, so they outlive every reset.
#pragma once

#include <cstdint>

#include "controllers/powerController.h"
#include "kzapal/protons/synchronization.h"

namespace kzvorn_driver {

// The device's cooling mode in force and who asked for it; it outlives every helper.
struct CoolingPair {
    uint32_t mode;
    uint32_t requester;
};

class CoolingModeSetting {
public:
    using tStatus = nKZAPALS100::tStatus;

    static constexpr uint32_t kOverrideRequester = 1;

    // -52000 when the lock cannot be made; the setting is then not used. The pair and the writer are
    // borrowed.
    CoolingModeSetting(uint32_t requestedMode, CoolingPair* pair, CoolingModeWriterInterface& writer, tStatus& status)
        : requestedMode_(requestedMode), writer_(writer), pair_(pair), lock_(status) {}

    // A write only when the mode changes; nothing is stored when it fails; the requester is stored
    // also when the mode was in force.
    void setCoolingMode(uint8_t mode, uint32_t requester, tStatus& status);
    uint32_t getCoolingMode();
    // The capability record's, fixed at construction.
    uint32_t getRequestedCoolingMode() const { return requestedMode_; }

private:
    const uint32_t requestedMode_;
    CoolingModeWriterInterface& writer_;
    CoolingPair* pair_;
    nKZAPAL000::tMutex lock_;
};

}  // namespace kzvorn_driver
