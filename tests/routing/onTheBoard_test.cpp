// Routing on the product board through the ioctl envelope: levels 16 and 17 for real, the levels
// after them standing in; the routing requests of one and of two sessions, what reaches the board's
// muxes, the demotion notice of a reset, and a session's close and cleanup request.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "board/isolatedOccurrence.h"
#include "channelRequests/fixture.h"
#include "device/modulatorTimebaseTask.h"
#include "device/routing/routingObjects.h"
#include "kal/sim/user.h"
#include "kzhtl/failures.h"
#include "kzark/routingSession.h"
#include "kzark/statusCodes.h"
#include "routing/routedMuxes.h"

namespace {

using namespace kzvorn_driver;
using channeltest::send;
using nKZAPALS100::tStatus;

constexpr uint32_t kVersion = 0x00208000;
constexpr uint32_t kCalculate = 0x00208001;
constexpr uint32_t kDestroy = 0x00208002;
constexpr uint32_t kReserve = 0x00208003;
constexpr uint32_t kProgram = 0x00208004;
constexpr uint32_t kUnreserve = 0x00208005;
constexpr uint32_t kUnprogram = 0x00208006;
constexpr uint32_t kPath = 0x00208007;
constexpr uint32_t kName = 0x00208008;
constexpr uint32_t kResetTerminal = 0x0020800A;
constexpr uint32_t kResetRoute = 0x0020800B;
constexpr uint32_t kCleanup = 0x00208603;

constexpr int32_t kNoResources = -52020;
constexpr int32_t kBadParameter = -52005;
constexpr int32_t kTooSmall = -52019;
constexpr int32_t kInvalidated = static_cast<int32_t>(0xBFFA9179);
constexpr uint32_t kGuard = 0xA5A5A5A5;

struct Calc {
    uint32_t result;
    uint32_t count;
    int32_t status;
    std::vector<std::vector<uint32_t>> records;  // id, end, cost, seed, inverted
};

// A reply with up to `capacity` 32-bit words written to the caller's buffer, the rest guards.
struct Words {
    uint32_t value;
    int32_t status;
    std::vector<uint32_t> words;
    bool restUntouched;
};

class RoutingOnTheBoard : public tolvanetest::Tolvane {
protected:
    void SetUp() override {
        Tolvane::SetUp();
        plan_.fakeLevels(18, kzvorn_shared::SetupLevel::kHighest, BringUpPlan::kSucceed);
        ASSERT_EQ(add(), 0);
        ASSERT_EQ(tracker().reached, 22);
    }

    kal::sim::Session open() {
        kal::sim::Session session = kernel_.open("smu_kzvorn");
        EXPECT_TRUE(session);
        return session;
    }
    kzark::RoutingResourcesManager* manager() { return device()->getHelper()->getRoutingResourcesManager(); }

    static Calc calculate(kal::sim::Session& s, uint64_t owner, std::vector<kzark::RouteCalculationSeedBase> seeds,
                          std::vector<uint32_t> destinations, uint32_t capacity) {
        std::vector<kzark::RoutePossibilityBase> routes(std::min<uint32_t>(capacity, 64));
        kal::sim::UserMemory seedMemory(seeds.data(), seeds.size() * 12),
            destinationMemory(destinations.data(), destinations.size() * 4),
            routeMemory(routes.data(), routes.size() * 20);
        tCalculateRouteRecord input{};
        input.owner = owner;
        input.seeds = reinterpret_cast<uint64_t>(seeds.data());
        input.seedCount = uint32_t(seeds.size());
        input.destinations = reinterpret_cast<uint64_t>(destinations.data());
        input.destinationCount = uint32_t(destinations.size());
        input.routes = reinterpret_cast<uint64_t>(routes.data());
        input.routeCapacity = capacity;
        const auto output = send<tCalculatedRoutesRecord>(s, kCalculate, input);
        Calc c{output.result, output.count, output.status, {}};
        for (uint32_t i = 0; output.status >= 0 && i < output.count && i < routes.size(); ++i)
            c.records.push_back({routes[i].routeId, routes[i].endTerminalId, routes[i].cost, routes[i].seedIndex,
                                 routes[i].inverted});
        return c;
    }
    static Calc calculate(kal::sim::Session& s, uint32_t from, std::vector<uint32_t> to, uint32_t capacity = 8,
                          uint64_t owner = 7) {
        return calculate(s, owner, {{from, 0, 0, {}}}, to, capacity);
    }

