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

struct TerminalState;

struct EdgeState {
    const Edge* edge;
    uint32_t reservationCount;
    uint32_t programmedCount;
    uint8_t available;  // 0 while another incoming edge of the same destination is reserved
    // The table's cost and the destination's state, so that the search's inner loop reads no
    // table record and computes no address.
    uint32_t cost;
    TerminalState* to;
};
static_assert(sizeof(EdgeState) == 32, "edge state size");

// A terminal waits in the search queue from its first distance until it is settled.
struct TerminalState {
    const Terminal* terminal;
    TerminalState* predecessor;
    EdgeState* predecessorEdge;
    uint32_t distance;
    uint8_t isSeed;
    uint8_t isDestination;
    uint8_t queued;        // which list of the search queue holds it, kNotQueued for none
    uint8_t endpointOnly;  // the table's flag
    // An endpoint-only terminal that is not a destination: no edge leads into it. Kept beside the
    // distance for the search's inner loop.
    uint8_t closed;
    // The table's bidirectional flag (and, below, its id), so that looking terminals up reads no
    // table record.
    uint8_t bidirectional;
    // Predecessor links back to the root, so that a route's segments are counted without a walk.
    uint32_t hops;
    // The search queue's links.
    TerminalState* queueNext;
    TerminalState* queuePrevious;
    uint32_t id;
    // Destination flags of terminals 32 i to 32 i + 31 in state i, so that routes are built in
    // table order without testing every terminal.
    uint32_t destinationWord;
};
static_assert(sizeof(TerminalState) == 64, "terminal state size");

constexpr uint8_t kNotQueued = 0;

// The search queue gives terminals up by distance and, among equal distances, the latest placement
// first: the order of a list kept sorted by distance where each placement goes before the entries
// at its distance. Distances within a ring's width of the smallest wait in the ring, one bucket
// per distance, each a list with the latest placement at its head; farther ones wait in a list in
// placement order until the ring runs empty and moves on to them. Edge costs are far below the
// ring's width in a routing table, so a search goes round the ring and takes each terminal out of
// it at once. The links live in the terminal states, so a search allocates nothing.
class SearchQueue {
public:
    static constexpr uint32_t kRingSize = 256;

    SearchQueue();
    SearchQueue(const SearchQueue&) = delete;
    SearchQueue& operator=(const SearchQueue&) = delete;

    // Forgets every terminal it holds (their states are reset on their own).
    void clear();
    // Places the terminal at that distance (closer or farther), ahead of its equals.
    void place(TerminalState& terminal, uint32_t distance);
    // Null when the queue is empty.
    TerminalState* first();
    void removeFirst();

private:
    static constexpr uint8_t kInRing = 1;
    static constexpr uint8_t kFar = 2;
    static constexpr uint32_t kWords = kRingSize / 64;

    static uint32_t bucketOf(uint32_t distance) { return distance & (kRingSize - 1); }
    void pushRing(TerminalState& terminal);
    void pushFar(TerminalState& terminal);
    void unlink(TerminalState& terminal);
    // The ring holds nothing: it starts again at the nearest far distance.
    void moveRing();
    TerminalState* scanRing();

    TerminalState* buckets_[kRingSize];
    uint64_t occupied_[kWords];  // a bit per non-empty bucket
    TerminalState* farHead_;     // the earliest placement
    TerminalState* farTail_;
    uint64_t ringEnd_;    // distances below it go into the ring
    uint32_t ringStart_;  // no distance in the ring is below it
    uint32_t inRing_;
    TerminalState* first_;  // as first() found it, until the queue changes
};

// A search places, looks and takes once for each terminal it reaches, so these are inline.
inline void SearchQueue::place(TerminalState& terminal, uint32_t distance) {
    if (terminal.queued != kNotQueued) unlink(terminal);
    terminal.distance = distance;
    first_ = nullptr;
    if (distance < ringEnd_) {
        pushRing(terminal);
    } else {
        pushFar(terminal);
    }
}

