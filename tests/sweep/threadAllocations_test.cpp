// Allocation failures on the kernel's other threads: the driver's work queue ("kzvorn_driver"),
// the deferred-call thread and the interrupt thread. The built levels allocate on none of them
// (the life-cycle sweep below says what it found); a chain through all three on the product
// device shows that a failure reaches each thread alone, and process-wide the next ones anywhere.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "board/product.h"
#include "device/tolvaneDevice.h"
#include "kal/sim/faults.h"
#include "kal/sim/harness.h"
#include "kal/sim/interrupt.h"
#include "kzapal/quarks/workQueue.h"
#include "sweep/lifeCycle.h"

using namespace kzvorn_driver;
using nKZAPAL000::tWorkItem;
using nKZAPALS100::tStatus;
using sweep::LifeCycle;

namespace {

constexpr const char* kWorkQueueThread = "kzvorn_driver";
constexpr const char* kOtherThreads[] = {kal::sim::kInterruptThread, kal::sim::kDeferredCallThread, kWorkQueueThread};

// One allocation the driver's way, on whatever thread runs it: its status.
int64_t allocateOnce() {
    tStatus status;
    auto* block = new (status) uint64_t[8];
    delete[] block;
    return status.code;
}

// The interrupt defers to a deferred call, which queues an item on the work queue; each allocates
// once and keeps its status.
class Chain : public nKZAPAL000::iPrimaryInterruptHandler {
public:
    explicit Chain(tStatus& status)
        : lock_(status), queue_(lock_, status, kWorkQueueThread), deferred_(nKZKAL100_createDPC(defer, this)),
          item_(work, this) {}
    ~Chain() override { nKZKAL100_destroyDPC(deferred_); }

    bool handlePrimaryInterrupt() override {
        onInterrupt = allocateOnce();
        nKZKAL100_scheduleDPC(deferred_);
        return true;
    }

    // Raises the interrupt and waits until the work item ran.
    bool run(TolvaneDevice& device) {
        onInterrupt = onDeferredCall = onWorkQueue = 1;
        done = false;
        if (!kal::sim::raiseInterrupt(device.getPCIDescription().interruptNumber)) return false;
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!done && std::chrono::steady_clock::now() < limit) std::this_thread::yield();
        return done;
    }

    std::atomic<int64_t> onInterrupt{1}, onDeferredCall{1}, onWorkQueue{1};
    std::atomic<bool> done{false};

private:
    static void defer(void* context) {
        auto& self = *static_cast<Chain*>(context);
        self.onDeferredCall = allocateOnce();
        self.queue_.enqueue(&self.item_);
    }
    static tWorkItem* work(tWorkItem* item) {
        auto& self = *static_cast<Chain*>(item->context);
        self.onWorkQueue = allocateOnce();
        self.done = true;
        return nullptr;
    }

    nKZAPAL000::tSecondaryISRLock lock_;
    nKZAPAL000::tWorkQueue<nKZAPAL000::tSecondaryISRLock, 1> queue_;
    void* deferred_;
    tWorkItem item_;
};

class OtherThreads : public ::testing::Test {
protected:
    void SetUp() override {
        before_ = kal::sim::liveObjects();
        ASSERT_EQ(kernel_.load(), 0);
        function_ = &kernel_.plug(board_);
        // The chain takes the device's interrupt for itself: level 14, whose bridge interrupt
        // controller would hold it, stands in.
        static const BringUpPlan withoutTheDMALevel = [] {
            BringUpPlan plan;
            plan.fake(kStepDMAObjects, BringUpPlan::kSucceed);
            return plan;
        }();
        TolvaneDevice::setBringUpPlan(&withoutTheDMALevel);
        const int32_t added = kernel_.addDevice(*function_);
        TolvaneDevice::setBringUpPlan(nullptr);
        ASSERT_EQ(added, 0);
        device_ = static_cast<TolvaneDevice*>(static_cast<nKZAPAL000::tDevice*>(kernel_.device(*function_)));
        chain_ = std::make_unique<Chain>(status_);
        ASSERT_TRUE(status_.isSuccess());
        device_->registerInterruptHandler(chain_.get(), status_, 0);
        ASSERT_TRUE(status_.isSuccess());
    }
    void TearDown() override {
        device_->unregisterInterruptHandler();
        chain_.reset();
        kernel_.removeDevice(*function_);
        kernel_.deleteDevice(*function_);
        kernel_.unload();
        EXPECT_EQ(kal::sim::liveObjects(), before_) << kal::sim::describe(kal::sim::liveObjects());
    }

