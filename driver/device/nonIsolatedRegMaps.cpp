#include "device/nonIsolatedRegMaps.h"

#include "kzapal/protons/memory.h"
#include "kzapal/protons/statusCodes.h"

namespace kzvorn_driver {

namespace {

constexpr const char* kStreamCircuitNames[StreamCircuitRegMaps::kCount] = {
    "StreamCircuitRegMap0", "StreamCircuitRegMap1", "StreamCircuitRegMap2", "StreamCircuitRegMap3",
    "StreamCircuitRegMap4", "StreamCircuitRegMap5", "StreamCircuitRegMap6", "StreamCircuitRegMap7"};

// Rows of kRegisteredMaps, in the order the destructor removes them.
constexpr size_t kRemovalOrder[] = {8, 7, 0, 1, 2, 3, 4, 5, 6};

}  // namespace

StreamCircuitRegMaps::StreamCircuitRegMaps(uint8_t* bar, armki::ARMDispatcher& registry, tStatus& status)
    : registry_(registry) {
    for (size_t i = 0; i < kCount && status.isNotFatal(); ++i) {
        const uint64_t address = reinterpret_cast<uint64_t>(bar) + streamCircuitMapAddress(unsigned(i));
        accessors_[i] = new (status) Accessor{address, kSize};
        if (accessors_[i] != nullptr) maps_[i] = new (status) tStreamCircuitMap(accessors_[i]);
        if (maps_[i] != nullptr) registry_.add(kStreamCircuitNames[i], *maps_[i], status);
    }
}

StreamCircuitRegMaps::~StreamCircuitRegMaps() {
    for (size_t i = 0; i < kCount; ++i) {
        tStatus dropped;
        registry_.remove(kStreamCircuitNames[i], dropped);
        delete maps_[i];
        delete accessors_[i];
    }
}

// clang-format off
const armki::RegisteredMap<NonIsolatedRegMaps> NonIsolatedRegMaps::kRegisteredMaps[] = {
    //                    set                 registry     name                     map                                  version
    ARMKI_REGISTERED_MAP(NonIsolatedRegMaps, s.registry_, "TolvaneNisoFpgaRegMap", &s.fpga,                             kzvorn_regmaps::kProductMapVersion)
    ARMKI_REGISTERED_MAP(NonIsolatedRegMaps, s.registry_, "TolvaneNisoFpgaRegMap_TolvaneNisoMeasureUnit0_TolvaneNisoMeasureUnitRegMap",
                                                                                s.fpga.measureUnit(0),               kzvorn_regmaps::kProductMapVersion)
    ARMKI_REGISTERED_MAP(NonIsolatedRegMaps, s.registry_, "TolvaneNisoFpgaRegMap_TolvaneNisoMeasureUnit1_TolvaneNisoMeasureUnitRegMap",
                                                                                s.fpga.measureUnit(1),               kzvorn_regmaps::kProductMapVersion)
    ARMKI_REGISTERED_MAP(NonIsolatedRegMaps, s.registry_, "TolvaneNisoFpgaRegMap_TolvaneNisoMeasureUnit2_TolvaneNisoMeasureUnitRegMap",
                                                                                s.fpga.measureUnit(2),               kzvorn_regmaps::kProductMapVersion)
    ARMKI_REGISTERED_MAP(NonIsolatedRegMaps, s.registry_, "TolvaneNisoFpgaRegMap_TolvaneNisoMeasureUnit3_TolvaneNisoMeasureUnitRegMap",
                                                                                s.fpga.measureUnit(3),               kzvorn_regmaps::kProductMapVersion)
    ARMKI_REGISTERED_MAP(NonIsolatedRegMaps, s.registry_, "TolvaneNisoFpgaRegMap_TolvaneBackplanePowerMonitorBase_Ina231PowerMonitorRegMap",
                                                                                &s.fpga.backplanePowerMonitor(),     kzvorn_regmaps::kProductMapVersion)
    ARMKI_REGISTERED_MAP(NonIsolatedRegMaps, s.registry_, "TolvaneNisoFpgaRegMap_TolvaneSinkingBoardPowerMonitorBase_Ina231PowerMonitorRegMap",
                                                                                &s.fpga.sinkingBoardPowerMonitor(),  kzvorn_regmaps::kProductMapVersion)
    ARMKI_REGISTERED_MAP(NonIsolatedRegMaps, s.registry_, "Ina231RegMapBackplane",  &s.backplaneChip,                   kzvorn_regmaps::kProductMapVersion)
    ARMKI_REGISTERED_MAP(NonIsolatedRegMaps, s.registry_, "Ina231RegMapSinkingBoard", &s.sinkingBoardChip,              kzvorn_regmaps::kProductMapVersion)
};
// clang-format on
static_assert(sizeof(kRemovalOrder) / sizeof(kRemovalOrder[0]) == 9, "every name is removed");

bool NonIsolatedRegMaps::covers(uint8_t* bar, uint64_t barLength, tStatus& status) {
    if (status.isFatal()) return false;
    // The maps' offsets are fixed: a shorter mapping would let register requests reach past it.
    if (bar != nullptr && barLength >= kMappingNeeded) return true;
    KZ_SET_CODE(status, nKZAPALS100::kStatusValueConflict);
    return false;
}

NonIsolatedRegMaps::NonIsolatedRegMaps(uint8_t* bar, uint64_t barLength, armki::ARMDispatcher& registry,
                                       devicewindow::DeviceWindowDispatcher& windows, tStatus& status)
    : registry_(registry),
      windows_(windows),
      covered_(covers(bar, barLength, status)),
      accessor_{reinterpret_cast<uint64_t>(bar) + kBlock, kBlockSize},
      adapter_(accessor_, kBlockSize),
      window(adapter_, status),
      fpga(&accessor_, status, 0, 0, 0xFFFFFFFF),
      streamCircuits(bar, registry, status),
      backplaneLock_(status),
      sinkingBoardLock_(status),
      backplaneAccessor(fpga.backplanePowerMonitor().Ina231ConfigReg(), fpga.backplanePowerMonitor().Ina231ReadReg(),
                        &backplaneLock_),
      sinkingBoardAccessor(fpga.sinkingBoardPowerMonitor().Ina231ConfigReg(),
                           fpga.sinkingBoardPowerMonitor().Ina231ReadReg(), &sinkingBoardLock_),
      backplaneChip(&backplaneAccessor),
      sinkingBoardChip(&sinkingBoardAccessor) {
    if (!covered_ || status.isFatal()) return;
    armki::registerMaps(*this, kRegisteredMaps, status);
    windows_.add(kWindowName, window, status);
}

NonIsolatedRegMaps::~NonIsolatedRegMaps() {
    tStatus dropped;
    windows_.remove(kWindowName, dropped);
    for (size_t row : kRemovalOrder) {
        tStatus own;
        registry_.remove(kRegisteredMaps[row].name, own);
    }
}

}  // namespace kzvorn_driver
