// Routing sessions and their manager over the product's resources with a recording programmer:
// ownership, the hand-over and withdrawal of the resources, demotion notices, the copies to the
// caller's buffers, and the failure paths.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "kal/sim/faults.h"
#include "kal/sim/user.h"
#include "kzapal/protons/deviceCore.h"
#include "kzapal/protons/memory.h"
#include "kzark/routingSession.h"
#include "kzark/statusCodes.h"
#include "kzhtl/failures.h"
#include "routing/resourcesFixture.h"

namespace {

using kzark::RoutingSession;
using nKZAPALS100::tStatus;
using routing_test::Possibility;
using routing_test::seedOf;

constexpr int64_t kNoResources = -52020;
constexpr int64_t kBadParameter = -52005;
constexpr int64_t kTooSmall = -52019;
constexpr int64_t kMemoryFull = -52000;

// Caller memory for one call, registered as user memory, with guard bytes the driver must leave.
struct Area {
    static constexpr uint8_t kGuard = 0xA5;
    explicit Area(size_t size) : bytes(size, kGuard), memory(bytes.data(), bytes.size()) {}
    uint64_t address() { return reinterpret_cast<uint64_t>(bytes.data()); }
    bool untouched() const {
        for (uint8_t b : bytes)
            if (b != kGuard) return false;
        return true;
    }
    template <class T>
    T at(size_t index) const {
        T value;
        std::memcpy(&value, bytes.data() + index * sizeof(T), sizeof(T));
        return value;
    }
    std::vector<uint8_t> bytes;
    kal::sim::UserMemory memory;
};

// A buffer wrapper over an area (or over a wild address, for a refused copy).
struct Buffer {
    Buffer(uint64_t address, uint64_t size)
        : user(kzvorn_driver::nKZAPAL000::tEventDescriptor{nullptr}, address, size, unused), wrapper(user) {}
    tStatus unused;
    kzvorn_driver::nKZAPAL000::tUserBuffer user;
    kzark::APALUserBufferWrapper wrapper;
};

struct Calc {
    bool result = false;
    uint32_t count = 0;
    int64_t code = 0;
    std::vector<Possibility> records;
};

class Sessions : public ::testing::Test {
protected:
    Sessions() : manager(managerStatus) { manager.setRoutingResources(t.f.resources); }

    std::unique_ptr<RoutingSession> open() {
        tStatus status;
        auto session = std::make_unique<RoutingSession>(&manager, status);
        EXPECT_EQ(status.code, 0);
        return session;
    }

    static Calc calculate(RoutingSession& s, uint64_t owner, std::vector<kzark::RouteCalculationSeedBase> seeds,
                          std::vector<uint32_t> destinations, uint32_t capacity) {
        Area routes(size_t(std::min<uint32_t>(capacity, 64)) * sizeof(kzark::RoutePossibilityBase));
        Buffer buffer(routes.address(), uint64_t(capacity) * sizeof(kzark::RoutePossibilityBase));
        Calc c;
        c.count = capacity;
        tStatus status;
        c.result = s.calculateRoute(owner, seeds.data(), uint32_t(seeds.size()), destinations.data(),
                                    uint32_t(destinations.size()), 0, buffer.wrapper, c.count, status);
        c.code = status.code;
        for (uint32_t i = 0; status.isNotFatal() && i < c.count; ++i) {
            const auto r = routes.at<kzark::RoutePossibilityBase>(i);
            c.records.push_back({r.routeId, r.endTerminalId, r.cost, r.seedIndex, r.inverted});
        }
        return c;
    }

    static uint32_t route(RoutingSession& s, uint32_t from, uint32_t to, uint64_t owner = 7) {
        const Calc c = calculate(s, owner, {seedOf(from, 0, 0)}, {to}, 4);
        EXPECT_EQ(c.code, 0);
        return c.records.size() == 1 ? c.records[0].id : 0;
    }

