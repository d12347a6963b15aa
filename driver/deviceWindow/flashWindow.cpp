#include "deviceWindow/flashWindow.h"

#include "deviceWindow/statusCodes.h"
#include "kzapal/protons/memory.h"

namespace devicewindow {

using kzvorn_driver::nKZAPAL000::tAutoLock;

FlashWindow::FlashWindow(FlashController& controller, tStatus& status) : controller_(&controller), lock_(status) {
    if (status.isFatal()) return;
    const uint64_t sectorSize = controller.getSectorSize();
    if (sectorSize == 0 || controller.getSize() % sectorSize != 0) {
        KZ_SET_CODE(status, kStatusFlashSizeNotSectorMultiple);
        return;
    }
    sectors_.resize(controller.getNumberOfSectors(), status);
}

FlashWindow::~FlashWindow() {
    for (FlashSector* sector : sectors_) delete sector;
}

FlashSector* FlashWindow::sectorAt(uint64_t index, tStatus& status) {
    if (status.isFatal()) return nullptr;
    if (sectors_[index] != nullptr) return sectors_[index];
    const uint64_t address = controller_->sectorAddress(index, status);
    FlashSector* sector = new (status) FlashSector(*controller_, address, status);
    if (status.isFatal()) {
        // Never kept: a sector whose read failed holds no true copy of the flash, and writing it
        // back would destroy the sector. The next access reads it again.
        delete sector;
        return nullptr;
    }
    sectors_[index] = sector;
    return sector;
}

template <class tVisit>
void FlashWindow::walk(uint64_t offset, uint64_t size, const void* pointer, bool needsPointer, tVisit visit,
                       tStatus& status) {
    if (!checkRange(offset, size, controller_->getSize(), kStatusAddressOutsideFlash, status)) return;
    if (needsPointer && pointer == nullptr) {
        KZ_SET_CODE(status, kStatusNullPointer);
        return;
    }
    const uint64_t sectorSize = controller_->getSectorSize();
    uint64_t index = controller_->sectorIndex(offset, status);
    uint64_t position = offset & (sectorSize - 1);
    for (uint64_t done = 0; done < size && status.isNotFatal(); ++index, position = 0) {
        FlashSector* sector = sectorAt(index, status);
        if (sector == nullptr) return;
        const uint64_t remaining = size - done;
        const uint64_t piece = remaining < sectorSize - position ? remaining : sectorSize - position;
        visit(*sector, position, piece, done, status);
        done += piece;
    }
}

void FlashWindow::get(uint64_t offset, uint64_t size, char* destination, tStatus& status) {
    tAutoLock hold(lock_);
    walk(offset, size, destination, true,
         [&](FlashSector& sector, uint64_t position, uint64_t piece, uint64_t done, tStatus& s) {
             sector.get(position, piece, destination + done, s);
         },
         status);
}

void FlashWindow::set(const char* source, uint64_t offset, uint64_t size, tStatus& status) {
    tAutoLock hold(lock_);
    walk(offset, size, source, true,
         [&](FlashSector& sector, uint64_t position, uint64_t piece, uint64_t done, tStatus& s) {
             sector.set(source + done, position, piece, s);
         },
         status);
}

void FlashWindow::flush(uint64_t offset, uint64_t size, bool force, tStatus& status) {
    tAutoLock hold(lock_);
    walk(offset, size, nullptr, false,
         [&](FlashSector& sector, uint64_t position, uint64_t piece, uint64_t, tStatus& s) {
             sector.flush(position, piece, force, s);
         },
         status);
}

void FlashWindow::refresh(uint64_t offset, uint64_t size, tStatus& status) {
    tAutoLock hold(lock_);
    walk(offset, size, nullptr, false,
         [&](FlashSector& sector, uint64_t position, uint64_t piece, uint64_t, tStatus& s) {
             sector.refresh(position, piece, s);
         },
         status);
}

void FlashWindow::read(uint64_t offset, uint64_t size, char* destination, tStatus& status) {
    tAutoLock hold(lock_);
    refresh(offset, size, status);
    get(offset, size, destination, status);
}

void FlashWindow::write(const char* source, uint64_t offset, uint64_t size, bool force, tStatus& status) {
    if (status.isFatal()) return;
    if (source == nullptr) {
        KZ_SET_CODE(status, kStatusNullPointer);
        return;
    }
    tAutoLock hold(lock_);
    set(source, offset, size, status);
    flush(offset, size, force, status);
}

}  // namespace devicewindow
