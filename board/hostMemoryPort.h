// The board's view of host memory: reads and writes by bus address, as a bus master issues them.
// The kernel layer implements it over its IOMMU and hands it to every board it plugs.
#pragma once

#include <cstdint>

namespace board {

class HostMemoryPort {
public:
    virtual ~HostMemoryPort() = default;
    // False when the range is not inside one live mapping that lets the device read (or write)
    // it: a DMA fault, which the port records; nothing is transferred then.
    virtual bool read(uint64_t busAddress, void* data, uint64_t size) = 0;
    virtual bool write(uint64_t busAddress, const void* data, uint64_t size) = 0;
};

}  // namespace board
