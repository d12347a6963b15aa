#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "kal/sim/faults.h"
#include "kzapal/protons/statusCodes.h"
#include "kzark/tolvaneTopography.h"
#include "kzark/topography.h"
#include "routing/groupedTable.h"
#include "routing/searchFixture.h"

namespace {

using kzark::RouteCalculationSeedBase;
using routing_test::Found;
using routing_test::Outcome;
using routing_test::SearchFixture;
using routing_test::seed;

struct Case {
    const char* name;
    std::vector<RouteCalculationSeedBase> seeds;
    std::vector<uint32_t> destinations;
    bool noPath;
    std::vector<Found> routes;
};

// Worked by hand from the wiring: multiplexer input costs 9: 64, 35-43: 124, 132-151: 90,
// 15-34: 134, 64-91: 100, 172-175: 74; only 15-34 and 132-151 may be passed through.
TEST(RouteSearch, TolvaneRoutes) {
    const Case cases[] = {
        {"direct to a channel multiplexer", {seed(2, 0)}, {15}, false, {{{2, 15}, 134}}},
        {"direct to the isolated sink", {seed(2, 0)}, {9}, false, {{{2, 9}, 64}}},
        // 44 feeds 19..15 in that order; 15, placed last at 134, is settled first.
        {"endpoint-only seed is left; newest of equal costs wins", {seed(44, 0)}, {9}, false, {{{44, 15, 9}, 198}}},
        {"two pass-through hops", {seed(44, 0)}, {21}, false, {{{44, 15, 133, 21}, 358}}},
        {"pass-through seed", {seed(20, 0)}, {68}, false, {{{20, 132, 68}, 190}}},
        {"table order of destinations, a duplicate counts once",
         {seed(2, 0)},
         {172, 9, 15, 9},
         false,
         {{{2, 9}, 64}, {{2, 15}, 134}, {{2, 172}, 74}}},
        {"unreachable destination", {seed(2, 0)}, {4}, true, {}},
        {"one of two destinations unreachable", {seed(2, 0)}, {4, 9}, false, {{{2, 9}, 64}}},
        {"endpoint-only terminal is no hop", {seed(180, 0)}, {9}, true, {}},
        {"endpoint-only destination is reached but not left", {seed(180, 0)}, {64, 9}, false, {{{180, 64}, 100}}},
        {"destination that is a seed", {seed(2, 7)}, {2}, false, {{{2}, 7}}},
        {"seed reached more cheaply by another seed", {seed(15, 1000), seed(2, 0)}, {15}, false, {{{15}, 134}}},
        {"later duplicate seed counts even when higher", {seed(2, 0), seed(2, 500)}, {9}, false, {{{2, 9}, 564}}},
        {"equal seeds: the later one is settled first", {seed(2, 0), seed(3, 0)}, {9}, false, {{{3, 9}, 64}}},
        {"equal seeds, other order", {seed(3, 0), seed(2, 0)}, {9}, false, {{{2, 9}, 64}}},
        // Start costs come from user mode: sums at or past 0xFFFFFFFF are no path, never wrapped.
        {"start cost near the limit wraps nothing", {seed(15, 0xFFFFFFF0)}, {172}, true, {}},
        {"largest reachable cost", {seed(15, 0xFFFFFF5A)}, {172}, false, {{{15, 132, 172}, 0xFFFFFFFE}}},
        {"a sum reaching the unreached mark", {seed(15, 0xFFFFFF5B)}, {172}, true, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SearchFixture f;
        const Outcome outcome = f.calculate(c.seeds, c.destinations);
        EXPECT_EQ(outcome.code, 0);
        EXPECT_EQ(outcome.noPath, c.noPath);
        EXPECT_EQ(outcome.routes, c.routes);
    }
}

TEST(RouteSearch, ParallelEdgeTakesTheFirstPosition) {
    SearchFixture f;
    const Outcome outcome = f.calculate({seed(2, 0)}, {15});
    ASSERT_EQ(outcome.routes.size(), 1u);
    ASSERT_EQ(outcome.positions.size(), 1u);
    EXPECT_EQ(outcome.positions[0], std::vector<uint32_t>{1});
}

TEST(RouteSearch, UnavailableEdgesOnlyWithTheFlag) {
    SearchFixture f;
    // As a reservation of 15 -> 9 leaves it: the driving edge available, every other input not.
    for (kzark::EdgeState* edge : f.incoming(9)) edge->available = 0;
    kzark::EdgeState* driving = f.edgeBetween(15, 9);
    driving->available = 1;
    driving->reservationCount = 1;

    EXPECT_EQ(f.calculate({seed(2, 0)}, {9}).routes, (std::vector<Found>{{{2, 15, 9}, 198}}));
    EXPECT_EQ(f.calculate({seed(2, 0)}, {9}, kzark::kCalculateUseUnavailableEdges).routes,
              (std::vector<Found>{{{2, 9}, 64}}));
}

TEST(RouteSearch, DrivenBidirectionalTerminalsAreDroppedSilently) {
    SearchFixture f;
    f.edgeBetween(2, 35)->reservationCount = 1;  // 35 is being driven
    Outcome outcome = f.calculate({seed(35, 0)}, {9});
    EXPECT_EQ(outcome.code, 0);
    EXPECT_FALSE(outcome.noPath);
    EXPECT_TRUE(outcome.routes.empty());
    EXPECT_EQ(f.calculate({seed(35, 0), seed(2, 0)}, {9}).routes, (std::vector<Found>{{{2, 9}, 64}}));

    SearchFixture g;
    g.edgeBetween(36, 9)->reservationCount = 1;  // 36 drives the sink
    outcome = g.calculate({seed(2, 0)}, {36});
    EXPECT_EQ(outcome.code, 0);
    EXPECT_FALSE(outcome.noPath);
    EXPECT_TRUE(outcome.routes.empty());
}

TEST(RouteSearch, RefusedRequests) {
    struct Refusal {
        const char* name;
        std::vector<RouteCalculationSeedBase> seeds;
        std::vector<uint32_t> destinations;
        int64_t code;
    };
    const Refusal refusals[] = {
        {"no seed", {}, {9}, nKZAPALS100::kStatusBadParameter},
        {"seed id 0", {seed(0, 0)}, {9}, nKZAPALS100::kStatusBadParameter},
        {"unknown seed id", {seed(2, 0), seed(204, 0)}, {9}, nKZAPALS100::kStatusBadParameter},
        {"unknown destination id", {seed(2, 0)}, {9, 999}, nKZAPALS100::kStatusBadParameter},
        {"no destination", {seed(2, 0)}, {}, 0},
    };
    for (const Refusal& r : refusals) {
        SCOPED_TRACE(r.name);
        SearchFixture f;
        const Outcome outcome = f.calculate(r.seeds, r.destinations);
        EXPECT_EQ(outcome.code, r.code);
        EXPECT_FALSE(outcome.noPath);
        EXPECT_TRUE(outcome.routes.empty());
    }

    SearchFixture f;
    nKZAPALS100::tStatus failed;
    KZ_SET_CODE(failed, -1);
    kzark::Route** routes = nullptr;
    uint32_t count = 7;
    const RouteCalculationSeedBase seeds[] = {seed(2, 0)};
    const uint32_t destinations[] = {9};
    EXPECT_FALSE(f.topography.calculateRoute(1, seeds, 1, nullptr, destinations, 1, 0, routes, count, failed));
    EXPECT_EQ(routes, nullptr);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(failed.code, -1);
}

// Route slots follow the accepted destinations, not the caller's count.
TEST(RouteSearch, LongDestinationListOfOneTerminal) {
    SearchFixture f;
    const Outcome outcome = f.calculate({seed(2, 0)}, std::vector<uint32_t>(1000000, 9));
    EXPECT_EQ(outcome.routes, (std::vector<Found>{{{2, 9}, 64}}));
    EXPECT_EQ(f.heap.blockCount(), 1u);
}

TEST(RouteSearch, SeedFilterSelectsSeeds) {
    SearchFixture f;
    RouteCalculationSeedBase inverted = seed(3, 0);
    inverted.inversionConstraint = 1;
    f.filter = [](const RouteCalculationSeedBase& s) { return s.inversionConstraint == 0; };
    EXPECT_EQ(f.calculate({seed(2, 0), inverted}, {9}).routes, (std::vector<Found>{{{2, 9}, 64}}));
    const Outcome none = f.calculate({inverted}, {9});
    EXPECT_EQ(none.code, 0);
    EXPECT_FALSE(none.noPath);
    EXPECT_TRUE(none.routes.empty());
}

// Every allocation failure gives a clear status and no routes, and the scratch heap gives all
// back. Small blocks make each area an allocation of its own, so every step is reached.
TEST(RouteSearch, AllocationFailures) {
    routing_test::GroupedTable grouped;
    const struct {
        const char* name;
        const kzark::TopInfo& info;
        std::vector<RouteCalculationSeedBase> seeds;
        std::vector<uint32_t> destinations;
        size_t routes;
    } cases[] = {
        {"product table", TolvaneTopography::kTopInfo, {seed(44, 0)}, {9, 21, 172}, 3},
        // Routes to B (and its inverting twin) and to X, each with extras.
        {"table with groups", grouped.info, {seed(grouped.S, 0)}, {grouped.A, grouped.X}, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<int64_t> codes;
        codes.reserve(100);
        const int64_t live = kal::sim::liveAllocations();
        bool succeeded = false;
        for (uint64_t nth = 1; !succeeded && nth < 100; ++nth) {
            {
                SCOPED_TRACE(nth);
                SearchFixture f(c.info, 64);
                const Outcome outcome = f.calculate(c.seeds, c.destinations, 0, nth);
                succeeded = !outcome.failureInjected;
                if (succeeded) {
                    EXPECT_EQ(outcome.routes.size(), c.routes);
                } else {
                    codes.push_back(outcome.code);
                    EXPECT_TRUE(outcome.routes.empty());
                    EXPECT_FALSE(outcome.noPath);
                }
            }
            EXPECT_EQ(kal::sim::liveAllocations(), live) << "failing allocation " << nth;
        }
        EXPECT_TRUE(succeeded);
        // Slots and routes, then segment arrays, then the copies' segment arrays (and the extras).
        ASSERT_FALSE(codes.empty());
        EXPECT_EQ(codes.front(), nKZAPALS100::kStatusMemoryFull);
        EXPECT_NE(std::find(codes.begin(), codes.end(), nKZAPALS100::kStatusBufferTooSmall), codes.end());
        EXPECT_EQ(codes.back(), nKZAPALS100::kStatusMemoryFull);
        for (int64_t code : codes)
            EXPECT_TRUE(code == nKZAPALS100::kStatusMemoryFull || code == nKZAPALS100::kStatusBufferTooSmall) << code;
    }

    SearchFixture f;
    f.topography.segmentResize.function = nullptr;
    EXPECT_EQ(f.calculate({seed(2, 0)}, {9}).code, nKZAPALS100::kStatusBufferTooSmall);
    EXPECT_EQ(f.calculate({seed(2, 0)}, {2}).code, 0);  // a route without segments needs no array
}

// Terminals 7, 3, 5 in that table order (ids not dense); 7 reaches 3 over a plain and an
// inverting edge, 3 reaches 5 over an inverting one.
namespace inverting {
constexpr kzark::EdgeAttribute attribute{};
constexpr kzark::Terminal terminals[] = {
    {7, 0, 0, 2, 0, 0, 0, 0},
    {3, 0, 2, 1, 0, 2, 0, 0},
    {5, 0, 0, 0, 2, 1, 0, 0},
};
constexpr kzark::Edge edges[] = {
    {10, 1, &attribute, 0, 0, 1, 0, 0},
    {15, 1, &attribute, 0, 1, 1, 1, 0},
    {5, 2, &attribute, 0, 2, 1, 1, 0},
};
constexpr kzark::ProgrammingAction actions[] = {{3, 0}, {3, 1}, {3, 0}};
constexpr uint32_t incomingList[] = {0, 1, 2};
constexpr kzark::TopInfo info = {"Inverting", terminals, edges, nullptr, actions, &attribute, incomingList, 3, 3, 0, 1};
}  // namespace inverting

TEST(RouteSearch, OppositeInversionAlternatives) {
    SearchFixture f(inverting::info);
    EXPECT_EQ(f.calculate({seed(7, 0)}, {5, 3}).routes, (std::vector<Found>{
                                                            {{7, 3}, 10, 0},
                                                            {{7, 3, 5}, 15, 1},
                                                            {{7, 3}, 15, 1},
                                                            {{7, 3, 5}, 20, 0},
                                                        }));
    // A reserved edge is kept as it is, so no alternative replaces it.
    f.edges[0].reservationCount = 1;
    EXPECT_EQ(f.calculate({seed(7, 0)}, {5}).routes, (std::vector<Found>{{{7, 3, 5}, 15, 1}}));
}

}  // namespace
