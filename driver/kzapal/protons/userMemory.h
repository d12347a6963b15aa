// A caller's memory as requests see it: ranges copied through the kernel layer, and the
// description of a mapping request.
#pragma once

#include <cstdint>

#include "kzapal/protons/deviceCore.h"
#include "kzapal/protons/status.h"

namespace kzvorn_driver {
namespace nKZAPAL000 {

// Offsets and sizes are not checked against the recorded size; callers keep within it.
class tUserBuffer {
public:
    tUserBuffer(const tEventDescriptor& event, uint64_t address, uint64_t size, nKZAPALS100::tStatus& status)
        : address_(address), size_(size) {}

    void readFromBuffer(uint64_t offset, void* destination, uint32_t size, nKZAPALS100::tStatus& status) const;
    void writeToBuffer(uint64_t offset, const void* source, uint32_t size, nKZAPALS100::tStatus& status) const;

    uint64_t getAddress() const { return address_; }
    uint64_t getSize() const { return size_; }

private:
    uint64_t address_;
    uint64_t size_;
};

class tUserMemoryMap {
public:
    tUserMemoryMap(tSession* session, void* description, uint16_t argument);

    void mapPageList(void* pageList, uint64_t offset, uint64_t size, nKZAPALS100::tStatus& status);
    void mapPhysicalAddress(uint64_t address, uint64_t size, uint32_t mode, nKZAPALS100::tStatus& status);

    uint64_t getSize() const { return size_; }
    uint16_t getArgument() const { return argument_; }
    uint32_t getAccess() const { return access_; }
    void* getDescription() const { return description_; }
    uint64_t getVirtualAddress() const { return virtualAddress_; }
    tSession* getSession() const { return session_; }

private:
    uint64_t size_;
    uint16_t argument_;
    uint32_t access_;
    void* description_;
    uint64_t virtualAddress_;
    tSession* session_;
};

}  // namespace nKZAPAL000
}  // namespace kzvorn_driver
