#include "kzark/topography.h"

#include <new>

#include "kzapal/protons/statusCodes.h"

namespace kzark {
namespace {

using nKZAPALS100::tStatus;

// A queue position's parent and first child.
constexpr uint32_t parentOf(uint32_t position) { return (position - 1) / 2; }
constexpr uint32_t firstChildOf(uint32_t position) { return 2 * position + 1; }

}  // namespace

void SearchQueue::place(TerminalState& terminal, uint32_t distance) {
    terminal.distance = distance;
    const uint64_t key = keyOf(distance);
    if (terminal.queuePosition == kNotQueued) {
        siftUp(terminal, key, size_++);
        return;
    }
    // Farther (a seed given again at a higher cost) sinks; closer rises.
    if (key > states_[terminal.queuePosition].slotKey) {
        siftDown(terminal, key, terminal.queuePosition);
    } else {
        siftUp(terminal, key, terminal.queuePosition);
    }
}

void SearchQueue::removeFirst() {
    if (size_ == 0) return;
    states_[0].slotEntry->queuePosition = kNotQueued;
    if (--size_ == 0) return;
    siftDown(*states_[size_].slotEntry, states_[size_].slotKey, 0);
}

void SearchQueue::siftUp(TerminalState& terminal, uint64_t key, uint32_t position) {
    while (position > 0) {
        const TerminalState& parent = states_[parentOf(position)];
        if (key >= parent.slotKey) break;
        put(*parent.slotEntry, parent.slotKey, position);
        position = parentOf(position);
    }
    put(terminal, key, position);
}

void SearchQueue::siftDown(TerminalState& terminal, uint64_t key, uint32_t position) {
    for (uint32_t child = firstChildOf(position); child < size_; child = firstChildOf(position)) {
        if (child + 1 < size_ && states_[child + 1].slotKey < states_[child].slotKey) ++child;
        const TerminalState& next = states_[child];
        if (next.slotKey >= key) break;
        put(*next.slotEntry, next.slotKey, position);
        position = child;
    }
    put(terminal, key, position);
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
        terminals[i].queuePosition = kNotQueued;
        terminals[i].endpointOnly = (info.terminals[i].flags & kTerminalEndpointOnly) != 0;
    }
    hasInvertingEdge = false;
    for (uint64_t i = 0; i < edgeCount; ++i) {
        edges[i] = EdgeState{&info.edges[i], 0, 0, 1};
        if (info.edges[i].inversion != 0) hasInvertingEdge = true;
    }
}

