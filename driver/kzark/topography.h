// Route search over a routing graph table: the run-time state of every terminal and edge, and the
// multi-source cheapest-path search with its fixed tie-breaking.
#pragma once

#include <cstdint>

#include "kzapal/protons/status.h"
#include "kzark/topInfo.h"
#include "kzgta/algorithms/growOnlyHeap.h"
#include "kzgta/algorithms/pathSegment.h"

namespace kzark {

constexpr uint32_t kUnreachedDistance = 0xFFFFFFFF;

// Calculation flags.
constexpr uint32_t kCalculateUseUnavailableEdges = 1u << 0;

constexpr uint32_t kRouteStateCalculated = 100;
constexpr uint32_t kRouteStateReserved = 200;
constexpr uint32_t kRouteStateProgrammed = 300;

// As user mode passes it.
struct RouteCalculationSeedBase {
    uint32_t terminalId;
    uint32_t startCost;
    uint8_t inversionConstraint;
    uint8_t padding[3];
};
static_assert(sizeof(RouteCalculationSeedBase) == 12, "seed record layout");

// As user mode receives it.
struct RoutePossibilityBase {
    uint32_t routeId;
    uint32_t endTerminalId;
    uint32_t cost;
    uint32_t seedIndex;  // kNoSeedIndex when no seed matches
    uint8_t inverted;
    uint8_t padding[3];
};
static_assert(sizeof(RoutePossibilityBase) == 20, "route possibility record layout");
constexpr uint32_t kNoSeedIndex = 0xFFFFFFFF;

struct EdgeState {
    const Edge* edge;
    uint32_t reservationCount;
    uint32_t programmedCount;
    uint8_t available;  // 0 while another incoming edge of the same destination is reserved
};

struct QueueLink {
    QueueLink* next;
    QueueLink* previous;
};

// A terminal is in the search queue from the reset until it is settled.
struct TerminalState : QueueLink {
    const Terminal* terminal;
    TerminalState* predecessor;
    EdgeState* predecessorEdge;
    uint32_t distance;
    uint8_t isSeed;
    uint8_t isDestination;
};

// Lives only during one calculation; the route database keeps copies.
struct Route {
    TerminalState* source;
    kzgta::PathSegment* segments;
    uint32_t cost;
    uint32_t segmentCount;
    uint32_t segmentCapacity;
    uint64_t ownerTag;
    uint32_t state;
    uint8_t inverted;
    uint32_t extraCount;  // extras name group members; this engine supports no groups
    kzgta::PathSegment* extras;
};

struct ResizeCallback {
    ResizeFn function;
    void* context;

    void* resize(void* oldArea, uint64_t size) const {
        return function != nullptr ? function(oldArea, size, context) : nullptr;
    }
};

using SeedFilter = bool (*)(const RouteCalculationSeedBase& seed);

class Topography {
public:
    Topography() = default;
    Topography(const Topography&) = delete;
    Topography& operator=(const Topography&) = delete;

    // States point at the table's records: unqueued, unreached, unreserved and available.
    void initialize(const TopInfo& info, TerminalState* terminals, EdgeState* edges);

    // Index id - 1 first, then a scan; null when the table has no such terminal.
    TerminalState* findTerminal(uint32_t id);

    bool hasReservedIncomingEdge(const TerminalState& terminal) const;
    bool hasReservedOutgoingEdge(const TerminalState& terminal) const;

    // Searches from the seeds the filter accepts (all when it is null). On return `routes` holds
    // `routeCount` routes from the route resize callback, null when there are none; release them
    // with releaseRoutes. True only when the search ran and reached no destination.
    bool calculateRoute(uint64_t ownerTag, const RouteCalculationSeedBase* seeds, uint32_t seedCount,
                        SeedFilter seedFilter, const uint32_t* destinations, uint32_t destinationCount, uint32_t flags,
                        Route**& routes, uint32_t& routeCount, nKZAPALS100::tStatus& status);

    void releaseRoutes(Route** routes, uint32_t routeCount);
    // A null route is skipped.
    void releaseRoute(Route* route);

    TerminalState* terminalStates = nullptr;
    EdgeState* edgeStates = nullptr;
    uint64_t terminalCount = 0;
    uint64_t edgeCount = 0;
    uint8_t useUnavailableEdges = 0;
    TerminalState* currentTerminal = nullptr;
    QueueLink queue = {&queue, &queue};
    uint64_t destinationsToSettle = 0;
    uint64_t destinationsSettled = 0;
    ResizeCallback segmentResize = {growOnlyHeapResizeFn, nullptr};
    ResizeCallback routeResize = {growOnlyHeapResizeFn, nullptr};
    const TopInfo* topInfo = nullptr;

private:
    void resetSearch(uint32_t flags);
    bool acceptSeeds(const RouteCalculationSeedBase* seeds, uint32_t seedCount, SeedFilter seedFilter,
                     nKZAPALS100::tStatus& status);
    void acceptDestinations(const uint32_t* destinations, uint32_t destinationCount, nKZAPALS100::tStatus& status);
    void settle();
    bool mayUse(const TerminalState& from, const EdgeState& edge) const;
    void requeue(TerminalState& terminal, uint32_t distance);
    uint32_t buildRoutes(Route** slots, nKZAPALS100::tStatus& status);
    uint32_t addOppositeInversions(Route** slots, uint32_t built, nKZAPALS100::tStatus& status);
    Route** allocateSlots(uint64_t slotCount, nKZAPALS100::tStatus& status);
    bool reserveSegments(Route& route, uint32_t count);
};

}  // namespace kzark
