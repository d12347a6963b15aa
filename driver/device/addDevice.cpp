// The add-device callback: builds the product device for a function with the product's PCI
// identifiers, starts it (the bring-up) and publishes its interfaces and properties.
#include "device/tolvaneDevice.h"
#include "kzapal/protons/callbacks.h"
#include "kzapal/protons/memory.h"
#include "kzapal/protons/statusCodes.h"
#include "kzapalcodegen/driverEntry.h"
#include "kzkal/driver.h"
#include "kzkal/pci.h"

using namespace kzvorn_driver;
using nKZAPAL000::tDeviceCore;
using nKZAPAL000::tDeviceInterface;
using nKZAPAL000::tEventDescriptor;
using nKZAPAL000::tPCIDescription;
using nKZAPALS100::tStatus;

namespace {

bool isProduct(const tPCIDescription& description) {
    return description.vendorId == kPCIVendorID && description.deviceId == kPCIDeviceID &&
           description.subsystemVendorId == kPCISubsystemVendorID && description.subsystemId == kPCISubsystemID;
}

// Registers in list order. A refused one unregisters those before it, last first, and clears
// their handles, so the removal that follows unregisters nothing twice.
void registerInterfaces(TolvaneDevice& device, void* kernelDevice, tStatus& status) {
    if (status.isFatal()) return;
    tDeviceInterface** interfaces = device.getDeviceInterfaces();
    uint32_t count = 0;
    for (; interfaces[count] != nullptr; ++count) {
        tDeviceInterface& interface = *interfaces[count];
        interface.handle =
            nKZKAL240_registerDeviceInterface(getDriverHandle(), kernelDevice, interface.name, count, &interface);
        if (interface.handle == nullptr) break;
    }
    if (interfaces[count] == nullptr) return;
    while (count-- > 0) {
        nKZKAL200_unregisterDeviceInterface(interfaces[count]->handle);
        interfaces[count]->handle = nullptr;
    }
    KZ_SET_CODE(status, nKZAPALS100::kStatusMemoryFull);
}

}  // namespace

extern "C" int32_t nKZAPAL200_addDevice(const nKZKAL200_tPCIDevice* pci, void*, void** slot) {
    tStatus status;
    tPCIDescription description;
    buildPCIDescription(description, *pci, *slot);
    *slot = nullptr;
    if (!isProduct(description)) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusValueConflict);
        return nKZAPAL000::toKernelCode(status.getCode());
    }
    if (nKZKAL230_pciRequestMSI(pci->pciHandle, 1) == 0) {
        description.interruptKind = tPCIDescription::kInterruptMSI;
        description.interruptNumber = pci->interrupt;
    }

    auto* device = new (status) TolvaneDevice(description, status);
    tEventDescriptor event{nullptr};
    if (status.isNotFatal()) device->startBusDevice(event, status);
    if (status.isFatal()) {
        delete device;
        return nKZAPAL000::toKernelCode(status.getCode());
    }

    *slot = static_cast<nKZAPAL000::tDevice*>(device);
    device->setPnPState(event, tDeviceCore::kPnPStateReady, 0, false, status);
    registerInterfaces(*device, description.device.kernelDevice, status);
    if (status.isNotFatal()) {
        device->buildBusProperties();
        device->registerBusProperties(status);
        device->registerDeviceProperties(status);
        device->registerDeviceInterfaceProperties(status);
    }
    if (status.isNotFatal()) {
        for (tDeviceInterface** interface = device->getDeviceInterfaces(); *interface != nullptr; ++interface)
            nKZKAL240_notifyUserspaceAddEvent((*interface)->handle);
        return 0;
    }
    nKZAPAL200_removeDevice(*slot);
    nKZAPAL200_deleteDevice(*slot);
    *slot = nullptr;
    return nKZAPAL000::toKernelCode(status.getCode());
}
