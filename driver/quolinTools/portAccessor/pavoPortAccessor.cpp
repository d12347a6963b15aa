#include "quolinTools/portAccessor/pavoPortAccessor.h"

#include "atut/poller.h"
#include "quolinTools/portAccessor/statusCodes.h"

namespace quolintools {

namespace {

using kzvorn_driver::nKZAPAL000::tAutoLock;

// The read-done wait: 10 us first, at most 100 us between reads, 100 ms in all.
constexpr auto kReadDoneWait =
    atut::Wait<atut::tSleepPrecise>().pausesUs(10, 100).deadlineUs(100000).timeoutStatus(kStatusPortReadTimedOut);

}  // namespace

PavoPortAccessor::PavoPortAccessor(tBimMap* bim, uint32_t portSelectHigh, uint32_t portSelectLow, tStatus& status)
    : bim_(bim), portSelectHigh_(portSelectHigh), portSelectLow_(portSelectLow), lock_(status) {}

void PavoPortAccessor::writeControl(Strobe strobe, uint32_t offset, tStatus& status) {
    auto control = bim_->ConfigControlReg();
    if (control.getShadow() != 0) control.setRegister(0, status);
    if (strobe == kWriteStrobe)
        control.setWriteStrobe(1, status);
    else
        control.setReadStrobe(1, status);
    // The register offset keeps its low 8 bits.
    control.setPortSelectLow(portSelectLow_, status)
        .setPortSelectHigh(portSelectHigh_, status)
        .setRegisterOffset(offset, status);
    // A good write leaves the strobes out of the shadow (the register's keep mask).
    control.flush(status);
}

void PavoPortAccessor::write32(uint32_t offset, uint32_t value, tStatus& status) {
    if (status.isFatal()) return;
    tAutoLock hold(lock_);
    bim_->ConfigDataReg().writeRegister(value, status);
    writeControl(kWriteStrobe, offset, status);
}

uint32_t PavoPortAccessor::read32(uint32_t offset, tStatus& status) {
    auto data = bim_->ConfigDataReg();
    if (status.isFatal()) return static_cast<uint32_t>(data.getShadow());
    tAutoLock hold(lock_);
    writeControl(kReadStrobe, offset, status);
    auto control = bim_->ConfigControlReg();
    atut::waitUntil(kReadDoneWait, [&](tStatus& s) { return control.readRegister(s); },
                    atut::anyBitSet(arm::fieldMask(tBimMap::tConfigControlReg::kReadDone)), status);
    return data.readRegister(status);
}

void PavoPortAccessor::unsupportedOperation(tStatus& status) {
    if (status.isFatal()) return;
    KZ_SET_CODE(status, kStatusPortOperationUnsupported);
}

}  // namespace quolintools
