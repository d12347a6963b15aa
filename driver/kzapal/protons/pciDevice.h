// The PCI layer of a device object: a copy of the PCI description, the bus properties, PCI
// capabilities, the DMA mask, BAR mappings and the primary interrupt handler.
#pragma once

#include <cstdint>

#include "kzapal/protons/device.h"
#include "kzapal/protons/status.h"
#include "kzapal/protons/synchronization.h"
#include "kzhtl/string.h"
#include "kzkal/pci.h"

namespace kzvorn_driver {
namespace nKZAPAL000 {

struct tPCIRange {
    uint64_t address;
    uint64_t size;
    uint64_t reserved;
};

// Built zero-filled by add device and copied whole into the device.
struct tPCIDescription {
    enum tInterruptKind : uint16_t { kInterruptMSI = 0, kInterruptLegacy = 6 };
    static constexpr uint32_t kVersion = 1;
    static constexpr uint32_t kMaxRanges = 6;

    uint32_t version;
    tDeviceDescription device;
    uint32_t interruptNumber;
    uint16_t interruptKind;
    uint8_t ioRangeCount;
    tPCIRange ioRanges[kMaxRanges];
    uint8_t memoryRangeCount;
    tPCIRange memoryRanges[kMaxRanges];
    uint16_t vendorId;
    uint16_t deviceId;
    uint16_t subsystemVendorId;
    uint16_t subsystemId;
    uint8_t revision;
    uint8_t busNumber;
    uint8_t deviceNumber;
    uint8_t functionNumber;
    uint32_t msi;
    struct {
        uint32_t address;
        uint32_t size;
    } bars[kMaxRanges];
    uint8_t maxLinkSpeed;
    uint8_t linkSpeed;
    uint8_t maxLinkWidth;
    uint8_t linkWidth;
    int32_t numaNode;
    uint8_t reserved[88];
};
static_assert(sizeof(tPCIDescription) == 528, "the PCI description is 528 bytes");

// An IO range's address, handed out on its own.
struct tIORange {
    uint64_t address;
};
static_assert(sizeof(tIORange) == 8, "an IO-range record is 8 bytes");

// Fills a description from the kernel layer's record (the first step of add device): identifiers,
// location, NUMA node, ranges, the legacy interrupt and the handles. MSI is decided afterwards.
void buildPCIDescription(tPCIDescription& description, const nKZKAL200_tPCIDevice& record, void* kernelDevice);

class tUserMemoryMap;

class iPrimaryInterruptHandler {
public:
    virtual ~iPrimaryInterruptHandler() = default;
    // Runs in interrupt context: true when the interrupt was the device's.
    virtual bool handlePrimaryInterrupt() = 0;
};

class tPCIDevice : public tDevice {
public:
    static constexpr uint32_t kBusPropertyCount = 16;
    static constexpr uint32_t kBusTypePCI = 0x20706369;   // " pci"
    static constexpr uint32_t kBusTypePCIe = 0x70636965;  // "pcie"
    static constexpr uint8_t kPCIExpressCapability = 0x10;

    tPCIDevice(const tPCIDescription& description, nKZAPALS100::tStatus& status);
    ~tPCIDevice() override;

    void startBusDevice(tEventDescriptor& event, nKZAPALS100::tStatus& status) override;
    void stopBusDevice() override {}
    void configureDMA(tDMAConfiguration::tDMAType type, nKZAPALS100::tStatus& status) override;
    void buildBusProperties() override;
    tProperty** getBusProperties() override { return busPropertyList_; }
    virtual void registerInterruptHandler(iPrimaryInterruptHandler* handler, nKZAPALS100::tStatus& status,
                                          uint32_t flags);
    virtual void unregisterInterruptHandler();
    virtual tSpinLock* registerLockedInterruptHandler(iPrimaryInterruptHandler* handler,
                                                      nKZAPALS100::tStatus& status, uint32_t flags);
    virtual void unregisterLockedInterruptHandler(tSpinLock*& lock);

    void* mapBAR(uint32_t index, nKZAPALS100::tStatus& status, uint32_t mode);
    void unmapBAR(void* address, uint32_t mode);
    static uint8_t findPCICapability(const tPCIDescription& description, uint8_t id, nKZAPALS100::tStatus& status);

    // Services for other drivers of the device family; this one calls none of them.
    tPCIDescription* copyPCIDescription(nKZAPALS100::tStatus& status) const;
    static void releasePCIDescription(tPCIDescription* copy);
    tIORange* createIORange(uint32_t index, nKZAPALS100::tStatus& status) const;
    static void releaseIORange(tIORange* range);
    // [offset, offset + size) of memory range n; mode 0, 1 or 2 as the kernel layer defines
    // them. Released with unmapBAR.
    void* mapPhysicalRange(uint32_t index, uint64_t offset, uint64_t size, uint32_t mode,
                           nKZAPALS100::tStatus& status);
    void mapPhysicalRangeToUser(tUserMemoryMap& map, uint32_t index, uint64_t offset, uint64_t size, uint32_t mode,
                                nKZAPALS100::tStatus& status);
    // The caller's trampoline receives the device as its second argument; released with
    // unregisterInterruptHandler.
    void reserveInterruptWithTrampoline(int32_t (*trampoline)(uint32_t interrupt, void* device),
                                        nKZAPALS100::tStatus& status, uint32_t flags);

    const tPCIDescription& getPCIDescription() const { return pci_; }
    tPCIDescription& getPCIDescription() { return pci_; }
    const char* getSlotPath() const { return slotPath_.c_str(); }
    uint32_t getBusPropertyCount() const { return busPropertyCount_; }

private:
    static int32_t interruptTrampoline(uint32_t interrupt, void* device);
    static int32_t lockedInterruptTrampoline(uint32_t interrupt, void* device);
    void reserveInterrupt(iPrimaryInterruptHandler* handler, int32_t (*trampoline)(uint32_t, void*),
                          nKZAPALS100::tStatus& status, uint32_t flags);
    void buildSlotPath(nKZAPALS100::tStatus& status);
    const tPCIRange* memoryRange(uint32_t index, nKZAPALS100::tStatus& status) const;
    const tPCIRange* memorySubRange(uint32_t index, uint64_t offset, uint64_t size,
                                    nKZAPALS100::tStatus& status) const;

    tPCIDescription pci_;
    tProperty busProperties_[kBusPropertyCount];
    tProperty* busPropertyList_[kBusPropertyCount + 1];
    uint32_t busPropertyCount_ = 0;
    tSpinLock* interruptLock_ = nullptr;
    iPrimaryInterruptHandler* handler_ = nullptr;
    kzhtl::String slotPath_;
};

}  // namespace nKZAPAL000
}  // namespace kzvorn_driver