inline void SearchQueue::pushRing(TerminalState& terminal) {
    const uint32_t bucket = bucketOf(terminal.distance);
    TerminalState* next = buckets_[bucket];
    terminal.queued = kInRing;
    terminal.queuePrevious = nullptr;
    terminal.queueNext = next;
    if (next != nullptr) next->queuePrevious = &terminal;
    buckets_[bucket] = &terminal;
    occupied_[bucket / 64] |= uint64_t(1) << (bucket % 64);
    ++inRing_;
}

// The first non-empty bucket going round from the ring's start; the ring holds something.
inline TerminalState* SearchQueue::scanRing() {
    const uint32_t start = bucketOf(ringStart_);
    uint32_t word = start / 64;
    uint64_t bits = occupied_[word] & (~uint64_t(0) << (start % 64));
    // Past the last word the search comes back to the first one, whole this time.
    for (uint32_t k = 0; bits == 0 && k < kWords; ++k) {
        word = (word + 1) % kWords;
        bits = occupied_[word];
    }
    // Every distance in the ring lies within its width of the start, so the bucket gives it.
    const uint32_t bucket = word * 64 + __builtin_ctzll(bits);
    ringStart_ += (bucket - start) & (kRingSize - 1);
    return buckets_[bucket];
}

inline TerminalState* SearchQueue::first() {
    if (first_ != nullptr) return first_;
    if (inRing_ == 0) {
        if (farHead_ == nullptr) return nullptr;
        moveRing();
    }
    first_ = scanRing();
    return first_;
}

// The first terminal heads its bucket.
inline void SearchQueue::removeFirst() {
    TerminalState* found = first();
    if (found == nullptr) return;
    const uint32_t bucket = bucketOf(found->distance);
    TerminalState* next = found->queueNext;
    if ((buckets_[bucket] = next) != nullptr) {
        next->queuePrevious = nullptr;
    } else {
        occupied_[bucket / 64] &= ~(uint64_t(1) << (bucket % 64));
    }
    --inRing_;
    found->queued = kNotQueued;
    first_ = nullptr;
}

// Lives only during one calculation; the route database keeps copies. A calculation makes two for
// each destination, so the fields are packed.
struct Route {
    TerminalState* source;
    kzgta::PathSegment* segments;
    // For each segment whose terminal is in a group, the group's other members with their default
    // inputs (a null edge when a member has none), reserved and programmed with the route.
    kzgta::PathSegment* extras;
    uint64_t ownerTag;
    uint32_t cost;
    uint32_t segmentCount;
    uint32_t segmentCapacity;
    uint32_t state;
    uint32_t extraCount;
    uint8_t inverted;

    // The terminal reached by the last segment, the source when there is none.
    TerminalState* endTerminal() const { return segmentCount == 0 ? source : segments[segmentCount - 1].terminal; }
};

struct ResizeCallback {
    ResizeFn function;
    void* context;

    // The scratch heap, the search's usual callback, which releases nothing.
    bool isScratchHeap() const { return function == growOnlyHeapResizeFn; }
    // The scratch heap itself, for carving in place; null for any other callback.
    GrowOnlyHeap* scratchHeap() const { return isScratchHeap() ? static_cast<GrowOnlyHeap*>(context) : nullptr; }

