// The register-map engine over a small map that has every register kind, under both rule sets.
#include <gtest/gtest.h>

#include <vector>

#include "quolinTools/armgen/registerMapDeclaration.h"
#include "armgen/bench.h"
#include "kzapal/protons/statusCodes.h"

using arm::Kind;
using armtest::R;
using armtest::W;
using nKZAPALS100::tStatus;

namespace {

constexpr int64_t kBadId = nKZAPALS100::kStatusBadParameter;
constexpr int64_t kOutside = nKZAPALS100::kStatusResourceNotFound;

// clang-format off
#define KZ_SMALL_REGISTERS(R, TYPE, REG, ARRAY, F, FLAG) \
    /* register   offset width kind              initial keep        fields */ \
    R(Rw,          0x00, 32,   RW,               0,      ALL,        F(_, 7, 0) FLAG(_, 8) F(_, 9) F(_, 15, 12) F(_, 31, 16)) \
    R(Strobed,     0x04, 16,   WO,               0,      0xFFDF,     F(_, 2, 0) FLAG(_, 5) F(_, 9, 8)) \
    R(Status,      0x08, 32,   RO,               0,      ALL,        F(_, 11, 0) F(_, 12) F(_, 31, 16)) \
    R(Command,     0x0C, 32,   CMD,              0,      ALL,        FLAG(_, 0) FLAG(_, 1) F(_, 24) FLAG(_, 25)) \
    R(Count,       0x10, 32,   CMD_WO,           0,      ALL,        F(_, 31, 0)) \
    R(ReadCount,   0x10, 32,   CMD_RO,           0,      ALL,        F(_, 15, 0) F(_, 31, 16)) \
    /* two views of one offset */ \
    R(View,        0x14, 32,   RW,               0,      ALL,        F(_, 27, 0) F(_, 31, 28)) \
    R(View2,       0x14, 32,   RW | SECOND_VIEW, 0,      ALL,        F(_, 21, 12)) \
    R(Byte,        0x18,  8,   RW,               0x5A,   ALL,        F(_, 7, 0)) \
    R(Pending,     0x1C, 32,   PENDING,          0,      0xFFFFFFF8, F(_, 0) F(_, 1) F(_, 2) F(_, 15, 8))
// clang-format on
namespace nSmall {
ARM_DECLARE_REGISTERS(KZ_SMALL_REGISTERS, ::arm::WindowedTableMap)
}  // namespace nSmall
constexpr const auto& kSmall = nSmall::kRows;
static_assert(arm::countFields(kSmall) == 26, "field count of the test table");

constexpr arm::MapDesc kFamily = arm::mapDesc(kSmall, "1.0", "test/Small", arm::kFamilyPolicy);
constexpr arm::MapDesc kBridge = arm::mapDesc(kSmall, "1.0", "test/Small", arm::kBridgePolicy);

using SmallMap = armtest::Bench;

struct Fixture : ::testing::Test {
    armtest::FakeAccess hw;
    SmallMap map{kBridge, &hw};
    tStatus st;
    uint64_t get(uint32_t id) {
        uint64_t v = 0xDEAD;
        map.get(id, v, st);
        return v;
    }
};

TEST(Identifiers, LowestBitIsReversedOverSixBits) {
    const std::pair<uint32_t, uint32_t> cases[] = {{0, 0x00}, {1, 0x20}, {2, 0x10}, {4, 0x08}, {5, 0x28},
                                                   {7, 0x38}, {8, 0x04}, {16, 0x02}, {31, 0x3E}};
    for (auto [low, code] : cases) EXPECT_EQ(arm::reverse6(low), code) << low;
    EXPECT_EQ(arm::fieldId(kSmall[2], kSmall[2].fields.field[1]), 0x4C000008u);
    EXPECT_EQ(arm::wholeId(kSmall[2]), 0xC0000008u);
    EXPECT_EQ(arm::wholeId(kSmall[0]), 0x80000000u);
}

// clang-format off
#define KZ_FORMS_REGISTERS(R, TYPE, REG, ARRAY, F, FLAG) \
    R(Forms, 0x0, 32, RW, 0, ALL, F(_, 2, 0) FLAG(_, 5) FLAG(_, 8) FLAG(_, 9) FLAG(_, 10) F(Twelve, 12) F(_, 31, 16)) \
    R(Pairs, 0x4, 32, RW, 0, ALL, ARM_SIXTEEN_2_BIT_FIELDS(F))
// clang-format on
namespace nForms {
ARM_DECLARE_REGISTERS(KZ_FORMS_REGISTERS, ::arm::TableMap)
}  // namespace nForms

TEST(FieldDeclarations, EveryFormGivesItsBitsAndMerge) {
    constexpr arm::FieldList l = nForms::kTypeOf_tForms.fields;
    static_assert(l.count == 7, "seven fields");
    const arm::FieldDesc expected[] = {{0, 3, arm::Merge::kLowBits}, {5, 1, arm::Merge::kFlag},
                                       {8, 1, arm::Merge::kFlag},    {9, 1, arm::Merge::kFlag},
                                       {10, 1, arm::Merge::kFlag},   {12, 1, arm::Merge::kLowBits},
                                       {16, 16, arm::Merge::kLowBits}};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(l.field[i].low, expected[i].low) << i;
        EXPECT_EQ(l.field[i].width, expected[i].width) << i;
        EXPECT_EQ(l.field[i].merge, expected[i].merge) << i;
    }
    // Unnamed fields take their names from their bits; the accessors know their place.
    using tForms = nForms::tRegisterSet::tForms;
    static_assert(tForms::kBits2_0.low == 0 && tForms::kBit10.low == 10 && tForms::kTwelve.low == 12 &&
                      tForms::kBits31_16.width == 16,
                  "names and places");
    constexpr arm::FieldList pairs = nForms::kTypeOf_tPairs.fields;
    static_assert(pairs.count == 16 && pairs.field[15].low == 30 && pairs.field[15].width == 2, "16 pairs");
}

