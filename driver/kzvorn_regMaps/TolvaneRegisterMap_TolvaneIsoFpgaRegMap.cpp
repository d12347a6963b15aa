#include "kzvorn_regMaps/TolvaneRegisterMap_TolvaneIsoFpgaRegMap.h"

#include "kzapal/protons/memory.h"

namespace kzvorn_regmaps {

namespace {

using arm::Kind;
using nTolvaneIsoFpgaRegMap::kRowCount;
using nTolvaneIsoFpgaRegMap::kRows;

struct Totals {
    size_t kinds[8] = {};
    size_t identifiers = 0;  // whole-register and field identifiers of the value operations
    size_t flushed = 0;
    size_t refreshed = 0;
};

constexpr Totals count() {
    Totals t;
    for (size_t i = 0; i < kRowCount; ++i) {
        const arm::RegisterDesc& r = kRows[i];
        ++t.kinds[unsigned(r.kind)];
        if (arm::isShadowed(r.kind)) t.identifiers += 1 + r.fields.count;
        t.flushed += arm::isShadowed(r.kind) && arm::isWritable(r.kind);
        t.refreshed += arm::isShadowed(r.kind) && arm::isReadable(r.kind);
    }
    return t;
}

constexpr Totals kTotals = count();
constexpr size_t kind(Kind k) { return kTotals.kinds[unsigned(k)]; }

static_assert(kRowCount == 77, "77 register objects");
static_assert(kind(Kind::kReadWrite) == 33 && kind(Kind::kWriteOnly) == 27 && kind(Kind::kReadOnly) == 15 &&
                  kind(Kind::kFormatOnly) == 2,
              "33 read/write, 27 write-only, 15 read-only and 2 unshadowed registers");
static_assert(kTotals.flushed == 60 && kTotals.refreshed == 48, "60 registers flushed, 48 refreshed");
static_assert(kTotals.identifiers == 323, "75 whole-register and 248 field identifiers");

}  // namespace

tTolvaneIsoFpgaRegMap::tTolvaneIsoFpgaRegMap(tAccessor* accessor, tStatus& status)
    : DeclaredMap(accessor, arm::kWholeWindow) {
    attachSubMaps(subMaps_, kChannelMapCount);
    if (status.isFatal()) return;
    const ChannelBaseAddressCalculator calculator;
    for (unsigned c = 0; c < kChannelMapCount; ++c) {
        tStatus allocation;  // the map reports the failure as its own
        channelMaps_[c] =
            new (allocation) tTolvaneIsoChannelRegMap(accessor, calculator.calculate(c), 0, kChannelMapSize);
        if (channelMaps_[c] == nullptr) {
            nKZAPALS100::setCode(status, nKZAPALS100::kStatusMemoryFull, KZ_COMPONENT, kTolvaneIsoFpgaMap.source,
                                 __LINE__);
            return;
        }
        subMaps_[c] = channelMaps_[c];
    }
}

tTolvaneIsoFpgaRegMap::~tTolvaneIsoFpgaRegMap() {
    for (unsigned c = kChannelMapCount; c-- > 0;) delete channelMaps_[c];
}

}  // namespace kzvorn_regmaps
