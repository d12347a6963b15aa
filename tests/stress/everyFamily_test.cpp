// Four sessions on one device brought up whole (only the two FPGA image downloads stand in), in
// real time, each on a channel of its own: round after round it asks the level, reads and sets
// named registers, reads a storage map raw, calculates, reserves, programs, unprograms and destroys
// a route, reserves and releases a gang, stages and commits power, checks an event latch, starts a
// DMA stream of its channel, waits a little and stops it, creates and destroys a notifier, sends
// the cleanup request, then closes and opens again. A fifth thread resets to 22, now and then to
// 3 first. Every call returns, with a status from one list; once the workers have closed (and
// again after a reset to 22) nothing is left held: channels, gangs, routes, the board's routing
// muxes, DMA streams. Then the device is removed with requests in flight, the driver unloaded,
// and the kernel layer holds nothing more than before the load.
//
// Besides: the cleanup request of a session while another thread of the same session routes.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "board/product.h"
#include "controllers/dmaControllers.h"
#include "device/tolvaneDevice.h"
#include "dma/fixture.h"
#include "kal/sim/clock.h"
#include "kal/sim/faults.h"
#include "kal/sim/user.h"
#include "kzark/routingResources.h"
#include "kzark/routingResourcesManager.h"
#include "kzark/statusCodes.h"
#include "kzkal/driver.h"
#include "routing/routedMuxes.h"
#include "stress/requests.h"
#include "stress/stress.h"
#include "tools/stowly/stowlyData.h"

namespace {

using namespace kzvorn_driver;
using namespace stress;
using Device = nKZAPAL000::tDeviceCore;

constexpr uint32_t kSeed = 0x22FA3117;
constexpr unsigned kChannels = 4;
constexpr uint32_t kHighest = kzvorn_shared::SetupLevel::kHighest;
constexpr uint32_t kDetourLevel = 3;
// The workers' run, then the requests in flight around removal: the test takes some 45 s in
// either sanitizer's build, the calls running several times slower under ThreadSanitizer.
constexpr auto kRun = std::chrono::seconds(40);
constexpr auto kBeforeRemoval = std::chrono::milliseconds(500);
constexpr auto kAfterRemoval = std::chrono::milliseconds(200);
// One in this many resets goes down to 3 first.
constexpr uint32_t kDetourEvery = 4;
// Far beyond any call, a whole bring-up under ThreadSanitizer included.
constexpr auto kStall = std::chrono::seconds(60);

// Each worker's route, by channel: the first two share their source, the last two their
// destination from different sources, so that their reservations contend.
constexpr uint32_t kRouteSources[kChannels] = {44, 44, 2, 3};
constexpr uint32_t kRouteDestinations[kChannels] = {35, 36, 15, 15};
constexpr uint32_t kRouteCapacity = 2;
constexpr uint16_t kEvent = 0x800;
constexpr uint32_t kWaitMicroseconds = 1000;
constexpr uint32_t kNotifierType = TolvaneDevice::kRoutingNotifierType;

constexpr AllowedStatus kAllowedStatuses[] = {
    {0, "served"},
    {nKZAPALS100::kStatusSetupStoppedAtLevel,
     "the device stood at level 3 on the reset thread's detour, or that reset reporting where it stopped"},
    {kInvalidated, "the session was opened before a reset"},
    {nKZAPALS100::kStatusDeviceNotAcceptingIO, "removal closed the gate"},
    {kzark::kStatusRouteConflict, "another worker has reserved a part of the same route"},
    {nKZAPALS100::kStatusNotStarted,
     "a routing request in flight when a reset's suspension withdrew the routing resources from every session"},
};
constexpr size_t kAllowedCount = sizeof(kAllowedStatuses) / sizeof(kAllowedStatuses[0]);

// What creating a notifier may end with, as the kernel layer passes on the driver's status: created,
// the gate's -52010 (level 3 on the detour) as -51104, or a stale session or the closed gate as
// -51001.
constexpr int32_t kNotifierResults[] = {0, -51104, -51001};

struct Findings : stress::Tally<kAllowedCount> {
    std::atomic<uint64_t> rounds{0};
    std::atomic<uint64_t> resets{0};
};

// One thread's calls: each is named where the watchdog sees it, and its status recorded.
class Caller {
public:
    Caller(Device& device, Findings& findings, Whereabouts& where)
        : device_(device), findings_(findings), where_(where) {}

protected:
    bool gateClosed() const { return device_.getIOState() == Device::kIOStateClosed; }