TEST_F(Fixture, SetNarrowsToTheFieldAndFlagsTakeAnyNonZero) {
    struct Case { uint32_t id; uint64_t value; uint64_t shadow; };
    const Case cases[] = {
        {0x00000000, 0x1FF, 0x000000FF},  // 8-bit number keeps the low bits
        {0x00000000, 0x100, 0x00000000},
        {0x04000000, 2, 0x00000100},      // flag: any non-zero sets it
        {0x24000000, 2, 0x00000000},      // one-bit number: bit 0 of the value
        {0x24000000, 3, 0x00000200},
        {0x0C000000, 0x1F, 0x0000F000},
        {0x80000000, 0x1234567890ull, 0x34567890},  // whole register: the register's width
        {0xBF000000, 0x1, 0x1},           // bits 24-29 ignored on a whole identifier
    };
    for (const Case& c : cases) {
        SmallMap m{kBridge, &hw};
        tStatus s;
        m.set(c.id, c.value, s);
        EXPECT_EQ(s.code, 0) << std::hex << c.id;
        EXPECT_EQ(m.state(0).shadow, c.shadow) << std::hex << c.id;
    }
    EXPECT_TRUE(hw.log.empty());
}

TEST_F(Fixture, UnchangedSetStaysCleanAndUnforcedWriteThenDoesNothing) {
    map.set(0x80000018, 0x5A, st);  // the initial shadow
    EXPECT_FALSE(map.state(8).dirty);
    map.write(0x80000018, 0x5A, false, st);
    EXPECT_TRUE(hw.log.empty());
    map.write(0x80000018, 0x5A, true, st);
    EXPECT_EQ(hw.log, (std::vector<armtest::Access>{W(0x18, 8, 0x5A)}));
    map.set(0x00000018, 0x1A5, st);
    EXPECT_TRUE(map.state(8).dirty);
    map.write(0x00000018, 0xA5, false, st);  // unchanged but dirty: written
    EXPECT_EQ(hw.log.back(), W(0x18, 8, 0xA5));
    EXPECT_FALSE(map.state(8).dirty);
    EXPECT_EQ(st.code, 0);
}

