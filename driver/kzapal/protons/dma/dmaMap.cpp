#include "kzapal/protons/dma/dmaMap.h"

#include "kzapal/protons/pciDevice.h"
#include "kzapal/protons/statusCodes.h"
#include "kzkal/dma.h"
#include "kzkal/user.h"

namespace kzvorn_driver {
namespace nKZAPAL000 {

namespace {

using nKZAPALS100::tStatus;

constexpr uint32_t kFlagBelow4G = 2;

const tPCIDescription* pciOf(const tDMAConfiguration& configuration) {
    return static_cast<const tPCIDescription*>(configuration.description);
}

}  // namespace

tPageList::~tPageList() { nKZKAL220_tPageList_destroy(handle); }

void tDMAConfiguration::allocateDMABuffer(tPageList& pageList, uint64_t size, uint32_t flags, tStatus& status,
                                          uint64_t alignment) {
    if (status.isFatal()) return;
    if (type == kDMATypeNone) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusFeatureNotSupported);
        return;
    }
    if (type == kDMAType32) flags |= kFlagBelow4G;
    const tPCIDescription* pci = pciOf(*this);
    const int32_t node = pci != nullptr ? pci->numaNode : -1;
    pageList.size = 0;
    pageList.offset = 0;
    pageList.handle = nullptr;
    const uint64_t pageSize = nKZKAL100_getPageSize();
    if (alignment == 0 || pageSize % alignment != 0 || size > ~uint64_t{0} - (pageSize - 1)) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusBadParameter);
        return;
    }
    const uint64_t pages = (size + pageSize - 1) / pageSize;
    void* handle = node == -1 ? nKZKAL220_tPageList_createFromAllocation(pages, flags)
                              : nKZKAL1_tPageList_createFromAllocationNUMA(pages, flags, node);
    if (handle == nullptr) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusMemoryFull);
        return;
    }
    pageList.size = pages * pageSize;
    pageList.handle = handle;
}

void tDMAConfiguration::freeDMABuffer(tPageList& pageList) {
    nKZKAL220_tPageList_destroy(pageList.handle);
    pageList.size = 0;
    pageList.offset = 0;
    pageList.handle = nullptr;
}

tStandardDMAMap::~tStandardDMAMap() {
    if (list_ != nullptr) nKZKAL220_tSGL_destroy(list_);
}

void tStandardDMAMap::reserve(uint64_t size, tStatus& status) {
    if (status.isFatal()) return;
    const uint64_t pageSize = nKZKAL100_getPageSize();
    // One page more for a range that does not start on a page boundary.
    const uint64_t pages = size <= 1 ? size : size / pageSize + (size % pageSize != 0 ? 1 : 0) + 1;
    if (capacity_ >= pages) return;
    const tPCIDescription* pci = pciOf(*configuration_);
    void* list = nKZKAL220_tSGL_createForPCI(pci != nullptr ? pci->device.kernelPCIDevice : nullptr, pages);
    if (list == nullptr) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusMemoryFull);
        return;
    }
    if (list_ != nullptr) nKZKAL220_tSGL_destroy(list_);
    list_ = list;
    capacity_ = pages;
}

void tStandardDMAMap::release() {
    if (list_ == nullptr) return;
    nKZKAL220_tSGL_destroy(list_);
    list_ = nullptr;
    capacity_ = 0;
}

// An error on entry unmaps too: the map never stays half mapped.
void tStandardDMAMap::map(tPageList& pageList, uint64_t offset, uint64_t size, uint32_t fromDevice, tStatus& status) {
    offset_ = offset;
    size_ = size;
    fromDevice_ = fromDevice;
    reserve(size, status);
    if (status.isFatal()) {
        unmap();
        return;
    }
    KZ_SET_KERNEL_CODE(status,
                       nKZKAL220_tSGL_map(list_, pageList.handle, offset + pageList.offset, size, fromDevice != 0));
    if (status.isFatal()) unmap();
}

void tStandardDMAMap::unmap() {
    if (list_ != nullptr) nKZKAL220_tSGL_unmap(list_);
    segmentIndex_ = 0;
    offset_ = 0;
    size_ = 0;
}

void tStandardDMAMap::prepareForDMA() {
    if (list_ != nullptr) nKZKAL220_tSGL_prepareForDMA(list_);
}

void tStandardDMAMap::completeDMA(uint64_t byteCount) {
    if (byteCount != 0 && list_ != nullptr) nKZKAL220_tSGL_completeDMA(list_, byteCount);
}

uint32_t tStandardDMAMap::numSGLSegments() const { return list_ != nullptr ? nKZKAL220_tSGL_numSegments(list_) : 0; }

void tStandardDMAMap::resetSGLIterator() {
    if (list_ != nullptr) nKZKAL220_tSGL_iterate(list_);
    segmentIndex_ = 0;
}

bool tStandardDMAMap::moreSGLSegments() const {
    return list_ != nullptr && segmentIndex_ < nKZKAL220_tSGL_numSegments(list_);
}

tSGLSegment tStandardDMAMap::nextSGLSegment() {
    if (!moreSGLSegments()) return {0, 0};
    const tSGLSegment segment{nKZKAL220_tSGL_getSegmentAddress(list_), nKZKAL220_tSGL_getSegmentSize(list_)};
    nKZKAL220_tSGL_nextSegment(list_);
    ++segmentIndex_;
    return segment;
}

}  // namespace nKZAPAL000
}  // namespace kzvorn_driver
