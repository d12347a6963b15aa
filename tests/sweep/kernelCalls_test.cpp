// Every failable kernel call of the life cycle fails in turn, one call site at a time: the calls a
// stage makes are recorded in an undisturbed run, then each (call, nth) fails in a run of its own.
// Each time the stage reports a failure or did all that an undisturbed run does, the device comes
// back to the highest built level with the stand-in mended, and after the unload the stand-in
// holds what it held before the load (AddressSanitizer catches anything freed twice).
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "sweep/lifeCycle.h"

using namespace sweep;

namespace {

struct Scenario {
    Variant variant;
    Stage stage;
    const char* only;  // sweeps only the calls whose names start so; null for all
    // The failing runs, numbered across every call, that this test makes: those whose number is
    // part modulo parts. The stages that bring the board up make a thousand failable calls, each
    // run a whole life: their runs are dealt over several tests, which the shards run in parallel.
    unsigned part;
    unsigned parts;
};

struct Calls {
    std::string name;
    uint64_t count;
};

// The failable calls the stage makes, by name over every thread, in the order of each one's first
// call.
std::vector<Calls> callsOf(const Scenario& scenario) {
    std::vector<kal::sim::RecordKernelCalls::Calls> recorded;
    {
        LifeCycle life(scenario.variant);
        life.prepare(scenario.stage, LifeCycle::reference(scenario.variant));
        kal::sim::RecordKernelCalls recorder;
        EXPECT_EQ(life.run(scenario.stage), 0);
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

class KernelCallSweep : public ::testing::TestWithParam<Scenario> {};

// Every stage on the standard board; add device also on a board where finding the PCI Express
// capability takes the fallback probe, the one path that writes the configuration space (only
// the configuration-space calls differ there).
std::vector<Scenario> scenarios() {
    constexpr unsigned kPartsOfABringUp = 8;
    std::vector<Scenario> all;
    for (Stage stage : kStages) {
        const bool bringsUp = stage == Stage::kAddDevice || stage == Stage::kBringUp;
        const unsigned parts = bringsUp ? kPartsOfABringUp : 1;
        for (unsigned part = 0; part < parts; ++part) all.push_back({Variant::kStandard, stage, nullptr, part, parts});
    }
    all.push_back({Variant::kNoCapabilityList, Stage::kAddDevice, "pciConfig", 0, 1});
    return all;
}

}  // namespace

TEST_P(KernelCallSweep, EachCallFailsInTurn) {
    const Variant variant = GetParam().variant;
    const Stage stage = GetParam().stage;
    const Reference& undisturbed = LifeCycle::reference(variant);
    const std::vector<Calls> calls = callsOf(GetParam());
    if (GetParam().part == 0) std::printf("%s, %s: %s\n", nameOf(stage), nameOf(variant), listing(calls).c_str());
    uint64_t run = 0;
    for (const Calls& call : calls) {
        if (GetParam().only != nullptr && call.name.rfind(GetParam().only, 0) != 0) continue;
        for (uint64_t nth = 1; nth <= call.count; ++nth) {
            if (run++ % GetParam().parts != GetParam().part) continue;
            SCOPED_TRACE(call.name + " #" + std::to_string(nth));
            LifeCycle life(variant);
            life.prepare(stage, undisturbed);
            int64_t code = 0;
            uint64_t failures = 0;
            {
                kal::sim::FailKernelCall fault(call.name, nth);
                code = life.run(stage);
                failures = fault.failures();
            }
            EXPECT_EQ(failures, 1u) << "the undisturbed run made this call";
            EXPECT_EQ(life.verify(stage, undisturbed, code), "") << "code " << code;
            EXPECT_TRUE(life.recover(undisturbed));
            EXPECT_TRUE(life.finish());
        }
    }
}

namespace {

// "add device", "board without a capability list" -> AddDeviceBoardWithoutACapabilityList
std::string testName(const ::testing::TestParamInfo<Scenario>& info) {
    const char* variant = info.param.variant == Variant::kStandard ? "" : nameOf(info.param.variant);
    std::string name;
    for (const char* text : {nameOf(info.param.stage), variant})
        for (const char* c = text; *c != '\0'; ++c)
            if (std::isalnum(static_cast<unsigned char>(*c)))
                name += c == text || c[-1] == ' ' ? char(std::toupper(static_cast<unsigned char>(*c))) : *c;
    if (info.param.parts > 1) name += "_Part" + std::to_string(info.param.part + 1) + "Of" + std::to_string(info.param.parts);
    return name;
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(LifeCycle, KernelCallSweep, ::testing::ValuesIn(scenarios()), testName);
