// The kernel-layer stand-in's own contract: what the driver may rely on, and the misuse it turns
// into a test failure.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "board/board.h"
#include "kal/sim/debug.h"
#include "kal/sim/faults.h"
#include "kal/sim/interrupt.h"
#include "kal/sim/pci.h"
#include "kal/sim/publication.h"
#include "kal/sim/user.h"
#include "kzkal/kzkal.h"

namespace {

TEST(DeferredCalls, CoalesceWhilePendingAndRunAgainWhenScheduledWhileRunning) {
    struct State {
        std::atomic<int> runs{0};
        std::atomic<bool> inContext{false};
        std::atomic<bool> release{false};
        std::atomic<bool> running{false};
    } state;
    void* dpc = nKZKAL100_createDPC(
        [](void* context) {
            auto* s = static_cast<State*>(context);
            s->inContext = kal::sim::inDeferredCallContext();
            s->running = true;
            while (!s->release) std::this_thread::yield();
            s->running = false;
            ++s->runs;
        },
        &state);
    ASSERT_NE(dpc, nullptr);
    nKZKAL100_scheduleDPC(dpc);
    while (!state.running) std::this_thread::yield();
    // Scheduled twice while it runs: it runs once more.
    nKZKAL100_scheduleDPC(dpc);
    nKZKAL100_scheduleDPC(dpc);
    state.release = true;
    kal::sim::waitForDeferredCalls();
    EXPECT_EQ(state.runs, 2);
    EXPECT_TRUE(state.inContext);
    EXPECT_FALSE(kal::sim::inDeferredCallContext());
    nKZKAL100_destroyDPC(dpc);
    {
        kal::sim::FailKernelCall refuse("createDPC");
        EXPECT_EQ(nKZKAL100_createDPC([](void*) {}, nullptr), nullptr);
    }
}

TEST(UserCopies, OnlyRegisteredMemoryIsCopied) {
    uint8_t user[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    uint8_t kernel[8] = {};
    // A 0-byte copy succeeds at any address.
    EXPECT_EQ(nKZKAL100_replicateInboundIOControlBuffer(kernel, 0x10, 0), 0);
    EXPECT_EQ(nKZKAL100_replicateOutboundIOControlBuffer(0x10, kernel, 0), 0);
    EXPECT_EQ(nKZKAL100_replicateInboundIOControlBuffer(kernel, reinterpret_cast<uint64_t>(user), 4), -51009);
    kal::sim::UserMemory registered(user, sizeof(user));
    EXPECT_EQ(nKZKAL100_replicateInboundIOControlBuffer(kernel, reinterpret_cast<uint64_t>(user) + 4, 4), 0);
    EXPECT_EQ(kernel[0], 5);
    EXPECT_EQ(nKZKAL100_replicateOutboundIOControlBuffer(reinterpret_cast<uint64_t>(user) + 5, kernel, 4), -51009);
    EXPECT_EQ(nKZKAL100_replicateInboundIOControlBuffer(kernel, ~uint64_t{0} - 2, 4), -51009);
    {
        kal::sim::FailKernelCall refuse("replicateOutboundIOControlBuffer", 1, 1, -51353);
        EXPECT_EQ(nKZKAL100_replicateOutboundIOControlBuffer(reinterpret_cast<uint64_t>(user), kernel, 1), -51353);
    }
}

TEST(Pci, MSIAndPlatformAnswers) {
    board::Identity id;
    id.interruptLine = 10;
    board::Board b(id);
    b.platform().numaNode = 2;
    auto& function = kal::sim::plugBoard(b);
    void* pci = function.record.pciHandle;
    EXPECT_EQ(nKZKAL1_getDeviceNUMANode(pci), 2);
    EXPECT_NE(nKZKAL230_pciRequestMSI(pci, 1), 0);
    EXPECT_EQ(function.record.interrupt, 10u);
    b.platform().msiGranted = true;
    EXPECT_EQ(nKZKAL230_pciRequestMSI(pci, 1), 0);
    EXPECT_EQ(function.record.interrupt, b.platform().msiVector);
    EXPECT_EQ(function.record.bars[0].flags, 2u);
    EXPECT_EQ(function.record.bars[0].size, 0x40000u);
    kal::sim::unplugBoard(function);
}

TEST(KernelLayerDeath, MisuseIsATestFailure) {
    kal::sim::resetPublication();
    void* property = nKZKAL200_registerProperty(0, nullptr, "p", "x", 2);
    nKZKAL200_unregisterProperty(property);
    nKZKAL200_unregisterProperty(nullptr);
    EXPECT_DEATH(nKZKAL200_unregisterProperty(property), "unregistered twice");
    void* interface = nKZKAL240_registerDeviceInterface(nullptr, nullptr, "i", 0, nullptr);
    nKZKAL200_unregisterDeviceInterface(interface);
    EXPECT_DEATH(nKZKAL200_unregisterDeviceInterface(interface), "unregistered twice");
    EXPECT_DEATH(nKZKAL200_unregisterDeviceInterface(nullptr), "never registered");
    nKZKAL1400_tInterruptCallback callback{[](uint32_t, void*) { return 1; }, nullptr};
    EXPECT_DEATH(nKZKAL100_relinquishInterrupt(9, &callback), "not reserved");
    EXPECT_NE(nKZKAL1400_reserveInterrupt(0, &callback, "kzvorn_driver", 1), 0);
    void* buffer = nKZKAL250_createKernelSocketBuffer(48);
    nKZKAL250_releaseKernelSocketBuffer(buffer);
    EXPECT_DEATH(nKZKAL250_releaseKernelSocketBuffer(buffer), "does not hold");
    kal::sim::resetPublication();
}

TEST(Interrupts, SharedAndExclusiveReservations) {
    nKZKAL1400_tInterruptCallback a{[](uint32_t, void*) { return 0; }, nullptr};
    nKZKAL1400_tInterruptCallback b{[](uint32_t, void*) { return 1; }, nullptr};
    EXPECT_EQ(nKZKAL1400_reserveInterrupt(21, &a, "kzvorn_driver", 1), 0);
    EXPECT_EQ(nKZKAL1400_reserveInterrupt(21, &b, "kzvorn_driver", 1), 0);
    EXPECT_NE(nKZKAL1400_reserveInterrupt(21, &b, "kzvorn_driver", 0), 0);
    EXPECT_TRUE(kal::sim::raiseInterrupt(21));
    nKZKAL100_relinquishInterrupt(21, &b);
    EXPECT_FALSE(kal::sim::raiseInterrupt(21));
    nKZKAL100_relinquishInterrupt(21, &a);
    EXPECT_EQ(kal::sim::reservedInterrupts(21), 0u);
}

}  // namespace

namespace {

TEST(DebugPrint, CapturesLinesWhileAllocationsFail) {
    kal::sim::clearDebugLines();
    {
        kal::sim::FailAllocations failAll(1, true);
        nKZKAL100_printToDebugger("a line long enough to need memory of its own, beyond any short-string buffer\n");
        EXPECT_FALSE(failAll.triggered());
    }
    auto lines = kal::sim::debugLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].substr(0, 6), "a line");
}

}  // namespace

