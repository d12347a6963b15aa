#include "kzapal/protons/dma/dmaMap.h"


#include "kzapal/protons/memory.h"
#include "kzapal/protons/pciDevice.h"
#include "kzapal/protons/statusCodes.h"
#include "kzkal/dma.h"
#include "kzkal/memory.h"
#include "kzkal/user.h"

namespace kzvorn_driver {
namespace nKZAPAL000 {

namespace {

using nKZAPALS100::tStatus;

constexpr uint32_t kFlagBelow4G = 2;
// A bounce buffer is plain DMA memory; 32-bit addressing adds the flag that keeps it below 4 GiB.
constexpr uint32_t kBounceFlags = 0;
constexpr uint64_t kAddressLimit32 = 0x100000000ull;

const tPCIDescription* pciOf(const tDMAConfiguration& configuration) {
    return static_cast<const tPCIDescription*>(configuration.description);
}

// Pages a mapping of `size` bytes may touch: one more for a range that does not start on a page
// boundary.
uint64_t mappingPages(uint64_t size, uint64_t pageSize) {
    return size <= 1 ? size : size / pageSize + (size % pageSize != 0 ? 1 : 0) + 1;
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
    const uint64_t pages = mappingPages(size, nKZKAL100_getPageSize());
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

tDirectDMAMap::tDirectDMAMap(tDMAConfiguration& configuration)
    : tDMAMapCore(configuration), memoryOver4G_(nKZKAL200_isAddressableMemOver4G() != 0) {}

tDirectDMAMap::~tDirectDMAMap() { release(); }

bool tDirectDMAMap::redirectsAbove4G() const {
    return memoryOver4G_ && configuration_->type == tDMAConfiguration::kDMAType32;
}

// Both arrays hold an entry per page the range may touch: a stretch or a segment takes one at least.
void tDirectDMAMap::reserve(uint64_t size, tStatus& status) {
    if (status.isFatal()) return;
    const uint64_t pages = mappingPages(size, nKZKAL100_getPageSize());
    if (capacity_ >= pages) return;
    // The segment count is 32 bits wide.
    if (pages > 0xFFFFFFFFull) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusMemoryFull);
        return;
    }
    auto* segments = new (status) tSGLSegment[pages];
    auto* records = redirectsAbove4G() ? new (status) tBounceRecord[pages] : nullptr;
    if (status.isFatal()) {
        delete[] segments;
        delete[] records;
        return;
    }
    delete[] segments_;
    delete[] records_;
    segments_ = segments;
    records_ = records;
    capacity_ = pages;
}

void tDirectDMAMap::release() {
    unmap();
    delete[] segments_;
    delete[] records_;
    segments_ = nullptr;
    records_ = nullptr;
    capacity_ = 0;
    if (bounce_.handle != nullptr) configuration_->freeDMABuffer(bounce_);
}

// A map replaces the previous one.
void tDirectDMAMap::map(tPageList& pageList, uint64_t offset, uint64_t size, uint32_t fromDevice, tStatus& status) {
    unmap();
    offset_ = offset;
    size_ = size;
    fromDevice_ = fromDevice;
    reserve(size, status);
    if (status.isNotFatal() &&
        (pageList.handle == nullptr || size == 0 || offset > pageList.size || size > pageList.size - offset))
        KZ_SET_CODE(status, nKZAPALS100::kStatusBadParameter);
    if (status.isNotFatal()) {
        pageList_ = &pageList;
        const bool resolved = findRedirectedStretches(status);
        if (status.isNotFatal() && !(resolved && buildSegments() && probeKernelMappings()))
            KZ_SET_CODE(status, nKZAPALS100::kStatusNoKernelMapping);
    }
    if (status.isFatal()) unmap();
}

void tDirectDMAMap::unmap() {
    pageList_ = nullptr;
    segmentCount_ = 0;
    segmentIndex_ = 0;
    recordCount_ = 0;
    offset_ = 0;
    size_ = 0;
}

// Walks [at, at + length) of the page list a page at a time: fn(offset from at, byte offset in
// the page list, length); false as soon as fn is.
template <class tFn>
bool tDirectDMAMap::walkPages(uint64_t at, uint64_t length, tFn fn) {
    const uint64_t pageSize = nKZKAL100_getPageSize();
    for (uint64_t done = 0; done < length;) {
        const uint64_t inPage = (at + done) % pageSize;
        const uint64_t chunk = length - done < pageSize - inPage ? length - done : pageSize - inPage;
        if (!fn(done, at + done, chunk)) return false;
        done += chunk;
    }
    return true;
}

template <class tFn>
bool tDirectDMAMap::walkRange(tFn fn) {
    return walkPages(pageList_->offset + offset_, size_, fn);
}

// A stretch keeps its offset within the page in the bounce buffer, so that each of its pages
// meets one bounce page; the bounce buffer grows to the last stretch's end (a failure there goes
// into the status). False for a page without a physical address.
bool tDirectDMAMap::findRedirectedStretches(tStatus& status) {
    if (!redirectsAbove4G()) return true;
    const uint64_t pageSize = nKZKAL100_getPageSize();
    uint64_t bounceEnd = 0;
    const bool walked = walkRange([&](uint64_t rangeOffset, uint64_t at, uint64_t length) {
        const uint64_t physical = nKZKAL220_tPageList_getPhysicalAddress(pageList_->handle, at);
        if (physical == 0) return false;
        if (physical + length <= kAddressLimit32) return true;
        tBounceRecord* last = recordCount_ != 0 ? &records_[recordCount_ - 1] : nullptr;
        if (last != nullptr && last->rangeOffset + last->length == rangeOffset) {
            last->length += length;
        } else {
            const uint64_t page = (bounceEnd + pageSize - 1) / pageSize * pageSize;
            last = &records_[recordCount_++];
            *last = {rangeOffset, page + at % pageSize, length};
        }
        bounceEnd = last->bounceOffset + last->length;
        return true;
    });
    if (!walked) return false;
    if (bounceEnd > bounce_.size) {
        if (bounce_.handle != nullptr) configuration_->freeDMABuffer(bounce_);
        configuration_->allocateDMABuffer(bounce_, bounceEnd, kBounceFlags, status, pageSize);
    }
    return true;
}

bool tDirectDMAMap::buildSegments() {
    uint32_t record = 0;
    return walkRange([&](uint64_t rangeOffset, uint64_t at, uint64_t length) {
        while (record < recordCount_ && rangeOffset >= records_[record].rangeOffset + records_[record].length) ++record;
        if (record < recordCount_ && rangeOffset >= records_[record].rangeOffset)
            return addSegment(bounce_, records_[record].bounceOffset + (rangeOffset - records_[record].rangeOffset),
                              length);
        return addSegment(*pageList_, at, length);
    });
}

// Physically contiguous pages make one segment.
bool tDirectDMAMap::addSegment(tPageList& list, uint64_t byteOffset, uint64_t length) {
    const uint64_t physical = nKZKAL220_tPageList_getPhysicalAddress(list.handle, byteOffset);
    if (physical == 0) return false;
    tSGLSegment* last = segmentCount_ != 0 ? &segments_[segmentCount_ - 1] : nullptr;
    if (last != nullptr && last->address + last->length == physical) {
        last->length += length;
        return true;
    }
    if (segmentCount_ == capacity_) return false;
    segments_[segmentCount_++] = {physical, length};
    return true;
}

// The copies cannot report a failure, so every page they will map is tried once here. A stretch
// keeps its offset within the page in the bounce buffer, so each chunk meets one page on each side.
bool tDirectDMAMap::probeKernelMappings() {
    const uint64_t pageSize = nKZKAL100_getPageSize();
    auto probe = [](tPageList& list, uint64_t page) {
        void* mapped = nKZKAL220_tPageList_mapOnePageToKernel(list.handle, page);
        if (mapped != nullptr) nKZKAL220_tPageList_unmapOnePageFromKernel(list.handle, mapped);
        return mapped != nullptr;
    };
    for (uint32_t r = 0; r < recordCount_; ++r) {
        const tBounceRecord& stretch = records_[r];
        const bool mapped = walkPages(pageList_->offset + offset_ + stretch.rangeOffset, stretch.length,
                                      [&](uint64_t done, uint64_t at, uint64_t) {
                                          return probe(*pageList_, at / pageSize) &&
                                                 probe(bounce_, (stretch.bounceOffset + done) / pageSize);
                                      });
        if (!mapped) return false;
    }
    return true;
}

void tDirectDMAMap::copyStretches(bool toBounce, uint64_t limit) {
    for (uint32_t r = 0; r < recordCount_ && records_[r].rangeOffset < limit; ++r) {
        const tBounceRecord& stretch = records_[r];
        const uint64_t length =
            limit - stretch.rangeOffset < stretch.length ? limit - stretch.rangeOffset : stretch.length;
        walkPages(pageList_->offset + offset_ + stretch.rangeOffset, length,
                  [&](uint64_t done, uint64_t at, uint64_t chunk) {
                      if (toBounce)
                          copyPage(*pageList_, at, bounce_, stretch.bounceOffset + done, chunk);
                      else
                          copyPage(bounce_, stretch.bounceOffset + done, *pageList_, at, chunk);
                      return true;
                  });
    }
}

// Both sides share the offset within the page. A page that cannot be mapped now, after the probe
// at map, is left as it is.
void tDirectDMAMap::copyPage(tPageList& from, uint64_t fromOffset, tPageList& to, uint64_t toOffset,
                             uint64_t length) {
    const uint64_t pageSize = nKZKAL100_getPageSize();
    auto* source = static_cast<uint8_t*>(nKZKAL220_tPageList_mapOnePageToKernel(from.handle, fromOffset / pageSize));
    auto* target = static_cast<uint8_t*>(nKZKAL220_tPageList_mapOnePageToKernel(to.handle, toOffset / pageSize));
    if (source != nullptr && target != nullptr)
        nKZKAL180_memCpy(target + toOffset % pageSize, source + fromOffset % pageSize, length);
    if (source != nullptr) nKZKAL220_tPageList_unmapOnePageFromKernel(from.handle, source);
    if (target != nullptr) nKZKAL220_tPageList_unmapOnePageFromKernel(to.handle, target);
}

void tDirectDMAMap::prepareForDMA() {
    if (pageList_ != nullptr && fromDevice_ == 0) copyStretches(true, ~uint64_t{0});
}

void tDirectDMAMap::completeDMA(uint64_t byteCount) {
    if (pageList_ != nullptr && fromDevice_ != 0 && byteCount != 0) copyStretches(false, byteCount);
}

tSGLSegment tDirectDMAMap::nextSGLSegment() {
    if (!moreSGLSegments()) return {0, 0};
    return segments_[segmentIndex_++];
}

}  // namespace nKZAPAL000
}  // namespace kzvorn_driver
