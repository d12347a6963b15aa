// A test device over the real platform layer, and a fixture that plays add device for it: the
// module is loaded, a board plugged, the device built, started and published.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "board/board.h"
#include "board/bridgeWindow.h"
#include "board/geographicAddress.h"
#include "board/pciConfiguration.h"
#include "kal/sim/faults.h"
#include "kal/sim/harness.h"
#include "kal/sim/publication.h"
#include "kzapal/protons/callbacks.h"
#include "kzapal/protons/memory.h"
#include "kzapal/protons/pciDevice.h"
#include "kzapal/protons/statusCodes.h"
#include "kzapal/protons/userMemory.h"
#include "kzapalcodegen/driverEntry.h"

namespace devicetest {

using namespace kzvorn_driver::nKZAPAL000;
using nKZAPALS100::tStatus;

inline board::Identity productIdentity() {
    board::Identity id;
    id.vendorId = kzvorn_driver::kPCIVendorID;
    id.deviceId = kzvorn_driver::kPCIDeviceID;
    id.subsystemVendorId = kzvorn_driver::kPCISubsystemVendorID;
    id.subsystemId = kzvorn_driver::kPCISubsystemID;
    id.revision = 2;
    id.bus = 3;
    id.device = 0;
    id.function = 0;
    id.interruptLine = 11;
    return id;
}

// What the test device's operations do, set per test.
struct Script {
    int64_t openCode = 0;       // recorded by open (a warning keeps the session)
    int64_t requestCode = 0;    // recorded by read, write and ioControl
    uint64_t ioControlResult = 0;
    bool supportsMapping = false;
    int64_t mapCode = 0;
    std::vector<std::string> calls;  // life-cycle operations in order
    // Reads pass the IO gate and, while this is set, stay inside the device.
    std::atomic<bool> holdReads{false};
    std::atomic<bool> readInside{false};
};

class TestDevice : public tPCIDevice {
public:
    TestDevice(const tPCIDescription& description, Script& script, tStatus& status)
        : tPCIDevice(description, status), script_(script) {}

    tDeviceInterface** getDeviceInterfaces() override { return interfaces_; }
    tProperty** getDeviceProperties() override { return properties_; }

    tSession* open(tEventDescriptor&, tDeviceInterface* interface, tStatus& status) override {
        tSession* session = new (status) tSession(interface, status);
        if (status.isFatal()) {
            delete session;
            return nullptr;
        }
        KZ_SET_CODE(status, script_.openCode);
        return session;
    }
    void closeAndFreeSession(tEventDescriptor&, tSession* session) override {
        script_.calls.push_back("closeAndFreeSession");
        delete session;
    }
    uint64_t read(tEventDescriptor& event, tUserBuffer& buffer, tStatus& status) override {
        if (!acquireIOReference(event.session, status, kWaitNoLimit)) return 0;
        script_.readInside = true;
        while (script_.holdReads) std::this_thread::yield();
        script_.readInside = false;
        releaseIOReference(event.session);
        static const char kText[] = "kzvorn";
        buffer.writeToBuffer(0, kText, sizeof(kText), status);
        KZ_SET_CODE(status, script_.requestCode);
        return sizeof(kText);
    }
    uint64_t write(tEventDescriptor&, tUserBuffer& buffer, tStatus& status) override {
        written.resize(buffer.getSize());
        buffer.readFromBuffer(0, written.data(), static_cast<uint32_t>(buffer.getSize()), status);
        KZ_SET_CODE(status, script_.requestCode);
        return buffer.getSize();
    }
    uint64_t ioControl(tEventDescriptor&, uint32_t code, tUserBuffer& input, tUserBuffer& output,
                       tStatus& status) override {
        lastCode = code;
        uint32_t value = 0;
        input.readFromBuffer(0, &value, sizeof(value), status);
        value = ~value;
        output.writeToBuffer(0, &value, sizeof(value), status);
        KZ_SET_CODE(status, script_.requestCode);
        return script_.ioControlResult;
    }
    void mapMemory(tEventDescriptor& event, tUserMemoryMap& map, tStatus& status) override {
        if (!script_.supportsMapping) return tPCIDevice::mapMemory(event, map, status);
        map.mapPhysicalAddress(getPCIDescription().memoryRanges[0].address, map.getSize(), 0, status);
        KZ_SET_CODE(status, script_.mapCode);
    }
    void start(tEventDescriptor& event, tStatus&) override {
        script_.calls.push_back("start");
        resumeIOProcessing(event);
    }
    void stop(tEventDescriptor&) override { script_.calls.push_back("stop"); }
    bool suspendIOProcessing(tEventDescriptor& event, tSuspendReason reason, bool flag) override {
        script_.calls.push_back("suspend" + std::to_string(reason));
        return tPCIDevice::suspendIOProcessing(event, reason, flag);
    }
    void remove(tEventDescriptor& event) override {
        script_.calls.push_back("remove");
        tPCIDevice::remove(event);
    }

