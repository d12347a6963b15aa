// Register access in the device's mapped register memory through the kernel layer's memory
// calls, at the accessor's base plus the register's address. These accesses cannot fail.
#pragma once

#include "quolinTools/armgen/registerMap.h"
#include "kzapal/protons/pciMemorySpaceAccessor.h"

namespace arm {

class MemorySpaceAccess final : public HardwareAccess {
public:
    using Accessor = kzvorn_driver::nKZAPAL000::tPCIMemorySpaceAccessorDebug<false>;

    explicit MemorySpaceAccess(const Accessor* accessor) : accessor_(accessor) {}

    uint64_t readRegister(uint32_t address, unsigned width, tStatus& status) override;
    void writeRegister(uint32_t address, unsigned width, uint64_t value, tStatus& status) override;
    void* directStoreAddress(uint32_t address) override { return reinterpret_cast<void*>(accessor_->base + address); }

private:
    const Accessor* accessor_;
};

}  // namespace arm
