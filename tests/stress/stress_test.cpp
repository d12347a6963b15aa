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

namespace {

using namespace kzvorn_driver;
using kzvorn_shared::SetupLevel;
using Device = nKZAPAL000::tDeviceCore;

constexpr uint32_t kSeed = 0x15C0FFEE;
constexpr int64_t kInvalidated = KZ_DEVICE_CODE(0xBFFA9179);
constexpr uint32_t kThreads = 8;
constexpr uint32_t kSessionsPerThread = 3;
constexpr auto kBeforeRemoval = std::chrono::milliseconds(2000);
constexpr auto kAfterRemoval = std::chrono::milliseconds(200);
constexpr auto kResetCallInterval = std::chrono::milliseconds(100);
constexpr auto kRemovalDelay = std::chrono::milliseconds(2);
// Far beyond any run: a call that has not returned by then never will.
constexpr auto kDeadline = std::chrono::seconds(30);

// Every status a request of this test may end with, and why.
struct AllowedStatus {
    int64_t code;
    const char* why;
};
constexpr AllowedStatus kAllowedStatuses[] = {
    {0, "served"},
    {nKZAPALS100::kStatusSetupStoppedAtLevel, "a reset below the highest level, and requests above the level it left"},
    {kInvalidated, "the session was opened before a reset"},
    {nKZAPALS100::kStatusDeviceNotAcceptingIO, "removal closed the gate"},
    {KZ_DEVICE_CODE(0xBFFA4319), "a channel some session holds"},
    {kzregitools::kStatusNameNotFound, "a reset below level 3 left the registries without the level-3 names"},
};
constexpr size_t kAllowedCount = sizeof(kAllowedStatuses) / sizeof(kAllowedStatuses[0]);

// What an open may end with: a session, the closed gate (-52022 as the kernel layer's code), or
// no interface to open once removal has unregistered it.
constexpr int32_t kOpenResults[] = {0, -51001, KZKAL_ERR_NOT_FOUND};

bool allowedOpen(int32_t result) {
    for (int32_t allowed : kOpenResults)
        if (allowed == result) return true;
    return false;
}

enum Action : uint32_t {
    kOpen,
    kClose,
    kReset,
    kLevel,
    kArmRead,
    kArmSetGet,
    kArmWriteFlush,
    kWindowGet,
    kWindowSetFlush,
    kStorageMapRawFlush,
    kReserve,
    kCleanup,
    kActionCount
};
constexpr const char* kActionNames[kActionCount] = {
    "open",       "close",            "reset",                 "level",   "arm read", "arm set/get", "arm write/flush",
    "window get", "window set/flush", "storage map raw/flush", "reserve", "cleanup",
};
// Relative weights: mostly requests, some resets.
constexpr uint32_t kWeights[kActionCount] = {6, 5, 2, 6, 8, 6, 6, 6, 4, 6, 6, 4};

constexpr const char* kQuolin = "Quolin_Ver23.3.0f121";
constexpr const char* kChannel3 = "QuolinDMAChannel3_Ver23.3.0f121";
constexpr const char* kFlashWindow = "flashWindow";
constexpr const char* kPosc = "Posc_Ver1.0.0d0";
constexpr uint32_t kSignatureId = 0xC0000000;
constexpr uint32_t kRegister450Id = 0x80000450;
constexpr uint32_t kChannelRegister58 = 0x58;
constexpr uint64_t kFlashOffset = 0x100;
constexpr uint64_t kFlashCount = 16;
constexpr uint64_t kPoscCount = 4;

// What went wrong, kept without allocating so the leak count stays the driver's.
struct Findings {
    std::atomic<uint64_t> calls{0};
    std::atomic<uint64_t> counts[kAllowedCount] = {};
    std::atomic<uint64_t> unexpected{0};
    std::atomic<uint64_t> servedAfterClose{0};
    std::atomic<int64_t> firstUnexpected{0};
    std::atomic<uint32_t> firstUnexpectedAction{kActionCount};
    std::atomic<uint64_t> sessionsAfterClose{0};
    std::atomic<uint64_t> perAction[kActionCount] = {};
};

// The caller's memory every request needs: names and the buffers, registered once per thread.
struct CallerMemory {
    char quolin[32];
    char channel3[40];
    char flashWindow[16];
    char posc[24];
    uint8_t flash[kFlashCount];
    uint8_t flashIn[kFlashCount];
    uint8_t posc4[kPoscCount];
};

template <class tRecord>
tRecord naming(const char* name) {
    tRecord record{};
    record.name = reinterpret_cast<uint64_t>(name);
    record.nameLength = std::strlen(name);
    return record;
}

class Worker {
public:
    Worker(uint32_t index, kal::sim::Kernel& kernel, Device& device, const uint8_t (&flash)[kFlashCount],
           Findings& findings, const std::atomic<uint32_t>& resetCall, const std::atomic<bool>& stop)
        : random_(kSeed + index),
          kernel_(kernel),
          device_(device),
          findings_(findings),
          resetCall_(resetCall),
          stop_(stop) {
        std::strcpy(memory_.quolin, kQuolin);
        std::strcpy(memory_.channel3, kChannel3);
        std::strcpy(memory_.flashWindow, kFlashWindow);
        std::strcpy(memory_.posc, kPosc);
        std::memcpy(memory_.flash, flash, kFlashCount);
    }

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
        for (kal::sim::Session& session : sessions_) session.close();
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
        if (action == kClose) {
            ++findings_.perAction[kClose];
            return session->close();
        }
        const bool closedBefore = gateClosed();
        for (int64_t status : request(action, *session)) {
            if (status == kNoRequest) continue;
            record(action, status, closedBefore);
            // As a user would: a session a reset invalidated is of no further use.
            if (status == kInvalidated) session->close();
        }
    }

