#include "kzark/routingResources.h"

#include <new>

#include "kzapal/protons/statusCodes.h"
#include "kzark/statusCodes.h"

namespace kzark {

using kzvorn_driver::nKZAPAL000::tAutoLock;
using nKZAPALS100::tStatus;

namespace {

bool seedHasNoInversionConstraint(const RouteCalculationSeedBase& seed) { return seed.inversionConstraint == 0; }

uint32_t endTerminalId(const Route& route) { return route.endTerminal()->terminal->id; }

// Moves the last remaining entries into the holes; the order of the others changes.
void fillHoles(Route** routes, uint32_t& count) {
    for (uint32_t i = 0; i < count;) {
        if (routes[i] != nullptr) {
            ++i;
            continue;
        }
        routes[i] = routes[--count];
        routes[count] = nullptr;
    }
}

}  // namespace

// Begins on the first action that needs it; ends only a batch that began.
class RoutingResources::ProgrammingBatch {
public:
    explicit ProgrammingBatch(atut::RouteProgrammerInterface& programmer) : programmer_(programmer) {}

    void begin(tStatus& status) {
        if (begun_) return;
        begun_ = true;
        programmer_.beginProgramming(status);
    }
    void end(tStatus& status) {
        if (begun_) programmer_.endProgramming(status);
    }

private:
    atut::RouteProgrammerInterface& programmer_;
    bool begun_ = false;
};

RoutingResources::RoutingResources(const TopInfo& info, TerminalState* terminalStates, EdgeState* edgeStates,
                                   atut::RouteProgrammerInterface* programmer, tStatus& status)
    : programmer_(programmer), mutex_(status) {
    topography_.initialize(info, terminalStates, edgeStates);
    // Group members index the terminal states: a table whose groups do not hold is never searched.
    if (status.isNotFatal() && !Topography::validGroups(info)) KZ_SET_CODE(status, nKZAPALS100::kStatusBadParameter);
    valid_ = status.isNotFatal();
}

RoutingResources::~RoutingResources() {
    if (!valid_) return;
    tAutoLock lock(mutex_);
    while (database_.size() != 0) destroyAt(database_.size() - 1);
}

bool RoutingResources::seedHasInversionConstraint(const RouteCalculationSeedBase& seed) {
    return seed.inversionConstraint != 0;
}

uint32_t RoutingResources::edgeCount(const RouteInDB& route) {
    return static_cast<uint32_t>(route.extras.size() + route.segments.size());
}

EdgeState* RoutingResources::edgeAt(RouteInDB& route, uint32_t index) {
    if (index < route.extras.size()) return route.extras[index].edge;
    return route.segments[index - route.extras.size()].edge;
}

EdgeState* RoutingResources::resetEdge(const TerminalState& terminal, uint32_t mode, tStatus& status) {
    EdgeState* edge = nullptr;
    if (mode == kResetToFirstInput) {
        edge = topography_.firstIncomingEdge(terminal);
    } else if (mode == kResetToDefaultInput) {
        edge = topography_.defaultIncomingEdge(terminal);
    } else {
        KZ_SET_CODE(status, nKZAPALS100::kStatusBadParameter);
        return nullptr;
    }
    if (edge == nullptr) KZ_SET_CODE(status, kStatusNoTerminalInput);
    return edge;
}

void RoutingResources::programEdge(const EdgeState& edge, tStatus& status) {
    const Edge& record = *edge.edge;
    const uint32_t selector = destinationOf(edge).terminal->programmerSelector;
    const ProgrammingAction* actions = topography_.topInfo->actions + record.firstAction;
    for (uint32_t i = 0; i < record.actionCount; ++i)
        programmer_->applyProgrammingAction(selector, actions[i].kind, actions[i].value, status);
}

void RoutingResources::useScratch(GrowOnlyHeap* heap) {
    topography_.segmentResize.context = heap;
    topography_.routeResize.context = heap;
}

// An undriven source is disconnected before the route drives from it.
void RoutingResources::prepareSource(const TerminalState& source) {
    if (const TerminalGroup* group = topography_.groupOf(source)) {
        if (!topography_.groupHasReservedIncomingEdge(source)) prepareGroupSource(*group);
        return;
    }
    EdgeState* input = topography_.firstIncomingEdge(source);
    if (input == nullptr || topography_.hasReservedIncomingEdge(source)) return;
    tStatus dropped;
    ProgrammingBatch batch(*programmer_);
    batch.begin(dropped);
    programEdge(*input, dropped);
    batch.end(dropped);
}

// The members that could drive the group's signal get their default inputs, and the first member
// whose first input is no default one (the signal's way in) gets that input.
void RoutingResources::prepareGroupSource(const TerminalGroup& group) {
    tStatus dropped;
    ProgrammingBatch batch(*programmer_);
    bool wayIn = false;
    for (uint32_t m = 0; m < group.memberCount; ++m) {
        const TerminalState& member = topography_.member(group, m);
        EdgeState* input = topography_.firstIncomingEdge(member);
        if (input == nullptr || (!input->edge->isDefault && wayIn)) continue;
        wayIn = wayIn || !input->edge->isDefault;
        batch.begin(dropped);
        programEdge(*input, dropped);
    }
    batch.end(dropped);
}

void RoutingResources::lowerProgrammedCounts(RouteInDB& route, uint32_t handled) {
    ProgrammingBatch batch(*programmer_);
    tStatus batchStatus;
    for (uint32_t i = handled; i-- > 0;) {
        EdgeState* edge = edgeAt(route, i);
        if (edge == nullptr || edge->programmedCount == 0 || --edge->programmedCount != 0) continue;
        const TerminalState& terminal = destinationOf(*edge);
        if (terminal.terminal->flags & kTerminalKeepProgrammingOnRelease) continue;
        EdgeState* input = topography_.firstIncomingEdge(terminal);
        if (input == nullptr) continue;
        batch.begin(batchStatus);
        tStatus dropped;
        programEdge(*input, dropped);
    }
    batch.end(batchStatus);
}

void RoutingResources::reserveEdges(RouteInDB& route) {
    for (uint32_t i = 0; i < edgeCount(route); ++i) {
        EdgeState* edge = edgeAt(route, i);
        if (edge == nullptr || ++edge->reservationCount != 1) continue;
        // The terminal now has one driving edge.
        const TerminalState& terminal = destinationOf(*edge);
        for (uint32_t k = 0; k < terminal.terminal->incomingCount; ++k)
            topography_.incomingEdge(terminal, k).available = 0;
        edge->available = 1;
    }
}

void RoutingResources::releaseEdge(EdgeState* edge) {
    if (edge == nullptr || edge->reservationCount == 0 || --edge->reservationCount != 0) return;
    const TerminalState& terminal = destinationOf(*edge);
    for (uint32_t k = 0; k < terminal.terminal->incomingCount; ++k) topography_.incomingEdge(terminal, k).available = 1;
}

// The segments first, then the extras.
void RoutingResources::releaseEdges(RouteInDB& route) {
    for (kzgta::PathSegment& segment : route.segments) releaseEdge(segment.edge);
    for (kzgta::PathSegment& extra : route.extras) releaseEdge(extra.edge);
}

void RoutingResources::unprogram(RouteInDB& route) {
    if (route.state != kRouteStateProgrammed) return;
    lowerProgrammedCounts(route, edgeCount(route));
    route.state = kRouteStateReserved;
}

void RoutingResources::unreserve(RouteInDB& route) {
    unprogram(route);
    if (route.state != kRouteStateReserved) return;
    releaseEdges(route);
    route.state = kRouteStateCalculated;
}

RouteInDB* RoutingResources::routeInState(uint32_t routeId, uint32_t state, tStatus& status) {
    RouteInDB* route = database_.find(routeId);
    if (route != nullptr && route->state == state) return route;
    KZ_SET_CODE(status, nKZAPALS100::kStatusBadParameter);
    return nullptr;
}

void RoutingResources::destroyAt(size_t index) {
    unreserve(database_[index]);
    database_.removeAt(index);
}

void RoutingResources::resetTerminal(uint32_t terminalId, uint32_t mode, tStatus& status) {
    if (status.isFatal()) return;
    // Refused even by resources that are not valid: the states always point at the table.
    TerminalState* terminal = topography_.findTerminal(terminalId);
    if (terminal == nullptr) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusBadParameter);
        return;
    }
    if (!valid_) return;
    tAutoLock lock(mutex_);
    if (topography_.groupHasReservedIncomingEdge(*terminal)) {
        KZ_SET_CODE(status, kStatusTerminalInputReserved);
        return;
    }
    EdgeState* edge = resetEdge(*terminal, mode, status);
    if (edge == nullptr) return;
    // Each action reports on its own status, so one failing action does not hold back the rest.
    const Edge& record = *edge->edge;
    const uint32_t selector = terminal->terminal->programmerSelector;
    const ProgrammingAction* actions = topography_.topInfo->actions + record.firstAction;
    tStatus actionStatus;
    ProgrammingBatch batch(*programmer_);
    batch.begin(actionStatus);
    for (uint32_t i = 0; i < record.actionCount; ++i) {
        if (i != 0) actionStatus = tStatus();
        programmer_->applyProgrammingAction(selector, actions[i].kind, actions[i].value, actionStatus);
        nKZAPALS100::merge(status, actionStatus);
    }
    tStatus endStatus;
    batch.end(endStatus);
}