    struct Reserved {
        int64_t code;
        uint32_t count;
        std::vector<routing_test::Conflict> conflicts;
        bool restUntouched;
    };
    static Reserved reserve(RoutingSession& s, uint32_t id, uint32_t capacity) {
        Area area(64 * sizeof(kzark::RouteConflict));
        Buffer buffer(area.address(), uint64_t(capacity) * sizeof(kzark::RouteConflict));
        Reserved r{0, capacity, {}, true};
        tStatus status;
        s.reserveRoute(id, buffer.wrapper, r.count, status);
        r.code = status.code;
        for (uint32_t i = 0; i < r.count; ++i) {
            const auto c = area.at<kzark::RouteConflict>(i);
            r.conflicts.push_back({c.ownerTag, c.routeId});
        }
        for (size_t b = r.count * sizeof(kzark::RouteConflict); b < area.bytes.size(); ++b)
            r.restUntouched &= area.bytes[b] == Area::kGuard;
        return r;
    }

    static int64_t program(RoutingSession& s, uint32_t id) {
        tStatus status;
        s.programRoute(id, status);
        return status.code;
    }

    uint32_t state(uint32_t id) { return t.f.resources->getRouteState(id); }
    size_t routesInDatabase() { return t.f.resources->routeDatabase().size(); }

    routing_test::TolvaneResources t;
    tStatus managerStatus;
    kzark::RoutingResourcesManager manager;
};

TEST_F(Sessions, OwnRoutesOnlyForReserveAndProgram) {
    auto a = open();
    auto b = open();
    const uint32_t id = route(*a, 44, 35);
    ASSERT_NE(id, 0u);
    EXPECT_EQ(reserve(*b, id, 4).code, kBadParameter);
    EXPECT_EQ(program(*b, id), kBadParameter);
    ASSERT_EQ(reserve(*a, id, 4).code, 0);
    ASSERT_EQ(program(*a, id), 0);
    // Foreign ids are ignored by the operations that report nothing.
    b->unprogramRoute(id);
    b->unreserveRoute(id);
    b->destroyRoute(id);
    EXPECT_EQ(state(id), kzark::kRouteStateProgrammed);
    // Any route's path and any terminal.
    Area path(16);
    Buffer buffer(path.address(), 16);
    uint32_t capacity = 4;
    tStatus status;
    b->getRouteTerminalPath(id, buffer.wrapper, capacity, status);
    EXPECT_EQ(status.code, 0);
    EXPECT_EQ(capacity, 3u);
    b->resetTerminal(16, kzark::kResetToFirstInput, status);
    EXPECT_EQ(status.code, 0);
}

// Destroying removes the id from the session's list; unreserving and unprogramming keep it.
TEST_F(Sessions, DestroyRemovesTheIdUnreserveAndUnprogramDoNot) {
    auto a = open();
    const uint32_t first = route(*a, 44, 35), second = route(*a, 44, 36);
    ASSERT_EQ(reserve(*a, first, 1).code, 0);
    ASSERT_EQ(program(*a, first), 0);
    a->unprogramRoute(first);
    EXPECT_EQ(state(first), kzark::kRouteStateReserved);
    a->unreserveRoute(first);
    EXPECT_EQ(state(first), kzark::kRouteStateCalculated);
    EXPECT_EQ(std::vector<uint32_t>(a->routeIds().begin(), a->routeIds().end()), (std::vector<uint32_t>{first, second}));
    a->destroyRoute(first);
    EXPECT_EQ(std::vector<uint32_t>(a->routeIds().begin(), a->routeIds().end()), std::vector<uint32_t>{second});
    EXPECT_EQ(state(first), 0u);
    EXPECT_EQ(reserve(*a, first, 1).code, kBadParameter);
}

// The manager's clear destroys every listed session's routes and demotes it for good; sessions
// registered afterwards get the resources again. Unregistering drops a session's routes.
TEST_F(Sessions, WithdrawnResourcesDemoteTheSessions) {
    auto a = open();
    auto b = open();
    const uint32_t id = route(*a, 44, 35);
    route(*b, 2, 15);
    ASSERT_EQ(reserve(*a, id, 1).code, 0);
    ASSERT_EQ(program(*a, id), 0);
    manager.clearRoutingResources();
    EXPECT_EQ(routesInDatabase(), 0u);
    EXPECT_FALSE(manager.isRegistered(a.get()));
    EXPECT_FALSE(manager.isRegistered(b.get()));
    EXPECT_TRUE(a->routeIds().size() == 0 && b->routeIds().size() == 0);
    manager.setRoutingResources(t.f.resources);
    for (RoutingSession* s : {a.get(), b.get()}) {
        EXPECT_EQ(calculate(*s, 7, {seedOf(44, 0, 0)}, {35}, 4).code, kNoResources);
        EXPECT_EQ(program(*s, id), kNoResources);
        EXPECT_EQ(s->queryVersion(), 1u);
    }
    auto c = open();
    EXPECT_TRUE(manager.isRegistered(c.get()));
    const uint32_t fresh = route(*c, 44, 35);
    EXPECT_NE(fresh, 0u);
    c.reset();
    EXPECT_EQ(state(fresh), 0u) << "a session that goes destroys its routes";
    EXPECT_EQ(routesInDatabase(), 0u);
}

// The caller's capacity: too small gives -52019 with the count needed and leaves no route; the id
// list grows by the routes found, whatever capacity the caller claims.
TEST_F(Sessions, CalculationCapacity) {
    auto a = open();
    const struct {
        uint32_t capacity;
        int64_t code;
        uint32_t count;
        size_t ids;
    } cases[] = {{0, kTooSmall, 2, 0}, {1, kTooSmall, 2, 0}, {2, 0, 2, 2}, {0xFFFFFFFF, 0, 2, 4}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.capacity);
        const Calc r = calculate(*a, 7, {seedOf(44, 0, 0)}, {35, 36}, c.capacity);
        EXPECT_EQ(r.code, c.code);
        EXPECT_EQ(r.count, c.count);
        EXPECT_FALSE(r.result);
        EXPECT_EQ(a->routeIds().size(), c.ids);
        EXPECT_EQ(routesInDatabase(), c.ids);
        EXPECT_LE(a->routeIds().capacity(), 4u);
    }
}

