// Memory the device reaches by DMA: page lists, and device mappings of them handed out as
// bus-address segments.
#pragma once

#include <cstdint>

#include "kzapal/protons/deviceCore.h"
#include "kzapal/protons/status.h"

namespace kzvorn_driver {
namespace nKZAPAL000 {

// A page list of the kernel layer and the range of it in use. Destroys the kernel layer's list.
class tPageList {
public:
    tPageList() = default;
    ~tPageList();
    tPageList(const tPageList&) = delete;
    tPageList& operator=(const tPageList&) = delete;

    uint64_t size = 0;
    uint64_t offset = 0;  // from the start of the first page to the start of the range
    void* handle = nullptr;
};

struct tSGLSegment {
    uint64_t address;
    uint64_t length;
};

// A device mapping of a page-list range.
class tDMAMapCore {
public:
    explicit tDMAMapCore(tDMAConfiguration& configuration) : configuration_(&configuration) {}
    virtual ~tDMAMapCore() {}
    tDMAMapCore(const tDMAMapCore&) = delete;
    tDMAMapCore& operator=(const tDMAMapCore&) = delete;

    virtual void reserve(uint64_t size, nKZAPALS100::tStatus& status) = 0;
    virtual void release() = 0;
    virtual void map(tPageList& pageList, uint64_t offset, uint64_t size, uint32_t fromDevice,
                     nKZAPALS100::tStatus& status) = 0;
    virtual void unmap() = 0;
    virtual void prepareForDMA() = 0;
    virtual void completeDMA(uint64_t byteCount) = 0;
    virtual uint32_t numSGLSegments() const = 0;
    virtual void resetSGLIterator() = 0;
    virtual bool moreSGLSegments() const = 0;
    // {0, 0} when no segment is left.
    virtual tSGLSegment nextSGLSegment() = 0;

    tDMAConfiguration& getConfiguration() const { return *configuration_; }
    uint64_t getOffset() const { return offset_; }
    uint64_t getSize() const { return size_; }

protected:
    tDMAConfiguration* configuration_;
    uint64_t offset_ = 0;
    uint64_t size_ = 0;
    uint32_t fromDevice_ = 0;
};

// A device mapping over the kernel layer's scatter-gather list, which is kept for later maps of no
// more pages.
class tStandardDMAMap : public tDMAMapCore {
public:
    explicit tStandardDMAMap(tDMAConfiguration& configuration) : tDMAMapCore(configuration) {}
    // Destroys the list without unmapping: owners unmap first.
    ~tStandardDMAMap() override;

    void reserve(uint64_t size, nKZAPALS100::tStatus& status) override;
    void release() override;
    void map(tPageList& pageList, uint64_t offset, uint64_t size, uint32_t fromDevice,
             nKZAPALS100::tStatus& status) override;
    void unmap() override;
    void prepareForDMA() override;
    void completeDMA(uint64_t byteCount) override;
    uint32_t numSGLSegments() const override;
    void resetSGLIterator() override;
    bool moreSGLSegments() const override;
    tSGLSegment nextSGLSegment() override;

    uint64_t getCapacity() const { return capacity_; }
    uint64_t getSegmentIndex() const { return segmentIndex_; }

private:
    void* list_ = nullptr;
    uint64_t capacity_ = 0;
    uint64_t segmentIndex_ = 0;
};

// A device mapping by physical addresses, without the kernel layer's scatter-gather lists. With
// 32-bit addressing on a machine with memory above 4 GiB, every stretch of the range that reaches
// above 4 GiB is redirected into a bounce buffer below it: prepareForDMA copies such stretches in
// for the device, completeDMA copies them back after it, page by page. Nothing in the system
// constructs one.
class tDirectDMAMap : public tDMAMapCore {
public:
    // Where a stretch of the range lies in the bounce buffer.
    struct tBounceRecord {
        uint64_t rangeOffset;  // from the start of the mapped range
        uint64_t bounceOffset;
        uint64_t length;
    };

    explicit tDirectDMAMap(tDMAConfiguration& configuration);
    ~tDirectDMAMap() override;

    void reserve(uint64_t size, nKZAPALS100::tStatus& status) override;
    void release() override;
    // A range past the list: -52005; a page without a physical address, or a redirected page that
    // cannot be mapped into kernel space: -52017; a bounce buffer that cannot be had: -52000. A
    // failed map is unmapped again (offset, size, segments and records 0), keeping what reserve made.
    void map(tPageList& pageList, uint64_t offset, uint64_t size, uint32_t fromDevice,
             nKZAPALS100::tStatus& status) override;
    void unmap() override;
    void prepareForDMA() override;
    void completeDMA(uint64_t byteCount) override;
    uint32_t numSGLSegments() const override { return segmentCount_; }
    void resetSGLIterator() override { segmentIndex_ = 0; }
    bool moreSGLSegments() const override { return segmentIndex_ < segmentCount_; }
    tSGLSegment nextSGLSegment() override;

    bool redirectsAbove4G() const;
    uint32_t getBounceRecordCount() const { return recordCount_; }
    const tBounceRecord* getBounceRecords() const { return records_; }
    uint64_t getBounceBufferSize() const { return bounce_.size; }

private:
    template <class tFn>
    static bool walkPages(uint64_t at, uint64_t length, tFn fn);
    // Walks the range a page at a time: fn(range offset, byte offset in the page list, length).
    template <class tFn>
    bool walkRange(tFn fn);
    bool findRedirectedStretches(nKZAPALS100::tStatus& status);
    bool buildSegments();
    bool addSegment(tPageList& list, uint64_t byteOffset, uint64_t length);
    bool probeKernelMappings();
    // Copies the first `limit` bytes of the redirected stretches: into the bounce buffer, or back.
    void copyStretches(bool toBounce, uint64_t limit);
    void copyPage(tPageList& from, uint64_t fromOffset, tPageList& to, uint64_t toOffset, uint64_t length);

    bool memoryOver4G_;
    tPageList* pageList_ = nullptr;  // the list mapped
    tSGLSegment* segments_ = nullptr;
    tBounceRecord* records_ = nullptr;
    uint64_t capacity_ = 0;  // of both arrays, in entries
    uint32_t segmentCount_ = 0;
    uint32_t segmentIndex_ = 0;
    uint32_t recordCount_ = 0;
    tPageList bounce_;
};

}  // namespace nKZAPAL000
}  // namespace kzvorn_driver
