#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <vector>

#include "device/routing/routingResourcesFactory.h"
#include "device/statusCodes.h"
#include "kal/sim/faults.h"
#include "kzapal/protons/statusCodes.h"
#include "kzapalcodegen/pciIdentifiers.h"
#include "kzark/statusCodes.h"
#include "routing/recordingProgrammer.h"
#include "routing/resourcesFixture.h"

namespace {

using kzark::kRouteStateCalculated;
using kzark::kRouteStateProgrammed;
using kzark::kRouteStateReserved;
using nKZAPALS100::kStatusBadParameter;
using nKZAPALS100::kStatusMemoryFull;
using nKZAPALS100::tStatus;
using routing_test::actionsOf;
using routing_test::apply;
using routing_test::batch;
using routing_test::begin;
using routing_test::Call;
using routing_test::Calculation;
using routing_test::Conflict;
using routing_test::end;
using routing_test::Possibility;
using routing_test::RecordingProgrammer;
using routing_test::ResourcesFixture;
using routing_test::seedOf;
using Tolvane = routing_test::TolvaneResources;

using Calls = std::vector<Call>;

TEST(RoutingResources, RoutesSharingTheirFirstEdge) {
    Tolvane t;
    ResourcesFixture& f = t.f;
    ASSERT_EQ(t.created.code, 0);
    ASSERT_TRUE(f.resources->isValid());

    const Calculation c = f.calculate(0xA, {seedOf(44, 0, 0)}, {35, 36});
    EXPECT_EQ(c.code, 0);
    EXPECT_FALSE(c.foundNothing);
    EXPECT_EQ(c.records, (std::vector<Possibility>{{1, 35, 258, 0, 0}, {2, 36, 258, 0, 0}}));
    EXPECT_EQ(f.path(1), (std::vector<uint32_t>{44, 15, 35}));
    EXPECT_EQ(f.path(2), (std::vector<uint32_t>{44, 15, 36}));

    EXPECT_EQ(f.reserve(1).code, 0);
    EXPECT_EQ(f.reserve(2).code, 0);
    EXPECT_EQ(f.edge(44, 15).reservationCount, 2u);
    EXPECT_EQ(f.resources->getRouteState(1), kRouteStateReserved);
    EXPECT_EQ(t.programmer.take(), Calls{}) << "reserving writes nothing";

    EXPECT_EQ(f.program(1), 0);
    EXPECT_EQ(t.programmer.take(), (Calls{begin(), apply(1, 0), apply(0, 3), apply(2, 0x806D82A8), apply(3, 3),
                                          apply(0, 2), apply(2, 0x809DAEAB), apply(3, 2), end()}));
    EXPECT_EQ(f.program(2), 0);
    EXPECT_EQ(t.programmer.take(), batch({actionsOf(15, 36)})) << "the shared edge is written once";
    EXPECT_EQ(f.edge(44, 15).programmedCount, 2u);
    EXPECT_EQ(f.resources->getRouteState(2), kRouteStateProgrammed);

    f.resources->unprogramRoute(1);
    EXPECT_EQ(actionsOf(1, 35).back(), apply(3, 0xFFFF));
    EXPECT_EQ(t.programmer.take(), batch({actionsOf(1, 35)}));
    f.resources->unprogramRoute(2);
    EXPECT_EQ(t.programmer.take(), batch({actionsOf(1, 36), actionsOf(1, 15)}));
    EXPECT_EQ(f.edge(44, 15).programmedCount, 0u);

    f.resources->unreserveRoute(1);
    EXPECT_EQ(f.edge(44, 15).reservationCount, 1u);
    EXPECT_EQ(f.edge(2, 15).available, 0) << "15 is still driven by route 2";
    f.resources->unreserveRoute(2);
    EXPECT_EQ(f.edge(44, 15).reservationCount, 0u);
    EXPECT_EQ(f.edge(2, 15).available, 1);
    EXPECT_EQ(f.edge(15, 36).available, 1);
    EXPECT_EQ(f.resources->getRouteState(1), kRouteStateCalculated);
}

TEST(RoutingResources, ConflictsNameTheRoutesThatHoldTheEdges) {
    struct RouteSpec {
        uint64_t owner;
        uint32_t from;
        uint32_t to;
    };
    // Routes are calculated in order, then `reserved` are reserved; reserving `wanted` conflicts
    // with the `holders`.
    const struct {
        const char* name;
        std::vector<RouteSpec> routes;
        std::vector<size_t> reserved;
        size_t wanted;
        std::vector<size_t> holders;
    } cases[] = {
        {"a terminal driven through another input", {{0xA, 2, 15}, {0xB, 3, 15}}, {0}, 1, {0}},
        {"a bidirectional source that is being driven", {{0xA, 35, 132}, {0xB, 2, 35}}, {1}, 0, {1}},
        {"a bidirectional end that drives another multiplexer", {{0xA, 2, 35}, {0xB, 35, 132}}, {1}, 0, {1}},
        // 44, 15, 35 enters two terminals that others drive.
        {"two holders, each once, in database order", {{0xC, 44, 35}, {0xA, 2, 35}, {0xB, 2, 15}}, {2, 1}, 0, {1, 2}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Tolvane t;
        ResourcesFixture& f = t.f;
        std::vector<uint32_t> ids;
        for (const RouteSpec& r : c.routes) ids.push_back(f.route(r.owner, r.from, r.to));
        for (size_t index : c.reserved) ASSERT_EQ(f.reserve(ids[index]).code, 0);
        const routing_test::Reservation r = f.reserve(ids[c.wanted]);
        EXPECT_EQ(r.code, kzark::kStatusRouteConflict);
        std::vector<Conflict> expected;
        for (size_t index : c.holders) expected.push_back({c.routes[index].owner, ids[index]});
        EXPECT_EQ(r.conflicts, expected);
        EXPECT_EQ(f.resources->getRouteState(ids[c.wanted]), kRouteStateCalculated);
        const std::vector<uint32_t> path = f.path(ids[c.wanted]);
        for (size_t i = 1; i < path.size(); ++i)
            EXPECT_EQ(f.edge(path[i - 1], path[i]).reservationCount, 0u) << "nothing of a refused route is reserved";
    }
}

TEST(RoutingResources, ResetTerminal) {
    Tolvane t;
    ResourcesFixture& f = t.f;
    EXPECT_EQ(f.reset(2, kzark::kResetToFirstInput), kzark::kStatusNoTerminalInput);
    EXPECT_EQ(f.reset(2, kzark::kResetToDefaultInput), kzark::kStatusNoTerminalInput);
    EXPECT_EQ(t.programmer.take(), Calls{});
    // The first and the default-flagged input are one edge: the disconnect.
    for (uint32_t mode : {kzark::kResetToFirstInput, kzark::kResetToDefaultInput}) {
        EXPECT_EQ(f.reset(15, mode), 0);
        EXPECT_EQ(t.programmer.take(), batch({actionsOf(1, 15)}));
    }
    EXPECT_EQ(f.reset(15, 2), kStatusBadParameter);
    EXPECT_EQ(f.reset(0, 0), kStatusBadParameter);
    EXPECT_EQ(f.reset(204, 0), kStatusBadParameter);

    const uint32_t driving = f.route(0xA, 2, 15);
    EXPECT_EQ(f.reserve(driving).code, 0);
    EXPECT_EQ(f.reset(15, kzark::kResetToFirstInput), kzark::kStatusTerminalInputReserved);
    EXPECT_EQ(t.programmer.take(), Calls{});
    EXPECT_EQ(f.edge(2, 15).reservationCount, 1u) << "a reset leaves the bookkeeping alone";

    // Each action reports on its own status, merged into the caller's.
    t.programmer.failAction(1, -7);
    EXPECT_EQ(f.reset(16, kzark::kResetToFirstInput), -7);
    EXPECT_EQ(t.programmer.take(), batch({actionsOf(1, 16)}));
}

// Every terminal with an input, each on a status of its own, even after an error.
TEST(RoutingResources, ResetAllTerminalsToDefault) {
    Tolvane t;
    ResourcesFixture& f = t.f;
    ASSERT_EQ(f.reserve(f.route(0xA, 2, 15)).code, 0);
    t.programmer.take();
    tStatus status;
    KZ_SET_CODE(status, -1);
    f.resources->resetAllTerminalsToDefault(status);
    EXPECT_EQ(status.code, -1);
    Calls expected;
    for (uint32_t id = 1; id <= TolvaneTopography::kTerminalCount; ++id) {
        if (id == 15 || TolvaneTopography::kTopInfo.terminals[id - 1].incomingCount == 0) continue;
        const Calls one = batch({actionsOf(1, id)});
        expected.insert(expected.end(), one.begin(), one.end());
    }
    EXPECT_EQ(std::count(expected.begin(), expected.end(), begin()), 81) << "the multiplexers besides 15";
    EXPECT_EQ(t.programmer.take(), expected);

    tStatus fresh;
    f.resources->resetAllTerminalsToDefault(fresh);
    EXPECT_EQ(fresh.code, kzark::kStatusTerminalInputReserved);
}

TEST(RoutingResources, ResetRoute) {
    Tolvane t;
    ResourcesFixture& f = t.f;
    tStatus status;
    const uint32_t id = f.resources->calculateResetTerminal(0xE, 15, kzark::kResetToFirstInput, status);
    ASSERT_EQ(status.code, 0);
    ASSERT_NE(id, 0u);
    const kzark::RouteInDB* route = f.resources->routeDatabase().find(id);
    ASSERT_NE(route, nullptr);
    EXPECT_EQ(route->segments.size(), 1u);
    EXPECT_EQ(route->cost, 1u);
    EXPECT_EQ(route->ownerTag, 0xEu);
    EXPECT_EQ(route->state, kRouteStateCalculated);
    EXPECT_EQ(f.path(id), (std::vector<uint32_t>{15, 15}));

    EXPECT_EQ(f.reserve(id).code, 0);
    EXPECT_EQ(f.program(id), 0);
    EXPECT_EQ(t.programmer.take(), batch({actionsOf(1, 15)}));
    f.resources->destroyRoute(id);
    EXPECT_EQ(t.programmer.take(), batch({actionsOf(1, 15)}));
    EXPECT_EQ(f.resources->getRouteState(id), 0u);

    const struct {
        uint32_t terminal;
        uint32_t mode;
        int64_t code;
    } refusals[] = {{2, 0, kzark::kStatusNoTerminalInput}, {15, 2, kStatusBadParameter}, {204, 0, kStatusBadParameter}};
    for (const auto& r : refusals) {
        tStatus refused;
        EXPECT_EQ(f.resources->calculateResetTerminal(0xE, r.terminal, r.mode, refused), 0u);
        EXPECT_EQ(refused.code, r.code);
    }
    EXPECT_EQ(f.resources->routeDatabase().size(), 0u);
}

enum class Op { kReserve, kProgram, kUnprogram, kUnreserve, kDestroy };

TEST(RoutingResources, StateTransitions) {
    const struct {
        uint32_t from;
        Op op;
        int64_t code;
        uint32_t to;
    } transitions[] = {
        {kRouteStateCalculated, Op::kReserve, 0, kRouteStateReserved},
        {kRouteStateCalculated, Op::kProgram, kStatusBadParameter, kRouteStateCalculated},
        {kRouteStateCalculated, Op::kUnprogram, 0, kRouteStateCalculated},
        {kRouteStateCalculated, Op::kUnreserve, 0, kRouteStateCalculated},
        {kRouteStateCalculated, Op::kDestroy, 0, 0},
        {kRouteStateReserved, Op::kReserve, kStatusBadParameter, kRouteStateReserved},
        {kRouteStateReserved, Op::kProgram, 0, kRouteStateProgrammed},
        {kRouteStateReserved, Op::kUnprogram, 0, kRouteStateReserved},
        {kRouteStateReserved, Op::kUnreserve, 0, kRouteStateCalculated},
        {kRouteStateReserved, Op::kDestroy, 0, 0},
        {kRouteStateProgrammed, Op::kReserve, kStatusBadParameter, kRouteStateProgrammed},
        {kRouteStateProgrammed, Op::kProgram, kStatusBadParameter, kRouteStateProgrammed},
        {kRouteStateProgrammed, Op::kUnprogram, 0, kRouteStateReserved},
        {kRouteStateProgrammed, Op::kUnreserve, 0, kRouteStateCalculated},
        {kRouteStateProgrammed, Op::kDestroy, 0, 0},
    };
    auto run = [](ResourcesFixture& f, Op op, uint32_t id) -> int64_t {
        switch (op) {
            case Op::kReserve:
                return f.reserve(id).code;
            case Op::kProgram:
                return f.program(id);
            case Op::kUnprogram:
                f.resources->unprogramRoute(id);
                return 0;
            case Op::kUnreserve:
                f.resources->unreserveRoute(id);
                return 0;
            case Op::kDestroy:
                f.resources->destroyRoute(id);
                return 0;
        }
        return 0;
    };
    for (const auto& tr : transitions) {
        SCOPED_TRACE(testing::Message() << tr.from << " op " << static_cast<int>(tr.op));
        Tolvane t;
        ResourcesFixture& f = t.f;
        const uint32_t id = f.route(0xA, 2, 15);
        if (tr.from >= kRouteStateReserved) {
            ASSERT_EQ(f.reserve(id).code, 0);
        }
        if (tr.from >= kRouteStateProgrammed) {
            ASSERT_EQ(f.program(id), 0);
        }
        EXPECT_EQ(run(f, tr.op, id), tr.code);
        EXPECT_EQ(f.resources->getRouteState(id), tr.to);
        EXPECT_EQ(f.edge(2, 15).reservationCount, tr.to >= kRouteStateReserved ? 1u : 0u);
        EXPECT_EQ(f.edge(2, 15).programmedCount, tr.to >= kRouteStateProgrammed ? 1u : 0u);

        // Unknown ids: refused where a status is taken, ignored elsewhere.
        t.programmer.take();
        EXPECT_EQ(run(f, Op::kReserve, 999), kStatusBadParameter);
        EXPECT_EQ(run(f, Op::kProgram, 999), kStatusBadParameter);
        for (Op op : {Op::kUnprogram, Op::kUnreserve, Op::kDestroy}) run(f, op, 999);
        EXPECT_EQ(f.resources->getRouteState(999), 0u);
        int64_t pathCode = 0;
        EXPECT_TRUE(f.path(999, &pathCode).empty());
        EXPECT_EQ(pathCode, kStatusBadParameter);
        EXPECT_EQ(f.resources->getRouteState(id), tr.to);
        EXPECT_EQ(t.programmer.take(), Calls{});
    }
}

TEST(RoutingResources, FailedProgrammingGivesItsCountsBack) {
    {
        SCOPED_TRACE("the second edge fails");
        Tolvane t;
        ResourcesFixture& f = t.f;
        f.calculate(0xA, {seedOf(44, 0, 0)}, {35});
        ASSERT_EQ(f.reserve(1).code, 0);
        t.programmer.failAction(7, -7);  // 44 to 15 has four actions, the value of 15 to 35 is the seventh
        EXPECT_EQ(f.program(1), -7);
        EXPECT_EQ(f.resources->getRouteState(1), kRouteStateReserved);
        EXPECT_EQ(f.edge(44, 15).programmedCount, 0u);
        EXPECT_EQ(f.edge(15, 35).programmedCount, 0u);
        Calls expected = batch({actionsOf(44, 15), actionsOf(15, 35)});
        expected.back() = end(true);
        const Calls defaults = batch({actionsOf(1, 35), actionsOf(1, 15)});
        expected.insert(expected.end(), defaults.begin(), defaults.end());
        EXPECT_EQ(t.programmer.take(), expected);

        EXPECT_EQ(f.program(1), 0);
        EXPECT_EQ(t.programmer.take(), batch({actionsOf(44, 15), actionsOf(15, 35)}));
        EXPECT_EQ(f.resources->getRouteState(1), kRouteStateProgrammed);
    }
    {
        SCOPED_TRACE("an edge another programmed route shares keeps that route's count");
        Tolvane t;
        ResourcesFixture& f = t.f;
        f.calculate(0xA, {seedOf(44, 0, 0)}, {35, 36});
        ASSERT_EQ(f.reserve(1).code, 0);
        ASSERT_EQ(f.reserve(2).code, 0);
        ASSERT_EQ(f.program(2), 0);
        t.programmer.take();
        t.programmer.failAction(1, -7);
        EXPECT_EQ(f.program(1), -7);
        EXPECT_EQ(t.programmer.take(), (Calls{begin(), apply(0, 2), apply(2, 0x809DAEAB, true), apply(3, 2, true),
                                              end(true), begin(), apply(0, 2), apply(2, 0x809DAEAB),
                                              apply(3, 0xFFFF), end()}));
        EXPECT_EQ(f.edge(44, 15).programmedCount, 1u);
        EXPECT_EQ(f.edge(15, 35).programmedCount, 0u);
    }
}

TEST(RoutingResources, DestructionGivesProgrammedTerminalsTheirDefaults) {
    Tolvane t;
    ResourcesFixture& f = t.f;
    f.calculate(0xA, {seedOf(44, 0, 0)}, {35, 36});
    const uint32_t reservedOnly = f.route(0xB, 2, 9);
    for (uint32_t id : {1u, 2u, reservedOnly}) ASSERT_EQ(f.reserve(id).code, 0);
    ASSERT_EQ(f.program(1), 0);
    ASSERT_EQ(f.program(2), 0);
    t.programmer.take();
    delete f.resources;
    f.resources = nullptr;
    // Last route first: route 2 leaves 15 to route 1.
    Calls expected = batch({actionsOf(1, 36)});
    const Calls first = batch({actionsOf(1, 35), actionsOf(1, 15)});
    expected.insert(expected.end(), first.begin(), first.end());
    EXPECT_EQ(t.programmer.take(), expected);
}

TEST(RoutingResources, Creation) {
    RecordingProgrammer programmer;
    tStatus other;
    EXPECT_EQ(kzvorn_driver::RoutingResourcesFactory::createRoutingResources(0x1234, &programmer, other), nullptr);
    EXPECT_EQ(other.code, kzvorn_driver::kStatusWrongProduct);

    tStatus failed;
    KZ_SET_CODE(failed, -1);
    EXPECT_EQ(kzvorn_driver::RoutingResourcesFactory::createRoutingResources(kzvorn_driver::kPCISubsystemID,
                                                                             &programmer, failed),
              nullptr);

    const int64_t live = kal::sim::liveAllocations();
    {
        kal::sim::FailKernelCall noMutex("createMutex");
        tStatus status;
        ResourcesFixture f(kzvorn_driver::RoutingResourcesFactory::createRoutingResources(
            kzvorn_driver::kPCISubsystemID, &programmer, status));
        EXPECT_EQ(status.code, kStatusMemoryFull);
        ASSERT_NE(f.resources, nullptr);
        EXPECT_FALSE(f.resources->isValid());
        EXPECT_EQ(f.calculate(1, {seedOf(2, 0, 0)}, {15}).records.size(), 0u);
        EXPECT_EQ(f.reset(15, 0), 0) << "nothing done";
        EXPECT_EQ(f.reset(0, 0), kStatusBadParameter);
        EXPECT_EQ(f.reset(204, 0), kStatusBadParameter);
        EXPECT_EQ(programmer.take(), Calls{});
    }
    EXPECT_EQ(kal::sim::liveAllocations(), live);
}

// Each operation that allocates, with one allocation failed at a time: a clear status, nothing
// left behind, the database as it was.
TEST(RoutingResources, AllocationFailures) {
    struct Step {
        const char* name;
        void (*prepare)(ResourcesFixture& f);
        // Runs the operation with the nth allocation failed; the code, and whether a failure hit.
        int64_t (*run)(ResourcesFixture& f, uint64_t nth, bool& triggered);
        std::vector<int64_t> codes;  // each one is met
    };
    static const kzark::RouteCalculationSeedBase seeds[] = {seedOf(44, 0, 0), seedOf(3, 0, 1)};
    static const uint32_t destinations[] = {35, 36, 9};
    const Step steps[] = {
        {"calculation",
         [](ResourcesFixture&) {},
         [](ResourcesFixture& f, uint64_t nth, bool& triggered) {
             tStatus status;
             kzark::RoutePossibilityBase* records = nullptr;
             uint32_t count = 0;
             {
                 kal::sim::FailAllocations fail(nth);
                 f.resources->calculateRoute(1, seeds, 2, destinations, 3, 0, records, count, status);
                 triggered = fail.triggered();
             }
             EXPECT_EQ(count, status.isFatal() ? 0u : 6u);
             f.resources->getAllocHelper().resize(records, 0);
             return status.code;
         },
         {kStatusMemoryFull}},
        {"reservation with conflicts",
         [](ResourcesFixture& f) {
             f.route(0xC, 44, 35);
             EXPECT_EQ(f.reserve(f.route(0xA, 2, 35)).code, 0);
             EXPECT_EQ(f.reserve(f.route(0xB, 2, 15)).code, 0);
         },
         [](ResourcesFixture& f, uint64_t nth, bool& triggered) {
             tStatus status;
             kzark::RouteConflict* conflicts = nullptr;
             uint32_t count = 0;
             {
                 kal::sim::FailAllocations fail(nth);
                 f.resources->reserveRoute(1, conflicts, count, status);
                 triggered = fail.triggered();
             }
             EXPECT_LE(count, 2u);
             f.resources->getAllocHelper().resize(conflicts, 0);
             return status.code;
         },
         {kStatusMemoryFull, kzark::kStatusRouteConflict}},
        {"reset route",
         [](ResourcesFixture&) {},
         [](ResourcesFixture& f, uint64_t nth, bool& triggered) {
             tStatus status;
             uint32_t id = 0;
             {
                 kal::sim::FailAllocations fail(nth);
                 id = f.resources->calculateResetTerminal(1, 15, 0, status);
                 triggered = fail.triggered();
             }
             EXPECT_EQ(id == 0, status.isFatal());
             return status.code;
         },
         {kStatusMemoryFull}},
        {"terminal path",
         [](ResourcesFixture& f) { f.route(0xA, 44, 35); },
         [](ResourcesFixture& f, uint64_t nth, bool& triggered) {
             tStatus status;
             uint32_t* path = nullptr;
             uint32_t count = 0;
             {
                 kal::sim::FailAllocations fail(nth);
                 f.resources->getRouteTerminalPath(1, path, count, status);
                 triggered = fail.triggered();
             }
             f.resources->getAllocHelper().resize(path, 0);
             return status.code;
         },
         {kStatusMemoryFull}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        bool succeeded = false;
        std::vector<int64_t> seen;
        seen.reserve(100);
        for (uint64_t nth = 1; !succeeded && nth < 100; ++nth) {
            SCOPED_TRACE(nth);
            const int64_t live = kal::sim::liveAllocations();
            {
                Tolvane t;
                step.prepare(t.f);
                const size_t routes = t.f.resources->routeDatabase().size();
                bool triggered = false;
                const int64_t code = step.run(t.f, nth, triggered);
                succeeded = !triggered;
                if (triggered) {
                    seen.push_back(code);
                    EXPECT_NE(std::find(step.codes.begin(), step.codes.end(), code), step.codes.end()) << code;
                    EXPECT_EQ(t.f.resources->routeDatabase().size(), routes);
                }
            }
            EXPECT_EQ(kal::sim::liveAllocations(), live);
        }
        EXPECT_TRUE(succeeded);
        for (int64_t code : step.codes) EXPECT_NE(std::find(seen.begin(), seen.end(), code), seen.end()) << code;
    }

    // Creation: the object or its lock.
    bool created = false;
    for (uint64_t nth = 1; !created && nth < 10; ++nth) {
        const int64_t live = kal::sim::liveAllocations();
        RecordingProgrammer programmer;
        tStatus status;
        kzark::RoutingResources* resources = nullptr;
        {
            kal::sim::FailAllocations fail(nth);
            resources = kzvorn_driver::RoutingResourcesFactory::createRoutingResources(kzvorn_driver::kPCISubsystemID,
                                                                                       &programmer, status);
            created = !fail.triggered();
        }
        EXPECT_EQ(status.code, created ? 0 : kStatusMemoryFull);
        delete resources;
        EXPECT_EQ(kal::sim::liveAllocations(), live);
    }
    EXPECT_TRUE(created);
}

// Sessions on several threads share one object; its lock keeps the bookkeeping whole.
TEST(RoutingResources, SessionsOnSeveralThreads) {
    Tolvane t;
    ResourcesFixture& f = t.f;
    auto session = [&f](uint64_t owner, uint32_t from, uint32_t to) {
        for (int i = 0; i < 100; ++i) {
            tStatus status;
            const kzark::RouteCalculationSeedBase seed = seedOf(from, 0, 0);
            kzark::RoutePossibilityBase* records = nullptr;
            uint32_t count = 0;
            f.resources->calculateRoute(owner, &seed, 1, &to, 1, 0, records, count, status);
            const uint32_t id = count == 1 ? records[0].routeId : 0;
            f.resources->getAllocHelper().resize(records, 0);
            kzark::RouteConflict* conflicts = nullptr;
            uint32_t conflictCount = 0;
            f.resources->reserveRoute(id, conflicts, conflictCount, status);
            f.resources->getAllocHelper().resize(conflicts, 0);
            f.resources->programRoute(id, status);
            f.resources->destroyRoute(id);
        }
    };
    std::vector<std::thread> threads;
    threads.emplace_back(session, 1, 2, 15);
    threads.emplace_back(session, 2, 3, 15);
    threads.emplace_back(session, 3, 44, 35);
    threads.emplace_back(session, 4, 2, 35);
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(f.resources->routeDatabase().size(), 0u);
    for (uint32_t i = 0; i < TolvaneTopography::kEdgeCount; ++i) {
        const kzark::EdgeState& edge = f.resources->edgeState(i);
        ASSERT_EQ(edge.reservationCount, 0u) << i;
        ASSERT_EQ(edge.programmedCount, 0u) << i;
        ASSERT_EQ(edge.available, 1) << i;
    }
}

}  // namespace