uint32_t RoutingResources::calculateResetTerminal(uint64_t ownerTag, uint32_t terminalId, uint32_t mode,
                                                  tStatus& status) {
    if (status.isFatal() || !valid_) return 0;
    tAutoLock lock(mutex_);
    TerminalState* terminal = topography_.findTerminal(terminalId);
    if (terminal == nullptr) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusBadParameter);
        return 0;
    }
    EdgeState* edge = resetEdge(*terminal, mode, status);
    if (edge == nullptr) return 0;
    GrowOnlyHeap heap(GrowOnlyHeap::kReservationBlockSize, GrowOnlyHeap::kAlignment);
    useScratch(&heap);
    void* area = topography_.routeResize.resize(nullptr, sizeof(Route));
    auto* segment =
        static_cast<kzgta::PathSegment*>(topography_.segmentResize.resize(nullptr, sizeof(kzgta::PathSegment)));
    uint32_t id = 0;
    if (area == nullptr || segment == nullptr) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusMemoryFull);
    } else {
        Route& route = *new (area) Route();
        *segment = {edge, terminal};
        route.source = terminal;
        route.segments = segment;
        route.segmentCount = route.segmentCapacity = 1;
        route.cost = 1;
        route.ownerTag = ownerTag;
        route.state = kRouteStateCalculated;
        id = database_.add(route, status);
    }
    topography_.segmentResize.resize(segment, 0);
    topography_.routeResize.resize(area, 0);
    useScratch(nullptr);
    return id;
}

