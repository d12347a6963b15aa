// The INA231 chip map over a front-end accessor that keeps the chip's 16-bit registers: what reaches
// the chip, the accessor's failures, and an accessor bound late or replaced.
#include <gtest/gtest.h>

#include <vector>

#include "fakeChip.h"
#include "kzapal/protons/statusCodes.h"
#include "maps.h"

namespace {

using armtest::Access;
using armtest::R;
using armtest::W;
using kzmaps::FakeIna231;
using nKZAPALS100::tStatus;

struct Chip : ::testing::Test {
    FakeIna231 chip;
    kzvorn_regmaps::tIna231RegMap map{&chip};
    tStatus st;
    uint64_t get(uint32_t id) {
        uint64_t v = 0xDEAD;
        map.get(id, v, st, 0);
        return v;
    }
};

TEST_F(Chip, OnlyTheLowSixteenBitsReachTheChip) {
    map.set(0x80BB1955, 0xFFFFFFFF, st, 0);
    EXPECT_EQ(get(0x80BB1955), 0xFFFFFFFFu);
    map.write(0x80BB1955, 0xFFFFFFFF, true, st, 0);
    EXPECT_EQ(chip.chip[0], 0xFFFF);
    uint64_t v = 0;
    map.read(0x80BB1955, v, st, 0);
    EXPECT_EQ(v, 0xFFFFu);
    map.set(0x30BB1955, 9, st, 0);  // three bits: 9 keeps 1
    EXPECT_EQ(get(0x80BB1955) & 0x38, 0x08u);
    chip.chip[1] = 0x8123;
    map.read(0x40E2E837, v, st, 0);
    EXPECT_EQ(v, 0x8123u);
    EXPECT_EQ(st.code, 0);
    EXPECT_EQ(chip.log, (std::vector<Access>{W(0, 32, 0xFFFFFFFF), R(0, 32, 0xFFFF), R(1, 32, 0x8123)}));
}

TEST_F(Chip, WalksWriteTheFourWritableRegistersAndReadAllEight) {
    map.markDirtyRegMap();
    map.flushRegMap(false, st);
    EXPECT_EQ(chip.log, (std::vector<Access>{W(0, 32, 0), W(5, 32, 0), W(6, 32, 0), W(7, 32, 0)}));
    for (unsigned i = 1; i <= 4; ++i) EXPECT_TRUE(map.Ina231Measurement(i - 1).isDirty());
    chip.log.clear();
    map.refreshRegMap(st);
    EXPECT_EQ(chip.log.size(), 8u);
    EXPECT_EQ(chip.count(true), 0u);
    EXPECT_FALSE(map.Ina231Measurement(3).isDirty());
    arm::FieldType types[11];
    uint64_t masks[11];
    uint32_t count = 10;
    tStatus small;
    map.getRegisterFormat(0x8081E6E6, count, types, masks, small);
    EXPECT_EQ(small.code, nKZAPALS100::kStatusBufferTooSmall);
    count = 11;
    map.getRegisterFormat(0x8081E6E6, count, types, masks, st);
    const uint64_t expected[] = {0x1, 0x2, 0x4, 0x8, 0x10, 0x400, 0x800, 0x1000, 0x2000, 0x4000, 0x8000};
    ASSERT_EQ(count, 11u);
    for (int i = 0; i < 11; ++i) {
        EXPECT_EQ(types[i], arm::kFieldTypeBit);
        EXPECT_EQ(masks[i], expected[i]);
    }
    EXPECT_EQ(st.code, 0);
}

TEST_F(Chip, TheAccessorsFailuresReachTheCallerAndChangeNothing) {
    chip.chip[5] = 0x1111;
    map.refresh(0x80E12FD5, st, 0);
    map.set(0x80E12FD5, 0x2222, st, 0);
    chip.failReads = true;
    tStatus read;
    uint64_t v = 0;
    map.read(0x00E12FD5, v, read, 0);
    EXPECT_EQ(read.code, kzmaps::kReadNotDone);
    EXPECT_EQ(v, 0x2222u);  // the shadow, still dirty with the unwritten value
    EXPECT_TRUE(map.Ina231Calibration().isDirty());
    chip.failWrites = true;
    tStatus write;
    map.flush(0x80E12FD5, false, write, 0);
    EXPECT_EQ(write.code, kzmaps::kWindowNotReady);
    EXPECT_TRUE(map.Ina231Calibration().isDirty());
    EXPECT_EQ(chip.chip[5], 0x1111);
}

TEST_F(Chip, AnUnboundAccessorRefusesEveryAccessUntilOneIsBound) {
    kzvorn_regmaps::tIna231RegMap unbound(nullptr);
    unbound.set(0x80BB1955, 0x4127, st, 0);
    EXPECT_EQ(st.code, 0);
    tStatus write, walk;
    uint64_t v = 0;
    unbound.write(0x80BB1955, 0x4127, true, write, 0);
    EXPECT_EQ(write.code, nKZAPALS100::kStatusResourceNotFound);
    unbound.refreshRegMap(walk);
    EXPECT_EQ(walk.code, nKZAPALS100::kStatusResourceNotFound);
    EXPECT_TRUE(unbound.Ina231Config().isDirty());
    EXPECT_TRUE(chip.log.empty());
    unbound.setAccessor(&chip);
    FakeIna231 other;
    map.setAccessor(&other);
    unbound.flush(0x80BB1955, false, st, 0);
    map.read(0x80E2E837, v, st, 0);
    EXPECT_EQ(st.code, 0);
    EXPECT_EQ(chip.log, (std::vector<Access>{W(0, 32, 0x4127)}));
    EXPECT_EQ(other.log, (std::vector<Access>{R(1, 32, 0)}));
}

}  // namespace
