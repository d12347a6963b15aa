#include "kzark/topography.h"

#include <new>

#include "kzapal/protons/statusCodes.h"

namespace kzark {
using nKZAPALS100::tStatus;

SearchQueue::SearchQueue() {
    for (TerminalState*& bucket : buckets_) bucket = nullptr;
    for (uint64_t& word : occupied_) word = 0;
    clear();
}

// Only the occupied buckets hold anything.
void SearchQueue::clear() {
    for (uint32_t word = 0; word < kWords; ++word) {
        for (uint64_t bits = occupied_[word]; bits != 0; bits &= bits - 1)
            buckets_[word * 64 + __builtin_ctzll(bits)] = nullptr;
        occupied_[word] = 0;
    }
    farHead_ = farTail_ = nullptr;
    ringEnd_ = 0;  // everything waits far until the first look at the queue
    ringStart_ = 0;
    inRing_ = 0;
    first_ = nullptr;
}

void SearchQueue::pushFar(TerminalState& terminal) {
    terminal.queued = kFar;
    terminal.queueNext = nullptr;
    terminal.queuePrevious = farTail_;
    if (farTail_ != nullptr) {
        farTail_->queueNext = &terminal;
    } else {
        farHead_ = &terminal;
    }
    farTail_ = &terminal;
}

void SearchQueue::unlink(TerminalState& terminal) {
    TerminalState* next = terminal.queueNext;
    TerminalState* previous = terminal.queuePrevious;
    if (terminal.queued == kInRing) {
        const uint32_t bucket = bucketOf(terminal.distance);
        if (previous != nullptr) {
            previous->queueNext = next;
        } else if ((buckets_[bucket] = next) == nullptr) {
            occupied_[bucket / 64] &= ~(uint64_t(1) << (bucket % 64));
        }
        if (next != nullptr) next->queuePrevious = previous;
        --inRing_;
    } else {
        if (previous != nullptr) {
            previous->queueNext = next;
        } else {
            farHead_ = next;
        }
        if (next != nullptr) {
            next->queuePrevious = previous;
        } else {
            farTail_ = previous;
        }
    }
    terminal.queued = kNotQueued;
}

// Far terminals keep their placement order as they move, so each bucket still has the latest
// placement at its head.
void SearchQueue::moveRing() {
    uint32_t nearest = kUnreachedDistance;
    for (const TerminalState* far = farHead_; far != nullptr; far = far->queueNext)
        if (far->distance < nearest) nearest = far->distance;
    ringStart_ = nearest;
    ringEnd_ = uint64_t(nearest) + kRingSize;
    for (TerminalState* far = farHead_; far != nullptr;) {
        TerminalState& terminal = *far;
        far = far->queueNext;
        if (terminal.distance >= ringEnd_) continue;
        unlink(terminal);
        pushRing(terminal);
    }
}

void Topography::initialize(const TopInfo& info, TerminalState* terminals, EdgeState* edges) {
    topInfo = &info;
    terminalStates = terminals;
    edgeStates = edges;
    terminalCount = info.terminalCount;
    edgeCount = info.edgeCount;
    for (uint64_t i = 0; i < terminalCount; ++i) {
        terminals[i] = TerminalState{};
        terminals[i].terminal = &info.terminals[i];
        terminals[i].distance = kUnreachedDistance;
        terminals[i].endpointOnly = (info.terminals[i].flags & kTerminalEndpointOnly) != 0;
        terminals[i].closed = terminals[i].endpointOnly;
        terminals[i].id = info.terminals[i].id;
        terminals[i].bidirectional = (info.terminals[i].flags & kTerminalBidirectional) != 0;
    }
    queue.clear();
    hasGroups = false;
    for (uint64_t i = 0; i < terminalCount; ++i) {
        if (info.terminals[i].group != 0) hasGroups = true;
    }
    hasInvertingEdge = false;
    largestEdgeCost = 0;
    for (uint64_t i = 0; i < edgeCount; ++i) {
        edges[i] = EdgeState{&info.edges[i], 0, 0, 1, info.edges[i].cost, &terminals[info.edges[i].destination]};
        if (info.edges[i].inversion != 0) hasInvertingEdge = true;
        if (info.edges[i].cost > largestEdgeCost) largestEdgeCost = info.edges[i].cost;
    }
}

TerminalState* Topography::findTerminalByScan(uint32_t id) {
    for (uint64_t i = 0; i < terminalCount; ++i) {
        if (terminalStates[i].id == id) return &terminalStates[i];
    }
    return nullptr;
}

bool Topography::hasReservedIncomingEdge(const TerminalState& terminal) const {
    const Terminal& record = *terminal.terminal;
    for (uint32_t i = 0; i < record.incomingCount; ++i) {
        if (edgeStates[topInfo->incomingList[record.firstIncomingPosition + i]].reservationCount != 0) return true;
    }
    return false;
}

// Usually none is: every count is read, without a test for each.
bool Topography::hasReservedOutgoingEdge(const TerminalState& terminal) const {
    const Terminal& record = *terminal.terminal;
    const EdgeState* const end = edgeStates + record.firstOutgoingEdge + record.outgoingCount;
    uint32_t reserved = 0;
#pragma GCC unroll 4
    for (const EdgeState* edge = edgeStates + record.firstOutgoingEdge; edge != end; ++edge)
        reserved |= edge->reservationCount;
    return reserved != 0;
}

EdgeState* Topography::firstIncomingEdge(const TerminalState& terminal) {
    return terminal.terminal->incomingCount != 0 ? &incomingEdge(terminal, 0) : nullptr;
}

EdgeState* Topography::defaultIncomingEdge(const TerminalState& terminal) {
    for (uint32_t i = 0; i < terminal.terminal->incomingCount; ++i) {
        EdgeState& edge = incomingEdge(terminal, i);
        if (edge.edge->isDefault) return &edge;
    }
    return nullptr;
}

bool Topography::groupHasReservedIncomingEdge(const TerminalState& terminal) const {
    const TerminalGroup* group = groupOf(terminal);
    if (group == nullptr) return hasReservedIncomingEdge(terminal);
    for (uint32_t i = 0; i < group->memberCount; ++i) {
        if (hasReservedIncomingEdge(terminalStates[group->members[i]])) return true;
    }
    return false;
}

bool Topography::validGroups(const TopInfo& info) {
    uint32_t groupCount = 0;
    if (info.groups != nullptr) {
        while (info.groups[groupCount].memberCount != 0) ++groupCount;
    }
    for (uint32_t g = 1; g <= groupCount; ++g) {
        const TerminalGroup& group = info.groups[g - 1];
        for (uint32_t m = 0; m < group.memberCount; ++m) {
            if (group.members[m] >= info.terminalCount || info.terminals[group.members[m]].group != g) return false;
        }
    }
    // With every member naming its group, a group that each of its terminals appears in and that
    // has as many members as terminals name it lists each of them exactly once.
    for (uint32_t t = 0; t < info.terminalCount; ++t) {
        const uint32_t g = info.terminals[t].group;
        if (g == 0) continue;
        if (g > groupCount) return false;
        const TerminalGroup& group = info.groups[g - 1];
        bool listed = false;
        for (uint32_t m = 0; m < group.memberCount && !listed; ++m) listed = group.members[m] == t;
        uint32_t naming = 0;
        for (uint32_t other = 0; other < info.terminalCount; ++other) naming += info.terminals[other].group == g;
        if (!listed || naming != group.memberCount) return false;
    }
    return true;
}

bool Topography::validRequest(const RouteCalculationSeedBase* seeds, uint32_t seedCount,
                              const uint32_t* destinations, uint32_t destinationCount, tStatus& status) {
    if (status.isFatal()) return false;
    if (seedCount == 0 || seeds == nullptr || (destinationCount != 0 && destinations == nullptr)) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusBadParameter);
        return false;
    }
    return true;
}