TEST_F(Fixture, SetThenRefreshTakesTheHardwareValueAndIsClean) {
    hw.memory[0x00] = 0xCAFE0011;
    map.set(0x00000000, 0x22, st);
    map.refresh(0x80000000, st);
    EXPECT_EQ(get(0x80000000), 0xCAFE0011u);
    EXPECT_FALSE(map.state(0).dirty);
    EXPECT_EQ(hw.log, (std::vector<armtest::Access>{R(0x00, 32, 0xCAFE0011)}));
}

TEST_F(Fixture, UnshadowedCommandWritesTheFieldAloneEveryTime) {
    map.write(0x06000000 | 0x0C, 1, false, st);  // bit 24, a one-bit number
    map.write(0x06000000 | 0x0C, 1, false, st);
    map.write(0x2600000C, 7, false, st);  // bit 25, a flag
    map.write(0x2600000C, 0, false, st);
    map.write(0x8000000C, 0x1234567890ull, false, st);
    EXPECT_EQ(hw.writes(), (std::vector<armtest::Access>{W(0x0C, 32, 0x01000000), W(0x0C, 32, 0x01000000),
                                                          W(0x0C, 32, 0x02000000), W(0x0C, 32, 0),
                                                          W(0x0C, 32, 0x34567890)}));
    EXPECT_EQ(st.code, 0);
    hw.log.clear();
    map.flush(0x8000000C, true, st);
    EXPECT_EQ(st.code, 0);
    EXPECT_TRUE(hw.log.empty());
    for (auto op : {0, 1, 2}) {
        tStatus s;
        uint64_t v = 5;
        if (op == 0) map.get(0x8000000C, v, s);
        if (op == 1) map.set(0x8000000C, 1, s);
        if (op == 2) map.refresh(0x8000000C, s);
        EXPECT_EQ(s.code, kBadId) << op;
    }
    hw.memory[0x10] = 0xABCD1234;
    uint64_t v = 0;
    map.read(0x42000010, v, st);  // the read side of a shared offset
    EXPECT_EQ(v, 0xABCDu);
    EXPECT_TRUE(hw.log.size() == 1);
}

TEST_F(Fixture, SidesOfASharedOffsetAcceptOnlyTheirOperations) {
    uint64_t v = 7;
    map.read(0x00000010, v, st);  // the write side cannot be read
    EXPECT_EQ(st.code, kBadId);
    EXPECT_EQ(v, 0u);  // the bridge rule stores 0
    tStatus s2;
    map.write(0x40000010, 1, false, s2);
    EXPECT_EQ(s2.code, kBadId);
    tStatus s3;
    map.set(0xC0000008, 1, s3);  // read-only
    EXPECT_EQ(s3.code, kBadId);
    tStatus s4;
    map.read(0x00000004, v, s4);  // write-only
    EXPECT_EQ(s4.code, kBadId);
    EXPECT_TRUE(hw.log.empty());
}

TEST_F(Fixture, FormatReplyRespectsCapacityAndUnknownRegisters) {
    arm::FieldType types[8];
    uint64_t masks[8];
    uint32_t count = 5;
    map.getRegisterFormat(0x24000000, count, types, masks, st);  // a field id selects its register
    EXPECT_EQ(st.code, 0);
    ASSERT_EQ(count, 5u);
    const arm::FieldType expectedTypes[] = {arm::kFieldTypeUpTo8Bits, arm::kFieldTypeBit,
                                            arm::kFieldTypeBit, arm::kFieldTypeUpTo8Bits,
                                            arm::kFieldTypeUpTo16Bits};
    const uint64_t expectedMasks[] = {0xFF, 0x100, 0x200, 0xF000, 0xFFFF0000};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(types[i], expectedTypes[i]);
        EXPECT_EQ(masks[i], expectedMasks[i]);
    }
    count = 4;
    masks[0] = 0x77;
    map.getRegisterFormat(0x80000000, count, types, masks, st);
    EXPECT_EQ(st.code, nKZAPALS100::kStatusBufferTooSmall);
    EXPECT_EQ(count, 4u);
    EXPECT_EQ(masks[0], 0x77u);
    tStatus s;
    count = 8;
    map.getRegisterFormat(0x80000020, count, types, masks, s);
    EXPECT_EQ(s.code, nKZAPALS100::kStatusFeatureNotSupported);
    EXPECT_EQ(count, 0u);
    tStatus s2;
    count = 8;
    map.getRegisterFormat(0x40000000, count, types, masks, s2);  // the read side of a write register
    EXPECT_EQ(s2.code, nKZAPALS100::kStatusFeatureNotSupported);
}

