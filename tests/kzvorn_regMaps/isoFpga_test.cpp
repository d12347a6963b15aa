// The isolated FPGA map: its declaration beside its table typed here from the descriptions, the
// identifier operations' cases as scripts over a fake front-end accessor, the walks through the
// seven channel maps, windows, typed writers and the build's allocation failures.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "armgen/bench.h"
#include "fakeFrontEnd.h"
#include "kal/sim/faults.h"
#include "kzapal/protons/statusCodes.h"
#include "kzvorn_regMaps/TolvaneRegisterMap_TolvaneIsoFpgaRegMap.h"
#include "partTables.h"

namespace {

using armtest::Access;
using kzvorn_regmaps::tTolvaneIsoFpgaRegMap;
using nKZAPALS100::tStatus;
namespace iso = kzvorn_regmaps::nTolvaneIsoFpgaRegMap;

constexpr int64_t kBadId = nKZAPALS100::kStatusBadParameter;
constexpr int64_t kNoRegister = nKZAPALS100::kStatusFeatureNotSupported;
constexpr int64_t kTooSmall = nKZAPALS100::kStatusBufferTooSmall;
constexpr int64_t kOutside = nKZAPALS100::kStatusResourceNotFound;
constexpr int64_t kNoMemory = nKZAPALS100::kStatusMemoryFull;
constexpr int64_t kPortNotReady = kzmaps::kPortNotReady;
constexpr int64_t kNoResponse = KZ_DEVICE_CODE(0xBFFA4681);

// Member order; NS: the two registers without a shadow.
enum Access_ { RW, WO, RO, NS };
constexpr uint32_t ALL = 0xFFFFFFFF;
struct Row {
    uint32_t address;
    uint32_t key;
    Access_ access;
    uint32_t keep;
    const char* fields;
};

// clang-format off
const std::vector<Row> kIsoFpga = {
    {0x00, 0x271A89, RO, ALL, "0-31"},
    {0x01, 0xBC3035, RO, ALL, "0-31"},
    {0x02, 0x11F08B, RW, ALL, "0-31"},
    {0x03, 0x7ABBEB, RW, ALL, "0-31"},
    {0x04, 0xE5C260, NS, ALL, "0-31"},
    {0x05, 0x49188C, NS, ALL, "0-31"},
    {0x06, 0xD9F977, WO, 0xFF780000, "0-7; 8-15; 16-17; 18; 23"},
    {0x07, 0xD80EEA, WO, 0xFFFFFFFB, "1; 2"},
    {0x08, 0xEC09B9, WO, 0x0FFFFFC0, "0; 1; 2; 3; 4; 5; 28; 29; 30; 31"},
    {0x08, 0xDEC888, RO, ALL, "8; 9; 24; 25; 26; 31"},
    {0x09, 0x0D13F1, WO, 0x00FFFFFF, "0-23"},
    {0x0A, 0xE28B5E, RW, ALL, "0-15; 31"},
    {0x0B, 0xA3AD00, RW, ALL, "0-15"},
    {0x0C, 0xB3AE0A, RW, ALL, "0-15"},
    {0x0D, 0x6E4063, RW, ALL, "0-15"},
    {0x0E, 0xAF78F5, RW, ALL, "0-15"},
    {0x0F, 0x8CD900, RW, ALL, "0-15"},
    {0x10, 0x9A9511, WO, ALL, "0-7"},
    {0x11, 0xE7510C, RW, ALL, "0-15"},
    {0x20, 0xC580D2, RW, ALL, "0-10"},
    {0x21, 0x73AD9D, RW, ALL, "0-10"},
    {0x22, 0xFFD874, WO, 0xFFFFFFF0, "0-3"},
    {0x23, 0x5A41C1, WO, ALL, "0-11; 16-27"},
    {0x24, 0xFBAEED, WO, ALL, "0-14; 16-30"},
    {0x25, 0x7D71B0, WO, ALL, "0-14; 16-30"},
    {0x26, 0x414B49, WO, ALL, "0-11; 16-27"},
    {0x27, 0x5AE8E3, RO, ALL, "0-11; 16-27"},
    {0x39, 0xAC4F07, WO, 0x0F00C3F8, "0-2; 10; 11; 12; 13; 16-23; 28-31"},
    {0x39, 0x6B4B5C, RW, ALL, "0-11; 12; 13; 14; 15; 16-23; 24-31"},
    {0x40, 0x8B9D83, WO, 0x0F00C3F8, "0-2; 10; 11; 12; 13; 16-23; 28-31"},
    {0x40, 0xD05E03, RW, ALL, "0-11; 12; 13; 14; 15; 16-23; 24-31"},
    {0x41, 0x86B014, RW, ALL, "0-11"},
    {0x50, 0x2D51B0, WO, 0, "0-31"},
    {0x51, 0x84F888, WO, 0, "0-31"},
    {0x52, 0x9ADB24, RW, ALL, "0-31"},
    {0x53, 0x69BA29, RW, ALL, "0-31"},
    {0x60, 0xD323BA, WO, 0xFFFFFEEE, "0; 4; 8"},
    {0x61, 0xAEFDAA, RO, ALL, "0-31"},
    {0x62, 0x0AF341, RO, ALL, "0-29; 30; 31"},
    {0x63, 0x0CC386, RO, ALL, "0-31"},
    {0x64, 0xC32F6A, RO, ALL, "0-29; 30; 31"},
    {0x68, 0xB9A0C2, WO, 0x7FFFFFE0, "0; 1; 2; 3; 4; 31"},
    {0x68, 0x98A679, RO, ALL, "0; 1; 2-16; 17-31"},
    {0x69, 0xB0ABE3, WO, ALL, "0-15; 31"},
    {0x69, 0xF77BDE, RO, ALL, "0-31"},
    {0x6A, 0x4B6C1B, RO, ALL, "0-31"},
    {0x6A, 0x4D46AA, WO, 0, "0-15; 16-31"},
    {0x6B, 0x932F95, RO, ALL, "0-31"},
    {0x6C, 0x035ADC, RO, ALL, "0-31"},
    {0x6D, 0x1BEFBF, RO, ALL, "0-31"},
    {0x6E, 0xF634D8, RO, ALL, "0-31"},
    {0x30, 0x9DAEAB, WO, 0x0F00C3F8, "0-2; 10; 11; 12; 13; 16-23; 28-31"},
    {0x31, 0x2E863A, WO, 0x0F00C3F8, "0-2; 10; 11; 12; 13; 16-23; 28-31"},
    {0x32, 0x71C4C7, WO, 0x0F00C3F8, "0-2; 10; 11; 12; 13; 16-23; 28-31"},
    {0x33, 0xF65AD9, WO, 0x0F00C3F8, "0-2; 10; 11; 12; 13; 16-23; 28-31"},
    {0x34, 0xD279BA, WO, 0x0F00C3F8, "0-2; 10; 11; 12; 13; 16-23; 28-31"},
    {0x35, 0xA272B7, WO, 0x0F00C3F8, "0-2; 10; 11; 12; 13; 16-23; 28-31"},
    {0x36, 0x065D17, WO, 0x0F00C3F8, "0-2; 10; 11; 12; 13; 16-23; 28-31"},
    {0x37, 0x033879, WO, 0x0F00C3F8, "0-2; 10; 11; 12; 13; 16-23; 28-31"},
    {0x38, 0x56C482, WO, 0x0F00C3F8, "0-2; 10; 11; 12; 13; 16-23; 28-31"},
    {0x30, 0xD4E061, RW, ALL, "0-11; 12; 13; 14; 15; 16-23; 24-31"},
    {0x31, 0x5EF19C, RW, ALL, "0-11; 12; 13; 14; 15; 16-23; 24-31"},
    {0x32, 0x9F4F33, RW, ALL, "0-11; 12; 13; 14; 15; 16-23; 24-31"},
    {0x33, 0xB26B81, RW, ALL, "0-11; 12; 13; 14; 15; 16-23; 24-31"},
    {0x34, 0x172FFD, RW, ALL, "0-11; 12; 13; 14; 15; 16-23; 24-31"},
    {0x35, 0x533E83, RW, ALL, "0-11; 12; 13; 14; 15; 16-23; 24-31"},
    {0x36, 0xC8B1BC, RW, ALL, "0-11; 12; 13; 14; 15; 16-23; 24-31"},
    {0x37, 0x9BAA54, RW, ALL, "0-11; 12; 13; 14; 15; 16-23; 24-31"},
    {0x38, 0x2B6A98, RW, ALL, "0-11; 12; 13; 14; 15; 16-23; 24-31"},
    {0x70, 0xE07894, RW, ALL, "0-31"},
    {0x71, 0x270A80, RW, ALL, "0-31"},
    {0x72, 0xF0670B, RW, ALL, "0-31"},
    {0x73, 0x7D6C8F, RW, ALL, "0-31"},
    {0x74, 0x726783, RW, ALL, "0-31"},
    {0x75, 0xA22665, RW, ALL, "0-31"},
    {0x76, 0x3E771D, RW, ALL, "0-31"},
    {0x77, 0x0085CC, RW, ALL, "0-31"},
};
// clang-format on

std::vector<parts::Field> fieldsOf(const Row& r) { return parts::fieldsOf(parts::Register{0, 0, parts::RW, 0, r.fields}); }

arm::Kind kindOf(Access_ a) {
    return a == RW ? arm::Kind::kReadWrite
           : a == WO ? arm::Kind::kWriteOnly
           : a == RO ? arm::Kind::kReadOnly
                     : arm::Kind::kFormatOnly;
}

TEST(IsoFpgaTable, EveryRegisterIsDeclaredAsItsRowGivesIt) {
    const arm::MapDesc& desc = kzvorn_regmaps::kTolvaneIsoFpgaMap;
    ASSERT_EQ(desc.count, kIsoFpga.size());
    unsigned identifiers = 0, fields = 0;
    for (size_t i = 0; i < kIsoFpga.size(); ++i) {
        const Row& p = kIsoFpga[i];
        const arm::RegisterDesc& d = desc.registers[i];
        SCOPED_TRACE("row " + std::to_string(i));
        EXPECT_EQ(d.address, p.address);
        EXPECT_EQ(d.key, p.key);
        EXPECT_EQ(d.kind, kindOf(p.access));
        EXPECT_EQ(d.keep, p.keep);
        EXPECT_EQ(d.width, 32u);
        EXPECT_EQ(d.initial, 0u);
        const std::vector<parts::Field> f = fieldsOf(p);
        ASSERT_EQ(d.fields.count, f.size());
        for (size_t n = 0; n < f.size(); ++n) {
            EXPECT_EQ(d.fields.field[n].low, f[n].low);
            EXPECT_EQ(d.fields.field[n].width, f[n].width);
            // Each field answers to its identifier with its own bits.
            const uint32_t id = p.key | parts::lowestBitCode(f[n].low) | (p.access == RO ? 0x40000000u : 0u);
            if (p.access != NS) {
                EXPECT_EQ(armtest::maskOf(desc, id), f[n].mask()) << std::hex << id;
            }
        }
        if (p.access != NS) identifiers += 1 + unsigned(f.size()), fields += unsigned(f.size());
    }
    EXPECT_EQ(identifiers, 323u);
    EXPECT_EQ(fields, 248u);
    EXPECT_STREQ(desc.version, "1.5.0f22090707");
}

TEST(IsoFpgaTable, LiteralIdentifiersNameTheirFields) {
    const struct {
        uint32_t id;
        uint64_t mask;
    } cases[] = {
        {0x20EC09B9, 1u << 1},   {0x64DEC888, 1u << 9},        {0x028B9D83, 0xFF0000},   {0x0E8B9D83, 0xF0000000},
        {0x3EE28B5E, 1u << 31},  {0x6298A679, 0xFFFE0000},      {0x40271A89, 0xFFFFFFFF}, {0x80271A89, 0xFFFFFFFF},
        {0x00271A89, 0},         {0x000D13F1, 0xFFFFFF},        {0x800D13F1, 0xFFFFFFFF}, {0x0086B014, 0xFFF},
        {0x809DAEAB, ALL},       {0x802E863A, ALL},             {0x8071C4C7, ALL},        {0x80F65AD9, ALL},
        {0x80D279BA, ALL},       {0x80A272B7, ALL},             {0x80065D17, ALL},        {0x80033879, ALL},
        {0x8056C482, ALL},       {0x80AC4F07, ALL},
    };
    for (const auto& c : cases)
        EXPECT_EQ(armtest::maskOf(kzvorn_regmaps::kTolvaneIsoFpgaMap, c.id), c.mask) << std::hex << c.id;
}

// ---------------------------------------------------------------------------------------------
// Identifier operations as scripts over the fake accessor (register k at isolated address k)

enum class Op { kGet, kSet, kRead, kWrite, kFlush, kRefresh, kFormat, kHardware };

struct Step {
    Op op;
    uint32_t id = 0;  // an identifier, or an address for kHardware
    uint64_t value = 0;
    bool force = false;
    int64_t code = 0;
    uint64_t out = 0;  // of get and read; the count of getRegisterFormat
    std::vector<uint64_t> masks = {};
    std::vector<arm::FieldType> types = {};
};

Step get(uint32_t id, uint64_t out, int64_t code = 0) { return {Op::kGet, id, 0, false, code, out}; }
Step set(uint32_t id, uint64_t v, int64_t code = 0) { return {Op::kSet, id, v, false, code}; }
Step read(uint32_t id, uint64_t out, int64_t code = 0) { return {Op::kRead, id, 0, false, code, out}; }
Step write(uint32_t id, uint64_t v, bool force = false, int64_t code = 0) { return {Op::kWrite, id, v, force, code}; }
Step flush(uint32_t id, bool force, int64_t code = 0) { return {Op::kFlush, id, 0, force, code}; }
Step refresh(uint32_t id, int64_t code = 0) { return {Op::kRefresh, id, 0, false, code}; }
Step format(uint32_t id, uint32_t capacity, int64_t code, uint32_t count, std::vector<uint64_t> masks = {},
            std::vector<arm::FieldType> types = {}) {
    return {Op::kFormat, id, capacity, false, code, count, masks, types};
}
Step hardware(uint32_t address, uint32_t value) { return {Op::kHardware, address, value}; }

Access W(uint32_t address, uint32_t value) { return armtest::W(address, 32, value); }
Access R(uint32_t address, uint32_t value) { return armtest::R(address, 32, value); }

struct Case {
    const char* name;
    std::vector<Step> steps;
    std::vector<Access> log;
};

void run(const Case& c) {
    kzmaps::FakeFrontEnd port;
    tStatus built;
    tTolvaneIsoFpgaRegMap map(&port, built);
    ASSERT_EQ(built.code, 0);
    int n = 0;
    for (const Step& s : c.steps) {
        SCOPED_TRACE(std::string(c.name) + ", step " + std::to_string(n++));
        tStatus st;
        uint64_t v = 0xEEEE;
        uint32_t capacity = uint32_t(s.value);
        arm::FieldType types[32] = {};
        uint64_t masks[32] = {};
        switch (s.op) {
            case Op::kGet: map.get(s.id, v, st, 0); break;
            case Op::kSet: map.set(s.id, s.value, st, 0); break;
            case Op::kRead: map.read(s.id, v, st, 0); break;
            case Op::kWrite: map.write(s.id, s.value, s.force, st, 0); break;
            case Op::kFlush: map.flush(s.id, s.force, st, 0); break;
            case Op::kRefresh: map.refresh(s.id, st, 0); break;
            case Op::kFormat: map.getRegisterFormat(s.id, capacity, types, masks, st); break;
            case Op::kHardware: port.words[s.id] = uint32_t(s.value); continue;
        }
        EXPECT_EQ(st.code, s.code);
        if (s.op == Op::kGet || s.op == Op::kRead) {
            EXPECT_EQ(v, s.out);
        }
        if (s.op == Op::kFormat) {
            EXPECT_EQ(capacity, s.out);
            for (size_t f = 0; f < s.masks.size(); ++f) EXPECT_EQ(masks[f], s.masks[f]) << f;
            for (size_t f = 0; f < s.types.size(); ++f) EXPECT_EQ(types[f], s.types[f]) << f;
        }
    }
    EXPECT_EQ(port.log, c.log) << c.name;
}

constexpr uint32_t kScratch0Key = 0x11F08B;

const Case kIdentifierCases[] = {
    {"the signature: 0 before a read, then the word; never set or written",
     {get(0x80271A89, 0), hardware(0x00, 0xA5A5F00D), read(0x40271A89, 0xA5A5F00D), get(0x80271A89, 0xA5A5F00D),
      set(0x80271A89, 1, kBadId), write(0x80271A89, 1, true, kBadId)},
     {R(0x00, 0xA5A5F00D)}},
    {"a configuration strobe goes once per write and reads back 0",
     {write(0x20EC09B9, 1), get(0x20EC09B9, 0), get(0x80EC09B9, 0), write(0x20EC09B9, 1), write(0x20EC09B9, 0)},
     {W(0x08, 0x2), W(0x08, 0x2)}},
    {"the status side at 0x08 reads its word and leaves the configuration side's shadow",
     {set(0x80EC09B9, 0x04000000), hardware(0x08, 0x200), read(0x64DEC888, 1), get(0x80EC09B9, 0x04000000)},
     {R(0x08, 0x200)}},
    {"the PLL shift register sends all 32 bits and keeps 24",
     {write(0x800D13F1, 0xFFFFFFFF), get(0x800D13F1, 0x00FFFFFF)}, {W(0x09, 0xFFFFFFFF)}},
    {"a local-RAM address goes every time and reads back 0; 0 goes only when forced",
     {write(0x802D51B0, 0x1234), get(0x802D51B0, 0), write(0x802D51B0, 0x1234), write(0x802D51B0, 0),
      write(0x802D51B0, 0, true)},
     {W(0x50, 0x1234), W(0x50, 0x1234), W(0x50, 0)}},
    {"the unshadowed registers are described and refused by every value operation",
     {format(0x80E5C260, 1, 0, 1, {0xFFFFFFFF}, {arm::kFieldTypeUpTo32Bits}), format(0x00E5C260, 1, 0, 1, {0xFFFFFFFF}),
      format(0x8049188C, 1, 0, 1, {0xFFFFFFFF}), get(0x80E5C260, 0, kBadId), read(0x80E5C260, 0, kBadId),
      set(0x80E5C260, 1, kBadId), write(0x80E5C260, 1, true, kBadId), flush(0x80E5C260, true, kBadId),
      refresh(0x80E5C260, kBadId), get(0x8049188C, 0, kBadId), read(0x8049188C, 0, kBadId),
      write(0x8049188C, 1, true, kBadId), flush(0x8049188C, true, kBadId), refresh(0x8049188C, kBadId)},
     {}},
    {"formats: a read-only field identifier names nothing; the whole status register six flags",
     {format(0x64DEC888, 8, kNoRegister, 0),
      format(0x80DEC888, 6, 0, 6, {0x100, 0x200, 0x1000000, 0x2000000, 0x4000000, 0x80000000})},
     {}},
    {"formats: a capacity below the count leaves it; the two-bit field is a byte-class field",
     {format(0x80D9F977, 4, kTooSmall, 4),
      format(0x80D9F977, 5, 0, 5, {0xFF, 0xFF00, 0x30000, 0x40000, 0x800000},
             {arm::kFieldTypeUpTo8Bits, arm::kFieldTypeUpTo8Bits, arm::kFieldTypeUpTo8Bits, arm::kFieldTypeBit,
              arm::kFieldTypeBit}),
      format(0x80D9F977, 0, kTooSmall, 0)},
     {}},
    {"set: a one-bit field takes any non-zero value, a field its low bits, a whole register 32 bits",
     {set(0x3EE28B5E, 2), get(0x80E28B5E, 0x80000000), set(0x00A3AD00, 0x12345), get(0x80A3AD00, 0x2345),
      set(0x80A3AD00, 0x1FFFF0000ull), get(0x80A3AD00, 0xFFFF0000), get(0x00A3AD00, 0)},
     {}},
    {"a refresh replaces a value set and leaves the register clean",
     {set(0x80A3AD00, 7), refresh(0x00A3AD00), flush(0x80A3AD00, false)}, {R(0x0B, 0)}},
    {"identifier reductions: bits 24-29 of a whole identifier are ignored, bit 30 makes it nothing",
     {hardware(0x02, 0x55), get(0x3F000000 | kScratch0Key, 0, kBadId), get(0xC0000000 | kScratch0Key, 0, kBadId),
      refresh(0x3F000000 | kScratch0Key), get(0xBF000000 | kScratch0Key, 0x55), flush(0x40A3AD00, true, kBadId),
      refresh(0x00271A89), format(0x00271A89, 1, 0, 1, {0xFFFFFFFF}), get(0x00271A89, 0, kBadId)},
     {R(0x02, 0x55), R(0x00, 0)}},
    {"a mux status field written reaches the shared word; the configuration side keeps its shadow",
     {set(0x808B9D83, 0x300), write(0x0CD05E03, 1), get(0x808B9D83, 0x300), get(0x0CD05E03, 1),
      write(0x808B9D83, 0xFFFFFFFF), get(0x808B9D83, 0x0F00C3F8)},
     {W(0x40, 0x1000), W(0x40, 0xFFFFFFFF)}},
    {"the routing muxes by their whole identifiers, forced",
     {write(0x809DAEAB, 0x10050000, true), write(0x80AC4F07, 0x20010000, true), write(0x809DAEAB, 0, true)},
     {W(0x30, 0x10050000), W(0x39, 0x20010000), W(0x30, 0)}},
};

TEST(IsoFpgaOperations, IdentifierCases) {
    for (const Case& c : kIdentifierCases) run(c);
}

// ---------------------------------------------------------------------------------------------
// The map with its channel maps

struct IsoFpga : ::testing::Test {
    kzmaps::FakeFrontEnd port;
    tStatus st;
    tTolvaneIsoFpgaRegMap map{&port, st};

