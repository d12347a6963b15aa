#include "kzapal/protons/bridgeCapability.h"

#include "kzapal/protons/Quolin/configPortWindowRegisters.h"
#include "kzapal/protons/statusCodes.h"
#include "kzkal/regmem.h"

namespace kzvorn_driver {
namespace nKZAPAL000 {

// The configuration window's registers as the bridge's register list declares them: per register
// its offset, per field its mask and lowest bit.
namespace nConfigPortWindow {

struct tField {
    uint32_t mask;
    uint32_t low;
};
constexpr tField field(uint32_t bit) { return {1u << bit, bit}; }
constexpr tField field(uint32_t high, uint32_t low) {
    return {(0xFFFFFFFFu >> (31 - high)) & (0xFFFFFFFFu << low), low};
}

#define KZ_WINDOW_REGISTER(name, offset, width, kind, initial, keep, fields) \
    struct t##name {                                                         \
        static constexpr uint32_t kOffset = offset;                          \
        fields                                                               \
    };
#define KZ_WINDOW_FIELD(name, ...) static constexpr tField k##name = field(__VA_ARGS__);
KZ_QUOLIN_CONFIG_PORT_WINDOW_REGISTERS(KZ_WINDOW_REGISTER, , , , KZ_WINDOW_FIELD, KZ_WINDOW_FIELD)
#undef KZ_WINDOW_FIELD
#undef KZ_WINDOW_REGISTER

}  // namespace nConfigPortWindow

namespace {

using nKZAPALS100::tStatus;
using nConfigPortWindow::tWindowRegister;

constexpr uint32_t kCapabilityStartRegister = 0x0C;
constexpr uint32_t kWindowBaseRegister = tWindowRegister::kOffset;
constexpr uint32_t kWindowSelectRegister = nConfigPortWindow::tWindowAddressRegister::kOffset;

bool isPointer(uint32_t value) { return value != 0 && value % 4 == 0; }

}  // namespace

tQuolin::tQuolin(tPCIDevice& device, tStatus& status)
    : device_(device),
      mapped_(device.mapBAR(0, status, 0)),
      base_(static_cast<uint8_t*>(mapped_)),
      size_(mapped_ != nullptr ? device.getPCIDescription().memoryRanges[0].size : 0) {}

tQuolin::~tQuolin() { device_.unmapBAR(mapped_, 0); }

bool tQuolin::reaches(uint32_t address, uint32_t width) const {
    return base_ != nullptr && uint64_t{windowOffset_} + address + width <= size_;
}

uint32_t tQuolin::read(uint32_t address, uint32_t width) {
    if (mode_ == kAccessWindowed) {
        const uint32_t selection = address & mask_;
        if (selection != selection_) {
            writeRegister(kWindowSelectRegister, selection);
            selection_ = selection;
        }
        address &= ~mask_;
    }
    // Addresses come from the hardware: one outside the mapping reads as all ones.
    if (!reaches(address, width)) return 0xFFFFFFFF;
    uint8_t* at = base_ + windowOffset_ + address;
    if (width == 1) return nKZKAL100_memoryRead8(at);
    if (width == 2) return nKZKAL100_memoryRead16(at);
    return nKZKAL100_memoryRead32(at);
}

void tQuolin::setDirect() {
    mode_ = kAccessDirect;
    windowOffset_ = 0;
}

void tQuolin::reopenWindow(tStatus& status) {
    if (base_ == nullptr) return;
    const uint32_t value = readRegister(kWindowBaseRegister);
    const uint32_t sizeLog2 = (value & tWindowRegister::kWindowSizeLog2.mask) >> tWindowRegister::kWindowSizeLog2.low;
    windowOffset_ = value & tWindowRegister::kWindowOffset.mask;
    mask_ = 0xFFFFFFFFu << sizeLog2;
    if (uint64_t{windowOffset_} + (uint64_t{1} << sizeLog2) > size_) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusResourceNotFound);
        setDirect();
        return;
    }
    mode_ = kAccessWindowed;
}

void tQuolin::openWindow(tStatus& status) {
    if (base_ == nullptr) return;
    savedWindowBase_ = readRegister(kWindowBaseRegister);
    savedWindowSelect_ = readRegister(kWindowSelectRegister);
    reopenWindow(status);
    writeRegister(kWindowBaseRegister, savedWindowBase_ | tWindowRegister::kWindowOpen.mask);
    writeRegister(kWindowSelectRegister, selection_);
}

