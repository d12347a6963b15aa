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

constexpr uint32_t kNotQueued = 0xFFFFFFFF;

// A terminal waits in the search queue from its first distance until it is settled.
struct TerminalState {
    const Terminal* terminal;
    TerminalState* predecessor;
    EdgeState* predecessorEdge;
    uint32_t distance;
    uint8_t isSeed;
    uint8_t isDestination;
    uint8_t settled;
    uint8_t endpointOnly;  // the table's flag, kept here for the search's inner loop
    // Where this terminal stands in the search queue; the queue's array is spread over the states,
    // slot i (an entry and its ordering key) in state i, so a search allocates nothing.
    uint32_t queuePosition;
    TerminalState* slotEntry;
    uint64_t slotKey;
};

// The search queue: a binary heap on (distance, latest placement first), which gives terminals
// up in the order of a list kept sorted by distance where each placement goes before the entries
// at the same distance. Its array lives in the terminal states, so a search allocates nothing.
class SearchQueue {
public:
    explicit SearchQueue(TerminalState* states) : states_(states) {}

    // Places the terminal at that distance (closer or farther), ahead of its equals.
    void place(TerminalState& terminal, uint32_t distance);
    // Null when the queue is empty.
    TerminalState* first() const { return size_ == 0 ? nullptr : states_[0].slotEntry; }
    void removeFirst();

private:
    // The distance above, the placement order reversed below: a smaller key goes first.
    uint64_t keyOf(uint32_t distance) { return uint64_t(distance) << 32 | (0xFFFFFFFFu - ++placements_); }
    void put(TerminalState& terminal, uint64_t key, uint32_t position) {
        states_[position].slotEntry = &terminal;
        states_[position].slotKey = key;
        terminal.queuePosition = position;
    }
    void siftUp(TerminalState& terminal, uint64_t key, uint32_t position);
    void siftDown(TerminalState& terminal, uint64_t key, uint32_t position);

    TerminalState* states_;
    uint32_t size_ = 0;
    uint32_t placements_ = 0;
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
    // For each segment whose terminal is in a group, the group's other members with their default
    // inputs (a null edge when a member has none), reserved and programmed with the route.
    uint32_t extraCount;
    kzgta::PathSegment* extras;

    // The terminal reached by the last segment, the source when there is none.
    TerminalState* endTerminal() const { return segmentCount == 0 ? source : segments[segmentCount - 1].terminal; }
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
    // Null for a terminal in no group.
    const TerminalGroup* groupOf(const TerminalState& terminal) const {
        return terminal.terminal->group == 0 ? nullptr : &topInfo->groups[terminal.terminal->group - 1];
    }
    TerminalState& member(const TerminalGroup& group, uint32_t index) { return terminalStates[group.members[index]]; }
    EdgeState& incomingEdge(const TerminalState& terminal, uint32_t index) {
        return edgeStates[topInfo->incomingList[terminal.terminal->firstIncomingPosition + index]];
    }
    // Null when the terminal has no such edge.
    EdgeState* firstIncomingEdge(const TerminalState& terminal);
    EdgeState* defaultIncomingEdge(const TerminalState& terminal);
    // The terminal's incoming edges, and with a group its members' too.
    bool groupHasReservedIncomingEdge(const TerminalState& terminal) const;
    // Every group index names a group of the table, every member is a terminal of the table, and
    // each group lists exactly the terminals that name it, once each.
    static bool validGroups(const TopInfo& info);

    // Searches from the seeds the filter accepts (all when it is null). On return `routes` holds
    // `routeCount` routes from the route resize callback, null when there are none; release them
    // with releaseRoutes. True only when the search ran and reached no destination.
    bool calculateRoute(uint64_t ownerTag, const RouteCalculationSeedBase* seeds, uint32_t seedCount,
                        SeedFilter seedFilter, const uint32_t* destinations, uint32_t destinationCount, uint32_t flags,
                        Route**& routes, uint32_t& routeCount, nKZAPALS100::tStatus& status);
    // The same over another queue with place, first and removeFirst (tests compare queues).
    template <class tQueue>
    bool calculateRouteWith(tQueue& queue, uint64_t ownerTag, const RouteCalculationSeedBase* seeds,
                            uint32_t seedCount, SeedFilter seedFilter, const uint32_t* destinations,
                            uint32_t destinationCount, uint32_t flags, Route**& routes, uint32_t& routeCount,
                            nKZAPALS100::tStatus& status);

    void releaseRoutes(Route** routes, uint32_t routeCount);
    // A null route is skipped.
    void releaseRoute(Route* route);

