// One sector of a flash window: the bytes callers see and change (working copy) and what the flash
// holds as far as the driver knows (flash copy). A flush that finds a change rewrites the whole
// sector.
#pragma once

#include <cstdint>

#include "deviceWindow/deviceWindow.h"
#include "deviceWindow/statusCodes.h"
#include "deviceWindow/flashController.h"
#include "kzhtl/vector.h"

namespace devicewindow {

class FlashSector : public DeviceWindow {
public:
    // Reads the sector. When that fails the sector is unusable and its owner discards it, so that
    // nothing it holds is ever written back.
    FlashSector(FlashController& controller, uint64_t sectorAddress, tStatus& status);

    // Offsets are relative to the sector. No lock: the window's lock covers every call.
    void get(uint64_t offset, uint64_t size, char* destination, tStatus& status) override;
    void set(const char* source, uint64_t offset, uint64_t size, tStatus& status) override;
    void flush(uint64_t offset, uint64_t size, bool force, tStatus& status) override;
    void read(uint64_t offset, uint64_t size, char* destination, tStatus& status) override;
    void write(const char* source, uint64_t offset, uint64_t size, bool force, tStatus& status) override;
    void refresh(uint64_t offset, uint64_t size, tStatus& status) override;
    uint64_t getSizeInBytes() override { return workingCopy_.size(); }

private:
    bool checkRange(uint64_t offset, uint64_t size, tStatus& status) {
        return devicewindow::checkRange(offset, size, getSizeInBytes(), kStatusAddressOutsideFlash, status);
    }
    bool checkPointerAndRange(const void* pointer, uint64_t offset, uint64_t size, tStatus& status) {
        return devicewindow::checkPointerAndRange(pointer, offset, size, getSizeInBytes(), kStatusAddressOutsideFlash,
                                                  status);
    }
    // Replaces the flash copy only when the whole sector was read.
    bool reloadFlashCopy(tStatus& status);
    void rewrite(tStatus& status);

    FlashController* controller_;
    uint64_t sectorAddress_;
    kzhtl::Vector<char> workingCopy_;
    kzhtl::Vector<char> flashCopy_;
    // After a failed rewrite the flash holds a partly erased or programmed sector, whatever the
    // copies say: the next flush rewrites it.
    bool rewritePending_ = false;
};

}  // namespace devicewindow
