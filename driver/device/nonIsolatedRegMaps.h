// The non-isolated FPGA's register maps in base address register 0: the FPGA map with its measure
// units and power-monitor windows, the eight DMA stream circuits, the two INA231 chips behind the
// windows, and the FPGA's block as the "NisoFpgaWindow" device window; each map registered by name.
//
// Named access to the two chip maps holds only the registry's registration lock, not the lock of
// the chip's accessor; the accessor takes its own lock around each whole chip transaction.
#pragma once

#include <cstddef>
#include <cstdint>

#include "armki/registeredMaps.h"
#include "controllers/streamCreditControllers.h"
#include "device/memorySpaceWindowAdapter.h"
#include "deviceWindow/deviceWindowDispatcher.h"
#include "deviceWindow/memoryWindow.h"
#include "kzapal/protons/synchronization.h"
#include "kzvoltixSharedSource/frontEndAccessors/chassisPowerMonitorFrontEndAccessor.h"
#include "kzvorn_regMaps/Ina231RegMap.h"
#include "kzvorn_regMaps/TolvaneRegisterMap_TolvaneNisoFpgaRegMap.h"
#include "quolinTools/armgen/StreamCircuitRegMap.h"

namespace kzvorn_driver {

// The read-result register's bit 21 reports a read done, its bit 28 the window ready.
using tPowerMonitorReadReg = kzvorn_regmaps::tIna231PowerMonitorRegMap::tIna231ReadReg;
constexpr uint32_t kPowerMonitorReadDone = uint32_t(arm::fieldMask(tPowerMonitorReadReg::kBit21));
constexpr uint32_t kPowerMonitorReady = uint32_t(arm::fieldMask(tPowerMonitorReadReg::kBit28));
using tChassisPowerMonitorAccessor = kzvoltixsharedsource::ChassisPowerMonitorFrontEndAccessor<
    kzvorn_regmaps::tIna231PowerMonitorRegMap::tIna231ConfigReg, tPowerMonitorReadReg, kPowerMonitorReadDone,
    kPowerMonitorReady, kPowerMonitorReady, kzvoltixsharedsource::ChassisPowerMonitorNoOpDeviceSelector>;

class StreamCircuitRegMaps {
public:
    using tStatus = nKZAPALS100::tStatus;
    using Accessor = nKZAPAL000::tPCIMemorySpaceAccessorDebug<false>;
    using tStreamCircuitMap = quolintools::tStreamCircuitRegMapWithOffset<0u>;

    static constexpr size_t kCount = 8;
    static constexpr uint64_t kSize = 0x938;
    static constexpr uint64_t kEnd = streamCircuitMapAddress(kCount - 1) + kSize;

    // Builds and registers circuit after circuit until one fails.
    StreamCircuitRegMaps(uint8_t* bar, armki::ARMDispatcher& registry, tStatus& status);
    virtual ~StreamCircuitRegMaps();
    StreamCircuitRegMaps(const StreamCircuitRegMaps&) = delete;
    StreamCircuitRegMaps& operator=(const StreamCircuitRegMaps&) = delete;

    // Null past the last or when not built.
    virtual tStreamCircuitMap* getMap(size_t i) { return i < kCount ? maps_[i] : nullptr; }

private:
    armki::ARMDispatcher& registry_;
    Accessor* accessors_[kCount] = {};
    tStreamCircuitMap* maps_[kCount] = {};
};

class NonIsolatedRegMaps {
public:
    using tStatus = nKZAPALS100::tStatus;
    using Accessor = nKZAPAL000::tPCIMemorySpaceAccessorDebug<false>;

    static constexpr const char* kWindowName = "NisoFpgaWindow";
    static constexpr uint64_t kBlock = 0x20000;
    static constexpr uint64_t kBlockSize = 0x83C;
    static_assert(kBlockSize == arm::extent(kzvorn_regmaps::kTolvaneNisoFpgaMap), "the FPGA map's block");
    // The mapping must reach the end of the last stream circuit.
    static constexpr uint64_t kMappingNeeded = StreamCircuitRegMaps::kEnd;

    // A mapping shorter than the blocks the maps cover is -52003: nothing is built or registered.
    // Maps built before a failure stay owned by the set.
    NonIsolatedRegMaps(uint8_t* bar, uint64_t barLength, armki::ARMDispatcher& registry,
                       devicewindow::DeviceWindowDispatcher& windows, tStatus& status);
    virtual ~NonIsolatedRegMaps();
    NonIsolatedRegMaps(const NonIsolatedRegMaps&) = delete;
    NonIsolatedRegMaps& operator=(const NonIsolatedRegMaps&) = delete;

private:
    static bool covers(uint8_t* bar, uint64_t barLength, tStatus& status);

    armki::ARMDispatcher& registry_;
    devicewindow::DeviceWindowDispatcher& windows_;
    bool covered_;
    Accessor accessor_;
    MemorySpaceAccessorToMemoryWindowAdapter adapter_;

public:
    devicewindow::MemoryWindow window;
    kzvorn_regmaps::tTolvaneNisoFpgaRegMap fpga;
    StreamCircuitRegMaps streamCircuits;

private:
    nKZAPAL000::tMutex backplaneLock_;
    nKZAPAL000::tMutex sinkingBoardLock_;

public:
    tChassisPowerMonitorAccessor backplaneAccessor;
    tChassisPowerMonitorAccessor sinkingBoardAccessor;
    kzvorn_regmaps::tIna231RegMap backplaneChip;
    kzvorn_regmaps::tIna231RegMap sinkingBoardChip;

private:
    // Every name the set registers, in registration order.
    static const armki::RegisteredMap<NonIsolatedRegMaps> kRegisteredMaps[];
};

}  // namespace kzvorn_driver
