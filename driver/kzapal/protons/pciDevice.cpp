#include "kzapal/protons/pciDevice.h"

#include <cstdarg>

#include "kzapal/protons/memory.h"
#include "kzapal/protons/statusCodes.h"
#include "kzapal/protons/userMemory.h"
#include "kzapal/quarks/array.h"
#include "kzkal/debug.h"
#include "kzkal/interrupt.h"
#include "kzkal/memory.h"
#include "kzkal/regmem.h"

namespace kzvorn_driver {
namespace nKZAPAL000 {

namespace {

using nKZAPALS100::tStatus;

constexpr const char* kDriverName = "kzvorn_driver";

// A 256-byte configuration space holds at most 48 capabilities; a longer walk is a cycle.
constexpr uint32_t kMaxCapabilityHops = 48;
constexpr uint8_t kStatusRegister = 0x06;
constexpr uint16_t kStatusCapabilityList = 0x0010;
constexpr uint8_t kCapabilityPointer = 0x34;
constexpr uint16_t kFallbackProbeValue = 0x5A5A;
constexpr uint8_t kFallbackProbeByte = 0x0F;
constexpr uint8_t kLinkCapabilities = 0x0C;
constexpr uint8_t kLinkStatus = 0x12;

// Bus property records, in the order of the device's record array.
enum tBusProperty : uint32_t {
    kBusType,
    kBusSubType,
    kVendorID,
    kDeviceID,
    kSubsystemID,
    kSubsystemVendorID,
    kRevision,
    kBusNumber,
    kDeviceNumber,
    kFunctionNumber,
    kMaxLinkWidth,
    kLinkWidth,
    kMaxTransferRate,
    kTransferRate,
    kNumaNode,
    kSlotPath,
};

struct tBusPropertyInfo {
    const char* name;
    uint64_t type;
};

constexpr tBusPropertyInfo kBusPropertyInfo[] = {
    {"busType", tProperty::kTypeUnsigned32},
    {"busSubType", tProperty::kTypeUnsigned32},
    {"pciVendorID", tProperty::kTypeUnsigned32},
    {"pciDeviceID", tProperty::kTypeUnsigned32},
    {"pciSubsystemID", tProperty::kTypeUnsigned32},
    {"pciSubsystemVendorID", tProperty::kTypeUnsigned32},
    {"pciRevision", tProperty::kTypeUnsigned32},
    {"pciBusNumber", tProperty::kTypeUnsigned32},
    {"pciDeviceNumber", tProperty::kTypeUnsigned32},
    {"pciFunctionNumber", tProperty::kTypeUnsigned32},
    {"pcieMaxLinkWidth", tProperty::kTypeUnsigned32},
    {"pcieLinkWidth", tProperty::kTypeUnsigned32},
    {"pcieMaxTransferRate", tProperty::kTypeUnsigned32},
    {"pcieTransferRate", tProperty::kTypeUnsigned32},
    {"numaNode", tProperty::kTypeNumber32},
    {"pciSlotPath", tProperty::kTypeText},
};
static_assert(sizeof(kBusPropertyInfo) / sizeof(kBusPropertyInfo[0]) == tPCIDevice::kBusPropertyCount,
              "sixteen bus properties");

// The published order: twelve always, the four link properties only for a PCI Express link.
constexpr tBusProperty kBusPropertyOrder[] = {
    kBusType,     kBusSubType,  kBusNumber,         kDeviceNumber, kFunctionNumber, kVendorID,
    kDeviceID,    kSubsystemVendorID, kSubsystemID, kRevision,     kNumaNode,       kSlotPath,
    kMaxLinkWidth, kLinkWidth,  kMaxTransferRate,   kTransferRate,
};
constexpr uint32_t kPlainBusPropertyCount = 12;

uint32_t format(char* buffer, size_t size, const char* pattern, ...) {
    va_list arguments;
    va_start(arguments, pattern);
    int32_t length = nKZKAL100_vsnPrintf(buffer, size, pattern, arguments);
    va_end(arguments);
    return length < 0 || static_cast<size_t>(length) >= size ? 0 : static_cast<uint32_t>(length);
}

struct tSlotPathContext {
    uint8_t targetBus;
    uint16_t domain;
    uint8_t rootCounter;
    uint8_t highestSubordinate;
    tArray<uint8_t, 256> hops;
    bool done;
    bool overflow;
};

void onBridge(void* context, const nKZKAL100_tPCIBridge* bridge) {
    auto& c = *static_cast<tSlotPathContext*>(context);
    if (c.done || bridge->domain != c.domain) return;
    if (bridge->primaryBus >= c.highestSubordinate && c.highestSubordinate != 0) ++c.rootCounter;
    if (bridge->subordinateBus > c.highestSubordinate) c.highestSubordinate = static_cast<uint8_t>(bridge->subordinateBus);
    if (c.targetBus >= bridge->secondaryBus && c.targetBus <= bridge->subordinateBus) {
        // A path longer than the list is no path at all; the machine does not halt for it.
        if (!c.hops.append(static_cast<uint8_t>((bridge->device << 3) | (bridge->function & 7)))) c.overflow = true;
        if (c.targetBus == bridge->secondaryBus) c.done = true;
    }
}

bool readConfig16(void* pci, uint32_t offset, uint16_t& value, tStatus& status) {
    if (status.isFatal()) return false;
    if (nKZKAL100_pciConfigRead16(pci, offset, &value) == 0) return true;
    KZ_SET_CODE(status, nKZAPALS100::kStatusSoftwareFault);
    return false;
}

bool readConfig8(void* pci, uint32_t offset, uint8_t& value, tStatus& status) {
    if (status.isFatal()) return false;
    if (nKZKAL100_pciConfigRead8(pci, offset, &value) == 0) return true;
    KZ_SET_CODE(status, nKZAPALS100::kStatusSoftwareFault);
    return false;
}

// Speed in bits 3-0, width in bits 9-4; a failed or skipped read leaves zeros.
void readLink(void* pci, uint32_t offset, uint8_t& speed, uint8_t& width, tStatus& status) {
    uint16_t word = 0;
    if (!readConfig16(pci, offset, word, status)) {
        if (status.isNotFatal()) KZ_SET_CODE(status, nKZAPALS100::kStatusSoftwareFault);
        word = 0;
    }
    speed = static_cast<uint8_t>(word & 0xF);
    width = static_cast<uint8_t>((word >> 4) & 0x3F);
}

}  // namespace

void buildPCIDescription(tPCIDescription& d, const nKZKAL200_tPCIDevice& record, void* kernelDevice) {
    nKZKAL240_memSet(&d, 0, sizeof(d));
    d.version = tPCIDescription::kVersion;
    d.busNumber = static_cast<uint8_t>(record.bus);
    d.deviceNumber = static_cast<uint8_t>(record.device);
    d.functionNumber = static_cast<uint8_t>(record.function);
    d.vendorId = record.vendorId;
    d.deviceId = record.deviceId;
    d.subsystemVendorId = record.subsystemVendorId;
    d.subsystemId = record.subsystemId;
    d.revision = record.revision;
    d.numaNode = nKZKAL1_getDeviceNUMANode(record.pciHandle);
    for (uint32_t i = 0; i < tPCIDescription::kMaxRanges; ++i) {
        const nKZKAL200_tPCIBar& bar = record.bars[i];
        d.bars[i].address = static_cast<uint32_t>(bar.address);
        d.bars[i].size = static_cast<uint32_t>(bar.size);
        if ((bar.flags & 1) != 0) d.ioRanges[d.ioRangeCount++] = {bar.address, bar.size, 0};
        else if ((bar.flags & 2) != 0) d.memoryRanges[d.memoryRangeCount++] = {bar.address, bar.size, 0};
    }
    if (record.interrupt != 0) {
        d.interruptKind = tPCIDescription::kInterruptLegacy;
        d.interruptNumber = record.interrupt;
    }
    d.device.kernelDevice = kernelDevice;
    d.device.kernelPCIDevice = record.pciHandle;
    d.device.driverName = kDriverName;
}

tPCIDevice::tPCIDevice(const tPCIDescription& description, tStatus& status)
    : tDevice(&pci_.device, status), pci_(description) {
    pci_.device.device = this;
    for (uint32_t i = 0; i < kBusPropertyCount; ++i) {
        busProperties_[i].name = nullptr;
        busProperties_[i].type = kBusPropertyInfo[i].type;
        busProperties_[i].handle = nullptr;
        busProperties_[i].value.number = 0;
    }
    busPropertyList_[0] = nullptr;
    buildSlotPath(status);
}

tPCIDevice::~tPCIDevice() { delete interruptLock_; }

void tPCIDevice::buildSlotPath(tStatus& status) {
    if (status.isFatal()) return;
    void* pci = pci_.device.kernelPCIDevice;
    int32_t domain = nKZKAL240_getPCIDomain(pci);
    tSlotPathContext context{};
    context.targetBus = pci_.busNumber;
    context.domain = static_cast<uint16_t>(domain < 0 ? 0 : domain);
    nKZKAL100_enumeratePCIBuses(onBridge, &context, 0);
    if (context.overflow) return;
    if (!context.hops.append(static_cast<uint8_t>((pci_.deviceNumber << 3) | (pci_.functionNumber & 7)))) return;

    char piece[8];
    if (format(piece, sizeof(piece), "%04X:%02X", context.domain, context.rootCounter) == 0 ||
        !slotPath_.append(piece, status))
        return;
    for (uint8_t hop : context.hops) {
        format(piece, sizeof(piece), ":%02X", hop);
        if (!slotPath_.append(piece, status)) return;
    }
}

uint8_t tPCIDevice::findPCICapability(const tPCIDescription& description, uint8_t id, tStatus& status) {
    void* pci = description.device.kernelPCIDevice;
    uint16_t pciStatus = 0;
    if (readConfig16(pci, kStatusRegister, pciStatus, status) && (pciStatus & kStatusCapabilityList) != 0) {
        uint8_t pointer = 0;
        readConfig8(pci, kCapabilityPointer, pointer, status);
        for (uint32_t hop = 0; pointer != 0 && hop < kMaxCapabilityHops; ++hop) {
            uint16_t header = 0;
            if (!readConfig16(pci, pointer, header, status)) break;
            if ((header & 0xFF) == id) return pointer;
            pointer = static_cast<uint8_t>(header >> 8);
        }
    }
    if (id == kPCIExpressCapability && status.isNotFatal()) {
        if (nKZKAL100_pciConfigWrite16(pci, 0x00, kFallbackProbeValue) != 0) {
            KZ_SET_CODE(status, nKZAPALS100::kStatusSoftwareFault);
        } else {
            uint8_t quarter = 0;
            uint8_t capability = 0;
            if (readConfig8(pci, kFallbackProbeByte, quarter, status)) {
                const uint8_t offset = static_cast<uint8_t>(quarter * 4);
                if (offset > 0x3F && readConfig8(pci, offset, capability, status) && capability == id) return offset;
            }
        }
    }
    KZ_SET_CODE(status, nKZAPALS100::kStatusResourceNotFound);
    return 0;
}

void tPCIDevice::startBusDevice(tEventDescriptor&, tStatus& status) {
    tStatus search;
    const uint8_t capability = findPCICapability(pci_, kPCIExpressCapability, search);
    if (search.isFatal()) return;
    void* pci = pci_.device.kernelPCIDevice;
    readLink(pci, capability + kLinkCapabilities, pci_.maxLinkSpeed, pci_.maxLinkWidth, status);
    readLink(pci, capability + kLinkStatus, pci_.linkSpeed, pci_.linkWidth, status);
}

void tPCIDevice::configureDMA(tDMAConfiguration::tDMAType type, tStatus& status) {
    if (status.isFatal()) return;
    void* pci = pci_.device.kernelPCIDevice;
    if (type == tDMAConfiguration::kDMAType64) {
        if (nKZKAL220_pciSetDMAMask(pci, ~uint64_t{0}) == 0) {
            dmaConfiguration_.type = type;
            dmaConfiguration_.description = &pci_;
            return;
        }
        type = tDMAConfiguration::kDMAType32;
    }
    KZ_SET_KERNEL_CODE(status, nKZKAL220_pciSetDMAMask(pci, 0xFFFFFFFFull));
    if (status.isFatal()) return;
    dmaConfiguration_.type = type;
    dmaConfiguration_.description = &pci_;
}

void tPCIDevice::buildBusProperties() {
    const bool express = pci_.linkWidth != 0;
    const uint64_t values[kBusPropertyCount] = {
        kBusTypePCI,       express ? kBusTypePCIe : kBusTypePCI,
        pci_.vendorId,     pci_.deviceId,
        pci_.subsystemId,  pci_.subsystemVendorId,
        pci_.revision,     pci_.busNumber,
        pci_.deviceNumber, pci_.functionNumber,
        pci_.maxLinkWidth, pci_.linkWidth,
        pci_.maxLinkSpeed, pci_.linkSpeed,
        static_cast<uint32_t>(pci_.numaNode), 0,
    };
    for (uint32_t i = 0; i < kBusPropertyCount; ++i) {
        busProperties_[i].name = kBusPropertyInfo[i].name;
        busProperties_[i].value.number = values[i];
    }
    busProperties_[kSlotPath].value.text = slotPath_.c_str();
    busPropertyCount_ = express ? kBusPropertyCount : kPlainBusPropertyCount;
    for (uint32_t i = 0; i < busPropertyCount_; ++i) busPropertyList_[i] = &busProperties_[kBusPropertyOrder[i]];
    busPropertyList_[busPropertyCount_] = nullptr;
}

int32_t tPCIDevice::interruptTrampoline(uint32_t, void* device) {
    auto* self = static_cast<tPCIDevice*>(device);
    return self->handler_ != nullptr && self->handler_->handlePrimaryInterrupt() ? 1 : 0;
}

int32_t tPCIDevice::lockedInterruptTrampoline(uint32_t interrupt, void* device) {
    auto* self = static_cast<tPCIDevice*>(device);
    self->interruptLock_->acquire();
    int32_t claimed = interruptTrampoline(interrupt, device);
    self->interruptLock_->release();
    return claimed;
}

void tPCIDevice::reserveInterrupt(iPrimaryInterruptHandler* handler, int32_t (*trampoline)(uint32_t, void*),
                                  tStatus& status, uint32_t flags) {
    if (status.isFatal()) return;
    // The kernel holds the callback record of a live reservation: a second one would rewrite it
    // under the kernel, and one relinquish would leave the other behind.
    if (pci_.device.interruptCallback.function != nullptr) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusValueConflict);
        return;
    }
    handler_ = handler;
    pci_.device.interruptCallback = {trampoline, this};
    KZ_SET_KERNEL_CODE(status, nKZKAL1400_reserveInterrupt(pci_.interruptNumber, &pci_.device.interruptCallback,
                                                           pci_.device.driverName, flags | 1));
    if (status.isFatal()) {
        // Nothing was reserved, so nothing may be relinquished later.
        handler_ = nullptr;
        pci_.device.interruptCallback = {nullptr, nullptr};
    }
}

