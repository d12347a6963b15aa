// The interrupt manager's status-ring variant over the board's ring: the registers it programs,
// the hand-over of the ring between the bridge and the host, and the set-ups it refuses.
#include <memory>

#include "bridgeDma/fixture.h"
#include "dma/fixture.h"
#include "kal/sim/dma.h"
#include "kal/sim/faults.h"
#include "kzapal/protons/Quolin/quolinInterruptManager.h"
#include "kzapal/protons/statusCodes.h"

namespace bridgedma {
namespace {

using armtest::Access;
using armtest::R;
using armtest::W;
using kzvorn_driver::nKZAPAL000::tDMAConfiguration;
using kzvorn_driver::nKZAPAL000::tQuolinInterruptManagerISP;
using nKZAPALS100::tStatus;
namespace ring = board::statusRing;

struct StatusRing : BridgeBoard {
    tDMAConfiguration configuration;
    StatusRing() {
        configuration.type = tDMAConfiguration::kDMAType64;
        board.setHostMemory(&kal::sim::hostMemoryPort());
    }
    ~StatusRing() override { dmatest::expectNoDMALeft(); }

    std::unique_ptr<tQuolinInterruptManagerISP> make(bool msi, uint32_t a = 8, uint32_t b = 8) {
        tStatus status;
        auto manager = std::make_unique<tQuolinInterruptManagerISP>(base, configuration, a, b, msi, status);
        EXPECT_EQ(status.code, 0);
        return manager;
    }
};

std::vector<Access> programming(uint64_t address, uint32_t control) {
    std::vector<Access> writes{W(0x3B4, 32, 0)};
    for (uint32_t i = 0; i < 8; ++i) writes.push_back(W(0x3C0 + 8 * i, 64, 0));
    writes.push_back(W(0x3B8, 64, address));
    writes.push_back(W(0x3B4, 32, control));
    writes.push_back(W(0x5C, 32, 1));
    return writes;
}

// 8 + 8 double words: a ring of 16 words and 64 bytes after it.
TEST_F(StatusRing, ProgrammingDeactivationAndDestruction) {
    auto manager = make(false);
    const board::DmaEngine::Ring programmed = engine->ring();
    EXPECT_TRUE(programmed.on);
    EXPECT_EQ(programmed.words, 16u);
    EXPECT_NE(programmed.address, 0u);
    std::vector<Access> expected{W(0x5C, 32, 0x54000500)};
    for (const Access& a : programming(programmed.address, 16u << 10 | 64 | 0x10000)) expected.push_back(a);
    EXPECT_EQ(seen(), expected);
    EXPECT_TRUE(manager->isRingActive());

    manager->deactivate();
    EXPECT_EQ(seen(), (std::vector<Access>{W(0x5C, 32, 0x40000000), W(0x3B4, 32, 0), R(0x3B4, 32, 0)}));
    EXPECT_FALSE(engine->ring().on);
    manager->reactivate();
    expected = {W(0x5C, 32, 0x54000500)};
    for (const Access& a : programming(programmed.address, 16u << 10 | 64 | 0x10000)) expected.push_back(a);
    EXPECT_EQ(seen(), expected);
    manager.reset();
    EXPECT_EQ(seen(), (std::vector<Access>{W(0x3B4, 32, 0), R(0x3B4, 32, 0), W(0x5C, 32, 0x40000000)}));
}

// The bridge writes what is queued into the ring from word 0 once the host has handed it over,
// bit 30 on all but the last word, and takes the ring; what comes meanwhile, or does not fit,
// waits for the next hand-over. The queue register is never read.
TEST_F(StatusRing, TheRingIsHandedBackAndForth) {
    for (bool msi : {false, true}) {
        SCOPED_TRACE(msi ? "MSI" : "legacy");
        board.platform().msiGranted = msi;
        auto manager = make(msi, 1, 1);  // two words
        nKZKAL100_memoryWrite32(mapped + 0x5C, 0x80000000);
        const uint64_t sent = engine->interruptsSent();
        const board::DmaEngine::Ring before = engine->ring();
        if (!msi) {
            EXPECT_FALSE(manager->acknowledge()) << "nothing written yet";
        }
        for (uint32_t id : {3u, 5u, 6u, 7u}) engine->queue(0x10000000 | id);
        EXPECT_EQ(engine->interruptsSent(), sent + 1);
        EXPECT_TRUE(manager->acknowledge());
        EXPECT_EQ(manager->dequeueInterrupt(), 0x10000003u);
        manager->reenable();
        EXPECT_EQ(engine->interruptsSent(), sent + 2);
        EXPECT_TRUE(manager->acknowledge());
        EXPECT_EQ(manager->dequeueInterrupt(), 0x50000005u);
        EXPECT_EQ(manager->dequeueInterrupt(), 0x10000006u);
        EXPECT_EQ(manager->dequeueInterrupt(), 0u) << "past the ring's two words";
        manager->reenable();
        EXPECT_EQ(manager->dequeueInterrupt(), 0x10000007u);
        manager->reenable();
        if (!msi) {
            EXPECT_FALSE(manager->acknowledge()) << "handed back with nothing to write";
        }
        EXPECT_EQ(manager->dequeueInterrupt(), 0u);
        EXPECT_EQ(engine->ring().posts - before.posts, 3u);
        EXPECT_EQ(engine->ring().wordsWritten - before.wordsWritten, 4u);
        EXPECT_EQ(board.log().countReads(0x68), 0u);
        manager.reset();
        seen();
    }
}

// What the ring control register cannot hold, and what the kernel layer refuses: a clear status,
// no ring programmed, and nothing left once the manager is gone.
TEST_F(StatusRing, RefusedSetUps) {
    struct Case {
        const char* name;
        uint32_t a, b;
        const char* failingCall;
        int64_t code;
    };
    const Case cases[] = {
        {"an empty ring", 8, 0, nullptr, nKZAPALS100::kStatusBadParameter},
        {"a ring of 64 words", 8, 32, nullptr, nKZAPALS100::kStatusBadParameter},
        {"1024 bytes after the ring", 128, 8, nullptr, nKZAPALS100::kStatusBadParameter},
        {"no pages", 8, 8, "tPageList_createFromAllocation", nKZAPALS100::kStatusMemoryFull},
        {"no kernel mapping", 8, 8, "tPageList_mapToKernel", nKZAPALS100::kStatusMemoryFull},
        {"no scatter-gather list", 8, 8, "tSGL_createForPCI", nKZAPALS100::kStatusMemoryFull},
        {"no device mapping", 8, 8, "tSGL_map", -52000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        tStatus status;
        {
            std::unique_ptr<kal::sim::FailKernelCall> refuse;
            if (c.failingCall != nullptr) refuse = std::make_unique<kal::sim::FailKernelCall>(c.failingCall);
            tQuolinInterruptManagerISP manager(base, configuration, c.a, c.b, false, status);
            EXPECT_FALSE(manager.isRingActive());
            EXPECT_EQ(board.log().countWrites(0x3B4), 0u);
            EXPECT_EQ(manager.dequeueInterrupt(), 0u);
            manager.reactivate();
            EXPECT_EQ(board.log().countWrites(0x3B4), 0u);
        }
        EXPECT_EQ(status.code, c.code);
        EXPECT_TRUE(kal::sim::dmaState().pageLists.empty());
        seen();
    }
}

// A bridge without the ring: its registers are plain core registers and the queue stays in use.
TEST(StatusRingAbsent, TheRegistersArePlainAndTheQueueStaysInUse) {
    board::Board board;
    board::BridgeCoreConfig config;
    config.statusRing = false;
    board::installBridgeCore(board, config);
    board::DmaEngine& engine = *board::findDmaEngine(board);
    EXPECT_FALSE(engine.ring().offered);
    board.bar(0).store(ring::kAddress, 8, 0x100000);
    kal::sim::attachBoard(board);
    auto* mapped = static_cast<uint8_t*>(
        nKZKAL230_mapPhysicalToKernel(kal::sim::barPhysicalAddress(board, 0), bar0::kSize, 0));
    nKZKAL100_memoryWrite32(mapped + ring::kControl, 16u << 10 | 0x10000);
    nKZKAL100_memoryWrite32(mapped + 0x5C, 0x80000001);
    engine.queue(0x10000002);
    EXPECT_FALSE(engine.ring().on);
    EXPECT_EQ(nKZKAL100_memoryRead32(mapped + 0x68), 0x10000002u);
    nKZKAL230_unmapPhysicalFromKernel(mapped, 0);
    kal::sim::detachBoard(board);
}

}  // namespace
}  // namespace bridgedma
