// The bridge chip's register accessor with its configuration window, the walk of the bridge's
// vendor capability list, and the chassis geographic address it holds.
#pragma once

#include <cstdint>

#include "kzapal/protons/pciDevice.h"
#include "kzkal/regmem.h"
#include "kzapal/protons/status.h"

namespace kzvorn_driver {
namespace nKZAPAL000 {

class tQuolin {
public:
    enum tAccessMode : uint32_t { kAccessDirect = 1, kAccessWindowed = 4 };

    // Over memory range 0 of the device, mapped here (mode 0) and unmapped by the destructor.
    tQuolin(tPCIDevice& device, nKZAPALS100::tStatus& status);
    ~tQuolin();
    tQuolin(const tQuolin&) = delete;
    tQuolin& operator=(const tQuolin&) = delete;

    uint32_t read32(uint32_t address) { return read(address, 4); }
    // Width in bytes: 1, 2 or 4.
    uint32_t read(uint32_t address, uint32_t width);
    // Direct mode: registers at the start of the BAR.
    void setDirect();
    // Saves both window registers and opens the window onto the bridge's register space. A
    // window that does not lie inside the mapped range records -52006.
    void openWindow(nKZAPALS100::tStatus& status);
    // Re-reads the window from its register without saving.
    void reopenWindow(nKZAPALS100::tStatus& status);
    void closeWindow();
    // Whether an access of that width at that address stays inside the mapping.
    bool reaches(uint32_t address, uint32_t width) const;

private:
    uint32_t readRegister(uint32_t offset) { return nKZKAL100_memoryRead32(base_ + offset); }
    void writeRegister(uint32_t offset, uint32_t value) { nKZKAL100_memoryWrite32(base_ + offset, value); }

    tPCIDevice& device_;
    void* mapped_;
    uint8_t* base_;
    uint64_t size_;
    uint32_t mode_ = kAccessDirect;
    uint32_t savedWindowBase_ = 0;
    uint32_t savedWindowSelect_ = 0;
    uint32_t windowOffset_ = 0;
    uint32_t selection_ = 0;
    uint32_t mask_ = 0;
};

class tKZCapabilityPCIAccessor;

// A capability the accessor finds by identifier and hands its offset.
class tKZCapability {
public:
    virtual ~tKZCapability() = default;
    virtual uint32_t getID() const = 0;
    virtual void readCapability(tKZCapabilityPCIAccessor& accessor, uint32_t offset, nKZAPALS100::tStatus& status) = 0;

    // 0: begin at the first capability; after a successful read, where it was found.
    uint32_t startOffset = 0;
};

class tKZCapabilityPCIAccessor : public tQuolin {
public:
    static constexpr uint32_t kNotFound = 0xFFFFFFFF;
    // A cyclic list is cut after this many headers.
    static constexpr uint32_t kMaxHops = 1024;

    // Finds the first capability header (-52002 when the start register or the holder is 0 or
    // not a multiple of 4).
    tKZCapabilityPCIAccessor(tPCIDevice& device, nKZAPALS100::tStatus& status);

    void getCapability(tKZCapability& capability, nKZAPALS100::tStatus& status);
    uint32_t getFirstCapability() const { return first_; }

private:
    // The next header's address by the pointer kind; false for kind 3.
    bool next(uint32_t at, uint32_t header, uint32_t& next);

    uint32_t first_ = 0;
};

class tGeographicAddress : public tKZCapability {
public:
    static constexpr uint32_t kID = 0x4741;

    explicit tGeographicAddress(uint32_t initial = 0xFFFFFFFF) : address(initial) {}
    uint32_t getID() const override { return kID; }
    void readCapability(tKZCapabilityPCIAccessor& accessor, uint32_t offset, nKZAPALS100::tStatus& status) override;

    uint32_t address;
};

}  // namespace nKZAPAL000
}  // namespace kzvorn_driver
