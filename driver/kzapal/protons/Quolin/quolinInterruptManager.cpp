#include "kzapal/protons/Quolin/quolinInterruptManager.h"

#include "kzapal/protons/dma/fences.h"
#include "kzapal/protons/memory64.h"
#include "kzapal/protons/statusCodes.h"
#include "kzkal/dma.h"
#include "kzkal/regmem.h"
#include "kzkal/user.h"

namespace kzvorn_driver {
namespace nKZAPAL000 {

namespace {
// Each option of the control register is a pair: the upper bit selects it, the lower one does
// not. {flag bit that selects it, upper bit of its pair}.
struct tPair {
    uint32_t flag;
    uint32_t upper;
};
constexpr tPair kPairs[] = {{24, 29}, {25, 27}, {11, 11}, {9, 9}};
}  // namespace

tQuolinInterruptManager::tQuolinInterruptManager(const uint64_t& bridgeBase, bool msi)
    : bridgeBase_(&bridgeBase), msi_(msi) {
    write(kControl, kReset);
}

tQuolinInterruptManager::~tQuolinInterruptManager() { write(kControl, kMask); }

uint32_t tQuolinInterruptManager::read(uint32_t offset) const {
    return nKZKAL100_memoryRead32(reinterpret_cast<const void*>(*bridgeBase_ + offset));
}

void tQuolinInterruptManager::write(uint32_t offset, uint32_t value) {
    nKZKAL100_memoryWrite32(reinterpret_cast<void*>(*bridgeBase_ + offset), value);
}

void tQuolinInterruptManager::write64(uint32_t offset, uint64_t value) {
    memoryWrite64(reinterpret_cast<void*>(*bridgeBase_ + offset), value);
}

void tQuolinInterruptManager::configure(uint32_t flags) {
    uint32_t value = flags != 0 ? kEnable : kMask;
    for (const tPair& pair : kPairs) value |= 1u << (pair.upper - ((flags >> pair.flag) & 1u ? 0 : 1));
    write(kControl, value);
}

bool tQuolinInterruptManager::acknowledge() {
    if (msi_) return true;
    const uint32_t status = read(kStatus);
    if ((status & kPending) == 0 || status == kAllOnes) return false;
    write(kControl, kMask);
    return true;
}

uint32_t tQuolinInterruptManager::dequeueInterrupt() {
    const uint32_t entry = read(kQueue);
    return entry == kAllOnes ? 0 : entry;
}

void tQuolinInterruptManager::reenable() {
    if (!msi_) write(kControl, kEnable);
}

void tQuolinInterruptManager::deactivate() { write(kControl, kMask); }

void tQuolinInterruptManager::reactivate() { write(kControl, kReset); }

tQuolinInterruptManagerISP::tQuolinInterruptManagerISP(const uint64_t& bridgeBase, tDMAConfiguration& configuration,
                                                       uint32_t a, uint32_t b, bool msi, nKZAPALS100::tStatus& status)
    : tQuolinInterruptManager(bridgeBase, msi), ringMap_(configuration), ringEntries_(2 * b),
      bufferSize_((uint64_t{a} + b) * 8) {
    if (status.isFatal()) return;
    if (b == 0 || ringEntries_ > kMaxRingWords || bufferSize_ - 4 * uint64_t{ringEntries_} > kMaxBytesAfterRing) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusBadParameter);
        return;
    }
    configuration.allocateDMABuffer(ringPages_, bufferSize_, kRingFlags, status, kRingAlignment);
    if (status.isFatal()) return;
    const uint64_t pageSize = nKZKAL100_getPageSize();
    void* kernel = nKZKAL220_tPageList_mapToKernel(ringPages_.handle, 0, (bufferSize_ + pageSize - 1) / pageSize);
    if (kernel == nullptr) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusMemoryFull);
        return;
    }
    ring_ = static_cast<volatile uint32_t*>(kernel);
    ringMap_.map(ringPages_, 0, bufferSize_, 1, status);
    if (status.isFatal()) return;
    ringMap_.prepareForDMA();
    programRing();
}

tQuolinInterruptManagerISP::~tQuolinInterruptManagerISP() {
    if (ringActive_) {
        write(kRingControl, 0);
        read(kRingControl);
    }
    ringMap_.unmap();
    if (ring_ != nullptr) nKZKAL220_tPageList_unmapFromKernel(ringPages_.handle, const_cast<uint32_t*>(ring_));
    if (ringPages_.handle != nullptr) ringMap_.getConfiguration().freeDMABuffer(ringPages_);
}

void tQuolinInterruptManagerISP::programRing() {
    readIndex_ = 0;
    ringMap_.resetSGLIterator();
    write(kRingControl, 0);
    for (uint32_t i = 0; i < kRingClearedCount; ++i) write64(kRingCleared + 8 * i, 0);
    write64(kRingAddress, ringMap_.nextSGLSegment().address);
    write(kRingControl, ringEntries_ << kRingWordsShift | uint32_t(bufferSize_ - 4 * uint64_t{ringEntries_}) | kRingOn);
    write(kControl, kRingHandedBack);
    ringActive_ = true;
}

// Legacy: ours when enabled and the bridge has taken the ring (bit 0 clear).
bool tQuolinInterruptManagerISP::acknowledge() {
    if (usesMSI()) return true;
    const uint32_t control = read(kControl);
    if ((control & kEnable) == 0 || (control & kRingHandedBack) != 0) return false;
    write(kControl, kMask);
    return true;
}

uint32_t tQuolinInterruptManagerISP::dequeueInterrupt() {
    if (readIndex_ >= ringEntries_ || ring_ == nullptr) return 0;
    if (readIndex_ == 0) {
        ringMap_.completeDMA(~uint64_t{0});
        dmaMemoryFence();
    }
    return ring_[readIndex_++];
}

void tQuolinInterruptManagerISP::reenable() {
    if (ring_ == nullptr) return;
    ringMap_.prepareForDMA();
    readIndex_ = 0;
    ring_[0] = 0;
    write(kControl, kEnable | kRingHandedBack);
}

void tQuolinInterruptManagerISP::deactivate() {
    write(kControl, kMask);
    write(kRingControl, 0);
    read(kRingControl);
}

// A ring that was never set up stays off.
void tQuolinInterruptManagerISP::reactivate() {
    write(kControl, kReset);
    if (ringActive_) programRing();
}

}  // namespace nKZAPAL000
}  // namespace kzvorn_driver