TEST_F(Fixture, AnIncomingErrorMakesEveryOperationANoOp) {
    map.markDirtyRegMap();
    tStatus s;
    KZ_SET_CODE(s, -7);
    uint64_t v = 0x1234;
    uint32_t count = 9;
    arm::FieldType types[1];
    uint64_t masks[1];
    map.get(0x80000000, v, s);
    map.set(0x80000000, 1, s);
    map.read(0x80000000, v, s);
    map.read(0x99999999, v, s);
    map.write(0x80000000, 1, true, s);
    map.flush(0x80000000, true, s);
    map.refresh(0x80000000, s);
    map.getRegisterFormat(0x80000000, count, types, masks, s);
    map.flushRegMap(true, s);
    map.refreshRegMap(s);
    EXPECT_EQ(s.code, -7);
    EXPECT_EQ(v, 0x1234u);
    EXPECT_EQ(count, 9u);
    EXPECT_EQ(map.state(0).shadow, 0u);
    EXPECT_TRUE(hw.log.empty());
    // A warning does not stop anything.
    tStatus w;
    KZ_SET_CODE(w, 5);
    map.write(0x80000000, 3, false, w);
    EXPECT_EQ(hw.writes().size(), 1u);
    EXPECT_EQ(w.code, 5);
}

TEST_F(Fixture, MarkDirtyThenTwoFlushesWritesEachShadowedWritableRegisterOnce) {
    map.markDirtyRegMap();
    map.flushRegMap(false, st);
    EXPECT_EQ(hw.writes(), (std::vector<armtest::Access>{W(0x00, 32, 0), W(0x04, 16, 0), W(0x14, 32, 0),
                                                          W(0x14, 32, 0), W(0x18, 8, 0x5A), W(0x1C, 32, 0)}));
    EXPECT_TRUE(map.state(2).dirty);  // the read-only register keeps its flag
    hw.log.clear();
    map.flushRegMap(false, st);
    EXPECT_TRUE(hw.log.empty());
    EXPECT_EQ(st.code, 0);
}

TEST_F(Fixture, StrobeBitsGoOutOnceAndLeaveTheShadow) {
    map.write(0x80000004, 0xFFFF, false, st);
    EXPECT_EQ(map.state(1).shadow, 0xFFDFu);
    EXPECT_FALSE(map.state(1).dirty);
    map.write(0x80000004, 0xFFFF, false, st);  // differs from the kept shadow: written again
    map.flush(0x80000004, true, st);
    EXPECT_EQ(hw.writes(), (std::vector<armtest::Access>{W(0x04, 16, 0xFFFF), W(0x04, 16, 0xFFFF),
                                                          W(0x04, 16, 0xFFDF)}));
    hw.log.clear();
    SmallMap m{kBridge, &hw};
    m.write(0x00000004, 5, false, st);
    m.write(0x28000004, 1, false, st);  // the strobe: the rest of the shadow goes with it
    EXPECT_EQ(hw.writes(), (std::vector<armtest::Access>{W(0x04, 16, 5), W(0x04, 16, 0x25)}));
    EXPECT_EQ(m.state(1).shadow, 5u);
}

TEST_F(Fixture, RulesDifferBetweenTheFamilyAndTheBridgeMaps) {
    SmallMap family{kFamily, &hw};
    tStatus s1, s2;
    uint64_t v1 = 9, v2 = 9;
    family.get(0x3F000000, v1, s1);  // no field of 0x00 starts at bit 63
    map.get(0x3F000000, v2, s2);
    EXPECT_EQ(s1.code, kBadId);
    EXPECT_EQ(s2.code, kBadId);
    EXPECT_EQ(v1, 9u);  // the family rule changes nothing
    EXPECT_EQ(v2, 0u);  // the bridge rule stores 0
    // flush and refresh: the bridge maps select by key and side, the family needs a known identifier.
    family.markDirtyRegMap();
    map.markDirtyRegMap();
    tStatus s3, s4;
    family.flush(0x3F000000, false, s3);
    map.flush(0x3F000000, false, s4);
    EXPECT_EQ(s3.code, kBadId);
    EXPECT_EQ(s4.code, 0);
    EXPECT_EQ(hw.writes().size(), 1u);
    tStatus s5;
    family.flush(0x04000000, false, s5);  // a field identifier names its register
    EXPECT_EQ(s5.code, 0);
    EXPECT_EQ(hw.writes().size(), 2u);
}

