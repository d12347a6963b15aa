// The isolated channel map's operations as their descriptions' cases state them, each a script of
// operations over a fake front-end accessor with the accesses it must make; the map-wide walks in
// register order; windows; and the accessor's failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "fakeFrontEnd.h"
#include "isoChannelParts.h"
#include "kzapal/protons/statusCodes.h"
#include "kzvorn_regMaps/TolvaneRegisterMap_TolvaneIsoChannelRegMap.h"

namespace {

using armtest::Access;
using kzvorn_regmaps::tTolvaneIsoChannelRegMap;
using nKZAPALS100::tStatus;

constexpr int64_t kBadId = nKZAPALS100::kStatusBadParameter;
constexpr int64_t kNoRegister = nKZAPALS100::kStatusFeatureNotSupported;
constexpr int64_t kTooSmall = nKZAPALS100::kStatusBufferTooSmall;
constexpr int64_t kOutside = nKZAPALS100::kStatusResourceNotFound;
constexpr int64_t kPortNotReady = kzmaps::kPortNotReady;
constexpr uint32_t kBase = 0x1000;  // channel 0

Access W(uint32_t offset, uint32_t value) { return armtest::W(kBase + offset, 32, value); }
Access R(uint32_t offset, uint32_t value) { return armtest::R(kBase + offset, 32, value); }

// The row of the register an identifier names (its key and bit 30, as flush takes it).
unsigned rowOf(uint32_t id) {
    const int row = isoparts::named(isoparts::kFlush, id).row;
    if (row < 0) ADD_FAILURE() << std::hex << id << " names no register";
    return unsigned(row < 0 ? 0 : row);
}

enum class Op { kGet, kSet, kRead, kWrite, kFlush, kRefresh, kFormat, kState, kHardware, kFail, kRecover };

struct Step {
    Op op;
    uint32_t id = 0;  // an identifier, or an offset for kHardware and kFail
    uint64_t value = 0;
    bool force = false;
    int64_t code = 0;
    uint64_t out = 0;  // value of get and read, count of getRegisterFormat, shadow of kState
    uint32_t pending = 0;
    bool dirty = false;
    std::vector<uint64_t> masks = {};  // of getRegisterFormat
};

Step get(uint32_t id, uint64_t out, int64_t code = 0) { return {Op::kGet, id, 0, false, code, out}; }
Step set(uint32_t id, uint64_t v, int64_t code = 0) { return {Op::kSet, id, v, false, code}; }
Step read(uint32_t id, uint64_t out, int64_t code = 0) { return {Op::kRead, id, 0, false, code, out}; }
Step write(uint32_t id, uint64_t v, bool force = false, int64_t code = 0) { return {Op::kWrite, id, v, force, code}; }
Step flush(uint32_t id, bool force, int64_t code = 0) { return {Op::kFlush, id, 0, force, code}; }
Step refresh(uint32_t id, int64_t code = 0) { return {Op::kRefresh, id, 0, false, code}; }
// getRegisterFormat with a capacity: the code, the count it leaves and the masks.
Step format(uint32_t id, uint32_t capacity, int64_t code, uint32_t count, std::vector<uint64_t> masks = {}) {
    return {Op::kFormat, id, capacity, false, code, count, 0, false, masks};
}
// The shadow, pending word and dirty flag of the register an identifier names.
Step state(uint32_t id, uint64_t shadow, uint32_t pending, bool dirty) {
    return {Op::kState, id, 0, false, 0, shadow, pending, dirty};
}
// What the hardware holds at an offset; an offset whose accesses fail with a code, and again work.
Step hardware(uint32_t offset, uint32_t value) { return {Op::kHardware, offset, value}; }
Step failAt(uint32_t offset, int64_t code = kPortNotReady) { return {Op::kFail, offset, 0, false, code}; }
Step recover(uint32_t offset) { return {Op::kRecover, offset}; }

// A script on a map of channel 0 whose window holds the offsets first to first + count - 1.
struct Case {
    const char* name;
    std::vector<Step> steps;
    std::vector<Access> log;
    uint32_t first = 0;
    uint32_t count = 0x200;
};

void run(const Case& c) {
    kzmaps::FakeFrontEnd port;
    tTolvaneIsoChannelRegMap map(&port, kBase + c.first, c.first, c.count);
    int n = 0;
    for (const Step& s : c.steps) {
        SCOPED_TRACE(std::string(c.name) + ", step " + std::to_string(n++));
        tStatus st;
        uint64_t v = 0xEEEE;
        uint32_t capacity = uint32_t(s.value);
        arm::FieldType types[32];
        uint64_t masks[32] = {};
        switch (s.op) {
            case Op::kGet: map.get(s.id, v, st, 0); break;
            case Op::kSet: map.set(s.id, s.value, st, 0); break;
            case Op::kRead: map.read(s.id, v, st, 0); break;
            case Op::kWrite: map.write(s.id, s.value, s.force, st, 0); break;
            case Op::kFlush: map.flush(s.id, s.force, st, 0); break;
            case Op::kRefresh: map.refresh(s.id, st, 0); break;
            case Op::kFormat: map.getRegisterFormat(s.id, capacity, types, masks, st); break;
            case Op::kHardware: port.words[kBase + s.id] = uint32_t(s.value); continue;
            case Op::kFail: port.fail(kBase + s.id, s.code); continue;
            case Op::kRecover: port.failing.erase(kBase + s.id); continue;
            case Op::kState: {
                const arm::RegisterState& r = map.state(rowOf(s.id));
                EXPECT_EQ(r.shadow, s.out);
                EXPECT_EQ(r.pending, s.pending);
                EXPECT_EQ(r.dirty, s.dirty);
                continue;
            }
        }
        EXPECT_EQ(st.code, s.code);
        if (s.op == Op::kGet || s.op == Op::kRead) {
            EXPECT_EQ(v, s.out);
        }
        if (s.op == Op::kFormat) {
            EXPECT_EQ(capacity, s.out);
            for (size_t f = 0; f < s.masks.size(); ++f) EXPECT_EQ(masks[f], s.masks[f]) << f;
        }
    }
    EXPECT_EQ(port.log, c.log) << c.name;
}

// Status register 0x000 read side, bit 24: 0x465476FC; configuration 0x000: 0x800DCE7E.
const Case kConfigurationAndStatus[] = {
    {"a whole write sends every bit and keeps bits 2, 3 and the bits of no field",
     {write(0x800DCE7E, 0xFFFFFFFF), get(0x800DCE7E, 0x78C0FC0C), state(0x800DCE7E, 0x78C0FC0C, 0, false),
      write(0x080DCE7E, 1), state(0x800DCE7E, 0x78C0FC0C, 0, false)},
     {W(0x000, 0xFFFFFFFF), W(0x000, 0x78C0FC1C)}},
    {"a strobe goes once and reads 0 afterwards",
     {write(0x220DCE7E, 1), get(0x220DCE7E, 0), state(0x800DCE7E, 0, 0, false), write(0x220DCE7E, 1)},
     {W(0x000, 0x00020000), W(0x000, 0x00020000)}},
    {"a one-bit field is set by any non-zero value",
     {write(0x200DCE7E, 0x100000000), write(0x100DCE7E, 2), get(0x100DCE7E, 1)},
     {W(0x000, 0x00000002), W(0x000, 0x00000004)}},
    {"ControlMode takes the value's low two bits; an unchanged clean register is written only when forced",
     {write(0x0015DC6B, 6), get(0x0015DC6B, 2), write(0x0015DC6B, 4), get(0x8015DC6B, 0),
      write(0x0015DC6B, 4), write(0x0015DC6B, 4, true)},
     {W(0x001, 2), W(0x001, 0), W(0x001, 0)}},
    {"the status side reads the word; its field identifiers carry bit 30",
     {hardware(0x000, 0x01000001), read(0x465476FC, 1), read(0x805476FC, 0x01000001), read(0x005476FC, 0, kBadId),
      refresh(0x465476FC, kBadId), refresh(0x805476FC), refresh(0x005476FC), get(0x405476FC, 1)},
     {R(0x000, 0x01000001), R(0x000, 0x01000001), R(0x000, 0x01000001), R(0x000, 0x01000001)}},
    {"the status side is never written, the configuration side never read",
     {set(0x805476FC, 1, kBadId), write(0x805476FC, 1, true, kBadId), flush(0x805476FC, true, kBadId),
      flush(0x405476FC, true, kBadId), read(0x800DCE7E, 0, kBadId), refresh(0x800DCE7E, kBadId),
      get(0x005476FC, 0, kBadId), get(0xC05476FC, 0, kBadId), get(0x400DCE7E, 0, kBadId),
      flush(0x400DCE7E, true, kBadId), refresh(0xC05476FC, kBadId), set(0x800DCE7E, 0x1234), get(0xBF0DCE7E, 0x1234)},
     {}},
    {"formats: a field identifier names its register; a read-only field identifier names nothing",
     {format(0x000DCE7E, 20, 0, 20), format(0x805476FC, 10, 0, 10, {0x1, 0x2, 1 << 24, 1 << 25, 1 << 26, 1 << 27,
                                                                      1 << 28, 1 << 29, 1 << 30, 1ull << 31}),
      format(0x405476FC, 10, kNoRegister, 0), format(0x805476FC, 9, kTooSmall, 9)},
     {}},
    {"field identifiers with bit 31 are the whole register; a bit that starts no field names nothing",
     {write(0x906A4830, 1), state(0x806A4830, 1, 0, false), write(0x201E9AA9, 1, false, kBadId),
      read(0x3F15DC6B, 0, kBadId), read(0xC015DC6B, 0, kBadId), hardware(0x001, 0xFFFFFFFD),
      read(0xBF15DC6B, 0xFFFFFFFD), read(0x0015DC6B, 1)},
     {W(0x190, 1), R(0x001, 0xFFFFFFFD), R(0x001, 0xFFFFFFFD)}},
    {"set: one-bit fields take any non-zero value, wider ones their low bits, a whole register 32 bits",
     {set(0x001E9AA9, 8), get(0x001E9AA9, 0), set(0x0048F60C, 0x1FF), get(0x8048F60C, 0xFF),
      set(0x80B1F0DE, 0x1234567890ull), get(0x80B1F0DE, 0x34567890), set(0x00CB1C75, 2), get(0x80CB1C75, 1),
      state(0x80CB1C75, 1, 0, true), set(0x00CB1C75, 3), state(0x80CB1C75, 1, 0, true)},
     {}},
};

// Occurrence muxes: configuration 0x020 0x80EC3526, status 0x020 0x8075712F; 0x035 0x80A2C17D and 0x803EA104.
const Case kOccurrenceMuxes[] = {
    {"a mux configuration keeps no field after a write; the same whole value goes twice",
     {write(0x0EEC3526, 2), state(0x80EC3526, 0, 0, false), write(0x80EC3526, 0xFFFFFFFF),
      get(0x80EC3526, 0x0F00C3F8), write(0x80EC3526, 0xFFFFFFFF), get(0x80EC3526, 0x0F00C3F8),
      read(0x80EC3526, 0, kBadId)},
     {W(0x020, 0x20000000), W(0x020, 0xFFFFFFFF), W(0x020, 0xFFFFFFFF)}},
    {"a status field written goes to the shared word; the configuration side is untouched",
     {set(0x80EC3526, 0x300), write(0x0C75712F, 1), state(0x80EC3526, 0x300, 0, true), get(0x0C75712F, 1)},
     {W(0x020, 0x00001000)}},
    {"a position wider than its field is cut; the mux actions",
     {write(0x02EC3526, 0x1FF), write(0x0EEC3526, 0x11), get(0x0EEC3526, 0)},
     {W(0x020, 0x00FF0000), W(0x020, 0x10000000)}},
    {"the two configurations at 0x035 answer their own keys and write the one word",
     {write(0x003EA104, 5), set(0x80A2C17D, 0x100), flush(0x80A2C17D, true), state(0x803EA104, 0, 0, false),
      get(0x80A2C17D, 0x100), write(0x00A2C17D, 3)},
     {W(0x035, 5), W(0x035, 0x100), W(0x035, 0x103)}},
};

// Pending strobes: 0x190 0x806A4830 (keep 0xFCF55FF5), 0x194 0x80184F16 (keep 0xFFFFFFFC).
const Case kPendingStrobes[] = {
    {"a strobe field waits in the pending word and goes with the kept bits",
     {hardware(0x190, 0x10), refresh(0x806A4830), write(0x206A4830, 1), state(0x806A4830, 0x10, 0, false)},
     {R(0x190, 0x10), W(0x190, 0x12)}},
    {"set leaves the shadow's strobe bit clear and marks the register dirty even when nothing else changed",
     {set(0x00184F16, 1), state(0x80184F16, 0, 1, true), set(0x20184F16, 1), state(0x80184F16, 0, 3, true),
      flush(0x80184F16, false), state(0x80184F16, 0, 0, false)},
     {W(0x194, 3)}},
    {"a whole write replaces the pending strobes; one equal to the shadow without strobes is no change",
     {set(0x00184F16, 1), write(0xC0184F16, 2), state(0x80184F16, 0, 0, false), write(0x80184F16, 0),
      set(0x806A4830, 0x5), write(0x806A4830, 5), state(0x806A4830, 5, 0, false)},
     {W(0x194, 2), W(0x190, 5)}},
    {"get of a strobe field answers the shadow's bit, the last read, never the pending one",
     {hardware(0x190, 0x01000000), read(0x466A4830, 1), get(0x066A4830, 1), set(0x266A4830, 1),
      get(0x266A4830, 0), state(0x806A4830, 0, 0x02000000, true)},
     {R(0x190, 0x01000000)}},
    {"read takes both whole identifiers and the read side's fields, never a write strobe",
     {hardware(0x190, 0x03000015), read(0x806A4830, 0x03000015), read(0xC06A4830, 0x03000015),
      read(0x666A4830, 1), read(0x106A4830, 1), read(0x206A4830, 0, kBadId), read(0x00184F16, 0, kBadId),
      hardware(0x195, 1), read(0x4064FD75, 1)},
     {R(0x190, 0x03000015), R(0x190, 0x03000015), R(0x190, 0x03000015), R(0x190, 0x03000015), R(0x195, 1)}},
    {"after a read of set flag-clear bits, an unchanged field write still sends, with those bits 0",
     {hardware(0x190, 0x03000001), refresh(0x806A4830), write(0x006A4830, 1)},
     {R(0x190, 0x03000001), W(0x190, 0x00000001)}},
    {"AutorangeType takes bit 0 of the value: 2 clears it and writes",
     {write(0x106A4830, 1), get(0x106A4830, 1), write(0x106A4830, 2), get(0x106A4830, 0)},
     {W(0x190, 4), W(0x190, 0)}},
    {"the read side's fields are not written; its whole identifier is the register",
     {set(0x466A4830, 1, kBadId), write(0x40184F16, 1, true, kBadId), set(0xC06A4830, 0x4), get(0x806A4830, 0x4)},
     {}},
    {"formats of the two sides",
     {format(0x806A4830, 14, 0, 14), format(0xC06A4830, 8, 0, 8, {0x1, 0x4, 0x1800, 0x4000, 0x10000, 0x40000,
                                                                   1 << 24, 1 << 25}),
      format(0x466A4830, 7, kTooSmall, 7), format(0x40184F16, 1, 0, 1, {1}), format(0x00184F16, 2, 0, 2, {1, 2})},
     {}},
};

// Registers with the whole word as strobes, and the unshadowed ones.
const Case kStrobesAndUnshadowed[] = {
    {"a timer is written for every non-zero value and 0 only when forced",
     {write(0x80CFCAC1, 0), write(0x80CFCAC1, 7), write(0x80CFCAC1, 7), get(0x80CFCAC1, 0),
      write(0x80CFCAC1, 0, true)},
     {W(0x041, 7), W(0x041, 7), W(0x041, 0)}},
    {"a strobe of 0x040 goes twice, 0x12C once",
     {write(0x004709D0, 1), write(0x004709D0, 1), write(0x00B1F6CF, 1), write(0x00B1F6CF, 1)},
     {W(0x040, 1), W(0x040, 1), W(0x12C, 1)}},
    {"bit 0 of 0x144 takes the value's bit 0, bit 1 any non-zero value",
     {set(0x007D356A, 2), get(0x007D356A, 0), set(0x207D356A, 2), get(0x807D356A, 2), set(0x007D356A, 3),
      get(0x807D356A, 3)},
     {}},
    {"an unshadowed register is written straight: the field masked, the whole word as given, every call",
     {write(0x008BC0BD, 0xFFFFFFFF), write(0x808BC0BD, 0xFFFFFFFF), write(0x008BC0BD, 0), write(0x008BC0BD, 0),
      flush(0x808BC0BD, true), flush(0x008BC0BD, false)},
     {W(0x060, 0x00FFFFFF), W(0x060, 0xFFFFFFFF), W(0x060, 0), W(0x060, 0)}},
    {"an unshadowed register is read straight and has no shadow",
     {hardware(0x184, 0xFFFFFFFF), read(0x00BE328F, 0x1FFF), read(0xBFBE328F, 0xFFFFFFFF),
      get(0x80BE328F, 0, kBadId), set(0x80BE328F, 1, kBadId), refresh(0x00BE328F, kBadId),
      format(0x00BE328F, 0, kTooSmall, 0), format(0x80BE328F, 1, 0, 1, {0x1FFF})},
     {R(0x184, 0xFFFFFFFF), R(0x184, 0xFFFFFFFF)}},
    {"the charge-balancer status needs room for twelve fields",
     {format(0x804509BB, 11, kTooSmall, 11),
      format(0x804509BB, 12, 0, 12, {0x1, 0x2, 0x4, 0x10, 0x20, 0x40, 0x100, 0x200, 0x400, 0x1000, 0x2000, 0x4000})},
     {}},
    {"flush and refresh of a field identifier act on the whole register",
     {flush(0x0015DC6B, false), set(0x8015DC6B, 0x101), flush(0x0015DC6B, false), flush(0x0015DC6B, true),
      hardware(0x001, 3), refresh(0x3F15DC6B), state(0x8015DC6B, 3, 0, false)},
     {W(0x001, 0x101), W(0x001, 0x101), R(0x001, 3)}},
    {"a read discards a change not yet written",
     {hardware(0x003, 9), set(0x80B1F0DE, 5), read(0x80B1F0DE, 9), state(0x80B1F0DE, 9, 0, false)},
     {R(0x003, 9)}},
};

// Failures of the accessor, and registers outside the window (which start 0x100 here, or end there).
const Case kFailures[] = {
    {"a failed strobe write keeps the strobe and the dirty flag; the next flush sends it again",
     {failAt(0x000), write(0x220DCE7E, 1, false, kPortNotReady), state(0x800DCE7E, 0x20000, 0, true),
      get(0x220DCE7E, 1), recover(0x000), flush(0x800DCE7E, false), state(0x800DCE7E, 0, 0, false)},
     {W(0x000, 0x20000), W(0x000, 0x20000)}},
    {"a failed pending-strobe send moves its strobes into the shadow; the next send masks them off",
     {set(0x006A4830, 1), failAt(0x190), write(0x206A4830, 1, false, kPortNotReady),
      state(0x806A4830, 0x3, 0, true), recover(0x190), flush(0x806A4830, false), state(0x806A4830, 1, 0, false)},
     {W(0x190, 0x3), W(0x190, 0x1)}},
    {"a failed refresh or read keeps the shadow and the dirty flag, and a read answers the old shadow",
     {set(0x80B1F0DE, 5), hardware(0x003, 9), failAt(0x003), refresh(0x80B1F0DE, kPortNotReady),
      state(0x80B1F0DE, 5, 0, true), read(0x80B1F0DE, 5, kPortNotReady), read(0x80B1F0DE, 5, kPortNotReady)},
     {R(0x003, 9), R(0x003, 9), R(0x003, 9)}},
    {"a failed unshadowed read answers what the accessor returned",
     {failAt(0x060), read(0x808BC0BD, 0xBAD0BAD0, kPortNotReady), read(0x008BC0BD, 0xD0BAD0, kPortNotReady),
      write(0x808BC0BD, 1, false, kPortNotReady)},
     {R(0x060, 0), R(0x060, 0), W(0x060, 1)}},
    {"outside the window a write keeps its change dirty and fails each time; a read answers the old shadow",
     {write(0x80A398E1, 7, false, kOutside), state(0x80A398E1, 7, 0, true), write(0x80A398E1, 7, false, kOutside),
      read(0x80A398E1, 7, kOutside), write(0x80368DDD, 0, true, kOutside), state(0x80368DDD, 0, 0, false),
      refresh(0x80A398E1, kOutside), get(0x80A398E1, 7), flush(0x80368DDD, false)},
     {}, 0, 0x100},
    {"outside the window nothing of a pending-strobe write moves",
     {write(0x206A4830, 1, false, kOutside), state(0x806A4830, 0, 0x2, true), flush(0x806A4830, true, kOutside),
      state(0x806A4830, 0, 0x2, true)},
     {}, 0, 0x100},
    {"outside the window an unshadowed register reads all ones and is not written",
     {read(0x80BE328F, 0xFFFFFFFF, kOutside), read(0x00BE328F, 0x1FFF, kOutside), write(0x80BE328F, 1, false, kOutside),
      flush(0x80BE328F, true)},
     {}, 0, 0x100},
    {"the 24-bit field of an unshadowed register outside the window",
     {read(0x008BC0BD, 0x00FFFFFF, kOutside), read(0x808BC0BD, 0xFFFFFFFF, kOutside)},
     {}, 0x100, 0x100},
};

TEST(IsoChannelOperations, ConfigurationAndStatus) {
    for (const Case& c : kConfigurationAndStatus) run(c);
}
TEST(IsoChannelOperations, OccurrenceMuxes) {
    for (const Case& c : kOccurrenceMuxes) run(c);
}
TEST(IsoChannelOperations, PendingStrobes) {
    for (const Case& c : kPendingStrobes) run(c);
}
TEST(IsoChannelOperations, StrobesAndUnshadowedRegisters) {
    for (const Case& c : kStrobesAndUnshadowed) run(c);
}
TEST(IsoChannelOperations, FailuresAndWindows) {
    for (const Case& c : kFailures) run(c);
}

}  // namespace

