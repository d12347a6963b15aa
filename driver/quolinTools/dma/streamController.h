// One DMA stream: a bridge DMA channel walking a link list, and the stream circuit on the FPGA
// side that must be enabled before data flows and is fed with transfer credits.
#pragma once

#include <cstdint>

#include "atut/poller.h"
#include "kdut/checkHardwareStateTimeoutHandler.h"
#include "kdut/cleanupOperation.h"
#include "kdut/hardwareStateChecker.h"
#include "kzapal/protons/Quolin/quolinDMAChannel.h"
#include "kzapal/protons/synchronization.h"
#include "quolinTools/armgen/QuolinDMAChannel.h"
#include "quolinTools/armgen/StreamCircuitRegMap.h"
#include "quolinTools/dma/sglController.h"
#include "quolinTools/dma/statusCodes.h"

namespace quolintools {

using tStreamWait = atut::Wait<atut::tSpinPrecise>;

// Waits with the checker's hardware check before the time-out status, when there is a checker.
template <class tRead>
void waitForHardware(const tStreamWait& wait, tRead read, const atut::PollUntil& until,
                     kdut::HardwareStateCheckerInterface* checker, nKZAPALS100::tStatus& status) {
    kdut::CheckHardwareStateTimeoutHandler handler(checker, wait.timeoutCode);
    atut::waitUntil(wait, read, until, checker != nullptr ? &handler : nullptr, status);
}

template <class tRegMap>
class StreamCircuitController {
public:
    static constexpr uint32_t kReset = 4;
    static constexpr uint32_t kModeOn = 1;
    static constexpr uint32_t kModeOff = 2;
    static constexpr uint32_t kEnable = 0x100;
    static constexpr uint32_t kStop = 0x800;
    static constexpr uint32_t kStopInStopMode = 0x200;
    static constexpr uint32_t kTransferEnabled =
        uint32_t(arm::fieldMask(tRegMap::tStreamControlStatusReg::kDataTransferEnable));
    static constexpr tStreamWait kEnableWait =
        tStreamWait().pausesUs(10, 100).deadlineUs(100).timeoutStatus(kStatusStreamHardwareTimeout);
    static constexpr tStreamWait kResetWait =
        tStreamWait().pausesUs(10, 100).deadlineUs(500).timeoutStatus(kStatusStreamHardwareTimeout);

    StreamCircuitController(tRegMap* map, kdut::HardwareStateCheckerInterface* checker, bool running, bool stopMode)
        : map_(map), checker_(checker), running_(running), stopMode_(stopMode) {}
    virtual ~StreamCircuitController() {}
    StreamCircuitController(const StreamCircuitController&) = delete;
    StreamCircuitController& operator=(const StreamCircuitController&) = delete;

    virtual void start(bool flag, nKZAPALS100::tStatus& status) {
        if (status.isFatal()) return;
        if (running_) {
            KZ_SET_CODE(status, kStatusCircuitAlreadyRunning);
            return;
        }
        auto control = map_->StreamControlStatusReg();
        control.writeRegister(kReset, status);
        control.writeRegister(flag ? kModeOn : kModeOff, status);
        control.writeRegister(kEnable, status);
        waitForStreamControlStatusRegValueTrue(&tControl::readDataTransferEnable, kEnableWait, status);
        if (status.isNotFatal()) running_ = true;
    }

    // A circuit found already disabled is stopped: nothing to write or wait for.
    virtual void stop(nKZAPALS100::tStatus& status) {
        if (status.isFatal()) return;
        auto control = map_->StreamControlStatusReg();
        const uint32_t word = control.readRegister(status);
        if (status.isFatal()) return;
        if ((word & kTransferEnabled) == 0) {
            running_ = false;
            return;
        }
        control.writeRegister(stopMode_ ? kStopInStopMode : kStop, status);
        waitForStreamControlStatusRegValueTrue(&tControl::readStreamCircuitResetComplete, kResetWait, status);
        if (status.isNotFatal()) running_ = false;
    }

    virtual void writeStreamAdditiveTransferCount(uint32_t count, nKZAPALS100::tStatus& status) {
        if (status.isFatal()) return;
        map_->AdditiveTransferCount().writeRegister(count, status);
    }

    bool isRunning() const { return running_; }

private:
    using tControl = typename tRegMap::tStreamControlStatusReg;

    template <class tReadFunction>
    void waitForStreamControlStatusRegValueTrue(tReadFunction read, const tStreamWait& wait,
                                                nKZAPALS100::tStatus& status) {
        auto control = map_->StreamControlStatusReg();
        waitForHardware(
            wait, [&](nKZAPALS100::tStatus& s) -> uint64_t { return (control.*read)(s) ? 1 : 0; },
            atut::anyBitSet(1), checker_, status);
    }

