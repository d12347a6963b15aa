// One isolated register access port of the non-isolated FPGA: a status word (bit 17 ready for a new
// access, bit 16 read response, bit 31 access fault), an address word whose write starts the
// access (bits 12-0 the isolated word address, bit 16 the access type) and a data word with a write
// side and a read side. Every access holds the port's recursive lock from the ready wait to the
// last step, so accesses through one port never interleave; the device's checkers run inside it
// when the port reports a fault, and may read through the same port.
#pragma once

#include <cstdint>

#include "atut/poller.h"
#include "kdut/hardwareStateChecker.h"
#include "kzapal/protons/synchronization.h"
#include "kzvoltixSharedSource/frontEndAccessorInterface.h"

namespace kzvoltixsharedsource {

constexpr int64_t kStatusIsoRegAccessNotReady = KZ_DEVICE_CODE(0xBFFA4680);
constexpr int64_t kStatusIsoRegAccessNoResponse = KZ_DEVICE_CODE(0xBFFA4681);

// tMap offers the port registers' types: the write-data and read-data words, the address word
// (writeIsoRegAddr, setIsoRegAccessType) and the status word (readRegister).
template <class tMap, class tAccessType, tAccessType kReadAccess, tAccessType kWriteAccess>
class WindowedFrontEndAccessor : public FrontEndAccessorInterface {
public:
    using tStatus = nKZAPALS100::tStatus;
    using tWriteDataReg = typename tMap::tIsoRegAccessWriteDataRegType;
    using tReadDataReg = typename tMap::tIsoRegAccessReadDataRegType;
    using tAddressReg = typename tMap::tIsoRegAccessAddrRegType;
    using tStatusReg = typename tMap::tIsoRegAccessStatusRegType;

    // The lock's kernel mutex is created only when the status holds no error (-52000 when refused).
    WindowedFrontEndAccessor(const tWriteDataReg& writeData, const tReadDataReg& readData, const tAddressReg& address,
                             const tStatusReg& portStatus, kdut::HardwareStateCheckerComposite& checkers,
                             tStatus& status)
        : writeData_(writeData), readData_(readData), address_(address), status_(portStatus), checkers_(&checkers),
          lock_(status) {}
    ~WindowedFrontEndAccessor() override {}
    WindowedFrontEndAccessor(const WindowedFrontEndAccessor&) = delete;
    WindowedFrontEndAccessor& operator=(const WindowedFrontEndAccessor&) = delete;

    // Returns once the port has taken the access; the next access's ready wait covers its completion.
    void write32(uint32_t address, uint32_t value, tStatus& status) override {
        if (status.isFatal()) return;
        kzvorn_driver::nKZAPAL000::tAutoLock guard(lock_);
        atut::waitUntil(kReady, [&](tStatus& s) { return pollIsoRegAccessStatusReadyForNewAccess(s); }, kTrue, status);
        // Both words go out on every access, even when their shadows already hold them.
        writeData_.writeRegister(value, status, true);
        start(address, kWriteAccess, status);
    }

    // After a failure past the lock, the read-data word's previous value.
    uint32_t read32(uint32_t address, tStatus& status) override {
        if (status.isFatal()) return 0xFFFFFFFF;
        kzvorn_driver::nKZAPAL000::tAutoLock guard(lock_);
        atut::waitUntil(kReady, [&](tStatus& s) { return pollIsoRegAccessStatusReadyForNewAccess(s); }, kTrue, status);
        start(address, kReadAccess, status);
        atut::waitUntil(kResponse, [&](tStatus& s) { return pollIsoRegAccessStatusNewIsoRegReadResponse(s); }, kTrue,
                        status);
        return readData_.readRegister(status);
    }

    bool pollIsoRegAccessStatusReadyForNewAccess(tStatus& status) {
        return test(tStatusReg::kIsoRegReadyForNewAccess, status);
    }
    bool pollIsoRegAccessStatusNewIsoRegReadResponse(tStatus& status) {
        return test(tStatusReg::kNewIsoRegReadResponse, status);
    }

private:
    // Bit 31 of the status word: the access faulted.
    static constexpr uint64_t kFaultBit = arm::fieldMask(tStatusReg::kBit31);
    static constexpr auto kReady = atut::Wait<atut::tSleepPrecise>().pausesUs(1000, 1000).deadlineUs(500000).timeoutStatus(
        kStatusIsoRegAccessNotReady);
    static constexpr auto kResponse = atut::Wait<atut::tSleepPrecise>().pausesUs(5, 100000).deadlineUs(500000).timeoutStatus(
        kStatusIsoRegAccessNoResponse);
    static constexpr atut::PollUntil kTrue = atut::maskedEquals(0xFFFFFFFF, 1);

    // The status word read fresh (its old shadow when the status already holds an error); with the
    // fault bit set the checkers run and the test fails.
    bool test(const arm::FieldDesc& bit, tStatus& status) {
        const uint32_t word = status_.readRegister(status);
        if ((word & kFaultBit) != 0) {
            checkers_->checkHardwareStateOnFault(status);
            return false;
        }
        return arm::fieldValue(word, bit) != 0;
    }

    // The address field drops the higher address bits. The address word's keep mask clears the
    // address and the access type from its shadow after the write.
    void start(uint32_t address, tAccessType type, tStatus& status) {
        address_.setIsoRegAccessType(type == kReadAccess, status);
        address_.writeIsoRegAddr(uint16_t(address), status, true);
    }

    tWriteDataReg writeData_;
    tReadDataReg readData_;
    tAddressReg address_;
    tStatusReg status_;
    kdut::HardwareStateCheckerComposite* checkers_;
    kzvorn_driver::nKZAPAL000::tMutex lock_;
};

}  // namespace kzvoltixsharedsource
