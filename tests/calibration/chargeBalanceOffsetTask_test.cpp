// The step after a complete bring-up: which ranges it measures, which record decides, and how a
// failed measurement ends it.
#include <gtest/gtest.h>

#include <functional>

#include "calibrationFixture.h"
#include "setupTeardownTask/chargeBalanceOffsetTask.h"

namespace caltest {
namespace {

namespace r = board::record;
using Codes = std::vector<std::vector<uint8_t>>;

void setOffset(board::FlashImage& image, const std::string& name, uint32_t range, __int128 value) {
    image.setCoefficient(name, r::kChargeBalanceOffsets, range, stored(value));
}

struct TaskCase {
    const char* what;
    std::function<void(board::FlashImage&)> change;
    Codes measured;
};

const TaskCase kTasks[] = {
    {"every range stored", [](board::FlashImage&) {}, {{}, {}, {}, {}}},
    {"range 2 of channel 1 zero", [](board::FlashImage& i) { setOffset(i, selfRecord(1), 2, 0); }, {{}, {4}, {}, {}}},
    {"ranges 0 and 3 of channel 2 below one step",
     [](board::FlashImage& i) {
         setOffset(i, selfRecord(2), 0, 1);
         setOffset(i, selfRecord(2), 3, pow2(63) - 1);
     },
     {{}, {}, {1, 8}, {}}},
    {"an offset of exactly one step is loaded, not measured",
     [](board::FlashImage& i) { setOffset(i, selfRecord(0), 2, pow2(63)); }, {{}, {}, {}, {}}},
    {"a bad self record lets the external one decide",
     [](board::FlashImage& i) {
         setOffset(i, selfRecord(3), 2, 0);
         setOffset(i, record("External", 3), 1, 0);
         i.corruptChecksum(selfRecord(3));
     },
     {{}, {}, {}, {2}}},
    {"no usable record: nothing is measured",
     [](board::FlashImage& i) {
         for (const char* kind : {"Default", "Factory", "External", "Self"}) {
             setOffset(i, record(kind, 1), 0, 0);
             i.breakVersion(record(kind, 1));
         }
     },
     {{}, {}, {}, {}}},
};

TEST(ChargeBalanceOffsetTask, MeasuresTheRangesTheChosenRecordLeavesUncalibrated) {
    for (const TaskCase& c : kTasks) {
        SCOPED_TRACE(c.what);
        board::FlashImage image = board::FlashImage::standard();
        c.change(image);
        LoaderFixture f(image);
        tStatus status;
        kzvorn_driver::ChargeBalanceOffsetTask task(f.maps, f, status);
        EXPECT_EQ(status.getCode(), 0);
        EXPECT_EQ(f.calculated(), c.measured);
        // Only the controllers' measurements touch the channels; the records stay as stored.
        EXPECT_TRUE(f.frontEnd.take().empty());
        EXPECT_EQ(f.device(), std::vector<uint8_t>(image.bytes().begin(), image.bytes().end()));
    }
}

TEST(ChargeBalanceOffsetTask, AFailedMeasurementEndsTheStep) {
    board::FlashImage image = board::FlashImage::standard();
    for (uint32_t c = 0; c < kChannels; ++c) {
        setOffset(image, selfRecord(c), 1, 0);
        setOffset(image, selfRecord(c), 3, 0);
    }
    LoaderFixture f(image);
    constexpr int64_t kBalancerFailed = KZ_DEVICE_CODE(0xBFFA4695);
    f.chargeBalance[1]->failure = kBalancerFailed;
    tStatus status;
    kzvorn_driver::ChargeBalanceOffsetTask task(f.maps, f, status);
    EXPECT_EQ(status.getCode(), kBalancerFailed);
    EXPECT_EQ(f.calculated(), (Codes{{2, 8}, {2}, {}, {}}));
}

TEST(ChargeBalanceOffsetTask, AStatusWithAnErrorRunsNothing) {
    board::FlashImage image = board::FlashImage::standard();
    setOffset(image, selfRecord(0), 0, 0);
    LoaderFixture f(image);
    // A bring-up stopped below level 22 ends with -52010.
    tStatus status;
    status.code = -52010;
    kzvorn_driver::ChargeBalanceOffsetTask task(f.maps, f, status);
    EXPECT_EQ(status.getCode(), -52010);
    EXPECT_EQ(f.calculated(), (Codes{{}, {}, {}, {}}));
}

}  // namespace
}  // namespace caltest
