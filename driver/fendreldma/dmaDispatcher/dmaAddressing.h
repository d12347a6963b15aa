// The width of the bus addresses the device's DMA uses, chosen once before any stream is built:
// the link lists and DMA maps follow the device's DMA configuration.
#pragma once

#include "kzapal/protons/deviceCore.h"
#include "quolinTools/armgen/Quolin.h"

namespace fendreldma {

// 64-bit addressing when the bridge's capability register says it can (the device falls back to
// 32 bits when the platform refuses the 64-bit mask); then the host bridge control register gets
// bit 31, and bits 14 and 15 as the capability says, written only when that changes it.
void configureDMAAddressing(quolintools::tQuolinWithOffset<0u>& core, kzvorn_driver::nKZAPAL000::tDeviceCore& device,
                            nKZAPALS100::tStatus& status);

}  // namespace fendreldma
