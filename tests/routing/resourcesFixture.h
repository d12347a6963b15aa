// Routing resources over a table with a recording route programmer, and the resources' results as
// plain values (every array they hand back is released through their allocation helper).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <vector>

#include "device/routing/routingResourcesFactory.h"
#include "kzapalcodegen/pciIdentifiers.h"
#include "kzark/routingResources.h"
#include "kzark/tolvaneTopography.h"
#include "routing/recordingProgrammer.h"

namespace routing_test {

struct Possibility {
    uint32_t id;
    uint32_t end;
    uint32_t cost;
    uint32_t seed;
    uint8_t inverted;

    bool operator==(const Possibility& other) const {
        return id == other.id && end == other.end && cost == other.cost && seed == other.seed &&
               inverted == other.inverted;
    }
};

inline std::ostream& operator<<(std::ostream& out, const Possibility& p) {
    return out << "{" << p.id << ", " << p.end << ", " << p.cost << ", " << p.seed << ", " << int(p.inverted) << "}";
}

struct Calculation {
    int64_t code = 0;
    bool foundNothing = false;
    std::vector<Possibility> records;
};

struct Conflict {
    uint64_t ownerTag;
    uint32_t routeId;

    bool operator==(const Conflict& other) const { return ownerTag == other.ownerTag && routeId == other.routeId; }
};

inline std::ostream& operator<<(std::ostream& out, const Conflict& c) {
    return out << "{owner " << c.ownerTag << ", route " << c.routeId << "}";
}

struct Reservation {
    int64_t code = 0;
    std::vector<Conflict> conflicts;
};

inline kzark::RouteCalculationSeedBase seedOf(uint32_t terminalId, uint32_t startCost, uint8_t inversion) {
    return {terminalId, startCost, inversion, {}};
}

class ResourcesFixture {
public:
    explicit ResourcesFixture(kzark::RoutingResources* resources) : resources(resources) {}
    ResourcesFixture(const ResourcesFixture&) = delete;
    ResourcesFixture& operator=(const ResourcesFixture&) = delete;
    ~ResourcesFixture() { delete resources; }

    Calculation calculate(uint64_t owner, const std::vector<kzark::RouteCalculationSeedBase>& seeds,
                          const std::vector<uint32_t>& destinations, uint32_t flags = 0) {
        Calculation result;
        nKZAPALS100::tStatus status;
        kzark::RoutePossibilityBase* records = nullptr;
        uint32_t count = 0;
        result.foundNothing = resources->calculateRoute(owner, seeds.data(), static_cast<uint32_t>(seeds.size()),
                                                        destinations.data(),
                                                        static_cast<uint32_t>(destinations.size()), flags, records,
                                                        count, status);
        result.code = status.code;
        for (uint32_t i = 0; i < count; ++i)
            result.records.push_back({records[i].routeId, records[i].endTerminalId, records[i].cost,
                                      records[i].seedIndex, records[i].inverted});
        resources->getAllocHelper().resize(records, 0);
        return result;
    }

    // The id of the one route from one terminal to another.
    uint32_t route(uint64_t owner, uint32_t from, uint32_t to) {
        const Calculation c = calculate(owner, {seedOf(from, 0, 0)}, {to});
        EXPECT_EQ(c.code, 0);
        EXPECT_EQ(c.records.size(), 1u);
        return c.records.empty() ? 0 : c.records[0].id;
    }

    Reservation reserve(uint32_t id) {
        Reservation result;
        nKZAPALS100::tStatus status;
        kzark::RouteConflict* conflicts = nullptr;
        uint32_t count = 0;
        resources->reserveRoute(id, conflicts, count, status);
        result.code = status.code;
        for (uint32_t i = 0; i < count; ++i) result.conflicts.push_back({conflicts[i].ownerTag, conflicts[i].routeId});
        resources->getAllocHelper().resize(conflicts, 0);
        return result;
    }

    int64_t program(uint32_t id) {
        nKZAPALS100::tStatus status;
        resources->programRoute(id, status);
        return status.code;
    }

    int64_t reset(uint32_t terminalId, uint32_t mode) {
        nKZAPALS100::tStatus status;
        resources->resetTerminal(terminalId, mode, status);
        return status.code;
    }

    std::vector<uint32_t> path(uint32_t id, int64_t* code = nullptr) {
        nKZAPALS100::tStatus status;
        uint32_t* ids = nullptr;
        uint32_t count = 0;
        resources->getRouteTerminalPath(id, ids, count, status);
        if (code != nullptr) *code = status.code;
        std::vector<uint32_t> path(ids, ids + (status.isFatal() ? 0 : count));
        resources->getAllocHelper().resize(ids, 0);
        return path;
    }

    // The first edge from one terminal to another.
    const kzark::EdgeState& edge(uint32_t from, uint32_t to) {
        const kzark::TopInfo& info = *resources->getTopInfo();
        const kzark::Terminal& source = info.terminals[from - 1];
        for (uint32_t i = 0; i < source.outgoingCount; ++i) {
            if (info.edges[source.firstOutgoingEdge + i].destination + 1 == to)
                return resources->edgeState(source.firstOutgoingEdge + i);
        }
        ADD_FAILURE() << "no edge from " << from << " to " << to;
        return resources->edgeState(0);
    }

    kzark::RoutingResources* resources;
};

// Resources over a small table, its records inside the object as the product's are.
template <size_t kTerminals, size_t kEdges>
class ResourcesOver : private kzark::RoutingStateStorage<kTerminals, kEdges>, public kzark::RoutingResources {
public:
    ResourcesOver(const kzark::TopInfo& info, atut::RouteProgrammerInterface* programmer,
                  nKZAPALS100::tStatus& status)
        : kzark::RoutingResources(info, this->terminalStates, this->edgeStates, programmer, status) {}
};

// The product's resources as the routing step makes them, over a recording programmer.
struct TolvaneResources {
    TolvaneResources()
        : f(kzvorn_driver::RoutingResourcesFactory::createRoutingResources(kzvorn_driver::kPCISubsystemID, &programmer,
                                                                           created)) {}

    RecordingProgrammer programmer;
    nKZAPALS100::tStatus created;
    ResourcesFixture f;
};

}  // namespace routing_test
