// Add device belongs to the product device; until it is linked in, the module refuses every
// function it is offered. The product's definition replaces this one.
#include "kzapal/protons/callbacks.h"
#include "kzapal/protons/statusCodes.h"
#include "kzapalcodegen/driverEntry.h"

extern "C" __attribute__((weak)) int32_t nKZAPAL200_addDevice(const nKZKAL200_tPCIDevice*, void*, void** slot) {
    *slot = nullptr;
    return kzvorn_driver::nKZAPAL000::toKernelCode(nKZAPALS100::kStatusFeatureNotSupported);
}