    void* resize(void* oldArea, uint64_t size) const {
        // The scratch heap is called directly so that it inlines.
        if (isScratchHeap()) return growOnlyHeapResizeFn(oldArea, size, context);
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
    TerminalState* findTerminal(uint32_t id) {
        if (id != 0 && id <= terminalCount && terminalStates[id - 1].id == id) return &terminalStates[id - 1];
        return findTerminalByScan(id);
    }

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
    // The scratch heap gives nothing back one area at a time, so routes need not be visited.
    bool releasesNothing() const;

    TerminalState* terminalStates = nullptr;
    EdgeState* edgeStates = nullptr;
    uint64_t terminalCount = 0;
    uint64_t edgeCount = 0;
    uint8_t useUnavailableEdges = 0;
    TerminalState* currentTerminal = nullptr;
    // Set at initialisation: without an inverting edge no route has an opposite-inversion copy;
    // without a group no route has extras or a group duplicate; below the largest edge cost from
    // the unreached mark no sum needs the overflow test.
    bool hasInvertingEdge = false;
    bool hasGroups = false;
    uint32_t largestEdgeCost = 0;
    uint64_t destinationsToSettle = 0;
    uint64_t destinationsSettled = 0;
    ResizeCallback segmentResize = {growOnlyHeapResizeFn, nullptr};
    ResizeCallback routeResize = {growOnlyHeapResizeFn, nullptr};
    const TopInfo* topInfo = nullptr;
    SearchQueue queue;

private:
    TerminalState* findTerminalByScan(uint32_t id);
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
    template <class tQueue>
    inline __attribute__((always_inline)) void relax(tQueue& queue, TerminalState& from, EdgeState& state,
                                                     TerminalState& to, uint32_t candidate);
    bool mayUse(const TerminalState& from, const EdgeState& edge) const;
    bool finishRoutes(uint64_t ownerTag, Route** slots, uint64_t slotCount, Route**& routes, uint32_t& routeCount,
                      nKZAPALS100::tStatus& status);
    // Segment arrays come from allocate(old area, size), the segment resize callback's convention.
    template <class tAllocate>
    uint32_t buildRoutes(Route** slots, tAllocate& allocate, nKZAPALS100::tStatus& status);
    template <class tAllocate>
    uint32_t addOppositeInversions(Route** slots, uint32_t built, tAllocate& allocate, nKZAPALS100::tStatus& status);
    uint32_t dropGroupDuplicates(Route** slots, uint32_t kept);
    void addExtras(Route** slots, uint32_t kept, nKZAPALS100::tStatus& status);
    Route** allocateSlots(uint64_t slotCount, nKZAPALS100::tStatus& status);
    template <class tAllocate>
    static bool reserveSegments(Route& route, uint32_t count, tAllocate& allocate);
};

// Seed start costs come from user mode: a sum that would reach the unreached mark is no path, so a
// cost can never wrap round to a small value and reopen a settled terminal.
inline bool addRouteCost(uint32_t distance, uint32_t cost, uint32_t& sum) {
    if (cost >= kUnreachedDistance - distance) return false;
    sum = distance + cost;
    return true;
}

// The candidate is below the terminal's distance, and the terminal is not closed.
template <class tQueue>
void Topography::relax(tQueue& queue, TerminalState& from, EdgeState& state, TerminalState& to, uint32_t candidate) {
    if (!state.available && !useUnavailableEdges) return;
    queue.place(to, candidate);
    to.predecessor = &from;
    to.predecessorEdge = &state;
    to.hops = from.hops + 1;
}

// Terminals come out of the queue in order of distance, and a sum never wraps, so a candidate is
// never below a settled terminal's distance: the distance test alone keeps settled terminals final.
template <class tQueue>
void Topography::settle(tQueue& queue) {
    EdgeState* const edges = edgeStates;
    while (destinationsSettled < destinationsToSettle) {
        TerminalState* first = queue.first();
        if (first == nullptr || first->distance == kUnreachedDistance) return;
        TerminalState& current = *first;
        currentTerminal = &current;
        if (current.isDestination) ++destinationsSettled;
        queue.removeFirst();
        if (destinationsSettled == destinationsToSettle) return;
        // An endpoint-only terminal drives nothing unless it is a seed.
        if (current.endpointOnly && !current.isSeed) continue;
        const Terminal& record = *current.terminal;
        EdgeState* edge = edges + record.firstOutgoingEdge;
        EdgeState* const end = edge + record.outgoingCount;
        const uint32_t distance = current.distance;
        if (distance < kUnreachedDistance - largestEdgeCost) {
            // Most edges lead nowhere cheaper: the loop's own count is a good part of its cost.
#pragma GCC unroll 4
            for (; edge != end; ++edge) {
                TerminalState& to = *edge->to;
                const uint32_t candidate = distance + edge->cost;
                if (candidate < to.distance && !to.closed) relax(queue, current, *edge, to, candidate);
            }
            continue;
        }
        for (; edge != end; ++edge) {
            TerminalState& to = *edge->to;
            uint32_t candidate;
            if (addRouteCost(distance, edge->cost, candidate) && candidate < to.distance && !to.closed)
                relax(queue, current, *edge, to, candidate);
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
        terminal->hops = 0;
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