    // Sends one request and records its status; false when the session is of no further use.
    template <class tRequest>
    bool call(const char* name, kal::sim::Session& session, const typename tRequest::Input& input,
              typename tRequest::Output* output = nullptr) {
        where_.at(name);
        const bool closedBefore = gateClosed();
        const requests::Reply<tRequest> reply = requests::send<tRequest>(session, input);
        if (output != nullptr) *output = reply.output;
        return record(name, reply.result != 0 ? reply.result : reply.output.status, closedBefore);
    }

    bool record(const char* name, int64_t status, bool closedBefore) {
        if (closedBefore && status != nKZAPALS100::kStatusDeviceNotAcceptingIO) ++findings_.servedAfterClose;
        findings_.record(kAllowedStatuses, name, status);
        // As a user would: a session a reset invalidated, or a closed gate, ends the round.
        return status != kInvalidated && status != nKZAPALS100::kStatusDeviceNotAcceptingIO;
    }

    void noteUnexpected(const char* name, int64_t status) { findings_.noteUnexpected(name, status); }

    // A session, or none when the open is refused (removal); the result must be one of the list.
    kal::sim::Session open(kal::sim::Kernel& kernel) {
        where_.at("open");
        int32_t result = 0;
        kal::sim::Session session = kernel.open(TolvaneDevice::kInterfaceName, &result);
        ++findings_.calls;
        if (!among(kOpenResults, result)) noteUnexpected("open", result);
        return session;
    }

    Device& device_;
    Findings& findings_;
    Whereabouts& where_;
};

// The caller's memory of a worker's routing and DMA requests.
struct RoutingMemory {
    explicit RoutingMemory(unsigned channel)
        : seeds{{kRouteSources[channel], 0, 0, {}}}, destinations{kRouteDestinations[channel]} {}
    requests::routing_calculateRoute::Input calculation(uint64_t owner) const {
        requests::routing_calculateRoute::Input input{};
        input.owner = owner;
        input.seeds = reinterpret_cast<uint64_t>(seeds);
        input.seedCount = 1;
        input.destinations = reinterpret_cast<uint64_t>(destinations);
        input.destinationCount = 1;
        input.routes = reinterpret_cast<uint64_t>(routes);
        input.routeCapacity = kRouteCapacity;
        return input;
    }

    kzark::RouteCalculationSeedBase seeds[1];
    uint32_t destinations[1];
    kzark::RoutePossibilityBase routes[kRouteCapacity] = {};
    uint32_t conflicts[4 * 4] = {};
};

class Worker : Caller {
public:
    Worker(unsigned channel, kal::sim::Kernel& kernel, Device& device, const uint8_t (&flash)[kFlashCount],
           Findings& findings, Whereabouts& where, const std::atomic<bool>& stop)
        : Caller(device, findings, where),
          channel_(channel),
          mask_(uint64_t{1} << channel),
          stream_(2 * channel),
          random_(kSeed + channel),
          kernel_(kernel),
          stop_(stop),
          memory_(flash),
          routing_(channel) {}

    void run() {
        kal::sim::UserMemory callerMemory(&memory_, sizeof memory_);
        kal::sim::UserMemory routingMemory(&routing_, sizeof routing_);
        dmatest::UserPages pages(1);
        while (!stop_) {
            kal::sim::Session session = open(kernel_);
            if (!session) {
                // Once removal has unregistered the interface, opening fails at once.
                std::this_thread::yield();
                continue;
            }
            if (call<requests::kdut_reserveResources>("reserve", session, {mask_, 0, 0})) round(session, pages);
            where_.at("close");
            session.close();
        }
        where_.finished();
    }

private:
    // One round of every family, ended early when the session goes stale.
    void round(kal::sim::Session& session, dmatest::UserPages& pages) {
        ++findings_.rounds;
        const bool whole = sharedFamilies(session) && routing(session) && ganging(session) && power(session) &&
                           eventLatch(session) && dma(session, pages) && notifier(session);
        if (whole) call<requests::kdut_cleanup>("cleanup", session, {});
    }

