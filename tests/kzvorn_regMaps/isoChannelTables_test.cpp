// The isolated channel map beside its tables: the totals the descriptions state, the declaration
// row by row, and every identifier (each key with every pattern of bits 24-31, and random ones)
// through every operation, accepted exactly where the tables say.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "fakeFrontEnd.h"
#include "isoChannelParts.h"
#include "kzapal/protons/statusCodes.h"
#include "kzvorn_regMaps/TolvaneRegisterMap_TolvaneIsoChannelRegMap.h"

namespace {

using isoparts::Kind;
using isoparts::model;
using isoparts::Named;
using isoparts::Op;
using kzvorn_regmaps::tTolvaneIsoChannelRegMap;
using nKZAPALS100::tStatus;

constexpr int64_t kBadId = nKZAPALS100::kStatusBadParameter;
constexpr int64_t kNoRegister = nKZAPALS100::kStatusFeatureNotSupported;
constexpr uint32_t kBase = 0x1000;  // channel 0

std::string hex(uint32_t id) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", id);
    return text;
}

TEST(IsoChannelTables, TheTablesHoldTheirStatedTotals) {
    const isoparts::Model& m = model();
    ASSERT_EQ(isoparts::kRows.size(), 297u);
    ASSERT_EQ(isoparts::kTypes.size(), 90u);
    unsigned registersOf[5] = {}, typesOf[5] = {};
    for (const isoparts::Type& t : isoparts::kTypes) {
        ++typesOf[t.kind];
        unsigned rows = 0;
        for (const isoparts::Row& r : isoparts::kRows) rows += std::string(r.type) == t.name;
        EXPECT_EQ(rows, t.registers) << t.name;
    }
    std::map<uint32_t, unsigned> atOffset;
    unsigned oneField = 0, mostFields = 0, fieldIds[5] = {}, readSideFieldIds = 0;
    for (size_t r = 0; r < isoparts::kRows.size(); ++r) {
        EXPECT_EQ(isoparts::kRows[r].number, r + 1);
        ++registersOf[m.type[r]->kind];
        ++atOffset[isoparts::kRows[r].offset];
        oneField += m.write[r].size() == 1;
        if (m.write[r].size() > mostFields) mostFields = unsigned(m.write[r].size());
        fieldIds[m.type[r]->kind] += unsigned(m.write[r].size());
        for (const isoparts::Field& f : m.read[r]) readSideFieldIds += m.onStrobes(r, f);
    }
    const unsigned registers[] = {174, 51, 18, 4, 50}, types[] = {42, 23, 11, 2, 12};
    const unsigned fields[] = {333, 284, 80, 20, 50};
    for (int k = 0; k < 5; ++k) {
        EXPECT_EQ(registersOf[k], registers[k]) << k;
        EXPECT_EQ(typesOf[k], types[k]) << k;
        EXPECT_EQ(fieldIds[k], fields[k]) << k;
    }
    EXPECT_EQ(readSideFieldIds, 5u);
    unsigned shared = 0;
    for (const auto& entry : atOffset) shared += entry.second == 2;
    EXPECT_EQ(atOffset.size(), 269u);
    EXPECT_EQ(shared, 28u);
    EXPECT_EQ(oneField, 198u);
    EXPECT_EQ(mostFields, 20u);
    EXPECT_EQ(m.write[0].size(), 20u);

    // 1,073 identifiers, no two equal; how many of them each operation accepts.
    unsigned registerLevel = 0;
    for (const auto& entry : m.ids) registerLevel += entry.second.field < 0;
    EXPECT_EQ(m.ids.size(), 1073u);
    EXPECT_EQ(registerLevel, 301u);
    unsigned accepted[7] = {}, readWhole = 0;
    for (const auto& entry : m.ids)
        for (int op = isoparts::kGet; op <= isoparts::kFormat; ++op)
            if (isoparts::accepts(Op(op), isoparts::named(Op(op), entry.first))) {
                ++accepted[op];
                readWhole += op == isoparts::kRead && entry.second.field < 0;
            }
    const unsigned stated[] = {973, 870, 724, 970, 975, 558, 993};
    for (int op = isoparts::kGet; op <= isoparts::kFormat; ++op)
        EXPECT_EQ(accepted[op], stated[op]) << isoparts::kOpNames[op];
    EXPECT_EQ(readWhole, 250u);
}

