// The maps against the simulated board through the kernel layer's register calls.
#include <gtest/gtest.h>

#include <vector>

#include "armgen/bench.h"
#include "armgen/fakeAccess.h"
#include "board/bar0Map.h"
#include "board/board.h"
#include "board/bridgeCore.h"
#include "board/streamCircuit.h"
#include "board/timingBlock.h"
#include "kal/sim/registerMemory.h"
#include "kzapal/protons/statusCodes.h"
#include "kzkal/regmem.h"
#include "pavo_regMaps/DO.h"
#include "quolinTools/armgen/Quolin.h"
#include "quolinTools/armgen/QuolinDMAChannel.h"
#include "quolinTools/armgen/StreamCircuitRegMap.h"
#include "quolinTools/armgen/Triggers.h"

namespace {

using armtest::R;
using armtest::W;
using board::Direction;
using nKZAPALS100::tStatus;
namespace bar0 = board::bar0;

constexpr int64_t kOutside = nKZAPALS100::kStatusResourceNotFound;

struct OnBoard : ::testing::Test {
    board::Board board;
    board::TimingBlock& timing = board::installTimingBlock(board);
    uint8_t* mapped = nullptr;
    arm::MemorySpaceAccess::Accessor core{};
    arm::MemorySpaceAccess::Accessor timingBlock{};

    OnBoard() {
        board::installBridgeCore(board);
        kal::sim::attachBoard(board);
        mapped = static_cast<uint8_t*>(
            nKZKAL230_mapPhysicalToKernel(kal::sim::barPhysicalAddress(board, 0), bar0::kSize, 0));
        core = {reinterpret_cast<uint64_t>(mapped), bar0::kBridgeCoreSize};
        timingBlock = {reinterpret_cast<uint64_t>(mapped) + bar0::kTimingBlock, bar0::kTimingBlockSize};
        board.log().clear();
    }
    ~OnBoard() override {
        nKZKAL230_unmapPhysicalFromKernel(mapped, 0);
        kal::sim::detachBoard(board);
    }

