// The device side of a memory window over mapped register memory: runs of bytes move as 32-bit
// words. It does not bound the runs itself; the memory window keeps them inside getSize().
#pragma once

#include <cstdint>

#include "deviceWindow/memoryAccessor.h"
#include "kzapal/protons/pciMemorySpaceAccessor.h"

namespace kzvorn_driver {

class MemorySpaceAccessorToMemoryWindowAdapter final : public devicewindow::MemoryAccessor {
public:
    using Accessor = nKZAPAL000::tPCIMemorySpaceAccessorDebug<false>;

    MemorySpaceAccessorToMemoryWindowAdapter(const Accessor& accessor, uint64_t size)
        : accessor_(accessor), size_(size) {}

    void beginRead(tStatus&) override {}
    void beginWrite(tStatus&) override {}
    void endRead(tStatus&) override {}
    void endWrite(tStatus&) override {}
    // An index or count that is not a multiple of 4: -52005, no access.
    void read(uint64_t index, uint64_t count, char* destination, tStatus& status) override;
    void write(const char* source, uint64_t index, uint64_t count, tStatus& status) override;
    uint64_t getSize() override { return size_; }

private:
    void* wordAt(uint64_t index, uint64_t k) const;

    const Accessor& accessor_;
    uint64_t size_;
};

}  // namespace kzvorn_driver
