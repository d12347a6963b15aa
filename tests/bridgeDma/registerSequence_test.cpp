// The channel's and the interrupt manager's register sequences as the board logs them.
#include <functional>
#include <memory>

#include "bridgeDma/fixture.h"
#include "kzapal/protons/Quolin/quolinDMAChannel.h"
#include "kzapal/protons/Quolin/quolinInterruptManager.h"
#include "kzapal/protons/statusCodes.h"

namespace bridgedma {
namespace {

using armtest::Access;
using armtest::R;
using armtest::W;
using kzvorn_driver::nKZAPAL000::tLinkInformation;
using kzvorn_driver::nKZAPAL000::tQuolinDMAChannel;
using kzvorn_driver::nKZAPAL000::tQuolinInterruptManager;

constexpr uint32_t kCapability = (bar0::kDmaChannelStrideLog2 << 16) | board::kCapabilityDma64;
constexpr uint32_t kChannel0 = 0x2000;

struct Sequences;

struct Case {
    const char* name;
    std::function<void(Sequences&)> run;
    std::vector<Access> expected;
};

struct Sequences : BridgeBoard, ::testing::WithParamInterface<Case> {
    std::unique_ptr<tQuolinDMAChannel> channel0;
    void SetUp() override {
        channel0 = std::make_unique<tQuolinDMAChannel>(base, 0);
        seen();
    }
};

std::vector<Case> cases() {
    const uint32_t c = kChannel0;
    return {
        {"channel 3 finds its block and resets it",
         [](Sequences& f) {
             tQuolinDMAChannel channel(f.base, 3);
             EXPECT_EQ(channel.blockAddress(), f.base + 0x2600);
             EXPECT_EQ(channel.blockSize(), 0x200u);
             EXPECT_FALSE(channel.isRunning());
         },
         {R(0x0C, 32, kCapability), R(0x1C, 32, 0x2000), W(0x2654, 32, 1), W(0x2658, 32, 2), W(0x2654, 32, 2)}},
        {"a channel placed at a given block resets it there",
         [](Sequences& f) { tQuolinDMAChannel channel(f.base + 0x2E00, 0x200, 7); },
         {W(0x2E54, 32, 1), W(0x2E58, 32, 2), W(0x2E54, 32, 2)}},
        {"a channel built under an error touches nothing",
         [](Sequences& f) {
             nKZAPALS100::tStatus status;
             status.code = nKZAPALS100::kStatusMemoryFull;
             tQuolinDMAChannel channel(f.base, 1, status);
             EXPECT_EQ(channel.blockAddress(), 0u);
             EXPECT_EQ(channel.blockSize(), 0u);
         },
         {}},
        {"start stores the link address in one access, then length and command 5",
         [](Sequences& f) {
             f.channel0->start(tLinkInformation{0x123456789A0ull, 0x40}, true);
             EXPECT_TRUE(f.channel0->isRunning());
         },
         {W(c + 0x48, 64, 0x123456789A0ull), W(c + 0x50, 32, 0x40), W(c + 0x58, 32, 5)}},
        {"start in the other mode gives command 1",
         [](Sequences& f) { f.channel0->start(tLinkInformation{0x1000, 0x20}, false); },
         {W(c + 0x48, 64, 0x1000), W(c + 0x50, 32, 0x20), W(c + 0x58, 32, 1)}},
        {"the same notifications twice write once; none drops bits 12, 13, 15 and 24-27",
         [](Sequences& f) {
             f.board.bar(0).store(c + 0x54, 4, 0x0F00B003);
             f.channel0->setNotifications(0x2000000);
             f.channel0->setNotifications(0x2000000);
             f.channel0->setNotifications(0);
         },
         {R(c + 0x54, 32, 0x0F00B003), W(c + 0x54, 32, 0x02000003), R(c + 0x54, 32, 0x02000003),
          W(c + 0x54, 32, 0x00000003)}},
        {"the notification position is one 8-byte store before its command",
         [](Sequences& f) { f.channel0->loadNotificationPosition(0x100000000ull); },
         {W(c + 0x90, 64, 0x100000000ull), W(c + 0x58, 32, 0x2000000)}},
        {"the transfer count is one 8-byte load",
         [](Sequences& f) { EXPECT_EQ(f.channel0->readTransferCount(), 0u); }, {R(c + 0xA0, 64, 0)}},
        {"configure writes each value its control bits select, then the control",
         [](Sequences& f) {
             f.board.bar(0).store(c + 0x54, 4, 0xFFFFFFFF);
             f.channel0->configure(0xC40000, 0x30, 0x2020202020ull, 0x34, 0x2828282828ull);
         },
         {R(c + 0x54, 32, 0xFFFFFFFF), W(c + 0x30, 32, 0x30), W(c + 0x20, 64, 0x2020202020ull), W(c + 0x34, 32, 0x34),
          W(c + 0x28, 64, 0x2828282828ull), W(c + 0x54, 32, 0xFFC4F7FF)}},
        {"configure with bit 23 alone writes 0x20 and 0x34 only",
         [](Sequences& f) { f.channel0->configure(0x800000, 1, 2, 3, 4); },
         {R(c + 0x54, 32, 2), W(c + 0x20, 64, 2), W(c + 0x34, 32, 3), W(c + 0x54, 32, 0x800002)}},
        {"deactivate stops; reactivate resets",
         [](Sequences& f) {
             f.channel0->deactivate();
             f.channel0->reactivate();
         },
         {W(c + 0x58, 32, 2), W(c + 0x54, 32, 1), W(c + 0x58, 32, 2), W(c + 0x54, 32, 2)}},
        {"the interrupt manager's life: built, configured as the controller does, destroyed",
         [](Sequences& f) {
             tQuolinInterruptManager manager(f.base, false);
             manager.configure(0x10000000);
             manager.configure(0x3000A00);
             manager.configure(0);
         },
         {W(0x5C, 32, 0x54000500), W(0x5C, 32, 0x94000500), W(0x5C, 32, 0xA8000A00), W(0x5C, 32, 0x54000500),
          W(0x5C, 32, 0x40000000)}},
        {"legacy acknowledge with an entry queued claims and masks",
         [](Sequences& f) {
             tQuolinInterruptManager manager(f.base, false);
             f.engine->queue(0x10000002);
             f.seen();
             EXPECT_TRUE(manager.acknowledge());
             manager.reenable();
             manager.deactivate();
             manager.reactivate();
         },
         {R(0x60, 32, 0x80000000), W(0x5C, 32, 0x40000000), W(0x5C, 32, 0x80000000), W(0x5C, 32, 0x40000000),
          W(0x5C, 32, 0x54000500), W(0x5C, 32, 0x40000000)}},
        {"legacy acknowledge with nothing pending claims nothing and writes nothing",
         [](Sequences& f) {
             tQuolinInterruptManager manager(f.base, false);
             f.seen();
             EXPECT_FALSE(manager.acknowledge());
         },
         {R(0x60, 32, 0), W(0x5C, 32, 0x40000000)}},
        {"a removed device's all-ones status is not claimed",
         [](Sequences& f) {
             tQuolinInterruptManager manager(f.base, false);
             f.engine->queue(0x10000002);
             f.engine->faults().deviceRemoved = true;
             f.seen();
             EXPECT_FALSE(manager.acknowledge());
             EXPECT_EQ(manager.dequeueInterrupt(), 0u);
         },
         {R(0x60, 32, 0xFFFFFFFF), R(0x68, 32, 0xFFFFFFFF), W(0x5C, 32, 0x40000000)}},
        {"a status with bit 31 clear is not claimed, whatever else it shows",
         [](Sequences& f) {
             tQuolinInterruptManager manager(f.base, false);
             f.engine->queue(0x10000002);
             f.engine->faults().interruptStatus = 0x7FFFFFFF;
             f.seen();
             EXPECT_FALSE(manager.acknowledge());
         },
         {R(0x60, 32, 0x7FFFFFFF), W(0x5C, 32, 0x40000000)}},
        {"with MSI acknowledge and reenable touch nothing",
         [](Sequences& f) {
             tQuolinInterruptManager manager(f.base, true);
             f.seen();
             EXPECT_TRUE(manager.acknowledge());
             manager.reenable();
         },
         {W(0x5C, 32, 0x40000000)}},
        {"dequeue pops oldest first, bit 30 while more remain, 0 once empty",
         [](Sequences& f) {
             tQuolinInterruptManager manager(f.base, true);
             f.engine->queue(0x10000003);
             f.engine->queue(0x10000005);
             f.seen();
             EXPECT_EQ(manager.dequeueInterrupt(), 0x50000003u);
             EXPECT_EQ(manager.dequeueInterrupt(), 0x10000005u);
             EXPECT_EQ(manager.dequeueInterrupt(), 0u);
         },
         {R(0x68, 32, 0x50000003), R(0x68, 32, 0x10000005), R(0x68, 32, 0xFFFFFFFF), W(0x5C, 32, 0x40000000)}},
    };
}

TEST_P(Sequences, OperationWritesItsRegisterSequence) {
    SCOPED_TRACE(GetParam().name);
    GetParam().run(*this);
    EXPECT_EQ(seen(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(BridgeDma, Sequences, ::testing::ValuesIn(cases()));

TEST_F(BridgeBoard, ChannelRunningStateFollowsTheStopBits) {
    tQuolinDMAChannel channel(base, 0);
    struct Row {
        uint32_t word;
        bool running;
    };
    for (const Row& row : {Row{0x4000, true}, Row{0x8000, false}, Row{0x4000000, false}, Row{0x8000000, false}}) {
        SCOPED_TRACE(row.word);
        channel.start(tLinkInformation{0, 0}, true);
        channel.updateRunningState(row.word);
        EXPECT_EQ(channel.isRunning(), row.running);
    }
}

}  // namespace
}  // namespace bridgedma
