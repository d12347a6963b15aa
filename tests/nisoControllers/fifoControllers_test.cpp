// The non-isolated FPGA's FIFO controllers against the board.
#include <gtest/gtest.h>

#include <vector>

#include "controllers/fifoControllers.h"
#include "kal/sim/faults.h"
#include "kzvorn_regMaps/fixture.h"

namespace {

using armtest::Access;
using armtest::W;
using kzvorn_driver::DMAFifoController;
using kzvorn_driver::MeasureFIFOOverflowStatusController;
using kzvorn_regmaps::tTolvaneNisoFpgaRegMap;
using nKZAPALS100::tStatus;

struct Fifos : kzmaps::NisoBoard {
    tTolvaneNisoFpgaRegMap map{&block, st, 0, 0, 0xFFFFFFFF};
};

TEST_F(Fifos, ClearFifoWritesTheStreamsResetOnEveryCall) {
    struct Case {
        unsigned stream;
        uint32_t offset;
    };
    for (const Case& c : {Case{0, 0x50}, Case{4, 0x58}, Case{5, 0x68}, Case{7, 0x6C}}) {
        board.log().clear();
        DMAFifoController fifo(DMAFifoController::resetRegisterOf(map, c.stream));
        fifo.clearFifo(st);
        fifo.getCleanupOperation()->cleanup(st);
        EXPECT_EQ(st.code, 0);
        EXPECT_EQ(seen(true), (std::vector<Access>{W(c.offset, 32, 1), W(c.offset, 32, 1)})) << c.stream;
        EXPECT_EQ(fpga().fifoResets(c.stream), 2u) << c.stream;
    }
    board.log().clear();
    tStatus failed;
    KZ_SET_CODE(failed, -9);
    DMAFifoController(DMAFifoController::resetRegisterOf(map, 1)).clearFifo(failed);
    EXPECT_TRUE(seen().empty());
}

TEST_F(Fifos, OverflowBitsAreThreeApartPerChannel) {
    MeasureFIFOOverflowStatusController overflow(map.MeasureFifoStatus(0), st);
    ASSERT_EQ(st.code, 0);
    struct Case {
        uint32_t word;
        uint64_t mask;
        int64_t code;
    };
    const int64_t kOverflowed = int64_t(int32_t(0xBFFA4037));
    for (const Case& c : {Case{0x249, 0x1, kOverflowed}, Case{0x008, 0x2, kOverflowed}, Case{0x040, 0x4, kOverflowed},
                          Case{0x200, 0x8, kOverflowed}, Case{0x200, 0x7, 0}, Case{0x002, 0xF, 0},
                          Case{0x1, 0x1ull << 32, kOverflowed}, Case{0x249, 0, 0}}) {
        blocks.nonIsolatedFpga.write(0x390, 4, c.word);
        tStatus status;
        overflow.checkOverflow(c.mask, status);
        EXPECT_EQ(status.code, c.code) << std::hex << c.word << " " << c.mask;
    }
    blocks.nonIsolatedFpga.write(0x390, 4, 0x249);
    for (uint8_t channel : {0, 1, 2, 3}) EXPECT_TRUE(overflow.isChannelOverflowed(channel, st));
    blocks.nonIsolatedFpga.write(0x390, 4, 0x2);
    for (uint8_t channel : {0, 1, 2, 3, 200}) EXPECT_FALSE(overflow.isChannelOverflowed(channel, st));
    EXPECT_EQ(st.code, 0);

    kal::sim::FailKernelCall refuse("createMutex");
    tStatus status;
    MeasureFIFOOverflowStatusController unusable(map.MeasureFifoStatus(0), status);
    EXPECT_EQ(status.code, -52000);
}

}  // namespace
