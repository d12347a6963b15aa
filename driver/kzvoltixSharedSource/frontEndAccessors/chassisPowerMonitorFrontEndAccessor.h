// An INA231 power-monitor chip behind one command window of the non-isolated FPGA: a write sends
// the 16-bit value, the chip register (0 to 7) and a write strobe; a read sends the register and a
// read strobe and waits for the read-result word's done bit. The whole transaction runs under the
// monitor's lock, so two threads never interleave their window accesses.
#pragma once

#include <cstdint>

#include "atut/poller.h"
#include "kzapal/protons/synchronization.h"
#include "kzvoltixSharedSource/frontEndAccessorInterface.h"

namespace kzvoltixsharedsource {

constexpr int64_t kStatusPowerMonitorNotReady = KZ_DEVICE_CODE(0xBFFA431F);
constexpr int64_t kStatusPowerMonitorReadNotDone = KZ_DEVICE_CODE(0xBFFA4320);

// The chassis has one chip per window: nothing to select.
struct ChassisPowerMonitorNoOpDeviceSelector {
    static void select(nKZAPALS100::tStatus&) {}
};

// The command type offers the data (Bits15_0), pointer (Bits18_16), write (Bit19) and read (Bit22)
// strobe fields; the read-result type its whole word through readRegister and the chip's value
// (Bits15_0).
template <class tCommandReg, class tReadReg, uint32_t kReadDoneMask, uint32_t kReadyMask, uint32_t kReadyValue,
          class tSelector>
class ChassisPowerMonitorFrontEndAccessor final : public FrontEndAccessorInterface {
public:
    using tStatus = nKZAPALS100::tStatus;
    using tMutex = kzvorn_driver::nKZAPAL000::tMutex;

    ChassisPowerMonitorFrontEndAccessor(const tCommandReg& command, const tReadReg& result, tMutex* lock)
        : command_(command), result_(result), lock_(lock) {}

    void write32(uint32_t address, uint32_t value, tStatus& status) override {
        if (status.isFatal()) return;
        kzvorn_driver::nKZAPAL000::tAutoLock guard(*lock_);
        tSelector::select(status);
        waitReady(status);
        if (status.isFatal()) return;
        command_.setBits15_0(value & 0xFFFF, status).setBits18_16(address & 7, status).writeBit19(true, status);
        waitReady(status);
    }

    uint32_t read32(uint32_t address, tStatus& status) override {
        if (status.isFatal()) return 0xFFFFFFFF;
        kzvorn_driver::nKZAPAL000::tAutoLock guard(*lock_);
        tSelector::select(status);
        waitReady(status);
        if (status.isFatal()) return 0xFFFFFFFF;
        command_.setBits18_16(address & 7, status).writeBit22(true, status);
        if (status.isFatal()) return 0xFFFFFFFF;
        atut::waitUntil(kReadDone, [&](tStatus& s) { return result_.readRegister(s); },
                        atut::anyBitSet(kReadDoneMask), status);
        if (status.isFatal()) return 0xFFFFFFFF;
        return result_.getBits15_0(status);
    }

private:
    static constexpr auto kReady =
        atut::Wait<atut::tSpinPrecise>().pausesUs(50, 100).deadlineUs(500).timeoutStatus(kStatusPowerMonitorNotReady);
    static constexpr auto kReadDone = atut::Wait<atut::tSleepPrecise>().pausesUs(100, 2000).deadlineUs(10000).timeoutStatus(
        kStatusPowerMonitorReadNotDone);

    void waitReady(tStatus& status) {
        atut::waitUntil(kReady, [&](tStatus& s) { return result_.readRegister(s); },
                        atut::maskedEquals(kReadyMask, kReadyValue), status);
    }

    tCommandReg command_;
    tReadReg result_;
    tMutex* lock_;
};

}  // namespace kzvoltixsharedsource