    tRegMap* map_;
    kdut::HardwareStateCheckerInterface* checker_;
    bool running_;
    bool stopMode_;
};

using tStreamCircuitController = StreamCircuitController<tStreamCircuitRegMapWithOffset<0u>>;

class DMAStreamControllerInterface {
public:
    virtual ~DMAStreamControllerInterface() {}
    virtual void writeStreamAdditiveTransferCount(uint32_t count, nKZAPALS100::tStatus& status) = 0;
    virtual void setNotificationPosition(uint64_t position, nKZAPALS100::tStatus& status) = 0;
    virtual uint64_t getTransferCount(nKZAPALS100::tStatus& status) = 0;
    virtual void enableNotification() = 0;
    virtual void disableNotification() = 0;
};

class QuolinDMAStreamController;

class DMACleanupOperation : public kdut::CleanupOperationInterface {
public:
    explicit DMACleanupOperation(QuolinDMAStreamController* controller) : controller_(controller) {}
    ~DMACleanupOperation() override {}
    void cleanup(nKZAPALS100::tStatus& status) override;

private:
    QuolinDMAStreamController* controller_;
};

class QuolinDMAStreamController : public kzvorn_driver::nKZAPAL000::tQuolinDMAChannel,
                                  public DMAStreamControllerInterface,
                                  public TransferListGuardInterface {
public:
    using tChannelMap = tQuolinDMAChannelWithOffset<0u>;
    static constexpr uint32_t kChannelRunning = uint32_t(arm::fieldMask(tChannelMap::tChannelStatus::kBit14));
    static constexpr tStreamWait kRunningWait =
        tStreamWait().pausesUs(10, 1000).deadlineUs(50000).timeoutStatus(kStatusChannelStartTimeout);
    static constexpr tStreamWait kStoppedWait =
        tStreamWait().pausesUs(10, 1000).deadlineUs(50000).timeoutStatus(kStatusStreamHardwareTimeout);

    // An index wider than 32 bits uses channel 0 (-52003).
    QuolinDMAStreamController(const uint64_t& bridgeBase, tChannelMap* channelMap,
                              tStreamCircuitController* circuit, uint64_t index, nKZAPALS100::tStatus& status);
    QuolinDMAStreamController(const uint64_t& bridgeBase, tChannelMap* channelMap,
                              tStreamCircuitController* circuit, uint64_t index,
                              kdut::HardwareStateCheckerInterface* checker, nKZAPALS100::tStatus& status);
    ~QuolinDMAStreamController() override {}

    void writeStreamAdditiveTransferCount(uint32_t count, nKZAPALS100::tStatus& status) override;
    void setNotificationPosition(uint64_t position, nKZAPALS100::tStatus& status) override;
    uint64_t getTransferCount(nKZAPALS100::tStatus& status) override;
    // Both lists empty: -52005, nothing touched.
    virtual void start(const tFiniteAndContinuousSGL& lists, bool circuitFlag, nKZAPALS100::tStatus& status);
    virtual void stop(nKZAPALS100::tStatus& status);
    // Closes the lists for the start and starts; a running channel is refused (0xBFFA806E) before
    // its lists are touched, since closing them again rewrites link memory the channel walks.
    void commitAndStart(SGLController& lists, bool circuitFlag, nKZAPALS100::tStatus& status);
    void enableNotification() override;
    void disableNotification() override;

    // The channel or the circuit runs.
    bool isStreaming() const { return isRunning() || circuit_->isRunning(); }
    // Empties the stream's lists unless it is streaming (0xBFFA806E, nothing changed); no start
    // comes in between.
    void clearTransfers(SGLController& lists, nKZAPALS100::tStatus& status);
    void stopAndReset(SGLController& lists, nKZAPALS100::tStatus& status) override;

    kdut::CleanupOperationInterface* getCleanupOperation() { return &cleanup_; }
    uint64_t streamIndex() const { return index_; }

private:
    static uint32_t channelIndex(uint64_t index, nKZAPALS100::tStatus& status);
    void stopSequence(nKZAPALS100::tStatus& status);
    void waitForChannel(uint32_t mask, const tStreamWait& wait, nKZAPALS100::tStatus& status);

    // Kept with the controller although its channel base already holds the address.
    [[maybe_unused]] const uint64_t& bridgeBase_;
    tChannelMap* channelMap_;
    tStreamCircuitController* circuit_;
    uint64_t index_;
    kdut::HardwareStateCheckerInterface* checker_;
    kzvorn_driver::nKZAPAL000::tMutex mutex_;
    DMACleanupOperation cleanup_;
};

}  // namespace quolintools