void RoutingResources::resetAllTerminalsToDefault(tStatus& status) {
    if (!valid_) return;
    tAutoLock lock(mutex_);
    for (uint64_t i = 0; i < topography_.terminalCount; ++i) {
        const TerminalState& terminal = topography_.terminalStates[i];
        EdgeState* input = topography_.firstIncomingEdge(terminal);
        if (input == nullptr) continue;
        tStatus own;
        if (topography_.hasReservedIncomingEdge(terminal)) {
            KZ_SET_CODE(own, kStatusTerminalInputReserved);
        } else {
            ProgrammingBatch batch(*programmer_);
            batch.begin(own);
            programEdge(*input, own);
            batch.end(own);
        }
        nKZAPALS100::merge(status, own);
    }
}

bool RoutingResources::calculateRoute(uint64_t ownerTag, const RouteCalculationSeedBase* seeds, uint32_t seedCount,
                                      const uint32_t* destinations, uint32_t destinationCount, uint32_t flags,
                                      RoutePossibilityBase*& possibilities, uint32_t& count, tStatus& status) {
    if (status.isFatal() || !valid_) return false;
    tAutoLock lock(mutex_);
    // Every id is checked before either search runs.
    if ((seedCount != 0 && seeds == nullptr) || (destinationCount != 0 && destinations == nullptr))
        KZ_SET_CODE(status, nKZAPALS100::kStatusBadParameter);
    for (uint32_t i = 0; i < seedCount && status.isNotFatal(); ++i) {
        if (topography_.findTerminal(seeds[i].terminalId) == nullptr)
            KZ_SET_CODE(status, nKZAPALS100::kStatusBadParameter);
    }
    for (uint32_t i = 0; i < destinationCount && status.isNotFatal(); ++i) {
        if (topography_.findTerminal(destinations[i]) == nullptr)
            KZ_SET_CODE(status, nKZAPALS100::kStatusBadParameter);
    }
    if (status.isFatal()) {
        count = 0;
        return false;
    }

    GrowOnlyHeap heap(GrowOnlyHeap::kCalculationBlockSize, GrowOnlyHeap::kAlignment);
    useScratch(&heap);
    Route** plain = nullptr;
    uint32_t plainCount = 0;
    Route** inverting = nullptr;
    uint32_t invertingCount = 0;
    const bool plainFoundNothing = topography_.calculateRoute(ownerTag, seeds, seedCount, seedHasNoInversionConstraint,
                                                              destinations, destinationCount, flags, plain,
                                                              plainCount, status);
    bool invertingFoundNothing = false;
    if (status.isNotFatal()) {
        invertingFoundNothing = topography_.calculateRoute(ownerTag, seeds, seedCount, seedHasInversionConstraint,
                                                           destinations, destinationCount, flags, inverting,
                                                           invertingCount, status);
        // The seed's own inversion adds to the path's.
        for (uint32_t i = 0; i < invertingCount; ++i) inverting[i]->inverted ^= 1;
    }

    const size_t databaseSize = database_.size();
    const uint32_t found = plainCount + invertingCount;
    if (status.isNotFatal() && found != 0 && (found > count || possibilities == nullptr)) {
        void* grown = allocHelper_.resize(possibilities, found * static_cast<uint64_t>(sizeof(RoutePossibilityBase)));
        if (grown == nullptr) {
            KZ_SET_CODE(status, nKZAPALS100::kStatusMemoryFull);
        } else {
            possibilities = static_cast<RoutePossibilityBase*>(grown);
        }
    }
    if (status.isNotFatal()) {
        dropCrossDuplicates(plain, plainCount, inverting, invertingCount);
        storeRoutes(plain, plainCount, false, seeds, seedCount, possibilities, status);
        storeRoutes(inverting, invertingCount, true, seeds, seedCount, possibilities + plainCount, status);
    }
    if (status.isFatal()) {
        database_.truncate(databaseSize);
        count = 0;
    } else {
        count = plainCount + invertingCount;
    }
    const bool foundNothing = status.isNotFatal() && count == 0 && (plainFoundNothing || invertingFoundNothing);

    topography_.releaseRoutes(plain, plainCount);
    topography_.releaseRoutes(inverting, invertingCount);
    useScratch(nullptr);
    return foundNothing;
}