// min(conflicts, capacity) records, even on a conflict; nothing beyond them is written.
TEST_F(Sessions, ReservationConflictRecords) {
    auto a = open();
    auto b = open();
    // B's route is calculated first: a search avoids terminals that reserved routes drive.
    const uint32_t wanted = route(*b, 3, 15, 0xB);
    std::vector<uint32_t> held;
    for (int i = 0; i < 3; ++i) {
        held.push_back(route(*a, 2, 15, 0xA));
        ASSERT_EQ(reserve(*a, held.back(), 0).code, 0);
    }
    const struct {
        uint32_t capacity;
        size_t records;
    } cases[] = {{0, 0}, {1, 1}, {3, 3}, {8, 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.capacity);
        const Reserved r = reserve(*b, wanted, c.capacity);
        EXPECT_EQ(r.code, kzark::kStatusRouteConflict);
        EXPECT_EQ(r.count, c.records);
        for (size_t i = 0; i < r.conflicts.size(); ++i)
            EXPECT_EQ(r.conflicts[i], (routing_test::Conflict{0xA, held[i]}));
        EXPECT_TRUE(r.restUntouched);
    }
}

TEST_F(Sessions, PathAndNameBuffers) {
    auto a = open();
    const uint32_t id = route(*a, 44, 35);
    for (const uint32_t capacity : {2u, 3u, 4u}) {
        Area area(16);
        Buffer buffer(area.address(), uint64_t(capacity) * 4);
        uint32_t count = capacity;
        tStatus status;
        a->getRouteTerminalPath(id, buffer.wrapper, count, status);
        EXPECT_EQ(count, 3u);
        EXPECT_EQ(status.code, capacity < 3 ? kTooSmall : 0);
        if (capacity < 3) {
            EXPECT_TRUE(area.untouched());
        } else {
            EXPECT_EQ((std::vector<uint32_t>{area.at<uint32_t>(0), area.at<uint32_t>(1), area.at<uint32_t>(2)}),
                      (std::vector<uint32_t>{44, 15, 35}));
            EXPECT_EQ(area.bytes[12], Area::kGuard);
        }
    }
    for (const uint32_t size : {17u, 18u}) {
        Area area(20);
        Buffer buffer(area.address(), size);
        tStatus status;
        a->getTopographyName(buffer.wrapper, status);
        EXPECT_EQ(status.code, size == 17 ? kTooSmall : 0);
        if (size == 17) EXPECT_TRUE(area.untouched());
        else EXPECT_EQ(std::string(reinterpret_cast<const char*>(area.bytes.data())), "TolvaneTopography");
    }
}

