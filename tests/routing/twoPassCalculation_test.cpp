#include <gtest/gtest.h>

#include <vector>

#include "device/routing/routingResourcesFactory.h"
#include "kzapal/protons/statusCodes.h"
#include "kzapalcodegen/pciIdentifiers.h"
#include "kzark/routingResources.h"
#include "routing/recordingProgrammer.h"
#include "routing/resourcesFixture.h"

namespace {

using kzark::RouteCalculationSeedBase;
using nKZAPALS100::kStatusBadParameter;
using nKZAPALS100::tStatus;
using routing_test::Calculation;
using routing_test::Possibility;
using routing_test::RecordingProgrammer;
using routing_test::ResourcesFixture;
using routing_test::ResourcesOver;
using routing_test::seedOf;
using Tolvane = routing_test::TolvaneResources;

// Sources 1 and 2, sinks 3 and 4. 1 reaches 3 over a plain and an inverting edge and 4 over a
// plain one; 2 reaches 3 and 4 over inverting edges.
namespace inverting {
constexpr kzark::EdgeAttribute attribute{};
constexpr kzark::Terminal terminals[] = {
    {1, 0, 0, 3, 0, 0, 0, 0},
    {2, 0, 3, 2, 0, 0, 0, 0},
    {3, 0, 0, 0, 0, 3, 0, 0},
    {4, 0, 0, 0, 3, 2, 0, 0},
};
constexpr kzark::Edge edges[] = {
    {10, 2, &attribute, 0, 0, 1, 0, 0},  // 1 -> 3
    {12, 2, &attribute, 0, 1, 1, 1, 0},  // 1 -> 3, inverting
    {10, 3, &attribute, 0, 2, 1, 0, 0},  // 1 -> 4
    {5, 2, &attribute, 0, 3, 1, 1, 0},   // 2 -> 3, inverting
    {20, 3, &attribute, 0, 4, 1, 1, 0},  // 2 -> 4, inverting
};
constexpr kzark::ProgrammingAction actions[] = {{3, 0}, {3, 1}, {3, 2}, {3, 3}, {3, 4}};
constexpr uint32_t incomingList[] = {0, 1, 3, 2, 4};
constexpr kzark::TopInfo info = {"Inverting", terminals, edges, nullptr, actions, &attribute, incomingList, 4, 5, 0, 1};
}  // namespace inverting

TEST(TwoPassCalculation, ProductRoutes) {
    Tolvane t;
    ResourcesFixture& f = t.f;
    Calculation c = f.calculate(1, {seedOf(2, 0, 0), seedOf(3, 0, 1)}, {15});
    EXPECT_EQ(c.code, 0);
    EXPECT_FALSE(c.foundNothing);
    EXPECT_EQ(c.records, (std::vector<Possibility>{{1, 15, 134, 0, 0}, {2, 15, 134, 1, 1}}));

    for (uint8_t inversion : {0, 1}) {
        c = f.calculate(1, {seedOf(4, 0, inversion)}, {15});
        EXPECT_EQ(c.code, 0);
        EXPECT_TRUE(c.foundNothing) << "a search ran and reached nothing";
        EXPECT_TRUE(c.records.empty());
    }
    // A driven bidirectional seed is dropped: no search ran.
    ASSERT_EQ(f.reserve(f.route(1, 2, 35)).code, 0);
    c = f.calculate(1, {seedOf(35, 0, 0)}, {132});
    EXPECT_EQ(c.code, 0);
    EXPECT_FALSE(c.foundNothing);
    EXPECT_TRUE(c.records.empty());
    EXPECT_EQ(t.programmer.take(), std::vector<routing_test::Call>{});
}

TEST(TwoPassCalculation, EveryIdIsCheckedBeforeAnySearch) {
    const struct {
        const char* name;
        std::vector<RouteCalculationSeedBase> seeds;
        std::vector<uint32_t> destinations;
    } refusals[] = {
        {"unknown seed after a good one", {seedOf(2, 0, 0), seedOf(204, 0, 1)}, {15}},
        {"unknown destination after a good one", {seedOf(2, 0, 0)}, {15, 0}},
        {"no seed", {}, {15}},
    };
    for (const auto& r : refusals) {
        SCOPED_TRACE(r.name);
        Tolvane t;
        ResourcesFixture& f = t.f;
        const Calculation c = f.calculate(1, r.seeds, r.destinations);
        EXPECT_EQ(c.code, kStatusBadParameter);
        EXPECT_FALSE(c.foundNothing);
        EXPECT_TRUE(c.records.empty());
        EXPECT_EQ(f.resources->routeDatabase().size(), 0u);
    }
}

// The cheaper of a plain and an inverting route to one end with one polarity stays (the plain one
// on equal cost); holes are filled from the end of each pass's list.
TEST(TwoPassCalculation, CrossDeduplication) {
    const struct {
        const char* name;
        std::vector<RouteCalculationSeedBase> seeds;
        std::vector<Possibility> records;
    } cases[] = {
        // Plain pass: 3/10, 4/10, 3/12 inverted; inverting pass: 3/5 and 4/20, both now plain.
        {"cheaper wins either way",
         {seedOf(2, 0, 1), seedOf(1, 0, 0)},
         {{1, 3, 12, 1, 1}, {2, 4, 10, 1, 0}, {3, 3, 5, 0, 0}}},
        {"plain pass on equal cost",
         {seedOf(1, 0, 0), seedOf(2, 5, 1)},
         {{1, 3, 10, 0, 0}, {2, 4, 10, 0, 0}, {3, 3, 12, 0, 1}}},
        // One seed in both passes: plain 3/10, 4/10, 3/12 inverted against 3/10 inverted, 4/10
        // inverted, 3/12 plain.
        {"one terminal seeding both passes",
         {seedOf(1, 0, 0), seedOf(1, 0, 1)},
         {{1, 3, 10, 0, 0}, {2, 4, 10, 0, 0}, {3, 3, 10, 1, 1}, {4, 4, 10, 1, 1}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingProgrammer programmer;
        tStatus status;
        ResourcesFixture f(new ResourcesOver<4, 5>(inverting::info, &programmer, status));
        ASSERT_EQ(status.code, 0);
        const Calculation result = f.calculate(1, c.seeds, {3, 4});
        EXPECT_EQ(result.code, 0);
        EXPECT_EQ(result.records, c.records);
        EXPECT_EQ(f.resources->routeDatabase().size(), c.records.size());
    }
}

}  // namespace