    board::Board board_{board::productIdentity()};
    board::ProductBlocks blocks_{board::installProduct(board_)};
    kal::sim::Kernel kernel_;
    kal::sim::PciFunction* function_ = nullptr;
    TolvaneDevice* device_ = nullptr;
    tStatus status_;
    std::unique_ptr<Chain> chain_;
    kal::sim::LiveObjects before_{};
};

}  // namespace

TEST_F(OtherThreads, AFailureArmedOnAThreadFailsThatThreadsNextAllocationOnly) {
    for (const char* thread : kOtherThreads) {
        {
            kal::sim::FailThreadAllocations fail(thread);
            EXPECT_EQ(allocateOnce(), 0) << "the test's own thread allocates freely";
            ASSERT_TRUE(chain_->run(*device_)) << thread;
            EXPECT_EQ(fail.failures(), 1u) << thread;
        }
        const std::string name = thread;
        EXPECT_EQ(chain_->onInterrupt, name == kal::sim::kInterruptThread ? -52000 : 0) << thread;
        EXPECT_EQ(chain_->onDeferredCall, name == kal::sim::kDeferredCallThread ? -52000 : 0) << thread;
        EXPECT_EQ(chain_->onWorkQueue, name == kWorkQueueThread ? -52000 : 0) << thread;
    }
    {
        kal::sim::FailThreadAllocations fail(kWorkQueueThread, 2);
        ASSERT_TRUE(chain_->run(*device_));
        EXPECT_EQ(chain_->onWorkQueue, 0) << "the second allocation on the thread fails";
        ASSERT_TRUE(chain_->run(*device_));
        EXPECT_EQ(chain_->onWorkQueue, -52000);
    }
}

TEST_F(OtherThreads, ProcessWideTheNextAllocationsFailOnWhicheverThreadMakesThem) {
    {
        kal::sim::FailKernelCall fail("malloc", 1, 3);
        ASSERT_TRUE(chain_->run(*device_));
        EXPECT_EQ(fail.failures(), 3u);
        EXPECT_EQ(chain_->onInterrupt, -52000);
        EXPECT_EQ(chain_->onDeferredCall, -52000);
        EXPECT_EQ(chain_->onWorkQueue, -52000);
        EXPECT_EQ(allocateOnce(), 0) << "only the next three";
    }
    ASSERT_TRUE(chain_->run(*device_));
    EXPECT_EQ(chain_->onWorkQueue, 0);
}

// Whatever the life cycle, every level real, allocates on those threads fails in turn, with the
// checks of the kernel-call sweep.
TEST(OtherThreadsInTheLifeCycle, EachAllocationOnThoseThreadsFailsInTurn) {
    const sweep::Reference& undisturbed = LifeCycle::reference(sweep::Variant::kStandard);
    std::vector<kal::sim::RecordKernelCalls::Calls> recorded;
    {
        LifeCycle life(sweep::Variant::kStandard, sweep::Levels::kAll);
        kal::sim::RecordKernelCalls recorder;
        EXPECT_EQ(life.runAll(undisturbed), "");
        recorded = recorder.calls();
    }
    for (const char* thread : kOtherThreads) {
        uint64_t count = 0;
        for (const auto& calls : recorded)
            if (calls.name == "malloc" && calls.thread == thread) count += calls.count;
        std::printf("allocations on %s: %llu\n", thread, static_cast<unsigned long long>(count));
        for (uint64_t nth = 1; nth <= count; ++nth) {
            SCOPED_TRACE(std::string(thread) + " #" + std::to_string(nth));
            LifeCycle life(sweep::Variant::kStandard, sweep::Levels::kAll);
            std::string wrong;
            {
                kal::sim::FailThreadAllocations fail(thread, nth);
                wrong = life.runAll(undisturbed);
                EXPECT_EQ(fail.failures(), 1u);
            }
            EXPECT_EQ(wrong, "");
            EXPECT_TRUE(life.recover(undisturbed));
            EXPECT_TRUE(life.finish());
        }
    }
}
