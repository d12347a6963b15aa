// The device's shared routing state as the routing sessions see it.
#pragma once

#include <cstdint>

#include "kzapal/protons/status.h"
#include "kzark/topInfo.h"
#include "kzark/topography.h"

namespace kzark {

// Returned to user mode for each route that holds a contested edge.
struct RouteConflict {
    uint64_t ownerTag;
    uint32_t routeId;
    uint8_t padding[4];
};
static_assert(sizeof(RouteConflict) == 16, "route conflict record layout");

// Allocates every array the resources hand to a caller; the caller releases it through the same
// helper. Size 0 releases the old area; otherwise a fresh area (contents not carried over) or
// null, leaving the old area in place.
struct AllocHelper {
    void* (*function)(void* oldArea, uint64_t size);
    void* context;

    void* resize(void* oldArea, uint64_t size) const { return function(oldArea, size); }
};

// Which incoming edge a terminal reset programs.
constexpr uint32_t kResetToFirstInput = 0;
constexpr uint32_t kResetToDefaultInput = 1;

class RoutingResourcesInterface {
public:
    virtual ~RoutingResourcesInterface() {}

    virtual AllocHelper getAllocHelper() = 0;
    virtual const TopInfo* getTopInfo() = 0;
    virtual void resetTerminal(uint32_t terminalId, uint32_t mode, nKZAPALS100::tStatus& status) = 0;
    // The new route's id, 0 on failure.
    virtual uint32_t calculateResetTerminal(uint64_t ownerTag, uint32_t terminalId, uint32_t mode,
                                            nKZAPALS100::tStatus& status) = 0;
    virtual void resetAllTerminalsToDefault(nKZAPALS100::tStatus& status) = 0;
    // count: the array's capacity on entry, the number of records on return. True when no route
    // results although a search ran.
    virtual bool calculateRoute(uint64_t ownerTag, const RouteCalculationSeedBase* seeds, uint32_t seedCount,
                                const uint32_t* destinations, uint32_t destinationCount, uint32_t flags,
                                RoutePossibilityBase*& possibilities, uint32_t& count,
                                nKZAPALS100::tStatus& status) = 0;
    virtual void destroyRoute(uint32_t routeId) = 0;
    virtual void reserveRoute(uint32_t routeId, RouteConflict*& conflicts, uint32_t& conflictCount,
                              nKZAPALS100::tStatus& status) = 0;
    virtual void unreserveRoute(uint32_t routeId) = 0;
    virtual void programRoute(uint32_t routeId, nKZAPALS100::tStatus& status) = 0;
    virtual void unprogramRoute(uint32_t routeId) = 0;
    // count: the array's capacity on entry, the number of terminal ids on return.
    virtual void getRouteTerminalPath(uint32_t routeId, uint32_t*& path, uint32_t& count,
                                      nKZAPALS100::tStatus& status) = 0;
    // 0 when there is no such route.
    virtual uint32_t getRouteState(uint32_t routeId) = 0;
};

}  // namespace kzark
