// The gang book over a recording unganging controller: which hardware gangs a reservation breaks
// up, what a refused or failed one leaves, and that no index reaches past the four records.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kal/sim/faults.h"
#include "kdut/cleanupOperation.h"
#include "vantrel_shared/channelGangingController.h"

namespace {

using nKZAPALS100::tStatus;
using vantrel_shared::ChannelGangingController;

constexpr int64_t code(uint32_t hex) { return int64_t(int32_t(hex)); }
constexpr int64_t kReserved = code(0xBFFA40AE);
constexpr int64_t kInvalidChannel = code(0xBFFA4303);
constexpr int64_t kUngangTimedOut = code(0xBFFA468C);

kzvorn_driver::SubroutineDispatcher* const kNoDispatchers[4] = {};

// Records every channel it is asked to ungang; fails from the nth call on when told to.
class RecordingUnganging : public kzvorn_driver::ChannelUngangingController {
public:
    RecordingUnganging() : ChannelUngangingController(kNoDispatchers) {}
    void ungang(uint8_t channel, tStatus& status) override {
        if (status.isFatal()) return;
        calls.push_back(channel);
        if (failFrom != 0 && calls.size() >= failFrom) KZ_SET_CODE(status, kUngangTimedOut);
    }
    std::vector<int> calls;
    size_t failFrom = 0;
};

struct Record {
    uint32_t mergeCount;
    bool reserved;
    bool master;
    bool operator==(const Record& o) const {
        return mergeCount == o.mergeCount && reserved == o.reserved && master == o.master;
    }
};
std::ostream& operator<<(std::ostream& os, const Record& r) {
    return os << "{" << r.mergeCount << ", " << r.reserved << ", " << r.master << "}";
}

constexpr Record kFree{1, false, true};

std::vector<Record> book(ChannelGangingController& c) {
    std::vector<Record> records;
    for (uint8_t ch = 0; ch < 4; ++ch) {
        tStatus st;
        records.push_back({c.getMergeCount(ch, st), c.isCurrentChannelGangingReserved(ch, st),
                           c.isCurrentChannelGangingMaster(ch, st)});
        EXPECT_EQ(st.code, 0);
    }
    return records;
}

struct Fixture {
    RecordingUnganging unganging;
    tStatus constructed;
    ChannelGangingController controller{4, &unganging, constructed};
};

enum Op { Reserve, Unreserve };
struct Step {
    Op op;
    uint8_t channel;
    uint32_t count;
    int64_t status;
};
struct Case {
    std::string name;
    std::vector<Step> steps;
    size_t failUngangFrom;          // 0: never
    std::vector<int> ungangedOnLastStep;
    std::vector<Record> after;
};

TEST(ChannelGanging, Reservations) {
    const std::vector<Case> cases = {
        {"a fresh book", {}, 0, {}, {kFree, kFree, kFree, kFree}},
        {"two adjacent gangs break nothing",
         {{Reserve, 0, 2, 0}, {Reserve, 2, 2, 0}}, 0, {},
         {{2, true, true}, {2, true, false}, {2, true, true}, {2, true, false}}},
        {"a released gang overlapped from its middle is unganged once, at its master",
         {{Reserve, 0, 4, 0}, {Unreserve, 0, 0, 0}, {Reserve, 2, 2, 0}}, 0, {0},
         {kFree, kFree, {2, true, true}, {2, true, false}}},
        {"growing the start channel's own gang releases it first and breaks nothing",
         {{Reserve, 0, 2, 0}, {Reserve, 0, 4, 0}}, 0, {},
         {{4, true, true}, {4, true, false}, {4, true, false}, {4, true, false}}},
        {"shrinking the start channel's gang ungangs it whole, so its tail is free",
         {{Reserve, 0, 4, 0}, {Unreserve, 0, 0, 0}, {Reserve, 0, 2, 0}}, 0, {0},
         {{2, true, true}, {2, true, false}, kFree, kFree}},
        {"the shrunk gang's tail is then reserved without another break-up",
         {{Reserve, 0, 4, 0}, {Unreserve, 0, 0, 0}, {Reserve, 0, 2, 0}, {Reserve, 2, 2, 0}}, 0, {},
         {{2, true, true}, {2, true, false}, {2, true, true}, {2, true, false}}},
        {"shrinking a reserved gang of one's own works the same",
         {{Reserve, 0, 3, 0}, {Reserve, 0, 1, 0}}, 0, {0},
         {{1, true, true}, kFree, kFree, kFree}},
        {"a reserved channel refuses the gang and changes nothing",
         {{Reserve, 2, 1, 0}, {Reserve, 1, 2, kReserved}}, 0, {},
         {kFree, kFree, {1, true, true}, kFree}},
        {"a refusal restores the start channel's released gang too",
         {{Reserve, 0, 2, 0}, {Reserve, 2, 2, 0}, {Reserve, 0, 3, kReserved}}, 0, {},
         {{2, true, true}, {2, true, false}, {2, true, true}, {2, true, false}}},
        {"a range past the last channel is refused before anything changes",
         {{Reserve, 0, 2, 0}, {Reserve, 0, 5, kInvalidChannel}, {Reserve, 2, 3, kInvalidChannel},
          {Reserve, 4, 0, kInvalidChannel}, {Reserve, 255, 2, kInvalidChannel},
          {Reserve, 3, 0xFFFFFFFE, kInvalidChannel}},
         0, {}, {{2, true, true}, {2, true, false}, kFree, kFree}},
        // A gang not starting on a multiple of its size: the gang broken up is the one recorded at
        // its master, whole; a block computed from the size alone (3 x floor(i / 3)) would have
        // ungang channel 3, left channels 1-2 ganged and reached past the last channel.
        {"the gang broken up is the recorded one, from its master, even from its last channel",
         {{Reserve, 1, 3, 0}, {Unreserve, 1, 0, 0}, {Reserve, 3, 1, 0}}, 0, {1},
         {kFree, kFree, kFree, {1, true, true}}},
        {"the gang broken up is the recorded one, from its master, from its middle",
         {{Reserve, 1, 3, 0}, {Unreserve, 1, 0, 0}, {Reserve, 2, 2, 0}}, 0, {1},
         {kFree, kFree, {2, true, true}, {2, true, false}}},
        {"count 0 releases the start channel's gang and records none",
         {{Reserve, 0, 2, 0}, {Reserve, 0, 0, 0}}, 0, {},
         {{2, false, true}, {2, false, false}, kFree, kFree}},
        {"unreserving a member clears the flags from it for its merge count",
         {{Reserve, 0, 4, 0}, {Unreserve, 2, 0, 0}}, 0, {},
         {{4, true, true}, {4, true, false}, {4, false, false}, {4, false, false}}},
        {"unreserving a channel past the last",
         {{Unreserve, 4, 0, kInvalidChannel}}, 0, {}, {kFree, kFree, kFree, kFree}},
        {"a failed break-up records no new gang",
         {{Reserve, 0, 4, 0}, {Unreserve, 0, 0, 0}, {Reserve, 2, 2, kUngangTimedOut}}, 1, {0},
         {{4, false, true}, {4, false, false}, {4, false, false}, {4, false, false}}},
        {"a failed shrink records no new gang",
         {{Reserve, 0, 4, 0}, {Unreserve, 0, 0, 0}, {Reserve, 0, 2, kUngangTimedOut}}, 1, {0},
         {{4, false, true}, {4, false, false}, {4, false, false}, {4, false, false}}},
        {"gangs broken before a failure stay broken",
         {{Reserve, 0, 2, 0}, {Reserve, 2, 2, 0}, {Unreserve, 0, 0, 0}, {Unreserve, 2, 0, 0},
          {Reserve, 1, 2, kUngangTimedOut}},
         2, {0, 2}, {kFree, kFree, {2, false, true}, {2, false, false}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Fixture f;
        ASSERT_EQ(f.constructed.code, 0);
        f.unganging.failFrom = c.failUngangFrom;
        for (size_t i = 0; i < c.steps.size(); ++i) {
            const Step& s = c.steps[i];
            SCOPED_TRACE(i);
            f.unganging.calls.clear();
            tStatus st;
            if (s.op == Reserve)
                f.controller.reserveChannelsForGanging(s.channel, s.count, st);
            else
                f.controller.unreserveChannelsForGanging(s.channel, st);
            EXPECT_EQ(st.code, s.status);
        }
        EXPECT_EQ(f.unganging.calls, c.ungangedOnLastStep);
        EXPECT_EQ(book(f.controller), c.after);
    }
}

TEST(ChannelGanging, CleanupReleasesOnlyWhatItsChannelMasters) {
    Fixture f;
    tStatus st;
    f.controller.reserveChannelsForGanging(0, 2, st);
    f.controller.getCleanupOperation(1)->cleanup(st);
    EXPECT_TRUE(f.controller.isCurrentChannelGangingReserved(0, st));
    f.controller.getCleanupOperation(0)->cleanup(st);
    EXPECT_EQ(st.code, 0);
    EXPECT_EQ(book(f.controller), (std::vector<Record>{{2, false, true}, {2, false, false}, kFree, kFree}));
    EXPECT_EQ(f.controller.getCleanupOperation(4), nullptr);
    EXPECT_EQ(f.controller.getCleanupOperation(255), nullptr);
}

TEST(ChannelGanging, AnErrorStatusDoesNothing) {
    Fixture f;
    tStatus ok;
    f.controller.reserveChannelsForGanging(0, 2, ok);
    tStatus failed;
    KZ_SET_CODE(failed, -9);
    EXPECT_EQ(f.controller.getMergeCount(0, failed), 1u);
    EXPECT_FALSE(f.controller.isCurrentChannelGangingMaster(0, failed));
    EXPECT_FALSE(f.controller.isCurrentChannelGangingReserved(0, failed));
    f.controller.reserveChannelsForGanging(2, 2, failed);
    f.controller.unreserveChannelsForGanging(0, failed);
    f.controller.getCleanupOperation(0)->cleanup(failed);
    EXPECT_EQ(failed.code, -9);
    EXPECT_EQ(book(f.controller), (std::vector<Record>{{2, true, true}, {2, true, false}, kFree, kFree}));
}

TEST(ChannelGanging, QueriesPastTheLastChannelAreRefused) {
    Fixture f;
    for (uint8_t ch : {4, 255}) {
        tStatus st;
        EXPECT_EQ(f.controller.getMergeCount(ch, st), 1u);
        EXPECT_EQ(st.code, kInvalidChannel);
        tStatus st2;
        EXPECT_FALSE(f.controller.isCurrentChannelGangingMaster(ch, st2));
        EXPECT_EQ(st2.code, kInvalidChannel);
        tStatus st3;
        EXPECT_FALSE(f.controller.isCurrentChannelGangingReserved(ch, st3));
        EXPECT_EQ(st3.code, kInvalidChannel);
    }
}

// Construction and the copy a reservation works on: -52000 and nothing changed, no leak.
TEST(ChannelGanging, AllocationFailures) {
    for (uint64_t nth = 1;; ++nth) {
        ASSERT_LT(nth, 20u);
        const int64_t before = kal::sim::liveAllocations();
        bool failed = false;
        {
            RecordingUnganging unganging;
            tStatus st;
            kal::sim::FailAllocations fail(nth);
            ChannelGangingController controller(4, &unganging, st);
            failed = fail.triggered();
            if (failed) {
                EXPECT_EQ(st.code, -52000);
            }
        }
        EXPECT_EQ(kal::sim::liveAllocations(), before);
        if (!failed) break;
    }
    {
        kal::sim::FailKernelCall refuse("createMutex");
        RecordingUnganging unganging;
        tStatus st;
        ChannelGangingController controller(4, &unganging, st);
        EXPECT_EQ(st.code, -52000);
    }
    Fixture f;
    tStatus st;
    f.controller.reserveChannelsForGanging(0, 4, st);
    f.controller.unreserveChannelsForGanging(0, st);
    {
        kal::sim::FailAllocations fail(1);
        f.controller.reserveChannelsForGanging(2, 2, st);
    }
    EXPECT_EQ(st.code, -52000);
    EXPECT_TRUE(f.unganging.calls.empty());
    EXPECT_EQ(book(f.controller),
              (std::vector<Record>{{4, false, true}, {4, false, false}, {4, false, false}, {4, false, false}}));
}

}  // namespace