    bool sharedFamilies(kal::sim::Session& session) {
        for (Action action : {kLevel, kArmRead, kArmSetGet}) {
            where_.at(kActionNames[action]);
            const bool closedBefore = gateClosed();
            for (int64_t status : send(action, session, memory_, random_))
                if (status != kNoRequest && !record(kActionNames[action], status, closedBefore)) return false;
        }
        auto raw = naming<requests::storageMap_getRaw::Input>(memory_.posc);
        raw.elementCount = kPoscCount;
        raw.elementSize = 1;
        raw.buffer = reinterpret_cast<uint64_t>(memory_.posc4);
        return call<requests::storageMap_getRaw>("storage map raw", session, raw);
    }

    // Calculate, reserve, program, unprogram, destroy: the reservation may meet another
    // worker's, and then the route is only destroyed.
    bool routing(kal::sim::Session& session) {
        requests::routing_calculateRoute::Output calculated{};
        if (!call<requests::routing_calculateRoute>("route calculate", session, routing_.calculation(channel_ + 1),
                                                    &calculated))
            return false;
        // None found (the others' reservations may leave no way) is an answer too.
        if (calculated.status != 0 || calculated.count == 0) return true;
        const uint32_t route = routing_.routes[0].routeId;
        requests::routing_reserveRoute::Input reserve{};
        reserve.route = route;
        reserve.address = reinterpret_cast<uint64_t>(routing_.conflicts);
        reserve.capacity = 4;
        requests::routing_reserveRoute::Output reserved{};
        if (!call<requests::routing_reserveRoute>("route reserve", session, reserve, &reserved)) return false;
        if (reserved.status == 0) {
            if (!call<requests::routing_programRoute>("route program", session, {route, 0})) return false;
            if (!call<requests::routing_unprogramRoute>("route unprogram", session, {route, 0})) return false;
        }
        for (uint32_t i = 0; i < calculated.count && i < kRouteCapacity; ++i)
            if (!call<requests::routing_destroyRoute>("route destroy", session, {routing_.routes[i].routeId, 0}))
                return false;
        return true;
    }

    bool ganging(kal::sim::Session& session) {
        requests::channelGanging_reserveChannelsForGanging::Input gang{};
        gang.firstChannel = uint8_t(channel_);
        gang.count = 1;
        return call<requests::channelGanging_reserveChannelsForGanging>("gang reserve", session, gang) &&
               call<requests::channelGanging_unreserveChannelsForGanging>("gang release", session,
                                                                         {uint8_t(channel_), {}, 0});
    }

    // Up and down between 1 and 4 W: each channel's share stays far inside the budget.
    bool power(kal::sim::Session& session) {
        requests::vantrel_stagePowerAllocation::Input stage{};
        stage.channel = uint8_t(channel_);
        stage.microwatts = (1 + random_() % 4) * 1000000;
        return call<requests::vantrel_stagePowerAllocation>("power stage", session, stage) &&
               call<requests::vantrel_commitPowerAllocation>("power commit", session, {uint8_t(channel_), {}, 0});
    }

    bool eventLatch(kal::sim::Session& session) {
        return call<requests::triggersAndEvents_checkEventLatch>("event latch check", session,
                                                                 {mask_, kEvent, 0, 0});
    }

    // The channel's stream from the device on one page, started, waited on briefly (no credits:
    // the wait times out), stopped, its lists cleared.
    bool dma(kal::sim::Session& session, dmatest::UserPages& pages) {
        if (!call<requests::quolinTools_addTransferFromDevice>("dma add", session,
                                                               {stream_, 0, pages.address(), pages.size(), 0, 0}))
            return false;
        if (!call<requests::quolinTools_startDMA>("dma start", session, {stream_, 1, {}, 0})) return false;
        requests::quolinTools_waitUntilBytesTransferred::Input wait{};
        wait.stream = stream_;
        wait.byteCount = uint32_t(pages.size());
        wait.timeout = kWaitMicroseconds;
        return call<requests::quolinTools_waitUntilBytesTransferred>("dma wait", session, wait) &&
               call<requests::quolinTools_stopDMA>("dma stop", session, {stream_, 0}) &&
               call<requests::quolinTools_clearTransfers>("dma clear", session, {stream_, 0});
    }

