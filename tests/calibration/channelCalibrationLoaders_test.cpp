// Setup level 15's loaders over the isolated FPGA map: every channel in order, then the digipot;
// where a failure stops the load; the mask and validation of a reload; allocation failures.
#include <gtest/gtest.h>

#include "calibrationFixture.h"
#include "device/statusCodes.h"
#include "kal/sim/faults.h"
#include "setupTeardownTask/channelCalibrationLoaders.h"

namespace caltest {
namespace {

namespace r = board::record;
using kzvorn_driver::ChannelCalibrationLoaders;
constexpr uint32_t kDigipot = 0x10;

std::vector<Access> loadsOf(const board::FlashImage& image, std::initializer_list<uint32_t> channels,
                            const char* kind = "Self") {
    std::vector<Access> writes;
    for (uint32_t c : channels) {
        const std::vector<Access> channel = expectedLoad(image, record(kind, c), c);
        writes.insert(writes.end(), channel.begin(), channel.end());
    }
    return writes;
}
std::vector<Access> plus(std::vector<Access> writes, uint32_t digipot) {
    writes.push_back(armtest::W(kDigipot, 32, digipot));
    return writes;
}

TEST(ChannelCalibrationLoaders, Level15LoadsEveryChannelThenTheDigipot) {
    LoaderFixture f;
    tStatus status;
    ChannelCalibrationLoaders loaders(&f.isoFpga, &f, &f.maps, status);
    EXPECT_EQ(status.getCode(), 0);
    EXPECT_EQ(f.frontEnd.take(), plus(loadsOf(f.image, {0, 1, 2, 3}), board::factory::kCommonModeCurrentDigipot));
}

TEST(ChannelCalibrationLoaders, AChannelWithoutAUsableRecordIsSkipped) {
    board::FlashImage image = board::FlashImage::standard();
    for (const char* kind : {"Default", "Factory", "External", "Self"}) image.corruptChecksum(record(kind, 1));
    LoaderFixture f(image);
    tStatus status;
    ChannelCalibrationLoaders loaders(&f.isoFpga, &f, &f.maps, status);
    EXPECT_EQ(status.getCode(), 0);
    EXPECT_EQ(f.frontEnd.take(), plus(loadsOf(image, {0, 2, 3}), board::factory::kCommonModeCurrentDigipot));
}

TEST(ChannelCalibrationLoaders, ABadCoefficientStopsEveryLaterWrite) {
    board::FlashImage image = board::FlashImage::standard();
    image.setCoefficient(selfRecord(1), r::kLowCurrentGain, 0, stored(pow2(55)));
    LoaderFixture f(image);
    tStatus status;
    ChannelCalibrationLoaders loaders(&f.isoFpga, &f, &f.maps, status);
    EXPECT_EQ(status.getCode(), kzvorn_driver::kStatusArgumentOutOfRange);
    std::vector<Access> expected = loadsOf(board::FlashImage::standard(), {0});
    const std::vector<Access> channel1 = expectedLoad(board::FlashImage::standard(), selfRecord(1), 1);
    expected.insert(expected.end(), channel1.begin(), channel1.begin() + 26);
    EXPECT_EQ(f.frontEnd.take(), expected);
}

TEST(ChannelCalibrationLoaders, ReloadsTheMaskAndForcesTheDigipot) {
    board::FlashImage image = board::FlashImage::standard();
    image.corruptChecksum(selfRecord(2)).corruptChecksum("Manufacturing");
    LoaderFixture f(image);
    tStatus status;
    ChannelCalibrationLoaders loaders(&f.isoFpga, &f, &f.maps, status);
    ASSERT_EQ(status.getCode(), 0);
    // With validation the external record of channel 2 and the middle digipot setting.
    std::vector<Access> level15 = loadsOf(image, {0, 1});
    const std::vector<Access> external = loadsOf(image, {2}, "External");
    level15.insert(level15.end(), external.begin(), external.end());
    const std::vector<Access> channel3 = loadsOf(image, {3});
    level15.insert(level15.end(), channel3.begin(), channel3.end());
    EXPECT_EQ(f.frontEnd.take(), plus(level15, 128));
    // Without validation: the self record whatever its checksum, and the stored digipot byte.
    // Offsets already in the charge-balance registers are not written again.
    loaders.loadCalibrationToFirmware(0x4, false, status);
    EXPECT_EQ(status.getCode(), 0);
    EXPECT_EQ(f.frontEnd.take(), plus(loadsOf(image, {2}), board::factory::kCommonModeCurrentDigipot));
    loaders.loadCalibrationToFirmware(0x1, true, status);
    std::vector<Access> reload = loadsOf(image, {0});
    reload.erase(reload.begin() + 65, reload.begin() + 69);
    EXPECT_EQ(f.frontEnd.take(), plus(reload, 128));
    // The same digipot setting again is written again.
    loaders.loadCalibrationToFirmware(0x1, true, status);
    EXPECT_EQ(f.frontEnd.take().back(), armtest::W(kDigipot, 32, 128));
}

TEST(ChannelCalibrationLoaders, APortFailureLeavesLaterChannelsAndTheDigipot) {
    LoaderFixture f;
    f.frontEnd.failAt = channelBase(2) + 0x114;
    tStatus status;
    ChannelCalibrationLoaders loaders(&f.isoFpga, &f, &f.maps, status);
    EXPECT_EQ(status.getCode(), f.frontEnd.failure);
    std::vector<Access> expected = loadsOf(f.image, {0, 1, 2});
    expected.resize(expected.size() - 96);  // channel 2 up to its first predictive gain
    EXPECT_EQ(f.frontEnd.take(), expected);
}

// Teardown releases the loaders without a register write.
TEST(ChannelCalibrationLoaders, ReleasingThemWritesNothing) {
    LoaderFixture f;
    tStatus status;
    auto* loaders = new ChannelCalibrationLoaders(&f.isoFpga, &f, &f.maps, status);
    f.frontEnd.take();
    delete loaders;
    EXPECT_TRUE(f.frontEnd.take().empty());
}

// Every allocation of level 15 failed in turn: -52000 with nothing loaded, or a complete load;
// nothing leaks either way.
TEST(ChannelCalibrationLoaders, EachAllocationFailureIsReportedWithoutALeak) {
    const board::FlashImage image = board::FlashImage::standard();
    const std::vector<Access> complete = plus(loadsOf(image, {0, 1, 2, 3}), board::factory::kCommonModeCurrentDigipot);
    for (uint64_t nth = 1;; ++nth) {
        SCOPED_TRACE(nth);
        LoaderFixture f(image);
        const int64_t before = kal::sim::liveAllocations();
        tStatus status;
        bool failed = false;
        {
            kal::sim::FailAllocations fail(nth);
            ChannelCalibrationLoaders loaders(&f.isoFpga, &f, &f.maps, status);
            failed = fail.triggered();
        }
        EXPECT_EQ(kal::sim::liveAllocations(), before);
        if (!failed) {
            EXPECT_EQ(status.getCode(), 0);
            break;
        }
        EXPECT_EQ(status.getCode(), nKZAPALS100::kStatusMemoryFull);
        const std::vector<Access> writes = f.frontEnd.take();
        EXPECT_LE(writes.size(), complete.size());
        EXPECT_TRUE(std::equal(writes.begin(), writes.end(), complete.begin()));
    }
}

}  // namespace
}  // namespace caltest
