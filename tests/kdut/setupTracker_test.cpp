#include <gtest/gtest.h>

#include "kdut/setupTracker.h"
#include "kzvorn_shared/setupLevel.h"

using Tracker = kdut::SetupTracker<kzvorn_shared::SetupLevel>;

namespace {

// Runs the steps of levels 1 to 22 in order, failing at `failAt` with `code`.
Tracker bringUp(int32_t target, int32_t failAt = 0, int64_t code = 0) {
    Tracker tracker;
    tracker.reset(target);
    for (int32_t level = 1; level <= 22; ++level) {
        if (level == failAt && tracker.status.isNotFatal()) KZ_SET_CODE(tracker.status, code);
        tracker.completeStep(level);
    }
    return tracker;
}

}  // namespace

TEST(SetupTracker, EndsAtTheTargetOrTheFailure) {
    struct Case {
        int32_t target, failAt;
        int64_t code;
        int32_t reached;
        int64_t status;
    } cases[] = {
        {22, 0, 0, 22, 0},                                      // level 22 never sets -52010
        {5, 0, 0, 5, -52010},
        {1, 0, 0, 1, -52010},
        {0, 0, 0, 0, -52010},                                   // at once
        {22, 4, KZ_DEVICE_CODE(0xBFFA8078), 3, KZ_DEVICE_CODE(0xBFFA8078)},
        {3, 3, -52000, 2, -52000},
        {22, 6, 5, 22, 5},                                      // a warning does not stop it
    };
    for (const Case& c : cases) {
        Tracker tracker = bringUp(c.target, c.failAt, c.code);
        EXPECT_EQ(tracker.reached, c.reached) << c.target << "/" << c.failAt;
        EXPECT_EQ(tracker.status.code, c.status) << c.target << "/" << c.failAt;
    }
}

TEST(SetupTracker, AResetStartsAfreshAndKeepsTheStatusForm) {
    Tracker tracker = bringUp(4);
    tracker.status.size = nKZAPALS100::kExtendedStatusSize;
    tracker.reset(22);
    EXPECT_EQ(tracker.reached, 0);
    EXPECT_EQ(tracker.status.code, 0);
    EXPECT_EQ(tracker.status.size, nKZAPALS100::kExtendedStatusSize);
    tracker.completeStep(2);
    tracker.completeStep(1);
    EXPECT_EQ(tracker.reached, 2) << "a lower step after a higher one changes nothing";
}
