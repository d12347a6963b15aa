// Terminal groups: terminals that stand for one signal. The search tries every member of a
// destination's group and keeps the cheapest route per polarity, refuses a bidirectional seed whose
// group is being driven, and gives each route the other members of every group it passes through;
// reservation, programming and their release take those members with the route.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "kal/sim/faults.h"
#include "kzapal/protons/statusCodes.h"
#include "kzark/statusCodes.h"
#include "routing/groupedTable.h"
#include "routing/recordingProgrammer.h"
#include "routing/resourcesFixture.h"
#include "routing/searchFixture.h"

namespace {

using kzark::RouteCalculationSeedBase;
using nKZAPALS100::kStatusBadParameter;
using nKZAPALS100::tStatus;
using routing_test::actionsOf;
using routing_test::batch;
using routing_test::Call;
using routing_test::Calculation;
using routing_test::Conflict;
using routing_test::Found;
using routing_test::GroupedTable;
using routing_test::Outcome;
using routing_test::Possibility;
using routing_test::RecordingProgrammer;
using routing_test::ResourcesFixture;
using routing_test::ResourcesOver;
using routing_test::SearchFixture;
using routing_test::seed;
using routing_test::seedOf;

using Calls = std::vector<Call>;
using T = GroupedTable;
using Spoil = std::function<void(GroupedTable&)>;

// Resources over the grouped table, spoilt first when the test asks.
struct GroupedResources {
    explicit GroupedResources(const Spoil& spoil = nullptr) : f(make(spoil, table, programmer, created)) {}

    static kzark::RoutingResources* make(const Spoil& spoil, GroupedTable& table, RecordingProgrammer& programmer,
                                         tStatus& created) {
        if (spoil) spoil(table);
        return new ResourcesOver<8, 12>(table.info, &programmer, created);
    }

