#include "controllers/sequenceEngineController.h"

#include "dravikTools/systemSubroutineIds.h"

namespace kzvorn_driver {

namespace {

using tChannelStatus = SequenceEngineController::tChannelMap::tIsoChannelStatusReg;

// The reset subroutine's software-interrupt line.
constexpr uint32_t kResetLine = 2;
// For the commands to start with, and for the sequencer to be idle after a reset.
constexpr auto kEngineWait = atut::Wait<atut::tSleepPrecise>().pausesUs(1, 128).deadlineUs(10000).timeoutStatus(
    kStatusSequenceEngineTimeout);

}  // namespace

SequenceEngineController::SequenceEngineController(tChannelMap& map, kdut::HardwareStateCheckerInterface& checker,
                                                   SubroutineDispatcher& dispatcher, tStatus& status)
    : map_(&map),
      dispatcher_(&dispatcher),
      checker_(&checker),
      handler_(&checker, kEngineWait.timeoutCode),
      lock_(status) {}

bool SequenceEngineController::isRunning(tStatus& status) {
    if (status.isFatal()) return false;
    nKZAPAL000::tAutoLock guard(lock_);
    auto channelStatus = map_->IsoChannelStatusReg();
    // Bit 25: the channel reports a fault; bit 27: the engine stopped.
    if (channelStatus.readBit25(status)) checker_->checkHardwareState(status);
    return !channelStatus.readBit27(status);
}

void SequenceEngineController::start(uint32_t count, tStatus& status) {
    if (status.isFatal()) return;
    nKZAPAL000::tAutoLock guard(lock_);
    const bool running = isRunning(status);
    if (status.isFatal()) return;
    if (running) return void(KZ_SET_CODE(status, kStatusSequenceEngineRunning));
    if (count > kLargestStartCount) return void(KZ_SET_CODE(status, kStatusSequenceEngineCountTooLarge));
    if (count != 0) {
        auto fullness = map_->CommandFifoFullnessReg();
        atut::waitUntil(kEngineWait, [&](tStatus& s) { return fullness.readRegister(s) >= count ? 1u : 0u; },
                        atut::maskedEquals(1, 1), &handler_, status);
    }
    auto config = map_->IsoChannelConfigReg();
    config.writeBit25(true, status);
    config.writeBit8(true, status);
}

void SequenceEngineController::reset(tStatus& status) {
    if (status.isFatal()) return;
    nKZAPAL000::tAutoLock guard(lock_);
    dispatcher_->run(kResetLine, draviktools::kSubroutineSequenceEngineReset, status);
    auto channelStatus = map_->IsoChannelStatusReg();
    // Bit 0: the sequencer is busy.
    atut::waitUntil(kEngineWait, [&](tStatus& s) { return channelStatus.readRegister(s); },
                    atut::noBitSet(arm::fieldMask(tChannelStatus::kBit0)), &handler_, status);
    map_->IsoChannelConfigReg().writeBit24(true, status);
}

void SequenceEngineController::cleanup(tStatus& status) {
    if (status.isFatal()) return;
    nKZAPAL000::tAutoLock guard(lock_);
    reset(status);
}

}  // namespace kzvorn_driver