void Topography::resetSearch(uint32_t flags) {
    for (uint64_t i = 0; i < terminalCount; ++i) {
        // The predecessors are read only for terminals this search reaches, which set them.
        TerminalState& terminal = terminalStates[i];
        terminal.distance = kUnreachedDistance;
        terminal.isSeed = 0;
        terminal.isDestination = 0;
        terminal.queued = kNotQueued;
        terminal.closed = terminal.endpointOnly;
    }
    // Only the first states carry destination flags.
    for (uint64_t word = 0; word * 32 < terminalCount; ++word) terminalStates[word].destinationWord = 0;
    currentTerminal = nullptr;
    useUnavailableEdges = (flags & kCalculateUseUnavailableEdges) != 0;
    destinationsToSettle = 0;
    destinationsSettled = 0;
}

TerminalState* Topography::seedTerminal(const RouteCalculationSeedBase& seed, tStatus& status) {
    TerminalState* terminal = findTerminal(seed.terminalId);
    if (terminal == nullptr) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusBadParameter);
        return nullptr;
    }
    // A bidirectional terminal that is being driven, itself or through another member of its group,
    // cannot drive.
    if (terminal->bidirectional && groupHasReservedIncomingEdge(*terminal)) return nullptr;
    return terminal;
}

inline bool Topography::acceptDestination(TerminalState& terminal) {
    // A bidirectional terminal that drives something cannot be driven.
    if (terminal.bidirectional && hasReservedOutgoingEdge(terminal)) return false;
    if (!terminal.isDestination) {
        const uint64_t index = &terminal - terminalStates;
        terminalStates[index / 32].destinationWord |= uint32_t(1) << (index % 32);
        terminal.isDestination = 1;
        terminal.closed = 0;
        ++destinationsToSettle;
    }
    return true;
}

