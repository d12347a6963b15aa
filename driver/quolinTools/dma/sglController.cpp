#include "quolinTools/dma/sglController.h"

#include "kzapal/protons/memory.h"
#include "kzkal/dma.h"
#include "kzkal/user.h"

namespace quolintools {

namespace {

using kzvorn_driver::nKZAPAL000::tAutoLock;
using kzvorn_driver::nKZAPAL000::tQuolinSGL;
using kzvorn_driver::nKZAPAL000::tSGLSegment;
using kzvorn_driver::nKZAPAL000::tUserBuffer;

constexpr uint32_t kPinFlags = 0x10;

uint64_t descriptorsFor(uint64_t segmentLength) {
    return segmentLength == 0 ? 1 : (segmentLength - 1) / tQuolinSGL::kMaxDescriptorBytes + 1;
}

}  // namespace

SGLController::SGLController(tDMAConfiguration& configuration, uint32_t linkSize, uint32_t allowedDirection,
                             bool commitOnly, tStatus& status)
    : mutex_(status), usable_(status.isNotFatal()), configuration_(&configuration), linkSize_(linkSize),
      lists_(&finite_, &continuous_, commitOnly), allowedDirection_(allowedDirection) {
    if (status.isFatal()) return;
    tAutoLock lock(mutex_);
    initializeLists(status);
}

SGLController::~SGLController() { releaseBuffers(); }

// Only the lists without a first link: a reset whose allocation failed leaves them so, and the
// next buffer makes them, instead of the stream refusing buffers (-52017) until the device resets.
void SGLController::initializeLists(tStatus& status) {
    if (finite_.getFirstLink() == nullptr) finite_.initialize(*configuration_, linkSize_, status);
    if (continuous_.getFirstLink() == nullptr) continuous_.initialize(*configuration_, linkSize_, status);
}

// Counts and directions as the callers' requests name them; sizes and list kinds before anything
// is allocated or pinned, so that no page arithmetic can wrap.
bool SGLController::checkBuffer(uint32_t listKind, const tUserBuffer& buffer, uint32_t direction, uint32_t count,
                                tStatus& status) const {
    if (count == 0) {
        KZ_SET_CODE(status, KZ_DEVICE_CODE(kCountZero));
        return false;
    }
    if (direction > kFromDevice || (direction != allowedDirection_ && allowedDirection_ != kEitherDirection)) {
        KZ_SET_CODE(status, KZ_DEVICE_CODE(kDirectionNotAllowed));
        return false;
    }
    const uint64_t pageSize = nKZKAL100_getPageSize();
    const uint64_t address = buffer.getAddress();
    const uint64_t size = buffer.getSize();
    const uint64_t offset = address % pageSize;
    const uint64_t limit = ~uint64_t{0} - offset - (pageSize - 1);
    if (listKind > kContinuousList || size == 0 || size > ~uint64_t{0} - address || size > limit ||
        (size + offset + pageSize - 1) / pageSize > 0xFFFFFFFFull) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusBadParameter);
        return false;
    }
    if (!usable_) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusNoKernelMapping);
        return false;
    }
    return true;
}

void SGLController::pinAndMap(tBufferMap& map, const tUserBuffer& buffer, uint32_t direction, tStatus& status) {
    const uint64_t pageSize = nKZKAL100_getPageSize();
    const uint64_t offset = buffer.getAddress() % pageSize;
    const uint64_t pages = (buffer.getSize() + offset + pageSize - 1) / pageSize;
    void* pinned = nKZKAL220_tPageList_createFromUser(buffer.getAddress() - offset, static_cast<uint32_t>(pages),
                                                      kPinFlags);
    if (pinned == nullptr) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusPageLockFailed);
        return;
    }
    map.pageList.size = buffer.getSize();
    map.pageList.offset = offset;
    map.pageList.handle = pinned;
    map.map(map.pageList, 0, buffer.getSize(), direction == kFromDevice, status);
}

// The same pages `count` times in a row; the whole request is refused when it would take the list
// above its descriptor limit.
void SGLController::append(uint32_t listKind, tBufferMap& map, uint32_t count, tStatus& status) {
    if (status.isFatal()) return;
    uint64_t perCopy = 0;
    for (map.resetSGLIterator(); map.moreSGLSegments();) perCopy += descriptorsFor(map.nextSGLSegment().length);
    uint64_t& total = descriptors_[listKind];
    if (perCopy != 0 && count > (kMaxDescriptors - total) / perCopy) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusBadParameter);
        return;
    }
    total += perCopy * count;
    for (uint32_t copy = 0; copy < count && status.isNotFatal(); ++copy) {
        map.resetSGLIterator();
        if (listKind == kFiniteList) finite_.addTransfer(map, status);
        else continuous_.addTransfer(map, status);
    }
}

void SGLController::appendRecord(tBufferRecord* record) {
    if (buffers_ == nullptr) {
        record->next = record->previous = record;
        buffers_ = record;
        return;
    }
    tBufferRecord* tail = buffers_->previous;
    record->previous = tail;
    record->next = buffers_;
    tail->next = record;
    buffers_->previous = record;
}

// A record whose mapping exists joins the buffer list also when pinning, mapping or appending
// failed, so that the next reset releases what was taken.
void SGLController::addBuffer(uint32_t listKind, tUserBuffer& buffer, uint32_t direction, uint32_t count,
                              tStatus& status) {
    if (status.isFatal() || !checkBuffer(listKind, buffer, direction, count, status)) return;
    tAutoLock lock(mutex_);
    initializeLists(status);
    if (status.isFatal()) return;
    auto* record = new (status) tBufferRecord{nullptr, nullptr, nullptr};
    if (record == nullptr) return;
    record->map = new (status) tBufferMap(*configuration_);
    if (record->map == nullptr) {
        delete record;
        return;
    }
    pinAndMap(*record->map, buffer, direction, status);
    append(listKind, *record->map, count, status);
    appendRecord(record);
}

void SGLController::releaseBuffers() {
    if (!usable_) return;
    tAutoLock lock(mutex_);
    while (buffers_ != nullptr) {
        tBufferRecord* record = buffers_;
        if (record->next == record) {
            buffers_ = nullptr;
        } else {
            record->previous->next = record->next;
            record->next->previous = record->previous;
            buffers_ = record->next;
        }
        tBufferMap* map = record->map;
        map->unmap();
        nKZKAL220_tPageList_destroy(map->pageList.handle);
        map->pageList.size = 0;
        map->pageList.offset = 0;
        map->pageList.handle = nullptr;
        delete map;
        delete record;
    }
}

// Two requests on one stream never change its lists at once: reset, commit and releaseBuffers
// take the lock that addBuffer takes.
void SGLController::reset(tStatus& status) {
    if (!usable_) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusNoKernelMapping);
        return;
    }
    tAutoLock lock(mutex_);
    finite_.uninitialize();
    continuous_.uninitialize();
    descriptors_[kFiniteList] = 0;
    descriptors_[kContinuousList] = 0;
    initializeLists(status);
    releaseBuffers();
}

void SGLController::commit(tStatus& status) {
    if (status.isFatal()) return;
    if (!usable_) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusNoKernelMapping);
        return;
    }
    tAutoLock lock(mutex_);
    lists_.commit(status);
}

}  // namespace quolintools
