#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "kal/sim/faults.h"
#include "kdut/cleanupOperation.h"
#include "kdut/resetInvalidatableSession.h"

using nKZAPALS100::tStatus;

namespace {

struct Operation : kdut::CleanupOperationInterface {
    Operation(std::vector<std::string>& log, std::string name, int64_t reports = 0)
        : log_(log), name_(std::move(name)), reports_(reports) {}
    void cleanup(tStatus& status) override {
        log_.push_back(name_);
        EXPECT_EQ(status.code, 0) << "every operation gets a fresh status";
        if (reports_ != 0) KZ_SET_CODE(status, reports_);
        if (during) during();
    }
    std::vector<std::string>& log_;
    std::string name_;
    int64_t reports_;
    std::function<void()> during;
};

struct Composite : ::testing::Test {
    tStatus status;
    kdut::CleanupOperationComposite composite{4, status};
    std::vector<std::string> log;
    Operation a{log, "A"}, b{log, "B"}, c{log, "C"}, d{log, "D"};

    void addAll(std::initializer_list<Operation*> operations) {
        for (Operation* op : operations) composite.add(op, status);
        ASSERT_EQ(status.code, 0);
    }
    std::vector<std::string> run() {
        log.clear();
        tStatus own;
        composite.cleanup(own);
        EXPECT_EQ(own.code, 0);
        return log;
    }
};

using Log = std::vector<std::string>;

}  // namespace

TEST_F(Composite, RunsLastAddedFirstEveryMemberAndTheFirstErrorStands) {
    Operation failing(log, "B", -52006), warning(log, "C", 7);
    addAll({&a, &failing, &warning});
    tStatus result;
    composite.cleanup(result);
    EXPECT_EQ(log, (Log{"C", "B", "A"}));
    EXPECT_EQ(result.code, -52006);
    EXPECT_EQ(composite.size(), 3u) << "cleanup leaves the list";

    log.clear();
    tStatus earlier;
    earlier.code = -1;
    composite.cleanup(earlier);
    EXPECT_TRUE(log.empty()) << "an error status runs nothing";
}

TEST_F(Composite, RemoveTakesTheFirstOccurrenceAndDuplicatesAreKept) {
    addAll({&a, &b, &a});
    composite.remove(&a, status);
    EXPECT_EQ(run(), (Log{"A", "B"}));
    composite.remove(&c, status);
    EXPECT_EQ(status.code, -52006);
    EXPECT_TRUE(composite.contains(&a));
    composite.clear();
    EXPECT_FALSE(composite.contains(&a));
    EXPECT_TRUE(run().empty());
}

// Members that change the composite while it runs: nothing is skipped, run twice or read past the
// end; members added during the run wait for the next one.
TEST_F(Composite, MembersMayChangeTheListWhileItRuns) {
    addAll({&a, &b, &c});
    c.during = [&] {
        tStatus s;
        composite.remove(&c, s);
        composite.remove(&b, s);
        composite.add(&d, s);
        EXPECT_EQ(s.code, 0);
    };
    EXPECT_EQ(run(), (Log{"C", "A"}));
    c.during = nullptr;
    EXPECT_EQ(run(), (Log{"D", "A"}));

    composite.clear();
    addAll({&a, &b, &c});
    b.during = [&] {
        tStatus s;
        composite.remove(&c, s);  // already ran
        composite.remove(&a, s);  // its turn is next
        composite.add(&a, s);     // back at the end: not in this run
    };
    EXPECT_EQ(run(), (Log{"C", "B"}));
    b.during = [&] { composite.clear(); };
    EXPECT_EQ(run(), (Log{"A", "B"}));
}

TEST_F(Composite, CompositesNest) {
    tStatus s;
    kdut::CleanupOperationComposite inner(0, s);
    inner.add(&a, s);
    inner.add(&b, s);
    addAll({&c});
    composite.add(&inner, status);
    composite.add(&d, status);
    EXPECT_EQ(run(), (Log{"D", "B", "A", "C"}));
}

TEST(CleanupOperationCompositeFaults, WithoutItsMutexItTakesNothingAndRunsNothing) {
    tStatus status;
    std::vector<std::string> log;
    Operation a(log, "A");
    kal::sim::FailKernelCall noMutex("createMutex");
    kdut::CleanupOperationComposite composite(4, status);
    EXPECT_EQ(status.code, -52000);
    tStatus add;
    composite.add(&a, add);
    EXPECT_EQ(add.code, -52000);
    tStatus run;
    composite.cleanup(run);
    composite.clear();
    EXPECT_EQ(run.code, 0);
    EXPECT_TRUE(log.empty());
}

TEST(CleanupOperationCompositeFaults, RoomThatCannotBeHadIsReported) {
    for (size_t capacity : {size_t(80), ~size_t(0) >> 2}) {
        tStatus status;
        kal::sim::FailAllocations fail(capacity == 80 ? 1 : 1000);
        kdut::CleanupOperationComposite composite(capacity, status);
        EXPECT_EQ(status.code, -52000) << capacity;
    }
}

TEST(CleanupOperationSession, RunsItsSetOnlyWhileTheOwnerIsValid) {
    uint32_t generation = 7;
    std::vector<std::string> log;
    Operation a(log, "A"), b(log, "B");
    for (bool reset : {false, true}) {
        log.clear();
        kdut::ResetInvalidatableSession validity(&generation, 0xBFFA9179);
        {
            tStatus status;
            kdut::CleanupOperationSession session(80, &validity, status);
            session.getCleanupOperations()->add(&a, status);
            session.getCleanupOperations()->add(&b, status);
            ASSERT_EQ(status.code, 0);
            if (reset) ++generation;
        }
        EXPECT_EQ(log, reset ? Log{} : (Log{"B", "A"})) << "reset " << reset;
    }
}

TEST(ResetInvalidatableSession, InvalidOnceTheGenerationMovesUntilRevalidated) {
    uint32_t generation = 0xFFFFFFFF;
    kdut::ResetInvalidatableSession session(&generation, 0xBFFA9179);
    tStatus status;
    EXPECT_TRUE(session.check(status));
    EXPECT_EQ(status.code, 0);
    ++generation;  // wraps to 0
    EXPECT_FALSE(session.isValid());
    session.check(status);
    EXPECT_EQ(status.code, KZ_DEVICE_CODE(0xBFFA9179));
    session.revalidate();
    EXPECT_TRUE(session.isValid());
}
