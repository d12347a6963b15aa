// The channels' power account: stages take increases from the budget at once, commits hand
// decreases back, and no channel index reaches past the account.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kal/sim/faults.h"
#include "vantrel_shared/powerAllocationController.h"

namespace {

using nKZAPALS100::tStatus;
using vantrel_shared::PowerAllocationController;

constexpr int64_t code(uint32_t hex) { return int64_t(int32_t(hex)); }
constexpr uint32_t kBudget = 40000000;

enum Op { Stage, Commit, Discard, Actual, Total };
struct Step {
    Op op;
    uint8_t channel;
    uint32_t value;
    uint32_t result;     // what stage and actual return
    int64_t status;
    int64_t available;   // the budget left afterwards
};
struct Case {
    std::string name;
    std::vector<Step> steps;
};

TEST(PowerAllocation, Account) {
    const std::vector<Case> cases = {
        {"increases are taken at once; one too many is refused",
         {{Stage, 0, 30000000, 10000000, 0, 10000000},
          {Stage, 1, 10000000, 0, 0, 0},
          {Stage, 2, 1, 0, code(0xBFFA40A9), 0}}},
        {"a decrease is handed back on commit",
         {{Stage, 0, 30000000, 10000000, 0, 10000000},
          {Commit, 0, 0, 0, 0, 10000000},
          {Stage, 0, 20000000, 10000000, 0, 10000000},
          {Actual, 0, 0, 30000000, 0, 10000000},
          {Commit, 0, 0, 0, 0, 20000000},
          {Actual, 0, 0, 20000000, 0, 20000000}}},
        {"a discarded decrease keeps the committed value",
         {{Stage, 0, 30000000, 10000000, 0, 10000000},
          {Commit, 0, 0, 0, 0, 10000000},
          {Stage, 0, 20000000, 10000000, 0, 10000000},
          {Discard, 0, 0, 0, 0, 10000000},
          {Actual, 0, 0, 30000000, 0, 10000000}}},
        {"staging the committed value stages nothing",
         {{Stage, 0, 5000000, 35000000, 0, 35000000},
          {Commit, 0, 0, 0, 0, 35000000},
          {Stage, 0, 5000000, 35000000, 0, 35000000},
          {Commit, 0, 0, 0, 0, 35000000},
          {Actual, 0, 0, 5000000, 0, 35000000}}},
        {"a second stage discards the first",
         {{Stage, 0, 25000000, 15000000, 0, 15000000}, {Stage, 0, 35000000, 5000000, 0, 5000000}}},
        {"a refused increase still discards the stage before it",
         {{Stage, 0, 25000000, 15000000, 0, 15000000}, {Stage, 0, 40000001, 40000000, code(0xBFFA40A9), 40000000}}},
        {"the whole budget can be staged", {{Stage, 3, kBudget, 0, 0, 0}}},
        {"raising the total with power allocated",
         {{Stage, 0, 10000000, 30000000, 0, 30000000}, {Total, 0, 50000000, 0, 0, 40000000}}},
        {"lowering the total with power allocated is refused",
         {{Stage, 0, 10000000, 30000000, 0, 30000000}, {Total, 0, 30000000, 0, code(0xBFFA4331), 30000000}}},
        {"lowering the total with nothing allocated", {{Total, 0, 10000000, 0, 0, 10000000}}},
        {"a channel past the last is refused",
         {{Stage, 4, 1, 0, code(0xBFFA4303), kBudget},
          {Commit, 4, 0, 0, code(0xBFFA4303), kBudget},
          {Discard, 255, 0, 0, code(0xBFFA4303), kBudget},
          {Actual, 4, 0, 0, code(0xBFFA4303), kBudget}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        tStatus st;
        PowerAllocationController account(kBudget, 4, st);
        ASSERT_EQ(st.code, 0);
        for (size_t i = 0; i < c.steps.size(); ++i) {
            SCOPED_TRACE(i);
            const Step& s = c.steps[i];
            tStatus status;
            uint32_t result = 0;
            switch (s.op) {
                case Stage: result = account.stagePowerAllocation(s.channel, s.value, status); break;
                case Commit: account.commitPowerAllocation(s.channel, status); break;
                case Discard: account.discardPowerAllocation(s.channel, status); break;
                case Actual: result = account.getActualPowerAllocation(s.channel, status); break;
                case Total: account.setTotalBudget(s.value, status); break;
            }
            EXPECT_EQ(result, s.result);
            EXPECT_EQ(status.code, s.status);
            EXPECT_EQ(account.availableBudget(), s.available);
        }
    }
}

TEST(PowerAllocation, AnIncomingErrorChangesNothing) {
    tStatus st;
    PowerAllocationController account(kBudget, 4, st);
    tStatus failed;
    KZ_SET_CODE(failed, -9);
    EXPECT_EQ(account.stagePowerAllocation(0, 1, failed), 0u);
    account.setTotalBudget(1, failed);
    EXPECT_EQ(account.availableBudget(), kBudget);
    EXPECT_EQ(account.totalBudget(), kBudget);
    EXPECT_EQ(failed.code, -9);
}

TEST(PowerAllocation, ConstructionFailuresAreOutOfMemory) {
    for (uint64_t nth = 1;; ++nth) {
        ASSERT_LT(nth, 10u);
        const int64_t before = kal::sim::liveAllocations();
        tStatus st;
        bool failed = false;
        {
            kal::sim::FailAllocations fail(nth);
            PowerAllocationController account(kBudget, 4, st);
            failed = fail.triggered();
        }
        EXPECT_EQ(kal::sim::liveAllocations(), before);
        if (!failed) break;
        EXPECT_EQ(st.code, -52000);
    }
    kal::sim::FailKernelCall refuse("createMutex");
    tStatus st;
    PowerAllocationController account(kBudget, 4, st);
    EXPECT_EQ(st.code, -52000);
}

}  // namespace
