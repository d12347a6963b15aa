#include "quolinTools/dma/streamController.h"

#include "kzapal/protons/statusCodes.h"

namespace quolintools {

using kzvorn_driver::nKZAPAL000::tAutoLock;
using kzvorn_driver::nKZAPAL000::tLinkInformation;
using nKZAPALS100::tStatus;

void DMACleanupOperation::cleanup(tStatus& status) {
    if (status.isFatal()) return;
    tStatus stopped;
    controller_->stop(stopped);
    nKZAPALS100::merge(status, stopped);
}

uint32_t QuolinDMAStreamController::channelIndex(uint64_t index, tStatus& status) {
    if (status.isFatal()) return 0;
    if (index > 0xFFFFFFFFull) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusValueConflict);
        return 0;
    }
    return uint32_t(index);
}

QuolinDMAStreamController::QuolinDMAStreamController(const uint64_t& bridgeBase, tChannelMap* channelMap,
                                                     tStreamCircuitController* circuit, uint64_t index,
                                                     tStatus& status)
    : QuolinDMAStreamController(bridgeBase, channelMap, circuit, index, nullptr, status) {}

QuolinDMAStreamController::QuolinDMAStreamController(const uint64_t& bridgeBase, tChannelMap* channelMap,
                                                     tStreamCircuitController* circuit, uint64_t index,
                                                     kdut::HardwareStateCheckerInterface* checker,
                                                     tStatus& status)
    : tQuolinDMAChannel(bridgeBase, channelIndex(index, status)),
      bridgeBase_(bridgeBase),
      channelMap_(channelMap),
      circuit_(circuit),
      index_(index),
      checker_(checker),
      mutex_(status),
      cleanup_(this) {}

void QuolinDMAStreamController::waitForChannel(uint32_t mask, const tStreamWait& wait, tStatus& status) {
    auto channelStatus = channelMap_->ChannelStatus();
    waitForHardware(wait, [&](tStatus& s) { return channelStatus.readRegister(s); }, atut::anyBitSet(mask), checker_,
                    status);
}

void QuolinDMAStreamController::start(const tFiniteAndContinuousSGL& lists, bool circuitFlag, tStatus& status) {
    if (status.isFatal()) return;
    const bool finiteEmpty = lists.getFinite().isEmpty();
    // A channel started on an empty link would run on nothing until stopped.
    if (finiteEmpty && lists.getContinuous().isEmpty()) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusBadParameter);
        return;
    }
    tAutoLock lock(mutex_);
    if (isRunning()) {
        KZ_SET_CODE(status, kStatusStreamAlreadyRunning);
        return;
    }
    const tLinkInformation first = finiteEmpty ? tLinkInformation(lists.getContinuous())
                                               : tLinkInformation(lists.getFinite());
    tQuolinDMAChannel::start(first, true);
    waitForChannel(kChannelRunning, kRunningWait, status);
    circuit_->start(circuitFlag, status);
    if (status.isFatal()) {
        tStatus stopped;
        stopSequence(stopped);
        nKZAPALS100::merge(status, stopped);
    }
}

void QuolinDMAStreamController::commitAndStart(SGLController& lists, bool circuitFlag, tStatus& status) {
    if (status.isFatal()) return;
    tAutoLock lock(mutex_);
    if (isRunning()) {
        KZ_SET_CODE(status, kStatusStreamAlreadyRunning);
        return;
    }
    lists.commit(status);
    start(lists.getLists(), circuitFlag, status);
}

void QuolinDMAStreamController::stop(tStatus& status) {
    if (status.isFatal()) return;
    tAutoLock lock(mutex_);
    tStatus stopped;
    stopSequence(stopped);
    nKZAPALS100::merge(status, stopped);
}

void QuolinDMAStreamController::stopSequence(tStatus& status) {
    circuit_->stop(status);
    if (!isRunning()) return;
    tQuolinDMAChannel::deactivate();
    tStatus channel;
    waitForChannel(kStatusStoppedMask, kStoppedWait, channel);
    if (channel.isNotFatal()) setRunning(false);
    nKZAPALS100::merge(status, channel);
}

void QuolinDMAStreamController::clearTransfers(SGLController& lists, tStatus& status) {
    if (status.isFatal()) return;
    tAutoLock lock(mutex_);
    if (isStreaming()) {
        KZ_SET_CODE(status, kStatusStreamAlreadyRunning);
        return;
    }
    lists.reset(status);
}

void QuolinDMAStreamController::stopAndReset(SGLController& lists, tStatus& status) {
    tAutoLock lock(mutex_);
    tStatus stopped;
    stopSequence(stopped);
    if (stopped.isNotFatal() && !isStreaming())
        lists.reset(status);
    else
        nKZAPALS100::merge(status, stopped);
}

void QuolinDMAStreamController::writeStreamAdditiveTransferCount(uint32_t count, tStatus& status) {
    if (status.isFatal()) return;
    tAutoLock lock(mutex_);
    circuit_->writeStreamAdditiveTransferCount(count, status);
}

void QuolinDMAStreamController::setNotificationPosition(uint64_t position, tStatus& status) {
    if (status.isFatal()) return;
    tAutoLock lock(mutex_);
    loadNotificationPosition(position);
}

uint64_t QuolinDMAStreamController::getTransferCount(tStatus& status) {
    if (status.isFatal()) return 0;
    tAutoLock lock(mutex_);
    return readTransferCount();
}

void QuolinDMAStreamController::enableNotification() { setNotifications(kNotificationEnable); }

void QuolinDMAStreamController::disableNotification() { setNotifications(0); }

}  // namespace quolintools