void tPCIDevice::registerInterruptHandler(iPrimaryInterruptHandler* handler, tStatus& status, uint32_t flags) {
    reserveInterrupt(handler, interruptTrampoline, status, flags);
}

void tPCIDevice::reserveInterruptWithTrampoline(int32_t (*trampoline)(uint32_t, void*), tStatus& status,
                                                uint32_t flags) {
    if (status.isNotFatal() && trampoline == nullptr) KZ_SET_CODE(status, nKZAPALS100::kStatusBadParameter);
    reserveInterrupt(nullptr, trampoline, status, flags);
}

void tPCIDevice::unregisterInterruptHandler() {
    if (pci_.device.interruptCallback.function == nullptr) return;
    nKZKAL100_relinquishInterrupt(pci_.interruptNumber, &pci_.device.interruptCallback);
    handler_ = nullptr;
    pci_.device.interruptCallback = {nullptr, nullptr};
}

tSpinLock* tPCIDevice::registerLockedInterruptHandler(iPrimaryInterruptHandler* handler, tStatus& status,
                                                      uint32_t flags) {
    if (status.isFatal() || interruptLock_ != nullptr) return nullptr;
    interruptLock_ = new (status) tSpinLock(status);
    reserveInterrupt(handler, lockedInterruptTrampoline, status, flags);
    if (status.isFatal()) {
        delete interruptLock_;
        interruptLock_ = nullptr;
    }
    return interruptLock_;
}

