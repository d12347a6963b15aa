// Every failable kernel call of the life cycle fails in turn, one call site at a time: the calls a
// stage makes are recorded in an undisturbed run, then each (call, nth) fails in a run of its own.
// Each time the stage reports a failure or did all that an undisturbed run does, the device comes
// back to the highest built level with the stand-in mended, and after the unload the stand-in
// holds what it held before the load (AddressSanitizer catches anything freed twice).
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "sweep/lifeCycle.h"

using namespace sweep;

namespace {

const Reference& reference() {
    static const Reference undisturbed = LifeCycle::reference();
    return undisturbed;
}

struct Calls {
    std::string name;
    uint64_t count;
};

// The failable calls the stage makes, by name over every thread, in the order of each one's first
// call.
std::vector<Calls> callsOf(Stage stage) {
    std::vector<kal::sim::RecordKernelCalls::Calls> recorded;
    {
        LifeCycle life;
        life.prepare(stage, reference());
        kal::sim::RecordKernelCalls recorder;
        EXPECT_EQ(life.run(stage), 0);
        recorded = recorder.calls();
    }
    std::vector<Calls> calls;
    for (const auto& r : recorded) {
        auto same = std::find_if(calls.begin(), calls.end(), [&](const Calls& c) { return c.name == r.name; });
        if (same == calls.end())
            calls.push_back({r.name, r.count});
        else
            same->count += r.count;
    }
    return calls;
}

std::string listing(const std::vector<Calls>& calls) {
    std::string text;
    for (const Calls& c : calls) text += (text.empty() ? "" : ", ") + c.name + " x" + std::to_string(c.count);
    return text.empty() ? "none" : text;
}

int reportedFailures() { return ::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count(); }

class KernelCallSweep : public ::testing::TestWithParam<Stage> {};

}  // namespace

TEST_P(KernelCallSweep, EachCallFailsInTurn) {
    const Stage stage = GetParam();
    const std::vector<Calls> calls = callsOf(stage);
    std::printf("%s: %s\n", nameOf(stage), listing(calls).c_str());
    for (const Calls& call : calls) {
        for (uint64_t nth = 1; nth <= call.count; ++nth) {
            SCOPED_TRACE(call.name + " #" + std::to_string(nth));
            LifeCycle life;
            life.prepare(stage, reference());
            int64_t code = 0;
            uint64_t failures = 0;
            {
                kal::sim::FailKernelCall fault(call.name, nth);
                code = life.run(stage);
                failures = fault.failures();
            }
            const int failuresBefore = reportedFailures();
            EXPECT_EQ(failures, 1u) << "the undisturbed run made this call";
            EXPECT_EQ(life.verify(stage, reference(), code), "") << "code " << code;
            EXPECT_TRUE(life.recover(reference()));
            // A failure's report is memory that stays: then the count would show it.
            if (reportedFailures() == failuresBefore)
                EXPECT_TRUE(life.finish());
            else
                life.finish();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Stages, KernelCallSweep, ::testing::ValuesIn(kStages),
                         [](const ::testing::TestParamInfo<Stage>& info) {
                             std::string name;
                             for (const char* c = nameOf(info.param); *c != '\0'; ++c)
                                 if (*c != ' ') name += name.empty() || c[-1] == ' ' ? char(std::toupper(*c)) : *c;
                             return name;
                         });
