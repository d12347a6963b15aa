// Route calculation on the product's table: the search as the routing resources run it (a fresh
// scratch heap, the search, the routes released and the heap's blocks given back) and the two-pass
// calculation of the routing resources (each call's routes destroyed after it), against Boost's
// dijkstra_shortest_paths from the same seeds over the same edges and costs, run to completion:
// plain, and keeping the search's endpoint-only rule. All four interleaved.
#include <boost/graph/adjacency_list.hpp>
#include <boost/graph/dijkstra_shortest_paths.hpp>
#include <boost/graph/filtered_graph.hpp>

#include <vector>

#include "benchSupport.h"
#include "kzark/topInfo.h"
#include "kzark/tolvaneRoutingResources.h"
#include "kzark/tolvaneTopography.h"
#include "kzark/topography.h"

namespace {

using nKZAPALS100::tStatus;

const kzark::TopInfo& table() { return TolvaneTopography::kTopInfo; }

// The two queries: four hops through both kinds of pass-through multiplexer, and every
// multiplexer from both wired sources (the search settles nearly the whole table).
struct Query {
    std::vector<kzark::RouteCalculationSeedBase> seeds;
    std::vector<uint32_t> destinations;
};

const Query& typicalQuery() {
    static const Query query{{{44, 0, 0, {}}}, {21}};
    return query;
}

const Query& settleAllQuery() {
    static const Query query = [] {
        Query q{{{2, 0, 0, {}}, {3, 0, 0, {}}}, {}};
        for (uint32_t i = 0; i < table().terminalCount; ++i)
            if (table().terminals[i].incomingCount != 0) q.destinations.push_back(table().terminals[i].id);
        return q;
    }();
    return query;
}

// The search alone, over run-time records of its own.
class Search {
public:
    Search() : terminals_(table().terminalCount), edges_(table().edgeCount) {
        topography_.initialize(table(), terminals_.data(), edges_.data());
    }

    bool run(const Query& query) {
        kzark::GrowOnlyHeap heap(kzark::GrowOnlyHeap::kCalculationBlockSize, kzark::GrowOnlyHeap::kAlignment);
        topography_.segmentResize.context = &heap;
        topography_.routeResize.context = &heap;
        tStatus status;
        kzark::Route** routes = nullptr;
        uint32_t count = 0;
        topography_.calculateRoute(1, query.seeds.data(), static_cast<uint32_t>(query.seeds.size()), nullptr,
                                   query.destinations.data(), static_cast<uint32_t>(query.destinations.size()), 0,
                                   routes, count, status);
        topography_.releaseRoutes(routes, count);
        return status.isNotFatal() && count != 0;
    }

private:
    std::vector<kzark::TerminalState> terminals_;
    std::vector<kzark::EdgeState> edges_;
    kzark::Topography topography_;
};

// Calculation never programs.
struct NoProgrammer : atut::RouteProgrammerInterface {
    void beginProgramming(tStatus&) override {}
    void applyProgrammingAction(uint32_t, uint32_t, uint32_t, tStatus&) override {}
    void endProgramming(tStatus&) override {}
};

class TwoPass {
public:
    TwoPass() : resources_(&programmer_, created_) {}

    bool run(const Query& query) {
        tStatus status = created_;
        kzark::RoutePossibilityBase* records = nullptr;
        uint32_t count = 0;
        resources_.calculateRoute(1, query.seeds.data(), static_cast<uint32_t>(query.seeds.size()),
                                  query.destinations.data(), static_cast<uint32_t>(query.destinations.size()), 0,
                                  records, count, status);
        for (uint32_t i = 0; i < count; ++i) resources_.destroyRoute(records[i].routeId);
        resources_.getAllocHelper().resize(records, 0);
        return status.isNotFatal() && count != 0;
    }

private:
    NoProgrammer programmer_;
    tStatus created_;
    TolvaneTopography::RoutingResources resources_;
};

// The reference: the same edges and costs in an adjacency list, its maps made once, searched to
// completion. Plain, it solves an easier problem than the search: every edge may be taken. With
// the endpoint-only rule it solves the search's own: an endpoint-only terminal drives nothing
// unless it is a seed and is reached only as a destination, checked edge by edge during the search
// (a filtered graph), as the search checks it.
class Reference {
public:
    using Graph = boost::adjacency_list<boost::vecS, boost::vecS, boost::directedS, boost::no_property,
                                        boost::property<boost::edge_weight_t, uint32_t>>;
    using Vertex = boost::graph_traits<Graph>::vertex_descriptor;
    using EdgeDescriptor = boost::graph_traits<Graph>::edge_descriptor;

    // What the endpoint-only rule lets the query use.
    struct EndpointOnlyRule {
        const Graph* graph = nullptr;
        const std::vector<uint8_t>* mayDrive = nullptr;    // per terminal: may drive an edge
        const std::vector<uint8_t>* mayReach = nullptr;    // per terminal: may be driven
        bool operator()(const EdgeDescriptor& e) const {
            return (*mayDrive)[boost::source(e, *graph)] != 0 && (*mayReach)[boost::target(e, *graph)] != 0;
        }
    };

