#include "device/pavoRegMaps.h"

#include "kzapal/protons/memory.h"
#include "kzapal/protons/statusCodes.h"

namespace kzvorn_driver {

namespace {

constexpr uint64_t kBimSize = 0x704;
constexpr uint64_t kCoreSize = 0x518;
constexpr uint64_t kWindowSize = 0xE4;
constexpr uint64_t kSpiPort = 0x580;
constexpr uint64_t kSpiPortSize = 0x10;
constexpr uint64_t kTimingBlock = 0x10000;
constexpr uint64_t kTriggersSize = 0x107;
constexpr uint64_t kDigitalOutputSize = 0x32;
// IO port 2 and the isolation port share one port behind the switched bus interface.
constexpr uint32_t kPortSelectHigh = 0;
constexpr uint32_t kPortSelectLow = 2;
constexpr unsigned kStrideField = 16;
constexpr uint32_t kStrideMask = 0xF;

PavoRegMaps::Accessor at(uint8_t* bar, uint64_t offset, uint64_t size) {
    return PavoRegMaps::Accessor{reinterpret_cast<uint64_t>(bar) + offset, size};
}

}  // namespace

PavoRegMaps::PavoRegMaps(uint8_t* bar, uint64_t barLength, armki::ARMDispatcher& registry, tStatus& status)
    : registry_(registry),
      bimAccessor_(at(bar, 0, kBimSize)),
      coreAccessor_(at(bar, 0, kCoreSize)),
      portAccessor(&bim, kPortSelectHigh, kPortSelectLow, status),
      windowAccessor_(at(bar, 0, kWindowSize)),
      spiAccessor_(at(bar, kSpiPort, kSpiPortSize)),
      triggersAccessor_(at(bar, kTimingBlock, kTriggersSize)),
      doAccessor_(at(bar, kTimingBlock, kDigitalOutputSize)),
      barAccessor_(at(bar, 0, barLength)),
      bim(&bimAccessor_),
      quolin(&coreAccessor_),
      isolationPort(&portAccessor),
      ioPort2(&portAccessor),
      configPortWindow(&windowAccessor_),
      configPortSPI(&spiAccessor_),
      triggers(&triggersAccessor_),
      digitalOutput(&doAccessor_),
      dmaRegistry_(registry) {
    if (status.isFatal()) return;
    if (bar == nullptr || barLength < kFixedBlocksEnd) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusValueConflict);
        return;
    }
    buildDMAChannels(status);
    for (size_t i = 0; i < kMapNameCount && status.isNotFatal(); ++i) registry_.add(kMapNames[i], *namedMap(i), status);
}

void PavoRegMaps::buildDMAChannels(tStatus& status) {
    const uint64_t offset = quolin.DMAChannelOffsetRegister().readRegister(status);
    const uint32_t capability = quolin.CapabilityRegister().readRegister(status);
    const uint64_t stride = uint64_t{1} << ((capability >> kStrideField) & kStrideMask);
    // The placement comes from the hardware: a dead or foreign bridge must not make user-mode
    // register requests reach memory outside the mapping.
    const uint64_t end = offset + (kDMAChannelCount - 1) * stride + kDMAChannelSize;
    if (status.isFatal()) return;
    if (end > barAccessor_.size) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusValueConflict);
        return;
    }
    for (size_t i = 0; i < kDMAChannelCount && status.isNotFatal(); ++i) {
        delete dmaChannels_[i];
        dmaChannels_[i] = nullptr;
        delete dmaAccessors_[i];
        dmaAccessors_[i] = new (status) Accessor{barAccessor_.base + offset + i * stride, kDMAChannelSize};
        dmaChannels_[i] = new (status) tDMAChannelMap(dmaAccessors_[i]);
        if (dmaChannels_[i] != nullptr) dmaRegistry_.add(kDMAChannelNames[i], *dmaChannels_[i], status);
    }
}

arm::DynamicAccessInterfaceBase<nKZAPALS100::tStatus>* PavoRegMaps::namedMap(size_t index) {
    arm::DynamicAccessInterfaceBase<tStatus>* const maps[kMapNameCount] = {
        &bim, &quolin, &ioPort2, &isolationPort, &configPortSPI, &configPortWindow, &triggers, &digitalOutput};
    return maps[index];
}

PavoRegMaps::~PavoRegMaps() {
    tStatus dropped;
    for (size_t i = kMapNameCount; i > 0; --i) {
        tStatus own;
        registry_.remove(kMapNames[i - 1], own);
        nKZAPALS100::merge(dropped, own);
    }
    for (size_t i = 0; i < kDMAChannelCount; ++i) {
        tStatus own;
        dmaRegistry_.remove(kDMAChannelNames[i], own);
        nKZAPALS100::merge(dropped, own);
    }
    for (size_t i = kDMAChannelCount; i > 0; --i) delete dmaChannels_[i - 1];
    for (size_t i = kDMAChannelCount; i > 0; --i) delete dmaAccessors_[i - 1];
}

}  // namespace kzvorn_driver
