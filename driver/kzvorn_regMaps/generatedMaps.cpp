// The product's non-isolated register maps: their construction and destruction, so every map is
// built with the kernel flags and its hardware calls appear in the driver object.
#include "kzvorn_regMaps/Ina231RegMap.h"
#include "kzvorn_regMaps/TolvaneRegisterMap_Ina231PowerMonitorRegMap.h"
#include "kzvorn_regMaps/TolvaneRegisterMap_TolvaneNisoFpgaRegMap.h"
#include "kzvorn_regMaps/TolvaneRegisterMap_TolvaneNisoMeasureUnitRegMap.h"
#include "kzapal/protons/memory.h"

namespace kzvorn_regmaps {

tIna231RegMap::tIna231RegMap(kzvoltixsharedsource::FrontEndAccessorInterface* accessor, arm::Window window)
    : DeclaredMap(accessor, window) {}
tIna231RegMap::~tIna231RegMap() {}

tIna231PowerMonitorRegMap::tIna231PowerMonitorRegMap(const arm::MemorySpaceAccess::Accessor* accessor,
                                                     arm::Window window)
    : DeclaredMap(accessor, window) {}
tIna231PowerMonitorRegMap::~tIna231PowerMonitorRegMap() {}

tTolvaneNisoMeasureUnitRegMap::tTolvaneNisoMeasureUnitRegMap(const arm::MemorySpaceAccess::Accessor* accessor,
                                                             arm::Window window)
    : DeclaredMap(accessor, window) {}
tTolvaneNisoMeasureUnitRegMap::~tTolvaneNisoMeasureUnitRegMap() {}

tTolvaneNisoFpgaRegMap::tTolvaneNisoFpgaRegMap(tAccessor* accessor, tStatus& status, uint32_t base, uint32_t first,
                                               uint32_t count)
    : DeclaredMap(accessor, arm::Window{base, first, count}),
      backplane_(accessor, subMapWindow(window(), kBackplanePowerMonitor, tIna231PowerMonitorRegMap::kSize)),
      sinkingBoard_(accessor, subMapWindow(window(), kSinkingBoardPowerMonitor, tIna231PowerMonitorRegMap::kSize)) {
    subMaps_[kMeasureUnitCount] = &backplane_;
    subMaps_[kMeasureUnitCount + 1] = &sinkingBoard_;
    attachSubMaps(subMaps_, kMeasureUnitCount + 2);
    if (status.isFatal()) return;
    for (unsigned i = 0; i < kMeasureUnitCount; ++i) {
        const uint32_t offset = kMeasureUnits + i * kMeasureUnitStride;
        tStatus allocation;  // the map reports the failure as its own
        measureUnits_[i] = new (allocation)
            tTolvaneNisoMeasureUnitRegMap(accessor, subMapWindow(window(), offset, tTolvaneNisoMeasureUnitRegMap::kSize));
        if (measureUnits_[i] == nullptr) {
            nKZAPALS100::setCode(status, nKZAPALS100::kStatusMemoryFull, KZ_COMPONENT, kTolvaneNisoFpgaMap.source,
                                 __LINE__);
            return;
        }
        subMaps_[i] = measureUnits_[i];
    }
}

tTolvaneNisoFpgaRegMap::~tTolvaneNisoFpgaRegMap() {
    for (unsigned i = kMeasureUnitCount; i-- > 0;) delete measureUnits_[i];
}

}  // namespace kzvorn_regmaps
