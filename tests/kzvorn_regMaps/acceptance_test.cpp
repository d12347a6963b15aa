// Every identifier of the four maps, with its variants, through every operation: each is accepted
// or refused as the register's access and the two normalisations say, with the rules' codes, and a
// refused one touches neither a shadow nor the hardware.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "fakeChip.h"
#include "fixture.h"
#include "kzapal/protons/statusCodes.h"

namespace {

using nKZAPALS100::tStatus;
using parts::RO;
using parts::WO;

constexpr int64_t kBadId = nKZAPALS100::kStatusBadParameter;
constexpr int64_t kNoRegister = nKZAPALS100::kStatusFeatureNotSupported;

// What a value identifier names under the rules: register and field (field -1: the whole register).
struct Named {
    int reg = -1;
    int field = -1;
};

// The identifiers a table defines: whole registers and fields, by value identifier.
std::map<uint32_t, Named> definedIds(const std::vector<parts::Register>& part) {
    std::map<uint32_t, Named> ids;
    for (size_t r = 0; r < part.size(); ++r) {
        ids[parts::wholeId(part[r])] = Named{int(r), -1};
        const std::vector<parts::Field> fields = parts::fieldsOf(part[r]);
        for (size_t f = 0; f < fields.size(); ++f) ids[parts::fieldId(part[r], fields[f])] = Named{int(r), int(f)};
    }
    return ids;
}

// The two normalisations: value operations ignore bits 24-29 of a whole-register identifier;
// register operations read only the key and bit 30.
Named nameForValues(const std::map<uint32_t, Named>& defined, uint32_t id) {
    const auto it = defined.find((id & 0x80000000u) ? id & 0xC0FFFFFFu : id);
    return it == defined.end() ? Named{} : it->second;
}

int nameForRegisters(const std::map<uint32_t, Named>& defined, uint32_t id) {
    const auto it = defined.find((id & 0x40FFFFFFu) | 0x80000000u);
    return it == defined.end() ? -1 : it->second.reg;
}

// Each register's identifiers with their variants, and a few that name nothing anywhere.
std::vector<uint32_t> identifiersOf(const std::vector<parts::Register>& part) {
    std::vector<uint32_t> ids = {0x00000000, 0xFFFFFFFF, 0x80FFFFFF, 0xC0000000, 0x00ABCDEF};
    for (const parts::Register& r : part) {
        const uint32_t whole = parts::wholeId(r);
        ids.insert(ids.end(), {whole, whole | 0x3F000000u, whole | 0x40000000u, whole & 0x7FFFFFFFu});
        for (const parts::Field& f : parts::fieldsOf(r)) {
            const uint32_t id = parts::fieldId(r, f);
            ids.insert(ids.end(), {id, id ^ 0x40000000u, id | 0x80000000u});
        }
    }
    return ids;
}

std::vector<uint64_t> shadows(const arm::TableMap& map) {
    std::vector<uint64_t> out;
    for (unsigned i = 0; i < map.description().count; ++i)
        out.push_back(map.state(i).shadow * 2 + map.state(i).dirty);
    return out;
}

enum Op { kGet, kSet, kRead, kWrite, kFlush, kRefresh, kFormat };
const char* const kOpNames[] = {"get", "set", "read", "write", "flush", "refresh", "getRegisterFormat"};

// Runs every operation on every identifier of `part` against `map`; `takeAccesses` answers the
// hardware accesses made since its last call. Identifiers of `foreign` tables must all be refused.
void sweep(arm::WindowedTableMap& map, const std::vector<parts::Register>& part,
           const std::function<size_t()>& takeAccesses,
           const std::vector<const std::vector<parts::Register>*>& foreign = {}) {
    std::vector<uint32_t> ids = identifiersOf(part);
    std::vector<uint32_t> refusedEverywhere;
    for (const auto* other : foreign)
        for (uint32_t id : identifiersOf(*other)) refusedEverywhere.push_back(id);
    ids.insert(ids.end(), refusedEverywhere.begin(), refusedEverywhere.end());
    const std::map<uint32_t, Named> defined = definedIds(part);
    unsigned accepted[7] = {};
    for (uint32_t id : ids) {
        const Named value = nameForValues(defined, id);
        const int reg = nameForRegisters(defined, id);
        for (int op = kGet; op <= kFormat; ++op) {
            const bool byValue = op <= kWrite;
            const int target = byValue ? value.reg : reg;
            bool accepts = target >= 0;
            if (accepts) {
                const parts::Access access = part[target].access;
                if (op == kSet || op == kWrite || op == kFlush) accepts = access != RO;
                if (op == kRead || op == kRefresh) accepts = access != WO;
            }
            const std::vector<uint64_t> before = shadows(map);
            takeAccesses();
            tStatus st;
            uint64_t v = 0x5A5A;
            uint32_t count = 40;
            arm::FieldType types[40];
            uint64_t masks[40];
            switch (op) {
                case kGet: map.get(id, v, st, 0); break;
                case kSet: map.set(id, 0xA5A5A5A5, st, 0); break;
                case kRead: map.read(id, v, st, 0); break;
                case kWrite: map.write(id, 0x5A5A5A5A, false, st, 0); break;
                case kFlush: map.flush(id, true, st, 0); break;
                case kRefresh: map.refresh(id, st, 0); break;
                case kFormat: map.getRegisterFormat(id, count, types, masks, st); break;
            }
            char hex[16];
            std::snprintf(hex, sizeof hex, "0x%08X", id);
            const std::string what = std::string(kOpNames[op]) + " of " + hex;
            if (!accepts) {
                EXPECT_EQ(st.code, op == kFormat ? kNoRegister : kBadId) << what;
                if (op == kGet || op == kRead) {
                    EXPECT_EQ(v, 0u) << what;
                }
                if (op == kFormat) {
                    EXPECT_EQ(count, 0u) << what;
                }
                EXPECT_EQ(shadows(map), before) << what;
                EXPECT_EQ(takeAccesses(), 0u) << what;
                continue;
            }
            ++accepted[op];
            EXPECT_EQ(st.code, 0) << what;
            const size_t made = takeAccesses();
            const size_t expectedAccesses = op == kGet || op == kSet || op == kFormat ? 0 : 1;
            if (op == kWrite) {
                EXPECT_LE(made, 1u) << what;
            } else {
                EXPECT_EQ(made, expectedAccesses) << what;
            }
            if (op == kGet) {
                const uint64_t shadow = map.state(unsigned(target)).shadow;
                const uint64_t expected =
                    value.field < 0 ? shadow : (shadow & parts::fieldsOf(part[target])[value.field].mask()) >>
                                                   parts::fieldsOf(part[target])[value.field].low;
                EXPECT_EQ(v, expected) << what;
            }
            if (op == kFormat) {
                const std::vector<parts::Field> fields = parts::fieldsOf(part[target]);
                ASSERT_EQ(count, fields.size()) << what;
                for (size_t f = 0; f < fields.size(); ++f) {
                    const unsigned w = fields[f].width;
                    EXPECT_EQ(unsigned(types[f]), w == 1 ? 0u : w <= 8 ? 1u : w <= 16 ? 2u : 3u) << what;
                    EXPECT_EQ(masks[f], fields[f].mask()) << what;
                }
            }
        }
    }
    // Nothing foreign was accepted (counted above as refusals), and the map accepted something.
    EXPECT_GT(accepted[kGet], 0u);
}

struct Acceptance : kzmaps::NisoBoard {
    size_t outside = 0;  // accesses outside the two sub-maps' blocks
    size_t takeBoardAccesses() {
        const std::vector<armtest::Access> made = seen();
        for (const armtest::Access& a : made)
            outside += !((a.address >= 0x460 && a.address < 0x4C0) || (a.address >= 0x5A0 && a.address < 0x5B8));
        board.log().clear();
        return made.size();
    }
};

TEST_F(Acceptance, NonIsolatedFpgaMapRefusesEveryMeasureUnitAndPowerMonitorIdentifier) {
    kzvorn_regmaps::tTolvaneNisoFpgaRegMap niso(&block, st, 0, 0, 0xFFFFFFFF);
    sweep(niso, parts::kNisoFpga, [&] { return takeBoardAccesses(); },
          {&parts::kMeasureUnit, &parts::kPowerMonitor});
}

TEST_F(Acceptance, MeasureUnitAndPowerMonitorWindows) {
    kzvorn_regmaps::tTolvaneNisoMeasureUnitRegMap unit(&block, arm::Window{0x460, 0, 0x60});
    sweep(unit, parts::kMeasureUnit, [&] { return takeBoardAccesses(); });
    kzvorn_regmaps::tIna231PowerMonitorRegMap monitor(&block, arm::Window{0x5A0, 0, 0x18});
    sweep(monitor, parts::kPowerMonitor, [&] { return takeBoardAccesses(); });
    EXPECT_EQ(outside, 0u);
}

TEST(ChipAcceptance, Ina231ChipMap) {
    kzmaps::FakeIna231 chip;
    kzvorn_regmaps::tIna231RegMap map(&chip);
    sweep(map, parts::kIna231, [&] {
        const size_t made = chip.log.size();
        chip.log.clear();
        return made;
    });
}

}  // namespace
