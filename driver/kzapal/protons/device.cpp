#include "kzapal/protons/device.h"

#include "kzapal/protons/statusCodes.h"
#include "kzapal/protons/userMemory.h"
#include "kzkal/driver.h"

namespace kzvorn_driver {
namespace nKZAPAL000 {

namespace {

uint32_t textSize(const char* text) {
    if (text == nullptr) return 1;
    uint32_t length = 0;
    while (text[length] != '\0') ++length;
    return length + 1;
}

// Unregisters every record and forgets its handle, so nothing is unregistered twice.
void unregisterList(tProperty** list) {
    if (list == nullptr) return;
    for (tProperty** entry = list; *entry != nullptr; ++entry) {
        nKZKAL200_unregisterProperty((*entry)->handle);
        (*entry)->handle = nullptr;
    }
}

}  // namespace

const void* propertyAddress(const tProperty& property, uint32_t& size) {
    switch (property.type) {
        case tProperty::kTypeText:
            size = textSize(property.value.text);
            return property.value.text;
        case tProperty::kTypeNumber64:
        case tProperty::kTypeUnsigned64:
            size = 8;
            return &property.value;
        case tProperty::kTypeBlock:
            size = static_cast<uint32_t>(static_cast<int32_t>(property.value.number));
            return static_cast<const tBlockProperty&>(property).data;
        default:
            size = 4;
            return &property.value;
    }
}

uint64_t tDeviceInterface::decodeIOControl(tEventDescriptor& event, uint32_t code, uint64_t inputAddress,
                                           uint32_t inputSize, uint64_t outputAddress, uint32_t outputSize,
                                           nKZAPALS100::tStatus& status) {
    tUserBuffer input(event, inputAddress, inputSize, status);
    tUserBuffer output(event, outputAddress, outputSize, status);
    return device->ioControl(event, code, input, output, status);
}

void tDevice::registerPropertyList(uint32_t scope, void* owner, tProperty** list, nKZAPALS100::tStatus& status) {
    for (tProperty** entry = list; *entry != nullptr; ++entry) {
        uint32_t size = 0;
        const void* address = propertyAddress(**entry, size);
        (*entry)->handle = nKZKAL200_registerProperty(scope, owner, (*entry)->name, address, size);
        if ((*entry)->handle == nullptr) {
            unregisterList(list);
            KZ_SET_CODE(status, nKZAPALS100::kStatusValueConflict);
            return;
        }
    }
}

void tDevice::registerDeviceProperties(nKZAPALS100::tStatus& status) {
    tProperty** list = getDeviceProperties();
    if (list != nullptr && status.isNotFatal())
        registerPropertyList(tProperty::kScopeDevice, description_->kernelDevice, list, status);
}

void tDevice::registerBusProperties(nKZAPALS100::tStatus& status) {
    tProperty** list = getBusProperties();
    if (list != nullptr && status.isNotFatal())
        registerPropertyList(tProperty::kScopeBus, description_->kernelDevice, list, status);
}

void tDevice::registerDeviceInterfaceProperties(nKZAPALS100::tStatus& status) {
    tDeviceInterface** interfaces = getDeviceInterfaces();
    if (interfaces == nullptr) return;
    for (tDeviceInterface** entry = interfaces; *entry != nullptr; ++entry)
        if ((*entry)->properties != nullptr && status.isNotFatal())
            registerPropertyList(tProperty::kScopeInterface, (*entry)->handle, (*entry)->properties, status);
}

void tDevice::unregisterDeviceProperties() { unregisterList(getDeviceProperties()); }

void tDevice::unregisterBusProperties() { unregisterList(getBusProperties()); }

void tDevice::unregisterDeviceInterfaceProperties() {
    tDeviceInterface** interfaces = getDeviceInterfaces();
    if (interfaces == nullptr) return;
    for (tDeviceInterface** entry = interfaces; *entry != nullptr; ++entry) unregisterList((*entry)->properties);
}

void tDevice::scheduleDPC(void* deferredCall) { nKZKAL100_scheduleDPC(deferredCall); }

void tDevice::printDescription(kzsdbg_VarLine& line) {
    line.printf("%stDevice(%p,kalDev:%p,pdo:%p) (%s from %s)%s", line.getLead(), static_cast<void*>(this),
                description_->kernelDevice, description_->physicalDevice, getPnPStateName(getPnPState()),
                getPnPStateName(getPreviousPnPState()), line.getTail());
}

}  // namespace nKZAPAL000
}  // namespace kzvorn_driver
