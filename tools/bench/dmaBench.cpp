// DMA through the ioctl envelope on a device at the highest level: a 1 MiB buffer (256 pages) added
// to a stream's list and the list cleared again (the pages pinned, mapped for the device and
// described in the link list, then all of it undone), and a wait for a stream's byte count that
// the board's notification interrupt releases (the request, the interrupt, the deferred call that
// signals the waiter and the waiter's wake-up). No reference: the figures are the driver's
// instructions per page and per wait, from tools/bench/callgrind.sh.
#include <sched.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>

#include "benchDevice.h"
#include "benchSupport.h"
#include "board/dmaEngine.h"
#include "kzapal/protons/synchronization.h"
#include "kzapalcodegen/ioctlRecords.h"

namespace {

using namespace kzvorn_driver;

constexpr uint32_t kStartDMA = 0x00208200;
constexpr uint32_t kAddTransferFromDevice = 0x00208203;
constexpr uint32_t kWriteStreamAdditiveTransferCount = 0x00208204;
constexpr uint32_t kClearTransfers = 0x00208206;
constexpr uint32_t kWaitUntilBytesTransferred = 0x00208208;
constexpr uint32_t kCancelWaitUntilBytesTransferred = 0x00208209;
constexpr uint32_t kReserveResources = 0x00208604;

constexpr uint64_t kPage = 4096;
constexpr uint64_t kBufferPages = 256;
constexpr uint32_t kFinite = 0;
constexpr uint32_t kContinuous = 1;
// The add-and-clear stream, and the stream the waits watch: an even stream, which writes host
// memory, running over a ring of one page.
constexpr uint32_t kAddStream = 0;
constexpr uint32_t kWaitStream = 2;
constexpr uint32_t kBytesPerWait = 4096;
constexpr uint32_t kCredits = 1u << 30;

// Page-aligned memory registered as the caller's.
class CallerPages {
public:
    explicit CallerPages(uint64_t pages)
        : size_(pages * kPage),
          data_(static_cast<uint8_t*>(std::aligned_alloc(kPage, size_))),
          registered_(data_, size_) {}
    ~CallerPages() { std::free(data_); }
    uint64_t address() const { return reinterpret_cast<uint64_t>(data_); }
    uint64_t size() const { return size_; }

private:
    uint64_t size_;
    uint8_t* data_;
    kal::sim::UserMemory registered_;
};

bench::BenchDevice& device() {
    static bench::BenchDevice device(bench::highestLevelPlan());
    return device;
}

template <class tInput>
bool statusRequest(uint32_t code, const tInput& input) {
    tStatusRecord output{};
    return device().request(code, input, output);
}

bool addAndClear() {
    static CallerPages buffer(kBufferPages);
    return statusRequest(kAddTransferFromDevice,
                         tTransferFromDeviceRecord{kAddStream, kFinite, buffer.address(), buffer.size(), 0, 0}) &&
           statusRequest(kClearTransfers, tStreamRecord{kAddStream, 0});
}

// The board's side of the waits: whenever the stream's notification is armed at a position the
// count has not reached, the engine moves the bytes up to it, as the hardware would once data came.
// A wait that no armed notification answers for seconds is cancelled, so that the benchmark stops
// with an error rather than hanging.
class Pump {
public:
    Pump() : thread_([this] { run(); }) {}
    ~Pump() {
        quit_ = true;
        thread_.join();
    }
    void waiting(bool on) { waiting_ = on; }

private:
    void run() {
        board::DmaEngine& engine = device().blocks().dma;
        auto idleSince = std::chrono::steady_clock::now();
        while (!quit_) {
            const board::DmaEngine::Channel channel = engine.channel(kWaitStream);
            if (channel.armed && channel.count < channel.position) {
                engine.pump(kWaitStream, channel.position - channel.count);
                idleSince = std::chrono::steady_clock::now();
                continue;
            }
            if (!waiting_) idleSince = std::chrono::steady_clock::now();
            if (std::chrono::steady_clock::now() - idleSince > std::chrono::seconds(10)) {
                statusRequest(kCancelWaitUntilBytesTransferred, tStreamRecord{kWaitStream, 0});
                idleSince = std::chrono::steady_clock::now();
            }
            sched_yield();
        }
    }

    std::atomic<bool> quit_{false};
    std::atomic<bool> waiting_{false};
    std::thread thread_;
};

class Waits {
public:
    explicit Waits(Pump& pump) : pump_(pump) {}

    bool start() {
        return statusRequest(kAddTransferFromDevice,
                             tTransferFromDeviceRecord{kWaitStream, kContinuous, ring_.address(), ring_.size(), 0, 0}) &&
               statusRequest(kStartDMA, tStartDMARecord{kWaitStream, 1, {}, 0}) &&
               statusRequest(kWriteStreamAdditiveTransferCount, tStreamCountRecord{kWaitStream, kCredits, 0});
    }

    // One wait for the next kBytesPerWait bytes; the pump moves them once the wait has armed the
    // notification.
    bool wait() {
        if (position_ + kBytesPerWait > kCredits) return false;
        tWaitRecord input{};
        input.stream = kWaitStream;
        input.startPosition = position_;
        input.byteCount = kBytesPerWait;
        input.timeout = nKZAPAL000::kWaitNoLimit;
        tValue8Record output{};
        pump_.waiting(true);
        const bool released = device().request(kWaitUntilBytesTransferred, input, output) && output.value == 0;
        pump_.waiting(false);
        position_ += kBytesPerWait;
        return released;
    }

private:
    Pump& pump_;
    CallerPages ring_{1};
    uint64_t position_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    if (!device().ok() || device().level() != kzvorn_shared::SetupLevel::kHighest) {
        std::fprintf(stderr, "dma-bench: the device did not reach the highest level\n");
        return 1;
    }
    if (!statusRequest(kReserveResources, tMaskRecord{0xF, 0, 0})) {
        std::fprintf(stderr, "dma-bench: the channels could not be reserved\n");
        return 1;
    }
    Pump pump;
    Waits waits(pump);
    if (!waits.start()) {
        std::fprintf(stderr, "dma-bench: the waits' stream did not start\n");
        return 1;
    }
    if (bench::underValgrind()) {
        const std::string addLabel = "dma-add-1MiB per=" + std::to_string(kBufferPages);
        const bool ok = bench::countInstructions(addLabel, 20, addAndClear) &&
                        bench::countInstructions("dma-wait", 200, [&] { return waits.wait(); });
        return ok ? 0 : 1;
    }
    bench::Runner runner(argc, argv, "dma-bench");
    const double add = runner.time("1 MiB buffer added and cleared", addAndClear);
    const double wait = runner.time("wait released by the board's interrupt", [&] { return waits.wait(); },
                                    bench::Clock::kWall);
    if (add > 0)
        std::printf("median: 1 MiB buffer (%llu pages) added and cleared %.1f us, %.1f ns per page\n",
                    static_cast<unsigned long long>(kBufferPages), add / 1e3, add / double(kBufferPages));
    if (wait > 0) std::printf("median: wait released by the board's interrupt %.1f us (wall)\n", wait / 1e3);
    bench::printCountGoal("DMA, a 1 MiB buffer added and cleared, per page", "no goal yet");
    bench::printCountGoal("DMA, a wait released by the board's interrupt, per wait", "no goal yet");
    return runner.exitCode();
}