TEST(Policies, OneBitFieldsAsFlagsExceptExplicitBits) {
    // An explicit bit has no declaration form of its own; the row is made by hand.
    static constexpr arm::RegisterType type = arm::RegisterType("tFlags", 32, Kind::kReadWrite, 0, ~0ull)
                                                  .add(0, 0, arm::Merge::kLowBits)
                                                  .add(1, 1, arm::Merge::kBit)
                                                  .add(4, 2, arm::Merge::kLowBits);
    static constexpr arm::RegisterDesc rows[] = {arm::row(type, arm::at(0x0), 0, 0)};
    static constexpr arm::MapDesc desc = arm::mapDesc(rows, "1.0", "test/Flags", arm::Policy{true, true, false, true});
    armtest::FakeAccess hw;
    armtest::Bench map(desc, &hw);
    tStatus st;
    map.set(0x00000000, 2, st);  // a one-bit field: any non-zero sets it
    map.set(0x20000000, 2, st);  // an explicit bit: bit 0 of the value
    map.set(0x10000000, 9, st);  // a 3-bit number keeps the low bits
    EXPECT_EQ(st.code, 0);
    EXPECT_EQ(map.state(0).shadow, 0x5u);
}

// clang-format off
#define KZ_PRODUCT_REGISTERS(R, TYPE, REG, ARRAY, F, FLAG) \
    TYPE(tControl,    32, RW, 0, ALL, F(_, 0) F(_, 3, 1)) \
    TYPE(tStatusWord, 32, RO, 0, ALL, F(_, 0) F(_, 31, 16)) \
    TYPE(tData,       32, RW, 0, ALL, F(_, 31, 0)) \
    REG(Control,    tControl,    (0x00, 0x1234AB)) \
    REG(StatusWord, tStatusWord, (0x04, 0x00C0DE)) \
    REG(Data,       tData,       (0x08, 0x000777)) \
    R(Command,      (0x0C, 0x000888), 32, CMD_RO, 0, ALL, F(_, 31, 0))
// clang-format on
namespace nProduct {
ARM_DECLARE_REGISTERS(KZ_PRODUCT_REGISTERS, ::arm::TableMap)
}  // namespace nProduct

TEST(Policies, ProductIdentifiersAndWindows) {
    // Keys apart from offsets; a read-only register's whole identifier has no read-side bit.
    static constexpr arm::MapDesc desc = arm::mapDesc(nProduct::kRows, "1.0", "test/Product", arm::kProductPolicy);
    armtest::FakeAccess hw;
    hw.memory[0x104] = 0xABCD0001;
    armtest::Bench map(desc, &hw, arm::Window{0x100, 0, 8});
    struct Case { uint32_t id; int64_t code; };
    const Case reads[] = {
        {0x8000C0DE, 0}, {0xBF00C0DE, 0}, {0x4000C0DE, 0}, {0x0200C0DE | 0x40000000, 0},
        {0xC000C0DE, kBadId}, {0x0000C0DE, kBadId},
    };
    for (const Case& c : reads) {
        tStatus st;
        uint64_t v = 0;
        map.read(c.id, v, st);
        EXPECT_EQ(st.code, c.code) << std::hex << c.id;
    }
    tStatus st;
    map.refresh(0x0200C0DE, st);  // a field id without the read-side bit names the whole register
    EXPECT_EQ(st.code, 0);
    map.refresh(0x4200C0DE, st);  // with it, nothing
    EXPECT_EQ(st.code, kBadId);
    tStatus w;
    map.set(0x001234AB, 2, w);  // one-bit fields are flags
    map.set(0x201234AB, 9, w);  // a 3-bit number keeps the low bits
    EXPECT_EQ(map.state(0).shadow, 0x3u);
    // Outside the window a shadowed register answers from its old shadow, an unshadowed one with
    // all ones; nothing is touched.
    map.set(0x80000777, 0x1234, w);
    const size_t accesses = hw.log.size();
    uint64_t v = 0;
    map.read(0x80000777, v, w);
    EXPECT_EQ(w.code, kOutside);
    EXPECT_EQ(v, 0x1234u);
    EXPECT_TRUE(map.state(2).dirty);
    tStatus u;
    map.read(0x80000888, v, u);
    EXPECT_EQ(u.code, kOutside);
    EXPECT_EQ(v, 0xFFFFFFFFu);
    EXPECT_EQ(hw.log.size(), accesses);
}

