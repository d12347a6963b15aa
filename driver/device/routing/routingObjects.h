// Setup level 17: the route programmer over the FPGA maps, the product's routing resources and the
// manager that hands them to the open sessions' routing sessions, and the routing enable bit of
// both FPGAs. Its destructor is the level's teardown.
#pragma once

#include "controllers/routeProgrammer.h"
#include "device/isolatedRegMaps.h"
#include "device/nonIsolatedRegMaps.h"
#include "kzark/routingResourcesManager.h"
#include "kzhtl/sharedPtr.h"
#include "vantrel_caps/caps.h"

namespace kzvorn_driver {

class RoutingObjects {
public:
    using tStatus = nKZAPALS100::tStatus;

    // The programmer is built in every case; the resources and the manager only on a good status
    // and for the product's PCI subsystem identifier (0xBFFA4304 for another, and then no enable
    // bit is written).
    RoutingObjects(NonIsolatedRegMaps& nonIsolated, IsolatedRegMaps& isolated, const vantrel_caps::Caps& caps,
                   tStatus& status);
    // Withdraws the resources from the sessions, then lets go of the manager and the resources,
    // which unprogram their routes while the programmer still exists.
    ~RoutingObjects();
    RoutingObjects(const RoutingObjects&) = delete;
    RoutingObjects& operator=(const RoutingObjects&) = delete;

    // Only with a manager; nothing otherwise.
    void setRoutingResources();
    void clearRoutingResources();

    kzark::RoutingResourcesManager* getManager() const { return manager_.get(); }
    kzark::RoutingResourcesInterface* getResources() const { return resources_.get(); }

private:
    RouteController routeController_;
    kzvorn_regmaps::tTolvaneIsoChannelRegMap* channels_[tRouteProgrammerHelper::kChannelMapCount];
    tRouteProgrammerHelper helper_;
    RouteProgrammer programmer_;
    kzhtl::SharedPtr<kzark::RoutingResourcesInterface> resources_;
    kzhtl::SharedPtr<kzark::RoutingResourcesManager> manager_;
};

}  // namespace kzvorn_driver