// The buffer form reads exactly count records whole; a buffer that holds fewer, or a count past
// the bound, is refused before anything is read or allocated; beyond 16 records it allocates.
TEST_F(Sessions, BufferFormReadsWholeRecords) {
    auto a = open();
    std::vector<kzark::RouteCalculationSeedBase> seeds(20, seedOf(44, 0, 0));
    std::vector<uint32_t> destinations(20, 35);
    kal::sim::UserMemory seedMemory(seeds.data(), seeds.size() * 12), destinationMemory(destinations.data(), 80);
    const struct {
        uint32_t seedCount;
        uint64_t seedBytes;
        uint32_t destinationCount;
        uint64_t destinationBytes;
        int64_t code;
    } cases[] = {
        {1, 12, 1, 4, 0},
        {1, 11, 1, 4, kBadParameter},
        {1, 12, 2, 4, kBadParameter},
        {17, 17 * 12, 1, 4, 0},
        {1, 12, 17, 68, 0},
        {0xFFFFFFFF, 240, 1, 4, kBadParameter},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.seedCount);
        Buffer seedBuffer(reinterpret_cast<uint64_t>(seeds.data()), c.seedBytes);
        Buffer destinationBuffer(reinterpret_cast<uint64_t>(destinations.data()), c.destinationBytes);
        Area routes(64 * 20);
        Buffer routeBuffer(routes.address(), 64 * 20);
        uint32_t capacity = 64;
        tStatus status;
        const int64_t live = kal::sim::liveAllocations();
        a->calculateRoute(7, seedBuffer.wrapper, c.seedCount, destinationBuffer.wrapper, c.destinationCount, 0,
                          routeBuffer.wrapper, capacity, status);
        EXPECT_EQ(status.code, c.code);
        if (c.code != 0) {
            EXPECT_EQ(kal::sim::liveAllocations(), live);
        }
        for (uint32_t id : std::vector<uint32_t>(a->routeIds().begin(), a->routeIds().end())) a->destroyRoute(id);
    }
}

// A buffer outside user memory: nothing calculated (copied first), or the new routes destroyed
// when the results cannot be written.
TEST_F(Sessions, ResultsThatCannotBeWrittenDestroyTheRoutes) {
    auto a = open();
    Buffer wild(0x1000, 20 * 4);
    uint32_t capacity = 4;
    tStatus status;
    const kzark::RouteCalculationSeedBase seed = seedOf(44, 0, 0);
    const uint32_t destination = 35;
    a->calculateRoute(7, &seed, 1, &destination, 1, 0, wild.wrapper, capacity, status);
    EXPECT_EQ(status.code, kBadParameter) << "the kernel layer's -51009, translated";
    EXPECT_EQ(routesInDatabase(), 0u);
    EXPECT_EQ(a->routeIds().size(), 0u);
}

// Every allocation of the operations failed in turn: a clear status, no leak, and no route left
// behind that the session does not list.
TEST_F(Sessions, AllocationFailures) {
    auto a = open();
    const uint32_t held = route(*a, 44, 35);
    // The test's own memory comes from the same allocator: every buffer is made beforehand.
    Area routes(80), conflicts(64), path(16);
    Buffer routeBuffer(routes.address(), 80), conflictBuffer(conflicts.address(), 64), pathBuffer(path.address(), 16);
    const kzark::RouteCalculationSeedBase seed = seedOf(44, 0, 0);
    const uint32_t destinations[] = {35, 36};
    using Operation = std::function<void(RoutingSession&, tStatus&)>;
    const std::vector<std::pair<const char*, Operation>> operations = {
        {"calculate", [&](RoutingSession& s, tStatus& status) {
             uint32_t capacity = 4;
             s.calculateRoute(7, &seed, 1, destinations, 2, 0, routeBuffer.wrapper, capacity, status);
         }},
        {"reserve", [&](RoutingSession& s, tStatus& status) {
             uint32_t capacity = 4;
             s.reserveRoute(held, conflictBuffer.wrapper, capacity, status);
             s.unreserveRoute(held);
         }},
        {"reset route", [](RoutingSession& s, tStatus& status) { s.calculateResetTerminal(7, 15, 0, status); }},
        {"path", [&](RoutingSession& s, tStatus& status) {
             uint32_t capacity = 4;
             s.getRouteTerminalPath(held, pathBuffer.wrapper, capacity, status);
         }},
    };
    for (const auto& entry : operations) {
        const std::string name = entry.first;
        const Operation& operation = entry.second;
        SCOPED_TRACE(name);
        const int failures = kzhtl_test::sweepAllocationFailures([&](uint64_t failAt) {
            tStatus status;
            const bool failed = kzhtl_test::failing(failAt, status, [&](tStatus& s) { operation(*a, s); });
            if (failed) {
                EXPECT_EQ(status.code, kMemoryFull) << failAt;
            }
            EXPECT_EQ(routesInDatabase(), a->routeIds().size()) << failAt;
            // Back to the one held route for the next attempt.
            while (a->routeIds().size() > 1) a->destroyRoute(a->routeIds().back());
            return failed;
        });
        // The resources' scratch heap serves the others without the allocator.
        if (name == "calculate") {
            EXPECT_GT(failures, 0);
        }
    }
}