    // The board's log in the terms of the test register file: widths in bits.
    std::vector<armtest::Access> seen() {
        std::vector<armtest::Access> out;
        for (const board::Access& a : board.log().entries())
            out.push_back({a.direction == Direction::Write, uint32_t(a.offset), a.width * 8, a.value});
        return out;
    }
};

TEST_F(OnBoard, TriggerStrobeIsOneSixteenBitWriteAndLeavesTheShadow) {
    quolintools::tTriggersWithOffset<0u> triggers(&timingBlock);
    tStatus st;
    triggers.write(0x280000A0, 1, false, st);
    EXPECT_EQ(st.code, 0);
    EXPECT_EQ(seen(), (std::vector<armtest::Access>{W(bar0::kTimingBlock + 0xA0, 16, 0x0020)}));
    uint64_t v = 9;
    triggers.get(0x280000A0, v, st);
    EXPECT_EQ(v, 0u);
    EXPECT_EQ(triggers.AnalogTrigControlRegister().getShadow(), 0u);
}

// Register arrays: element i lies a stride from element 0, its typed field writers write as the
// map's `write` does, and an index past the array gives a handle that every operation refuses.
TEST_F(OnBoard, ArrayElementsByIndexAndStride) {
    quolintools::tTriggersWithOffset<0u> triggers(&timingBlock);
    board::installStreamCircuit(board, 1);
    const uint64_t page = bar0::kStreamCircuits + bar0::kStreamCircuitStride;
    arm::MemorySpaceAccess::Accessor accessor{reinterpret_cast<uint64_t>(mapped) + page, bar0::kStreamCircuitSize};
    quolintools::tStreamCircuitRegMapWithOffset<0u> stream(&accessor);
    board.log().clear();
    tStatus st;
    triggers.PFI_OutputSelectRegister(3)
        .writePFI_i_Output_Select(quolintools::nTriggers::Trig_PFI_Output_Select_t(0x45), st)
        .writePFI_i_EnableP0_Routing(quolintools::nTriggers::Trig_PFI_EnableP0_Routing_t(1), st);
    stream.Register904(2).writeBits31_28(0xA, st);
    stream.Register904View2(1).writeBits21_12(0x3FF, st);
    EXPECT_EQ(st.code, 0);
    EXPECT_EQ(stream.Register904(2).getShadow(), 0xA0000000u);
    EXPECT_EQ(seen(), (std::vector<armtest::Access>{W(bar0::kTimingBlock + 0xBD, 8, 0x45),
                                                     W(bar0::kTimingBlock + 0xBD, 8, 0xC5), W(page + 0x924, 32, 0xA0000000),
                                                     W(page + 0x914, 32, 0x003FF000)}));
    board.log().clear();
    auto past = triggers.PFI_OutputSelectRegister(16);
    tStatus refused;
    past.writePFI_i_Output_Select(quolintools::nTriggers::Trig_PFI_Output_Select_t(1), refused);
    EXPECT_EQ(refused.code, nKZAPALS100::kStatusBadParameter);
    tStatus refusedToo;
    stream.Register900(4).flush(refusedToo, true);
    EXPECT_EQ(refusedToo.code, nKZAPALS100::kStatusBadParameter);
    EXPECT_TRUE(seen().empty());
}

TEST_F(OnBoard, SharedOffsetsKeepTheirWidthsAndSides) {
    quolintools::tTriggersWithOffset<0u> triggers(&timingBlock);
    timing.present(0xDC, 0x3);
    tStatus st;
    triggers.flush(0x800000DC, true, st);
    uint64_t v = 0;
    triggers.read(0xC00000DC, v, st);
    EXPECT_EQ(v, 3u);
    EXPECT_EQ(timing.written(0xDC), 0x6000u);
    EXPECT_EQ(seen(), (std::vector<armtest::Access>{W(bar0::kTimingBlock + 0xDC, 32, 0x6000),
                                                     R(bar0::kTimingBlock + 0xDC, 16, 0x3)}));
}

TEST_F(OnBoard, RegisterOutsideTheWindowIsNeverTouched) {
    // Keys 0x00 and 0x02 lie before the window's first key.
    pavo_regmaps::tDO dout(&timingBlock, 0x04, 0x04, 0x100);
    tStatus read, refresh, forced, write, dirty, local;
    uint64_t v = 7;
    dout.read(0xC0000000, v, read);
    dout.refresh(0x40000000, refresh);
    dout.flush(0x80000000, true, forced);
    dout.write(0x20000000, 1, false, write);
    EXPECT_TRUE(dout.QMAR_DIO_Enable_Register().isDirty());
    EXPECT_EQ(dout.QMAR_DIO_Enable_Register().getShadow(), 0x2u);
    dout.flush(0x80000000, false, dirty);
    for (const tStatus* s : {&read, &refresh, &forced, &write, &dirty}) EXPECT_EQ(s->code, kOutside);
    EXPECT_EQ(v, 0u);  // the field of the unchanged shadow
    EXPECT_TRUE(seen().empty());
    dout.set(0x10000000, 1, local);
    dout.get(0x80000000, v, local);
    EXPECT_EQ(local.code, 0);
    EXPECT_EQ(v, 0x6u);
    dout.write(0x80000004, 0x80, false, local);  // inside: key 4 at timing-block offset 4
    EXPECT_EQ(seen(), (std::vector<armtest::Access>{W(bar0::kTimingBlock + 0x04, 32, 0x80)}));
    EXPECT_TRUE(timing.writeProtectLine());
}

TEST_F(OnBoard, DmaChannelBlocksArePlacedByTheCoreRegisters) {
    quolintools::tQuolinWithOffset<0u> quolin(&core);
    tStatus st;
    quolin.DMAChannelOffsetRegister().refresh(st);
    quolin.CapabilityRegister().refresh(st);
    const uint64_t d = quolin.DMAChannelOffsetRegister().getShadow();
    const unsigned s = unsigned((quolin.CapabilityRegister().getShadow() >> 16) & 0xF);
    EXPECT_EQ(quolin.Signature().readRegister(st), bar0::kBridgeSignature);
    arm::MemorySpaceAccess::Accessor channel3{reinterpret_cast<uint64_t>(mapped) + d + (3u << s), 0xA8};
    quolintools::tQuolinDMAChannelWithOffset<0u> dma(&channel3);
    board.log().clear();
    dma.write(0x26000058, 7, false, st);
    EXPECT_EQ(st.code, 0);
    EXPECT_EQ(seen(), (std::vector<armtest::Access>{W(0x2658, 32, 0x02000000)}));
}

TEST_F(OnBoard, SixtyFourBitDataPortIsOneStore) {
    quolintools::tQuolinWithOffset<0u> quolin(&core);
    tStatus st;
    auto port64 = quolin.FPGALoadDataRegister64();
    port64.setRegister(0x1122334455667788ull, st);
    port64.flush(st);
    quolin.FPGALoadDataRegister().writeRegister(0xAB, st);
    EXPECT_EQ(st.code, 0);
    EXPECT_EQ(port64.getShadow(), 0u);
    EXPECT_EQ(seen(), (std::vector<armtest::Access>{W(0x460, 64, 0x1122334455667788ull),
                                                     W(0x460, 8, 0xAB)}));
}

// A run of forced whole writes of the data port: one 64-bit store a word, in order, each word
// its eight bytes little-endian; the shadow, dirty with a value no write sent, ends as the
// ordinary writes leave it (0 and clean), and a run of no words leaves it alone.
TEST_F(OnBoard, AWordStreamStoresEachWordOnceAndSettlesTheShadowAtItsEnd) {
    quolintools::tQuolinWithOffset<0u> quolin(&core);
    tStatus st;
    auto port64 = quolin.FPGALoadDataRegister64();
    const uint8_t bytes[24] = {1, 2, 3, 4, 5, 6, 7, 8, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0xFF};
    port64.setRegister(0xABCD, st);
    {
        arm::WordStream nothing(port64);
        nothing.write(bytes, 0, st);
    }
    EXPECT_TRUE(port64.isDirty());
    EXPECT_EQ(port64.getShadow(), 0xABCDu);
    {
        arm::WordStream words(port64);
        words.write(bytes, 2, st);
        words.write(bytes + 16, 1, st);
    }
    EXPECT_EQ(st.code, 0);
    EXPECT_EQ(seen(), (std::vector<armtest::Access>{W(0x460, 64, 0x0807060504030201ull),
                                                     W(0x460, 64, 0x8877665544332211ull), W(0x460, 64, 0xFF)}));
    EXPECT_EQ(port64.getShadow(), 0u);
    EXPECT_FALSE(port64.isDirty());
}

// Where the map cannot store directly, every word takes the ordinary forced write, and the run
// stops at the first that fails, the shadow as that failure leaves it.
TEST(WordStream, WithoutDirectStoresEachWordIsAnOrdinaryWriteUntilOneFails) {
    armtest::FakeAccess hw;
    armtest::Bench quolin(quolintools::kQuolinMap, &hw);
    const arm::Register port64(quolin, quolintools::nQuolin::tRegisterSet::kRowOfFPGALoadDataRegister64);
    const uint8_t bytes[24] = {1, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 3};
    tStatus st;
    {
        arm::WordStream words(port64);
        words.write(bytes, 3, st);
    }
    EXPECT_EQ(st.code, 0);
    EXPECT_EQ(hw.writes(), (std::vector<armtest::Access>{W(0x460, 64, 1), W(0x460, 64, 2), W(0x460, 64, 3)}));
    EXPECT_EQ(port64.getShadow(), 0u);

    hw.log.clear();
    hw.failing.insert(0x460);
    {
        arm::WordStream words(port64);
        words.write(bytes, 3, st);
        words.write(bytes, 1, st);
    }
    EXPECT_EQ(st.code, hw.failureCode);
    EXPECT_EQ(hw.writes(), (std::vector<armtest::Access>{W(0x460, 64, 1)}));
    EXPECT_TRUE(port64.isDirty());
    EXPECT_EQ(port64.getShadow(), 1u);
}

TEST_F(OnBoard, StreamCircuitControlAndAdditiveCount) {
    board::StreamCircuit& circuit = board::installStreamCircuit(board, 2);
    const uint64_t page = bar0::kStreamCircuits + 2 * bar0::kStreamCircuitStride;
    arm::MemorySpaceAccess::Accessor accessor{reinterpret_cast<uint64_t>(mapped) + page, bar0::kStreamCircuitSize};
    quolintools::tStreamCircuitRegMapWithOffset<0u> stream(&accessor);
    tStatus st;
    auto control = stream.StreamControlStatusReg();
    EXPECT_FALSE(control.readDataTransferEnable(st));
    stream.write(0x04000800, 1, false, st);  // bit 8 alone
    EXPECT_TRUE(control.readDataTransferEnable(st));
    EXPECT_FALSE(control.readStreamCircuitResetComplete(st));
    stream.write(0x00000810, 5, false, st);
    circuit.present(board::StreamCircuit::kAdditiveTransferCount, 77);
    uint64_t count = 0;
    stream.read(0x40000810, count, st);
    EXPECT_EQ(st.code, 0);
    EXPECT_EQ(count, 77u);
    EXPECT_EQ(circuit.written(board::StreamCircuit::kAdditiveTransferCount), 5u);
    EXPECT_EQ(seen(), (std::vector<armtest::Access>{R(page + 0x800, 32, 0), W(page + 0x800, 32, 0x100),
                                                     R(page + 0x800, 32, 0x100), R(page + 0x800, 32, 0x100),
                                                     W(page + 0x810, 32, 5), R(page + 0x810, 32, 77)}));
    tStatus failed;
    KZ_SET_CODE(failed, -1);
    board.log().clear();
    EXPECT_TRUE(control.readDataTransferEnable(failed));  // a poll on it ends at once
    EXPECT_TRUE(seen().empty());
}

}  // namespace
