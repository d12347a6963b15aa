// The bridge's register BAR on the simulated board, mapped through the kernel layer, with the
// bridge maps the port drivers sit on.
#pragma once

#include <cstdint>
#include <vector>

#include "board/bar0Map.h"
#include "board/board.h"
#include "board/bridgeCore.h"
#include "board/bridgeWindow.h"
#include "board/spiEngine.h"
#include "board/timingBlock.h"
#include "deviceWindow/flashWindow.h"
#include "kal/sim/registerMemory.h"
#include "kzkal/regmem.h"
#include "nonVolatileMemoryTools/sst25vfFlashController.h"
#include "pavoTools/doWriteProtectRegisters.h"
#include "pavoTools/writeProtectController.h"
#include "pavo_regMaps/DO.h"
#include "quolinTools/armgen/memorySpaceAccess.h"
#include "quolinTools/spiController/spiController.h"

namespace porttest {

using nKZAPALS100::tStatus;
namespace bar0 = board::bar0;

struct MappedBridge {
    board::Board board;
    uint8_t* mapped = nullptr;
    arm::MemorySpaceAccess::Accessor accessor{};

    MappedBridge() {
        board::installBridgeCore(board);
        kal::sim::attachBoard(board);
        mapped = static_cast<uint8_t*>(
            nKZKAL230_mapPhysicalToKernel(kal::sim::barPhysicalAddress(board, 0), bar0::kSize, 0));
        accessor = {reinterpret_cast<uint64_t>(mapped), bar0::kSize};
    }
    ~MappedBridge() {
        nKZKAL230_unmapPhysicalFromKernel(mapped, 0);
        kal::sim::detachBoard(board);
    }

    std::vector<uint64_t> writesTo(uint64_t offset) const { return const_cast<board::Board&>(board).log().writesTo(offset); }
};

constexpr int32_t kFlashTimeout = static_cast<int32_t>(0xBFFA4081);

// The serial flash behind the configuration port, and the driver's flash stack over it as the
// bring-up builds it: the window register gives the data window and the sector size, the
// write-protect line is the digital-output map's.
struct FlashOnBoard : MappedBridge {
    explicit FlashOnBoard(uint32_t windowBase = board::kDefaultWindowBase, const std::vector<uint8_t>& image = {})
        : window(board::installBridgeWindow(board, windowBase)),
          timing(board::installTimingBlock(board)),
          engine(board::installSpiEngine(board, window, timing, image)),
          flash(engine.flash()),
          spiAccessor{accessor.base + bar0::kSpiPort, bar0::kSpiPortSize},
          timingAccessor{accessor.base + bar0::kTimingBlock, bar0::kTimingBlockSize},
          windowRegister(windowMap.WindowRegister().readRegister(status)),
          dataWindow(quolintools::SPIController::dataWindowAddress(mapped, bar0::kSize, windowRegister, status)) {
        flash.takeLog();
        board.log().clear();
    }

    board::BridgeWindow& window;
    board::TimingBlock& timing;
    board::SpiEngine& engine;
    board::SST25VFFlash& flash;
    arm::MemorySpaceAccess::Accessor spiAccessor;
    arm::MemorySpaceAccess::Accessor timingAccessor;
    quolintools::SPIController::tSpiMap spiMap{&spiAccessor};
    quolintools::SPIController::tWindowMap windowMap{&accessor};
    pavo_regmaps::tDO digitalOutput{&timingAccessor};
    tStatus status;
    uint32_t windowRegister;
    uint8_t* dataWindow;
    quolintools::SPIController spi{&spiMap, &windowMap, &dataWindow, status};
};

// With the flash controller and the flash window on top.
struct FlashStackOnBoard : FlashOnBoard {
    using FlashOnBoard::FlashOnBoard;

    pavotools::DOWriteProtectRegisters lineRegisters{digitalOutput};
    pavotools::WriteProtectController line{lineRegisters, 0x80, status};
    nonvolatilememorytools::SST25VFFlashController controller{
        0x100000, quolintools::SPIController::sectorSize(windowRegister), spi, line, kFlashTimeout, status};
    devicewindow::FlashWindow flashWindow{controller, status};
};

}  // namespace porttest
