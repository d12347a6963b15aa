#include "controllers/sequenceEngineController.h"

#include "dravikTools/systemSubroutineIds.h"

namespace kzvorn_driver {

namespace {

// Channel status (read side of word 0x00).
constexpr uint32_t kSequencerBusy = 1u << 0;
constexpr uint32_t kChannelFault = 1u << 25;
constexpr uint32_t kEngineStopped = 1u << 27;
// The reset subroutine's software-interrupt line.
constexpr uint32_t kResetLine = 2;
constexpr uint64_t kWaitUs = 10000;

}  // namespace

SequenceEngineController::SequenceEngineController(tChannelMap& map, kdut::HardwareStateCheckerInterface& checker,
                                                   SubroutineDispatcher& dispatcher, tStatus& status)
    : map_(&map),
      dispatcher_(&dispatcher),
      checker_(&checker),
      handler_(&checker, static_cast<int32_t>(kStatusSequenceEngineTimeout)),
      poller_(1, 128, 0, &handler_),
      lock_(status) {}

bool SequenceEngineController::isRunning(tStatus& status) {
    if (status.isFatal()) return false;
    nKZAPAL000::tAutoLock guard(lock_);
    auto channelStatus = map_->IsoChannelStatusReg();
    if (channelStatus.readRegister(status) & kChannelFault) checker_->checkHardwareState(status);
    return (channelStatus.readRegister(status) & kEngineStopped) == 0;
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
        poller_.pollReads([&](tStatus& s) { return fullness.readRegister(s) >= count ? 1u : 0u; }, 1, 1, kWaitUs,
                          true, atut::kPollEqual, status);
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
    poller_.pollReads([&](tStatus& s) { return channelStatus.readRegister(s); }, 0, kSequencerBusy, kWaitUs, true,
                      atut::kPollNoBitSet, status);
    map_->IsoChannelConfigReg().writeBit24(true, status);
}

void SequenceEngineController::cleanup(tStatus& status) {
    if (status.isFatal()) return;
    nKZAPAL000::tAutoLock guard(lock_);
    reset(status);
}

}  // namespace kzvorn_driver
