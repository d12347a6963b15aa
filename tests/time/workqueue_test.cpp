#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "kal/sim/faults.h"
#include "kal/sim/sync.h"
#include "kal/sim/threads.h"
#include "kzapal/quarks/workQueue.h"

using namespace kzvorn_driver::nKZAPAL000;
using nKZAPALS100::tStatus;

namespace {

class Log {
public:
    void add(const std::string& entry) {
        std::lock_guard<std::mutex> guard(lock_);
        entries_.push_back(entry);
    }
    std::vector<std::string> entries() {
        std::lock_guard<std::mutex> guard(lock_);
        return entries_;
    }

private:
    std::mutex lock_;
    std::vector<std::string> entries_;
};

struct Item : tWorkItemWrapper {
    Item(Log& log, std::string name, std::function<void()> action = nullptr)
        : log_(log), name_(std::move(name)), action_(std::move(action)) {}
    tWorkItem* work() override {
        if (action_) action_();
        log_.add(name_);
        return then_;
    }
    void lockedPreWorkFunc() override { ++preWorks; }

    Log& log_;
    std::string name_;
    std::function<void()> action_;
    tWorkItem* then_ = nullptr;
    int preWorks = 0;
};

// An item that holds the worker until the test lets it go.
struct Gate {
    std::promise<void> open;
    std::shared_future<void> opened = open.get_future().share();
    std::promise<void*> entered;

    std::function<void()> action() {
        return [this] {
            entered.set_value(nKZKAL100_getThreadHandle());
            opened.wait();
        };
    }
};

using Queue = tWorkQueue<tSecondaryISRLock, 1>;

struct QueueFixture {
    tStatus status;
    tSecondaryISRLock lock{status};
    std::unique_ptr<Queue> queue{new Queue(lock, status, "kzvorn_driver")};
};

}  // namespace

TEST(WorkQueue, RunsItemsInOrderOnTheNamedThread) {
    const int64_t threadsBefore = kal::sim::liveThreads();
    Log log;
    std::string threadName;
    QueueFixture f;
    ASSERT_EQ(f.status.code, 0);
    EXPECT_EQ(kal::sim::liveThreads(), threadsBefore + 1);

    Gate gate;
    Item first(log, "gate", gate.action());
    Item chained(log, "chained");
    Item head(log, "head");
    head.then_ = chained.getWorkItem();
    Item twice(log, "twice");
    Item last(log, "last", [&] {
        char name[16] = {};
        pthread_getname_np(pthread_self(), name, sizeof name);
        threadName = name;
    });
    f.queue->enqueue(first.getWorkItem());
    gate.entered.get_future().wait();
    f.queue->enqueue(head.getWorkItem());
    f.queue->enqueue(twice.getWorkItem());
    f.queue->enqueue(twice.getWorkItem());
    f.queue->enqueue(last.getWorkItem());
    EXPECT_TRUE(twice.getWorkItem()->isQueued());
    gate.open.set_value();
    f.queue.reset();

    // A chained item runs before the next queued one; an item queued twice runs once.
    EXPECT_EQ(log.entries(), (std::vector<std::string>{"gate", "head", "chained", "twice", "last"}));
    EXPECT_EQ(threadName, "kzvorn_driver");
    EXPECT_EQ(twice.preWorks, 1);
    EXPECT_EQ(chained.preWorks, 0) << "a chained item is never taken off the queue";
    EXPECT_FALSE(twice.getWorkItem()->isQueued());
    EXPECT_EQ(kal::sim::liveThreads(), threadsBefore);
}

TEST(WorkQueue, DequeueTakesOnlyAQueuedItem) {
    Log log;
    QueueFixture f;
    Gate gate;
    Item first(log, "gate", gate.action());
    Item removed(log, "removed");
    Item kept(log, "kept");
    EXPECT_FALSE(f.queue->dequeue(removed.getWorkItem())) << "never queued";
    f.queue->enqueue(first.getWorkItem());
    gate.entered.get_future().wait();
    EXPECT_FALSE(f.queue->dequeue(first.getWorkItem())) << "running";
    f.queue->enqueue(removed.getWorkItem());
    f.queue->enqueue(kept.getWorkItem());
    EXPECT_TRUE(f.queue->dequeue(removed.getWorkItem()));
    EXPECT_FALSE(removed.getWorkItem()->isQueued());
    EXPECT_FALSE(f.queue->dequeue(removed.getWorkItem()));
    gate.open.set_value();
    f.queue.reset();
    EXPECT_EQ(log.entries(), (std::vector<std::string>{"gate", "kept"}));
    EXPECT_EQ(removed.preWorks, 0);
}

TEST(WorkQueue, DestructionRunsPendingItemsThenJoins) {
    const int64_t threadsBefore = kal::sim::liveThreads();
    Log log;
    QueueFixture f;
    Gate gate;
    Item first(log, "gate", gate.action());
    Item pending1(log, "pending1");
    Item pending2(log, "pending2");
    f.queue->enqueue(first.getWorkItem());
    gate.entered.get_future().wait();
    f.queue->enqueue(pending1.getWorkItem());
    f.queue->enqueue(pending2.getWorkItem());
    // Let the gate go only once destruction has begun.
    std::thread opener([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        gate.open.set_value();
    });
    f.queue.reset();
    opener.join();
    EXPECT_EQ(log.entries(), (std::vector<std::string>{"gate", "pending1", "pending2"}));
    EXPECT_EQ(kal::sim::liveThreads(), threadsBefore);
}