// Of a plain and an inverting route to the same end terminal with the same polarity, the cheaper
// stays; the plain one on equal cost.
void RoutingResources::dropCrossDuplicates(Route** plain, uint32_t& plainCount, Route** inverting,
                                           uint32_t& invertingCount) {
    for (uint32_t i = 0; i < plainCount; ++i) {
        const uint32_t end = endTerminalId(*plain[i]);
        for (uint32_t j = 0; j < invertingCount; ++j) {
            Route* other = inverting[j];
            if (other == nullptr || endTerminalId(*other) != end || other->inverted != plain[i]->inverted) continue;
            Route*& loser = other->cost < plain[i]->cost ? plain[i] : inverting[j];
            topography_.releaseRoute(loser);
            loser = nullptr;
            break;
        }
    }
    fillHoles(plain, plainCount);
    fillHoles(inverting, invertingCount);
}

void RoutingResources::storeRoutes(Route** routes, uint32_t routeCount, bool inverting,
                                   const RouteCalculationSeedBase* seeds, uint32_t seedCount,
                                   RoutePossibilityBase* records, tStatus& status) {
    for (uint32_t i = 0; i < routeCount && status.isNotFatal(); ++i) {
        const Route& route = *routes[i];
        const uint32_t id = database_.add(route, status);
        if (status.isFatal()) return;
        uint32_t seedIndex = kNoSeedIndex;
        for (uint32_t s = 0; s < seedCount && seedIndex == kNoSeedIndex; ++s) {
            if (seeds[s].terminalId == route.source->terminal->id && seedHasInversionConstraint(seeds[s]) == inverting)
                seedIndex = s;
        }
        records[i] = {id, endTerminalId(route), route.cost, seedIndex, route.inverted, {}};
    }
}