    bool notifier(kal::sim::Session& session) {
        where_.at("notifier create");
        const int32_t created = session.createIONotifier(channel_, 100 + channel_, kNotifierType);
        ++findings_.calls;
        if (!among(kNotifierResults, created)) noteUnexpected("notifier create", created);
        if (created != 0) return false;
        where_.at("notifier destroy");
        const int32_t destroyed = session.destroyIONotifier(kNotifierType);
        ++findings_.calls;
        if (destroyed != 0) noteUnexpected("notifier destroy", destroyed);
        return true;
    }

    const unsigned channel_;
    const uint64_t mask_;
    const uint32_t stream_;
    std::mt19937 random_;
    kal::sim::Kernel& kernel_;
    const std::atomic<bool>& stop_;
    CallerMemory memory_;
    RoutingMemory routing_;
};

// Resets to 22 from a session of its own, one reset in kDetourEvery going down to 3 first; it
// always leaves the device at 22.
class Resetter : Caller {
public:
    Resetter(kal::sim::Kernel& kernel, Device& device, Findings& findings, Whereabouts& where,
             const std::atomic<bool>& stop)
        : Caller(device, findings, where), random_(kSeed), kernel_(kernel), stop_(stop) {}

    void run() {
        for (uint32_t count = 0; !stop_; ++count) {
            where_.at("pause");
            std::this_thread::sleep_for(std::chrono::milliseconds(20 + random_() % 200));
            if (count % kDetourEvery == kDetourEvery - 1) {
                reset("reset to 3", kDetourLevel);
                where_.at("pause at 3");
                std::this_thread::sleep_for(std::chrono::milliseconds(random_() % 100));
            }
            reset("reset to 22", kHighest);
        }
        where_.finished();
    }

private:
    // Every reset invalidates the session it came from: each has a fresh one.
    void reset(const char* name, uint32_t level) {
        kal::sim::Session session = open(kernel_);
        if (!session) return;
        requests::kdut_reset::Input input{};
        input.targetLevel = level;
        call<requests::kdut_reset>(name, session, input);
        ++findings_.resets;
    }

    std::mt19937 random_;
    kal::sim::Kernel& kernel_;
    const std::atomic<bool>& stop_;
};

// The board with both FPGAs configured from power-up, the module loaded and the device added with
// the whole bring-up: everything the kernel layer counts lives and dies with it.
class Rig {
public:
    static board::ProductOptions configuredFpgas() {
        board::ProductOptions options;
        options.fpga.configuredAtStart = stowly::builtInFpgaSignatures();
        return options;
    }

    Rig() : blocks_(board::installProduct(board_, configuredFpgas())) {
        // Every reset would add to the access log; nothing here reads it.
        board_.log().setEnabled(false);
        const board::FlashImage image = board::FlashImage::standard();
        std::memcpy(flash, image.data() + kFlashOffset, kFlashCount);
        plan_.fakeDownloads();
    }

    // The bring-up to 22.
    void add() {
        ASSERT_EQ(kernel.load(), 0);
        function_ = &kernel.plug(board_);
        TolvaneDevice::setBringUpPlan(&plan_);
        ASSERT_EQ(kernel.addDevice(*function_), 0);
        TolvaneDevice::setBringUpPlan(nullptr);
        ASSERT_EQ(device().getSetupTracker().reached, int32_t(kHighest));
    }
    void remove() { kernel.removeDevice(*function_); }
    void deleteAndUnload() {
        kernel.deleteDevice(*function_);
        kernel.unload();
    }

    TolvaneDevice& device() {
        return *static_cast<TolvaneDevice*>(static_cast<nKZAPAL000::tDevice*>(kernel.device(*function_)));
    }