namespace {

// The queue's lock with a hook that runs once, on the worker, right after a release.
class HookedLock {
public:
    explicit HookedLock(tStatus& status) : lock_(status) {}
    void acquire() { lock_.acquire(); }
    void release() {
        lock_.release();
        if (armed_.load() && nKZKAL100_getThreadHandle() == worker_ && armed_.exchange(false)) hook_();
    }
    void arm(void* worker, std::function<void()> hook) {
        worker_ = worker;
        hook_ = std::move(hook);
        armed_.store(true);
    }

private:
    tSecondaryISRLock lock_;
    std::atomic<bool> armed_{false};
    void* worker_ = nullptr;
    std::function<void()> hook_;
};

}  // namespace

TEST(WorkQueue, ItemQueuedAfterTheWorkerLeftStillRunsAndTheWorkerIsJoined) {
    const int64_t threadsBefore = kal::sim::liveThreads();
    Log log;
    tStatus status;
    HookedLock lock(status);
    auto queue = std::make_unique<tWorkQueue<HookedLock, 1>>(lock, status, "kzvorn_driver");
    ASSERT_EQ(status.code, 0);

    std::promise<void*> workerHandle;
    Item probe(log, "probe", [&] { workerHandle.set_value(nKZKAL100_getThreadHandle()); });
    queue->enqueue(probe.getWorkItem());
    void* worker = workerHandle.get_future().get();
    ASSERT_TRUE(kal::sim::awaitBlocked(worker)) << "the worker waits for work";

    // The worker's next release is the one after it queued its join item on leaving: a deferred
    // call queues an item right behind it.
    Item late(log, "late");
    auto* dying = queue.get();
    lock.arm(worker, [&] { dying->enqueue(late.getWorkItem()); });
    queue.reset();
    EXPECT_EQ(log.entries(), (std::vector<std::string>{"probe", "late"}));
    EXPECT_EQ(kal::sim::liveThreads(), threadsBefore) << "the worker was joined";
}

TEST(WorkQueue, SeveralWorkersShareTheList) {
    const int64_t threadsBefore = kal::sim::liveThreads();
    tStatus status;
    tSecondaryISRLock lock(status);
    std::atomic<int> runs{0};
    Log log;
    std::vector<std::unique_ptr<Item>> items;
    for (int i = 0; i < 50; ++i) items.emplace_back(new Item(log, "i", [&] { ++runs; }));
    {
        tWorkQueue<tSecondaryISRLock, 3> queue(lock, status, "kzvorn_driver");
        ASSERT_EQ(status.code, 0);
        EXPECT_EQ(kal::sim::liveThreads(), threadsBefore + 3);
        for (auto& item : items) queue.enqueue(item->getWorkItem());
    }
    EXPECT_EQ(runs.load(), 50);
    EXPECT_EQ(kal::sim::liveThreads(), threadsBefore);
}

TEST(WorkQueue, FailedConstructionRunsNoThreadAndDestroysAtOnce) {
    const int64_t threadsBefore = kal::sim::liveThreads();
    const int64_t spinLocksBefore = kal::sim::liveSpinLocks();
    {
        kal::sim::FailKernelCall fail("createNamedThread");
        QueueFixture f;
        EXPECT_EQ(f.status.code, -52008);
        EXPECT_EQ(kal::sim::liveThreads(), threadsBefore);
        f.queue.reset();
    }
    for (uint64_t nth = 1; nth <= 3; ++nth) {
        tStatus status;
        tSecondaryISRLock lock(status);
        kal::sim::FailKernelCall fail("createSpinLock", nth);
        Log log;
        Item item(log, "item");
        {
            Queue queue(lock, status, "kzvorn_driver");
            EXPECT_EQ(status.code, nth == 3 ? 0 : -52000) << "spin lock " << nth;
            queue.enqueue(item.getWorkItem());
        }
        EXPECT_EQ(log.entries().size(), nth == 3 ? 1u : 0u) << "a queue without its events takes nothing";
        EXPECT_EQ(kal::sim::liveThreads(), threadsBefore);
    }
    EXPECT_EQ(kal::sim::liveSpinLocks(), spinLocksBefore);

    tStatus failed;
    failed.code = -52006;
    tSecondaryISRLock lock(failed);
    Queue untouched(lock, failed, "kzvorn_driver");
    EXPECT_EQ(failed.code, -52006);
    EXPECT_EQ(kal::sim::liveThreads(), threadsBefore);
}

TEST(WorkQueue, BuildingQueueingAndDestroyingAllocateNothing) {
    Log log;
    Item a(log, "a");
    Item b(log, "b");
    tStatus status;
    tSecondaryISRLock lock(status);
    {
        kal::sim::FailAllocations fail(1, true);
        {
            Queue queue(lock, status, "kzvorn_driver");
            queue.enqueue(a.getWorkItem());
            queue.enqueue(b.getWorkItem());
        }
        EXPECT_FALSE(fail.triggered());
    }
    EXPECT_EQ(status.code, 0);
    EXPECT_EQ(log.entries(), (std::vector<std::string>{"a", "b"}));
}
