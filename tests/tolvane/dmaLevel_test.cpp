// Setup level 14 in the bring-up: what the board sees of it and of its teardown, and the stream
// requests of sessions on the device it leaves: a session's close undoing its stream, and the
// waits against suspension and reset.
#include <atomic>
#include <functional>
#include <optional>
#include <thread>

#include "board/bridgeCore.h"
#include "board/dmaEngine.h"
#include "dma/fixture.h"
#include "kal/sim/clock.h"
#include "kal/sim/dma.h"
#include "kal/sim/sync.h"
#include "stress/requests.h"
#include "tolvane/fixture.h"

using namespace tolvanetest;

namespace {

namespace ib = board::interruptBlock;
using dmatest::UserPages;

constexpr int64_t kInvalidated = KZ_DEVICE_CODE(0xBFFA9179);
constexpr int64_t kStreamRunning = KZ_DEVICE_CODE(0xBFFA806E);
constexpr int64_t kStopped = nKZAPALS100::kStatusSetupStoppedAtLevel;
constexpr uint64_t kHostBridgeControl = 0xA4;
constexpr uint32_t kFinite = 0;
constexpr uint32_t kContinuous = 1;
constexpr uint64_t kPage = 4096;

// While the device lives its streams keep their link memory; what a session brought must be gone.
void expectNothingPinnedAndNoDMAFault() {
    for (const kal::sim::DMAFault& fault : kal::sim::takeDMAFaults())
        ADD_FAILURE() << "DMA fault at 0x" << std::hex << fault.busAddress << ": " << kal::sim::dmaFaultText(fault.kind);
    EXPECT_EQ(kal::sim::dmaState().pinnedPages, 0u);
}

uint64_t channelCommand(unsigned stream) {
    return board::bar0::kDmaChannels + (uint64_t{stream} << board::bar0::kDmaChannelStrideLog2) + 0x58;
}

// Runs a function just before the bring-up's DMA step.
struct BeforeTheDMAStep : BringUpObserver {
    void onBringUpStep(BringUpStep step) override {
        if (step == kStepDMAObjects && action) action();
    }
    std::function<void()> action;
};

class DmaLevel : public Tolvane {
protected:
    DmaLevel() {
        plan_.observer = &beforeDMA_;
        beforeDMA_.action = [this] { board_.log().clear(); };
    }

    // Levels after 14 as stand-ins: the reservation request needs the highest level.
    void fakeAbove14() { plan_.fakeLevels(15, kzvorn_shared::SetupLevel::kHighest, BringUpPlan::kSucceed); }

    kal::sim::Session open() {
        int32_t result = 0;
        kal::sim::Session session = kernel_.open("smu_kzvorn", &result);
        EXPECT_EQ(result, 0);
        return session;
    }

    void remove() {
        kernel_.removeDevice(*function_);
        kernel_.deleteDevice(*function_);
    }

