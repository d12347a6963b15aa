#include "kzvorn_regMaps/TolvaneRegisterMap_TolvaneIsoChannelRegMap.h"

namespace kzvorn_regmaps {

namespace {

using nTolvaneIsoChannelRegMap::kRowCount;
using nTolvaneIsoChannelRegMap::kRows;

struct Totals {
    size_t types = 0;
    size_t kinds[8] = {};         // registers by arm::Kind
    size_t fields[8] = {};        // field identifiers by arm::Kind, read-side ones apart
    size_t readSideFields = 0;
    size_t readSides = 0;         // registers with a read layout
    size_t offsets = 0;           // offsets with a register
    size_t sharedOffsets = 0;     // offsets with two
    size_t oneFieldRegisters = 0;
    size_t mostFields = 0;
    uint32_t mostFieldsAt = 0;
};

using arm::Kind;

constexpr Totals count() {
    Totals t;
    for (size_t i = 0; i < kRowCount; ++i) {
        const arm::RegisterDesc& r = kRows[i];
        bool newType = true, newOffset = true, secondAtOffset = false;
        for (size_t j = 0; j < i; ++j) {
            newType = newType && !arm::sameName(kRows[j].typeName, r.typeName);
            if (kRows[j].address == r.address) secondAtOffset = !(newOffset = false) && !secondAtOffset;
        }
        t.types += newType;
        t.offsets += newOffset;
        t.sharedOffsets += secondAtOffset;
        ++t.kinds[unsigned(r.kind)];
        t.fields[unsigned(r.kind)] += r.fields.count;
        t.oneFieldRegisters += r.fields.count == 1;
        if (r.fields.count > t.mostFields) t.mostFields = r.fields.count, t.mostFieldsAt = r.address;
        // (Only the pending-strobe registers have read layouts; the compiler cannot compare the
        // layout's address with null here.)
        if (r.kind != Kind::kPending) continue;
        ++t.readSides;
        for (unsigned f = 0; f < r.readFields->count; ++f) t.readSideFields += arm::onStrobes(r, r.readFields->field[f]);
    }
    return t;
}

#define KZ_COUNT_NAMED(slot, ...) +ARM_PP_IF(ARM_PP_IS_PAREN(slot))(KZ_COUNT_NAMED_TYPED, KZ_COUNT_NAMED_PLAIN)(slot)
#define KZ_COUNT_NAMED_TYPED(slot) KZ_COUNT_NAMED_PLAIN(ARM_PP_FIRST slot)
#define KZ_COUNT_NAMED_PLAIN(slot) ARM_PP_IF(ARM_PP_IS_UNNAMED(slot))(0, 1)
#define KZ_COUNT_TYPE_FIELDS(type, width, kind, initial, keep, ...) __VA_ARGS__
constexpr size_t kNamedFields =
    0 KZ_TOLVANE_ISO_CHANNEL_REGISTERS(ARM_PP_NOTHING, KZ_COUNT_TYPE_FIELDS, ARM_PP_NOTHING, ARM_PP_NOTHING,
                                       KZ_COUNT_NAMED, KZ_COUNT_NAMED);

constexpr Totals kTotals = count();
constexpr size_t kind(Kind k) { return kTotals.kinds[unsigned(k)]; }
constexpr size_t fields(Kind k) { return kTotals.fields[unsigned(k)]; }

static_assert(kRowCount == 297 && kTotals.types == 90, "297 registers of 90 types");
static_assert(kind(Kind::kReadWrite) == 174 && kind(Kind::kWriteOnly) == 51 && kind(Kind::kReadOnly) == 18 &&
                  kind(Kind::kPending) == 4 && kind(Kind::kCommand) == 50,
              "174 read/write, 51 write-only, 18 read-only, 4 pending-strobe and 50 unshadowed registers");
static_assert(kTotals.offsets == 269 && kTotals.sharedOffsets == 28, "269 offsets, 28 of them with two registers");
static_assert(kNamedFields == 76, "76 named fields");
static_assert(kRowCount + kTotals.readSides == 301, "301 register-level identifiers");
static_assert(fields(Kind::kReadWrite) == 333 && fields(Kind::kWriteOnly) == 284 && fields(Kind::kReadOnly) == 80 &&
                  fields(Kind::kPending) + kTotals.readSideFields == 25 && kTotals.readSideFields == 5 &&
                  fields(Kind::kCommand) == 50,
              "772 field identifiers: 333, 284, 80, 25 (5 on the read side) and 50");
static_assert(kTotals.oneFieldRegisters == 198 && kTotals.mostFields == 20 && kTotals.mostFieldsAt == 0x000,
              "198 registers with one field, 20 at most (0x000)");

}  // namespace

tTolvaneIsoChannelRegMap::tTolvaneIsoChannelRegMap(kzvoltixsharedsource::FrontEndAccessorInterface* accessor,
                                                   uint32_t base, uint32_t first, uint32_t count)
    : DeclaredMap(accessor, arm::Window{base, first, count}) {}

tTolvaneIsoChannelRegMap::~tTolvaneIsoChannelRegMap() = default;

}  // namespace kzvorn_regmaps
