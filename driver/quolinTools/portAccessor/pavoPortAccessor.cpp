#include "quolinTools/portAccessor/pavoPortAccessor.h"

#include "atut/poller.h"
#include "kzapal/quarks/time.h"

namespace quolintools {

namespace {

using kzvorn_driver::nKZAPAL000::tAutoLock;

using tPortPoller = atut::Poller<kzvorn_driver::nKZAPAL000::tTimeout<kzvorn_driver::nKZAPAL000::tTimeWasterSleep,
                                                                     kzvorn_driver::nKZAPAL000::tTimebasePrecise>>;

// Control word fields by their lowest bit.
constexpr unsigned kPortSelectLowField = 8;
constexpr unsigned kPortSelectHighField = 20;
constexpr unsigned kOffsetField = 24;
constexpr uint32_t kReadDone = 1u << 2;

// The read-done wait: 10 us first, at most 100 us between reads, 100 ms in all.
constexpr uint64_t kReadDoneInitialPauseUs = 10;
constexpr uint64_t kReadDoneMaximumPauseUs = 100;
constexpr uint64_t kReadDoneTimeoutUs = 100000;
constexpr int32_t kReadDoneTimeout = static_cast<int32_t>(0xBFFA807D);
constexpr int64_t kUnsupportedOperation = KZ_DEVICE_CODE(0xBFFA806F);

}  // namespace

PavoPortAccessor::PavoPortAccessor(tBimMap* bim, uint32_t portSelectHigh, uint32_t portSelectLow, tStatus& status)
    : bim_(bim), portSelectHigh_(portSelectHigh), portSelectLow_(portSelectLow), lock_(status) {}

void PavoPortAccessor::writeControl(Strobe strobe, uint32_t offset, tStatus& status) {
    auto control = bim_->ConfigControlReg();
    if (control.getShadow() != 0) control.setRegister(0, status);
    control.setField(strobe, 1, status);
    control.setField(kPortSelectLowField, portSelectLow_, status);
    control.setField(kPortSelectHighField, portSelectHigh_, status);
    control.setField(kOffsetField, offset & 0xFF, status);
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
    arm::Register control = bim_->ConfigControlReg();
    const tPortPoller poller(kReadDoneInitialPauseUs, kReadDoneMaximumPauseUs, kReadDoneTimeout);
    poller.poll(control, &arm::Register::readRegister, 0, kReadDone, kReadDoneTimeoutUs, true, atut::kPollAnyBitSet,
                status);
    return data.readRegister(status);
}

void PavoPortAccessor::unsupportedOperation(tStatus& status) {
    if (status.isFatal()) return;
    KZ_SET_CODE(status, kUnsupportedOperation);
}

}  // namespace quolintools