TEST(IsoChannelTables, TheDeclarationHoldsEveryRowAsTheTablesGiveIt) {
    namespace maps = kzvorn_regmaps::nTolvaneIsoChannelRegMap;
    const isoparts::Model& m = model();
    ASSERT_EQ(maps::kRowCount, isoparts::kRows.size());
    const arm::Kind kinds[] = {arm::Kind::kReadWrite, arm::Kind::kWriteOnly, arm::Kind::kReadOnly,
                               arm::Kind::kPending, arm::Kind::kCommand};
    for (size_t r = 0; r < maps::kRowCount; ++r) {
        const arm::RegisterDesc& row = maps::kRows[r];
        const isoparts::Type& t = *m.type[r];
        SCOPED_TRACE("row " + std::to_string(r + 1) + " " + t.name);
        EXPECT_EQ(arm::wholeId(row), isoparts::kRows[r].whole);
        EXPECT_EQ(row.address, isoparts::kRows[r].offset);
        EXPECT_STREQ(row.typeName, t.name);
        EXPECT_EQ(row.kind, kinds[t.kind]);
        EXPECT_EQ(row.width, 32);
        if (t.kind != isoparts::RO && t.kind != isoparts::UNSHADOWED) {
            EXPECT_EQ(row.keep, t.keep);
        }
        ASSERT_EQ(row.fields.count, m.write[r].size());
        for (size_t f = 0; f < m.write[r].size(); ++f) {
            EXPECT_EQ(row.fields.field[f].low, m.write[r][f].low) << f;
            EXPECT_EQ(row.fields.field[f].width, m.write[r][f].width) << f;
            // A written one-bit field is set by any non-zero value, except two that take bit 0.
            const bool bitZero = (row.address == 0x144 && m.write[r][f].low == 0) ||
                                 (row.address == 0x190 && m.write[r][f].low == 2);
            if (m.write[r][f].width == 1 && t.kind != isoparts::RO) {
                EXPECT_EQ(row.fields.field[f].merge, bitZero ? arm::Merge::kBit : arm::Merge::kFlag) << f;
            }
        }
        ASSERT_EQ(row.readFields == nullptr, m.read[r].empty());
        for (size_t f = 0; f < m.read[r].size(); ++f) {
            EXPECT_EQ(row.readFields->field[f].low, m.read[r][f].low) << f;
            EXPECT_EQ(row.readFields->field[f].width, m.read[r][f].width) << f;
        }
    }
    EXPECT_STREQ(kzvorn_regmaps::kTolvaneIsoChannelMap.version, "1.5.0f22090707");
}

// Runs identifiers through every operation against a map and the tables: each is accepted or
// refused as the tables say, a refusal names its code and touches neither the register nor the
// hardware, and an accepted one answers with the register's value or format in one access at most.
struct Sweep : ::testing::Test {
    kzmaps::FakeFrontEnd port;
    tTolvaneIsoChannelRegMap map{&port, kBase, 0, 0x200};
    unsigned accepted[7] = {};  // of the map's own identifiers

    Sweep() {
        for (uint32_t k = 0; k < 0x200; ++k) port.words[kBase + k] = 0x9E3779B9u * (k + 1);
    }