void tPCIDevice::unregisterLockedInterruptHandler(tSpinLock*& lock) {
    if (lock == nullptr) return;
    unregisterInterruptHandler();
    if (lock == interruptLock_) {
        delete interruptLock_;
        interruptLock_ = nullptr;
    }
    lock = nullptr;
}

const tPCIRange* tPCIDevice::memoryRange(uint32_t index, tStatus& status) const {
    if (status.isFatal()) return nullptr;
    if (index < pci_.memoryRangeCount) return &pci_.memoryRanges[index];
    KZ_SET_CODE(status, nKZAPALS100::kStatusBadParameter);
    return nullptr;
}

// A caller's sub-range must lie inside the range: past it lie other devices' registers.
const tPCIRange* tPCIDevice::memorySubRange(uint32_t index, uint64_t offset, uint64_t size, tStatus& status) const {
    const tPCIRange* range = memoryRange(index, status);
    if (range == nullptr) return nullptr;
    if (size != 0 && offset <= range->size && size <= range->size - offset) return range;
    KZ_SET_CODE(status, nKZAPALS100::kStatusBadParameter);
    return nullptr;
}

void* tPCIDevice::mapBAR(uint32_t index, tStatus& status, uint32_t mode) {
    const tPCIRange* range = memoryRange(index, status);
    if (range == nullptr) return nullptr;
    void* address = nKZKAL230_mapPhysicalToKernel(range->address, range->size, mode == 1 ? 1 : 0);
    if (address == nullptr) KZ_SET_CODE(status, nKZAPALS100::kStatusMemoryFull);
    return address;
}

