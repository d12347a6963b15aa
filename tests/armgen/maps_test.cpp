// The edge cases that the register tables give, run on each map's own table over a register file
// that logs every access (addresses relative to the map's accessor).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "armgen/bench.h"
#include "kzapal/protons/statusCodes.h"
#include "pavo_regMaps/DO.h"
#include "pavo_regMaps/OutTimer.h"
#include "quolinTools/armgen/IsolationPortRegMap.h"
#include "quolinTools/armgen/Quolin.h"
#include "quolinTools/armgen/QuolinConfigPortSPI.h"
#include "quolinTools/armgen/QuolinConfigPortWindow.h"
#include "quolinTools/armgen/QuolinDMAChannel.h"
#include "quolinTools/armgen/StreamCircuitRegMap.h"
#include "quolinTools/armgen/SwitchedQuolinBimRegMap.h"
#include "quolinTools/armgen/Triggers.h"

namespace {

using armtest::Access;
using armtest::R;
using armtest::W;
using nKZAPALS100::tStatus;

constexpr int64_t kBad = nKZAPALS100::kStatusBadParameter;

enum class Op { kGet, kSet, kRead, kWrite, kFlush, kRefresh, kFlushMap, kRefreshMap, kMarkDirty, kShadowOf };

// One step: the operation, its identifier and value (or force), the code it must leave, and the
// value it must return (get, read, and the shadow of a register by whole identifier).
struct Step {
    Op op;
    uint32_t id = 0;
    uint64_t value = 0;
    bool force = false;
    int64_t code = 0;
    uint64_t out = 0;
};

Step get(uint32_t id, uint64_t out, int64_t code = 0) { return {Op::kGet, id, 0, false, code, out}; }
Step set(uint32_t id, uint64_t v, int64_t code = 0) { return {Op::kSet, id, v, false, code, 0}; }
Step read(uint32_t id, uint64_t out, int64_t code = 0) { return {Op::kRead, id, 0, false, code, out}; }
Step write(uint32_t id, uint64_t v, bool force = false, int64_t code = 0) { return {Op::kWrite, id, v, force, code, 0}; }
Step flush(uint32_t id, bool force = false, int64_t code = 0) { return {Op::kFlush, id, 0, force, code, 0}; }
Step refresh(uint32_t id, int64_t code = 0) { return {Op::kRefresh, id, 0, false, code, 0}; }
Step flushMap(bool force) { return {Op::kFlushMap, 0, 0, force, 0, 0}; }
Step refreshMap() { return {Op::kRefreshMap}; }
Step markDirty() { return {Op::kMarkDirty}; }
// The register's shadow and dirty flag (value 1 when dirty).
Step shadow(uint32_t id, uint64_t out, bool dirty) { return {Op::kShadowOf, id, dirty, false, 0, out}; }

struct Case {
    const char* name;
    const arm::MapDesc* map;
    std::vector<std::pair<uint32_t, uint64_t>> memory;
    std::vector<Step> steps;
    std::vector<Access> log;
};

void run(const Case& c) {
    armtest::FakeAccess hw;
    for (auto [address, value] : c.memory) hw.memory[address] = value;
    armtest::Bench map(*c.map, &hw);
    int n = 0;
    for (const Step& s : c.steps) {
        SCOPED_TRACE(std::string(c.name) + " step " + std::to_string(n++));
        tStatus st;
        uint64_t v = 0xEEEE;
        switch (s.op) {
            case Op::kGet: map.get(s.id, v, st); break;
            case Op::kSet: map.set(s.id, s.value, st); break;
            case Op::kRead: map.read(s.id, v, st); break;
            case Op::kWrite: map.write(s.id, s.value, s.force, st); break;
            case Op::kFlush: map.flush(s.id, s.force, st); break;
            case Op::kRefresh: map.refresh(s.id, st); break;
            case Op::kFlushMap: map.flushRegMap(s.force, st); break;
            case Op::kRefreshMap: map.refreshRegMap(st); break;
            case Op::kMarkDirty: map.markDirtyRegMap(); break;
            case Op::kShadowOf: {
                int index = -1;
                for (unsigned i = 0; i < c.map->count && index < 0; ++i)
                    if (c.map->registers[i].hasIdentifier && arm::wholeId(c.map->registers[i]) == s.id) index = int(i);
                ASSERT_GE(index, 0);
                EXPECT_EQ(map.state(index).shadow, s.out);
                EXPECT_EQ(map.state(index).dirty, s.value != 0);
                continue;
            }
        }
        EXPECT_EQ(st.code, s.code);
        if (s.op == Op::kGet || s.op == Op::kRead) {
            EXPECT_EQ(v, s.out);
        }
    }
    EXPECT_EQ(hw.log, c.log) << c.name;
}

const arm::MapDesc& kCore = quolintools::kQuolinMap;
const arm::MapDesc& kDma = quolintools::kQuolinDMAChannelMap;
const arm::MapDesc& kSpi = quolintools::kQuolinConfigPortSPIMap;
const arm::MapDesc& kWin = quolintools::kQuolinConfigPortWindowMap;
const arm::MapDesc& kBim = quolintools::kSwitchedQuolinBimMap;
const arm::MapDesc& kIso = quolintools::kIsolationPortMap;
const arm::MapDesc& kTrig = quolintools::kTriggersMap;
const arm::MapDesc& kStream = quolintools::kStreamCircuitMap;
const arm::MapDesc& kDO = pavo_regmaps::kDOMap;
const arm::MapDesc& kOT = pavo_regmaps::kOutTimerMap;

TEST(MapEdgeCases, FromTheRegisterTables) {
    const Case cases[] = {
        {"core: read-only signature", &kCore, {{0x0, 0xC0107AD0}},
         {get(0xC0000000, 0), read(0xC0000000, 0xC0107AD0), read(0x80000000, 0, kBad), get(0x0200000C, 0, kBad)},
         {R(0x0, 32, 0xC0107AD0)}},
        {"core: capability field", &kCore, {{0xC, 0x00090020}},
         {refresh(0x4200000C), get(0x4200000C, 9), get(0x6800000C, 1)}, {R(0xC, 32, 0x00090020)}},
        {"core: 8-bit data port is all strobe", &kCore, {},
         {write(0x00000460, 0xAB), shadow(0x80000460, 0, false), write(0x00000460, 0), write(0x00000460, 0, true),
          set(0x80000460, 0x1234), shadow(0x80000460, 0x34, true), flushMap(false), shadow(0x80000460, 0, false)},
         {W(0x460, 8, 0xAB), W(0x460, 8, 0), W(0x460, 8, 0x34)}},
        {"core: interrupt-mask flag", &kCore, {},
         {set(0x3E00005C, 2), shadow(0x8000005C, 0x80000000, true), flush(0x3E00005C), flush(0x3E00005C)},
         {W(0x5C, 32, 0x80000000)}},
        {"core: HBRCR number field", &kCore, {},
         {write(0x000000A4, 0x1FFF), shadow(0x800000A4, 0xFFF, false)}, {W(0xA4, 32, 0xFFF)}},
        {"core: refusals by access", &kCore, {},
         {read(0x80000440, 0, kBad), refresh(0x00000460, kBad), flush(0x40000448, true, kBad),
          set(0x4000001C, 1, kBad), write(0xC0000000, 1, true, kBad)},
         {}},
        {"core: forced map flush", &kCore, {},
         {flushMap(false), flushMap(true)},
         {W(0x58, 32, 0), W(0x5C, 32, 0), W(0xA4, 32, 0), W(0x440, 32, 0), W(0x444, 32, 0), W(0x450, 32, 0),
          W(0x458, 32, 0), W(0x460, 8, 0), W(0x460, 64, 0), W(0x510, 32, 0), W(0x514, 32, 0)}},
        {"core: map refresh", &kCore, {},
         {refreshMap()},
         {R(0x0, 32), R(0xC, 32), R(0x1C, 32), R(0x58, 32), R(0x5C, 32), R(0xA4, 32), R(0x444, 32), R(0x448, 32),
          R(0x450, 32), R(0x458, 32), R(0x510, 32), R(0x514, 32)}},
        {"core: read-only registers stay dirty after a map flush", &kCore, {},
         {markDirty(), flushMap(false), shadow(0xC0000448, 0, true), shadow(0x80000058, 0, false), flushMap(false)},
         {W(0x58, 32, 0), W(0x5C, 32, 0), W(0xA4, 32, 0), W(0x440, 32, 0), W(0x444, 32, 0), W(0x450, 32, 0),
          W(0x458, 32, 0), W(0x460, 8, 0), W(0x460, 64, 0), W(0x510, 32, 0), W(0x514, 32, 0)}},
        {"dma: command bits alone", &kDma, {},
         {write(0x06000058, 1), write(0x26000058, 7), write(0x26000058, 0), write(0x80000058, 5),
          write(0x80000058, 5)},
         {W(0x58, 32, 0x01000000), W(0x58, 32, 0x02000000), W(0x58, 32, 0), W(0x58, 32, 5), W(0x58, 32, 5)}},
        {"dma: unshadowed command and read-only status", &kDma, {{0x58, 0x01000000}, {0x60, 0x00AB0000}},
         {read(0x06000058, 1), get(0x80000058, 0, kBad), refresh(0x80000058, kBad), flush(0x80000058, true),
          set(0xC0000060, 1, kBad), set(0x06000058, 1, kBad), read(0x42000060, 0xAB), get(0xC0000060, 0x00AB0000),
          flushMap(true), refreshMap()},
         {R(0x58, 32, 0x01000000), R(0x60, 32, 0x00AB0000), R(0x60, 32, 0x00AB0000), R(0xA0, 32), R(0xA4, 32)}},
        {"spi: bit and flag fields", &kSpi, {},
         {set(0x18000004, 2), shadow(0x80000004, 0, false), set(0x28000004, 2), shadow(0x80000004, 0x20, true),
          write(0x06000004, 0xFF), shadow(0x80000004, 0x7F000020, false), read(0x40000004, 0, kBad)},
         {W(0x4, 32, 0x7F000020)}},
        {"spi: forced map flush", &kSpi, {},
         {flushMap(true)}, {W(0x0, 32, 0), W(0x4, 32, 0), W(0x8, 32, 0), W(0xC, 32, 0)}},
        {"window: unchanged writes", &kWin, {},
         {write(0x800000E0, 0x100), write(0x800000E0, 0x100), write(0x000000E0, 0x100, true), set(0x380000C0, 5),
          get(0x380000C0, 1), set(0x040000C0, 0x40), get(0x040000C0, 0x40), get(0x800000C0, 0x4080)},
         {W(0xE0, 32, 0x100), W(0xE0, 32, 0x100)}},
        {"bim: control strobes", &kBim, {},
         {write(0x80000688, 0xFFFFFFFF), shadow(0x80000688, 0xFFFFFFFC, false), write(0x80000688, 0xFFFFFFFF),
          set(0x80000688, 0), set(0x00000688, 1), flush(0x80000688), shadow(0x80000688, 0, false),
          flush(0x80000688)},
         {W(0x688, 32, 0xFFFFFFFF), W(0x688, 32, 0xFFFFFFFF), W(0x688, 32, 1)}},
        {"bim: refusals and walks", &kBim, {},
         {get(0x00000604, 0, kBad), get(0x80000604, 0), read(0x80000680, 0, kBad), set(0x0A000680, 3),
          get(0x0A000680, 3), refreshMap(), shadow(0x80000680, 0x300000, true), flushMap(true)},
         {R(0x644, 32), R(0x688, 32), R(0x68C, 32), R(0x694, 32), R(0x698, 32), R(0x6A4, 32), R(0x600, 32),
          R(0x604, 32), R(0x700, 32), W(0x644, 32, 0), W(0x680, 32, 0x300000), W(0x688, 32, 0), W(0x68C, 32, 0),
          W(0x698, 32, 0), W(0x6A4, 32, 0), W(0x604, 32, 0)}},
        {"isolation port: initial shadow and strobes", &kIso, {},
         {get(0x80000004, 0x0F000203), set(0x00000004, 1), shadow(0x80000004, 0x0F000203, false),
          write(0x00000004, 0), write(0x00000018, 1), get(0x00000018, 0), write(0x80000018, 0xFFFFFFFF),
          shadow(0x80000018, 0xFFFFFFFC, false), read(0x80000014, 0, kBad)},
         {W(0x4, 32, 0x0F000202), W(0x18, 32, 1), W(0x18, 32, 0xFFFFFFFF)}},
        {"isolation port: forced map flush of a new map", &kIso, {},
         {flushMap(true)}, {W(0x0, 32, 0), W(0x4, 32, 0x0F000203), W(0x18, 32, 0)}},
        {"triggers: strobe bit 5 of 0xA0", &kTrig, {},
         {write(0x280000A0, 1), get(0x280000A0, 0), write(0x000000A0, 5), write(0x280000A0, 1),
          shadow(0x800000A0, 5, false), write(0x800000A0, 0xFFFF), shadow(0x800000A0, 0xFFDF, false),
          write(0x800000A0, 0xFFFF)},
         {W(0xA0, 16, 0x20), W(0xA0, 16, 5), W(0xA0, 16, 0x25), W(0xA0, 16, 0xFFFF), W(0xA0, 16, 0xFFFF)}},
        {"triggers: widths and initial shadows", &kTrig, {{0xDC, 0x3}, {0xE0, 0x8001}},
         {write(0x80000088, 0x1FF), get(0x800000D8, 0xD10), get(0x800000DC, 0x6000), get(0x80000104, 0xD6D8),
          get(0x80000106, 0x8), read(0xC00000DC, 3), set(0x800000DC, 0x6000), shadow(0x800000DC, 0x6000, false),
          flush(0x000000DC), flush(0x1C0000DC, true), read(0x800000E0, 0, kBad), read(0xC00000E0, 0x8001),
          read(0x3C0000E0, 0, kBad), read(0x7C0000E0, 1)},
         {W(0x88, 8, 0xFF), R(0xDC, 16, 3), W(0xDC, 32, 0x6000), R(0xE0, 16, 0x8001), R(0xE0, 16, 0x8001)}},
        {"triggers: flags and one-bit numbers", &kTrig, {},
         {set(0x1C0000CA, 2), shadow(0x800000CA, 0x4000, true), set(0x0C0000A2, 2), shadow(0x800000A2, 0, false),
          get(0xBF0000A2, 0), get(0x200000A2, 0, kBad), set(0x40000000 | 0xA4, 1, kBad)},
         {}},
        {"triggers: output selects", &kTrig, {},
         {write(0x0000008A, 5), write(0x3800008A, 1), write(0x3800008A, 1), write(0x000000F3, 0xFF),
          get(0x800000F3, 0x1F), write(0x800000BA, 0xFF), get(0x000000BA, 0x7F), get(0x380000BA, 1),
          set(0x0000009F, 3), flush(0x0000009F), write(0x0000009F, 3, true), read(0x800000A8, 0, kBad),
          refresh(0x000000A8, kBad)},
         {W(0x8A, 8, 5), W(0x8A, 8, 0x85), W(0xF3, 8, 0x1F), W(0xBA, 8, 0xFF), W(0x9F, 8, 3), W(0x9F, 8, 3)}},
        {"triggers: map refresh", &kTrig, {}, {refreshMap()}, {R(0xDC, 16), R(0xE0, 16)}},
        {"do: mode register", &kDO, {},
         {get(0x80000014, 0x80), flush(0x00000014), flush(0x00000014, true), write(0x80000014, 0, true),
          shadow(0x80000014, 0, false), set(0x20000014, 1), shadow(0x80000014, 2, true)},
         {W(0x14, 32, 0x80), W(0x14, 32, 0)}},
        {"do: unshadowed, 8-bit and the read register", &kDO, {{0x0, 0xABCD1234}},
         {write(0x0000000C, 5), write(0x0000000C, 5), get(0x8000000C, 0, kBad), write(0x08000002, 0x1F),
          shadow(0x80000002, 0xF0, false), read(0xC0000000, 0xABCD1234), read(0x40000000, 0x1234),
          get(0x80000034, 0, kBad), get(0xC0000004, 0, kBad), write(0x00000030, 0xFFFF)},
         {W(0xC, 32, 5), W(0xC, 32, 5), W(0x2, 8, 0xF0), R(0x0, 32, 0xABCD1234), R(0x0, 32, 0xABCD1234),
          W(0x30, 16, 0xFFF)}},
        {"out timer: command, strobe, widths", &kOT, {{0x0, 0x2}},
         {read(0x60000000, 1), read(0x80000000, 0, kBad), write(0x08000000, 1), write(0x08000000, 6),
          write(0x80000000, 0x12345678), set(0x12000020, 1), flush(0x80000020), shadow(0x80000020, 0, false),
          flush(0x00000026, true), get(0x80000028, 0, kBad), flush(0x80000028, true)},
         {R(0x0, 32, 2), W(0x0, 32, 0x10), W(0x0, 32, 0x10), W(0x0, 32, 0x12345678), W(0x20, 32, 0x40000),
          W(0x26, 16, 1)}},
        {"stream circuit: control bits and shared 0x810", &kStream, {{0x810, 77}},
         {write(0x00000800, 1), write(0x04000800, 1), read(0x40000810, 77), read(0x00000810, 0xEEEE, kBad),
          write(0x40000810, 1, false, kBad), write(0x00000810, 9), get(0x80000800, 0xEEEE, kBad),
          refresh(0x00000800, kBad), flush(0x00000800, true)},
         {W(0x800, 32, 1), W(0x800, 32, 0x100), R(0x810, 32, 77), W(0x810, 32, 9)}},
        {"stream circuit: twin views", &kStream, {},
         {set(0x0C000904, 0x3FF), get(0x80000904, 0), get(0x0C000904, 0x3FF), flush(0x0C000904),
          flush(0x3F000904, true, kBad), markDirty(), flushMap(false)},
         {W(0x904, 32, 0x3FF000), W(0x818, 32, 0), W(0x81C, 32, 0), W(0x820, 32, 0), W(0x824, 32, 0),
          W(0x828, 32, 0), W(0x82C, 32, 0), W(0x830, 32, 0), W(0x840, 32, 0), W(0x844, 32, 0), W(0x848, 32, 0),
          W(0x900, 32, 0), W(0x910, 32, 0), W(0x920, 32, 0), W(0x930, 32, 0), W(0x904, 32, 0), W(0x914, 32, 0),
          W(0x924, 32, 0), W(0x934, 32, 0), W(0x904, 32, 0x3FF000), W(0x914, 32, 0), W(0x924, 32, 0),
          W(0x934, 32, 0)}},
    };
    for (const Case& c : cases) run(c);
}

TEST(MapEdgeCases, WalkCountsOfTheBiggerMaps) {
    armtest::FakeAccess hw;
    armtest::Bench triggers(kTrig, &hw);
    tStatus st;
    triggers.flushRegMap(true, st);
    ASSERT_EQ(hw.log.size(), 99u);
    EXPECT_EQ(hw.log.front(), W(0xA0, 16, 0));
    EXPECT_EQ(hw.log.back(), W(0xF7, 8, 0));
    unsigned nonZero = 0;
    for (const Access& a : hw.log) nonZero += a.value != 0;
    EXPECT_EQ(nonZero, 4u);  // the four initial shadows
    hw.log.clear();
    armtest::Bench stream(kStream, &hw);
    stream.flushRegMap(true, st);
    EXPECT_EQ(hw.writes().size(), 22u);
    stream.refreshRegMap(st);
    EXPECT_EQ(hw.reads().size(), 23u);
    EXPECT_EQ(hw.reads().front(), R(0x814, 32));
    EXPECT_EQ(st.code, 0);
}

struct Format {
    const arm::MapDesc* map;
    uint32_t id;
    std::vector<unsigned> types;
    std::vector<uint64_t> masks;
};

TEST(MapEdgeCases, FormatRepliesFromTheTables) {
    const std::vector<uint64_t> pairs = {0x3, 0xC, 0x30, 0xC0, 0x300, 0xC00, 0x3000, 0xC000, 0x30000, 0xC0000,
                                         0x300000, 0xC00000, 0x3000000, 0xC000000, 0x30000000, 0xC0000000};
    const Format formats[] = {
        {&kDma, 0x40000060, {2, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0},
         {0xFFF, 0x1000, 0x2000, 0x4000, 0x8000, 0xFF0000, 0x1000000, 0x2000000, 0x4000000, 0x8000000, 0x30000000,
          0x40000000, 0x80000000}},
        {&kDma, 0x80000058, {0, 0, 0, 0, 0, 0}, {0x1, 0x2, 0x4, 0x8, 0x1000000, 0x2000000}},
        {&kCore, 0x0400005C, std::vector<unsigned>(13, 0),
         {0x1, 0x100, 0x200, 0x400, 0x800, 0x1000000, 0x2000000, 0x4000000, 0x8000000, 0x10000000, 0x20000000,
          0x40000000, 0x80000000}},
        {&kCore, 0x80000460, {1}, {0xFF}},
        {&kWin, 0x000000C0, {1, 0, 3}, {0x1F, 0x80, 0xFFFFFF00}},
        {&kBim, 0x80000688, {0, 0, 0, 1, 1, 1, 1, 1, 1},
         {0x1, 0x2, 0x4, 0x700, 0x3800, 0x1C000, 0xE0000, 0xF00000, 0xFF000000}},
        {&kIso, 0x80000004, {0, 0, 1, 0, 0, 0, 0, 1, 1, 1, 1},
         {0x1, 0x2, 0x30, 0x80, 0x100, 0x200, 0x400, 0xF000, 0xF0000, 0xC00000, 0xF000000}},
        {&kTrig, 0x800000E4, std::vector<unsigned>(16, 1), pairs},
        {&kDO, 0x80000028, std::vector<unsigned>(16, 1), pairs},
        {&kStream, 0x80000800, std::vector<unsigned>(14, 0),
         {0x1, 0x2, 0x4, 0x8, 0x100, 0x200, 0x400, 0x800, 0x2000, 0x4000, 0x8000, 0x10000, 0x20000, 0x40000}},
        {&kStream, 0x40000880, {1, 1, 0, 0, 0, 0, 2}, {0xF, 0xF0, 0x100, 0x200, 0x400, 0x800, 0xFFFF0000}},
        {&kStream, 0x0C000904, {3, 1}, {0xFFFFFFF, 0xF0000000}},  // the first view answers
    };
    armtest::FakeAccess hw;
    for (const Format& f : formats) {
        armtest::Bench map(*f.map, &hw);
        const uint32_t n = uint32_t(f.types.size());
        arm::FieldType types[32];
        uint64_t masks[32];
        uint32_t count = n;
        tStatus st;
        map.getRegisterFormat(f.id, count, types, masks, st);
        ASSERT_EQ(st.code, 0) << std::hex << f.id;
        ASSERT_EQ(count, n) << std::hex << f.id;
        for (uint32_t i = 0; i < n; ++i) {
            EXPECT_EQ(unsigned(types[i]), f.types[i]) << std::hex << f.id << " " << i;
            EXPECT_EQ(masks[i], f.masks[i]) << std::hex << f.id << " " << i;
        }
        count = n - 1;
        tStatus small;
        map.getRegisterFormat(f.id, count, types, masks, small);
        EXPECT_EQ(small.code, nKZAPALS100::kStatusBufferTooSmall);
        EXPECT_EQ(count, n - 1);
    }
    const std::pair<const arm::MapDesc*, uint32_t> unknown[] = {
        {&kDma, 0x00000000}, {&kDma, 0x80000000}, {&kStream, 0x80000804}, {&kTrig, 0x8000007E},
        {&kTrig, 0x80000107}, {&kSpi, 0x40000004}, {&kDO, 0x80000034}};
    for (auto [map, id] : unknown) {
        armtest::Bench m(*map, &hw);
        uint32_t count = 5;
        arm::FieldType types[5];
        uint64_t masks[5];
        tStatus st;
        m.getRegisterFormat(id, count, types, masks, st);
        EXPECT_EQ(st.code, nKZAPALS100::kStatusFeatureNotSupported) << std::hex << id;
        EXPECT_EQ(count, 0u);
    }
    EXPECT_TRUE(hw.log.empty());
}

// The digital-output map and its output-timer sub-map, on the table-driven engine with windows.
struct TimingBlock {
    armtest::FakeAccess hw;
    armtest::Bench out{kOT, &hw, arm::Window{pavo_regmaps::kOutTimerBase, 0, 0xFFFFFFFF}};
    armtest::Bench dout{kDO, &hw};
    TimingBlock() { dout.adopt(&out); }
};

TEST(MapEdgeCases, DigitalOutputWalksCarryTheOutputTimer) {
    TimingBlock t;
    tStatus st;
    t.dout.flushRegMap(true, st);
    const std::vector<Access> expected = {
        W(0x00, 8, 0), W(0x02, 8, 0), W(0x04, 32, 0), W(0x08, 32, 0), W(0x10, 32, 0), W(0x14, 32, 0x80),
        W(0x18, 32, 0), W(0x24, 32, 0), W(0x28, 32, 0), W(0x2C, 32, 0), W(0x38, 32, 0), W(0x3C, 32, 0),
        W(0x40, 32, 0), W(0x44, 32, 0), W(0x48, 32, 0), W(0x4C, 32, 0), W(0x50, 32, 0), W(0x54, 32, 0),
        W(0x58, 16, 0), W(0x5A, 16, 1), W(0x64, 32, 0)};
    EXPECT_EQ(t.hw.log, expected);
    t.hw.log.clear();
    t.dout.refreshRegMap(st);
    EXPECT_EQ(t.hw.log, (std::vector<Access>{R(0x00, 32), R(0x34, 32), R(0x38, 32), R(0x40, 32), R(0x48, 32)}));
    t.hw.log.clear();
    t.dout.markDirtyRegMap();
    t.dout.flushRegMap(false, st);
    EXPECT_EQ(t.hw.log, expected);  // every shadowed writable register of both maps, once
    EXPECT_EQ(st.code, 0);
}

TEST(MapEdgeCases, DigitalOutputWindowsAfterReinitialize) {
    TimingBlock t;
    tStatus st;
    t.dout.set(0x80000014, 0x1234, st);
    t.dout.setWindow(0x100, 4, 8);
    t.dout.reinitialize();
    uint64_t v = 0;
    t.dout.get(0x80000014, v, st);
    EXPECT_EQ(v, 0x80u);  // back to the initial shadow
    tStatus f0, f2;
    t.dout.flush(0x80000000, true, f0);
    t.dout.flush(0x80000002, true, f2);
    EXPECT_EQ(f0.code, nKZAPALS100::kStatusResourceNotFound);
    EXPECT_EQ(f2.code, nKZAPALS100::kStatusResourceNotFound);
    t.dout.flush(0x80000004, true, st);
    t.dout.flush(0x80000008, true, st);
    EXPECT_EQ(t.hw.log, (std::vector<Access>{W(0x100, 32, 0), W(0x104, 32, 0)}));
    // Keys from 0x14 on outside the window: the walk reports -52006 and still writes the five
    // shadowed registers below 0x14 and all eleven of the sub-map.
    TimingBlock u;
    u.dout.setWindow(0, 0, 0x14);
    u.dout.reinitialize();
    tStatus walk;
    u.dout.flushRegMap(true, walk);
    EXPECT_EQ(walk.code, nKZAPALS100::kStatusResourceNotFound);
    EXPECT_EQ(u.hw.log.size(), 5u + 11u);
    // The output timer with window (0x34, 0x10, 8): only key 0x14's read register is read.
    TimingBlock o;
    o.out.setWindow(0x34, 0x10, 8);
    o.dout.reinitialize();
    tStatus r;
    o.out.refreshRegMap(r);
    EXPECT_EQ(r.code, nKZAPALS100::kStatusResourceNotFound);
    EXPECT_EQ(o.hw.log, (std::vector<Access>{R(0x38, 32)}));
}

}  // namespace
