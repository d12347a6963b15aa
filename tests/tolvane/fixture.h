// The module loaded and a product board plugged; add device through the kernel's callback, with
// a bring-up plan that fakes the levels a test does not look at.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "board/product.h"
#include "device/tolvaneDevice.h"
#include "kal/sim/faults.h"
#include "kal/sim/harness.h"
#include "kal/sim/publication.h"
#include "kal/sim/user.h"
#include "kzvorn_driver_codegen/customResetParameters.h"
#include "stress/requests.h"
#include "tools/stowly/stowlyData.h"

namespace tolvanetest {

using namespace kzvorn_driver;
using fendrelsharedsource::KernelSession;
using nKZAPAL000::tEventDescriptor;
using nKZAPAL000::tSession;
using nKZAPALS100::tStatus;

struct Recorder : BringUpObserver {
    void onTeardownStep(TeardownStep step) override { teardown.push_back(step); }
    std::vector<uint32_t> teardown;
};

// A reset's custom record in the caller's memory, with a list of errors to disable.
struct CallerRecord {
    explicit CallerRecord(std::vector<uint64_t> list) : errors(std::move(list)) {
        if (!errors.empty()) listMemory = std::make_unique<kal::sim::UserMemory>(errors.data(), errors.size() * 8);
        record.disabledErrors = errors.empty() ? 0 : reinterpret_cast<uint64_t>(errors.data());
        record.disabledErrorCount = errors.size();
    }
    uint64_t address() { return reinterpret_cast<uint64_t>(&record); }

    std::vector<uint64_t> errors;
    std::unique_ptr<kal::sim::UserMemory> listMemory;
    kzvorn_driver_codegen::CustomResetParameters record{};
    kal::sim::UserMemory recordMemory{&record, sizeof record};
};

class Tolvane : public ::testing::Test {
protected:
    // Every level real but the two image downloads, which the board's FPGAs, configured from the
    // start, do not need.
    Tolvane() : blocks_(board::installProduct(board_, configuredFpgas())), window_(blocks_.window) {
        plan_.observer = &recorder_;
        plan_.fakeDownloads();
    }

    static board::ProductOptions configuredFpgas() {
        board::ProductOptions options;
        options.fpga.configuredAtStart = stowly::builtInFpgaSignatures();
        return options;
    }

    void SetUp() override {
        ASSERT_EQ(kernel_.load(), 0);
        function_ = &kernel_.plug(board_);
    }

    int32_t add(bool whateverTheIDTable = false) {
        TolvaneDevice::setBringUpPlan(&plan_);
        const int32_t result = kernel_.addDevice(*function_, whateverTheIDTable);
        TolvaneDevice::setBringUpPlan(nullptr);
        return result;
    }

    TolvaneDevice* device() {
        void* slot = kernel_.device(*function_);
        return slot == nullptr ? nullptr : static_cast<TolvaneDevice*>(static_cast<nKZAPAL000::tDevice*>(slot));
    }
    const SetupTracker& tracker() { return device()->getSetupTracker(); }

    static KernelSession* sessionOf(kal::sim::Session& session) {
        return static_cast<KernelSession*>(static_cast<tSession*>(session.handle()));
    }

    // The admission of one request of the session that needs `level`.
    int64_t admit(kal::sim::Session& session, int32_t level) {
        tStatus status;
        kdut::AutoIOGate<kzvorn_shared::SetupLevel, KernelSession> gate(*device(), sessionOf(session), tracker(),
                                                                        level, status);
        return status.code;
    }

    int64_t reset(kal::sim::Session& session, int32_t target, uint64_t record = 0) {
        tStatus status;
        tEventDescriptor event{static_cast<tSession*>(session.handle())};
        device()->reset(event, target, record, status);
        return status.code;
    }
    // A reset request from a session of its own, with the record when one is given.
    int64_t resetTo(int32_t target, CallerRecord* record = nullptr) {
        kal::sim::Session session = kernel_.open("smu_kzvorn");
        EXPECT_TRUE(session);
        return reset(session, target, record != nullptr ? record->address() : 0);
    }

    std::vector<std::string> liveInterfaceNames() {
        std::vector<std::string> names;
        for (const auto& i : kal::sim::interfaces())
            if (i.live) names.push_back(i.name);
        return names;
    }

    board::Board board_{board::productIdentity()};
    board::ProductBlocks blocks_;
    board::BridgeWindow& window_;
    BringUpPlan plan_;
    Recorder recorder_;
    kal::sim::Kernel kernel_;
    kal::sim::PciFunction* function_ = nullptr;
};

// The reset and setup-level requests through the ioctl envelope, as user mode sends them.
inline int64_t resetRequest(kal::sim::Session& session, uint32_t target) {
    requests::kdut_reset::Input input{};
    input.targetLevel = target;
    return requests::status<requests::kdut_reset>(session, input);
}

inline int64_t levelRequest(kal::sim::Session& session, uint32_t* level = nullptr) {
    const auto reply = requests::send<requests::kzvorn_getSetupLevel>(session, {});
    if (level != nullptr) *level = reply.output.value;
    return reply.result != 0 ? reply.result : reply.output.status;
}

inline std::string text(const kal::sim::RegisteredProperty& property) {
    return property.value.empty() ? std::string() : std::string(reinterpret_cast<const char*>(property.value.data()));
}

inline uint32_t number(const kal::sim::RegisteredProperty& property) {
    uint32_t value = 0;
    std::memcpy(&value, property.value.data(), std::min<size_t>(4, property.value.size()));
    return value;
}

}  // namespace tolvanetest
