#include "controllers/subroutineDispatcher.h"

#include "atut/poller.h"
#include "kdut/checkHardwareStateTimeoutHandler.h"

namespace kzvorn_driver {

using nKZAPALS100::tStatus;

namespace {

// A second or so of sleeping reads, from 1 us doubling to 100 us.
constexpr uint64_t kWaitFirstPauseUs = 1;
constexpr uint64_t kWaitLongestPauseUs = 100;
constexpr uint32_t kChannelBusy = 1u << 0;

}  // namespace

SubroutineDispatcher::SubroutineDispatcher(
    const kzhtl::SharedPtr<draviktools::SubroutineRegistrarInterface>& registrar,
    InterruptGeneratorController& generator, kdut::HardwareStateCheckerInterface& checker, tChannelMap& map,
    tStatus& status)
    : registrar_(registrar),
      generator_(generator),
      checker_(checker),
      channelStatus_(map.IsoChannelStatusReg()),
      lock_(status) {}

void SubroutineDispatcher::run(uint32_t line, draviktools::SubroutineId id, tStatus& status) {
    if (status.isFatal()) return;
    nKZAPAL000::tAutoLock guard(lock_);
    if (registrar_.get() == nullptr) return void(KZ_SET_CODE(status, nKZAPALS100::kStatusResourceNotFound));
    const uint32_t address = registrar_->getStartAddress(id, status);
    generator_.programLine(line, address, status);
    generator_.fireLine(line, status);
}

void SubroutineDispatcher::wait(uint32_t line, uint32_t timeoutUs, int32_t timeoutStatus, tStatus& status) {
    if (status.isFatal()) return;
    kdut::CheckHardwareStateTimeoutHandler handler(&checker_, timeoutStatus);
    const atut::Poller<atut::tSleepPrecise> poller(kWaitFirstPauseUs, kWaitLongestPauseUs, timeoutStatus, &handler);
    // Done (0) when the line is not latched and the channel not busy.
    poller.pollReads(
        [&](tStatus& s) -> uint32_t {
            const bool latched = generator_.isLineLatched(line, s);
            const uint32_t channel = channelStatus_.readRegister(s);
            return (latched || (channel & kChannelBusy) != 0) ? 1 : 0;
        },
        0, 1, timeoutUs, true, atut::kPollEqual, status);
}

}  // namespace kzvorn_driver
