// The routing resources bound to the product's topography, with its terminal and edge records
// inside the object.
#pragma once

#include "kzark/routingResources.h"
#include "kzark/tolvaneTopography.h"

namespace TolvaneTopography {

class RoutingResources : private kzark::RoutingStateStorage<kTerminalCount, kEdgeCount>,
                         public kzark::RoutingResources {
public:
    RoutingResources(atut::RouteProgrammerInterface* programmer, nKZAPALS100::tStatus& status)
        : kzark::RoutingResources(kTopInfo, terminalStates, edgeStates, programmer, status) {}
    ~RoutingResources() override {}
};

}  // namespace TolvaneTopography
