// A device window over a memory accessor, with a per-byte soft copy. Each maximal run of bytes to
// fetch or to write goes to the accessor in one call, and an operation opens at most one read and
// one write transaction.
#pragma once

#include <cstdint>

#include "deviceWindow/deviceWindow.h"
#include "deviceWindow/statusCodes.h"
#include "deviceWindow/memoryAccessor.h"
#include "deviceWindow/softCopyByte.h"
#include "kzapal/protons/synchronization.h"
#include "kzhtl/vector.h"

namespace devicewindow {

class MemoryWindow : public DeviceWindow {
public:
    // The accessor is not owned; the soft copy is sized to it once, all bytes invalid.
    MemoryWindow(MemoryAccessor& accessor, tStatus& status);

    void get(uint64_t offset, uint64_t size, char* destination, tStatus& status) override;
    void set(const char* source, uint64_t offset, uint64_t size, tStatus& status) override;
    void flush(uint64_t offset, uint64_t size, bool force, tStatus& status) override;
    void read(uint64_t offset, uint64_t size, char* destination, tStatus& status) override;
    void write(const char* source, uint64_t offset, uint64_t size, bool force, tStatus& status) override;
    void refresh(uint64_t offset, uint64_t size, tStatus& status) override;
    uint64_t getSizeInBytes() override { return softCopy_.size(); }

protected:
    virtual void copyOut(uint64_t offset, uint64_t size, char* destination);
    virtual void copyIn(const char* source, uint64_t offset, uint64_t size);
    // Inside an open write transaction. A failed write invalidates the run, so it is read again.
    virtual void writeRun(uint64_t offset, uint64_t size, tStatus& status);
    virtual void flushDirty(uint64_t offset, uint64_t size, tStatus& status);
    // Inside an open read transaction. A failed read leaves the soft copy as it was.
    virtual void fetchRun(uint64_t offset, uint64_t size, tStatus& status);

private:
    class Transaction;

    template <class tSelected>
    void transferRuns(uint64_t offset, uint64_t size, bool writing, tSelected selected, tStatus& status);
    void fetchInvalid(uint64_t offset, uint64_t size, tStatus& status);
    // One run over the whole range (none when it is empty).
    void transferWhole(uint64_t offset, uint64_t size, bool writing, tStatus& status);
    bool checkRange(uint64_t offset, uint64_t size, tStatus& status) {
        return devicewindow::checkRange(offset, size, getSizeInBytes(), kStatusRangeOutsideWindow, status);
    }
    bool checkPointerAndRange(const void* pointer, uint64_t offset, uint64_t size, tStatus& status) {
        return devicewindow::checkPointerAndRange(pointer, offset, size, getSizeInBytes(), kStatusRangeOutsideWindow,
                                                  status);
    }
    // flush after the range's bytes are known to be valid.
    void flushValid(uint64_t offset, uint64_t size, bool force, tStatus& status);

    MemoryAccessor* accessor_;
    kzhtl::Vector<SoftCopyByte> softCopy_;
    kzvorn_driver::nKZAPAL000::tMutex lock_;
};

}  // namespace devicewindow