void RoutingResources::destroyRoute(uint32_t routeId) {
    if (!valid_) return;
    tAutoLock lock(mutex_);
    RouteInDB* route = database_.find(routeId);
    if (route != nullptr) destroyAt(static_cast<size_t>(route - &database_[0]));
}

bool RoutingResources::addContested(EdgeState& edge, EdgeState**& contested, uint32_t& count, tStatus& status) {
    // The old area is released only after the copy: a callback may free it at once.
    auto** grown = static_cast<EdgeState**>(
        topography_.routeResize.resize(nullptr, (count + static_cast<uint64_t>(1)) * sizeof(EdgeState*)));
    if (grown == nullptr) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusMemoryFull);
        return false;
    }
    for (uint32_t i = 0; i < count; ++i) grown[i] = contested[i];
    grown[count] = &edge;
    topography_.routeResize.resize(contested, 0);
    contested = grown;
    ++count;
    return true;
}

bool RoutingResources::addReservedInputs(const TerminalState& terminal, EdgeState**& contested, uint32_t& count,
                                         tStatus& status) {
    const TerminalGroup* group = topography_.groupOf(terminal);
    if (group == nullptr) return addReservedInputsOf(terminal, contested, count, status);
    bool found = false;
    for (uint32_t m = 0; m < group->memberCount; ++m)
        found = addReservedInputsOf(topography_.member(*group, m), contested, count, status) || found;
    return found;
}

bool RoutingResources::addReservedInputsOf(const TerminalState& terminal, EdgeState**& contested, uint32_t& count,
                                           tStatus& status) {
    bool found = false;
    for (uint32_t i = 0; i < terminal.terminal->incomingCount && status.isNotFatal(); ++i) {
        EdgeState& edge = topography_.incomingEdge(terminal, i);
        if (edge.reservationCount == 0) continue;
        found = true;
        addContested(edge, contested, count, status);
    }
    return found;
}

bool RoutingResources::collectContestedEdges(RouteInDB& route, EdgeState**& contested, uint32_t& count,
                                             tStatus& status) {
    bool conflict = false;
    const TerminalState& source = *route.source;
    if (source.terminal->flags & kTerminalBidirectional)
        conflict = addReservedInputs(source, contested, count, status) || conflict;
    const TerminalState& end = *route.endTerminal();
    if (end.terminal->flags & kTerminalBidirectional) {
        const Terminal& record = *end.terminal;
        for (uint32_t i = 0; i < record.outgoingCount && status.isNotFatal(); ++i) {
            EdgeState& edge = topography_.edgeStates[record.firstOutgoingEdge + i];
            if (edge.reservationCount == 0) continue;
            conflict = true;
            addContested(edge, contested, count, status);
        }
    }
    for (uint32_t i = 0; i < edgeCount(route) && status.isNotFatal(); ++i) {
        const EdgeState* edge = edgeAt(route, i);
        if (edge == nullptr || edge->available) continue;
        conflict = true;
        addReservedInputs(destinationOf(*edge), contested, count, status);
    }
    return conflict;
}

bool RoutingResources::holdsAny(RouteInDB& route, EdgeState* const* contested, uint32_t contestedCount) {
    for (uint32_t i = 0; i < edgeCount(route); ++i) {
        const EdgeState* edge = edgeAt(route, i);
        for (uint32_t k = 0; k < contestedCount; ++k) {
            if (contested[k] == edge) return true;
        }
    }
    return false;
}

// Each holding route once, in database order. A list that cannot grow ends the report.
void RoutingResources::reportHolders(EdgeState* const* contested, uint32_t contestedCount, RouteConflict*& conflicts,
                                     uint32_t& conflictCount) {
    conflictCount = 0;
    for (size_t i = 0; i < database_.size(); ++i) {
        RouteInDB& route = database_[i];
        if (route.state != kRouteStateReserved && route.state != kRouteStateProgrammed) continue;
        if (!holdsAny(route, contested, contestedCount)) continue;
        auto* grown = static_cast<RouteConflict*>(
            allocHelper_.resize(nullptr, (conflictCount + static_cast<uint64_t>(1)) * sizeof(RouteConflict)));
        if (grown == nullptr) return;
        for (uint32_t k = 0; k < conflictCount; ++k) grown[k] = conflicts[k];
        grown[conflictCount] = {route.ownerTag, route.id, {}};
        allocHelper_.resize(conflicts, 0);
        conflicts = grown;
        ++conflictCount;
    }
}

