// A started device whose request operations have no bodies of their own, behind a scripted IO
// gate; it publishes the two generated interfaces. Used by the envelope tests and the
// ioctl fuzz target.
#pragma once

#include <cstdint>
#include <vector>

#include "kal/sim/harness.h"
#include "kzapal/protons/memory.h"
#include "kzapal/protons/pciDevice.h"
#include "kzapal/protons/statusCodes.h"
#include "kzapalcodegen/driverEntry.h"
#include "kzapalcodegen/interfaceTemplates.h"

namespace ioctltest {

class OperationsDevice : public kzvorn_driver::nKZAPAL000::tPCIDevice, public kzvorn_driver::tKzvornDeviceOperations {
public:
    using tEventDescriptor = kzvorn_driver::nKZAPAL000::tEventDescriptor;
    using tSession = kzvorn_driver::nKZAPAL000::tSession;
    using tStatus = nKZAPALS100::tStatus;

    OperationsDevice(const kzvorn_driver::nKZAPAL000::tPCIDescription& description, tStatus& status)
        : tPCIDevice(description, status) {}

    kzvorn_driver::nKZAPAL000::tDeviceInterface** getDeviceInterfaces() override { return interfaces_; }
    tSession* open(tEventDescriptor&, kzvorn_driver::nKZAPAL000::tDeviceInterface* interface,
                   tStatus& status) override {
        tSession* session = new (status) tSession(interface, status);
        if (status.isFatal()) {
            delete session;
            return nullptr;
        }
        return session;
    }
    void closeAndFreeSession(tEventDescriptor&, tSession* session) override { delete session; }
    void start(tEventDescriptor& event, tStatus&) override { resumeIOProcessing(event); }

    // The scripted gate: records who asked at which level, and refuses with gateCode when set.
    void passIOGate(tEventDescriptor& event, uint32_t level, tGatedRequest& request) override {
        gateLevels.push_back(level);
        gateSessions.push_back(event.session);
        if (gateCode == 0) {
            request.admitted();
            return;
        }
        tStatus gateStatus;
        KZ_SET_CODE(gateStatus, gateCode);
        request.refused(gateStatus);
    }

    kzvorn_driver::tInterfaceTemplate_kzvorn kzvorn{*this, this};
    kzvorn_driver::tInterfaceTemplate_pxiCooling cooling{*this, this};
    kzvorn_driver::nKZAPAL000::tDeviceInterface* interfaces_[3] = {&kzvorn, &cooling, nullptr};

    int64_t gateCode = 0;
    std::vector<uint32_t> gateLevels;
    std::vector<tSession*> gateSessions;
};

// Plays add device for a device of type T on a plugged function: built, started, interfaces
// published. Null when the device could not be built.
template <class T>
T* addOperationsDevice(kal::sim::Kernel& kernel, kal::sim::PciFunction& function) {
    using namespace kzvorn_driver::nKZAPAL000;
    nKZAPALS100::tStatus status;
    tPCIDescription description;
    buildPCIDescription(description, function.record, &function.record);
    T* device = new (status) T(description, status);
    if (status.isFatal()) {
        delete device;
        return nullptr;
    }
    tEventDescriptor event{nullptr};
    device->startBusDevice(event, status);
    kernel.adoptDevice(function, static_cast<tDevice*>(device));
    device->setPnPState(event, tDeviceCore::kPnPStateReady, 0, false, status);
    uint32_t index = 0;
    for (tDeviceInterface** entry = device->getDeviceInterfaces(); *entry != nullptr; ++entry)
        (*entry)->handle = nKZKAL240_registerDeviceInterface(kzvorn_driver::getDriverHandle(), &function.record,
                                                             (*entry)->name, index++, *entry);
    return status.isFatal() ? nullptr : device;
}

}  // namespace ioctltest
