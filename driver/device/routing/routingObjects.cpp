#include "device/routing/routingObjects.h"

#include "device/routing/routingResourcesFactory.h"

namespace kzvorn_driver {

RoutingObjects::RoutingObjects(NonIsolatedRegMaps& nonIsolated, IsolatedRegMaps& isolated,
                               const vantrel_caps::Caps& caps, tStatus& status)
    : routeController_(nonIsolated.fpga),
      channels_{},
      helper_(nonIsolated.fpga, isolated.getIsoFpgaMap(), channels_),
      programmer_(routeController_, helper_) {
    for (uint32_t c = 0; c < tRouteProgrammerHelper::kChannelMapCount; ++c) channels_[c] = isolated.getChannelMap(c);
    if (status.isFatal()) return;
    RoutingResourcesFactory factory;
    resources_.reset(factory.createRoutingResources(caps.pciSubsystemId, &programmer_, status), status);
    manager_.reset(factory.createRoutingResourcesManager(caps.pciSubsystemId, status), status);
    if (status.isFatal()) return;
    // Bit 2 enables routing. Like the other command bits of the two configuration registers, their
    // maps keep it out of the shadow once written.
    nonIsolated.fpga.NisoFpgaConfigReg().writeBit2(1, status);
    isolated.getIsoFpgaMap().IsoFpgaConfigReg().writeBit2(1, status);
}

RoutingObjects::~RoutingObjects() {
    clearRoutingResources();
    manager_.reset();
    resources_.reset();
}

void RoutingObjects::setRoutingResources() {
    if (manager_) manager_->setRoutingResources(resources_.get());
}

void RoutingObjects::clearRoutingResources() {
    if (manager_) manager_->clearRoutingResources();
}

}  // namespace kzvorn_driver