    std::vector<uint32_t> addresses(bool writes) const {
        std::vector<uint32_t> out;
        for (const Access& a : port.log)
            if (a.write == writes) out.push_back(a.address);
        return out;
    }
    std::vector<uint32_t> own(bool writes) const {
        std::vector<uint32_t> out;
        for (uint32_t a : addresses(writes))
            if (a < 0x1000) out.push_back(a);
        return out;
    }
    // The channel block of each access to a channel map, in order, one entry per run of accesses.
    std::vector<uint32_t> blocks(bool writes) const {
        std::vector<uint32_t> out;
        for (uint32_t a : addresses(writes))
            if (a >= 0x1000 && (out.empty() || out.back() != a / 0x200)) out.push_back(a / 0x200);
        return out;
    }
    unsigned dirtyOwn() const {
        unsigned n = 0;
        for (unsigned r = 0; r < map.description().count; ++r) n += map.state(r).dirty;
        return n;
    }
};

TEST_F(IsoFpga, BuildsSevenChannelMapsAtTheirBlocksWritingNothing) {
    ASSERT_EQ(st.code, 0);
    for (unsigned c = 0; c < 7; ++c) {
        ASSERT_NE(map.channelMap(c), nullptr);
        EXPECT_EQ(map.channelMap(c)->window().base, 0x1000u + 0x200 * c);
        EXPECT_EQ(map.channelMap(c)->window().count, 0x200u);
    }
    EXPECT_EQ(map.channelMap(7), nullptr);
    EXPECT_EQ(map.window().count, 0xFFFFFFFFu);
    for (unsigned r = 0; r < map.description().count; ++r) {
        EXPECT_EQ(map.state(r).address, map.description().registers[r].address);
        EXPECT_TRUE(map.state(r).inWindow);
    }
    EXPECT_TRUE(port.log.empty());
    const kzvorn_regmaps::ChannelBaseAddressCalculator calculator;
    EXPECT_EQ(calculator.calculate(0), 0x1000u);
    EXPECT_EQ(calculator.calculate(6), 0x1C00u);
    EXPECT_EQ(calculator.calculate(0x103), 0x1600u);
}

TEST_F(IsoFpga, AForcedFlushWritesTheSixtyInMemberOrderThenTheChannelMaps) {
    map.flushRegMap(false, st);
    EXPECT_TRUE(port.log.empty());
    map.flushRegMap(true, st);
    EXPECT_EQ(st.code, 0);
    std::vector<uint32_t> expected = {2, 3, 6, 7, 8, 9};
    for (uint32_t a = 0x0A; a <= 0x11; ++a) expected.push_back(a);
    for (uint32_t a = 0x20; a <= 0x26; ++a) expected.push_back(a);
    for (uint32_t a : {0x39, 0x39, 0x40, 0x40, 0x41, 0x50, 0x51, 0x52, 0x53, 0x60, 0x68, 0x69, 0x6A}) expected.push_back(a);
    for (int twice = 0; twice < 2; ++twice)
        for (uint32_t a = 0x30; a <= 0x38; ++a) expected.push_back(a);
    for (uint32_t a = 0x70; a <= 0x77; ++a) expected.push_back(a);
    EXPECT_EQ(own(true), expected);
    EXPECT_EQ(expected.size(), 60u);
    EXPECT_TRUE(own(false).empty());
    // Each channel map flushes its block, channels 0 to 6 in order, after the map's own registers.
    EXPECT_EQ(blocks(true), (std::vector<uint32_t>{8, 9, 10, 11, 12, 13, 14}));
    EXPECT_EQ(addresses(true).size(), 60u + 7 * 229);
    EXPECT_EQ(addresses(true)[59], 0x77u);
}

TEST_F(IsoFpga, ARefreshReadsTheFortyEightThenTheChannelMaps) {
    map.refreshRegMap(st);
    EXPECT_EQ(st.code, 0);
    std::vector<uint32_t> expected = {0, 1, 2, 3, 8, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x11, 0x20, 0x21, 0x27,
                                      0x39, 0x40, 0x41, 0x52, 0x53, 0x61, 0x62, 0x63, 0x64};
    for (uint32_t a = 0x68; a <= 0x6E; ++a) expected.push_back(a);
    for (uint32_t a = 0x30; a <= 0x38; ++a) expected.push_back(a);
    for (uint32_t a = 0x70; a <= 0x77; ++a) expected.push_back(a);
    EXPECT_EQ(own(false), expected);
    EXPECT_EQ(expected.size(), 48u);
    EXPECT_TRUE(own(true).empty());
    EXPECT_EQ(blocks(false), (std::vector<uint32_t>{8, 9, 10, 11, 12, 13, 14}));
}

TEST_F(IsoFpga, WalksWithAnIncomingErrorTouchNothing) {
    KZ_SET_CODE(st, kPortNotReady);
    map.markDirtyRegMap();
    map.flushRegMap(true, st);
    map.refreshRegMap(st);
    EXPECT_TRUE(port.log.empty());
    EXPECT_EQ(st.code, kPortNotReady);
}

TEST_F(IsoFpga, FailingWritesDoNotStopTheWalkAndTheFirstCodeStays) {
    tStatus s;
    map.set(0x807ABBEB, 0x33, s, 0);  // 0x03
    port.fail(0x03, kNoResponse);
    port.fail(0x06, kPortNotReady);
    map.flushRegMap(true, st);
    EXPECT_EQ(st.code, kNoResponse);
    EXPECT_EQ(own(true).size(), 60u);
    EXPECT_EQ(blocks(true), (std::vector<uint32_t>{8, 9, 10, 11, 12, 13, 14}));
    const int row03 = iso::tRegisterSet::kRowOfIsoScratchReg1;
    EXPECT_TRUE(map.state(row03).dirty);
    EXPECT_EQ(map.state(row03).shadow, 0x33u);
}

TEST_F(IsoFpga, MarkDirtyMarksTheShadowedRegistersAndTheChannelMaps) {
    map.markDirtyRegMap();
    EXPECT_EQ(dirtyOwn(), 75u);
    for (unsigned c = 0; c < 7; ++c) EXPECT_TRUE(map.channelMap(c)->state(0).dirty) << c;
    map.flushRegMap(false, st);
    EXPECT_EQ(own(true).size(), 60u);  // the read-only ones wait for a read
}

TEST_F(IsoFpga, ReinitializeLaysTheRegistersOutInTheNewWindowAndClearsEverything) {
    map.markDirtyRegMap();
    tStatus s;
    map.set(0x8011F08B, 5, s, 0);
    map.channelMap(3)->set(0x80C84A1D, 9, s, 0);
    map.setWindow(0x1000, 2, 16);
    map.reinitialize();
    const auto row = [&](uint32_t address) {
        for (unsigned r = 0; r < map.description().count; ++r)
            if (map.description().registers[r].address == address) return r;
        return ~0u;
    };
    EXPECT_EQ(map.state(row(0x00)).address, 0x0FFEu);
    EXPECT_FALSE(map.state(row(0x00)).inWindow);
    EXPECT_EQ(map.state(row(0x02)).address, 0x1000u);
    EXPECT_TRUE(map.state(row(0x02)).inWindow);
    EXPECT_EQ(map.state(row(0x04)).address, 0x1002u);  // the unshadowed ones too
    EXPECT_TRUE(map.state(row(0x11)).inWindow);
    EXPECT_EQ(map.state(row(0x11)).address, 0x100Fu);
    EXPECT_FALSE(map.state(row(0x20)).inWindow);
    EXPECT_EQ(map.state(row(0x20)).address, 0x101Eu);
    EXPECT_EQ(dirtyOwn(), 0u);
    for (unsigned r = 0; r < map.description().count; ++r) EXPECT_EQ(map.state(r).shadow, 0u);
    uint64_t v = 1;
    map.channelMap(3)->get(0x80C84A1D, v, s, 0);
    EXPECT_EQ(v, 0u);
    EXPECT_FALSE(map.channelMap(0)->state(0).dirty);
    // Outside the window: -52006, nothing sent, a write stays dirty.
    tStatus refused;
    map.refresh(0x80271A89, refused, 0);
    EXPECT_EQ(refused.code, kOutside);
    tStatus dirty;
    map.write(0x80C580D2, 3, false, dirty, 0);
    EXPECT_EQ(dirty.code, kOutside);
    EXPECT_TRUE(map.state(row(0x20)).dirty);
    EXPECT_TRUE(port.log.empty());
}

TEST_F(IsoFpga, TypedWritersStrobeAndKeep) {
    auto config = map.IsoFpgaConfigReg();
    config.writeRegister(0xFFFFFFFF, st);
    EXPECT_EQ(config.getShadow(), 0x0FFFFFC0u);
    config.writeBit31(1, st).writeBit4(1, st).writeBit2(1, st);
    config.writeEnableIsoBoardErrorManagerStb(true, st).writeDisableIsoBoardErrorManagerStb(true, st);
    map.SeqLocalRamWriteAddressReg().writeRegister(0xFFFFFFFF, st);
    EXPECT_EQ(map.SeqLocalRamWriteAddressReg().getShadow(), 0u);
    // A status-side position equal to the clean shadow goes only when forced; the configuration side's
    // position goes and leaves its fields cleared.
    port.words[0x40] = 0x00050000;
    auto muxStatus = map.BoardOccurrenceMuxStatus();
    muxStatus.refresh(st);
    muxStatus.writeOccurrenceMuxPosition(5, st);
    muxStatus.writeOccurrenceMuxPosition(5, st, true);
    auto muxConfig = map.BoardOccurrenceMuxConfig();
    muxConfig.setRegister(0xFFFFFFFF, st);
    muxConfig.writeOccurrenceMuxPosition(5, st);
    EXPECT_EQ(muxConfig.getShadow(), 0x0F00C3F8u);
    muxConfig.writeOccurrenceMuxAction(iso::kOccurrenceMuxDisable, st);
    port.words[0x08] = 0x200;
    EXPECT_TRUE(map.IsoFpgaStatusReg().readExtPllLocked(st));
    EXPECT_EQ(map.IsoFpgaStatusReg().readRegister(st), 0x200u);
    EXPECT_EQ(st.code, 0);
    EXPECT_EQ(port.log, (std::vector<Access>{W(0x08, 0xFFFFFFFF), W(0x08, 0x8FFFFFC0), W(0x08, 0x0FFFFFD0),
                                             W(0x08, 0x0FFFFFC4), W(0x08, 0x0FFFFFC1), W(0x08, 0x0FFFFFC2),
                                             W(0x50, 0xFFFFFFFF), R(0x40, 0x00050000), W(0x40, 0x00050000),
                                             W(0x40, 0xFF05FFFF), W(0x40, 0x2F00C3F8), R(0x08, 0x200),
                                             R(0x08, 0x200)}));
}

// -52000 at channel map k: maps 0 to k-1 exist, the walks skip the missing ones, and deleting the
// map frees exactly what was built.
TEST(IsoFpgaBuild, AFailedChannelMapLeavesTheEarlierOnesAndTheWalksSkipTheRest) {
    for (unsigned failing = 1; failing <= 7; ++failing) {
        SCOPED_TRACE(failing);
        kzmaps::FakeFrontEnd port;
        tStatus st;
        auto* map = static_cast<tTolvaneIsoFpgaRegMap*>(::operator new(sizeof(tTolvaneIsoFpgaRegMap)));
        {
            kal::sim::FailAllocations fail(failing);
            new (map) tTolvaneIsoFpgaRegMap(&port, st);
        }
        EXPECT_EQ(st.code, kNoMemory);
        for (unsigned c = 0; c < 7; ++c) EXPECT_EQ(map->channelMap(c) != nullptr, c + 1 < failing) << c;
        tStatus walk;
        map->markDirtyRegMap();
        map->flushRegMap(true, walk);
        map->refreshRegMap(walk);
        map->reinitialize();
        EXPECT_EQ(walk.code, 0);
        map->~tTolvaneIsoFpgaRegMap();
        ::operator delete(map);
    }
    // With an error on entry nothing is allocated.
    kzmaps::FakeFrontEnd port;
    tStatus st;
    KZ_SET_CODE(st, kPortNotReady);
    tTolvaneIsoFpgaRegMap map(&port, st);
    for (unsigned c = 0; c < 7; ++c) EXPECT_EQ(map.channelMap(c), nullptr);
}

}  // namespace