    static int32_t onRoute(kal::sim::Session& s, uint32_t code, uint32_t id) {
        return send<tStatusRecord>(s, code, tRouteRecord{id, 0}).status;
    }

    // The reserve (16-byte records) or path (4-byte records) request with a buffer of `capacity`.
    static Words buffered(kal::sim::Session& s, uint32_t code, uint32_t id, uint32_t capacity) {
        const size_t wordsPerRecord = code == kReserve ? 4 : 1;
        std::vector<uint32_t> area(16 * wordsPerRecord, kGuard);
        kal::sim::UserMemory memory(area.data(), area.size() * 4);
        tRouteBufferRecord input{};
        input.route = id;
        input.address = reinterpret_cast<uint64_t>(area.data());
        input.capacity = capacity;
        const auto output = send<tValue32Record>(s, code, input);
        const size_t written = output.status == kTooSmall ? 0 : std::min<size_t>(output.value, capacity) * wordsPerRecord;
        Words w{output.value, output.status, std::vector<uint32_t>(area.begin(), area.begin() + written), true};
        for (size_t i = written; i < area.size(); ++i) w.restUntouched &= area[i] == kGuard;
        return w;
    }

    static std::pair<int32_t, std::string> name(kal::sim::Session& s, uint32_t size) {
        std::vector<char> area(32, 'x');
        kal::sim::UserMemory memory(area.data(), area.size());
        const auto output =
            send<tStatusRecord>(s, kName, tSizedUserBufferRecord{reinterpret_cast<uint64_t>(area.data()), size, 0});
        return {output.status, std::string(area.data(), area.size())};
    }

    std::vector<std::string> routed() { return routingtest::routedMuxes(blocks_.nonIsolatedFpga); }

    using Strings = std::vector<std::string>;
    const Strings kBothRoutes = {"iso 0x30: 2", "iso 0x31: 2", "ch0 0x2B: 3", "pxi 0", "pxi 1"};

