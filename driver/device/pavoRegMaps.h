// The bridge and timing-block register maps in base address register 0, each tied to its part of
// the mapping and registered by name.
#pragma once

#include <cstddef>
#include <cstdint>

#include "armki/registeredMaps.h"
#include "kzapal/protons/pciMemorySpaceAccessor.h"
#include "pavo_regMaps/DO.h"
#include "quolinTools/armgen/IOPort2RegMap.h"
#include "quolinTools/armgen/IsolationPortRegMap.h"
#include "quolinTools/armgen/Quolin.h"
#include "quolinTools/armgen/QuolinConfigPortSPI.h"
#include "quolinTools/armgen/QuolinConfigPortWindow.h"
#include "quolinTools/armgen/QuolinDMAChannel.h"
#include "quolinTools/armgen/SwitchedQuolinBimRegMap.h"
#include "quolinTools/armgen/Triggers.h"
#include "quolinTools/portAccessor/pavoPortAccessor.h"

namespace kzvorn_driver {

class PavoRegMaps {
public:
    using tStatus = nKZAPALS100::tStatus;
    using Accessor = nKZAPAL000::tPCIMemorySpaceAccessorDebug<false>;
    using tDMAChannelMap = quolintools::tQuolinDMAChannelWithOffset<0u>;

    static constexpr size_t kDMAChannelCount = 8;
    // Where the blocks lie in the mapping that their maps do not say themselves.
    static constexpr uint64_t kSpiPort = 0x580;
    static constexpr uint64_t kTimingBlock = 0x10000;
    // The fixed blocks end with the trigger lines.
    static constexpr uint64_t kFixedBlocksEnd = kTimingBlock + arm::extent(quolintools::kTriggersMap);

    // Reads the DMA block placement from the bridge core; a placement (or a mapping too short for
    // the fixed blocks) that does not lie inside the mapping is -52003, and then no map is
    // registered. Maps built stay owned by the set whatever happens.
    PavoRegMaps(uint8_t* bar, uint64_t barLength, armki::ARMDispatcher& registry, tStatus& status);
    // Removes every name (a name never registered is no error) and deletes the channel maps.
    virtual ~PavoRegMaps();
    PavoRegMaps(const PavoRegMaps&) = delete;
    PavoRegMaps& operator=(const PavoRegMaps&) = delete;

    tDMAChannelMap* getDMAChannel(size_t index) { return index < kDMAChannelCount ? dmaChannels_[index] : nullptr; }
    // Where the bridge core places the DMA channel blocks now (offset and stride in the mapping):
    // -52003 when they do not all lie inside it.
    void readDMAPlacement(uint64_t& offset, uint64_t& stride, tStatus& status);
    const Accessor& barAccessor() const { return barAccessor_; }

private:
    armki::ARMDispatcher& registry_;
    Accessor bimAccessor_;
    Accessor coreAccessor_;

public:
    quolintools::PavoPortAccessor portAccessor;

private:
    Accessor windowAccessor_;
    Accessor spiAccessor_;
    Accessor triggersAccessor_;
    Accessor doAccessor_;
    Accessor barAccessor_;

public:
    quolintools::tSwitchedQuolinBimRegMapWithOffset<0u> bim;
    quolintools::tQuolinWithOffset<0u> quolin;
    quolintools::tIsolationPortRegMapWithOffset<0u> isolationPort;
    quolintools::tIOPort2RegMapWithOffset<0u> ioPort2;
    quolintools::tQuolinConfigPortWindowWithOffset<0u> configPortWindow;
    quolintools::tQuolinConfigPortSPIWithOffset<0u> configPortSPI;
    quolintools::tTriggersWithOffset<0u> triggers;
    pavo_regmaps::tDO digitalOutput;

private:
    void buildDMAChannels(tStatus& status);

    // Every name the set registers, in registration order.
    static const armki::RegisteredMap<PavoRegMaps> kRegisteredMaps[];

    Accessor* dmaAccessors_[kDMAChannelCount] = {};
    tDMAChannelMap* dmaChannels_[kDMAChannelCount] = {};
};

}  // namespace kzvorn_driver