void* tPCIDevice::mapPhysicalRange(uint32_t index, uint64_t offset, uint64_t size, uint32_t mode, tStatus& status) {
    if (status.isNotFatal() && mode > 2) KZ_SET_CODE(status, nKZAPALS100::kStatusBadParameter);
    const tPCIRange* range = memorySubRange(index, offset, size, status);
    if (range == nullptr) return nullptr;
    void* address = nKZKAL230_mapPhysicalToKernel(range->address + offset, size, mode);
    if (address == nullptr) KZ_SET_CODE(status, nKZAPALS100::kStatusMemoryFull);
    return address;
}

void tPCIDevice::mapPhysicalRangeToUser(tUserMemoryMap& map, uint32_t index, uint64_t offset, uint64_t size,
                                        uint32_t mode, tStatus& status) {
    const tPCIRange* range = memorySubRange(index, offset, size, status);
    if (range != nullptr) map.mapPhysicalAddress(range->address + offset, size, mode, status);
}

tPCIDescription* tPCIDevice::copyPCIDescription(tStatus& status) const {
    return new (status) tPCIDescription(pci_);
}

void tPCIDevice::releasePCIDescription(tPCIDescription* copy) { delete copy; }

tIORange* tPCIDevice::createIORange(uint32_t index, tStatus& status) const {
    if (status.isNotFatal() && index >= pci_.ioRangeCount) KZ_SET_CODE(status, nKZAPALS100::kStatusBadParameter);
    if (status.isFatal()) return nullptr;
    return new (status) tIORange{pci_.ioRanges[index].address};
}

void tPCIDevice::releaseIORange(tIORange* range) { delete range; }

void tPCIDevice::unmapBAR(void* address, uint32_t mode) {
    if (address != nullptr) nKZKAL230_unmapPhysicalFromKernel(address, mode == 1 ? 1 : 0);
}

}  // namespace nKZAPAL000
}  // namespace kzvorn_driver
