// The choice of DMA addressing on the product board: the bridge's capability register and the
// platform's DMA mask decide the device's addressing; the host bridge control register follows the
// capability.
#include <gtest/gtest.h>

#include "board/product.h"
#include "fendreldma/dmaDispatcher/dmaAddressing.h"
#include "kal/sim/faults.h"
#include "kal/sim/pci.h"
#include "kal/sim/registerMemory.h"
#include "kzapal/protons/pciDevice.h"
#include "kzkal/regmem.h"

namespace {

using kzvorn_driver::nKZAPAL000::tDMAConfiguration;
using kzvorn_driver::nKZAPAL000::tPCIDescription;
using kzvorn_driver::nKZAPAL000::tPCIDevice;
using nKZAPALS100::tStatus;

constexpr uint64_t kControl = 0xA4;

struct Device : tPCIDevice {
    using tPCIDevice::tPCIDevice;
};

// A product board on the bus, a device over it and the bridge core map over its register BAR.
struct Bench {
    board::Board board{board::productIdentity()};
    kal::sim::PciFunction* function = nullptr;
    tPCIDescription description;
    Device* device = nullptr;
    uint8_t* mapped = nullptr;
    arm::MemorySpaceAccess::Accessor block{};
    quolintools::tQuolinWithOffset<0u>* core = nullptr;

    explicit Bench(bool dma64, bool platformTakes64 = true) {
        board::ProductOptions options;
        options.bridgeCore.dma64 = dma64;
        board::installProduct(board, options);
        board.platform().dma64Accepted = platformTakes64;
        function = &kal::sim::plugBoard(board);
        kzvorn_driver::nKZAPAL000::buildPCIDescription(description, function->record, nullptr);
        tStatus status;
        device = new Device(description, status);
        mapped = static_cast<uint8_t*>(
            nKZKAL230_mapPhysicalToKernel(kal::sim::barPhysicalAddress(board, 0), board::bar0::kSize, 0));
        block = {reinterpret_cast<uint64_t>(mapped), board::bar0::kBridgeCoreSize};
        core = new quolintools::tQuolinWithOffset<0u>(&block);
        board.log().clear();
    }
    ~Bench() {
        delete core;
        nKZKAL230_unmapPhysicalFromKernel(mapped, 0);
        delete device;
        kal::sim::unplugBoard(*function);
    }
};

TEST(DMAAddressing, CapabilityAndPlatformChooseTheAddressing) {
    struct Case {
        bool dma64;
        bool platformTakes64;
        uint32_t control;    // 0xA4 before
        uint32_t type;       // the device's addressing after
        int writes;          // of 0xA4
        uint32_t written;
    };
    for (const Case& c : {Case{true, true, 0x00000123, 2, 1, 0x8000C123},
                          Case{true, false, 0x00000123, 1, 1, 0x8000C123},
                          Case{false, true, 0x0000C123, 1, 1, 0x80000123},
                          Case{true, true, 0x8000C000, 2, 0, 0},
                          Case{false, true, 0x80000000, 1, 0, 0}}) {
        Bench bench(c.dma64, c.platformTakes64);
        bench.board.bar(0).store(kControl, 4, c.control);
        tStatus status;
        fendreldma::configureDMAAddressing(*bench.core, *bench.device, status);
        EXPECT_EQ(status.code, 0);
        EXPECT_EQ(bench.device->getDMAConfiguration().type, c.type) << c.dma64 << c.platformTakes64;
        const auto written = bench.board.log().writesTo(kControl);
        ASSERT_EQ(written.size(), size_t(c.writes)) << std::hex << c.control;
        if (c.writes != 0) {
            EXPECT_EQ(written[0], c.written);
        }
        EXPECT_EQ(bench.core->HBRCR().getShadow(), c.writes != 0 ? c.written : c.control);
    }
}

TEST(DMAAddressing, ARefusedMaskOrAnErrorOnEntryLeavesTheControlRegisterAlone) {
    Bench bench(true);
    {
        kal::sim::FailKernelCall refuse("pciSetDMAMask", 1, 2);
        tStatus status;
        fendreldma::configureDMAAddressing(*bench.core, *bench.device, status);
        EXPECT_EQ(status.code, -52005);
    }
    EXPECT_EQ(bench.device->getDMAConfiguration().type, tDMAConfiguration::kDMATypeNone);
    tStatus failed;
    KZ_SET_CODE(failed, -9);
    fendreldma::configureDMAAddressing(*bench.core, *bench.device, failed);
    EXPECT_EQ(bench.board.log().countReads(kControl), 0u);
    EXPECT_EQ(bench.board.log().countWrites(kControl), 0u);
    EXPECT_EQ(bench.board.log().countReads(board::bar0::kCapability), 1u);
}

}  // namespace
