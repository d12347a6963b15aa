#pragma once

#include "kzkal/types.h"

// A base address register as the kernel layer found it. Flags: bit 0 IO space, bit 1 memory.
typedef struct nKZKAL200_tPCIBar {
    uint64_t address;
    uint64_t size;
    uint64_t flags;
} nKZKAL200_tPCIBar;

// The kernel layer's record of a PCI function, handed to the add-device callback.
typedef struct nKZKAL200_tPCIDevice {
    void* pciHandle;  // first member: configuration space, DMA mask, domain, MSI, NUMA node
    void* deviceReference;
    uint16_t bus;
    uint16_t device;
    uint16_t function;
    uint16_t vendorId;
    uint16_t deviceId;
    uint16_t subsystemVendorId;
    uint16_t subsystemId;
    uint8_t revision;
    uint32_t interrupt;  // the legacy line (0 for none); the MSI vector once MSI is granted
    nKZKAL200_tPCIBar bars[6];
} nKZKAL200_tPCIDevice;

// One PCI bridge as the bus enumeration reports it; the offsets are fixed.
typedef struct nKZKAL100_tPCIBridge {
    uint16_t primaryBus;      // 0
    uint16_t device;          // 2
    uint16_t function;        // 4
    uint16_t reserved[5];     // 6
    uint16_t secondaryBus;    // 16
    uint16_t subordinateBus;  // 18
    uint16_t domain;          // 20
    uint16_t reserved2;
} nKZKAL100_tPCIBridge;

typedef void (*nKZKAL100_tPCIBridgeCallback)(void* context, const nKZKAL100_tPCIBridge* bridge);

KZKAL_EXTERN_C int32_t nKZKAL100_pciConfigRead8(void* pci, uint32_t offset, uint8_t* value);
KZKAL_EXTERN_C int32_t nKZKAL100_pciConfigRead16(void* pci, uint32_t offset, uint16_t* value);
KZKAL_EXTERN_C int32_t nKZKAL100_pciConfigWrite16(void* pci, uint32_t offset, uint16_t value);
// The PCI domain, or a negative code.
KZKAL_EXTERN_C int32_t nKZKAL240_getPCIDomain(void* pci);
// Calls back once per PCI bridge, in topology order.
KZKAL_EXTERN_C int32_t nKZKAL100_enumeratePCIBuses(nKZKAL100_tPCIBridgeCallback callback, void* context,
                                                   uint32_t flags);
// -1 when the function belongs to no NUMA node.
KZKAL_EXTERN_C int32_t nKZKAL1_getDeviceNUMANode(void* pci);
// 0 when granted; the function's record then holds the MSI vector as its interrupt.
KZKAL_EXTERN_C int32_t nKZKAL230_pciRequestMSI(void* pci, uint32_t count);
KZKAL_EXTERN_C int32_t nKZKAL220_pciSetDMAMask(void* pci, uint64_t mask);

#ifdef __cplusplus
static_assert(offsetof(nKZKAL100_tPCIBridge, secondaryBus) == 16, "bridge record layout");
static_assert(offsetof(nKZKAL100_tPCIBridge, domain) == 20, "bridge record layout");
#endif
