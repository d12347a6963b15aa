#include "kzapal/protons/Quolin/quolinDMAChannel.h"

#include "kzapal/protons/memory64.h"
#include "kzkal/regmem.h"

namespace kzvorn_driver {
namespace nKZAPAL000 {

namespace {
void* at(uint64_t address) { return reinterpret_cast<void*>(address); }
}  // namespace

tQuolinDMAChannel::tQuolinDMAChannel(const uint64_t& bridgeBase, uint32_t index) : index_(index) {
    locateRegisters(bridgeBase);
    resetChannel();
}

tQuolinDMAChannel::tQuolinDMAChannel(const uint64_t& bridgeBase, uint32_t index, nKZAPALS100::tStatus& status)
    : index_(index) {
    if (status.isFatal()) return;
    locateRegisters(bridgeBase);
    resetChannel();
}

tQuolinDMAChannel::tQuolinDMAChannel(uint64_t blockAddress, uint64_t blockSize, uint32_t index) : index_(index) {
    place(blockAddress, blockSize);
}

void tQuolinDMAChannel::locateRegisters(const uint64_t& bridgeBase) {
    const uint32_t strideLog2 = (nKZKAL100_memoryRead32(at(bridgeBase + kBridgeCapability)) >> 16) & 0xF;
    const uint32_t stride = 1u << strideLog2;
    const uint32_t offset = nKZKAL100_memoryRead32(at(bridgeBase + kBridgeChannelOffset)) + index_ * stride;
    blockAddress_ = bridgeBase + offset;
    blockSize_ = stride;
}

void tQuolinDMAChannel::place(uint64_t blockAddress, uint64_t blockSize) {
    blockAddress_ = blockAddress;
    blockSize_ = blockSize;
    resetChannel();
}

uint32_t tQuolinDMAChannel::read32(uint32_t offset) const { return nKZKAL100_memoryRead32(at(blockAddress_ + offset)); }
void tQuolinDMAChannel::write32(uint32_t offset, uint32_t value) { nKZKAL100_memoryWrite32(at(blockAddress_ + offset), value); }
void tQuolinDMAChannel::write64(uint32_t offset, uint64_t value) { memoryWrite64(at(blockAddress_ + offset), value); }

void tQuolinDMAChannel::resetChannel() {
    controlShadow_ = 0;
    write32(kControl, kControlResetBegin);
    write32(kCommand, kCommandStop);
    write32(kControl, kControlResetEnd);
    running_ = false;
}

void tQuolinDMAChannel::start(const tLinkInformation& link, bool mode) {
    write64(kLinkAddress, link.busAddress);
    write32(kLinkLength, link.usedLength);
    running_ = true;
    write32(kCommand, mode ? kCommandStartLinked : kCommandStart);
}

void tQuolinDMAChannel::setNotifications(uint32_t bits) {
    if (bits == controlShadow_) return;
    controlShadow_ = bits;
    write32(kControl, (read32(kControl) & kNotificationKeepMask) | bits);
}

void tQuolinDMAChannel::loadNotificationPosition(uint64_t position) {
    write64(kNotificationPosition, position);
    write32(kCommand, kCommandLoadPosition);
}

uint64_t tQuolinDMAChannel::readTransferCount() const { return memoryRead64(at(blockAddress_ + kTransferCount)); }

void tQuolinDMAChannel::configure(uint32_t controlBits, uint32_t value30, uint64_t value20, uint32_t value34,
                                  uint64_t value28) {
    const uint32_t control = read32(kControl);
    if (controlBits & 0x440000) write32(kValue30, value30);
    if (controlBits & 0xC00000) {
        write64(kValue20, value20);
        write32(kValue34, value34);
    }
    if (controlBits & 0x40000) write64(kValue28, value28);
    write32(kControl, (control & kConfigureKeepMask) | controlBits);
}

void tQuolinDMAChannel::deactivate() { write32(kCommand, kCommandStop); }

void tQuolinDMAChannel::reactivate() { resetChannel(); }

void tQuolinDMAChannel::updateRunningState(uint32_t statusWord) {
    if (statusWord & kStatusStoppedMask) running_ = false;
}

}  // namespace nKZAPAL000
}  // namespace kzvorn_driver
