// What every benchmark program shares: the medians of one run, the goal lines, and the loop that
// callgrind counts.
//
// A program runs in one of two ways. Plain, Google Benchmark times each measured loop with nine
// repetitions and the program prints the medians and one line per goal. Under valgrind (see
// callgrind.sh), each measured loop instead runs a fixed number of times with collection on, and
// its counts are dumped under a label "NAME iterations=N": the script reads the label to divide.
#pragma once

#include <benchmark/benchmark.h>
#include <valgrind/callgrind.h>

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace bench {

// Collects the median of every benchmark while printing as usual.
class MedianReporter : public benchmark::ConsoleReporter {
public:
    // Colours only on a terminal.
    MedianReporter() : ConsoleReporter(isatty(STDOUT_FILENO) != 0 ? OO_Defaults : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median" && !run.error_occurred)
                medians_[run.run_name.function_name] = run.GetAdjustedCPUTime();  // in the run's time unit
        ConsoleReporter::ReportRuns(runs);
    }

    // Nanoseconds; 0 when the benchmark did not run (filtered out or stopped by an error).
    double median(const std::string& name) const {
        const auto found = medians_.find(name);
        return found == medians_.end() ? 0 : found->second;
    }

private:
    std::map<std::string, double> medians_;
};

inline bool underValgrind() { return RUNNING_ON_VALGRIND != 0; }

// One goal line: the figure against the goal, "met" when figure <= goal (atMost) or >= goal.
inline void printGoal(const char* figure, double value, double goal, bool atMost, const char* unit) {
    if (value <= 0) {
        std::printf("goal: %s: not measured in this run\n", figure);
        return;
    }
    const bool met = atMost ? value <= goal : value >= goal;
    std::printf("goal: %s: %.3f %s, goal %s %.3f, %s\n", figure, value, unit, atMost ? "at most" : "at least", goal,
                met ? "met" : "missed");
}

// A ratio to a reference measured in the same run.
inline void printRatioGoal(const char* figure, double measured, double reference, double goal, bool atMost) {
    if (measured <= 0 || reference <= 0) {
        std::printf("goal: %s: not measured in this run\n", figure);
        return;
    }
    const double ratio = atMost ? measured / reference : reference / measured;
    std::printf("goal: %s: %.1f ns against %.1f ns, ratio %.3f, goal %s %.2f, %s\n", figure, measured, reference, ratio,
                atMost ? "at most" : "at least", goal, (atMost ? ratio <= goal : ratio >= goal) ? "met" : "missed");
}

// An instruction-count goal: counted only under callgrind, where the script prints the line.
inline void printCountGoal(const char* figure, uint64_t goal) {
    std::printf("goal: %s: at most %llu driver instructions, counted by tools/bench/callgrind.sh\n", figure,
                static_cast<unsigned long long>(goal));
}

// Runs body `iterations` times with callgrind's collection on and dumps the counts under the
// label. The body returns false on a failed status, which stops the program.
inline bool countInstructions(const char* name, uint32_t iterations, const std::function<bool()>& body) {
    if (!body()) return false;  // a warm-up call outside the count, as the timed loops have
    CALLGRIND_ZERO_STATS;
    CALLGRIND_TOGGLE_COLLECT;
    bool ok = true;
    for (uint32_t i = 0; i < iterations && ok; ++i) ok = body();
    CALLGRIND_TOGGLE_COLLECT;
    const std::string label = std::string(name) + " iterations=" + std::to_string(iterations);
    CALLGRIND_DUMP_STATS_AT(label.c_str());
    if (!ok) std::fprintf(stderr, "%s: a call failed\n", name);
    return ok;
}

// Google Benchmark's main with the medians collected; goals run after the benchmarks.
inline int runBenchmarks(int argc, char** argv, const std::function<void(const MedianReporter&)>& goals) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    goals(reporter);
    return 0;
}

// The repetitions whose median is printed: BENCHMARK(...)->Apply(bench::repeated).
constexpr int kRepetitions = 9;
inline void repeated(benchmark::internal::Benchmark* b) { b->Repetitions(kRepetitions)->ReportAggregatesOnly(true); }

}  // namespace bench
