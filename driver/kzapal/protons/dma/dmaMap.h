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

}  // namespace nKZAPAL000
}  // namespace kzvorn_driver