void Topography::acceptDestinations(const uint32_t* destinations, uint32_t destinationCount, tStatus& status) {
    for (uint32_t i = 0; i < destinationCount; ++i) {
        TerminalState* terminal = findTerminal(destinations[i]);
        if (terminal == nullptr) {
            KZ_SET_CODE(status, nKZAPALS100::kStatusBadParameter);
            return;
        }
        if (!acceptDestination(*terminal) || !hasGroups) continue;
        // Reaching any member of a group reaches its signal: every member is tried, and the
        // cheapest route is kept.
        const TerminalGroup* group = groupOf(*terminal);
        for (uint32_t m = 0; group != nullptr && m < group->memberCount; ++m) acceptDestination(member(*group, m));
    }
}

bool Topography::mayUse(const TerminalState& from, const EdgeState& edge) const {
    if (!edge.available && !useUnavailableEdges) return false;
    const TerminalState& to = *edge.to;
    if ((to.terminal->flags & kTerminalEndpointOnly) && !to.isDestination) return false;
    if ((from.terminal->flags & kTerminalEndpointOnly) && !from.isSeed) return false;
    return true;
}

Route** Topography::allocateSlots(uint64_t slotCount, tStatus& status) {
    auto** slots = static_cast<Route**>(routeResize.resize(nullptr, slotCount * sizeof(Route*)));
    if (slots == nullptr) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusMemoryFull);
        return nullptr;
    }
    const auto place = [slots](uint64_t i, void* area) { slots[i] = new (area) Route(); };
    uint64_t placed = 0;
    if (GrowOnlyHeap* heap = routeResize.scratchHeap()) {
        placed = heap->allocateEach(slotCount, sizeof(Route), place);
    } else {
        for (void* area; placed < slotCount && (area = routeResize.resize(nullptr, sizeof(Route))) != nullptr; ++placed)
            place(placed, area);
    }
    if (placed != slotCount) {
        releaseRoutes(slots, static_cast<uint32_t>(placed));
        KZ_SET_CODE(status, nKZAPALS100::kStatusMemoryFull);
        return nullptr;
    }
    return slots;
}

template <class tAllocate>
bool Topography::reserveSegments(Route& route, uint32_t count, tAllocate& allocate) {
    if (count <= route.segmentCapacity) return true;
    auto* segments = static_cast<kzgta::PathSegment*>(allocate(route.segments, count * sizeof(kzgta::PathSegment)));
    route.segments = segments;
    route.segmentCapacity = segments != nullptr ? count : 0;
    return segments != nullptr;
}

bool Topography::releasesNothing() const {
    return segmentResize.isScratchHeap() && routeResize.isScratchHeap();
}

void Topography::releaseRoute(Route* route) {
    if (route == nullptr || releasesNothing()) return;
    segmentResize.resize(route->extras, 0);
    segmentResize.resize(route->segments, 0);
    routeResize.resize(route, 0);
}

void Topography::releaseRoutes(Route** routes, uint32_t routeCount) {
    if (routes == nullptr || releasesNothing()) return;
    for (uint32_t i = 0; i < routeCount; ++i) releaseRoute(routes[i]);
    routeResize.resize(routes, 0);
}