    GroupedTable table;
    RecordingProgrammer programmer;
    tStatus created;
    ResourcesFixture f;
};

class GroupedRoutes : public ::testing::Test, protected GroupedResources {
protected:
    void SetUp() override {
        ASSERT_EQ(created.code, 0);
        ASSERT_TRUE(f.resources->isValid());
    }
};

// A batch for the route after one for its source.
Calls sourceThenRoute(const Calls& source, const Calls& route) {
    Calls calls = source;
    calls.insert(calls.end(), route.begin(), route.end());
    return calls;
}

TEST(TerminalGroups, SearchTriesEveryMemberAndCarriesTheOthers) {
    const struct {
        const char* name;
        std::vector<RouteCalculationSeedBase> seeds;
        std::vector<uint32_t> destinations;
        std::vector<Found> routes;
    } cases[] = {
        // A, B and G are destinations; B is cheaper than A, and its inverting twin has a polarity of
        // its own. G is not reached.
        {"the cheapest member, once per polarity",
         {seed(T::S, 0)},
         {T::A},
         {{{T::S, T::B}, 5, 0, {{T::A, T::D}, {T::G, 0}}}, {{T::S, T::B}, 9, 1, {{T::A, T::D}, {T::G, 0}}}}},
        {"the earlier member on equal cost",
         {seed(T::D, 0)},
         {T::A},
         {{{T::D, T::A}, 0, 0, {{T::B, T::D}, {T::G, 0}}}}},
        {"a later member without inputs is no duplicate",
         {seed(T::S, 0), seed(T::G, 100)},
         {T::B},
         {{{T::S, T::B}, 5, 0, {{T::A, T::D}, {T::G, 0}}},
          {{T::G}, 100},
          {{T::S, T::B}, 9, 1, {{T::A, T::D}, {T::G, 0}}}}},
        {"a member without a default input", {seed(T::D, 0)}, {T::E}, {{{T::D, T::E}, 0, 0, {{T::F, 0}}}}},
        {"the member reached", {seed(T::S, 0)}, {T::F}, {{{T::S, T::F}, 7, 0, {{T::E, T::D}}}}},
        {"a grouped terminal on the way",
         {seed(T::S, 0)},
         {T::X},
         {{{T::S, T::A, T::X}, 11, 0, {{T::B, T::D}, {T::G, 0}}}}},
        {"a grouped source carries nothing", {seed(T::G, 0)}, {T::X}, {{{T::G, T::X}, 4}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        GroupedTable table;
        SearchFixture f(table.info);
        const Outcome outcome = f.calculate(c.seeds, c.destinations);
        EXPECT_EQ(outcome.code, 0);
        EXPECT_FALSE(outcome.noPath);
        EXPECT_EQ(outcome.routes, c.routes);
    }
}

TEST(TerminalGroups, DrivenMembers) {
    GroupedTable table;
    {
        SearchFixture f(table.info);
        f.edgeBetween(T::S, T::B)->reservationCount = 1;  // B is being driven
        Outcome outcome = f.calculate({seed(T::A, 0)}, {T::X});
        EXPECT_EQ(outcome.code, 0);
        EXPECT_FALSE(outcome.noPath) << "the bidirectional seed A is refused, so no search ran";
        EXPECT_TRUE(outcome.routes.empty());
        EXPECT_EQ(f.calculate({seed(T::G, 0)}, {T::X}).routes, (std::vector<Found>{{{T::G, T::X}, 4}}))
            << "G is no bidirectional terminal";
    }
    SearchFixture f(table.info);
    f.edgeBetween(T::B, T::X)->reservationCount = 1;  // B drives X
    EXPECT_EQ(f.calculate({seed(T::S, 0)}, {T::A}).routes,
              (std::vector<Found>{{{T::S, T::A}, 10, 0, {{T::B, T::D}, {T::G, 0}}}}))
        << "B is no destination as a member either";
    const Outcome outcome = f.calculate({seed(T::S, 0)}, {T::B});
    EXPECT_FALSE(outcome.noPath);
    EXPECT_TRUE(outcome.routes.empty()) << "nor are its members when B itself is refused";
}

TEST_F(GroupedRoutes, ReservedProgrammedAndReleasedWithTheRoute) {
    const Calculation c = f.calculate(0xA, {seedOf(T::S, 0, 0)}, {T::A});
    EXPECT_EQ(c.records, (std::vector<Possibility>{{1, T::B, 5, 0, 0}, {2, T::B, 9, 0, 1}}));
    EXPECT_EQ(f.path(1), (std::vector<uint32_t>{T::S, T::B})) << "the members are no part of the path";

    ASSERT_EQ(f.reserve(1).code, 0);
    EXPECT_EQ(f.edge(T::D, T::A).reservationCount, 1u) << "A is held at its default input";
    EXPECT_EQ(f.edge(T::D, T::A).available, 1);
    EXPECT_EQ(f.edge(T::S, T::A).available, 0);
    EXPECT_EQ(f.edge(T::S, T::B).reservationCount, 1u);
    EXPECT_EQ(f.edge(T::D, T::B).available, 0);

    EXPECT_EQ(f.program(1), 0);
    const std::vector<Call> a = actionsOf(T::D, T::A, table.info);
    EXPECT_EQ(programmer.take(), batch({a, actionsOf(T::S, T::B, table.info)})) << "the members first";
    EXPECT_EQ(f.edge(T::D, T::A).programmedCount, 1u);

    f.resources->unprogramRoute(1);
    EXPECT_EQ(programmer.take(), batch({actionsOf(T::D, T::B, table.info), a}))
        << "the path backwards, then the members";
    EXPECT_EQ(f.edge(T::D, T::A).programmedCount, 0u);

    f.resources->unreserveRoute(1);
    EXPECT_EQ(f.edge(T::D, T::A).reservationCount, 0u);
    EXPECT_EQ(f.edge(T::S, T::A).available, 1);
    EXPECT_EQ(f.edge(T::D, T::B).available, 1);
    EXPECT_EQ(f.resources->getRouteState(1), kzark::kRouteStateCalculated);
}

TEST_F(GroupedRoutes, AHeldGroupConflicts) {
    ASSERT_EQ(f.calculate(0xA, {seedOf(T::S, 0, 0)}, {T::A}).records.size(), 2u);  // routes 1 and 2 through B
    const uint32_t throughA = f.route(0xB, T::S, T::X);
    const uint32_t fromA = f.route(0xC, T::A, T::X);
    ASSERT_EQ(f.reserve(1).code, 0);

    const struct {
        const char* name;
        uint32_t route;
    } conflicts[] = {{"a path into a member held at its default input", throughA},
                     {"a bidirectional source whose group is driven", fromA}};
    for (const auto& c : conflicts) {
        SCOPED_TRACE(c.name);
        const routing_test::Reservation reservation = f.reserve(c.route);
        EXPECT_EQ(reservation.code, kzark::kStatusRouteConflict);
        EXPECT_EQ(reservation.conflicts, (std::vector<Conflict>{{0xA, 1}}));
    }
    EXPECT_EQ(f.reset(T::G, kzark::kResetToFirstInput), kzark::kStatusTerminalInputReserved)
        << "G has no input of its own, but its group is held";
    EXPECT_EQ(programmer.take(), Calls{});

    f.resources->unreserveRoute(1);
    EXPECT_EQ(f.reserve(fromA).code, 0);
    EXPECT_EQ(f.program(fromA), 0);
    EXPECT_EQ(programmer.take(),
              sourceThenRoute(batch({actionsOf(T::D, T::A, table.info), actionsOf(T::D, T::B, table.info)}),
                              batch({actionsOf(T::A, T::X, table.info)})))
        << "the source's group is disconnected first";
}

// Before a route drives from a grouped source, the members with a default input get it and the
// first member whose first input is no default one gets that input; a group with a driven member
// is left as it is.
TEST_F(GroupedRoutes, SourcePreparation) {
    const uint32_t fromE = f.route(0xA, T::E, T::X);
    ASSERT_EQ(f.reserve(fromE).code, 0);
    EXPECT_EQ(f.program(fromE), 0);
    const Calls route = batch({actionsOf(T::E, T::X, table.info)});
    EXPECT_EQ(programmer.take(),
              sourceThenRoute(batch({actionsOf(T::D, T::E, table.info), actionsOf(T::S, T::F, table.info)}), route));
    f.resources->destroyRoute(fromE);
    programmer.take();

    // S to F holds E at its default input.
    const uint32_t toF = f.route(0xB, T::S, T::F);
    ASSERT_EQ(f.reserve(toF).code, 0);
    ASSERT_EQ(f.program(toF), 0);
    programmer.take();
    const uint32_t again = f.route(0xA, T::E, T::X);
    ASSERT_EQ(f.reserve(again).code, 0);
    EXPECT_EQ(f.program(again), 0);
    EXPECT_EQ(programmer.take(), route);
}

TEST(TerminalGroups, TablesWhoseGroupsDoNotHoldAreRefused) {
    const struct {
        const char* name;
        Spoil spoil;
    } cases[] = {
        {"a group index beyond the table's groups", [](GroupedTable& t) { t.terminals[T::X - 1].group = 3; }},
        {"a group index in a table without groups", [](GroupedTable& t) { t.info.groups = nullptr; }},
        {"a member beyond the terminals", [](GroupedTable& t) { t.members[1][1] = 8; }},
        {"a member in another group", [](GroupedTable& t) { t.members[1][1] = T::A - 1; }},
        {"a terminal its group does not list", [](GroupedTable& t) { t.groups[1].memberCount = 1; }},
        {"a member listed twice",
         [](GroupedTable& t) {
             t.members[0].push_back(T::A - 1);
             t.groups[0] = {t.members[0].data(), {}, 4};
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        GroupedResources r(c.spoil);
        ResourcesFixture& f = r.f;
        EXPECT_EQ(r.created.code, kStatusBadParameter);
        EXPECT_FALSE(f.resources->isValid());
        // Resources that are not valid do nothing.
        const Calculation calculation = f.calculate(1, {seedOf(T::S, 0, 0)}, {T::A});
        EXPECT_EQ(calculation.code, 0);
        EXPECT_FALSE(calculation.foundNothing);
        EXPECT_TRUE(calculation.records.empty());
        EXPECT_EQ(f.reset(T::A, 0), 0);
        EXPECT_EQ(f.reset(9, 0), kStatusBadParameter) << "an unknown terminal is refused all the same";
        tStatus reset;
        EXPECT_EQ(f.resources->calculateResetTerminal(1, T::A, 0, reset), 0u);
        EXPECT_EQ(f.resources->getTopInfo(), &r.table.info);
        EXPECT_EQ(r.programmer.take(), Calls{});
    }
}

}  // namespace
