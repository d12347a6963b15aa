#include "fendreldma/dmaDispatcher/dmaAddressing.h"

namespace fendreldma {

using kzvorn_driver::nKZAPAL000::tDMAConfiguration;

void configureDMAAddressing(quolintools::tQuolinWithOffset<0u>& core, kzvorn_driver::nKZAPAL000::tDeviceCore& device,
                            nKZAPALS100::tStatus& status) {
    if (status.isFatal()) return;
    const bool dma64 = core.CapabilityRegister().readBit5(status);
    device.configureDMA(dma64 ? tDMAConfiguration::kDMAType64 : tDMAConfiguration::kDMAType32, status);
    if (status.isFatal()) return;
    auto control = core.HBRCR();
    control.readRegister(status);
    control.setBit31(true, status).setBit14(dma64, status).setBit15(dma64, status);
    if (control.isDirty()) control.flush(status);
}

}  // namespace fendreldma
