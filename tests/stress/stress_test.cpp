// Eight threads on one device, in real time: they open and close sessions, send requests of every
// family the device serves (register maps, the flash window and the storage maps read, written
// and flushed; reservations, cleanups, level queries) and reset to random levels from several
// sessions at once, while the main thread finally removes the device with requests still
// arriving, then unloads the driver. Every call must return, with a status from one list; no
// request may succeed once the gate has closed; nothing may be left behind.
//
// Levels 1 to 3 run for real; the levels above are stand-ins, so that the requests of the highest
// level (reservations) pass their gates. Every write puts back the bytes that are there already,
// so resets always find the board as it left the factory.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <random>
#include <thread>

#include "board/product.h"
#include "device/tolvaneDevice.h"
#include "kal/sim/clock.h"
#include "kal/sim/faults.h"
#include "kal/sim/sync.h"
#include "kal/sim/user.h"
#include "kzRegiTools/statusCodes.h"
#include "kzapal/protons/statusCodes.h"
#include "kzkal/driver.h"
#include "stress/requests.h"
#include "stress/stress.h"

namespace {

using namespace kzvorn_driver;
using namespace stress;
using kzvorn_shared::SetupLevel;
using Device = nKZAPAL000::tDeviceCore;

constexpr uint32_t kSeed = 0x15C0FFEE;
constexpr uint32_t kThreads = 8;
constexpr uint32_t kSessionsPerThread = 3;
constexpr auto kBeforeRemoval = std::chrono::milliseconds(2000);
constexpr auto kAfterRemoval = std::chrono::milliseconds(200);
constexpr auto kResetCallInterval = std::chrono::milliseconds(100);
constexpr auto kRemovalDelay = std::chrono::milliseconds(2);
// Far beyond any call: one that has not returned by then never will.
constexpr auto kStall = std::chrono::seconds(30);

constexpr AllowedStatus kAllowedStatuses[] = {
    {0, "served"},
    {nKZAPALS100::kStatusSetupStoppedAtLevel, "a reset below the highest level, and requests above the level it left"},
    {kInvalidated, "the session was opened before a reset"},
    {nKZAPALS100::kStatusDeviceNotAcceptingIO, "removal closed the gate"},
    {KZ_DEVICE_CODE(0xBFFA4319), "a channel some session holds"},
    {kzregitools::kStatusNameNotFound, "a reset below level 3 left the registries without the level-3 names"},
};
constexpr size_t kAllowedCount = sizeof(kAllowedStatuses) / sizeof(kAllowedStatuses[0]);

// Relative weights: mostly requests, some resets.
constexpr uint32_t kWeights[kActionCount] = {6, 5, 2, 6, 8, 6, 6, 6, 4, 6, 6, 4};

struct Findings : stress::Tally<kAllowedCount> {
    std::atomic<uint64_t> sessionsAfterClose{0};
    std::atomic<uint64_t> perAction[kActionCount] = {};
};

class Worker {
public:
    Worker(uint32_t index, kal::sim::Kernel& kernel, Device& device, const uint8_t (&flash)[kFlashCount],
           Findings& findings, Whereabouts& where, const std::atomic<uint32_t>& resetCall,
           const std::atomic<bool>& stop)
        : random_(kSeed + index),
          kernel_(kernel),
          device_(device),
          findings_(findings),
          where_(where),
          resetCall_(resetCall),
          stop_(stop),
          memory_(flash) {}

    void run() {
        kal::sim::UserMemory user(&memory_, sizeof memory_);
        uint32_t total = 0;
        for (uint32_t weight : kWeights) total += weight;
        uint32_t answered = 0;
        while (!stop_) {
            // Every thread answers the main thread's call to reset at once.
            if (answered != resetCall_) {
                answered = resetCall_;
                act(kReset);
                continue;
            }
            uint32_t pick = random_() % total;
            uint32_t action = 0;
            while (pick >= kWeights[action]) pick -= kWeights[action++];
            act(static_cast<Action>(action));
        }
        where_.at("closing");
        for (kal::sim::Session& session : sessions_) session.close();
        where_.finished();
    }

private:
    bool gateClosed() const { return device_.getIOState() == Device::kIOStateClosed; }

    kal::sim::Session* anySession() {
        kal::sim::Session& session = sessions_[random_() % kSessionsPerThread];
        return session ? &session : nullptr;
    }

    void act(Action action) {
        if (action == kOpen) return open();
        kal::sim::Session* session = anySession();
        if (session == nullptr) return open();
        where_.at(kActionNames[action]);
        if (action == kClose) {
            ++findings_.perAction[kClose];
            return session->close();
        }
        const bool closedBefore = gateClosed();
        for (int64_t status : send(action, *session, memory_, random_)) {
            if (status == kNoRequest) continue;
            record(action, status, closedBefore);
            // As a user would: a session a reset invalidated is of no further use.
            if (status == kInvalidated) session->close();
        }
    }

    void open() {
        for (kal::sim::Session& session : sessions_) {
            if (session) continue;
            where_.at(kActionNames[kOpen]);
            const bool closedBefore = gateClosed();
            int32_t result = 0;
            session = kernel_.open(TolvaneDevice::kInterfaceName, &result);
            ++findings_.calls;
            ++findings_.perAction[kOpen];
            if (!among(kOpenResults, result)) findings_.noteUnexpected(kActionNames[kOpen], result);
            if (closedBefore && session) ++findings_.sessionsAfterClose;
            // Once removal has unregistered the interface, opening fails at once: let the others run.
            if (!session) std::this_thread::yield();
            return;
        }
    }