// Routes come out in table order of their destinations; no route for a destination the search
// never reached, whose slot stays free.
template <class tAllocate>
uint32_t Topography::buildRoutes(Route** slots, tAllocate& allocate, tStatus& status) {
    uint32_t built = 0;
    TerminalState* const states = terminalStates;
    for (uint64_t word = 0; word * 32 < terminalCount; ++word) {
        for (uint32_t bits = states[word].destinationWord; bits != 0; bits &= bits - 1) {
            TerminalState& destination = states[word * 32 + __builtin_ctz(bits)];
            Route& route = *slots[built];
            if (destination.isSeed) {
                route.source = &destination;
                route.segmentCount = 0;
                route.cost = destination.distance;
                ++built;
                continue;
            }
            // Reached, and no seed: it has a predecessor.
            if (destination.distance == kUnreachedDistance) continue;
            const uint32_t count = destination.hops;
            if (!reserveSegments(route, count, allocate)) {
                KZ_SET_CODE(status, nKZAPALS100::kStatusBufferTooSmall);
                return 0;
            }
            kzgta::PathSegment* segment = route.segments + count;
            TerminalState* reached = &destination;
            while (segment != route.segments) {
                --segment;
                segment->edge = reached->predecessorEdge;
                segment->terminal = reached;
                reached = reached->predecessor;
            }
            route.source = reached;
            route.segmentCount = count;
            route.cost = destination.distance;
            ++built;
        }
    }
    // The routes were made zeroed: without an inverting edge none is inverted.
    for (uint32_t r = 0; r < built && hasInvertingEdge; ++r) {
        Route& route = *slots[r];
        route.inverted = 0;
        for (uint32_t s = 0; s < route.segmentCount; ++s) route.inverted ^= route.segments[s].edge->edge->inversion;
    }
    return built;
}

// For each route, a copy in which the last segment that can be swapped for a parallel edge of
// opposite inversion is swapped. A copy without such a segment gives its slot to the next one.
template <class tAllocate>
uint32_t Topography::addOppositeInversions(Route** slots, uint32_t built, tAllocate& allocate, tStatus& status) {
    uint32_t next = built;
    for (uint32_t r = 0; r < built; ++r) {
        const Route& original = *slots[r];
        Route& copy = *slots[next];
        if (!reserveSegments(copy, original.segmentCount, allocate)) {
            KZ_SET_CODE(status, nKZAPALS100::kStatusMemoryFull);
            return 0;
        }
        // Without an inverting edge no segment has an opposite: the copy's array is still
        // reserved, so that memory runs short at the same step whatever the table.
        if (!hasInvertingEdge) continue;
        copy.source = original.source;
        copy.segmentCount = original.segmentCount;
        copy.cost = original.cost;
        copy.inverted = original.inverted;
        for (uint32_t s = 0; s < original.segmentCount; ++s) copy.segments[s] = original.segments[s];
        for (uint32_t s = copy.segmentCount; s-- > 0;) {
            kzgta::PathSegment& segment = copy.segments[s];
            if (segment.edge->reservationCount != 0) continue;
            const Edge& taken = *segment.edge->edge;
            TerminalState& from = s == 0 ? *copy.source : *copy.segments[s - 1].terminal;
            const Terminal& record = *from.terminal;
            EdgeState* opposite = nullptr;
            uint32_t cost = 0;
            for (uint32_t i = 0; i < record.outgoingCount && opposite == nullptr; ++i) {
                EdgeState& edge = edgeStates[record.firstOutgoingEdge + i];
                if (edge.edge->destination == taken.destination && edge.edge->inversion != taken.inversion &&
                    mayUse(from, edge) && addRouteCost(copy.cost - taken.cost, edge.edge->cost, cost))
                    opposite = &edge;
            }
            if (opposite == nullptr) continue;
            segment.edge = opposite;
            copy.cost = cost;
            copy.inverted ^= 1;
            ++next;
            break;
        }
    }
    return next;
}