    void open() {
        for (kal::sim::Session& session : sessions_) {
            if (session) continue;
            const bool closedBefore = gateClosed();
            int32_t result = 0;
            session = kernel_.open(TolvaneDevice::kInterfaceName, &result);
            ++findings_.calls;
            ++findings_.perAction[kOpen];
            if (!allowedOpen(result)) noteUnexpected(kOpen, result);
            if (closedBefore && session) ++findings_.sessionsAfterClose;
            // Once removal has unregistered the interface, opening fails at once: let the others run.
            if (!session) std::this_thread::yield();
            return;
        }
    }

    static constexpr int64_t kNoRequest = 1;
    using Statuses = std::array<int64_t, 3>;

    // The statuses of the one to three requests an action sends.
    Statuses request(Action action, kal::sim::Session& session) {
        Statuses statuses = {kNoRequest, kNoRequest, kNoRequest};
        switch (action) {
            case kReset: {
                requests::kdut_reset::Input input{};
                input.targetLevel = random_() % (SetupLevel::kHighest + 1);
                statuses[0] = requests::status<requests::kdut_reset>(session, input);
                break;
            }
            case kLevel:
                statuses[0] = requests::status<requests::kzvorn_getSetupLevel>(session, {});
                break;
            case kArmRead: {
                auto input = naming<requests::arm_read::Input>(memory_.quolin);
                input.field = kSignatureId;
                statuses[0] = requests::status<requests::arm_read>(session, input);
                break;
            }
            case kArmSetGet: {
                auto set = naming<requests::arm_set::Input>(memory_.quolin);
                set.field = kRegister450Id;
                set.value = random_() & 0xFFFF;
                statuses[0] = requests::status<requests::arm_set>(session, set);
                auto get = naming<requests::arm_get::Input>(memory_.quolin);
                get.field = kRegister450Id;
                statuses[1] = requests::status<requests::arm_get>(session, get);
                break;
            }
            case kArmWriteFlush: {
                auto write = naming<requests::arm_write::Input>(memory_.channel3);
                write.field = kChannelRegister58;
                statuses[0] = requests::status<requests::arm_write>(session, write);
                auto flush = naming<requests::arm_flushRegister::Input>(memory_.channel3);
                flush.field = kChannelRegister58;
                flush.force = 1;
                statuses[1] = requests::status<requests::arm_flushRegister>(session, flush);
                break;
            }
            case kWindowGet: {
                auto get = naming<requests::deviceWindow_get::Input>(memory_.flashWindow);
                get.offset = kFlashOffset;
                get.count = kFlashCount;
                get.destination = reinterpret_cast<uint64_t>(memory_.flashIn);
                statuses[0] = requests::status<requests::deviceWindow_get>(session, get);
                auto read = get;
                statuses[1] = requests::status<requests::deviceWindow_read>(session, read);
                break;
            }
            case kWindowSetFlush: {
                auto set = naming<requests::deviceWindow_set::Input>(memory_.flashWindow);
                set.source = reinterpret_cast<uint64_t>(memory_.flash);
                set.offset = kFlashOffset;
                set.count = kFlashCount;
                statuses[0] = requests::status<requests::deviceWindow_set>(session, set);
                auto flush = naming<requests::deviceWindow_flush::Input>(memory_.flashWindow);
                flush.offset = kFlashOffset;
                flush.count = kFlashCount;
                statuses[1] = requests::status<requests::deviceWindow_flush>(session, flush);
                break;
            }
            case kStorageMapRawFlush: {
                auto raw = naming<requests::storageMap_getRaw::Input>(memory_.posc);
                raw.elementCount = kPoscCount;
                raw.elementSize = 1;
                raw.buffer = reinterpret_cast<uint64_t>(memory_.posc4);
                statuses[0] = requests::status<requests::storageMap_getRaw>(session, raw);
                // Puts back what it read; a failed read leaves nothing to put back.
                if (statuses[0] != 0) break;
                statuses[1] = requests::status<requests::storageMap_setRaw>(session, raw);
                statuses[2] = requests::status<requests::storageMap_flush>(
                    session, naming<requests::storageMap_flush::Input>(memory_.posc));
                break;
            }
            case kReserve: {
                requests::kdut_reserveResources::Input input{};
                input.mask = 1u << (random_() % 4);
                statuses[0] = requests::status<requests::kdut_reserveResources>(session, input);
                break;
            }
            case kCleanup:
                statuses[0] = requests::status<requests::kdut_cleanup>(session, {});
                break;
            default:
                break;
        }
        return statuses;
    }