    void record(Action action, int64_t status, bool closedBefore) {
        ++findings_.perAction[action];
        if (closedBefore && status != nKZAPALS100::kStatusDeviceNotAcceptingIO) ++findings_.servedAfterClose;
        findings_.record(kAllowedStatuses, kActionNames[action], status);
    }

    std::mt19937 random_;
    kal::sim::Kernel& kernel_;
    Device& device_;
    Findings& findings_;
    Whereabouts& where_;
    const std::atomic<uint32_t>& resetCall_;
    const std::atomic<bool>& stop_;
    CallerMemory memory_;
    std::array<kal::sim::Session, kSessionsPerThread> sessions_;
};

}  // namespace

TEST(Stress, EightThreadsOnOneDeviceUntilRemovalAndUnload) {
    kal::sim::ScopedRealTime realTime;
    const int64_t allocations = kal::sim::liveAllocations();
    const int64_t mutexes = kal::sim::liveMutexes();
    const int64_t spinLocks = kal::sim::liveSpinLocks();
    Findings findings;
    {
        board::Board board(board::productIdentity());
        board::installProduct(board);
        // Thousands of resets would make the access log huge; nothing here reads it.
        board.log().setEnabled(false);
        const board::FlashImage image = board::FlashImage::standard();
        uint8_t flash[kFlashCount];
        std::memcpy(flash, image.data() + kFlashOffset, kFlashCount);

        BringUpPlan plan;
        plan.fakeLevels(4, SetupLevel::kHighest, BringUpPlan::kSucceed);
        kal::sim::Kernel kernel;
        ASSERT_EQ(kernel.load(), 0);
        kal::sim::PciFunction& function = kernel.plug(board);
        TolvaneDevice::setBringUpPlan(&plan);
        ASSERT_EQ(kernel.addDevice(function), 0);
        TolvaneDevice::setBringUpPlan(nullptr);
        auto& device = *static_cast<Device*>(static_cast<nKZAPAL000::tDevice*>(kernel.device(function)));
        ASSERT_EQ(device.getIOState(), Device::kIOStateOpen);

        std::atomic<uint32_t> resetCall{0};
        std::atomic<bool> stop{false};
        {
            // The workers, then the main thread.
            std::array<Whereabouts, kThreads + 1> where;
            static constexpr const char* kNames[kThreads + 1] = {"worker 0", "worker 1", "worker 2", "worker 3",
                                                                 "worker 4", "worker 5", "worker 6", "worker 7",
                                                                 "main"};
            Whereabouts& main = where[kThreads];
            Watchdog<kThreads + 1> watchdog(where, kNames, kStall, kSeed);
            std::array<std::thread, kThreads> threads;
            for (uint32_t i = 0; i < kThreads; ++i) {
                threads[i] = std::thread(
                    [&, i] { Worker(i, kernel, device, flash, findings, where[i], resetCall, stop).run(); });
            }
            for (auto start = std::chrono::steady_clock::now();
                 std::chrono::steady_clock::now() - start < kBeforeRemoval;) {
                main.at("calling the workers to reset");
                std::this_thread::sleep_for(kResetCallInterval);
                ++resetCall;
            }
            // Into the resets the last call started.
            std::this_thread::sleep_for(kRemovalDelay);
            main.at("removing the device");
            kernel.removeDevice(function);
            EXPECT_EQ(device.getIOState(), Device::kIOStateClosed) << "seed " << kSeed;
            std::this_thread::sleep_for(kAfterRemoval);
            stop = true;
            main.at("joining the workers");
            for (std::thread& thread : threads) thread.join();
            main.finished();
        }
        EXPECT_EQ(device.getIOReferenceCount(), 0u) << "seed " << kSeed;
        EXPECT_EQ(device.getOpenSessionCount(), 0u) << "seed " << kSeed;
        kernel.deleteDevice(function);
        kernel.unload();
    }
    EXPECT_EQ(kal::sim::liveAllocations(), allocations) << "seed " << kSeed;
    EXPECT_EQ(kal::sim::liveMutexes(), mutexes) << "seed " << kSeed;
    EXPECT_EQ(kal::sim::liveSpinLocks(), spinLocks) << "seed " << kSeed;

    EXPECT_EQ(findings.unexpected, 0u) << "first: " << findings.firstUnexpected << " from " << findings.firstCall()
                                       << ", seed " << kSeed;
    EXPECT_EQ(findings.servedAfterClose, 0u) << "seed " << kSeed;
    EXPECT_EQ(findings.sessionsAfterClose, 0u) << "seed " << kSeed;
    std::printf("stress: %llu calls, seed 0x%X\n", static_cast<unsigned long long>(findings.calls.load()), kSeed);
    for (size_t i = 0; i < kActionCount; ++i) {
        std::printf("%s%s %llu", i == 0 ? " " : ", ", kActionNames[i],
                    static_cast<unsigned long long>(findings.perAction[i].load()));
    }
    std::printf("\n");
    printAllowed(kAllowedStatuses, findings.counts);
    EXPECT_GT(findings.counts[0], 0u) << "nothing was served, seed " << kSeed;
}