// Of two routes with one polarity to different members of a group, the cheaper stays (the earlier
// on equal cost), and goes on to be compared with the later ones. The remaining routes close up.
uint32_t Topography::dropGroupDuplicates(Route** slots, uint32_t kept) {
    for (uint32_t i = 0; i < kept; ++i) {
        if (slots[i] == nullptr || slots[i]->endTerminal()->terminal->group == 0) continue;
        uint32_t survivor = i;
        for (uint32_t j = i + 1; j < kept; ++j) {
            if (slots[j] == nullptr) continue;
            const Terminal& earlier = *slots[survivor]->endTerminal()->terminal;
            const Terminal& later = *slots[j]->endTerminal()->terminal;
            if (&earlier == &later || earlier.group != later.group || later.incomingCount == 0 ||
                slots[survivor]->inverted != slots[j]->inverted)
                continue;
            const uint32_t loser = slots[j]->cost < slots[survivor]->cost ? survivor : j;
            releaseRoute(slots[loser]);
            slots[loser] = nullptr;
            if (loser == survivor) survivor = j;
        }
    }
    uint32_t remaining = 0;
    for (uint32_t i = 0; i < kept; ++i) {
        if (slots[i] == nullptr) continue;
        slots[remaining] = slots[i];
        if (remaining++ != i) slots[i] = nullptr;
    }
    return remaining;
}

void Topography::addExtras(Route** slots, uint32_t kept, tStatus& status) {
    for (uint32_t r = 0; r < kept && status.isNotFatal(); ++r) {
        Route& route = *slots[r];
        uint64_t count = 0;
        for (uint32_t s = 0; s < route.segmentCount; ++s) {
            const TerminalGroup* group = groupOf(*route.segments[s].terminal);
            if (group != nullptr && group->memberCount > 1) count += group->memberCount - 1;
        }
        if (count == 0) continue;
        route.extras =
            static_cast<kzgta::PathSegment*>(segmentResize.resize(nullptr, count * sizeof(kzgta::PathSegment)));
        if (route.extras == nullptr) {
            KZ_SET_CODE(status, nKZAPALS100::kStatusMemoryFull);
            return;
        }
        for (uint32_t s = 0; s < route.segmentCount; ++s) {
            const TerminalState& reached = *route.segments[s].terminal;
            const TerminalGroup* group = groupOf(reached);
            for (uint32_t m = 0; group != nullptr && m < group->memberCount; ++m) {
                TerminalState& other = member(*group, m);
                if (&other == &reached) continue;
                route.extras[route.extraCount++] = {defaultIncomingEdge(other), &other};
            }
        }
    }
}

bool Topography::calculateRoute(uint64_t ownerTag, const RouteCalculationSeedBase* seeds, uint32_t seedCount,
                                SeedFilter seedFilter, const uint32_t* destinations, uint32_t destinationCount,
                                uint32_t flags, Route**& routes, uint32_t& routeCount, tStatus& status) {
    queue.clear();
    return calculateRouteWith(queue, ownerTag, seeds, seedCount, seedFilter, destinations, destinationCount, flags,
                              routes, routeCount, status);
}

bool Topography::finishRoutes(uint64_t ownerTag, Route** slots, uint64_t slotCount, Route**& routes,
                              uint32_t& routeCount, tStatus& status) {
    uint32_t built;
    uint32_t kept;
    const auto buildAll = [&](auto& allocate) {
        built = buildRoutes(slots, allocate, status);
        kept = status.isFatal() || built == 0 ? built : addOppositeInversions(slots, built, allocate, status);
    };
    // The scratch heap, the usual callback, with its free pointer kept out of memory meanwhile.
    if (GrowOnlyHeap* heap = segmentResize.scratchHeap()) {
        GrowOnlyHeap::Carver carver(*heap);
        const auto allocate = [&carver](void*, uint64_t size) { return carver.allocate(size); };
        buildAll(allocate);
    } else {
        const auto allocate = [this](void* old, uint64_t size) { return segmentResize.resize(old, size); };
        buildAll(allocate);
    }
    if (status.isFatal() || built == 0) {
        releaseRoutes(slots, static_cast<uint32_t>(slotCount));
        return status.isNotFatal();
    }
    for (uint64_t i = kept; i < slotCount && !releasesNothing(); ++i) releaseRoute(slots[i]);
    if (hasGroups) {
        kept = dropGroupDuplicates(slots, kept);
        addExtras(slots, kept, status);
        if (status.isFatal()) {
            releaseRoutes(slots, kept);
            return false;
        }
    }
    for (uint32_t i = 0; i < kept; ++i) {
        slots[i]->ownerTag = ownerTag;
        slots[i]->state = kRouteStateCalculated;
    }
    routes = slots;
    routeCount = kept;
    return false;
}

}  // namespace kzark