    struct Snapshot {
        uint64_t shadow;
        uint32_t pending;
        bool dirty;
        bool operator==(const Snapshot& o) const {
            return shadow == o.shadow && pending == o.pending && dirty == o.dirty;
        }
    };
    Snapshot snapshot(int row) const {
        if (row < 0) return Snapshot{0, 0, false};
        const arm::RegisterState& s = map.state(unsigned(row));
        return Snapshot{s.shadow, s.pending, s.dirty};
    }
    // The row whose key the identifier carries, -1 when none has it.
    static int rowOfKey(uint32_t id) {
        for (size_t r = 0; r < isoparts::kRows.size(); ++r)
            if (isoparts::keyOf(isoparts::kRows[r]) == (id & 0xFFFFFF)) return int(r);
        return -1;
    }

    void run(Op op, uint32_t id, uint64_t value, int keyRow) {
        const Named n = isoparts::named(op, id);
        const bool accepts = isoparts::accepts(op, n);
        const std::string what = std::string(isoparts::kOpNames[op]) + " of " + hex(id);
        const Snapshot before = snapshot(keyRow);
        const uint32_t word = keyRow >= 0 ? port.word(kBase + isoparts::kRows[size_t(keyRow)].offset) : 0;
        tStatus st;
        uint64_t out = 0x5A5A;
        uint32_t count = 32;
        arm::FieldType types[32];
        uint64_t masks[32];
        switch (op) {
            case isoparts::kGet: map.get(id, out, st, 0); break;
            case isoparts::kSet: map.set(id, value, st, 0); break;
            case isoparts::kRead: map.read(id, out, st, 0); break;
            case isoparts::kWrite: map.write(id, value, true, st, 0); break;
            case isoparts::kFlush: map.flush(id, true, st, 0); break;
            case isoparts::kRefresh: map.refresh(id, st, 0); break;
            case isoparts::kFormat: map.getRegisterFormat(id, count, types, masks, st); break;
        }
        const std::vector<armtest::Access> made = port.take();
        if (!accepts) {
            EXPECT_EQ(st.code, op == isoparts::kFormat ? kNoRegister : kBadId) << what;
            if (op == isoparts::kGet || op == isoparts::kRead) {
                EXPECT_EQ(out, 0u) << what;
            }
            if (op == isoparts::kFormat) {
                EXPECT_EQ(count, 0u) << what;
            }
            EXPECT_TRUE(made.empty()) << what;
            EXPECT_TRUE(snapshot(keyRow) == before) << what;
            return;
        }
        accepted[op] += model().ids.count(id);
        EXPECT_EQ(st.code, 0) << what;
        const isoparts::Model& m = model();
        const size_t row = size_t(n.row);
        const Kind kind = m.type[row]->kind;
        const uint32_t address = kBase + isoparts::kRows[row].offset;
        const auto valueOf = [&](uint64_t whole) {
            return n.field < 0 ? whole : (whole & isoparts::fieldOf(n).mask()) >> isoparts::fieldOf(n).low;
        };
        switch (op) {
            case isoparts::kGet:
                EXPECT_TRUE(made.empty()) << what;
                EXPECT_EQ(out, valueOf(map.state(unsigned(row)).shadow)) << what;
                break;
            case isoparts::kSet:
                EXPECT_TRUE(made.empty()) << what;
                break;
            case isoparts::kRead:
                EXPECT_EQ(made, std::vector<armtest::Access>{armtest::R(address, 32, word)}) << what;
                EXPECT_EQ(out, valueOf(word)) << what;
                break;
            case isoparts::kWrite:
            case isoparts::kRefresh:
                ASSERT_EQ(made.size(), 1u) << what;
                EXPECT_EQ(made[0].address, address) << what;
                EXPECT_EQ(made[0].write, op == isoparts::kWrite) << what;
                break;
            case isoparts::kFlush:
                EXPECT_EQ(made.size(), kind == isoparts::UNSHADOWED ? 0u : 1u) << what;
                break;
            case isoparts::kFormat: {
                EXPECT_TRUE(made.empty()) << what;
                const std::vector<isoparts::Field>& fields = n.readLayout ? m.read[row] : m.write[row];
                ASSERT_EQ(count, fields.size()) << what;
                for (size_t f = 0; f < fields.size(); ++f) {
                    const unsigned w = fields[f].width;
                    EXPECT_EQ(unsigned(types[f]), w == 1 ? 0u : w <= 8 ? 1u : w <= 16 ? 2u : 3u) << what;
                    EXPECT_EQ(masks[f], fields[f].mask()) << what;
                }
                break;
            }
        }
    }
    void runAll(uint32_t id, uint64_t value) {
        const int keyRow = rowOfKey(id);
        for (int op = isoparts::kGet; op <= isoparts::kFormat; ++op) run(Op(op), id, value, keyRow);
    }
};

