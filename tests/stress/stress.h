// What the stress tests share: the table of statuses a request may end with, the register-map,
// flash-window and storage-map requests with the caller memory they need, and a watchdog that
// aborts a run whose threads stop moving, naming what each was doing.
#pragma once

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

#include "kal/sim/harness.h"
#include "kzkal/driver.h"
#include "kzapal/protons/statusCodes.h"
#include "kzvorn_shared/setupLevel.h"
#include "stress/requests.h"

namespace stress {

constexpr int64_t kInvalidated = KZ_DEVICE_CODE(0xBFFA9179);

// A status a request may end with, and why.
struct AllowedStatus {
    int64_t code;
    const char* why;
};

// The entry of `code` in a table, or `count` when it has none.
template <size_t kCount>
size_t allowedIndex(const AllowedStatus (&table)[kCount], int64_t code) {
    for (size_t i = 0; i < kCount; ++i)
        if (table[i].code == code) return i;
    return kCount;
}

// What went wrong, kept without allocating so the leak count stays the driver's (the driver's
// allocator serves the whole process).
template <size_t kAllowedCount>
struct Tally {
    std::atomic<uint64_t> calls{0};
    std::atomic<uint64_t> counts[kAllowedCount] = {};
    std::atomic<uint64_t> unexpected{0};
    std::atomic<uint64_t> servedAfterClose{0};
    std::atomic<int64_t> firstUnexpected{0};
    std::atomic<const char*> firstUnexpectedCall{nullptr};

