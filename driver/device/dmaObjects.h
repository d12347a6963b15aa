// Setup level 14: the width of DMA addresses, the controllers of the eight streams with the bridge
// interrupt, and the dispatcher the stream requests go through. Its destructor is the level's
// teardown.
#pragma once

#include "controllers/dmaControllers.h"
#include "device/nonIsolatedRegMaps.h"
#include "device/pavoRegMaps.h"
#include "fendreldma/dmaDispatcher/dmaDispatcher.h"

namespace kzvorn_driver {

class DMAObjects {
public:
    using tStatus = nKZAPALS100::tStatus;

    // Each step does nothing once the status holds an error; what was built stays until the
    // destructor.
    DMAObjects(nKZAPAL000::tPCIDevice& device, PavoRegMaps& bridge, NonIsolatedRegMaps& nonIsolated,
               kzvorn_regmaps::tTolvaneIsoChannelRegMap* const (&channels)[QuolinDMAControllers::kChannelCount],
               tStatus& status);
    virtual ~DMAObjects();
    DMAObjects(const DMAObjects&) = delete;
    DMAObjects& operator=(const DMAObjects&) = delete;

    // Null when not built.
    QuolinDMAControllers* getControllers() { return controllers_; }
    fendreldma::DMADispatcher* getDispatcher() { return dispatcher_; }

private:
    QuolinDMAControllers* controllers_ = nullptr;
    fendreldma::DMADispatcher* dispatcher_ = nullptr;
};

}  // namespace kzvorn_driver