TEST_F(Fixture, TwinViewsKeepTheirOwnShadows) {
    map.set(0x0C000014, 0x3FF, st);
    EXPECT_FALSE(map.state(6).dirty);
    EXPECT_TRUE(map.state(7).dirty);
    EXPECT_EQ(map.state(7).shadow, 0x003FF000u);
    EXPECT_EQ(get(0x80000014), 0u);  // the whole identifier reaches the first view
    SmallMap family{kFamily, &hw};
    family.set(0x0C000014, 1, st);
    family.flush(0x0C000014, false, st);  // the family selects the view by its field
    EXPECT_EQ(hw.writes(), (std::vector<armtest::Access>{W(0x14, 32, 0x1000)}));
}

TEST_F(Fixture, FailedAccessesKeepTheShadowOrTheDirtyFlag) {
    hw.memory[0x00] = 0x11;
    map.refresh(0x80000000, st);
    hw.failing.insert(0x00);
    hw.memory[0x00] = 0x22;
    uint64_t v = 0;
    tStatus s;
    map.read(0x00000000, v, s);
    EXPECT_EQ(s.code, hw.failureCode);
    EXPECT_EQ(v, 0x11u);  // from the old shadow
    EXPECT_EQ(map.state(0).shadow, 0x11u);
    tStatus s2;
    map.write(0x00000000, 0x33, false, s2);
    EXPECT_EQ(s2.code, hw.failureCode);
    EXPECT_TRUE(map.state(0).dirty);
    EXPECT_EQ(map.state(0).shadow, 0x33u);
    // Walks go on past a failed register and keep the first error.
    hw.failing.insert(0x18);
    map.markDirtyRegMap();
    hw.log.clear();
    tStatus s3;
    map.flushRegMap(false, s3);
    EXPECT_EQ(s3.code, hw.failureCode);
    EXPECT_EQ(hw.writes().size(), 6u);
    EXPECT_TRUE(map.state(0).dirty);
    EXPECT_FALSE(map.state(1).dirty);
}

TEST_F(Fixture, PendingStrobesWaitApartFromTheShadow) {
    map.set(0x2000001C, 1, st);  // strobe bit 1
    map.set(0x0400001C, 0xAB, st);
    EXPECT_EQ(get(0x2000001C), 0u);  // a strobe field reads 0
    EXPECT_EQ(map.state(9).pending, 0x2u);
    EXPECT_EQ(map.state(9).shadow, 0xAB00u);
    map.set(0x2000001C, 0, st);  // a 0 leaves the pending 1
    EXPECT_EQ(map.state(9).pending, 0x2u);
    map.write(0x0000001C, 1, false, st);
    EXPECT_EQ(hw.writes(), (std::vector<armtest::Access>{W(0x1C, 32, 0xAB03)}));
    EXPECT_EQ(map.state(9).pending, 0u);
    EXPECT_EQ(map.state(9).shadow, 0xAB00u);
    hw.memory[0x1C] = 0x7;
    map.set(0x0000001C, 1, st);
    map.refresh(0x8000001C, st);  // a read takes the whole value and drops the pending word
    EXPECT_EQ(map.state(9).shadow, 7u);
    EXPECT_EQ(map.state(9).pending, 0u);
}