    TerminalState* terminalStates = nullptr;
    EdgeState* edgeStates = nullptr;
    uint64_t terminalCount = 0;
    uint64_t edgeCount = 0;
    uint8_t useUnavailableEdges = 0;
    TerminalState* currentTerminal = nullptr;
    // Set at initialisation: without an inverting edge no route has an opposite-inversion copy;
    // without a group no route has extras or a group duplicate.
    bool hasInvertingEdge = false;
    bool hasGroups = false;
    uint64_t destinationsToSettle = 0;
    uint64_t destinationsSettled = 0;
    ResizeCallback segmentResize = {growOnlyHeapResizeFn, nullptr};
    ResizeCallback routeResize = {growOnlyHeapResizeFn, nullptr};
    const TopInfo* topInfo = nullptr;

private:
    bool validRequest(const RouteCalculationSeedBase* seeds, uint32_t seedCount, const uint32_t* destinations,
                      uint32_t destinationCount, nKZAPALS100::tStatus& status);
    void resetSearch(uint32_t flags);
    // Null when the seed is refused (a bidirectional terminal being driven), with the status set
    // for an unknown terminal.
    TerminalState* seedTerminal(const RouteCalculationSeedBase& seed, nKZAPALS100::tStatus& status);
    void acceptDestinations(const uint32_t* destinations, uint32_t destinationCount, nKZAPALS100::tStatus& status);
    // False when the terminal cannot be a destination now (a bidirectional terminal driving something).
    bool acceptDestination(TerminalState& terminal);
    template <class tQueue>
    void settle(tQueue& queue);
    bool mayUse(const TerminalState& from, const EdgeState& edge) const;
    bool finishRoutes(uint64_t ownerTag, Route** slots, uint64_t slotCount, Route**& routes, uint32_t& routeCount,
                      nKZAPALS100::tStatus& status);
    uint32_t buildRoutes(Route** slots, nKZAPALS100::tStatus& status);
    uint32_t addOppositeInversions(Route** slots, uint32_t built, nKZAPALS100::tStatus& status);
    uint32_t dropGroupDuplicates(Route** slots, uint32_t kept);
    void addExtras(Route** slots, uint32_t kept, nKZAPALS100::tStatus& status);
    Route** allocateSlots(uint64_t slotCount, nKZAPALS100::tStatus& status);
    bool reserveSegments(Route& route, uint32_t count);
};

// Seed start costs come from user mode: a sum that would reach the unreached mark is no path, so a
// cost can never wrap round to a small value and reopen a settled terminal.
inline bool addRouteCost(uint32_t distance, uint32_t cost, uint32_t& sum) {
    if (cost >= kUnreachedDistance - distance) return false;
    sum = distance + cost;
    return true;
}

template <class tQueue>
void Topography::settle(tQueue& queue) {
    while (destinationsSettled < destinationsToSettle) {
        TerminalState* first = queue.first();
        if (first == nullptr || first->distance == kUnreachedDistance) return;
        TerminalState& current = *first;
        currentTerminal = &current;
        if (current.isDestination) ++destinationsSettled;
        queue.removeFirst();
        current.settled = 1;
        if (destinationsSettled == destinationsToSettle) return;
        // An endpoint-only terminal drives nothing unless it is a seed.
        if (current.endpointOnly && !current.isSeed) continue;
        const Terminal& record = *current.terminal;
        const Edge* edges = topInfo->edges + record.firstOutgoingEdge;
        EdgeState* states = edgeStates + record.firstOutgoingEdge;
        for (uint32_t i = 0; i < record.outgoingCount; ++i) {
            const Edge& edge = edges[i];
            TerminalState& to = terminalStates[edge.destination];
            uint32_t candidate;
            // Cheapest test first: most edges lead to terminals already reached more cheaply. A
            // settled terminal is final: nothing reopens it.
            if (!addRouteCost(current.distance, edge.cost, candidate) || candidate >= to.distance || to.settled)
                continue;
            if (!states[i].available && !useUnavailableEdges) continue;
            if (to.endpointOnly && !to.isDestination) continue;
            queue.place(to, candidate);
            to.predecessor = &current;
            to.predecessorEdge = &states[i];
        }
    }
}

template <class tQueue>
bool Topography::calculateRouteWith(tQueue& queue, uint64_t ownerTag, const RouteCalculationSeedBase* seeds,
                                    uint32_t seedCount, SeedFilter seedFilter, const uint32_t* destinations,
                                    uint32_t destinationCount, uint32_t flags, Route**& routes, uint32_t& routeCount,
                                    nKZAPALS100::tStatus& status) {
    routes = nullptr;
    routeCount = 0;
    if (!validRequest(seeds, seedCount, destinations, destinationCount, status)) return false;
    resetSearch(flags);
    bool seeded = false;
    for (uint32_t i = 0; i < seedCount; ++i) {
        if (seedFilter != nullptr && !seedFilter(seeds[i])) continue;
        TerminalState* terminal = seedTerminal(seeds[i], status);
        if (status.isFatal()) return false;
        if (terminal == nullptr) continue;
        queue.place(*terminal, seeds[i].startCost);
        terminal->isSeed = 1;
        seeded = true;
    }
    if (!seeded || destinationCount == 0) return false;
    acceptDestinations(destinations, destinationCount, status);
    if (status.isFatal() || destinationsToSettle == 0) return false;

    // Each accepted destination yields at most one route and one opposite-inversion copy; sizing
    // by the accepted count keeps a huge caller count from reaching the allocator.
    const uint64_t slotCount = 2 * destinationsToSettle;
    Route** slots = allocateSlots(slotCount, status);
    if (slots == nullptr) return false;
    settle(queue);
    return finishRoutes(ownerTag, slots, slotCount, routes, routeCount, status);
}

}  // namespace kzark
