// One channel's calibration load: the exact write sequence, the choice of the stored record over
// image variants, where a failure leaves the channel, and two loads of one channel at once.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "calibrationFixture.h"
#include "device/statusCodes.h"

namespace caltest {
namespace {

namespace r = board::record;
constexpr int64_t kOutOfRange = kzvorn_driver::kStatusArgumentOutOfRange;

std::vector<Access> prefix(const std::vector<Access>& writes, size_t count) {
    return std::vector<Access>(writes.begin(), writes.begin() + std::min(count, writes.size()));
}

TEST(ChannelCalibrationLoader, WritesTheWholeSequenceOfTheSelfRecord) {
    // Two charge-balance ranges without a stored offset (zero, and less than one register step) and
    // a negative predictive gain.
    board::FlashImage image = board::FlashImage::standard();
    image.setCoefficient(selfRecord(1), r::kChargeBalanceOffsets, 1, stored(0))
        .setCoefficient(selfRecord(1), r::kChargeBalanceOffsets, 2, stored(pow2(63) - 1))
        .setCoefficient(selfRecord(1), r::kPredictiveGains, 48, stored(-5 * pow2(60)));
    LoaderFixture f(image);
    tStatus status;
    f.loaders[1]->loadCalibrationToFirmware(true, status);
    EXPECT_EQ(status.getCode(), 0);
    const std::vector<Access> writes = f.frontEnd.take();
    EXPECT_EQ(writes, expectedLoad(image, selfRecord(1), 1));
    // 12 + 2 voltage, 18 current data writes each with a pointer write, 3 for the 3 A range, two
    // charge-balance offsets, 49 predictive pairs.
    ASSERT_EQ(writes.size(), 24u + 2 + 36 + 3 + 2 + 98);
    EXPECT_EQ(writes[65].address, channelBase(1) + 0x58);
    EXPECT_EQ(writes[66].address, channelBase(1) + 0x5B);
    EXPECT_EQ(writes[67], armtest::W(channelBase(1) + 0x115, 32, 9));
    EXPECT_EQ(writes[writes.size() - 2], armtest::W(channelBase(1) + 0x115, 32, 63));
    EXPECT_EQ(writes.back(), armtest::W(channelBase(1) + 0x114, 32, 0xFFFFFFFB));
}

TEST(ChannelCalibrationLoader, AReloadWritesEveryPredictivePairAgain) {
    LoaderFixture f;
    tStatus status;
    f.loaders[0]->loadCalibrationToFirmware(true, status);
    f.frontEnd.take();
    f.loaders[0]->loadCalibrationToFirmware(true, status);
    EXPECT_EQ(status.getCode(), 0);
    // The same values again: the charge-balance offsets are unchanged and not written, everything
    // else is.
    std::vector<Access> expected = expectedLoad(f.image, selfRecord(0), 0);
    expected.erase(expected.begin() + 65, expected.begin() + 69);
    EXPECT_EQ(f.frontEnd.take(), expected);
}

struct ChoiceCase {
    const char* what;
    std::function<void(board::FlashImage&)> spoil;
    bool validate;
    const char* loaded;  // kind of the record loaded, null for none
};

const ChoiceCase kChoices[] = {
    {"standard image", [](board::FlashImage&) {}, true, "Self"},
    {"bad self checksum", [](board::FlashImage& i) { i.corruptChecksum(record("Self", 2)); }, true, "External"},
    {"self written by a newer format it can be read as",
     [](board::FlashImage& i) { i.setVersions(record("Self", 2), 0x01000005, 0x01000004); }, true, "Self"},
    {"self readable only by a newer driver",
     [](board::FlashImage& i) { i.setVersions(record("Self", 2), 0x01000005, 0x01000005); }, true, "External"},
    {"self too old",
     [](board::FlashImage& i) { i.setVersions(record("Self", 2), 0x01000003, 0x01000003); }, true, "External"},
    {"self and external bad",
     [](board::FlashImage& i) {
         i.corruptChecksum(record("Self", 2)).breakVersion(record("External", 2));
     },
     true, "Factory"},
    {"only default good",
     [](board::FlashImage& i) {
         i.corruptChecksum(record("Self", 2)).corruptChecksum(record("External", 2)).erase(record("Factory", 2));
     },
     true, "Default"},
    {"all four bad",
     [](board::FlashImage& i) {
         for (const char* kind : {"Self", "External", "Factory", "Default"}) i.corruptChecksum(record(kind, 2));
     },
     true, nullptr},
    {"bad self checksum without validation", [](board::FlashImage& i) { i.corruptChecksum(record("Self", 2)); },
     false, "Self"},
    {"self from a newer driver without validation",
     [](board::FlashImage& i) { i.breakVersion(record("Self", 2)); }, false, "Self"},
};

TEST(ChannelCalibrationLoader, ChoosesTheFirstUsableRecord) {
    for (const ChoiceCase& c : kChoices) {
        SCOPED_TRACE(c.what);
        board::FlashImage image = board::FlashImage::standard();
        c.spoil(image);
        LoaderFixture f(image);
        tStatus status;
        f.loaders[2]->loadCalibrationToFirmware(c.validate, status);
        EXPECT_EQ(status.getCode(), 0);
        EXPECT_EQ(f.frontEnd.take(),
                  c.loaded == nullptr ? std::vector<Access>{} : expectedLoad(image, record(c.loaded, 2), 2));
    }
}

struct FailureCase {
    const char* what;
    uint32_t field;
    uint32_t index;
    __int128 value;
    size_t writesBefore;  // of the complete sequence
};

const FailureCase kFailures[] = {
    {"voltage gain of exactly 2^55", r::kVoltageGain, 1, pow2(55), 8},
    {"voltage offset sum that wraps", r::kVoltageOffset, 0, kMax128, 4},
    {"negative current gain", r::kLowCurrentGain, 2, -pow2(31), 26 + 12},
    {"common-mode gain of 2^56", r::kLowCurrentCmcGain, 0, pow2(56), 26 + 4},
    {"3 A offset sum below -2^60", r::kThreeAmpOffset, 0, -pow2(61), 26 + 36 + 1},
    {"charge-balance offset of 2^77", r::kChargeBalanceOffsets, 3, pow2(77), 65 + 3},
    {"negative charge-balance offset", r::kChargeBalanceOffsets, 0, -pow2(63), 65},
    {"last predictive gain of 2^91", r::kPredictiveGains, 48, pow2(91), 69 + 96},
};

// A bad coefficient ends the load where it stands: what was written keeps its new value.
TEST(ChannelCalibrationLoader, ABadCoefficientEndsTheLoadThere) {
    for (const FailureCase& c : kFailures) {
        SCOPED_TRACE(c.what);
        board::FlashImage image = board::FlashImage::standard();
        image.setCoefficient(selfRecord(3), c.field, c.index, stored(c.value));
        if (c.field == r::kVoltageOffset) {
            image.setCoefficient(selfRecord(3), r::kResidualLocalSenseOffset, c.index, stored(kMax128));
        }
        LoaderFixture f(image);
        tStatus status;
        f.loaders[3]->loadCalibrationToFirmware(true, status);
        EXPECT_EQ(status.getCode(), kOutOfRange);
        EXPECT_EQ(f.frontEnd.take(), prefix(expectedLoad(board::FlashImage::standard(), selfRecord(3), 3),
                                            c.writesBefore));
    }
}

TEST(ChannelCalibrationLoader, APortFailureEndsTheLoad) {
    LoaderFixture f;
    f.frontEnd.failAt = channelBase(0) + 0x68;
    tStatus status;
    f.loaders[0]->loadCalibrationToFirmware(true, status);
    EXPECT_EQ(status.getCode(), f.frontEnd.failure);
    EXPECT_EQ(f.frontEnd.take(), prefix(expectedLoad(f.image, selfRecord(0), 0), 26 + 2));
}

TEST(ChannelCalibrationLoader, AnEarlierErrorTouchesNothing) {
    LoaderFixture f;
    tStatus status;
    status.code = -52007;
    f.loaders[0]->loadCalibrationToFirmware(true, status);
    f.loaders[0]->loadCalibrationToFirmware(false, status);
    EXPECT_EQ(status.getCode(), -52007);
    EXPECT_TRUE(f.frontEnd.take().empty());
}

// A reload of one channel from the self record while another load of it writes the external
// record: each load holds the channel for its whole sequence, so the channel ends with one record
// complete, never a data write behind the other load's pointer.
TEST(ChannelCalibrationLoader, TwoLoadsOfOneChannelDoNotInterleave) {
    const board::FlashImage image = board::FlashImage::standard();
    auto complete = [&](bool self) {
        LoaderFixture one(image);
        tStatus status;
        auto& group = *one.maps.channelGroups[0];
        one.loaders[0]->writeCalibration(self ? *group.selfCalibration : *group.externalCalibration, status);
        EXPECT_EQ(status.getCode(), 0);
        return one.frontEnd.state();
    };
    const auto selfLoaded = complete(true);
    const auto externalLoaded = complete(false);

    // Each round starts from an empty channel with both loads let go at once.
    for (int round = 0; round < 5; ++round) {
        LoaderFixture f(image);
        f.frontEnd.yieldAfterWrites = true;
        std::atomic<int> ready{0};
        auto load = [&](bool self) {
            ++ready;
            while (ready.load() < 2) std::this_thread::yield();
            tStatus status;
            if (self) {
                f.loaders[0]->loadCalibrationToFirmware(false, status);
            } else {
                f.loaders[0]->writeCalibration(*f.maps.channelGroups[0]->externalCalibration, status);
            }
            EXPECT_EQ(status.getCode(), 0);
        };
        std::thread other(load, false);
        load(true);
        other.join();
        const auto state = f.frontEnd.state();
        EXPECT_TRUE(state == selfLoaded || state == externalLoaded) << "round " << round;
    }
}

}  // namespace
}  // namespace caltest
