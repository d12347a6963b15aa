#include "kzapal/protons/Quolin/quolinInterruptManager.h"

#include "kzkal/regmem.h"

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

}  // namespace nKZAPAL000
}  // namespace kzvorn_driver