namespace walks {

using isoparts::Kind;

// The offsets of the rows of these kinds, in row order, as the tables give them; with first and
// count, only the ones in that window.
std::vector<uint32_t> offsetsOf(std::initializer_list<Kind> kinds, uint32_t first = 0, uint32_t count = 0x200) {
    std::vector<uint32_t> out;
    for (size_t r = 0; r < isoparts::kRows.size(); ++r)
        for (Kind k : kinds)
            if (isoparts::model().type[r]->kind == k && isoparts::kRows[r].offset >= first &&
                isoparts::kRows[r].offset - first < count)
                out.push_back(isoparts::kRows[r].offset);
    return out;
}

std::vector<uint32_t> offsetsIn(const std::vector<Access>& log, bool writes) {
    std::vector<uint32_t> out;
    for (const Access& a : log)
        if (a.write == writes) out.push_back(a.address - kBase);
    return out;
}

struct Walks : ::testing::Test {
    kzmaps::FakeFrontEnd port;
    tTolvaneIsoChannelRegMap map{&port, kBase, 0, 0x200};
    tStatus st;

    unsigned dirtyCount() const {
        unsigned n = 0;
        for (unsigned r = 0; r < map.description().count; ++r) n += map.state(r).dirty;
        return n;
    }
};

TEST_F(Walks, AForcedFlushWritesEveryWritableRegisterInRowOrder) {
    map.flushRegMap(false, st);
    EXPECT_TRUE(port.log.empty());  // nothing is dirty after construction
    map.flushRegMap(true, st);
    EXPECT_EQ(st.code, 0);
    const std::vector<uint32_t> written = offsetsIn(port.log, true);
    EXPECT_EQ(written.size(), 229u);
    EXPECT_EQ(written, offsetsOf({isoparts::RW, isoparts::WO, isoparts::PENDING}));
    EXPECT_EQ(offsetsIn(port.log, false).size(), 0u);
    // The shared words: 0x020-0x02A configuration then status; 0x02B-0x02F five of each; 0x035 twice.
    const auto at = [&](uint32_t offset) { return std::find(written.begin(), written.end(), offset); };
    const std::vector<uint32_t> muxes(at(0x020), at(0x020) + 24);
    EXPECT_EQ(muxes, (std::vector<uint32_t>{0x020, 0x020, 0x021, 0x021, 0x022, 0x022, 0x023, 0x023, 0x024, 0x024,
                                            0x025, 0x025, 0x026, 0x026, 0x027, 0x027, 0x028, 0x028, 0x029, 0x029,
                                            0x02A, 0x02A, 0x035, 0x035}));
    const std::vector<uint32_t> secondRun(at(0x02B), at(0x02B) + 20);
    EXPECT_EQ(secondRun, (std::vector<uint32_t>{0x02B, 0x02C, 0x02D, 0x02E, 0x02F, 0x02B, 0x02C, 0x02D, 0x02E, 0x02F,
                                                0x030, 0x031, 0x032, 0x033, 0x034, 0x030, 0x031, 0x032, 0x033, 0x034}));
}

TEST_F(Walks, ARefreshReadsEveryReadableShadowedRegisterInRowOrder) {
    map.refreshRegMap(st);
    EXPECT_EQ(st.code, 0);
    EXPECT_EQ(offsetsIn(port.log, false), offsetsOf({isoparts::RW, isoparts::RO, isoparts::PENDING}));
    EXPECT_EQ(offsetsIn(port.log, false).size(), 196u);
    EXPECT_EQ(offsetsIn(port.log, true).size(), 0u);
}

TEST_F(Walks, MarkedDirtyEveryWritableRegisterIsWrittenAndReadOnlyOnesWaitForARead) {
    map.markDirtyRegMap();
    EXPECT_EQ(dirtyCount(), 247u);
    map.flushRegMap(false, st);
    EXPECT_EQ(offsetsIn(port.take(), true), offsetsOf({isoparts::RW, isoparts::WO, isoparts::PENDING}));
    EXPECT_EQ(dirtyCount(), 18u);
    map.flushRegMap(false, st);
    EXPECT_TRUE(port.take().empty());
    map.refreshRegMap(st);
    EXPECT_EQ(dirtyCount(), 0u);
    // reinitialize forgets every shadow, pending word and dirty flag.
    tStatus set;
    map.set(0x806A4830, 0xFFFFFFFF, set);
    map.set(0x80A398E1, 0x1234, set);
    map.reinitialize();
    EXPECT_EQ(dirtyCount(), 0u);
    for (unsigned r = 0; r < map.description().count; ++r) {
        EXPECT_EQ(map.state(r).shadow, 0u) << r;
        EXPECT_EQ(map.state(r).pending, 0u) << r;
        EXPECT_EQ(map.state(r).address, kBase + isoparts::kRows[r].offset) << r;
    }
}

TEST_F(Walks, AFailingRegisterDoesNotStopAWalkAndTheFirstErrorReplacesAWarning) {
    constexpr int64_t kSecond = KZ_DEVICE_CODE(0xBFFA4681);
    port.fail(kBase + 0x003);
    port.fail(kBase + 0x1FF, kSecond);
    map.markDirtyRegMap();
    KZ_SET_CODE(st, 5);
    map.flushRegMap(false, st);
    EXPECT_EQ(st.code, kPortNotReady);
    EXPECT_EQ(offsetsIn(port.take(), true).size(), 229u);
    EXPECT_EQ(dirtyCount(), 18u + 2u);
    tStatus refresh;
    KZ_SET_CODE(refresh, 5);
    map.refreshRegMap(refresh);
    EXPECT_EQ(refresh.code, kPortNotReady);
    EXPECT_EQ(offsetsIn(port.take(), false).size(), 196u);
}

TEST(IsoChannelWindows, AWindowOfTheFirst256Offsets) {
    kzmaps::FakeFrontEnd port;
    tTolvaneIsoChannelRegMap map(&port, kBase, 0, 0x100);
    tStatus refresh, flush;
    map.refreshRegMap(refresh);
    EXPECT_EQ(refresh.code, kOutside);
    EXPECT_EQ(offsetsIn(port.take(), false).size(), 91u);
    map.flushRegMap(true, flush);
    EXPECT_EQ(flush.code, kOutside);
    const std::vector<uint32_t> written = offsetsIn(port.take(), true);
    EXPECT_EQ(written.size(), 125u);
    EXPECT_EQ(written, offsetsOf({isoparts::RW, isoparts::WO, isoparts::PENDING}, 0, 0x100));
}

TEST(IsoChannelWindows, RegistersInTheWindowAndTheirAddresses) {
    struct Window {
        uint32_t base, first, count;
        std::vector<uint32_t> inside;  // the offsets in the window
    };
    std::vector<uint32_t> muxes;
    for (uint32_t k = 0x020; k <= 0x02F; ++k) muxes.push_back(k);
    std::vector<uint32_t> ditherAndMuxes = muxes;
    ditherAndMuxes.insert(ditherAndMuxes.begin(), 0x010);
    // (The third window's registers are not listed; it is there for the addresses.)
    const Window windows[] = {{0x1000, 0x10, 0x20, ditherAndMuxes}, {0x1000, 0, 0, {}}, {0x1000, 0x20, 0x200, {}},
                              {0x10, 0x20, 0x10, muxes}};
    for (const Window& w : windows) {
        tTolvaneIsoChannelRegMap map(nullptr, w.base, w.first, w.count);
        std::set<uint32_t> inside;
        for (unsigned r = 0; r < map.description().count; ++r) {
            const uint32_t offset = isoparts::kRows[r].offset;
            EXPECT_EQ(map.state(r).address, uint32_t(w.base - w.first + offset)) << r;  // wraps below 0
            if (map.state(r).inWindow) inside.insert(offset);
        }
        if (w.count <= 0x20) {
            EXPECT_EQ(std::vector<uint32_t>(inside.begin(), inside.end()), w.inside);
        }
    }
    tTolvaneIsoChannelRegMap shifted(nullptr, 0x1000, 0x20, 0x200);
    EXPECT_EQ(shifted.state(rowOf(0x80EC3526)).address, 0x1000u);
    tTolvaneIsoChannelRegMap wrapped(nullptr, 0x10, 0x20, 0x200);
    EXPECT_EQ(wrapped.state(0).address, 0xFFFFFFF0u);
}

TEST(IsoChannelWindows, WithoutAnAccessorEveryHardwareAccessFails) {
    tTolvaneIsoChannelRegMap map(nullptr, kBase, 0, 0x200);
    uint64_t v = 0;
    tStatus read, write, flush, refresh, walk, unshadowed;
    map.read(0x80B1F0DE, v, read);
    map.write(0x80B1F0DE, 1, false, write);
    map.flush(0x80B1F0DE, true, flush);
    map.refresh(0x80B1F0DE, refresh);
    map.flushRegMap(true, walk);
    map.read(0x808BC0BD, v, unshadowed);
    for (const tStatus* s : {&read, &write, &flush, &refresh, &walk, &unshadowed}) EXPECT_EQ(s->code, kOutside);
    EXPECT_EQ(v, 0xFFFFFFFFu);
    kzmaps::FakeFrontEnd port;
    map.setAccessor(&port);
    tStatus later;
    map.flush(0x80B1F0DE, false, later);  // still dirty from the refused write
    EXPECT_EQ(later.code, 0);
    EXPECT_EQ(port.log, (std::vector<Access>{W(0x003, 1)}));
}

}  // namespace walks
