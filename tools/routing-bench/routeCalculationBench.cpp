// One route calculation as the routing resources run it: a fresh scratch heap, the search, the
// routes released and the heap's blocks given back.
#include <benchmark/benchmark.h>

#include <vector>

#include "kzark/tolvaneTopography.h"
#include "kzark/topography.h"

namespace {

void calculate(benchmark::State& state, const std::vector<kzark::RouteCalculationSeedBase>& seeds,
               const std::vector<uint32_t>& destinations) {
    const kzark::TopInfo& info = TolvaneTopography::kTopInfo;
    std::vector<kzark::TerminalState> terminals(info.terminalCount);
    std::vector<kzark::EdgeState> edges(info.edgeCount);
    kzark::Topography topography;
    topography.initialize(info, terminals.data(), edges.data());
    uint64_t found = 0;
    for (auto _ : state) {
        kzark::GrowOnlyHeap heap(kzark::GrowOnlyHeap::kCalculationBlockSize, kzark::GrowOnlyHeap::kAlignment);
        topography.segmentResize.context = &heap;
        topography.routeResize.context = &heap;
        nKZAPALS100::tStatus status;
        kzark::Route** routes = nullptr;
        uint32_t count = 0;
        topography.calculateRoute(1, seeds.data(), static_cast<uint32_t>(seeds.size()), nullptr, destinations.data(),
                                  static_cast<uint32_t>(destinations.size()), 0, routes, count, status);
        if (status.isFatal()) state.SkipWithError("calculation failed");
        found += count;
        topography.releaseRoutes(routes, count);
    }
    benchmark::DoNotOptimize(found);
}

// Four hops through both kinds of pass-through multiplexer.
void BM_OneDestination(benchmark::State& state) { calculate(state, {{44, 0, 0, {}}}, {21}); }

// Every multiplexer from both wired sources: the search settles nearly the whole table.
void BM_EveryMultiplexer(benchmark::State& state) {
    const kzark::TopInfo& info = TolvaneTopography::kTopInfo;
    std::vector<uint32_t> destinations;
    for (uint32_t i = 0; i < info.terminalCount; ++i)
        if (info.terminals[i].incomingCount != 0) destinations.push_back(info.terminals[i].id);
    calculate(state, {{2, 0, 0, {}}, {3, 0, 0, {}}}, destinations);
}

BENCHMARK(BM_OneDestination)->Repetitions(9)->ReportAggregatesOnly(true);
BENCHMARK(BM_EveryMultiplexer)->Repetitions(9)->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