TEST_F(Sweep, EveryKeyWithEveryPatternOfBits24To31) {
    std::vector<uint32_t> keys = {0x000000, 0xFFFFFF, 0x6A4831};  // three keys of no register
    for (const isoparts::Row& r : isoparts::kRows) keys.push_back(isoparts::keyOf(r));
    for (uint32_t key : keys)
        for (uint32_t high = 0; high < 256; ++high) runAll(high << 24 | key, 0xA5A5A5A5C3C3C3C3ull);
    // Each of the map's identifiers was among them once.
    const unsigned stated[] = {973, 870, 724, 970, 975, 558, 993};
    for (int op = isoparts::kGet; op <= isoparts::kFormat; ++op)
        EXPECT_EQ(accepted[op], stated[op]) << isoparts::kOpNames[op];
}

TEST_F(Sweep, RandomIdentifiersAndValues) {
    std::mt19937_64 random(2209);
    for (int i = 0; i < 20000; ++i) {
        // Half of them carry a key of the map, so the rest of the identifier decides.
        uint32_t id = uint32_t(random());
        if (i % 2) id = (id & 0xFF000000u) | isoparts::keyOf(isoparts::kRows[random() % isoparts::kRows.size()]);
        runAll(id, random());
    }
    EXPECT_GT(accepted[isoparts::kGet], 0u);  // some of the map's own were drawn
}

TEST_F(Sweep, AnErrorOnEntryChangesNothing) {
    map.markDirtyRegMap();
    tStatus set;
    map.set(0x806A4830, 0x030AA00B, set);  // pending strobes waiting at 0x190
    std::vector<arm::RegisterState> before(map.description().count);
    for (unsigned r = 0; r < before.size(); ++r) before[r] = map.state(r);
    std::vector<uint32_t> ids;
    for (const auto& entry : model().ids)
        ids.insert(ids.end(), {entry.first, entry.first | 0x3F000000u, entry.first ^ 0x40000000u});
    ids.insert(ids.end(), {0, 0xFFFFFFFF, 0x12345678});
    for (uint32_t id : ids) {
        tStatus st;
        KZ_SET_CODE(st, -7);
        uint64_t out = 0x77;
        uint32_t count = 3;
        arm::FieldType types[1] = {arm::kFieldTypeUpTo16Bits};
        uint64_t masks[1] = {0x99};
        map.get(id, out, st, 0);
        map.set(id, 1, st, 0);
        map.read(id, out, st, 0);
        map.write(id, 1, true, st, 0);
        map.flush(id, true, st, 0);
        map.refresh(id, st, 0);
        map.getRegisterFormat(id, count, types, masks, st);
        map.flushRegMap(true, st);
        map.refreshRegMap(st);
        EXPECT_EQ(st.code, -7) << hex(id);
        EXPECT_EQ(out, 0x77u) << hex(id);
        EXPECT_EQ(count, 3u) << hex(id);
        EXPECT_EQ(masks[0], 0x99u) << hex(id);
    }
    EXPECT_TRUE(port.log.empty());
    for (unsigned r = 0; r < before.size(); ++r) {
        EXPECT_EQ(map.state(r).shadow, before[r].shadow) << r;
        EXPECT_EQ(map.state(r).pending, before[r].pending) << r;
        EXPECT_EQ(map.state(r).dirty, before[r].dirty) << r;
    }
}

}  // namespace