    // The isolated side's access log grows with every bring-up; nothing here reads it.
    void dropIsolatedLog() {
        std::unique_lock<board::BoardLock> guard(blocks_.nonIsolatedFpga.boardLock());
        blocks_.nonIsolatedFpga.isolatedLink().clearLog();
    }

    // Nothing the workers took is held any more: a new session reserves all four channels, no
    // channel is reserved for ganging, no route is in the resources, no routing mux of the board
    // connects an input, no DMA stream runs, no page is pinned.
    // Messages name `when` rather than a trace: gtest keeps the trace stack it would grow, and the
    // count of live allocations covers the whole process.
    void expectNothingHeld(const char* when) {
        kal::sim::Session session = kernel.open(TolvaneDevice::kInterfaceName);
        ASSERT_TRUE(session) << when;
        EXPECT_EQ(requests::status<requests::kdut_reserveResources>(session, {0xF, 0, 0}), 0) << when;
        for (uint8_t channel = 0; channel < kChannels; ++channel) {
            const auto reserved =
                requests::send<requests::channelGanging_isCurrentChannelGangingReserved>(session, {channel, {}, 0});
            EXPECT_EQ(reserved.output.status, 0) << when << ": channel " << int(channel);
            EXPECT_EQ(reserved.output.value, 0u) << when << ": a gang on channel " << int(channel);
        }
        kzark::RoutingResourcesManager* manager = device().getHelper()->getRoutingResourcesManager();
        ASSERT_NE(manager, nullptr) << when;
        auto* resources = static_cast<kzark::RoutingResources*>(manager->getRoutingResources());
        ASSERT_NE(resources, nullptr) << when;
        EXPECT_EQ(resources->routeDatabase().size(), 0u) << when;
        EXPECT_EQ(routingtest::routedMuxes(blocks_.nonIsolatedFpga), std::vector<std::string>{}) << when;
        for (unsigned stream = 0; stream < QuolinDMAControllers::kStreamCount; ++stream)
            EXPECT_FALSE(blocks_.dma.channel(stream).running) << when << ": stream " << stream;
        // The streams keep their link memory while the device lives; what sessions brought is gone.
        for (const kal::sim::DMAFault& fault : kal::sim::takeDMAFaults())
            ADD_FAILURE() << when << ": DMA fault " << kal::sim::dmaFaultText(fault.kind);
        EXPECT_EQ(kal::sim::dmaState().pinnedPages, 0u) << when;
    }

    uint8_t flash[kFlashCount] = {};
    kal::sim::Kernel kernel;

private:
    board::Board board_{board::productIdentity()};
    board::ProductBlocks blocks_;
    BringUpPlan plan_;
    kal::sim::PciFunction* function_ = nullptr;
};

void report(const Findings& findings) {
    EXPECT_EQ(findings.unexpected, 0u) << "first: " << findings.firstUnexpected << " from " << findings.firstCall()
                                       << ", seed " << kSeed;
    EXPECT_EQ(findings.servedAfterClose, 0u) << "seed " << kSeed;
    std::printf("every family: %llu calls, %llu rounds, %llu resets, seed 0x%X\n",
                static_cast<unsigned long long>(findings.calls.load()),
                static_cast<unsigned long long>(findings.rounds.load()),
                static_cast<unsigned long long>(findings.resets.load()), kSeed);
    printAllowed(kAllowedStatuses, findings.counts);
    EXPECT_GT(findings.counts[0], 0u) << "nothing was served, seed " << kSeed;
}

}  // namespace

