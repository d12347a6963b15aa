// The operating-system side of a device: its description, the properties it publishes and the
// device interfaces user mode opens.
#pragma once

#include <cstdint>

#include "kzapal/protons/deviceCore.h"
#include "kzapal/protons/status.h"
#include "kzkal/interrupt.h"
#include "kzsdbg/kzsdbg.h"

namespace kzvorn_driver {
namespace nKZAPAL000 {

// A property published through the kernel layer. A list is a null-terminated array of pointers.
struct tProperty {
    enum tType : uint64_t {
        kTypeNumber32 = 50,
        kTypeUnsigned32 = 51,
        kTypeText = 85,
        kTypeNumber64 = 100,
        kTypeUnsigned64 = 101,
        kTypeBlock = 187,
    };
    enum tScope : uint32_t { kScopeDevice = 0, kScopeBus = 1, kScopeInterface = 2 };

    const char* name;
    uint64_t type;
    void* handle;
    union {
        uint64_t number;
        const char* text;
    } value;
};

// A type-187 record: the value holds the byte count.
struct tBlockProperty : tProperty {
    const void* data;
};

class tDeviceInterface {
public:
    tDeviceInterface(tDeviceCore* device, tProperty** properties, const char* name)
        : device(device), properties(properties), name(name) {}
    virtual ~tDeviceInterface() = default;
    // The number of output bytes to report.
    virtual uint64_t decodeIOControl(tEventDescriptor& event, uint32_t code, uint64_t inputAddress,
                                     uint32_t inputSize, uint64_t outputAddress, uint32_t outputSize,
                                     nKZAPALS100::tStatus& status);

    tDeviceCore* device;
    tProperty** properties;
    const char* name;
    void* handle = nullptr;
};

// The part of a device's description the operating-system side reads.
struct tDeviceDescription {
    void* device;
    void* kernelDevice;  // owner of the device and bus properties
    void* kernelPCIDevice;
    const char* driverName;
    nKZKAL1400_tInterruptCallback interruptCallback;
    void* physicalDevice;
};

class tDevice : public tDeviceCore {
public:
    tDevice(tDeviceDescription* description, nKZAPALS100::tStatus& status)
        : tDeviceCore(status), description_(description) {}
    ~tDevice() override = default;

    virtual void buildBusProperties() = 0;
    virtual tProperty** getBusProperties() = 0;

    void registerDeviceProperties(nKZAPALS100::tStatus& status);
    void registerBusProperties(nKZAPALS100::tStatus& status);
    void registerDeviceInterfaceProperties(nKZAPALS100::tStatus& status);
    void unregisterDeviceProperties();
    void unregisterBusProperties();
    void unregisterDeviceInterfaceProperties();
    void registerPropertyList(uint32_t scope, void* owner, tProperty** list, nKZAPALS100::tStatus& status);

    void scheduleDPC(void* deferredCall);
    // One diagnostic line: the device, its kernel handles and its plug-and-play states.
    void printDescription(kzsdbg_VarLine& line);
    tDeviceDescription* getDescription() const { return description_; }

protected:
    tDeviceDescription* description_;
};

// What a property registers: its value's address and size.
const void* propertyAddress(const tProperty& property, uint32_t& size);

}  // namespace nKZAPAL000
}  // namespace kzvorn_driver
