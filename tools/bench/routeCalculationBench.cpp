// Route calculation on the product's table: the search as the routing resources run it (a fresh
// scratch heap, the search, the routes released and the heap's blocks given back) and the two-pass
// calculation of the routing resources (each call's routes destroyed after it), against Boost's
// dijkstra_shortest_paths over the same edges and costs from the same seeds, run to completion.
#include <boost/graph/adjacency_list.hpp>
#include <boost/graph/dijkstra_shortest_paths.hpp>

#include <vector>

#include "benchSupport.h"
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
struct NoProgrammer : kzark::RouteProgrammerInterface {
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

// The reference: the same edges and costs in an adjacency list, its maps made once.
class Reference {
public:
    using Graph = boost::adjacency_list<boost::vecS, boost::vecS, boost::directedS, boost::no_property,
                                        boost::property<boost::edge_weight_t, uint32_t>>;
    using Vertex = boost::graph_traits<Graph>::vertex_descriptor;

    Reference()
        : graph_(table().terminalCount),
          predecessors_(table().terminalCount),
          distances_(table().terminalCount),
          colors_(table().terminalCount) {
        for (uint32_t t = 0; t < table().terminalCount; ++t) {
            const kzark::Terminal& terminal = table().terminals[t];
            for (uint32_t e = 0; e < terminal.outgoingCount; ++e) {
                const kzark::Edge& edge = table().edges[terminal.firstOutgoingEdge + e];
                boost::add_edge(t, edge.destination, edge.cost, graph_);
            }
        }
    }

    // Sources by terminal id; run to completion.
    uint32_t run(const Query& query) {
        std::vector<Vertex> sources;
        for (const auto& seed : query.seeds) sources.push_back(seed.terminalId - 1);
        boost::dijkstra_shortest_paths(
            graph_, sources.begin(), sources.end(), predecessors_.data(), distances_.data(),
            boost::get(boost::edge_weight, graph_), boost::get(boost::vertex_index, graph_), std::less<uint32_t>(),
            boost::closed_plus<uint32_t>(), kzark::kUnreachedDistance, uint32_t(0),
            boost::default_dijkstra_visitor(),
            boost::make_iterator_property_map(colors_.begin(), boost::get(boost::vertex_index, graph_)));
        return distances_[query.destinations.front() - 1];
    }

    bool reaches(const Query& query) { return run(query) != kzark::kUnreachedDistance; }
    size_t edgeCount() const { return boost::num_edges(graph_); }

private:
    Graph graph_;
    std::vector<Vertex> predecessors_;
    std::vector<uint32_t> distances_;
    std::vector<boost::default_color_type> colors_;
};

template <class T>
void measure(benchmark::State& state, const Query& query) {
    T subject;
    for (auto _ : state) {
        if (!subject.run(query)) {
            state.SkipWithError("calculation failed");
            break;
        }
    }
}

void referenceMeasure(benchmark::State& state, const Query& query) {
    static Reference reference;
    for (auto _ : state) benchmark::DoNotOptimize(reference.run(query));
}

void BM_SearchTypical(benchmark::State& state) { measure<Search>(state, typicalQuery()); }
void BM_SearchSettleAll(benchmark::State& state) { measure<Search>(state, settleAllQuery()); }
void BM_TwoPassTypical(benchmark::State& state) { measure<TwoPass>(state, typicalQuery()); }
void BM_TwoPassSettleAll(benchmark::State& state) { measure<TwoPass>(state, settleAllQuery()); }
void BM_ReferenceTypical(benchmark::State& state) { referenceMeasure(state, typicalQuery()); }
void BM_ReferenceSettleAll(benchmark::State& state) { referenceMeasure(state, settleAllQuery()); }

BENCHMARK(BM_SearchTypical)->Apply(bench::repeated);
BENCHMARK(BM_SearchSettleAll)->Apply(bench::repeated);
BENCHMARK(BM_TwoPassTypical)->Apply(bench::repeated);
BENCHMARK(BM_TwoPassSettleAll)->Apply(bench::repeated);
BENCHMARK(BM_ReferenceTypical)->Apply(bench::repeated);
BENCHMARK(BM_ReferenceSettleAll)->Apply(bench::repeated);

// Under callgrind: each operation a fixed number of times.
int count() {
    Search search;
    TwoPass twoPass;
    Reference reference;
    const auto& typical = typicalQuery();
    const auto& settleAll = settleAllQuery();
    const bool ok = bench::countInstructions("search-typical", 1000, [&] { return search.run(typical); }) &&
                    bench::countInstructions("search-settle-all", 200, [&] { return search.run(settleAll); }) &&
                    bench::countInstructions("two-pass-typical", 1000, [&] { return twoPass.run(typical); }) &&
                    bench::countInstructions("two-pass-settle-all", 200, [&] { return twoPass.run(settleAll); }) &&
                    bench::countInstructions("bgl-typical", 1000, [&] { return reference.reaches(typical); }) &&
                    bench::countInstructions("bgl-settle-all", 200, [&] { return reference.reaches(settleAll); });
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (bench::underValgrind()) return count();
    return bench::runBenchmarks(argc, argv, [](const bench::MedianReporter& r) {
        std::printf("table: %u terminals, %zu edges\n", table().terminalCount, Reference().edgeCount());
        const struct {
            const char* query;
            const char* search;
            const char* twoPass;
            const char* reference;
        } rows[] = {{"typical (44 to 21)", "BM_SearchTypical", "BM_TwoPassTypical", "BM_ReferenceTypical"},
                    {"settle-all (2 and 3 to every multiplexer)", "BM_SearchSettleAll", "BM_TwoPassSettleAll",
                     "BM_ReferenceSettleAll"}};
        for (const auto& row : rows) {
            const double reference = r.median(row.reference);
            std::printf("median: %s: search %.1f ns, two-pass %.1f ns, BGL %.1f ns; two-pass / BGL %.3f (no goal)\n",
                        row.query, r.median(row.search), r.median(row.twoPass), reference,
                        reference > 0 ? r.median(row.twoPass) / reference : 0.0);
            const std::string figure = std::string("route search, ") + row.query + ", against BGL";
            bench::printRatioGoal(figure.c_str(), r.median(row.search), reference, 0.5, true);
        }
    });
}