TerminalState* Topography::findTerminal(uint32_t id) {
    if (id != 0 && id <= terminalCount && terminalStates[id - 1].terminal->id == id) return &terminalStates[id - 1];
    for (uint64_t i = 0; i < terminalCount; ++i) {
        if (terminalStates[i].terminal->id == id) return &terminalStates[i];
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

bool Topography::hasReservedOutgoingEdge(const TerminalState& terminal) const {
    const Terminal& record = *terminal.terminal;
    for (uint32_t i = 0; i < record.outgoingCount; ++i) {
        if (edgeStates[record.firstOutgoingEdge + i].reservationCount != 0) return true;
    }
    return false;
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
        TerminalState& terminal = terminalStates[i];
        terminal.predecessor = nullptr;
        terminal.predecessorEdge = nullptr;
        terminal.distance = kUnreachedDistance;
        terminal.isSeed = 0;
        terminal.isDestination = 0;
        terminal.settled = 0;
        terminal.queuePosition = kNotQueued;
    }
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
    // A bidirectional terminal that is being driven cannot drive.
    if ((terminal->terminal->flags & kTerminalBidirectional) && hasReservedIncomingEdge(*terminal)) return nullptr;
    return terminal;
}

void Topography::acceptDestinations(const uint32_t* destinations, uint32_t destinationCount, tStatus& status) {
    for (uint32_t i = 0; i < destinationCount; ++i) {
        TerminalState* terminal = findTerminal(destinations[i]);
        if (terminal == nullptr) {
            KZ_SET_CODE(status, nKZAPALS100::kStatusBadParameter);
            return;
        }
        // A bidirectional terminal that drives something cannot be driven.
        if ((terminal->terminal->flags & kTerminalBidirectional) && hasReservedOutgoingEdge(*terminal)) continue;
        if (terminal->isDestination) continue;
        terminal->isDestination = 1;
        ++destinationsToSettle;
    }
}

bool Topography::mayUse(const TerminalState& from, const EdgeState& edge) const {
    if (!edge.available && !useUnavailableEdges) return false;
    const TerminalState& to = terminalStates[edge.edge->destination];
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
    for (uint64_t i = 0; i < slotCount; ++i) {
        void* area = routeResize.resize(nullptr, sizeof(Route));
        if (area == nullptr) {
            releaseRoutes(slots, static_cast<uint32_t>(i));
            KZ_SET_CODE(status, nKZAPALS100::kStatusMemoryFull);
            return nullptr;
        }
        slots[i] = new (area) Route();
    }
    return slots;
}

bool Topography::reserveSegments(Route& route, uint32_t count) {
    if (count <= route.segmentCapacity) return true;
    auto* segments =
        static_cast<kzgta::PathSegment*>(segmentResize.resize(route.segments, count * sizeof(kzgta::PathSegment)));
    route.segments = segments;
    route.segmentCapacity = segments != nullptr ? count : 0;
    return segments != nullptr;
}

void Topography::releaseRoute(Route* route) {
    if (route == nullptr) return;
    segmentResize.resize(route->segments, 0);
    routeResize.resize(route, 0);
}

void Topography::releaseRoutes(Route** routes, uint32_t routeCount) {
    if (routes == nullptr) return;
    for (uint32_t i = 0; i < routeCount; ++i) releaseRoute(routes[i]);
    routeResize.resize(routes, 0);
}

// Routes come out in table order of their destinations.
uint32_t Topography::buildRoutes(Route** slots, tStatus& status) {
    uint32_t built = 0;
    uint64_t visited = 0;
    for (uint64_t i = 0; i < terminalCount && visited < destinationsToSettle; ++i) {
        TerminalState& destination = terminalStates[i];
        if (!destination.isDestination) continue;
        ++visited;
        Route& route = *slots[built];
        if (destination.isSeed) {
            route.source = &destination;
            route.segmentCount = 0;
            route.cost = destination.distance;
            ++built;
            continue;
        }
        if (destination.predecessor == nullptr) continue;
        // Bounded by the terminal count, so a corrupt predecessor chain cannot hold the caller here.
        uint32_t count = 0;
        TerminalState* root = &destination;
        for (; root->predecessor != nullptr && count <= terminalCount; root = root->predecessor) ++count;
        if (count > terminalCount) {
            KZ_SET_CODE(status, nKZAPALS100::kStatusSoftwareFault);
            return 0;
        }
        if (!reserveSegments(route, count)) {
            KZ_SET_CODE(status, nKZAPALS100::kStatusBufferTooSmall);
            return 0;
        }
        route.source = root;
        route.segmentCount = count;
        route.cost = destination.distance;
        TerminalState* reached = &destination;
        for (uint32_t s = count; s-- > 0; reached = reached->predecessor)
            route.segments[s] = {reached->predecessorEdge, reached};
        ++built;
    }
    for (uint32_t r = 0; r < built; ++r) {
        Route& route = *slots[r];
        route.inverted = 0;
        if (!hasInvertingEdge) continue;
        for (uint32_t s = 0; s < route.segmentCount; ++s) route.inverted ^= route.segments[s].edge->edge->inversion;
    }
    return built;
}

// For each route, a copy in which the last segment that can be swapped for a parallel edge of
// opposite inversion is swapped. A copy without such a segment gives its slot to the next one.
uint32_t Topography::addOppositeInversions(Route** slots, uint32_t built, tStatus& status) {
    uint32_t next = built;
    for (uint32_t r = 0; r < built; ++r) {
        const Route& original = *slots[r];
        Route& copy = *slots[next];
        if (!reserveSegments(copy, original.segmentCount)) {
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

bool Topography::calculateRoute(uint64_t ownerTag, const RouteCalculationSeedBase* seeds, uint32_t seedCount,
                                SeedFilter seedFilter, const uint32_t* destinations, uint32_t destinationCount,
                                uint32_t flags, Route**& routes, uint32_t& routeCount, tStatus& status) {
    SearchQueue queue(terminalStates);
    return calculateRouteWith(queue, ownerTag, seeds, seedCount, seedFilter, destinations, destinationCount, flags,
                              routes, routeCount, status);
}

bool Topography::finishRoutes(uint64_t ownerTag, Route** slots, uint64_t slotCount, Route**& routes,
                              uint32_t& routeCount, tStatus& status) {
    const uint32_t built = buildRoutes(slots, status);
    const uint32_t kept = status.isFatal() || built == 0 ? built : addOppositeInversions(slots, built, status);
    if (status.isFatal() || built == 0) {
        releaseRoutes(slots, static_cast<uint32_t>(slotCount));
        return status.isNotFatal();
    }
    for (uint64_t i = kept; i < slotCount; ++i) releaseRoute(slots[i]);
    for (uint32_t i = 0; i < kept; ++i) {
        slots[i]->ownerTag = ownerTag;
        slots[i]->state = kRouteStateCalculated;
    }
    routes = slots;
    routeCount = kept;
    return false;
}

}  // namespace kzark