void RoutingResources::reserveRoute(uint32_t routeId, RouteConflict*& conflicts, uint32_t& conflictCount,
                                    tStatus& status) {
    if (status.isFatal() || !valid_) return;
    tAutoLock lock(mutex_);
    RouteInDB* route = routeInState(routeId, kRouteStateCalculated, status);
    if (route == nullptr) return;
    GrowOnlyHeap heap(GrowOnlyHeap::kReservationBlockSize, GrowOnlyHeap::kAlignment);
    useScratch(&heap);
    EdgeState** contested = nullptr;
    uint32_t contestedCount = 0;
    const bool conflict = collectContestedEdges(*route, contested, contestedCount, status);
    if (status.isNotFatal()) {
        if (conflict) {
            KZ_SET_CODE(status, kStatusRouteConflict);
            if (contestedCount != 0) reportHolders(contested, contestedCount, conflicts, conflictCount);
        } else {
            reserveEdges(*route);
            route->state = kRouteStateReserved;
        }
    }
    topography_.routeResize.resize(contested, 0);
    useScratch(nullptr);
}

void RoutingResources::unreserveRoute(uint32_t routeId) {
    if (!valid_) return;
    tAutoLock lock(mutex_);
    RouteInDB* route = database_.find(routeId);
    if (route != nullptr) unreserve(*route);
}

void RoutingResources::programRoute(uint32_t routeId, tStatus& status) {
    if (status.isFatal() || !valid_) return;
    tAutoLock lock(mutex_);
    RouteInDB* route = routeInState(routeId, kRouteStateReserved, status);
    if (route == nullptr) return;
    prepareSource(*route->source);
    ProgrammingBatch batch(*programmer_);
    const uint32_t edges = edgeCount(*route);
    uint32_t handled = 0;
    while (handled < edges && status.isNotFatal()) {
        EdgeState* edge = edgeAt(*route, handled++);
        if (edge == nullptr) continue;
        if (edge->programmedCount == 0) {
            batch.begin(status);
            programEdge(*edge, status);
        }
        ++edge->programmedCount;
    }
    batch.end(status);
    if (status.isFatal()) {
        // The route stays reserved, so its counts go back down: a count left raised would make a
        // later route over the edge skip writes the hardware never got. The edge that failed may be
        // half written, so its terminal gets its default input back too.
        lowerProgrammedCounts(*route, handled);
        return;
    }
    route->state = kRouteStateProgrammed;
}

void RoutingResources::unprogramRoute(uint32_t routeId) {
    if (!valid_) return;
    tAutoLock lock(mutex_);
    RouteInDB* route = database_.find(routeId);
    if (route != nullptr) unprogram(*route);
}

void RoutingResources::getRouteTerminalPath(uint32_t routeId, uint32_t*& path, uint32_t& count, tStatus& status) {
    if (status.isFatal() || !valid_) return;
    tAutoLock lock(mutex_);
    RouteInDB* route = database_.find(routeId);
    if (route == nullptr) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusBadParameter);
        return;
    }
    const uint64_t length = route->segments.size() + 1;
    if (count < length || path == nullptr) {
        auto* grown = static_cast<uint32_t*>(allocHelper_.resize(path, length * sizeof(uint32_t)));
        if (grown == nullptr) {
            KZ_SET_CODE(status, nKZAPALS100::kStatusMemoryFull);
            return;
        }
        path = grown;
    }
    count = static_cast<uint32_t>(length);
    path[0] = route->source->terminal->id;
    for (size_t s = 0; s < route->segments.size(); ++s) path[s + 1] = route->segments[s].terminal->terminal->id;
}

uint32_t RoutingResources::getRouteState(uint32_t routeId) {
    if (!valid_) return 0;
    tAutoLock lock(mutex_);
    const RouteInDB* route = database_.find(routeId);
    return route != nullptr ? route->state : 0;
}

}  // namespace kzark
