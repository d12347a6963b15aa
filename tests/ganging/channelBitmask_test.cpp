// The channel-mask helpers the requests share: each bad mask reported once, and no index or mask
// a request can send makes a shift undefined.
#include <gtest/gtest.h>

#include <vector>

#include "device/tolvaneDevice.h"
#include "kzvorn_shared/channelBitmask.h"

namespace {

using nKZAPALS100::tStatus;
using namespace kzvorn_shared;

constexpr int64_t kInvalidChannel = int64_t(int32_t(0xBFFA4303));

TEST(ChannelBitmask, MaskChecks) {
    struct Case {
        uint64_t mask;
        int64_t invalidBits, notEmpty;
    };
    const std::vector<Case> cases = {
        {0x0, 0, kInvalidChannel},   {0x1, 0, 0}, {0xF, 0, 0}, {0x6, 0, 0},
        {0x10, kInvalidChannel, 0},  {0x1F, kInvalidChannel, 0}, {1ull << 63, kInvalidChannel, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mask);
        tStatus bits, empty, both;
        checkInvalidBitsNotSet(c.mask, bits);
        checkBitmaskNotEmpty(c.mask, empty);
        EXPECT_EQ(bits.code, c.invalidBits);
        EXPECT_EQ(empty.code, c.notEmpty);
        // The full check reports a mask once; an earlier error is kept.
        checkInvalidBitsNotSet(c.mask, both);
        checkBitmaskNotEmpty(c.mask, both);
        EXPECT_EQ(both.code, c.invalidBits != 0 ? c.invalidBits : c.notEmpty);
        tStatus failed;
        KZ_SET_CODE(failed, -9);
        checkInvalidBitsNotSet(c.mask, failed);
        checkBitmaskNotEmpty(c.mask, failed);
        EXPECT_EQ(failed.code, -9);
    }
}

TEST(ChannelBitmask, IndexHelpers) {
    EXPECT_EQ(channelIndexToBitmask(0), 0x1u);
    EXPECT_EQ(channelIndexToBitmask(3), 0x8u);
    EXPECT_EQ(channelIndexToBitmask(63), 1ull << 63);
    EXPECT_EQ(channelIndexToBitmask(64), 0x1u);
    EXPECT_EQ(channelIndexToBitmask(255), 1ull << 63);
    struct Case {
        uint64_t mask;
        uint8_t highest, lowest;
        uint64_t withoutHighest;
    };
    for (const Case& c : std::vector<Case>{{0x0, 0, 0, 0x0},
                                           {0x1, 0, 0, 0x0},
                                           {0x5, 2, 0, 0x1},
                                           {0x6, 2, 1, 0x2},
                                           {0xF, 3, 0, 0x7},
                                           {(1ull << 63) | 0x10, 63, 4, 0x10}}) {
        SCOPED_TRACE(c.mask);
        EXPECT_EQ(highestChannelIndex(c.mask), c.highest);
        EXPECT_EQ(lowestChannelIndex(c.mask), c.lowest);
        EXPECT_EQ(removeHighestChannel(c.mask), c.withoutHighest);
    }
}

TEST(ChannelBitmask, FlagTriple) {
    EXPECT_EQ(FlagTriple().toBits(), 0u);
    EXPECT_EQ(FlagTriple(5).toBits(), 5u);
    EXPECT_EQ(FlagTriple(0xFFFFFFF8).toBits(), 0u);
    // Only a flag of exactly 1 counts as set.
    const FlagTriple stored(1, 2, 1);
    EXPECT_TRUE(stored.isFirstSet());
    EXPECT_FALSE(stored.isSecondSet());
    EXPECT_TRUE(stored.isThirdSet());
    EXPECT_EQ(stored.toBits(), 5u);
    EXPECT_NE(stored, FlagTriple(5));
    EXPECT_EQ(FlagTriple(1, 0, 1), FlagTriple(5));
    const FlagTriple merged(stored, FlagTriple::kKeep, 1, 0);
    EXPECT_EQ(merged, FlagTriple(1, 1, 0));
}

TEST(ChannelChecks, ChannelIndexOnTheFieldsFullWidth) {
    for (uint32_t channel : {0u, 3u}) {
        tStatus st;
        kzvorn_driver::TolvaneDevice::checkChannelIndex(channel, st);
        EXPECT_EQ(st.code, 0);
    }
    for (uint32_t channel : {4u, 0x100u, 0x103u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(channel);
        tStatus st;
        kzvorn_driver::TolvaneDevice::checkChannelIndex(channel, st);
        EXPECT_EQ(st.code, kInvalidChannel);
    }
    tStatus failed;
    KZ_SET_CODE(failed, -9);
    kzvorn_driver::TolvaneDevice::reportInvalidChannel(failed);
    EXPECT_EQ(failed.code, -9);
}

}  // namespace
