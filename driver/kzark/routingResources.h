// The routing state of one device: every terminal's and edge's run-time record, the route
// database, and the operations that move a route through its life. One recursive lock serialises
// them all, the route programmer's calls included.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kzapal/protons/synchronization.h"
#include "kzark/routeDatabase.h"
#include "atut/routeProgrammerInterface.h"
#include "kzark/routingResourcesInterface.h"
#include "kzark/topography.h"

namespace kzark {

// The run-time records of a table with that many terminals and edges; a class that binds the
// resources to one table derives from it ahead of RoutingResources, so the records exist first
// and go last.
template <size_t kTerminals, size_t kEdges>
struct RoutingStateStorage {
    TerminalState terminalStates[kTerminals];
    EdgeState edgeStates[kEdges];
};

class RoutingResources : public RoutingResourcesInterface {
public:
    // The state arrays hold the table's terminal and edge counts. A table whose groups do not
    // match its terminals is refused (-52005). The resources are valid only when the status is
    // good at the end.
    RoutingResources(const TopInfo& info, TerminalState* terminalStates, EdgeState* edgeStates,
                     atut::RouteProgrammerInterface* programmer, nKZAPALS100::tStatus& status);
    // Destroys every route, so programmed ones give their terminals back their default inputs:
    // the route programmer must still exist.
    ~RoutingResources() override;
    RoutingResources(const RoutingResources&) = delete;
    RoutingResources& operator=(const RoutingResources&) = delete;

    AllocHelper getAllocHelper() override { return allocHelper_; }
    const TopInfo* getTopInfo() override { return topography_.topInfo; }
    void resetTerminal(uint32_t terminalId, uint32_t mode, nKZAPALS100::tStatus& status) override;
    uint32_t calculateResetTerminal(uint64_t ownerTag, uint32_t terminalId, uint32_t mode,
                                    nKZAPALS100::tStatus& status) override;
    void resetAllTerminalsToDefault(nKZAPALS100::tStatus& status) override;
    bool calculateRoute(uint64_t ownerTag, const RouteCalculationSeedBase* seeds, uint32_t seedCount,
                        const uint32_t* destinations, uint32_t destinationCount, uint32_t flags,
                        RoutePossibilityBase*& possibilities, uint32_t& count,
                        nKZAPALS100::tStatus& status) override;
    void destroyRoute(uint32_t routeId) override;
    void reserveRoute(uint32_t routeId, RouteConflict*& conflicts, uint32_t& conflictCount,
                      nKZAPALS100::tStatus& status) override;
    void unreserveRoute(uint32_t routeId) override;
    void programRoute(uint32_t routeId, nKZAPALS100::tStatus& status) override;
    void unprogramRoute(uint32_t routeId) override;
    void getRouteTerminalPath(uint32_t routeId, uint32_t*& path, uint32_t& count,
                              nKZAPALS100::tStatus& status) override;
    uint32_t getRouteState(uint32_t routeId) override;

    static bool seedHasInversionConstraint(const RouteCalculationSeedBase& seed);

    bool isValid() const { return valid_ != 0; }
    // For diagnostics and tests, without the lock: the edges' counts and availability, the routes.
    const EdgeState& edgeState(uint32_t index) const { return topography_.edgeStates[index]; }
    RouteDatabase& routeDatabase() { return database_; }

private:
    class ProgrammingBatch;

    // The route's edges in the order reservation and programming take them: extras, then segments.
    // Null for an extra member without a default input.
    static uint32_t edgeCount(const RouteInDB& route);
    static EdgeState* edgeAt(RouteInDB& route, uint32_t index);

    static TerminalState& destinationOf(const EdgeState& edge) { return *edge.to; }
    EdgeState* resetEdge(const TerminalState& terminal, uint32_t mode, nKZAPALS100::tStatus& status);

    void programEdge(const EdgeState& edge, nKZAPALS100::tStatus& status);
    // Statuses of their own, never reported.
    void prepareSource(const TerminalState& source);
    void prepareGroupSource(const TerminalGroup& group);
    // Lowers the programmed counts of the route's first `handled` edges, last first, and gives each
    // terminal whose count falls to 0 its first input back, each with a status of its own, so one
    // failing multiplexer does not leave the others connected.
    void lowerProgrammedCounts(RouteInDB& route, uint32_t handled);
    void reserveEdges(RouteInDB& route);
    void releaseEdge(EdgeState* edge);
    void releaseEdges(RouteInDB& route);
    void unprogram(RouteInDB& route);
    void unreserve(RouteInDB& route);
    void destroyAt(size_t index);
    // -52005 for an unknown id or a route in another state.
    RouteInDB* routeInState(uint32_t routeId, uint32_t state, nKZAPALS100::tStatus& status);

    // Contested edges and the routes that hold them.
    bool collectContestedEdges(RouteInDB& route, EdgeState**& contested, uint32_t& count,
                               nKZAPALS100::tStatus& status);
    bool addContested(EdgeState& edge, EdgeState**& contested, uint32_t& count, nKZAPALS100::tStatus& status);
    // The reserved incoming edges of the terminal and of the other members of its group.
    bool addReservedInputs(const TerminalState& terminal, EdgeState**& contested, uint32_t& count,
                           nKZAPALS100::tStatus& status);
    bool addReservedInputsOf(const TerminalState& terminal, EdgeState**& contested, uint32_t& count,
                             nKZAPALS100::tStatus& status);
    void reportHolders(EdgeState* const* contested, uint32_t contestedCount, RouteConflict*& conflicts,
                       uint32_t& conflictCount);
    static bool holdsAny(RouteInDB& route, EdgeState* const* contested, uint32_t contestedCount);

    // The two passes of a calculation, merged, stored and described for the caller.
    void dropCrossDuplicates(Route** first, uint32_t& firstCount, Route** second, uint32_t& secondCount);
    void storeRoutes(Route** routes, uint32_t routeCount, bool inverting, const RouteCalculationSeedBase* seeds,
                     uint32_t seedCount, RoutePossibilityBase* records, nKZAPALS100::tStatus& status);

    void useScratch(GrowOnlyHeap* heap);

    Topography topography_;
    atut::RouteProgrammerInterface* programmer_;
    RouteDatabase database_;
    uint8_t valid_ = 0;
    AllocHelper allocHelper_ = {apalHeapResizeFn, nullptr};
    kzvorn_driver::nKZAPAL000::tMutex mutex_;
};

}  // namespace kzark
