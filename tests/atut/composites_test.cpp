#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "atut/cleanupOperationComposite.h"
#include "atut/hardwareStateCheckerCollection.h"
#include "atut/invalidatableSession.h"
#include "armgen/nullRegisterMap.h"
#include "atut/regMapRouteProgrammer.h"
#include "kal/sim/faults.h"

using nKZAPALS100::tStatus;

namespace {

struct Operation : atut::CleanupOperationInterface {
    Operation(std::vector<std::string>& log, std::string name, int64_t reports = 0)
        : log_(log), name_(std::move(name)), reports_(reports) {}
    void cleanup(tStatus& status) override {
        log_.push_back(name_);
        EXPECT_EQ(status.code, 0) << "every operation gets a fresh status";
        if (reports_ != 0) KZ_SET_CODE(status, reports_);
    }
    std::vector<std::string>& log_;
    std::string name_;
    int64_t reports_;
};

}  // namespace

TEST(CleanupOperationComposite, RunsLastAddedFirstAndMergesEveryStatus) {
    std::vector<std::string> log;
    Operation a(log, "A"), b(log, "B", -52006), c(log, "C", 7);
    atut::CleanupOperationComposite composite;
    tStatus status;
    composite.cleanup(status);
    EXPECT_EQ(status.code, 0) << "an empty composite changes nothing";
    for (Operation* op : {&a, &b, &c}) composite.add(op, status);
    ASSERT_EQ(status.code, 0);

    composite.cleanup(status);
    EXPECT_EQ(log, (std::vector<std::string>{"C", "B", "A"}));
    EXPECT_EQ(status.code, -52006) << "C's warning, then B's error over it";
    EXPECT_EQ(composite.size(), 3u) << "cleanup leaves the list as it is";

    log.clear();
    tStatus earlier;
    earlier.code = -52000;
    composite.cleanup(earlier);
    EXPECT_EQ(log, (std::vector<std::string>{"C", "B", "A"})) << "runs even on an error";
    EXPECT_EQ(earlier.code, -52000) << "the earlier error stays";
}

TEST(CleanupOperationComposite, RemoveTakesTheMostRecentOccurrence) {
    std::vector<std::string> log;
    Operation a(log, "A"), b(log, "B"), absent(log, "absent");
    atut::CleanupOperationComposite composite;
    tStatus status;
    for (Operation* op : {&a, &b, &a}) composite.add(op, status);
    composite.remove(&a, status);
    EXPECT_EQ(status.code, 0);
    composite.cleanup(status);
    EXPECT_EQ(log, (std::vector<std::string>{"B", "A"})) << "the later A went; order kept";

    composite.remove(&absent, status);
    EXPECT_EQ(status.code, -52006);
    EXPECT_EQ(composite.size(), 2u);
    composite.remove(&a, status);
    EXPECT_EQ(composite.size(), 2u) << "nothing happens after an error";
}

TEST(CleanupOperationComposite, GrowthAndAllocationFailure) {
    std::vector<std::string> log;
    Operation a(log, "A");
    atut::CleanupOperationComposite composite;
    tStatus status;
    std::vector<size_t> capacities;
    for (int i = 0; i < 20; ++i) {
        composite.add(&a, status);
        if (capacities.empty() || capacities.back() != composite.capacity()) capacities.push_back(composite.capacity());
    }
    EXPECT_EQ(capacities, (std::vector<size_t>{8, 12, 18, 27}));

    atut::CleanupOperationComposite full;
    for (int i = 0; i < 8; ++i) full.add(&a, status);
    {
        kal::sim::FailAllocations fail(1);
        full.add(&a, status);
    }
    EXPECT_EQ(status.code, -52000);
    EXPECT_EQ(full.size(), 8u);

    tStatus reserve;
    atut::CleanupOperationComposite huge(SIZE_MAX / 4, reserve);
    EXPECT_EQ(reserve.code, -52000) << "count times 8 overflows";
    tStatus fits;
    atut::CleanupOperationComposite roomy(100, fits);
    EXPECT_EQ(fits.code, 0);
    EXPECT_EQ(roomy.capacity(), 100u);
}

