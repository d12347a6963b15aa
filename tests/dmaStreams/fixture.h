// The DMA level's objects over the product board (both FPGAs configured from power-up): the device
// with its DMA addressing chosen, the bridge and non-isolated register maps of levels 3 and 5, the
// isolated channel maps behind a fake front end, the stream controller group and the dispatcher,
// and two sessions' cleanup sets. Every test ends with no DMA fault it did not expect and nothing
// pinned or mapped.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "board/product.h"
#include "controllers/dmaControllers.h"
#include "device/nonIsolatedRegMaps.h"
#include "device/pavoRegMaps.h"
#include "dma/fixture.h"
#include "fendreldma/dmaDispatcher/dmaAddressing.h"
#include "fendreldma/dmaDispatcher/dmaDispatcher.h"
#include "kal/sim/dma.h"
#include "kal/sim/pci.h"
#include "kal/sim/registerMemory.h"
#include "kzkal/regmem.h"
#include "kzvorn_regMaps/fakeFrontEnd.h"
#include "kzvorn_regMaps/fixture.h"

namespace dmastreams {

using kzvorn_driver::QuolinDMAControllers;
using nKZAPALS100::tStatus;

constexpr int64_t kStreamRunning = int64_t(int32_t(0xBFFA806E));

struct Device : kzvorn_driver::nKZAPAL000::tPCIDevice {
    using tPCIDevice::tPCIDevice;
};

struct Streams : ::testing::Test {
    board::Board board{board::productIdentity()};
    board::ProductBlocks blocks;
    board::DmaEngine& engine = blocks.dma;
    kal::sim::PciFunction* function = nullptr;
    kzvorn_driver::nKZAPAL000::tPCIDescription description;
    std::unique_ptr<Device> device;
    uint8_t* bar = nullptr;
    armki::ARMDispatcher registry;
    devicewindow::DeviceWindowDispatcher windows;
    std::unique_ptr<kzvorn_driver::PavoRegMaps> pavo;
    std::unique_ptr<kzvorn_driver::NonIsolatedRegMaps> niso;
    kzmaps::FakeFrontEnd iso;
    std::unique_ptr<kzvorn_regmaps::tTolvaneIsoChannelRegMap> channelMaps[4];
    kzvorn_regmaps::tTolvaneIsoChannelRegMap* channels[4] = {};
    std::unique_ptr<QuolinDMAControllers> group;
    std::unique_ptr<fendreldma::DMADispatcher> dispatcher;
    tStatus st;
    kdut::CleanupOperationComposite session{16, st};
    kdut::CleanupOperationComposite other{16, st};
    kzvorn_driver::nKZAPAL000::tEventDescriptor event{nullptr};

    explicit Streams(const board::ProductOptions& options = kzmaps::configuredAtStart())
        : blocks(board::installProduct(board, options)) {
        function = &kal::sim::plugBoard(board);
        kzvorn_driver::nKZAPAL000::buildPCIDescription(description, function->record, nullptr);
        device = std::make_unique<Device>(description, st);
        bar = static_cast<uint8_t*>(
            nKZKAL230_mapPhysicalToKernel(kal::sim::barPhysicalAddress(board, 0), board::bar0::kSize, 0));
        pavo = std::make_unique<kzvorn_driver::PavoRegMaps>(bar, board::bar0::kSize, registry, st);
        niso = std::make_unique<kzvorn_driver::NonIsolatedRegMaps>(bar, board::bar0::kSize, registry, windows, st);
        for (unsigned c = 0; c < 4; ++c) {
            channelMaps[c] = std::make_unique<kzvorn_regmaps::tTolvaneIsoChannelRegMap>(&iso, 0x1000 + 0x200 * c, 0,
                                                                                        0x200);
            channels[c] = channelMaps[c].get();
        }
        fendreldma::configureDMAAddressing(pavo->quolin, *device, st);
        EXPECT_EQ(st.code, 0);
    }
    void SetUp() override {
        build(st);
        ASSERT_EQ(st.code, 0);
        board.log().clear();
    }
    void TearDown() override {
        dispatcher.reset();
        group.reset();
        dmatest::expectNoDMALeft();
    }
    ~Streams() override {
        niso.reset();
        pavo.reset();
        nKZKAL230_unmapPhysicalFromKernel(bar, 0);
        device.reset();
        kal::sim::unplugBoard(*function);
    }

    // The group and the dispatcher as the DMA level builds them.
    void build(tStatus& status) {
        dispatcher.reset();
        group = std::make_unique<QuolinDMAControllers>(*device, *pavo, *niso, channels, status);
        dispatcher = std::make_unique<fendreldma::DMADispatcher>(group.get(), QuolinDMAControllers::kStreamCount);
    }

    // One buffer into a stream's list: from the device for an even stream, to it for an odd one.
    tStatus add(uint32_t stream, uint32_t list, uint64_t address, uint64_t size, uint32_t count = 1,
                kdut::CleanupOperationComposite* cleanups = nullptr) {
        tStatus status;
        dispatcher->addTransfer(event, stream, list, address, size, stream % 2 == 0 ? 1 : 0, count,
                                cleanups != nullptr ? *cleanups : session, status);
        return status;
    }
    bool running(unsigned stream) { return engine.channel(stream).running; }
    uint64_t pinned() { return kal::sim::dmaState().pinnedPages; }
};

}  // namespace dmastreams
