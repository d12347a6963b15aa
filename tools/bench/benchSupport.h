// What every benchmark program shares: timing with the reference interleaved, the goal lines, and
// the loops that callgrind counts.
//
// A program runs in one of two ways. Plain, each figure is timed in repetitions; where there is a
// reference, every repetition times the project and the reference one after the other (in turns,
// so that neither always runs first), and the figure is the median of the repetitions' ratios: a
// machine that slows down for a while slows both sides of the repetitions it touches alike. Under
// valgrind (see callgrind.sh), each measured loop instead runs a fixed number of times between a
// zeroing of the counts and a dump under a label "NAME iterations=N" (and "per=N" where
// the figure is per unit of work): the script reads the label to divide.
//
// A measured call returns false on a failed status: the program then prints an error for that
// figure instead of a number, goes on with the others and exits non-zero.
#pragma once

#include <valgrind/callgrind.h>

#include <time.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace bench {

inline bool underValgrind() { return RUNNING_ON_VALGRIND != 0; }

using Body = std::function<bool()>;

// The calling thread's processor time: what another process takes from the machine does not count.
// Operations that hand work to other threads (an interrupt, a deferred call) are timed on the wall.
enum class Clock { kThread, kWall };

inline double nowNs(Clock clock) {
    timespec t{};
    clock_gettime(clock == Clock::kThread ? CLOCK_THREAD_CPUTIME_ID : CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) * 1e9 + double(t.tv_nsec);
}

class Runner {
public:
    // --brief: a few short repetitions (figures not meaningful: for CI).
    Runner(int argc, char** argv, const char* program) : program_(program) {
        for (int i = 1; i < argc; ++i) {
            if (std::strcmp(argv[i], "--brief") == 0) {
                brief_ = true;
            } else {
                std::fprintf(stderr, "usage: %s [--brief]\n", program);
                std::exit(2);
            }
        }
    }

    bool brief() const { return brief_; }
    int exitCode() const { return failed_ ? 1 : 0; }

    // Nanoseconds per call of one operation, median of the repetitions; 0 when a call failed.
    double time(const char* figure, const Body& body, Clock clock = Clock::kThread) {
        return interleave(figure, {body}, clock).front();
    }

    // The median time per call of each subject, every repetition timing all of them in turns (the
    // first subject of one repetition is the last of the one before). All zero when a call failed.
    std::vector<double> interleave(const char* figure, const std::vector<Body>& subjects,
                                   Clock clock = Clock::kThread) {
        const size_t n = subjects.size();
        perCall_.assign(n, {});
        std::vector<uint64_t> batch(n, 1);
        // Each subject's batch grows until it lasts long enough to time.
        for (size_t s = 0; s < n; ++s) {
            for (;;) {
                double elapsed = 0;
                if (!run(subjects[s], batch[s], clock, elapsed)) return failure(figure, n);
                if (elapsed >= batchNs() || batch[s] >= (uint64_t(1) << 30)) break;
                batch[s] *= 2;
            }
        }
        for (int rep = 0; rep < repetitions(); ++rep) {
            for (size_t k = 0; k < n; ++k) {
                const size_t s = (k + size_t(rep)) % n;
                double elapsed = 0;
                if (!run(subjects[s], batch[s], clock, elapsed)) return failure(figure, n);
                perCall_[s].push_back(elapsed / double(batch[s]));
            }
        }
        std::vector<double> medians(n);
        for (size_t s = 0; s < n; ++s) medians[s] = quantile(perCall_[s], 0.5);
        return medians;
    }

    // Of the last interleave: subject a's time over subject b's in each repetition, at quantile q
    // of the repetitions (0.5 the median); 0 when it failed.
    double ratio(size_t a, size_t b, double q = 0.5) const {
        if (a >= perCall_.size() || b >= perCall_.size() || perCall_[a].empty()) return 0;
        std::vector<double> ratios;
        for (size_t rep = 0; rep < perCall_[a].size(); ++rep)
            ratios.push_back(perCall_[b][rep] > 0 ? perCall_[a][rep] / perCall_[b][rep] : 0);
        return quantile(ratios, q);
    }
    int repetitions() const { return brief_ ? 3 : 31; }

private:
    // A batch lasts at least this long: long against the clock's own cost, short against the
    // interruptions of a loaded machine.
    double batchNs() const { return brief_ ? 2e4 : 1e6; }