    int64_t reserve(kal::sim::Session& session, uint64_t mask) {
        return requests::status<requests::kdut_reserveResources>(session, {mask, 0, 0});
    }
    int64_t addFrom(kal::sim::Session& session, uint32_t stream, uint32_t list, const UserPages& user, uint64_t size) {
        return requests::status<requests::quolinTools_addTransferFromDevice>(
            session, {stream, list, user.address(), size, 0, 0});
    }
    int64_t start(kal::sim::Session& session, uint32_t stream) {
        return requests::status<requests::quolinTools_startDMA>(session, {stream, 1, {}, 0});
    }
    int64_t credits(kal::sim::Session& session, uint32_t stream, uint32_t count) {
        return requests::status<requests::quolinTools_writeStreamAdditiveTransferCount>(session, {stream, count, 0});
    }
    int64_t onStream(kal::sim::Session& session, uint32_t code, uint32_t stream) {
        kzvorn_driver::tStreamRecord input{stream, 0};
        kzvorn_driver::tStatusRecord output{};
        const auto reply = session.ioctl(code, &input, sizeof input, &output, sizeof output);
        return reply.result != 0 ? reply.result : output.status;
    }
    int64_t stop(kal::sim::Session& session, uint32_t stream) {
        return onStream(session, requests::quolinTools_stopDMA::code, stream);
    }
    int64_t clear(kal::sim::Session& session, uint32_t stream) {
        return onStream(session, requests::quolinTools_clearTransfers::code, stream);
    }
    int64_t clearFifo(kal::sim::Session& session, uint32_t stream) {
        return onStream(session, requests::quolinTools_clearApplicationFIFO::code, stream);
    }
    int64_t cancel(kal::sim::Session& session, uint32_t stream) {
        return onStream(session, requests::quolinTools_cancelWaitUntilBytesTransferred::code, stream);
    }
    // The wait's status, and its flag in `timedOut`.
    int64_t wait(kal::sim::Session& session, uint32_t stream, uint32_t count, uint32_t timeout, uint8_t* timedOut) {
        kzvorn_driver::tWaitRecord input{};
        input.stream = stream;
        input.byteCount = count;
        input.timeout = timeout;
        const auto reply = requests::send<requests::quolinTools_waitUntilBytesTransferred>(session, input);
        if (timedOut != nullptr) *timedOut = reply.output.value;
        return reply.result != 0 ? reply.result : reply.output.status;
    }
    size_t cleanupsOf(kal::sim::Session& session) { return sessionOf(session)->getCleanupOperations()->size(); }

