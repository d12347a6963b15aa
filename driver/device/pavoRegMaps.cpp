#include "device/pavoRegMaps.h"

#include "kzapal/protons/memory.h"
#include "kzapal/protons/statusCodes.h"

namespace kzvorn_driver {

namespace {

// IO port 2 and the isolation port share one port behind the switched bus interface.
constexpr uint32_t kPortSelectHigh = 0;
constexpr uint32_t kPortSelectLow = 2;

// The bytes each map's accessor covers: what its registers span.
constexpr uint64_t kDMAChannelSize = arm::extent(quolintools::kQuolinDMAChannelMap);

PavoRegMaps::Accessor at(uint8_t* bar, uint64_t offset, const arm::MapDesc& map) {
    return PavoRegMaps::Accessor{reinterpret_cast<uint64_t>(bar) + offset, arm::extent(map)};
}

}  // namespace

// clang-format off
const armki::RegisteredMap<PavoRegMaps> PavoRegMaps::kRegisteredMaps[] = {
    //                    set          registry     name                        map                    version
    ARMKI_REGISTERED_MAP(PavoRegMaps, s.registry_, "QuolinDMAChannel0",        s.dmaChannels_[0],     quolintools::kBridgeMapVersion)
    ARMKI_REGISTERED_MAP(PavoRegMaps, s.registry_, "QuolinDMAChannel1",        s.dmaChannels_[1],     quolintools::kBridgeMapVersion)
    ARMKI_REGISTERED_MAP(PavoRegMaps, s.registry_, "QuolinDMAChannel2",        s.dmaChannels_[2],     quolintools::kBridgeMapVersion)
    ARMKI_REGISTERED_MAP(PavoRegMaps, s.registry_, "QuolinDMAChannel3",        s.dmaChannels_[3],     quolintools::kBridgeMapVersion)
    ARMKI_REGISTERED_MAP(PavoRegMaps, s.registry_, "QuolinDMAChannel4",        s.dmaChannels_[4],     quolintools::kBridgeMapVersion)
    ARMKI_REGISTERED_MAP(PavoRegMaps, s.registry_, "QuolinDMAChannel5",        s.dmaChannels_[5],     quolintools::kBridgeMapVersion)
    ARMKI_REGISTERED_MAP(PavoRegMaps, s.registry_, "QuolinDMAChannel6",        s.dmaChannels_[6],     quolintools::kBridgeMapVersion)
    ARMKI_REGISTERED_MAP(PavoRegMaps, s.registry_, "QuolinDMAChannel7",        s.dmaChannels_[7],     quolintools::kBridgeMapVersion)
    ARMKI_REGISTERED_MAP(PavoRegMaps, s.registry_, "SwitchedQuolinBimRegMap",  &s.bim,                quolintools::kBridgeMapVersion)
    ARMKI_REGISTERED_MAP(PavoRegMaps, s.registry_, "Quolin",                   &s.quolin,             quolintools::kBridgeMapVersion)
    ARMKI_REGISTERED_MAP(PavoRegMaps, s.registry_, "IOPort2RegMap",            &s.ioPort2,            quolintools::kBridgeMapVersion)
    ARMKI_REGISTERED_MAP(PavoRegMaps, s.registry_, "IsolationPortRegMap",      &s.isolationPort,      quolintools::kBridgeMapVersion)
    ARMKI_REGISTERED_MAP(PavoRegMaps, s.registry_, "QuolinConfigPortSPI",      &s.configPortSPI,      quolintools::kBridgeMapVersion)
    ARMKI_REGISTERED_MAP(PavoRegMaps, s.registry_, "QuolinConfigPortWindow",   &s.configPortWindow,   quolintools::kBridgeMapVersion)
    ARMKI_REGISTERED_MAP(PavoRegMaps, s.registry_, "Triggers",                 &s.triggers,           quolintools::kTimingMapVersion)
    ARMKI_REGISTERED_MAP(PavoRegMaps, s.registry_, "DO",                       &s.digitalOutput,      pavo_regmaps::kTimingBlockMapVersion)
};
// clang-format on

PavoRegMaps::PavoRegMaps(uint8_t* bar, uint64_t barLength, armki::ARMDispatcher& registry, tStatus& status)
    : registry_(registry),
      bimAccessor_(at(bar, 0, quolintools::kSwitchedQuolinBimMap)),
      coreAccessor_(at(bar, 0, quolintools::kQuolinMap)),
      portAccessor(&bim, kPortSelectHigh, kPortSelectLow, status),
      windowAccessor_(at(bar, 0, quolintools::kQuolinConfigPortWindowMap)),
      spiAccessor_(at(bar, kSpiPort, quolintools::kQuolinConfigPortSPIMap)),
      triggersAccessor_(at(bar, kTimingBlock, quolintools::kTriggersMap)),
      doAccessor_(at(bar, kTimingBlock, pavo_regmaps::kDOMap)),
      barAccessor_(Accessor{reinterpret_cast<uint64_t>(bar), barLength}),
      bim(&bimAccessor_),
      quolin(&coreAccessor_),
      isolationPort(&portAccessor),
      ioPort2(&portAccessor),
      configPortWindow(&windowAccessor_),
      configPortSPI(&spiAccessor_),
      triggers(&triggersAccessor_),
      digitalOutput(&doAccessor_) {
    if (status.isFatal()) return;
    if (bar == nullptr || barLength < kFixedBlocksEnd) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusValueConflict);
        return;
    }
    buildDMAChannels(status);
    armki::registerMaps(*this, kRegisteredMaps, status);
}

// The placement comes from the hardware: a dead or foreign bridge must not make register requests
// or the DMA channels, which read it again, reach memory outside the mapping.
void PavoRegMaps::readDMAPlacement(uint64_t& offset, uint64_t& stride, tStatus& status) {
    if (status.isFatal()) return;
    offset = quolin.DMAChannelOffsetRegister().readRegister(status);
    auto capability = quolin.CapabilityRegister();
    capability.readRegister(status);
    stride = uint64_t{1} << capability.getDMAChannelStrideLog2(status);
    const uint64_t end = offset + (kDMAChannelCount - 1) * stride + kDMAChannelSize;
    if (status.isNotFatal() && end > barAccessor_.size) KZ_SET_CODE(status, nKZAPALS100::kStatusValueConflict);
}

void PavoRegMaps::buildDMAChannels(tStatus& status) {
    uint64_t offset = 0;
    uint64_t stride = 0;
    readDMAPlacement(offset, stride, status);
    if (status.isFatal()) return;
    for (size_t i = 0; i < kDMAChannelCount && status.isNotFatal(); ++i) {
        delete dmaChannels_[i];
        dmaChannels_[i] = nullptr;
        delete dmaAccessors_[i];
        dmaAccessors_[i] = new (status) Accessor{barAccessor_.base + offset + i * stride, kDMAChannelSize};
        dmaChannels_[i] = new (status) tDMAChannelMap(dmaAccessors_[i]);
    }
}

PavoRegMaps::~PavoRegMaps() {
    armki::unregisterMaps(*this, kRegisteredMaps);
    for (size_t i = kDMAChannelCount; i > 0; --i) delete dmaChannels_[i - 1];
    for (size_t i = kDMAChannelCount; i > 0; --i) delete dmaAccessors_[i - 1];
}

}  // namespace kzvorn_driver
