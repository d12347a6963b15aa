// Makes the device's routing resources at the routing step of the bring-up.
#pragma once

#include <cstdint>

#include "kzapal/protons/status.h"
#include "atut/routeProgrammerInterface.h"
#include "kzark/routingResourcesManager.h"
#include "kzark/tolvaneRoutingResources.h"

namespace kzvorn_driver {

class RoutingResourcesFactory {
public:
    // Only for the product's PCI subsystem identifier (0xBFFA4304 for another). Null when the
    // status held an error or the object could not be allocated; otherwise the object, which the
    // caller deletes when the status holds an error (-52000 when its lock could not be made). The
    // programmer is borrowed and must outlive the resources.
    static TolvaneTopography::RoutingResources* createRoutingResources(uint32_t subsystemId,
                                                                       atut::RouteProgrammerInterface* programmer,
                                                                       nKZAPALS100::tStatus& status);
    // The same rules; -52000 also when the manager's lock cannot be made.
    static kzark::RoutingResourcesManager* createRoutingResourcesManager(uint32_t subsystemId,
                                                                         nKZAPALS100::tStatus& status);
};

}  // namespace kzvorn_driver