// A session whose lock cannot be made is not valid, never registers, and does nothing.
TEST_F(Sessions, ASessionWithoutItsLockStaysOffTheList) {
    tStatus status;
    std::unique_ptr<RoutingSession> s;
    {
        kal::sim::FailKernelCall refuse("createMutex");
        s = std::make_unique<RoutingSession>(&manager, status);
    }
    EXPECT_EQ(status.code, kMemoryFull);
    EXPECT_FALSE(s->isValid());
    EXPECT_FALSE(manager.isRegistered(s.get()));
    tStatus later;
    EXPECT_EQ(s->calculateResetTerminal(7, 15, 0, later), 0u);
    EXPECT_EQ(later.code, 0);
    s.reset();
    EXPECT_EQ(routesInDatabase(), 0u);
}

// A demotion sends one notice without payload on an open notifier (a failed send is dropped and
// the notifier stays open); none when it is closed. A notifier whose socket buffer cannot be made
// stays closed (-52000). Closing sends the closing message and leaves no buffer.
TEST_F(Sessions, DemotionNotices) {
    kal::sim::clearSocketMessages();
    auto closed = open();
    auto a = open();
    tStatus status;
    {
        kal::sim::FailKernelCall refuse("createKernelSocketBuffer");
        a->openNotifier({0xC0, 9}, status);
    }
    EXPECT_EQ(status.code, kMemoryFull);
    EXPECT_FALSE(a->isNotifierOpen());
    status.clear();
    a->openNotifier({0xC0, 9}, status);
    ASSERT_EQ(status.code, 0);
    {
        kal::sim::FailKernelCall refuse("kernelSocketSend");
        a->demoteSession();
    }
    EXPECT_TRUE(a->isNotifierOpen());
    manager.clearRoutingResources();
    a.reset();
    closed.reset();
    const std::vector<kal::sim::SocketMessage> messages = kal::sim::socketMessages();
    ASSERT_EQ(messages.size(), 2u);
    for (size_t i = 0; i < messages.size(); ++i) {
        kzvorn_driver::nKZAPAL000::tIONotifierMessage m;
        std::memcpy(&m, messages[i].bytes.data(), sizeof m);
        EXPECT_EQ(messages[i].port, 9u);
        EXPECT_EQ(messages[i].type, i == 0 ? 1u : 2u);
        EXPECT_EQ(m.cookie, 0xC0u);
        EXPECT_EQ(m.length, 0u);
    }
    EXPECT_EQ(kal::sim::liveSocketBuffers(), 0u);
}

}  // namespace

namespace {

// The routing step's teardown withdraws the resources, then destroys the manager; a routing
// session that outlives it (its session's cleanup set did not run) leaves without touching it.
TEST(RoutingSessionLife, ASessionOutlivesItsManager) {
    routing_test::TolvaneResources t;
    tStatus status;
    auto manager = std::make_unique<kzark::RoutingResourcesManager>(status);
    manager->setRoutingResources(t.f.resources);
    auto session = std::make_unique<RoutingSession>(manager.get(), status);
    ASSERT_EQ(status.code, 0);
    tStatus calculated;
    const kzark::RouteCalculationSeedBase seed = seedOf(44, 0, 0);
    const uint32_t destination = 35;
    Area routes(20);
    Buffer buffer(routes.address(), 20);
    uint32_t capacity = 1;
    session->calculateRoute(7, &seed, 1, &destination, 1, 0, buffer.wrapper, capacity, calculated);
    ASSERT_EQ(calculated.code, 0);
    manager->clearRoutingResources();
    manager.reset();
    session.reset();
    EXPECT_EQ(t.f.resources->routeDatabase().size(), 0u);
}

}  // namespace