    // Counts a status of the table, or notes one outside it.
    void record(const AllowedStatus (&table)[kAllowedCount], const char* call, int64_t status) {
        ++calls;
        const size_t index = allowedIndex(table, status);
        if (index < kAllowedCount)
            ++counts[index];
        else
            noteUnexpected(call, status);
    }
    void noteUnexpected(const char* call, int64_t status) {
        if (unexpected++ != 0) return;
        firstUnexpected = status;
        firstUnexpectedCall = call;
    }
    const char* firstCall() const {
        const char* call = firstUnexpectedCall;
        return call != nullptr ? call : "?";
    }
};

// What an open may end with: a session, the closed gate (-52022 as the kernel layer's code), or
// no interface to open once removal has unregistered it.
constexpr int32_t kOpenResults[] = {0, -51001, KZKAL_ERR_NOT_FOUND};

template <size_t kCount>
bool among(const int32_t (&results)[kCount], int32_t result) {
    for (int32_t allowed : results)
        if (allowed == result) return true;
    return false;
}

template <size_t kCount>
void printAllowed(const AllowedStatus (&table)[kCount], const std::atomic<uint64_t> (&counts)[kCount]) {
    for (size_t i = 0; i < kCount; ++i) {
        std::printf("  %8llu  %lld  %s\n", static_cast<unsigned long long>(counts[i].load()),
                    static_cast<long long>(table[i].code), table[i].why);
    }
}

// The requests both tests send; each action sends one to three.
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

// The caller's memory the requests need: names and the buffers, registered once per thread.
struct CallerMemory {
    explicit CallerMemory(const uint8_t (&flashBytes)[kFlashCount]) {
        std::strcpy(quolin, kQuolin);
        std::strcpy(channel3, kChannel3);
        std::strcpy(flashWindow, kFlashWindow);
        std::strcpy(posc, kPosc);
        std::memcpy(flash, flashBytes, kFlashCount);
    }
    char quolin[32] = {};
    char channel3[40] = {};
    char flashWindow[16] = {};
    char posc[24] = {};
    uint8_t flash[kFlashCount] = {};
    uint8_t flashIn[kFlashCount] = {};
    uint8_t posc4[kPoscCount] = {};
};

template <class tRecord>
tRecord naming(const char* name) {
    tRecord record{};
    record.name = reinterpret_cast<uint64_t>(name);
    record.nameLength = std::strlen(name);
    return record;
}

// Marks a status slot no request filled.
constexpr int64_t kNoRequest = 1;
using Statuses = std::array<int64_t, 3>;

// The statuses of the requests of one action (neither open nor close). Every write puts back the
// bytes that are there already, so resets always find the board as it left the factory.
inline Statuses send(Action action, kal::sim::Session& session, CallerMemory& memory, std::mt19937& random) {
    Statuses statuses = {kNoRequest, kNoRequest, kNoRequest};
    switch (action) {
        case kReset: {
            requests::kdut_reset::Input input{};
            input.targetLevel = random() % (kzvorn_shared::SetupLevel::kHighest + 1);
            statuses[0] = requests::status<requests::kdut_reset>(session, input);
            break;
        }
        case kLevel:
            statuses[0] = requests::status<requests::kzvorn_getSetupLevel>(session, {});
            break;
        case kArmRead: {
            auto input = naming<requests::arm_read::Input>(memory.quolin);
            input.field = kSignatureId;
            statuses[0] = requests::status<requests::arm_read>(session, input);
            break;
        }
        case kArmSetGet: {
            auto set = naming<requests::arm_set::Input>(memory.quolin);
            set.field = kRegister450Id;
            set.value = random() & 0xFFFF;
            statuses[0] = requests::status<requests::arm_set>(session, set);
            auto get = naming<requests::arm_get::Input>(memory.quolin);
            get.field = kRegister450Id;
            statuses[1] = requests::status<requests::arm_get>(session, get);
            break;
        }
        case kArmWriteFlush: {
            auto write = naming<requests::arm_write::Input>(memory.channel3);
            write.field = kChannelRegister58;
            statuses[0] = requests::status<requests::arm_write>(session, write);
            auto flush = naming<requests::arm_flushRegister::Input>(memory.channel3);
            flush.field = kChannelRegister58;
            flush.force = 1;
            statuses[1] = requests::status<requests::arm_flushRegister>(session, flush);
            break;
        }
        case kWindowGet: {
            auto get = naming<requests::deviceWindow_get::Input>(memory.flashWindow);
            get.offset = kFlashOffset;
            get.count = kFlashCount;
            get.destination = reinterpret_cast<uint64_t>(memory.flashIn);
            statuses[0] = requests::status<requests::deviceWindow_get>(session, get);
            auto read = get;
            statuses[1] = requests::status<requests::deviceWindow_read>(session, read);
            break;
        }
        case kWindowSetFlush: {
            auto set = naming<requests::deviceWindow_set::Input>(memory.flashWindow);
            set.source = reinterpret_cast<uint64_t>(memory.flash);
            set.offset = kFlashOffset;
            set.count = kFlashCount;
            statuses[0] = requests::status<requests::deviceWindow_set>(session, set);
            auto flush = naming<requests::deviceWindow_flush::Input>(memory.flashWindow);
            flush.offset = kFlashOffset;
            flush.count = kFlashCount;
            statuses[1] = requests::status<requests::deviceWindow_flush>(session, flush);
            break;
        }
        case kStorageMapRawFlush: {
            auto raw = naming<requests::storageMap_getRaw::Input>(memory.posc);
            raw.elementCount = kPoscCount;
            raw.elementSize = 1;
            raw.buffer = reinterpret_cast<uint64_t>(memory.posc4);
            statuses[0] = requests::status<requests::storageMap_getRaw>(session, raw);
            // Puts back what it read; a failed read leaves nothing to put back.
            if (statuses[0] != 0) break;
            statuses[1] = requests::status<requests::storageMap_setRaw>(session, raw);
            statuses[2] = requests::status<requests::storageMap_flush>(
                session, naming<requests::storageMap_flush::Input>(memory.posc));
            break;
        }
        case kReserve: {
            requests::kdut_reserveResources::Input input{};
            input.mask = 1u << (random() % 4);
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

// Where one thread is: the name of what it does now (null once it has finished) and how many
// steps it has taken. Names are string literals, so nothing is allocated.
struct Whereabouts {
    std::atomic<const char*> doing{"starting"};
    std::atomic<uint64_t> steps{0};

    void at(const char* what) {
        doing = what;
        ++steps;
    }
    void finished() { doing = nullptr; }
};

// Aborts the run, naming what every thread was doing, once a thread that has not finished takes
// no step for `stall`: a call that has not returned by then never will.
template <size_t kThreads>
class Watchdog {
public:
    Watchdog(std::array<Whereabouts, kThreads>& threads, const char* const (&names)[kThreads],
             std::chrono::seconds stall, uint32_t seed)
        : thread_([this, &threads, &names, stall, seed] {
              std::array<uint64_t, kThreads> seen{};
              std::array<std::chrono::steady_clock::time_point, kThreads> since;
              since.fill(std::chrono::steady_clock::now());
              std::unique_lock<std::mutex> lock(mutex_);
              while (!condition_.wait_for(lock, std::chrono::milliseconds(100), [this] { return done_; })) {
                  const auto now = std::chrono::steady_clock::now();
                  bool stalled = false;
                  for (size_t i = 0; i < kThreads; ++i) {
                      const uint64_t steps = threads[i].steps;
                      if (steps != seen[i] || threads[i].doing.load() == nullptr) {
                          seen[i] = steps;
                          since[i] = now;
                      }
                      stalled |= now - since[i] > stall;
                  }
                  if (!stalled) continue;
                  std::fprintf(stderr, "stress: a call did not return within %lld s (seed 0x%X); the threads:\n",
                               static_cast<long long>(stall.count()), seed);
                  for (size_t i = 0; i < kThreads; ++i) {
                      const char* doing = threads[i].doing;
                      std::fprintf(stderr, "  %-10s %s for %lld s\n", names[i], doing != nullptr ? doing : "finished",
                                   static_cast<long long>(
                                       std::chrono::duration_cast<std::chrono::seconds>(now - since[i]).count()));
                  }
                  std::abort();
              }
          }) {}
    ~Watchdog() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            done_ = true;
        }
        condition_.notify_all();
        thread_.join();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    std::mutex mutex_;
    std::condition_variable condition_;
    bool done_ = false;
    std::thread thread_;
};

}  // namespace stress
