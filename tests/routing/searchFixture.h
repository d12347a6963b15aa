// A route search over the product's table with its own states and scratch heap, and routes
// summarised as terminal paths.
#pragma once

#include <cstdint>
#include <functional>
#include <ostream>
#include <vector>

#include "kal/sim/faults.h"
#include "kzark/tolvaneTopography.h"
#include "kzark/topography.h"

namespace routing_test {

inline kzark::RouteCalculationSeedBase seed(uint32_t terminalId, uint32_t startCost) {
    return {terminalId, startCost, 0, {}};
}

// A group member carried with a route: the member's id and the source of the default input it
// gets (0 when it has none).
struct Extra {
    uint32_t member;
    uint32_t defaultFrom;

    bool operator==(const Extra& other) const { return member == other.member && defaultFrom == other.defaultFrom; }
};

struct Found {
    std::vector<uint32_t> path;  // terminal ids from the source to the end terminal
    uint32_t cost;
    uint8_t inverted = 0;
    std::vector<Extra> extras{};

    bool operator==(const Found& other) const {
        return path == other.path && cost == other.cost && inverted == other.inverted && extras == other.extras;
    }
};

inline std::ostream& operator<<(std::ostream& out, const Found& found) {
    out << "{";
    for (uint32_t id : found.path) out << id << " ";
    out << "cost " << found.cost << (found.inverted ? " inverted" : "");
    for (const Extra& extra : found.extras) out << " extra " << extra.member << "<-" << extra.defaultFrom;
    return out << "}";
}

// The terminal an edge leaves.
inline uint32_t sourceIdOf(const kzark::TopInfo& info, const kzark::Edge* edge) {
    const uint32_t index = static_cast<uint32_t>(edge - info.edges);
    for (uint32_t t = 0; t < info.terminalCount; ++t) {
        const kzark::Terminal& terminal = info.terminals[t];
        if (index >= terminal.firstOutgoingEdge && index - terminal.firstOutgoingEdge < terminal.outgoingCount)
            return terminal.id;
    }
    return 0;
}

struct Outcome {
    int64_t code = 0;
    bool noPath = false;
    bool failureInjected = false;
    std::vector<Found> routes;
    std::vector<std::vector<uint32_t>> positions;  // per route, the value each segment programs
};

class SearchFixture {
public:
    explicit SearchFixture(const kzark::TopInfo& info = TolvaneTopography::kTopInfo,
                           uint64_t blockSize = kzark::GrowOnlyHeap::kCalculationBlockSize)
        : info(info),
          terminals(info.terminalCount),
          edges(info.edgeCount),
          heap(blockSize, kzark::GrowOnlyHeap::kAlignment) {
        topography.initialize(info, terminals.data(), edges.data());
        topography.segmentResize.context = &heap;
        topography.routeResize.context = &heap;
    }

    // failNth: fail that allocation of the search (1-based), 0 for none.
    Outcome calculate(const std::vector<kzark::RouteCalculationSeedBase>& seeds,
                      const std::vector<uint32_t>& destinations, uint32_t flags = 0, uint64_t failNth = 0) {
        Outcome outcome;
        nKZAPALS100::tStatus status;
        kzark::Route** routes = nullptr;
        uint32_t count = 0;
        auto search = [&] {
            outcome.noPath = topography.calculateRoute(
                0x5E55, seeds.data(), static_cast<uint32_t>(seeds.size()), filter, destinations.data(),
                static_cast<uint32_t>(destinations.size()), flags, routes, count, status);
        };
        if (failNth != 0) {
            kal::sim::FailAllocations fail(failNth);
            search();
            outcome.failureInjected = fail.triggered();
        } else {
            search();
        }
        outcome.code = status.code;
        for (uint32_t r = 0; r < count; ++r) {
            const kzark::Route& route = *routes[r];
            Found found{{route.source->terminal->id}, route.cost, route.inverted};
            std::vector<uint32_t> positions;
            for (uint32_t s = 0; s < route.segmentCount; ++s) {
                found.path.push_back(route.segments[s].terminal->terminal->id);
                const kzark::Edge& edge = *route.segments[s].edge->edge;
                positions.push_back(info.actions[edge.firstAction + edge.actionCount - 1].value);
                EXPECT_EQ(&terminals[edge.destination], route.segments[s].terminal);
            }
            for (uint32_t e = 0; e < route.extraCount; ++e) {
                const kzgta::PathSegment& extra = route.extras[e];
                found.extras.push_back({extra.terminal->terminal->id, 0});
                if (extra.edge == nullptr) continue;
                EXPECT_EQ(&terminals[extra.edge->edge->destination], extra.terminal);
                EXPECT_TRUE(extra.edge->edge->isDefault);
                found.extras.back().defaultFrom = sourceIdOf(info, extra.edge->edge);
            }
            EXPECT_EQ(route.ownerTag, 0x5E55u);
            EXPECT_EQ(route.state, kzark::kRouteStateCalculated);
            outcome.routes.push_back(found);
            outcome.positions.push_back(positions);
        }
        topography.releaseRoutes(routes, count);
        return outcome;
    }

    std::vector<kzark::EdgeState*> incoming(uint32_t id) {
        const kzark::Terminal& t = info.terminals[id - 1];
        std::vector<kzark::EdgeState*> found;
        for (uint32_t i = 0; i < t.incomingCount; ++i)
            found.push_back(&edges[info.incomingList[t.firstIncomingPosition + i]]);
        return found;
    }

    // The first edge from one terminal to another.
    kzark::EdgeState* edgeBetween(uint32_t from, uint32_t to) {
        const kzark::Terminal& t = info.terminals[from - 1];
        for (uint32_t i = 0; i < t.outgoingCount; ++i) {
            kzark::EdgeState& edge = edges[t.firstOutgoingEdge + i];
            if (edge.edge->destination + 1 == to) return &edge;
        }
        return nullptr;
    }

    const kzark::TopInfo& info;
    std::vector<kzark::TerminalState> terminals;
    std::vector<kzark::EdgeState> edges;
    kzark::GrowOnlyHeap heap;
    kzark::Topography topography;
    kzark::SeedFilter filter = nullptr;
};

}  // namespace routing_test