TEST(Stress, FourSessionsOnEveryFamilyAndResetsAt22UntilRemovalAndUnload) {
    kal::sim::ScopedRealTime realTime;
    const kal::sim::LiveObjects before = kal::sim::liveObjects();
    Findings findings;
    // The workers, the reset thread, then the main thread.
    constexpr size_t kThreads = kChannels + 2;
    static constexpr const char* kNames[kThreads] = {"worker 0", "worker 1", "worker 2",
                                                     "worker 3", "resetter", "main"};
    std::array<Whereabouts, kThreads> where;
    Whereabouts& main = where[kThreads - 1];
    {
        Rig rig;
        rig.add();
        if (::testing::Test::HasFatalFailure()) return;
        TolvaneDevice& device = rig.device();
        Watchdog<kThreads> watchdog(where, kNames, kStall, kSeed);
        std::atomic<bool> stop{false};
        std::vector<std::thread> threads;
        const auto startWorkers = [&] {
            for (unsigned c = 0; c < kChannels; ++c) {
                threads.emplace_back(
                    [&, c] { Worker(c, rig.kernel, device, rig.flash, findings, where[c], stop).run(); });
            }
        };
        const auto stopAll = [&] {
            stop = true;
            main.at("joining the workers");
            for (std::thread& thread : threads) thread.join();
            threads.clear();
            stop = false;
        };
        startWorkers();
        threads.emplace_back([&] { Resetter(rig.kernel, device, findings, where[kChannels], stop).run(); });
        for (auto start = std::chrono::steady_clock::now(); std::chrono::steady_clock::now() - start < kRun;) {
            main.at("letting the workers run");
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            rig.dropIsolatedLog();
        }
        stopAll();

        main.at("checking what is held");
        rig.expectNothingHeld("after the workers closed their sessions");
        {
            kal::sim::Session session = rig.kernel.open(TolvaneDevice::kInterfaceName);
            ASSERT_TRUE(session);
            requests::kdut_reset::Input input{};
            input.targetLevel = kHighest;
            ASSERT_EQ(requests::status<requests::kdut_reset>(session, input), 0);
        }
        rig.expectNothingHeld("after a reset to 22");

        // Removal with the workers' requests in flight: it waits for them, then refuses the rest.
        startWorkers();
        main.at("letting the workers run");
        std::this_thread::sleep_for(kBeforeRemoval);
        main.at("removing the device");
        rig.remove();
        EXPECT_EQ(device.getIOState(), Device::kIOStateClosed);
        main.at("letting the workers run");
        std::this_thread::sleep_for(kAfterRemoval);
        stopAll();
        main.finished();
        EXPECT_EQ(device.getIOReferenceCount(), 0u);
        EXPECT_EQ(device.getOpenSessionCount(), 0u);
        rig.deleteAndUnload();
    }
    EXPECT_EQ(kal::sim::liveObjects(), before) << kal::sim::describe(kal::sim::liveObjects());
    report(findings);
}

// The cleanup request destroys the session's routing session while another thread of the same
// session is inside a routing request: that request finishes on the routing session it started
// with, and the next one finds none (-52020). Round after round, with the cleanup at a random
// moment of the other thread's calculations and destructions.
TEST(Stress, ACleanupRequestWhileTheSameSessionRoutesOnAnotherThread) {
    constexpr int kRounds = 200;
    constexpr int64_t kNoRoutingSession = -52020;
    kal::sim::ScopedRealTime realTime;
    Rig rig;
    rig.add();
    if (::testing::Test::HasFatalFailure()) return;
    std::mt19937 random(kSeed);
    std::atomic<int64_t> unexpected{0};
    for (int round = 0; round < kRounds && unexpected == 0; ++round) {
        kal::sim::Session session = rig.kernel.open(TolvaneDevice::kInterfaceName);
        ASSERT_TRUE(session);
        std::atomic<bool> started{false};
        std::thread router([&] {
            RoutingMemory memory(0);
            kal::sim::UserMemory user(&memory, sizeof memory);
            for (;;) {
                const auto calculated =
                    requests::send<requests::routing_calculateRoute>(session, memory.calculation(1)).output;
                started = true;
                if (calculated.status == kNoRoutingSession) return;
                if (calculated.status != 0) return void(unexpected = calculated.status);
                for (uint32_t i = 0; i < calculated.count && i < kRouteCapacity; ++i) {
                    const int64_t destroyed =
                        requests::status<requests::routing_destroyRoute>(session, {memory.routes[i].routeId, 0});
                    if (destroyed != 0 && destroyed != kNoRoutingSession) return void(unexpected = destroyed);
                }
            }
        });
        while (!started) std::this_thread::yield();
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 500));
        EXPECT_EQ(requests::status<requests::kdut_cleanup>(session, {}), 0) << "round " << round;
        router.join();
    }
    EXPECT_EQ(unexpected, 0);
    rig.remove();
    rig.deleteAndUnload();
}