    static bool run(const Body& body, uint64_t count, Clock clock, double& elapsed) {
        const double start = nowNs(clock);
        for (uint64_t i = 0; i < count; ++i)
            if (!body()) return false;
        elapsed = nowNs(clock) - start;
        return true;
    }

    static double quantile(std::vector<double> values, double q) {
        if (values.empty()) return 0;
        std::sort(values.begin(), values.end());
        return values[size_t(q * double(values.size() - 1) + 0.5)];
    }

    std::vector<double> failure(const char* figure, size_t n) {
        std::fprintf(stderr, "%s: error: %s: a call failed; no figure\n", program_, figure);
        std::printf("error: %s: a call failed; no figure\n", figure);
        failed_ = true;
        perCall_.assign(n, {});
        return std::vector<double>(n, 0);
    }

    const char* program_;
    bool brief_ = false;
    bool failed_ = false;
    std::vector<std::vector<double>> perCall_;  // per subject, ns per call in each repetition
};

// One goal line: the figure against the goal, "met" when value <= goal (atMost) or >= goal.
inline void printGoal(const char* figure, double value, double goal, bool atMost, const char* unit) {
    if (value <= 0) {
        std::printf("goal: %s: not measured in this run\n", figure);
        return;
    }
    const bool met = atMost ? value <= goal : value >= goal;
    std::printf("goal: %s: %.3f %s, goal %s %.3f, %s\n", figure, value, unit, atMost ? "at most" : "at least", goal,
                met ? "met" : "missed");
}

// The median over interleaved repetitions of subject a's time over subject b's against its goal,
// with the quartiles beside it.
inline void printRatioGoal(const char* figure, const Runner& runner, size_t a, size_t b, double goal, bool atMost) {
    const double ratio = runner.ratio(a, b);
    if (ratio <= 0) {
        std::printf("goal: %s: not measured in this run\n", figure);
        return;
    }
    const bool met = atMost ? ratio <= goal : ratio >= goal;
    std::printf("goal: %s: ratio %.3f (quartiles %.3f-%.3f, %d interleaved repetitions), goal %s %.2f, %s\n", figure,
                ratio, runner.ratio(a, b, 0.25), runner.ratio(a, b, 0.75), runner.repetitions(),
                atMost ? "at most" : "at least", goal, met ? "met" : "missed");
}

// An instruction-count goal: counted only under callgrind, where the script prints the line.
inline void printCountGoal(const char* figure, const char* goal) {
    std::printf("goal: %s: %s, counted by tools/bench/callgrind.sh\n", figure, goal);
}

// Runs body `iterations` times between a zeroing of callgrind's counts and a dump under the label (NAME, or "NAME per=N" for a figure per unit). The body returns false on a failed status,
// which stops the program.
inline bool countInstructions(const std::string& label, uint32_t iterations, const Body& body) {
    if (!body()) {  // a warm-up call outside the count, as the timed loops have
        std::fprintf(stderr, "%s: a call failed\n", label.c_str());
        return false;
    }
    // Collection is on in every thread (callgrind.sh starts it so): a loop that hands work to the
    // stand-in's interrupt and deferred-call threads counts theirs too. Only what runs between the
    // zeroing and the dump is counted.
    CALLGRIND_ZERO_STATS;
    bool ok = true;
    for (uint32_t i = 0; i < iterations && ok; ++i) ok = body();
    const std::string dump = label + " iterations=" + std::to_string(iterations);
    CALLGRIND_DUMP_STATS_AT(dump.c_str());
    if (!ok) std::fprintf(stderr, "%s: a call failed\n", label.c_str());
    return ok;
}

}  // namespace bench
