// The flash as a device window: byte ranges are cut at sector boundaries and handed to one flash
// sector per touched sector, made on first touch and kept until the window goes.
#pragma once

#include <cstdint>

#include "deviceWindow/deviceWindow.h"
#include "deviceWindow/flashController.h"
#include "deviceWindow/flashSector.h"
#include "kzapal/protons/synchronization.h"
#include "kzhtl/vector.h"

namespace devicewindow {

class FlashWindow : public DeviceWindow {
public:
    // The controller is not owned.
    FlashWindow(FlashController& controller, tStatus& status);
    ~FlashWindow() override;

    void get(uint64_t offset, uint64_t size, char* destination, tStatus& status) override;
    void set(const char* source, uint64_t offset, uint64_t size, tStatus& status) override;
    void flush(uint64_t offset, uint64_t size, bool force, tStatus& status) override;
    void read(uint64_t offset, uint64_t size, char* destination, tStatus& status) override;
    void write(const char* source, uint64_t offset, uint64_t size, bool force, tStatus& status) override;
    void refresh(uint64_t offset, uint64_t size, tStatus& status) override;
    uint64_t getSizeInBytes() override { return controller_->getSize(); }

private:
    // Calls visit(sector, position in the sector, piece size, bytes already done) for each sector the
    // range touches, stopping at the first failure.
    template <class tVisit>
    void walk(uint64_t offset, uint64_t size, const void* pointer, bool needsPointer, tVisit visit, tStatus& status);
    FlashSector* sectorAt(uint64_t index, tStatus& status);

    FlashController* controller_;
    kzvorn_driver::nKZAPAL000::tMutex lock_;
    kzhtl::Vector<FlashSector*> sectors_;
};

}  // namespace devicewindow
