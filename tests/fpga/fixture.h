// The product board with a device added over it and a session on "smu_kzvorn". The device is added
// with the image download faked, so that each test's own reset (through the envelope, as user mode
// sends it) makes the load it looks at.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "board/bar0Map.h"
#include "board/product.h"
#include "device/tolvaneDevice.h"
#include "kal/sim/harness.h"
#include "kal/sim/user.h"
#include "kzapalcodegen/ioctlRecords.h"
#include "kzvorn_driver_codegen/customResetParameters.h"
#include "tools/stowly/stowlyData.h"

namespace fpgatest {

using namespace kzvorn_driver;
using kzvorn_driver_codegen::CustomResetParameters;
using nKZAPALS100::tStatus;
using Port = board::FpgaConfigurationPort;

constexpr uint32_t kGetSetupLevel = 0x00202B00;
constexpr uint32_t kReset = 0x00208600;
constexpr int32_t kStoppedAtTarget = -52010;
constexpr uint32_t kTargetSignature = 0x5EC0DE01;
constexpr uint64_t kImageSize = stowly::kNisoFpgaImageSize;

constexpr int32_t deviceCode(uint32_t code) { return static_cast<int32_t>(code); }

// A replacement image in the caller's memory.
struct CallerImage {
    explicit CallerImage(std::vector<uint8_t> image) : bytes(std::move(image)), memory(bytes.data(), bytes.size()) {}
    uint64_t address() const { return reinterpret_cast<uint64_t>(bytes.data()); }
    std::vector<uint8_t> bytes;
    kal::sim::UserMemory memory;
};

inline CustomResetParameters nisoRecord(uint64_t address, uint64_t size) {
    CustomResetParameters record{};
    record.nisoFpgaImage = address;
    record.nisoFpgaImageSize = size;
    return record;
}

// The download's traffic in the access log, one entry a line: writes of the load registers and
// of the bus routing ("0x510 := 0x200"), the load status reads ("read 0x448"), and IO port 2's
// register accesses decoded from the switched bus interface's handshake ("port 0x00 := 0x1",
// "port read 0x00"). A run of the same entry folds into one.
inline std::vector<std::string> downloadTrace(const board::AccessLog& log) {
    using board::Direction;
    constexpr uint64_t kControl = board::bar0::kSwitchedBusInterface + board::SwitchedBusInterface::kControl;
    constexpr uint64_t kData = board::bar0::kSwitchedBusInterface + board::SwitchedBusInterface::kData;
    std::vector<std::string> trace;
    uint64_t data = 0;
    char text[64] = {};
    for (const board::Access& a : log.entries()) {
        if (a.bar != 0) continue;
        const bool write = a.direction == Direction::Write;
        text[0] = '\0';
        if (write && a.offset == kData) {
            data = a.value;
        } else if (write && a.offset == kControl && (a.value & board::SwitchedBusInterface::kWriteStrobe) != 0) {
            std::snprintf(text, sizeof text, "port 0x%02X := 0x%llX", static_cast<unsigned>(a.value >> 24),
                          static_cast<unsigned long long>(data));
        } else if (write && a.offset == kControl && (a.value & board::SwitchedBusInterface::kReadStrobe) != 0) {
            std::snprintf(text, sizeof text, "port read 0x%02X", static_cast<unsigned>(a.value >> 24));
        } else if (!write && a.offset == board::bar0::kFpgaLoadStatus) {
            std::snprintf(text, sizeof text, "read 0x448");
        } else if (write && (a.offset == board::bar0::kFpgaLoadControl || a.offset == board::bar0::kFpgaLoadSize ||
                             a.offset == board::bar0::kFpgaPortSelect || a.offset == board::bar0::kBusRouting)) {
            std::snprintf(text, sizeof text, "0x%llX := 0x%llX", static_cast<unsigned long long>(a.offset),
                          static_cast<unsigned long long>(a.value));
        }
        if (text[0] != '\0' && (trace.empty() || trace.back() != text)) trace.push_back(text);
    }
    return trace;
}

class Level4 : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(kernel_.load(), 0); }

    // The device stands at level 4 (faked) with nothing loaded; the next bring-up runs level 4 for
    // real. The log starts after the add.
    void add(const board::ProductOptions& options = {}) {
        board_ = std::make_unique<board::Board>(board::productIdentity());
        blocks_ = std::make_unique<board::ProductBlocks>(board::installProduct(*board_, options));
        function_ = &kernel_.plug(*board_);
        plan_.fakeDownloads();
        // Level 5 would meet an FPGA that was never configured: the device stops below it.
        plan_.fake(kStepNonIsolatedObjects, BringUpPlan::kFail, nKZAPALS100::kStatusFeatureNotSupported);
        TolvaneDevice::setBringUpPlan(&plan_);
        ASSERT_EQ(kernel_.addDevice(*function_), 0);
        TolvaneDevice::setBringUpPlan(nullptr);
        plan_.fake(kStepNisoFirmware, BringUpPlan::kReal);
        plan_.fake(kStepNonIsolatedObjects, BringUpPlan::kReal);
        ASSERT_EQ(tracker().reached, 4);
        board_->log().clear();
    }

    TolvaneDevice* device() {
        return static_cast<TolvaneDevice*>(static_cast<nKZAPAL000::tDevice*>(kernel_.device(*function_)));
    }
    const SetupTracker& tracker() { return device()->getSetupTracker(); }
    TolvaneHelper* helper() { return device()->getHelper(); }
    PavoRegMaps& maps() { return *helper()->getPavoObjects()->getRegMaps(); }
    Port& port() { return blocks_->fpgaPort; }
    Port::Load lastLoad() {
        const std::vector<Port::Load> loads = port().loads();
        return loads.empty() ? Port::Load{} : loads.back();
    }

    // The reset request's status, from a session of its own (a reset invalidates the one that
    // asked); the record, when given, in the caller's memory.
    int32_t reset(uint32_t target, const CustomResetParameters* record = nullptr) {
        kal::sim::Session session = kernel_.open("smu_kzvorn");
        EXPECT_TRUE(session);
        std::optional<CustomResetParameters> copy;
        std::optional<kal::sim::UserMemory> memory;
        tResetRecord input{};
        input.targetLevel = target;
        if (record != nullptr) {
            copy = *record;
            memory.emplace(&*copy, sizeof *copy);
            input.customResetParameters = reinterpret_cast<uint64_t>(&*copy);
        }
        tStatusRecord output{};
        EXPECT_EQ(session.ioctl(kReset, &input, sizeof input, &output, sizeof output).result, 0);
        return output.status;
    }
    int32_t reset(uint32_t target, const CustomResetParameters& record) { return reset(target, &record); }

    uint32_t level() {
        kal::sim::Session session = kernel_.open("smu_kzvorn");
        tValue32Record output{};
        const tStatusRecord input{};
        EXPECT_EQ(session.ioctl(kGetSetupLevel, &input, sizeof input, &output, sizeof output).result, 0);
        EXPECT_EQ(output.status, 0);
        return output.value;
    }

    std::unique_ptr<board::Board> board_;  // outlives the kernel, which removes its device last
    std::unique_ptr<board::ProductBlocks> blocks_;
    BringUpPlan plan_;
    kal::sim::Kernel kernel_;
    kal::sim::PciFunction* function_ = nullptr;
};

}  // namespace fpgatest
