#include "deviceWindow/flashSector.h"

#include "kzhtl/utility.h"

#include "deviceWindow/statusCodes.h"
#include "kzkal/memory.h"

namespace devicewindow {

namespace {

bool sameBytes(const char* a, const char* b, uint64_t size) {
    for (uint64_t i = 0; i < size; ++i) {
        if (a[i] != b[i]) return false;
    }
    return true;
}

}  // namespace

FlashSector::FlashSector(FlashController& controller, uint64_t sectorAddress, tStatus& status)
    : controller_(&controller), sectorAddress_(sectorAddress) {
    if (!workingCopy_.resize(controller.getSectorSize(), status)) return;
    if (reloadFlashCopy(status)) nKZKAL180_memCpy(workingCopy_.data(), flashCopy_.data(), workingCopy_.size());
}

bool FlashSector::reloadFlashCopy(tStatus& status) {
    kzhtl::Vector<char> fresh;
    if (!fresh.resize(controller_->getSectorSize(), status)) return false;
    controller_->readSector(sectorAddress_, fresh.data(), status);
    if (status.isFatal()) return false;
    flashCopy_ = kzhtl::move(fresh);
    rewritePending_ = false;
    return true;
}

void FlashSector::get(uint64_t offset, uint64_t size, char* destination, tStatus& status) {
    if (checkPointerAndRange(destination, offset, size, status) && size != 0) {
        nKZKAL180_memCpy(destination, workingCopy_.data() + offset, size);
    }
}

void FlashSector::set(const char* source, uint64_t offset, uint64_t size, tStatus& status) {
    if (checkPointerAndRange(source, offset, size, status) && size != 0) {
        nKZKAL180_memCpy(workingCopy_.data() + offset, source, size);
    }
}

void FlashSector::rewrite(tStatus& status) {
    controller_->writeSector(sectorAddress_, flashCopy_.data(), status);
    rewritePending_ = status.isFatal();
}

void FlashSector::flush(uint64_t offset, uint64_t size, bool force, tStatus& status) {
    if (!checkRange(offset, size, status)) return;
    const char* working = workingCopy_.data() + offset;
    char* flash = flashCopy_.data() + offset;
    if (!sameBytes(flash, working, size)) {
        // Only the range goes out; changes elsewhere in the sector wait for a flush that covers them.
        nKZKAL180_memCpy(flash, working, size);
        rewrite(status);
    } else if (force || rewritePending_) {
        rewrite(status);
    }
}

void FlashSector::refresh(uint64_t offset, uint64_t size, tStatus& status) {
    if (checkRange(offset, size, status) && reloadFlashCopy(status) && size != 0) {
        nKZKAL180_memCpy(workingCopy_.data() + offset, flashCopy_.data() + offset, size);
    }
}

void FlashSector::read(uint64_t offset, uint64_t size, char* destination, tStatus& status) {
    refresh(offset, size, status);
    get(offset, size, destination, status);
}

void FlashSector::write(const char* source, uint64_t offset, uint64_t size, bool force, tStatus& status) {
    set(source, offset, size, status);
    flush(offset, size, force, status);
}

}  // namespace devicewindow