TEST_F(Fixture, RegistersOutsideTheWindowAreNeverTouched) {
    SmallMap w{kBridge, &hw, arm::Window{0x100, 0x04, 0x10}};  // keys 0x04..0x13 inside
    EXPECT_FALSE(w.state(0).inWindow);
    EXPECT_TRUE(w.state(1).inWindow);
    EXPECT_EQ(w.state(1).address, 0x100u);
    EXPECT_FALSE(w.state(6).inWindow);
    uint64_t v = 0;
    tStatus s1, s2, s3, s4, s5;
    w.read(0x80000000, v, s1);
    w.refresh(0x80000000, s2);
    w.flush(0x80000000, true, s3);
    w.write(0x80000000, 0x55, false, s4);
    EXPECT_EQ(s1.code, kOutside);
    EXPECT_EQ(s2.code, kOutside);
    EXPECT_EQ(s3.code, kOutside);
    EXPECT_EQ(s4.code, kOutside);
    EXPECT_TRUE(w.state(0).dirty);  // the write keeps the merged shadow, dirty
    EXPECT_EQ(w.state(0).shadow, 0x55u);
    w.flush(0x80000014, false, s5);  // clean and unforced: no window check
    EXPECT_EQ(s5.code, 0);
    w.get(0x80000000, v, s5);
    w.set(0x80000000, 0x66, s5);
    EXPECT_EQ(s5.code, 0);
    EXPECT_TRUE(hw.log.empty());
    w.write(0x80000004, 3, false, s5);
    EXPECT_EQ(hw.log, (std::vector<armtest::Access>{W(0x100, 16, 3)}));
    // reinitialize lays the registers out in the new window and restores the initial shadows.
    w.setWindow(0, 0, 0xFFFFFFFF);
    w.reinitialize();
    EXPECT_TRUE(w.state(0).inWindow);
    EXPECT_FALSE(w.state(0).dirty);
    EXPECT_EQ(w.state(0).shadow, 0u);
    EXPECT_EQ(w.state(8).shadow, 0x5Au);
    EXPECT_EQ(w.state(1).address, 0x04u);
}

TEST_F(Fixture, WalksIncludeSubMapsAfterTheirOwnRegisters) {
    armtest::FakeAccess subHw;
    SmallMap sub{kBridge, &subHw, arm::Window{0x1000, 0, 0xFFFFFFFF}};
    map.adopt(nullptr, &sub);  // a sub-map never allocated is skipped by every walk
    map.markDirtyRegMap();
    EXPECT_TRUE(sub.state(0).dirty);
    map.flushRegMap(false, st);
    EXPECT_EQ(subHw.writes().size(), 6u);
    EXPECT_EQ(subHw.writes()[0], W(0x1000, 32, 0));
    subHw.failing.insert(0x1008);
    tStatus s;
    map.refreshRegMap(s);
    EXPECT_EQ(s.code, subHw.failureCode);
    sub.set(0x80000000, 1, s);
    map.reinitialize();
    EXPECT_EQ(sub.state(0).shadow, 0u);
}

TEST_F(Fixture, TypedReadersAnswerWithoutAccessOnAnIncomingError) {
    hw.memory[0x0C] = 0x100;
    nSmall::tRegisterSet::tCommand cmd(map, 3);
    nSmall::tRegisterSet::tRw rw(map, 0);
    EXPECT_EQ(cmd.readBit24(st), 0u);
    hw.memory[0x0C] = 0x01000000;
    EXPECT_EQ(cmd.readBit24(st), 1u);
    map.set(0x80000000, 0x100, st);
    tStatus e;
    KZ_SET_CODE(e, -3);
    hw.log.clear();
    EXPECT_EQ(cmd.readBit0(e), 1u);  // an unshadowed reader says "set" so a poll ends
    EXPECT_EQ(rw.readBit8(e), 1u);   // a shadowed one answers from the shadow
    EXPECT_EQ(rw.readBit9(e), 0u);
    EXPECT_EQ(rw.readRegister(e), 0x100u);
    EXPECT_TRUE(hw.log.empty());
    hw.memory[0x00] = 0x77;
    EXPECT_EQ(rw.readRegister(st), 0x77u);
    EXPECT_FALSE(rw.isDirty());
}

}  // namespace