    void programBoth(kal::sim::Session& s) {
        const Calc c = calculate(s, 44, {35, 36}, 2);
        ASSERT_EQ(c.status, 0);
        for (uint32_t id : {1u, 2u}) {
            ASSERT_EQ(buffered(s, kReserve, id, 4).status, 0);
            ASSERT_EQ(onRoute(s, kProgram, id), 0);
        }
        ASSERT_EQ(routed(), kBothRoutes);
    }
};

TEST_F(RoutingOnTheBoard, VersionThroughTheGate) {
    kal::sim::Session s = open();
    auto version = send<tValue32Record>(s, kVersion, tStatusRecord{});
    EXPECT_EQ(version.value, 1u);
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(reset(s, 17), -52010);
    kal::sim::Session after = open();
    version = send<tValue32Record>(after, kVersion, tStatusRecord{});
    EXPECT_EQ(version.value, 0u);
    EXPECT_EQ(version.status, -52010);
}

TEST_F(RoutingOnTheBoard, CalculationPathAndName) {
    kal::sim::Session s = open();
    const Calc c = calculate(s, 44, {35, 36}, 2);
    EXPECT_EQ(c.status, 0);
    EXPECT_EQ(c.result, 0u);
    EXPECT_EQ(c.count, 2u);
    EXPECT_EQ(c.records, (std::vector<std::vector<uint32_t>>{{1, 35, 258, 0, 0}, {2, 36, 258, 0, 0}}));
    const Words path = buffered(s, kPath, 1, 3);
    EXPECT_EQ(path.status, 0);
    EXPECT_EQ(path.value, 3u);
    EXPECT_EQ(path.words, (std::vector<uint32_t>{44, 15, 35}));
    EXPECT_TRUE(path.restUntouched);
    const Words shortPath = buffered(s, kPath, 1, 2);
    EXPECT_EQ(shortPath.status, kTooSmall);
    EXPECT_EQ(shortPath.value, 3u);
    EXPECT_TRUE(shortPath.restUntouched);
    EXPECT_EQ(name(s, 17), (std::pair<int32_t, std::string>{kTooSmall, std::string(32, 'x')}));
    EXPECT_EQ(name(s, 18), (std::pair<int32_t, std::string>{0, std::string("TolvaneTopography") + '\0' +
                                                                  std::string(14, 'x')}));
}

// Destroying a programmed route disconnects what it alone holds. A calculation that does not fit
// leaves no route behind.
TEST_F(RoutingOnTheBoard, DestroyingDisconnectsAndATooSmallCapacityLeavesNothing) {
    kal::sim::Session s = open();
    programBoth(s);
    EXPECT_EQ(onRoute(s, kDestroy, 1), 0);
    EXPECT_EQ(routed(), (Strings{"iso 0x31: 2", "ch0 0x2B: 3", "pxi 1"}));
    EXPECT_EQ(onRoute(s, kDestroy, 2), 0);
    EXPECT_EQ(routed(), Strings{});
    const Calc c = calculate(s, 44, {35, 36}, 1);
    EXPECT_EQ(c.status, kTooSmall);
    EXPECT_EQ(c.count, 2u);
    EXPECT_EQ(c.result, 0u);
    for (uint32_t id : {3u, 4u}) EXPECT_EQ(buffered(s, kPath, id, 4).status, kBadParameter) << id;
}

TEST_F(RoutingOnTheBoard, TwoSessions) {
    kal::sim::Session a = open(), b = open();
    programBoth(a);
    EXPECT_EQ(onRoute(b, kProgram, 1), kBadParameter);
    EXPECT_EQ(buffered(b, kReserve, 1, 4).status, kBadParameter);
    for (uint32_t code : {kUnprogram, kUnreserve, kDestroy}) EXPECT_EQ(onRoute(b, code, 1), 0);
    EXPECT_EQ(routed(), kBothRoutes);
    EXPECT_EQ(buffered(b, kPath, 1, 4).words, (std::vector<uint32_t>{44, 15, 35}));
    EXPECT_EQ(send<tStatusRecord>(b, kResetTerminal, tResetTerminalRecord{16, 0, 0}).status, 0);

    // A's routes from 2 to 15 reserved after B calculated its own from 3 to 15.
    for (uint32_t id : {1u, 2u}) ASSERT_EQ(onRoute(a, kDestroy, id), 0);
    const uint32_t theirs = calculate(b, 3, {15}, 4, 0xB).records.at(0).at(0);
    std::vector<uint32_t> held;
    for (int i = 0; i < 3; ++i) {
        held.push_back(calculate(a, 2, {15}, 4, 0xA).records.at(0).at(0));
        ASSERT_EQ(buffered(a, kReserve, held.back(), 0).status, 0);
    }
    const Words one = buffered(b, kReserve, theirs, 1);
    EXPECT_EQ(one.status, kzark::kStatusRouteConflict);
    EXPECT_EQ(one.value, 1u);
    EXPECT_EQ(one.words, (std::vector<uint32_t>{0xA, 0, held[0], 0}));
    EXPECT_TRUE(one.restUntouched);
    const Words none = buffered(b, kReserve, theirs, 0);
    EXPECT_EQ(none.status, kzark::kStatusRouteConflict);
    EXPECT_EQ(none.value, 0u);
    EXPECT_TRUE(none.restUntouched);
}

// A reset suspends IO: the routes go, the listener hears one notice, then the closing message when
// the teardown destroys the routing session; the old session is invalid, and the new bring-up's
// routes count from 1 again.
TEST_F(RoutingOnTheBoard, AResetWithdrawsTheRoutesAndNotifies) {
    kal::sim::clearSocketMessages();
    kal::sim::Session s = open();
    ASSERT_EQ(s.createIONotifier(0xC00C1E, 77, TolvaneDevice::kRoutingNotifierType), 0);
    programBoth(s);
    EXPECT_EQ(reset(s, 22), 0);
    EXPECT_EQ(routed(), Strings{});
    const auto messages = kal::sim::socketMessages();
    ASSERT_EQ(messages.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        nKZAPAL000::tIONotifierMessage m;
        std::memcpy(&m, messages[i].bytes.data(), sizeof m);
        EXPECT_EQ(messages[i].port, 77u);
        EXPECT_EQ(messages[i].type, i == 0 ? 1u : 2u);
        EXPECT_EQ(m.cookie, 0xC00C1Eu);
        EXPECT_EQ(m.length, 0u);
    }
    EXPECT_EQ(onRoute(s, kProgram, 1), kInvalidated);
    kal::sim::Session fresh = open();
    EXPECT_EQ(calculate(fresh, 44, {35}).records.at(0).at(0), 1u);
}

// Closing a session disconnects its programmed routes and closes its notifier; after the cleanup
// request a session has no routing session: -52020 (the version still 1), the notifier too.
TEST_F(RoutingOnTheBoard, CloseAndCleanup) {
    kal::sim::clearSocketMessages();
    {
        kal::sim::Session s = open();
        ASSERT_EQ(s.createIONotifier(5, 9, TolvaneDevice::kRoutingNotifierType), 0);
        programBoth(s);
    }
    EXPECT_EQ(routed(), Strings{});
    ASSERT_EQ(kal::sim::socketMessages().size(), 1u);
    EXPECT_EQ(kal::sim::socketMessages()[0].type, 2u);
    EXPECT_EQ(kal::sim::liveSocketBuffers(), 0u);
    EXPECT_EQ(manager()->sessionCount(), 0u);

    kal::sim::Session s = open();
    const uint32_t id = calculate(s, 44, {35}).records.at(0).at(0);
    ASSERT_EQ(send<tStatusRecord>(s, kCleanup, tStatusRecord{}).status, 0);
    EXPECT_EQ(manager()->getRoutingResources()->getRouteState(id), 0u) << "the cleanup destroyed the route";
    EXPECT_EQ(send<tValue32Record>(s, kVersion, tStatusRecord{}).value, 1u);
    const Calc c = calculate(s, 44, {35}, 5);
    EXPECT_EQ(c.status, kNoResources);
    EXPECT_EQ(c.count, 5u);
    const Words reserved = buffered(s, kReserve, id, 3);
    EXPECT_EQ(reserved.status, kNoResources);
    EXPECT_EQ(reserved.value, 3u);
    for (uint32_t code : {kDestroy, kProgram, kUnreserve, kUnprogram}) EXPECT_EQ(onRoute(s, code, id), kNoResources);
    EXPECT_EQ(name(s, 18).first, kNoResources);
    EXPECT_EQ(send<tStatusRecord>(s, kResetTerminal, tResetTerminalRecord{16, 0, 0}).status, kNoResources);
    EXPECT_EQ(send<tValue32Record>(s, kResetRoute, tCalculateResetTerminalRecord{7, 15, 0, 0, 0}).status, kNoResources);
    EXPECT_EQ(s.createIONotifier(5, 9, TolvaneDevice::kRoutingNotifierType), -51300) << "-52020";
    kal::sim::Session fresh = open();
    EXPECT_EQ(calculate(fresh, 44, {35}).status, 0);
}

// The sessions opened at 16 have no routing session; at 17 they have one, on the manager's list.
TEST_F(RoutingOnTheBoard, RoutingSessionsFromLevel17) {
    kal::sim::Session s = open();
    EXPECT_EQ(reset(s, 16), -52010);
    kal::sim::Session at16 = open();
    EXPECT_EQ(sessionOf(at16)->getRoutingSession(), nullptr);
    EXPECT_EQ(manager(), nullptr);
    EXPECT_EQ(reset(at16, 17), -52010);
    kal::sim::Session at17 = open();
    ASSERT_NE(sessionOf(at17)->getRoutingSession(), nullptr);
    EXPECT_TRUE(manager()->isRegistered(sessionOf(at17)->getRoutingSession()));
}

// Counts near 0xFFFFFFFF never reach the allocator; arrays outside user memory fail with the
// translated copy code and nothing calculated.
TEST_F(RoutingOnTheBoard, BadCalculationRecords) {
    kal::sim::Session s = open();
    std::vector<kzark::RouteCalculationSeedBase> seeds{{44, 0, 0, {}}};
    std::vector<uint32_t> destinations{35};
    std::vector<kzark::RoutePossibilityBase> routes(4);
    kal::sim::UserMemory m1(seeds.data(), 12), m2(destinations.data(), 4), m3(routes.data(), 80);
    const uint64_t seedAt = reinterpret_cast<uint64_t>(seeds.data()), destinationAt = reinterpret_cast<uint64_t>(destinations.data());
    const uint64_t routesAt = reinterpret_cast<uint64_t>(routes.data());
    const struct {
        const char* name;
        uint64_t seeds;
        uint32_t seedCount;
        uint64_t destinations;
        uint32_t destinationCount;
        uint64_t routes;
    } cases[] = {
        {"seed count past the bound", seedAt, 0xFFFFFFFF, destinationAt, 1, routesAt},
        {"destination count past the bound", seedAt, 1, destinationAt, 65537, routesAt},
        {"seeds outside user memory", 0x1000, 1, destinationAt, 1, routesAt},
        {"seeds beyond their array", seedAt, 2, destinationAt, 1, routesAt},
        {"destinations outside user memory", seedAt, 1, 0x1000, 1, routesAt},
        {"routes outside user memory", seedAt, 1, destinationAt, 1, 0x1000},
    };
    // The id list and the route database keep the room they grew to.
    ASSERT_EQ(onRoute(s, kDestroy, calculate(s, 44, {35}).records.at(0).at(0)), 0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const int64_t live = kal::sim::liveAllocations();
        const tCalculateRouteRecord input{7, c.seeds, c.seedCount, 0, c.destinations, c.destinationCount, 0, c.routes, 4, 0};
        const auto output = send<tCalculatedRoutesRecord>(s, kCalculate, input);
        EXPECT_EQ(output.status, kBadParameter);
        EXPECT_EQ(output.result, 0u);
        EXPECT_EQ(output.count, c.routes == 0x1000 ? 1u : 4u) << "the count found, for results that could not go back";
        EXPECT_EQ(kal::sim::liveAllocations(), live);
    }
    EXPECT_EQ(manager()->getRoutingResources()->getRouteState(2), 0u) << "the route whose record could not go back";
    EXPECT_EQ(calculate(s, 44, {35}).records.at(0).at(0), 3u);
}

// Allocation and kernel-mutex failures, one at a time, over open and over a calculation through
// the envelope: a refused open leaves the manager's list as it was, nothing leaks.
TEST_F(RoutingOnTheBoard, FailuresOverOpenAndCalculation) {
    kal::sim::Session held = open();
    ASSERT_EQ(manager()->sessionCount(), 1u);
    bool refused = false;
    for (const char* call : {"malloc", "createMutex"}) {
        for (uint64_t nth = 1;; ++nth) {
            const int64_t live = kal::sim::liveAllocations();
            bool triggered;
            {
                kal::sim::Session s;
                if (std::string(call) == "malloc") {
                    kal::sim::FailAllocations fail(nth);
                    s = kernel_.open("smu_kzvorn");
                    triggered = fail.triggered();
                } else {
                    kal::sim::FailKernelCall fail(call, nth);
                    s = kernel_.open("smu_kzvorn");
                    triggered = fail.failures() != 0;
                }
                EXPECT_EQ(manager()->sessionCount(), s ? 2u : 1u) << call << " " << nth;
                refused |= !s;
            }
            EXPECT_EQ(kal::sim::liveAllocations(), live) << call << " " << nth;
            if (!triggered) break;
        }
    }
    EXPECT_TRUE(refused);
    // The id list and the route database keep the room they grew to.
    for (const auto& r : calculate(held, 44, {35, 36}, 4).records) onRoute(held, kDestroy, r[0]);
    std::vector<kzark::RouteCalculationSeedBase> seeds{{44, 0, 0, {}}};
    std::vector<uint32_t> destinations{35, 36};
    std::vector<kzark::RoutePossibilityBase> routes(4);
    kal::sim::UserMemory m1(seeds.data(), 12), m2(destinations.data(), 8), m3(routes.data(), 80);
    const tCalculateRouteRecord input{7, reinterpret_cast<uint64_t>(seeds.data()), 1, 0,
                                      reinterpret_cast<uint64_t>(destinations.data()), 2, 0,
                                      reinterpret_cast<uint64_t>(routes.data()), 4, 0};
    const int failures = kzhtl_test::sweepAllocationFailures([&](uint64_t failAt) {
        tCalculatedRoutesRecord output{};
        bool failed;
        {
            // The test's own memory comes from the same allocator: only the request is failed.
            kal::sim::FailAllocations fail(failAt);
            held.ioctl(kCalculate, &input, sizeof input, &output, sizeof output);
            failed = fail.triggered();
        }
        EXPECT_EQ(output.status, failed ? -52000 : 0) << failAt;
        if (output.status == 0)
            for (uint32_t i = 0; i < output.count; ++i) onRoute(held, kDestroy, routes[i].routeId);
        return failed;
    });
    EXPECT_GT(failures, 0);
}

// Level 16 writes the time base once, forced; level 17 the routing enable bit of both FPGAs once,
// which neither shadow keeps.
TEST_F(RoutingOnTheBoard, Levels16And17Write) {
    auto guard = std::unique_lock<board::BoardLock>(blocks_.nonIsolatedFpga.boardLock());
    board::IsolatedLink& link = blocks_.nonIsolatedFpga.isolatedLink();
    std::vector<uint32_t> timebase, isoConfig;
    for (const board::PortAccess& a : link.log()) {
        if (!a.write) continue;
        if (a.address == 0x0A) timebase.push_back(a.value);
        if (a.address == 0x08 && (a.value & 4) != 0) isoConfig.push_back(a.value);
    }
    guard.unlock();
    EXPECT_EQ(timebase, std::vector<uint32_t>{0x80000059});
    EXPECT_EQ(isoConfig.size(), 1u);
    size_t nisoEnables = 0;
    for (uint64_t value : board_.log().writesTo(board::bar0::kNonIsolatedFpga + 0x010)) nisoEnables += (value & 4) != 0;
    EXPECT_EQ(nisoEnables, 1u);
    TolvaneHelper& helper = *device()->getHelper();
    auto& isoFpga = helper.getIsolatedRegMaps()->getIsoFpgaMap();
    EXPECT_EQ(isoFpga.IsoFpgaConfigReg().getShadow() & 4, 0u);
    EXPECT_EQ(helper.getNonIsolatedObjects()->getRegMaps()->fpga.NisoFpgaConfigReg().getShadow() & 4, 0u);

    // The task again, with the value already in the shadow, then with other bits there.
    for (const auto& [shadow, written] : {std::pair<uint32_t, uint32_t>{0x80000059, 0x80000059},
                                          std::pair<uint32_t, uint32_t>{0x12345678, 0x92340059}}) {
        tStatus status;
        auto counter = isoFpga.ModulatorTimebaseCounterReg();
        counter.setRegister(shadow, status);
        guard.lock();
        link.clearLog();
        guard.unlock();
        ModulatorTimebaseTask(isoFpga, status);
        EXPECT_EQ(status.code, 0);
        guard.lock();
        std::vector<board::PortAccess> writes;
        for (const board::PortAccess& a : link.log())
            if (a.write) writes.push_back(a);
        guard.unlock();
        ASSERT_EQ(writes.size(), 1u) << std::hex << shadow;
        EXPECT_EQ(writes[0].address, 0x0Au);
        EXPECT_EQ(writes[0].value, written);
    }
}

// Level 17 given another subsystem's capability record: 0xBFFA4304, nothing made, nothing written,
// and its teardown calls nothing.
TEST_F(RoutingOnTheBoard, Level17ForAnotherSubsystem) {
    TolvaneHelper& helper = *device()->getHelper();
    vantrel_caps::Caps caps = *helper.getCapabilities();
    caps.pciSubsystemId ^= 1;
    board_.log().clear();
    {
        auto guard = std::unique_lock<board::BoardLock>(blocks_.nonIsolatedFpga.boardLock());
        blocks_.nonIsolatedFpga.isolatedLink().clearLog();
    }
    tStatus status;
    {
        RoutingObjects objects(*helper.getNonIsolatedObjects()->getRegMaps(), *helper.getIsolatedRegMaps(), caps,
                               status);
        EXPECT_EQ(status.code, static_cast<int32_t>(0xBFFA4304));
        EXPECT_EQ(objects.getResources(), nullptr);
        EXPECT_EQ(objects.getManager(), nullptr);
        objects.setRoutingResources();
    }
    EXPECT_TRUE(board_.log().entries().empty());
    auto guard = std::unique_lock<board::BoardLock>(blocks_.nonIsolatedFpga.boardLock());
    EXPECT_TRUE(blocks_.nonIsolatedFpga.isolatedLink().log().empty());
}

}  // namespace
