// The sequence engine of one isolated channel: it executes the commands queued in the channel's
// command FIFO once started, and a sequencer subroutine resets it. A session that started the
// engine holds the controller as a cleanup operation, so closing the session resets it.
#pragma once

#include <cstdint>

#include "atut/poller.h"
#include "controllers/subroutineDispatcher.h"
#include "kdut/checkHardwareStateTimeoutHandler.h"
#include "kdut/cleanupOperation.h"
#include "kdut/hardwareStateChecker.h"
#include "kzapal/protons/synchronization.h"
#include "kzvorn_regMaps/TolvaneRegisterMap_TolvaneIsoChannelRegMap.h"

namespace kzvorn_driver {

// A start on an engine that runs already.
constexpr int64_t kStatusSequenceEngineRunning = KZ_DEVICE_CODE(0xBFFA4315);
// The FIFO never held the commands to start with, or the sequencer stayed busy after a reset.
constexpr int64_t kStatusSequenceEngineTimeout = KZ_DEVICE_CODE(0xBFFA4317);
// More commands to wait for than the FIFO holds.
constexpr int64_t kStatusSequenceEngineCountTooLarge = KZ_DEVICE_CODE(0xBFFA4326);

class SequenceEngineController : public kdut::CleanupOperationInterface {
public:
    using tStatus = nKZAPALS100::tStatus;
    using tChannelMap = kzvorn_regmaps::tTolvaneIsoChannelRegMap;
    static constexpr uint32_t kLargestStartCount = 512;

    // The map, checker and dispatcher are the channel's and are borrowed. -52000 when the lock
    // cannot be made; no lock is made on an error status.
    SequenceEngineController(tChannelMap& map, kdut::HardwareStateCheckerInterface& checker,
                             SubroutineDispatcher& dispatcher, tStatus& status);
    ~SequenceEngineController() override {}
    SequenceEngineController(const SequenceEngineController&) = delete;
    SequenceEngineController& operator=(const SequenceEngineController&) = delete;

    // Resets the engine, as `reset` does.
    void cleanup(tStatus& status) override;
    // Once `count` commands are queued (0: at once); nothing is written on a running engine or a
    // count above 512.
    virtual void start(uint32_t count, tStatus& status);
    // Runs the reset subroutine, waits for the sequencer to be idle, then completes the reset.
    virtual void reset(tStatus& status);
    // A channel that reports a fault is checked before the answer; false on an error status.
    virtual bool isRunning(tStatus& status);

    kdut::CleanupOperationInterface* getCleanupOperation() { return this; }

private:
    tChannelMap* map_;
    SubroutineDispatcher* dispatcher_;
    kdut::HardwareStateCheckerInterface* checker_;
    kdut::CheckHardwareStateTimeoutHandler handler_;
    nKZAPAL000::tMutex lock_;
};

}  // namespace kzvorn_driver