    BeforeTheDMAStep beforeDMA_;
};

// The addressing first (0xA4 gets bit 31, and bits 14 and 15 when the bridge offers 64-bit DMA,
// written only when that changes it), then the eight streams reset and the bridge interrupt
// enabled; the teardown masks it again and leaves nothing of the kernel's behind.
TEST_F(DmaLevel, TheLevelAndItsTeardownOnTheBoard) {
    struct Case {
        const char* name;
        bool dma64;
        uint32_t before;
        std::vector<uint64_t> written;
    } cases[] = {
        {"64-bit", true, 0, {0x8000C000}},
        {"no-dma64", false, 0x00000011, {0x80000011}},
        {"already set", true, 0x8000C000, {}},
    };
    for (const Case& c : cases) {
        board::BridgeCoreConfig core;
        core.dma64 = c.dma64;
        board::installBridgeCore(board_, core);
        board_.bar(0).store(kHostBridgeControl, 4, c.before);
        const kal::sim::LiveObjects before = kal::sim::liveObjects();
        ASSERT_EQ(add(), 0) << c.name;
        EXPECT_EQ(tracker().reached, 22) << c.name;
        EXPECT_EQ(tracker().status.code, 0) << c.name;
        EXPECT_EQ(board_.log().writesTo(kHostBridgeControl), c.written) << c.name;
        EXPECT_EQ(board_.log().writesTo(ib::kControl), (std::vector<uint64_t>{0x54000500, 0x94000500, 0x80000000}))
            << c.name;
        for (unsigned s = 0; s < 8; ++s)
            EXPECT_EQ(board_.log().writesTo(channelCommand(s)), std::vector<uint64_t>{2}) << c.name << ": " << s;
        EXPECT_NE(device()->getHelper()->getDMADispatcher(), nullptr);
        EXPECT_EQ(device()->getDMAConfiguration().type, c.dma64 ? 2u : 1u) << c.name;
        kal::sim::Session session = open();
        kzvorn_driver::tResetRecord target{};
        target.targetLevel = 14;
        EXPECT_EQ(requests::status<requests::kdut_reset>(session, target), kStopped) << c.name;
        EXPECT_EQ(tracker().reached, 14) << c.name;
        session.close();
        board_.log().clear();
        remove();
        EXPECT_EQ(board_.log().writesTo(ib::kControl), std::vector<uint64_t>{0x40000000}) << c.name;
        dmatest::expectNoDMALeft();
        EXPECT_EQ(kal::sim::liveObjects(), before) << c.name << ": " << kal::sim::describe(kal::sim::liveObjects());
    }
}

// A platform that refuses the 64-bit mask: the device goes on with 32-bit addresses, and the
// streams' memory is given bus addresses below 4 GiB.
TEST_F(DmaLevel, A32BitPlatformKeepsTheStreamsBelow4GiB) {
    board_.platform().dma64Accepted = false;
    ASSERT_EQ(add(), 0);
    EXPECT_EQ(tracker().reached, 22);
    EXPECT_EQ(device()->getDMAConfiguration().type, 1u);
    kal::sim::Session session = open();
    UserPages user(4);
    EXPECT_EQ(addFrom(session, 0, kFinite, user, 4 * kPage), 0);
    const kal::sim::DMAState state = kal::sim::dmaState();
    ASSERT_FALSE(state.sgls.empty());
    for (const auto& sgl : state.sgls)
        for (const auto& segment : sgl.segments) EXPECT_LE(segment.busAddress + segment.size, uint64_t{1} << 32);
    EXPECT_EQ(clear(session, 0), 0);
}

// The channels read the DMA placement again: one moved out of the mapping after level 3 stops
// level 14 before any stream or the bridge interrupt is touched.
TEST_F(DmaLevel, APlacementMovedAfterLevel3StopsTheLevelBeforeAnyStream) {
    beforeDMA_.action = [this] {
        board_.bar(0).store(board::bar0::kDmaChannelOffset, 4, board::bar0::kSize - 0x100);
        board_.log().clear();
    };
    ASSERT_EQ(add(), 0);
    EXPECT_EQ(tracker().reached, 13);
    EXPECT_EQ(tracker().status.code, -52003);
    EXPECT_EQ(device()->getHelper()->getDMADispatcher(), nullptr);
    EXPECT_TRUE(board_.log().writesTo(ib::kControl).empty());
    for (unsigned s = 0; s < 8; ++s) EXPECT_TRUE(board_.log().writesTo(channelCommand(s)).empty()) << s;
    EXPECT_TRUE(kal::sim::dmaState().pageLists.empty());
    kal::sim::Session session = open();
    EXPECT_EQ(start(session, 0), -52003) << "the gate answers with the bring-up's status";
}

// A session that closes with its stream running leaves it undone: credits off, circuit and
// channel stopped, FIFO cleared, pages unpinned. A start and a stop leave none of the stream's
// operations in the set; clearing the FIFO keeps one credit cleanup.
TEST_F(DmaLevel, AClosingSessionUndoesItsStream) {
    ASSERT_EQ(add(), 0);
    board::DmaEngine& engine = blocks_.dma;
    UserPages user(2);
    {
        kal::sim::Session session = open();
        const size_t opened = cleanupsOf(session);
        EXPECT_EQ(addFrom(session, 0, kFinite, user, 2 * kPage), 0);
        EXPECT_EQ(cleanupsOf(session), opened + 1) << "the lists";
        EXPECT_EQ(start(session, 0), 0);
        EXPECT_EQ(cleanupsOf(session), opened + 4) << "lists, FIFO, stream, credits";
        EXPECT_EQ(clearFifo(session, 0), 0);
        EXPECT_EQ(cleanupsOf(session), opened + 4);
        EXPECT_EQ(stop(session, 0), 0);
        EXPECT_EQ(cleanupsOf(session), opened + 1) << "only the lists";
        EXPECT_EQ(start(session, 0), 0);
        EXPECT_EQ(credits(session, 0, 4096), 0);
        EXPECT_EQ(engine.pump(0, 1 << 20), 4096u);
        ASSERT_TRUE(engine.channel(0).running);
        ASSERT_TRUE(engine.creditGateOpen(0));
    }
    EXPECT_FALSE(engine.creditGateOpen(0));
    EXPECT_FALSE(engine.channel(0).running);
    EXPECT_EQ(blocks_.nonIsolatedFpga.fifoResets(0), 3u) << "the clear, the stop and the close";
    expectNothingPinnedAndNoDMAFault();
}

// The lists of a stream another session runs stay: its channel may still read them.
TEST_F(DmaLevel, ClearingTheListsOfAnotherSessionsRunningStreamIsRefused) {
    ASSERT_EQ(add(), 0);
    UserPages user(1);
    kal::sim::Session owner = open();
    kal::sim::Session other = open();
    EXPECT_EQ(addFrom(owner, 2, kContinuous, user, kPage), 0);
    EXPECT_EQ(start(owner, 2), 0);
    EXPECT_EQ(clear(other, 2), kStreamRunning);
    EXPECT_EQ(kal::sim::dmaState().pinnedPages, 1u);
    owner.close();
    other.close();
    expectNothingPinnedAndNoDMAFault();
}

class DmaWaits : public DmaLevel {
protected:
    void SetUp() override {
        DmaLevel::SetUp();
        fakeAbove14();
        ASSERT_EQ(add(), 0);
        waiter_ = open();
        ASSERT_EQ(reserve(waiter_, 0x1), 0);
    }

