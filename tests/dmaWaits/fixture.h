// The interrupt path over the board: a PCI device with the board's interrupt (legacy, or MSI when
// the parameter is true), the interrupt controller and the waiter table over it, and threads that
// wait on streams in real time.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <thread>

#include "bridgeDma/streams.h"
#include "kal/sim/faults.h"
#include "kal/sim/interrupt.h"
#include "kal/sim/sync.h"
#include "kzapal/protons/pciDevice.h"
#include "kzkal/pci.h"
#include "kzkal/sync.h"
#include "quolinTools/dma/dmaInterruptController.h"
#include "quolinTools/dma/interruptController.h"

namespace dmawaits {

using bridgedma::kPage;
using bridgedma::Stream;
using dmatest::UserPages;
using kzvorn_driver::nKZAPAL000::kWaitNoLimit;
using kzvorn_driver::nKZAPAL000::tPCIDescription;
using kzvorn_driver::nKZAPAL000::tPCIDevice;
using nKZAPALS100::tStatus;
using quolintools::DMAStreamControllerInterface;
using quolintools::InterruptController;
using quolintools::QuolinDMAInterruptController;
using quolintools::SGLController;
namespace ib = board::interruptBlock;
namespace bar0 = board::bar0;
namespace dc = board::dmaChannel;

// How the bridge interrupts (the legacy line or MSI), and where the interrupt path takes the
// bridge's entries from: the queue register, or the status ring the bridge writes them into.
struct Mode {
    bool msi;
    bool ring;
};
inline void PrintTo(const Mode& mode, std::ostream* out) {
    *out << (mode.msi ? "MSI" : "legacy line") << (mode.ring ? ", status ring" : ", queue register");
}
inline std::string modeName(const ::testing::TestParamInfo<Mode>& info) {
    return std::string(info.param.msi ? "MSI" : "Legacy") + (info.param.ring ? "Ring" : "");
}
inline auto queueModes() { return ::testing::Values(Mode{false, false}, Mode{true, false}); }
inline auto allModes() {
    return ::testing::Values(Mode{false, false}, Mode{true, false}, Mode{false, true}, Mode{true, true});
}

// Polls a condition for up to five seconds.
template <class tCondition>
bool eventually(tCondition condition) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > limit) return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

// A thread in waitUntilBytesTransferred.
struct Waiter {
    std::thread thread;
    std::atomic<void*> handle{nullptr};
    std::atomic<bool> done{false};
    tStatus status;
    bool timedOut = true;

    Waiter(QuolinDMAInterruptController& table, DMAStreamControllerInterface& stream, uint32_t id, uint64_t start,
           uint64_t count, uint32_t timeout = kWaitNoLimit) {
        thread = std::thread([this, &table, &stream, id, start, count, timeout] {
            handle = nKZKAL100_getThreadHandle();
            table.waitUntilBytesTransferred(stream, id, start, count, timeout, timedOut, status);
            done = true;
        });
    }
    ~Waiter() {
        if (thread.joinable()) thread.join();
    }
    // The code the wait ended with.
    int64_t result() {
        thread.join();
        return status.code;
    }
};

// What a wait sees of its stream: a count that never moves, and how often it was read.
class FakeStream : public DMAStreamControllerInterface {
public:
    void writeStreamAdditiveTransferCount(uint32_t, tStatus&) override {}
    void setNotificationPosition(uint64_t, tStatus&) override {}
    uint64_t getTransferCount(tStatus&) override {
        if (++reads >= holdFrom)
            while (holdReads.load()) std::this_thread::yield();
        return 0;
    }
    // Runs under the waiter lock: a held stream keeps it taken.
    void enableNotification() override {
        entered = true;
        while (hold.load()) std::this_thread::yield();
    }
    void disableNotification() override {}

    std::atomic<int> reads{0};
    std::atomic<bool> hold{false};
    // Every read from the holdFrom-th on (counted from 1) waits while holdReads is set.
    std::atomic<bool> holdReads{false};
    std::atomic<int> holdFrom{2};
    std::atomic<bool> entered{false};
};

class Interrupts : public bridgedma::Streams, public ::testing::WithParamInterface<Mode> {
public:
    bool msi() const { return GetParam().msi; }
    bool ring() const { return GetParam().ring; }

    void SetUp() override {
        board_.platform().msiGranted = msi();
        Streams::SetUp();
        if (msi()) {
            ASSERT_EQ(nKZKAL230_pciRequestMSI(function_->record.pciHandle, 1), 0);
        }
        buildPCIDescription(pci_, function_->record, nullptr);
        if (msi()) pci_.interruptKind = tPCIDescription::kInterruptMSI;
        tStatus status;
        device = std::make_unique<tPCIDevice>(pci_, status);
        build(status);
        ASSERT_EQ(status.code, 0);
        board_.log().clear();
    }
    void TearDown() override {
        table.reset();
        controller.reset();
        statusRing.reset();
        device.reset();
        Streams::TearDown();
    }

    // In place: building allocates nothing of its own, so that failing the kernel's allocations
    // fails only the driver's.
    void build(tStatus& status) {
        if (ring()) {
            statusRing.emplace(base, configuration_, 8, 8, msi(), status);
            controller.emplace(*device, base, *statusRing, status);
        } else {
            controller.emplace(*device, base, status);
        }
        table.emplace(&*controller, status);
    }

    // A table that accepts waits, built again when a case destroyed it.
    void tableAcceptingWaits() {
        if (!table) {
            tStatus status;
            table.emplace(&*controller, status);
        }
        table->resumeWaits();
    }

    // A started stream on one page, its ring running with credits for `credits` bytes.
    std::unique_ptr<Stream> running(unsigned index, UserPages& user, uint32_t credits = 1 << 20) {
        auto s = stream(index);
        tStatus status;
        s->add(SGLController::kContinuousList, user.address(), kPage, status);
        s->start(status);
        s->controller.writeStreamAdditiveTransferCount(credits, status);
        EXPECT_EQ(status.code, 0);
        return s;
    }

    bool notificationEnabled(unsigned index) {
        return nKZKAL100_memoryRead32(mapped + bar0::kDmaChannels + (index << bar0::kDmaChannelStrideLog2) +
                                      dc::kControl) &
               dc::kControlNotify;
    }

    // Until this many notifiers are listed: the waiters are registered.
    bool listed(uint32_t count) {
        return eventually([&] { return controller->listedNotifiers() == count; });
    }

    tPCIDescription pci_{};
    std::unique_ptr<tPCIDevice> device;
    std::optional<kzvorn_driver::nKZAPAL000::tQuolinInterruptManagerISP> statusRing;
    std::optional<InterruptController> controller;
    std::optional<QuolinDMAInterruptController> table;
};

}  // namespace dmawaits
