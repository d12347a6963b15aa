#include "device/dmaObjects.h"

#include "fendreldma/dmaDispatcher/dmaAddressing.h"
#include "kzapal/protons/memory.h"

namespace kzvorn_driver {

DMAObjects::DMAObjects(nKZAPAL000::tPCIDevice& device, PavoRegMaps& bridge, NonIsolatedRegMaps& nonIsolated,
                       kzvorn_regmaps::tTolvaneIsoChannelRegMap* const (&channels)[QuolinDMAControllers::kChannelCount],
                       tStatus& status) {
    fendreldma::configureDMAAddressing(bridge.quolin, device, status);
    controllers_ = new (status) QuolinDMAControllers(device, bridge, nonIsolated, channels, status);
    if (status.isNotFatal())
        dispatcher_ = new (status) fendreldma::DMADispatcher(controllers_, QuolinDMAControllers::kStreamCount);
}

DMAObjects::~DMAObjects() {
    delete dispatcher_;
    dispatcher_ = nullptr;
    delete controllers_;
    controllers_ = nullptr;
}

}  // namespace kzvorn_driver
