// The two device interfaces user mode opens: "smu_kzvorn", which accepts every request, and
// "nPXICOOLING_17_2_pxiCooling", which accepts only the two chassis-cooling requests. Both hand
// their requests to the same device operations.
#pragma once

#include <cstdint>

#include "kzapal/protons/device.h"
#include "kzapalcodegen/deviceOperations_kzvorn.h"
#include "kzapalcodegen/ioctlTable.h"

namespace kzvorn_driver {

constexpr const char kKzvornInterfaceName[] = "smu_kzvorn";
constexpr const char kPxiCoolingInterfaceName[] = "nPXICOOLING_17_2_pxiCooling";

#define KZ_DECLARE_UNMARSHALLER(family, operation, requestCode, tInput, tOutput, level, refusal)              \
    uint64_t unmarshall_##family##_##operation(nKZAPAL000::tEventDescriptor& event, uint64_t inputAddress,     \
                                               uint32_t inputSize, uint64_t outputAddress, uint32_t outputSize, \
                                               nKZAPALS100::tStatus& status);

// What both interfaces are: a device interface over the device's request operations. An
// unknown code falls to the platform's default: -52002 in the transport status, 0 bytes.
class tGeneratedInterface : public nKZAPAL000::tDeviceInterface {
public:
    tGeneratedInterface(tKzvornDeviceOperations& operations, nKZAPAL000::tDeviceCore* device,
                        nKZAPAL000::tProperty** properties, const char* name)
        : tDeviceInterface(device, properties, name), operations_(operations) {}

protected:
    tKzvornDeviceOperations& operations_;
};

class tInterfaceTemplate_kzvorn : public tGeneratedInterface {
public:
    tInterfaceTemplate_kzvorn(tKzvornDeviceOperations& operations, nKZAPAL000::tDeviceCore* device,
                              nKZAPAL000::tProperty** properties = nullptr, const char* name = kKzvornInterfaceName)
        : tGeneratedInterface(operations, device, properties, name) {}

    uint64_t decodeIOControl(nKZAPAL000::tEventDescriptor& event, uint32_t code, uint64_t inputAddress,
                             uint32_t inputSize, uint64_t outputAddress, uint32_t outputSize,
                             nKZAPALS100::tStatus& status) override;
    KZ_KZVORN_IOCTLS(KZ_DECLARE_UNMARSHALLER, KZ_DECLARE_UNMARSHALLER)
};

class tInterfaceTemplate_pxiCooling : public tGeneratedInterface {
public:
    tInterfaceTemplate_pxiCooling(tKzvornDeviceOperations& operations, nKZAPAL000::tDeviceCore* device,
                                  nKZAPAL000::tProperty** properties = nullptr,
                                  const char* name = kPxiCoolingInterfaceName)
        : tGeneratedInterface(operations, device, properties, name) {}

    uint64_t decodeIOControl(nKZAPAL000::tEventDescriptor& event, uint32_t code, uint64_t inputAddress,
                             uint32_t inputSize, uint64_t outputAddress, uint32_t outputSize,
                             nKZAPALS100::tStatus& status) override;
    KZ_IOCTLS_pxiCooling(KZ_DECLARE_UNMARSHALLER, KZ_DECLARE_UNMARSHALLER)
};

#undef KZ_DECLARE_UNMARSHALLER

}  // namespace kzvorn_driver
