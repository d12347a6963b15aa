#include "kzark/routeDatabase.h"

#include <gtest/gtest.h>

#include <vector>

#include "kal/sim/faults.h"
#include "kzapal/protons/statusCodes.h"
#include "routing/searchFixture.h"

namespace {

using nKZAPALS100::tStatus;
using routing_test::SearchFixture;

// A two-segment route 44 -> 15 -> 9 from the real search.
struct RouteDatabaseTest : ::testing::Test {
    RouteDatabaseTest() {
        const kzark::RouteCalculationSeedBase seeds[] = {routing_test::seed(44, 0)};
        const uint32_t destinations[] = {9};
        tStatus status;
        search.topography.calculateRoute(0xABCD, seeds, 1, nullptr, destinations, 1, 0, routes, count, status);
        EXPECT_EQ(count, 1u);
    }
    ~RouteDatabaseTest() override { search.topography.releaseRoutes(routes, count); }

    uint32_t add() {
        tStatus status;
        const uint32_t id = database.add(*routes[0], status);
        EXPECT_EQ(status.code, 0);
        return id;
    }

    SearchFixture search;
    kzark::Route** routes = nullptr;
    uint32_t count = 0;
    kzark::RouteDatabase database;
};

TEST_F(RouteDatabaseTest, RecordsAreIndependentCopies) {
    EXPECT_EQ(add(), 1u);
    EXPECT_EQ(add(), 2u);
    routes[0]->segments[0].terminal = nullptr;  // the search's own arrays go away after a calculation
    kzark::RouteInDB* record = database.find(2);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->source->terminal->id, 44u);
    ASSERT_EQ(record->segments.size(), 2u);
    EXPECT_EQ(record->segments[0].terminal->terminal->id, 15u);
    EXPECT_EQ(record->endTerminal()->terminal->id, 9u);
    EXPECT_EQ(record->cost, 198u);
    EXPECT_EQ(record->ownerTag, 0xABCDu);
    EXPECT_EQ(record->state, kzark::kRouteStateCalculated);
    EXPECT_TRUE(record->extras.empty());
    EXPECT_EQ(database.find(3), nullptr);
}

TEST_F(RouteDatabaseTest, RemovalKeepsOrderAndIdsAreNotReused) {
    for (uint32_t i = 0; i < 4; ++i) add();
    database.removeAt(1);
    ASSERT_EQ(database.size(), 3u);
    EXPECT_EQ(database[0].id, 1u);
    EXPECT_EQ(database[1].id, 3u);
    EXPECT_EQ(database[2].id, 4u);
    database.truncate(1);  // back to the size before a failed calculation
    ASSERT_EQ(database.size(), 1u);
    EXPECT_EQ(database[0].id, 1u);
    EXPECT_EQ(add(), 5u);
}

// Across the wrap no id is 0 and ids still in use are skipped, including the wrap of the
// candidate itself.
TEST_F(RouteDatabaseTest, IdsAcrossTheWrap) {
    database.setNextId(0xFFFFFFFE);
    EXPECT_EQ(add(), 0xFFFFFFFEu);
    EXPECT_EQ(add(), 0xFFFFFFFFu);
    EXPECT_FALSE(database.hasWrapped());
    EXPECT_EQ(add(), 1u);
    EXPECT_TRUE(database.hasWrapped());
    EXPECT_EQ(add(), 2u);
    database.removeAt(2);  // id 1 is free again

    database.setNextId(0xFFFFFFFE);  // as after another full round of ids
    EXPECT_EQ(add(), 1u);
    EXPECT_EQ(add(), 3u);
    for (size_t i = 0; i < database.size(); ++i) EXPECT_NE(database[i].id, 0u);
}

TEST_F(RouteDatabaseTest, FailedGrowthAddsNothing) {
    uint64_t failures = 0;
    for (uint64_t nth = 1;; ++nth) {
        tStatus status;
        uint32_t id;
        bool injected;
        {
            kal::sim::FailAllocations fail(nth);
            id = database.add(*routes[0], status);
            injected = fail.triggered();
        }
        if (!injected) {
            EXPECT_EQ(id, 1u);
            break;
        }
        ++failures;
        EXPECT_EQ(id, 0u);
        EXPECT_EQ(status.code, nKZAPALS100::kStatusMemoryFull);
        EXPECT_EQ(database.size(), 0u);
    }
    EXPECT_EQ(failures, 2u);  // the record vector, then the segment copy
    tStatus failed;
    KZ_SET_CODE(failed, -1);
    EXPECT_EQ(database.add(*routes[0], failed), 0u);
    EXPECT_EQ(database.size(), 1u);
}

}  // namespace