    Reference(const Query& query, bool endpointOnlyRule)
        : rule_(endpointOnlyRule),
          graph_(table().terminalCount),
          predecessors_(table().terminalCount),
          distances_(table().terminalCount),
          colors_(table().terminalCount),
          mayDrive_(table().terminalCount, 1),
          mayReach_(table().terminalCount, 1),
          filtered_(graph_, EndpointOnlyRule{&graph_, &mayDrive_, &mayReach_}) {
        for (uint32_t t = 0; t < table().terminalCount; ++t) {
            const kzark::Terminal& terminal = table().terminals[t];
            const bool endpointOnly = (terminal.flags & kzark::kTerminalEndpointOnly) != 0;
            mayDrive_[t] = mayReach_[t] = endpointOnly ? 0 : 1;
            for (uint32_t e = 0; e < terminal.outgoingCount; ++e) {
                const kzark::Edge& edge = table().edges[terminal.firstOutgoingEdge + e];
                boost::add_edge(t, edge.destination, edge.cost, graph_);
            }
        }
        for (const auto& seed : query.seeds) {
            sources_.push_back(seed.terminalId - 1);
            mayDrive_[seed.terminalId - 1] = 1;
        }
        for (uint32_t id : query.destinations) mayReach_[id - 1] = 1;
        firstDestination_ = query.destinations.front() - 1;
    }

    uint32_t run() {
        if (rule_)
            search(filtered_);
        else
            search(graph_);
        return distances_[firstDestination_];
    }

    bool reaches() { return run() != kzark::kUnreachedDistance; }
    size_t edgeCount() const { return boost::num_edges(graph_); }

private:
    template <class tGraph>
    void search(const tGraph& graph) {
        boost::dijkstra_shortest_paths(
            graph, sources_.begin(), sources_.end(), predecessors_.data(), distances_.data(),
            boost::get(boost::edge_weight, graph_), boost::get(boost::vertex_index, graph_), std::less<uint32_t>(),
            boost::closed_plus<uint32_t>(), kzark::kUnreachedDistance, uint32_t(0),
            boost::default_dijkstra_visitor(),
            boost::make_iterator_property_map(colors_.begin(), boost::get(boost::vertex_index, graph_)));
    }

    bool rule_;
    Graph graph_;
    std::vector<Vertex> predecessors_;
    std::vector<uint32_t> distances_;
    std::vector<boost::default_color_type> colors_;
    std::vector<uint8_t> mayDrive_;
    std::vector<uint8_t> mayReach_;
    boost::filtered_graph<Graph, EndpointOnlyRule> filtered_;
    std::vector<Vertex> sources_;
    uint32_t firstDestination_ = 0;
};

struct Row {
    const char* name;  // the label's stem
    const char* query;
    const Query& (*of)();
    double goal;  // the search against plain BGL, at most
};

const Row kRows[] = {
    {"typical", "typical (44 to 21)", typicalQuery, 0.35},
    {"settle-all", "settle-all (2 and 3 to every multiplexer)", settleAllQuery, 0.7},
};

// A query's four operations, in the order of the figures: the search, the two-pass calculation,
// BGL, BGL with the endpoint-only rule.
class Subjects {
public:
    static constexpr const char* kLabels[] = {"search-", "two-pass-", "bgl-", "bgl-rule-"};

    Subjects(const Query& query, Search& search, TwoPass& twoPass)
        : plain_(query, false),
          rule_(query, true),
          bodies_{[&search, &query] { return search.run(query); }, [&twoPass, &query] { return twoPass.run(query); },
                  [this] { return plain_.reaches(); }, [this] { return rule_.reaches(); }} {}
    Subjects(const Subjects&) = delete;
    Subjects& operator=(const Subjects&) = delete;

    const std::vector<bench::Body>& bodies() const { return bodies_; }

private:
    Reference plain_;
    Reference rule_;
    std::vector<bench::Body> bodies_;
};

// Under callgrind: each operation a fixed number of times.
int count() {
    Search search;
    TwoPass twoPass;
    for (const Row& row : kRows) {
        const Query& query = row.of();
        const Subjects subjects(query, search, twoPass);
        const uint32_t n = query.destinations.size() > 1 ? 200 : 1000;
        for (size_t i = 0; i < subjects.bodies().size(); ++i)
            if (!bench::countInstructions(Subjects::kLabels[i] + std::string(row.name), n, subjects.bodies()[i]))
                return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (bench::underValgrind()) return count();
    bench::Runner runner(argc, argv, "routing-bench");
    std::printf("table: %u terminals, %zu edges\n", table().terminalCount, Reference(typicalQuery(), false).edgeCount());
    Search search;
    TwoPass twoPass;
    for (const Row& row : kRows) {
        const Query& query = row.of();
        const Subjects subjects(query, search, twoPass);
        const std::string figure = std::string("route search, ") + row.query;
        const std::vector<double> ns = runner.interleave(figure.c_str(), subjects.bodies());
        if (ns[0] <= 0) continue;
        std::printf("median: %s: search %.1f ns, two-pass %.1f ns, BGL %.1f ns, BGL with the endpoint-only rule "
                    "%.1f ns\n",
                    row.query, ns[0], ns[1], ns[2], ns[3]);
        std::printf("ratio: %s: search / BGL with the endpoint-only rule %.3f, two-pass / BGL %.3f (no goal)\n",
                    row.query, runner.ratio(0, 3), runner.ratio(1, 2));
        const std::string goal = figure + " against BGL";
        bench::printRatioGoal(goal.c_str(), runner, 0, 2, row.goal, true);
    }
    return runner.exitCode();
}