namespace {

struct Checker : atut::HardwareStateChecker {
    explicit Checker(int64_t finds = 0) : finds_(finds) {}
    void checkHardwareState(tStatus& status) override {
        if (status.isFatal()) return;
        ++runs;
        if (finds_ != 0) KZ_SET_CODE(status, finds_);
    }
    int64_t finds_;
    int runs = 0;
};

struct Session : atut::InvalidatableSession {
    Session() : atut::InvalidatableSession(static_cast<int32_t>(KZ_DEVICE_CODE(0xBFFA9179))) {}
    bool isValid() override { return valid; }
    bool valid = true;
};

}  // namespace

TEST(HardwareStateCheckerCollection, RunsInOrderOnOneStatus) {
    Checker ok, failing(-52007), after;
    atut::HardwareStateCheckerCollection collection;
    tStatus status;
    for (Checker* checker : {&ok, &failing, &after}) collection.add(checker, status);
    collection.remove(&ok);
    collection.add(&ok, status);
    Checker absent;
    collection.remove(&absent);
    EXPECT_EQ(collection.size(), 3u);
    collection.checkHardwareState(status);
    EXPECT_EQ(status.code, -52007);
    EXPECT_EQ(failing.runs, 1);
    EXPECT_EQ(after.runs, 0) << "a checker after a failing one sees the error";
    EXPECT_EQ(ok.runs, 0);

    collection.clear();
    tStatus fresh;
    for (size_t i = 0; i < atut::HardwareStateCheckerCollection::kCapacity; ++i) collection.add(&ok, fresh);
    collection.add(&after, fresh);
    EXPECT_EQ(fresh.code, -52000) << "no 65th checker";
    EXPECT_EQ(collection.size(), atut::HardwareStateCheckerCollection::kCapacity);
}

TEST(InvalidatableSession, CheckRecordsTheInvalidStatus) {
    Session session;
    tStatus status;
    EXPECT_TRUE(session.check(status));
    EXPECT_EQ(status.code, 0);
    session.valid = false;
    EXPECT_FALSE(session.check(status));
    EXPECT_EQ(status.code, KZ_DEVICE_CODE(0xBFFA9179));
}

namespace {

// A register map that keeps what was written to it.
struct FakeMap : armtest::NullRegisterMap {
    struct Write {
        uint32_t id;
        uint64_t value;
        bool force;
    };
    std::vector<Write> writes;
    int64_t failWith = 0;

    void write(uint32_t id, uint64_t value, bool force, tStatus& status, uint32_t) override {
        if (status.isFatal()) return;
        writes.push_back({id, value, force});
        if (failWith != 0) KZ_SET_CODE(status, failWith);
    }
};

}  // namespace

TEST(RegMapRouteProgrammer, WritesThroughTheMapWithItsForceFlag) {
    FakeMap map;
    tStatus status;
    atut::RegMapRouteProgrammer programmer(&map, true, status);
    ASSERT_EQ(status.code, 0);
    programmer.beginProgramming(status);
    programmer.applyProgrammingAction(0, 0x80EF3D7C, 0xFFFFFFFF, status);
    programmer.endProgramming(status);
    ASSERT_EQ(map.writes.size(), 1u);
    EXPECT_EQ(map.writes[0].id, 0x80EF3D7Cu);
    EXPECT_EQ(map.writes[0].value, 0xFFFFFFFFull) << "widened, not sign-extended";
    EXPECT_TRUE(map.writes[0].force);

    programmer.applyProgrammingAction(1, 0x1, 1, status);
    EXPECT_EQ(status.code, -52005) << "no map at index 1";
    programmer.applyProgrammingAction(0, 0x2, 2, status);
    EXPECT_EQ(map.writes.size(), 1u) << "nothing after an error";

    FakeMap failing;
    failing.failWith = -52006;
    tStatus second;
    atut::RegMapRouteProgrammer gentle(&failing, false, second);
    gentle.applyProgrammingAction(0, 0x3, 3, second);
    EXPECT_EQ(second.code, -52006) << "the map's failure reaches the caller";
    EXPECT_FALSE(failing.writes[0].force);
}
