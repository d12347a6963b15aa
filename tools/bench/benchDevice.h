// The product board with the driver loaded and a device added over it, and a session on
// "smu_kzvorn": requests go through the harness's ioctl envelope as user mode sends them.
#pragma once

#include <cstdint>
#include <memory>

#include "board/product.h"
#include "device/tolvaneDevice.h"
#include "kal/sim/harness.h"
#include "kal/sim/user.h"
#include "tools/stowly/stowlyData.h"

namespace bench {

class BenchDevice {
public:
    // The FPGAs start configured, so the image downloads are stand-ins; `plan` fakes what else
    // the measurement does not look at. Check ok() before use.
    explicit BenchDevice(const kzvorn_driver::BringUpPlan& plan) : plan_(plan) {
        board::ProductOptions options;
        options.fpga.configuredAtStart = stowly::builtInFpgaSignatures();
        blocks_ = std::make_unique<board::ProductBlocks>(board::installProduct(board_, options));
        if (kernel_.load() != 0) return;
        function_ = &kernel_.plug(board_);
        kzvorn_driver::TolvaneDevice::setBringUpPlan(&plan_);
        const int32_t added = kernel_.addDevice(*function_);
        kzvorn_driver::TolvaneDevice::setBringUpPlan(nullptr);
        if (added != 0) return;
        session_ = kernel_.open("smu_kzvorn");
        // Every access would otherwise be kept in the board's log.
        board_.log().setEnabled(false);
    }

    bool ok() const { return static_cast<bool>(session_); }

    kzvorn_driver::TolvaneDevice* device() {
        return static_cast<kzvorn_driver::TolvaneDevice*>(
            static_cast<kzvorn_driver::nKZAPAL000::tDevice*>(kernel_.device(*function_)));
    }
    uint32_t level() { return static_cast<uint32_t>(device()->getSetupTracker().reached); }
    kal::sim::Session& session() { return session_; }
    board::ProductBlocks& blocks() { return *blocks_; }

    // A request with its records; true when the envelope and the operation both succeeded.
    template <class tInput, class tOutput>
    bool request(uint32_t code, const tInput& input, tOutput& output) {
        const auto reply = session_.ioctl(code, &input, sizeof input, &output, sizeof output);
        return reply.result == 0 && output.status == 0;
    }

private:
    board::Board board_{board::productIdentity()};
    std::unique_ptr<board::ProductBlocks> blocks_;
    kzvorn_driver::BringUpPlan plan_;
    kal::sim::Kernel kernel_;
    kal::sim::PciFunction* function_ = nullptr;
    kal::sim::Session session_;
};

// A device at the highest level; only the two FPGA downloads are stand-ins, so that setting up
// the device costs no time that the figures could pick up.
inline kzvorn_driver::BringUpPlan highestLevelPlan() {
    kzvorn_driver::BringUpPlan plan;
    plan.fakeDownloads();
    return plan;
}

}  // namespace bench
