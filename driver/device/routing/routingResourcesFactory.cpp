#include "device/routing/routingResourcesFactory.h"

#include "device/tolvaneHelper.h"
#include "kzapal/protons/memory.h"

namespace kzvorn_driver {

TolvaneTopography::RoutingResources* RoutingResourcesFactory::createRoutingResources(
    uint32_t subsystemId, atut::RouteProgrammerInterface* programmer, nKZAPALS100::tStatus& status) {
    TolvaneHelper::checkSubsystemId(subsystemId, status);
    if (status.isFatal()) return nullptr;
    return new (status) TolvaneTopography::RoutingResources(programmer, status);
}

kzark::RoutingResourcesManager* RoutingResourcesFactory::createRoutingResourcesManager(uint32_t subsystemId,
                                                                                      nKZAPALS100::tStatus& status) {
    TolvaneHelper::checkSubsystemId(subsystemId, status);
    if (status.isFatal()) return nullptr;
    return new (status) kzark::RoutingResourcesManager(status);
}

}  // namespace kzvorn_driver