namespace {

// Counted without failing: the allocations of this thread since the count began.
TEST(AllocationSweep, CountsWithoutFailing) {
    kal::sim::FailAllocations count(UINT64_MAX);
    for (int i = 0; i < 3; ++i) nKZKAL100_free(nKZKAL100_malloc(8));
    EXPECT_EQ(count.counted(), 3u);
    EXPECT_FALSE(count.triggered());
}

}  // namespace

namespace {

// Where an injected failure was met, named for a sweep's failure message: the caller's frame, not
// the stand-in's.
__attribute__((noinline)) void* allocateInTheCaller() {
    void* block = nKZKAL100_malloc(8);
    asm volatile("" ::: "memory");  // keeps the call out of the tail position
    return block;
}
__attribute__((noinline)) void* createMutexInTheCaller() {
    void* mutex = nKZKAL150_createMutex();
    asm volatile("" ::: "memory");
    return mutex;
}

std::string firstFrame(const std::string& site) { return site.substr(0, site.find(" <- ")); }

TEST(InjectedFailures, TheCallSiteNamesTheCaller) {
    {
        kal::sim::FailAllocations fail(1);
        EXPECT_EQ(allocateInTheCaller(), nullptr);
    }
    const std::string allocation = kal::sim::injectedCallSite();
    EXPECT_NE(firstFrame(allocation).find("allocateInTheCaller"), std::string::npos) << allocation;
    {
        kal::sim::FailKernelCall refuse("createMutex");
        EXPECT_EQ(createMutexInTheCaller(), nullptr);
    }
    const std::string mutex = kal::sim::injectedCallSite();
    EXPECT_NE(firstFrame(mutex).find("createMutexInTheCaller"), std::string::npos) << mutex;
    EXPECT_NE(mutex.find(" <- "), std::string::npos) << "its callers follow: " << mutex;
}

}  // namespace