void tQuolin::closeWindow() {
    if (base_ == nullptr) return;
    writeRegister(kWindowBaseRegister, savedWindowBase_);
    writeRegister(kWindowSelectRegister, savedWindowSelect_);
    selection_ = savedWindowSelect_;
}

tKZCapabilityPCIAccessor::tKZCapabilityPCIAccessor(tPCIDevice& device, tStatus& status) : tQuolin(device, status) {
    if (status.isFatal()) return;
    openWindow(status);
    if (status.isNotFatal()) {
        const uint32_t start = read32(kCapabilityStartRegister);
        if (!isPointer(start)) {
            KZ_SET_CODE(status, nKZAPALS100::kStatusFeatureNotSupported);
        } else {
            const uint32_t holder = (read32(start) & 1) != 0 ? 0x14 : 0x10;
            const uint32_t first = read32(holder);
            if (isPointer(first))
                first_ = first;
            else
                KZ_SET_CODE(status, nKZAPALS100::kStatusFeatureNotSupported);
        }
    }
    closeWindow();
}

bool tKZCapabilityPCIAccessor::next(uint32_t at, uint32_t header, uint32_t& next) {
    const uint32_t pointer = header & 0xFFFC;
    switch (header & 3) {
        case 0:
            next = pointer;
            return true;
        case 1:
            next = pointer | (read32(at - 4) & 0xFFFF0000u);
            return true;
        case 2:
            next = at + pointer;
            return true;
        default:
            return false;
    }
}

void tKZCapabilityPCIAccessor::getCapability(tKZCapability& capability, tStatus& status) {
    if (status.isFatal()) return;
    openWindow(status);
    const uint32_t id = capability.getID();
    uint32_t at = first_;
    if (capability.startOffset != 0 && status.isNotFatal() &&
        !next(capability.startOffset, read32(capability.startOffset), at))
        KZ_SET_CODE(status, nKZAPALS100::kStatusBadPointerKind);
    uint32_t found = kNotFound;
    for (uint32_t hop = 0; status.isNotFatal(); ++hop) {
        if (at == 0 || hop == kMaxHops) {
            KZ_SET_CODE(status, nKZAPALS100::kStatusResourceNotFound);
            break;
        }
        const uint32_t header = read32(at);
        uint32_t following = 0;
        if (!next(at, header, following)) {
            KZ_SET_CODE(status, nKZAPALS100::kStatusBadPointerKind);
            break;
        }
        if ((header >> 16) == id) {
            found = at;
            break;
        }
        at = following;
    }
    capability.readCapability(*this, found, status);
    closeWindow();
}

void tGeographicAddress::readCapability(tKZCapabilityPCIAccessor& accessor, uint32_t offset, tStatus& status) {
    if (status.isFatal()) return;
    const uint32_t valueRegister = accessor.read32(offset + 4);
    const uint32_t descriptor = accessor.read32(offset + 8);
    const uint32_t mode = descriptor & 0xF;
    const uint32_t widthCode = (descriptor >> 8) & 7;
    const uint32_t width = widthCode == 1 ? 1 : widthCode == 2 ? 2 : 4;
    const uint32_t shift = (descriptor >> 16) & 0x1F;
    if (mode != 0) {
        if (mode == tQuolin::kAccessDirect) {
            accessor.setDirect();
        } else if (mode == tQuolin::kAccessWindowed) {
            accessor.reopenWindow(status);
        } else {
            KZ_SET_CODE(status, nKZAPALS100::kStatusBadParameter);
            return;
        }
        // The value register's address comes from the hardware.
        if (status.isNotFatal() && mode == tQuolin::kAccessDirect && !accessor.reaches(valueRegister, width))
            KZ_SET_CODE(status, nKZAPALS100::kStatusBadParameter);
        if (status.isFatal()) return;
        address = (accessor.read(valueRegister, width) >> shift) & 0x1F;
        accessor.reopenWindow(status);
    }
    startOffset = offset;
}

}  // namespace nKZAPAL000
}  // namespace kzvorn_driver