    void record(Action action, int64_t status, bool closedBefore) {
        ++findings_.calls;
        ++findings_.perAction[action];
        if (closedBefore && status != nKZAPALS100::kStatusDeviceNotAcceptingIO) ++findings_.servedAfterClose;
        for (size_t i = 0; i < kAllowedCount; ++i) {
            if (kAllowedStatuses[i].code != status) continue;
            ++findings_.counts[i];
            return;
        }
        noteUnexpected(action, status);
    }

    void noteUnexpected(Action action, int64_t status) {
        if (findings_.unexpected++ != 0) return;
        findings_.firstUnexpected = status;
        findings_.firstUnexpectedAction = action;
    }

    std::mt19937 random_;
    kal::sim::Kernel& kernel_;
    Device& device_;
    Findings& findings_;
    const std::atomic<uint32_t>& resetCall_;
    const std::atomic<bool>& stop_;
    CallerMemory memory_{};
    std::array<kal::sim::Session, kSessionsPerThread> sessions_;
};

// Aborts the run, seed first, when the threads have not all returned by the deadline.
class Watchdog {
public:
    Watchdog()
        : thread_([this] {
              std::unique_lock<std::mutex> lock(mutex_);
              if (condition_.wait_for(lock, kDeadline, [this] { return done_; })) return;
              std::fprintf(stderr, "stress: calls did not return within %lld s (seed 0x%X)\n",
                           static_cast<long long>(kDeadline.count()), kSeed);
              std::abort();
          }) {}
    ~Watchdog() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            done_ = true;
        }
        condition_.notify_all();
        thread_.join();
    }

private:
    std::mutex mutex_;
    std::condition_variable condition_;
    bool done_ = false;
    std::thread thread_;
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
            Watchdog watchdog;
            std::array<std::thread, kThreads> threads;
            for (uint32_t i = 0; i < kThreads; ++i) {
                threads[i] =
                    std::thread([&, i] { Worker(i, kernel, device, flash, findings, resetCall, stop).run(); });
            }
            for (auto start = std::chrono::steady_clock::now();
                 std::chrono::steady_clock::now() - start < kBeforeRemoval;) {
                std::this_thread::sleep_for(kResetCallInterval);
                ++resetCall;
            }
            // Into the resets the last call started.
            std::this_thread::sleep_for(kRemovalDelay);
            kernel.removeDevice(function);
            EXPECT_EQ(device.getIOState(), Device::kIOStateClosed) << "seed " << kSeed;
            std::this_thread::sleep_for(kAfterRemoval);
            stop = true;
            for (std::thread& thread : threads) thread.join();
        }
        EXPECT_EQ(device.getIOReferenceCount(), 0u) << "seed " << kSeed;
        EXPECT_EQ(device.getOpenSessionCount(), 0u) << "seed " << kSeed;
        kernel.deleteDevice(function);
        kernel.unload();
    }
    EXPECT_EQ(kal::sim::liveAllocations(), allocations) << "seed " << kSeed;
    EXPECT_EQ(kal::sim::liveMutexes(), mutexes) << "seed " << kSeed;
    EXPECT_EQ(kal::sim::liveSpinLocks(), spinLocks) << "seed " << kSeed;

    EXPECT_EQ(findings.unexpected, 0u) << "first: " << findings.firstUnexpected << " from "
                                       << (findings.firstUnexpectedAction < kActionCount
                                               ? kActionNames[findings.firstUnexpectedAction]
                                               : "?")
                                       << ", seed " << kSeed;
    EXPECT_EQ(findings.servedAfterClose, 0u) << "seed " << kSeed;
    EXPECT_EQ(findings.sessionsAfterClose, 0u) << "seed " << kSeed;
    std::printf("stress: %llu calls, seed 0x%X\n", static_cast<unsigned long long>(findings.calls.load()), kSeed);
    for (size_t i = 0; i < kActionCount; ++i) {
        std::printf("%s%s %llu", i == 0 ? " " : ", ", kActionNames[i],
                    static_cast<unsigned long long>(findings.perAction[i].load()));
    }
    std::printf("\n");
    for (size_t i = 0; i < kAllowedCount; ++i) {
        std::printf("  %8llu  %lld  %s\n", static_cast<unsigned long long>(findings.counts[i].load()),
                    static_cast<long long>(kAllowedStatuses[i].code), kAllowedStatuses[i].why);
    }
    EXPECT_GT(findings.counts[0], 0u) << "nothing was served, seed " << kSeed;
}
