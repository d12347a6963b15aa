#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "failures.h"
#include "kzhtl/sharedPtr.h"

namespace {

using kzhtl::makeShared;
using kzhtl::SharedPtr;
using kzhtl_test::failing;
using kzhtl_test::sweepAllocationFailures;
using nKZAPALS100::kStatusMemoryFull;
using nKZAPALS100::tStatus;

std::atomic<int> gDestroyed{0};

struct Interface {
    virtual ~Interface() = default;
    virtual int value() const = 0;
};

struct Product : Interface {
    explicit Product(int v) : v(v) {}
    ~Product() override { ++gDestroyed; }
    int value() const override { return v; }
    int v;
};

// Reports a failure of its own through the status, as the driver's objects do.
struct FailingProduct {
    FailingProduct(int, tStatus& status) { status.code = -52006; }
    ~FailingProduct() { ++gDestroyed; }
};

// No virtual destructor: the last holder may see it only as its base.
struct PlainBase {
    int tag = 5;
};
struct PlainDerived : PlainBase {
    ~PlainDerived() { ++gDestroyed; }
};

class SharedPtrTest : public ::testing::Test {
protected:
    void SetUp() override { gDestroyed = 0; }
};

TEST_F(SharedPtrTest, CountsCopiesAndDeletesWithTheLastOne) {
    tStatus status;
    SharedPtr<Product> product = makeShared<Product>(7, status);
    ASSERT_TRUE(status.isSuccess());
    ASSERT_TRUE(product);
    EXPECT_EQ(product->value(), 7);
    EXPECT_EQ(product.use_count(), 1);
    {
        SharedPtr<Interface> asInterface = product;  // a factory hands out the interface
        SharedPtr<Interface> moved(std::move(asInterface));
        EXPECT_FALSE(asInterface);
        EXPECT_EQ(product.use_count(), 2);
        EXPECT_EQ(moved->value(), 7);
        EXPECT_TRUE(moved == product);
        SharedPtr<Interface> other;
        other = moved;
        EXPECT_EQ(product.use_count(), 3);
        product.reset();
        EXPECT_EQ(gDestroyed, 0);
        EXPECT_EQ(other.use_count(), 2);
    }
    EXPECT_EQ(gDestroyed, 1);

    SharedPtr<PlainBase> base = makeShared<PlainDerived>(status);
    EXPECT_EQ(base->tag, 5);
    base = nullptr;
    EXPECT_EQ(gDestroyed, 2);  // deleted as the type it was made with
}

// Copies taken and dropped on many threads at once: no count is lost, the object is deleted
// once, by whichever thread lets go last.
TEST_F(SharedPtrTest, CountsStayExactAcrossThreads) {
    for (int round = 0; round < 20; ++round) {
        tStatus status;
        SharedPtr<Product> shared = makeShared<Product>(round, status);
        ASSERT_TRUE(status.isSuccess());
        std::atomic<bool> go{false};
        std::vector<std::thread> threads;
        std::vector<SharedPtr<Product>> lastCopies(8);
        for (int t = 0; t < 8; ++t) {
            lastCopies[t] = shared;
            threads.emplace_back([&, t] {
                while (!go) {
                }
                for (int i = 0; i < 20000; ++i) {
                    SharedPtr<Product> copy = lastCopies[t];
                    SharedPtr<Interface> view = copy;
                    EXPECT_EQ(view->value(), round);
                }
                lastCopies[t].reset();
            });
        }
        EXPECT_EQ(shared.use_count(), 9);
        shared.reset();
        go = true;
        for (auto& thread : threads) thread.join();
        EXPECT_EQ(gDestroyed, round + 1);
    }
}

// Each allocation of the maker failing in turn: nothing leaks, the pointer stays empty, and an
// object that was already built is deleted.
TEST_F(SharedPtrTest, FailedMakingDeletesTheObject) {
    int failures = sweepAllocationFailures([](uint64_t failAt) {
        gDestroyed = 0;
        tStatus status;
        SharedPtr<Interface> made;
        bool failed = failing(failAt, status, [&](tStatus& st) { made = makeShared<Product>(3, st); });
        if (failed) {
            EXPECT_EQ(status.getCode(), kStatusMemoryFull);
            EXPECT_FALSE(made);
            EXPECT_EQ(gDestroyed, failAt == 1 ? 0 : 1);  // the control block is the second allocation
        } else {
            EXPECT_EQ(made->value(), 3);
        }
        return failed;
    });
    EXPECT_EQ(failures, 2);

    gDestroyed = 0;
    tStatus status;
    SharedPtr<FailingProduct> failing = makeShared<FailingProduct>(1, status);
    EXPECT_FALSE(failing);
    EXPECT_EQ(status.getCode(), -52006);
    EXPECT_EQ(gDestroyed, 1);

    // Wrapping after an earlier error: the object is deleted, nothing else is allocated.
    tStatus earlier;
    Product* raw = new Product(9);
    earlier.code = -50001;
    int64_t live = kal::sim::liveAllocations();
    SharedPtr<Product> wrapped(raw, earlier);
    EXPECT_FALSE(wrapped);
    EXPECT_EQ(gDestroyed, 2);
    EXPECT_EQ(kal::sim::liveAllocations(), live - 1);
    EXPECT_EQ(earlier.getCode(), -50001);
}

}  // namespace