    tDeviceInterface interface{this, nullptr, "test_kzvorn"};
    tDeviceInterface second{this, nullptr, "test_cooling"};
    tProperty serial{"serialNumber", tProperty::kTypeText, nullptr, {0}};
    tProperty model{"modelName", tProperty::kTypeText, nullptr, {0}};
    tProperty slot{"slot", tProperty::kTypeUnsigned32, nullptr, {7}};
    tProperty* properties_[4] = {&serial, &model, &slot, nullptr};
    tDeviceInterface* interfaces_[3] = {&interface, &second, nullptr};
    std::vector<uint8_t> written;
    uint32_t lastCode = 0;

private:
    Script& script_;
};

// Loads the module, plugs a board with the product's identifiers and stands in for add device.
class DeviceFixture : public ::testing::Test {
protected:
    explicit DeviceFixture(board::PciOptions pci = {}) : board_(productIdentity()) {
        board::buildPciConfiguration(board_, pci);
        window_ = &board::installBridgeWindow(board_);
    }

    void SetUp() override {
        ASSERT_EQ(kernel_.load(), 0);
        function_ = &kernel_.plug(board_);
    }

    // Builds the description and the device; nothing is published.
    TestDevice* build(tStatus& status) {
        tPCIDescription description;
        buildPCIDescription(description, function_->record, &function_->record);
        auto* device = new (status) TestDevice(description, script_, status);
        if (status.isFatal()) {
            delete device;
            return nullptr;
        }
        return device;
    }

    // Add device's steps over the test device: build, read the link, start, publish.
    void add() {
        tStatus status;
        device_ = build(status);
        ASSERT_TRUE(status.isSuccess());
        tEventDescriptor event{nullptr};
        device_->startBusDevice(event, status);
        kernel_.adoptDevice(*function_, static_cast<tDevice*>(device_));
        device_->setPnPState(event, tDeviceCore::kPnPStateReady, 0, false, status);
        uint32_t index = 0;
        for (tDeviceInterface** entry = device_->getDeviceInterfaces(); *entry != nullptr; ++entry)
            (*entry)->handle = nKZKAL240_registerDeviceInterface(kzvorn_driver::getDriverHandle(), &function_->record,
                                                                 (*entry)->name, index++, *entry);
        device_->buildBusProperties();
        device_->registerBusProperties(status);
        device_->registerDeviceProperties(status);
        device_->registerDeviceInterfaceProperties(status);
        addStatus_ = status;
    }

    std::vector<kal::sim::RegisteredProperty> busProperties() {
        return kal::sim::liveProperties(tProperty::kScopeBus, &function_->record);
    }

    board::Board board_;
    board::BridgeWindow* window_ = nullptr;
    Script script_;  // outlives the kernel, which removes the device last
    kal::sim::Kernel kernel_;
    kal::sim::PciFunction* function_ = nullptr;
    TestDevice* device_ = nullptr;
    tStatus addStatus_;
};

inline uint32_t number(const kal::sim::RegisteredProperty& property) {
    uint32_t value = 0;
    std::memcpy(&value, property.value.data(), std::min<size_t>(4, property.value.size()));
    return value;
}

}  // namespace devicetest