    kal::sim::ScopedRealTime realTime_;
    kal::sim::Session waiter_;
};

// A wait without a time limit is woken by a reset from another session, and the reset, which
// waits for the requests in flight, returns.
TEST_F(DmaWaits, AResetFromAnotherSessionWakesAWaitWithoutLimit) {
    std::atomic<void*> handle{nullptr};
    std::atomic<int64_t> result{1};
    uint8_t timedOut = 7;
    std::thread thread([&] {
        handle = nKZKAL100_getThreadHandle();
        result = wait(waiter_, 0, 4096, 0xFFFFFFFF, &timedOut);
    });
    while (handle == nullptr) std::this_thread::yield();
    ASSERT_TRUE(kal::sim::awaitBlocked(handle));
    kal::sim::Session resetter = open();
    EXPECT_EQ(reset(resetter, 22), 0);
    thread.join();
    EXPECT_EQ(result, kInvalidated);
    EXPECT_EQ(tracker().reached, 22);
}

// A wait already past its gate when IO is suspended reaches a table that refuses it at once, until
// IO resumes; one at a time per stream; a cancel without a waiter does nothing.
TEST_F(DmaWaits, SuspendedWaitsFailAtOnceUntilIOResumes) {
    tEventDescriptor event{static_cast<nKZAPAL000::tSession*>(waiter_.handle())};
    ASSERT_TRUE(device()->suspendIOProcessing(event, 2, false));
    kzvorn_driver::tWaitRecord input{};
    input.byteCount = 4096;
    input.timeout = 0xFFFFFFFF;
    kzvorn_driver::tValue8Record output{};
    tStatus status;
    device()->quolinTools_waitUntilBytesTransferred(event, input, output, status);
    EXPECT_EQ(status.code, kInvalidated);
    device()->resumeIOProcessing(event);

    uint8_t timedOut = 0;
    EXPECT_EQ(wait(waiter_, 0, 4096, 0, &timedOut), 0);
    EXPECT_EQ(timedOut, 1) << "time-out 0 before the bytes moved";
    EXPECT_EQ(cancel(waiter_, 1), 0) << "no waiter";

    std::atomic<void*> handle{nullptr};
    std::atomic<int64_t> first{1};
    std::thread thread([&] {
        handle = nKZKAL100_getThreadHandle();
        first = wait(waiter_, 1, 4096, 0xFFFFFFFF, nullptr);
    });
    while (handle == nullptr) std::this_thread::yield();
    ASSERT_TRUE(kal::sim::awaitBlocked(handle));
    EXPECT_EQ(wait(waiter_, 1, 4096, 0xFFFFFFFF, nullptr), int64_t(nKZAPALS100::kStatusValueConflict))
        << "one waiter per stream";
    EXPECT_EQ(cancel(waiter_, 1), 0);
    thread.join();
    EXPECT_EQ(first, KZ_DEVICE_CODE(0xBFFA40E4));
}

}  // namespace
