#include "controllers/subroutineDispatcher.h"

#include "atut/poller.h"
#include "kdut/checkHardwareStateTimeoutHandler.h"

namespace kzvorn_driver {

using nKZAPALS100::tStatus;

namespace {

// Sleeping reads, from 1 us doubling to 100 us, for as long as the caller gives.
constexpr auto kLineWait = atut::Wait<atut::tSleepPrecise>().pausesUs(1, 100);

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
    // Done (0) when the line is not latched and the channel not busy.
    atut::waitUntil(
        kLineWait.deadlineUs(timeoutUs).timeoutStatus(timeoutStatus),
        [&](tStatus& s) -> uint32_t {
            const bool latched = generator_.isLineLatched(line, s);
            const bool busy = channelStatus_.readBit0(s);
            return (latched || busy) ? 1 : 0;
        },
        atut::maskedEquals(1, 0), &handler, status);
}

}  // namespace kzvorn_driver
