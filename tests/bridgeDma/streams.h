// Streams over a board with the bridge core and its stream circuits: the controllers start a
// channel on link lists in host memory and the board's engine moves the data.
#pragma once

#include <memory>

#include "board/bridgeCore.h"
#include "board/dmaEngine.h"
#include "dma/fixture.h"
#include "kal/sim/registerMemory.h"
#include "kzkal/regmem.h"
#include "quolinTools/dma/streamController.h"

namespace bridgedma {

using dmatest::UserPages;
using kzvorn_driver::nKZAPAL000::tEventDescriptor;
using kzvorn_driver::nKZAPAL000::tUserBuffer;
using nKZAPALS100::tStatus;
using quolintools::QuolinDMAStreamController;
using quolintools::SGLController;
using quolintools::tStreamCircuitController;
namespace bar0 = board::bar0;
namespace dc = board::dmaChannel;

constexpr uint64_t kPage = 4096;

// One stream's objects as the builder makes them.
struct Stream {
    arm::MemorySpaceAccess::Accessor channelBlock;
    arm::MemorySpaceAccess::Accessor circuitPage;
    QuolinDMAStreamController::tChannelMap channelMap{&channelBlock};
    quolintools::tStreamCircuitRegMapWithOffset<0u> circuitMap{&circuitPage};
    tStreamCircuitController circuit{&circuitMap, nullptr, false, false};
    QuolinDMAStreamController controller;
    SGLController lists;

    Stream(uint64_t& base, unsigned index, kzvorn_driver::nKZAPAL000::tDMAConfiguration& configuration,
           tStatus& status)
        : channelBlock{base + bar0::kDmaChannels + (uint64_t{index} << bar0::kDmaChannelStrideLog2),
                       uint64_t{1} << bar0::kDmaChannelStrideLog2},
          circuitPage{base + bar0::kStreamCircuits + index * bar0::kStreamCircuitStride, bar0::kStreamCircuitSize},
          controller(base, &channelMap, &circuit, index, status),
          lists(configuration, 512, index % 2 == 0 ? SGLController::kFromDevice : SGLController::kToDevice, status) {}

    void add(uint32_t kind, uint64_t address, uint64_t size, tStatus& status, uint32_t count = 1) {
        tEventDescriptor event{nullptr};
        tUserBuffer buffer(event, address, size, status);
        lists.addBuffer(kind, buffer, controller.streamIndex() % 2 == 0 ? SGLController::kFromDevice
                                                                        : SGLController::kToDevice,
                        count, status);
    }
    void start(tStatus& status) { controller.commitAndStart(lists, true, status); }
};

struct Streams : dmatest::DMAFixture {
    board::DmaEngine* engine = nullptr;
    uint8_t* mapped = nullptr;
    uint64_t base = 0;

    void SetUp() override {
        board_.identity().interruptLine = 10;
        board::installBridgeCore(board_);
        engine = board::findDmaEngine(board_);
        for (unsigned i = 0; i < board::kDmaStreamCount; ++i) board::installStreamCircuit(board_, i);
        DMAFixture::SetUp();
        configure(kzvorn_driver::nKZAPAL000::tDMAConfiguration::kDMAType64);
        mapped = static_cast<uint8_t*>(
            nKZKAL230_mapPhysicalToKernel(kal::sim::barPhysicalAddress(board_, 0), bar0::kSize, 0));
        base = reinterpret_cast<uint64_t>(mapped);
    }
    void TearDown() override {
        nKZKAL230_unmapPhysicalFromKernel(mapped, 0);
        DMAFixture::TearDown();
    }

    std::unique_ptr<Stream> stream(unsigned index) {
        tStatus status;
        auto result = std::make_unique<Stream>(base, index, configuration_, status);
        EXPECT_EQ(status.code, 0);
        return result;
    }
    uint32_t channelStatus(unsigned index) {
        return nKZKAL100_memoryRead32(mapped + bar0::kDmaChannels + (index << bar0::kDmaChannelStrideLog2) + dc::kStatus);
    }
};

}  // namespace bridgedma
