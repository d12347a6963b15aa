// Every bridge and timing table against the register tables: register and field counts per map
// and per register, and the literal identifiers with their masks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "armgen/bench.h"
#include "pavo_regMaps/DO.h"
#include "pavo_regMaps/OutTimer.h"
#include "quolinTools/armgen/IOPort2RegMap.h"
#include "quolinTools/armgen/IsolationPortRegMap.h"
#include "quolinTools/armgen/Quolin.h"
#include "quolinTools/armgen/QuolinConfigPortSPI.h"
#include "quolinTools/armgen/QuolinConfigPortWindow.h"
#include "quolinTools/armgen/QuolinDMAChannel.h"
#include "quolinTools/armgen/StreamCircuitRegMap.h"
#include "quolinTools/armgen/SwitchedQuolinBimRegMap.h"
#include "quolinTools/armgen/Triggers.h"

namespace {

using Counts = std::vector<unsigned>;

Counts repeat(Counts head, unsigned times, Counts each) {
    for (unsigned i = 0; i < times; ++i) head.insert(head.end(), each.begin(), each.end());
    return head;
}

struct Census {
    const char* name;
    const arm::MapDesc* map;
    Counts fieldsPerRegister;  // member order
    unsigned totalFields;
    const char* version;
};

TEST(Tables, RegisterAndFieldCountsMatchTheRegisterTables) {
    const Counts triggersScalars = {3, 4, 16, 8, 4, 4, 4, 4, 2, 4, 16, 8, 8, 10, 2,
                                    5, 2, 16, 1, 1, 16, 4, 4, 4, 4, 3, 2, 1, 1};
    Counts triggers = repeat(triggersScalars, 24, {2});
    triggers = repeat(triggers, 8, {1});
    triggers = repeat(triggers, 16, {2});
    triggers = repeat(triggers, 24, {1});  // CTSI and the two internal trigger banks
    const Census census[] = {
        {"Quolin", &quolintools::kQuolinMap, {1, 8, 1, 2, 13, 10, 4, 2, 2, 1, 1, 1, 0, 3, 8}, 57, "23.3.0f121"},
        {"QuolinDMAChannel", &quolintools::kQuolinDMAChannelMap, {13, 6, 1, 1}, 21, "23.3.0f121"},
        {"QuolinConfigPortSPI", &quolintools::kQuolinConfigPortSPIMap, {9, 12, 12, 2}, 35, "23.3.0f121"},
        {"QuolinConfigPortWindow", &quolintools::kQuolinConfigPortWindowMap, {3, 1}, 4, "23.3.0f121"},
        {"SwitchedQuolinBimRegMap", &quolintools::kSwitchedQuolinBimMap, {2, 5, 9, 1, 1, 1, 1, 3, 3, 1}, 27,
         "23.3.0f121"},
        {"IOPort2RegMap", &quolintools::kIOPort2Map, {8, 5, 1, 1, 21, 2, 8, 8}, 54, "23.3.0f121"},
        {"IsolationPortRegMap", &quolintools::kIsolationPortMap, {1, 11, 1, 7}, 20, "23.3.0f121"},
        {"StreamCircuitRegMap", &quolintools::kStreamCircuitMap,
         {14, 3, 1, 1, 1, 1, 2, 2, 2, 1, 1, 1, 3, 1, 1, 7, 3, 6, 2, 2, 2, 8, 6, 2, 2, 1, 1, 1, 1, 1, 2, 2, 2, 2, 1, 1,
          1, 1},
         92, "200a13081315"},
        {"Triggers", &quolintools::kTriggersMap, triggers, 273, "200a13081315"},
        {"DO", &pavo_regmaps::kDOMap, {1, 3, 1, 1, 32, 1, 1, 4, 8, 1, 1, 1, 16, 16, 1}, 88, "200a13081315"},
        {"OutTimer", &pavo_regmaps::kOutTimerMap, {18, 27, 1, 1, 1, 1, 1, 1, 1, 1, 1, 16, 13, 4, 2, 15, 15, 7, 4},
         130, "200a13081315"},
    };
    unsigned registers = 0, fields = 0;
    for (const Census& c : census) {
        EXPECT_EQ(armtest::fieldCounts(*c.map), c.fieldsPerRegister) << c.name;
        unsigned total = 0;
        for (unsigned n : armtest::fieldCounts(*c.map)) total += n;
        EXPECT_EQ(total, c.totalFields) << c.name;
        EXPECT_STREQ(c.map->version, c.version) << c.name;
        registers += c.map->count;
        fields += total;
    }
    EXPECT_EQ(registers, 15u + 4 + 4 + 2 + 10 + 8 + 4 + 38 + 101 + 15 + 19);
    EXPECT_EQ(fields, 801u);
}

TEST(Tables, KindsAndInitialShadowsMatch) {
    using arm::Kind;
    EXPECT_EQ(arm::countKind(quolintools::nTriggers::kRows, Kind::kWriteOnly), 99u);
    EXPECT_EQ(arm::countKind(quolintools::nTriggers::kRows, Kind::kReadOnly), 2u);
    EXPECT_EQ(arm::countKind(quolintools::nStreamCircuitRegMap::kRows, Kind::kCommandReadOnly), 12u);
    EXPECT_EQ(arm::countKind(quolintools::nStreamCircuitRegMap::kRows, Kind::kReadWrite), 22u);
    EXPECT_EQ(arm::countKind(quolintools::nSwitchedQuolinBimRegMap::kRows, Kind::kReadOnly), 3u);
    EXPECT_EQ(arm::countKind(pavo_regmaps::nDO::kRows, Kind::kCommandWriteOnly), 4u);
    EXPECT_EQ(arm::countKind(pavo_regmaps::nOutTimer::kRows, Kind::kCommandWriteOnly), 4u);
    EXPECT_EQ(arm::countKind(pavo_regmaps::nOutTimer::kRows, Kind::kReadOnly), 4u);
    struct Initial { const arm::RegisterDesc* rows; unsigned count; uint32_t offset; bool readSide; uint64_t shadow; uint64_t keep; };
    const Initial initial[] = {
        {quolintools::nTriggers::kRows, 101, 0xA0, false, 0, 0xFFDF},
        {quolintools::nTriggers::kRows, 101, 0xD8, false, 0x0D10, 0xFFFF},
        {quolintools::nTriggers::kRows, 101, 0xDC, false, 0x6000, 0xFFFFFFFF},
        {quolintools::nTriggers::kRows, 101, 0x104, false, 0xD6D8, 0xFFFF},
        {quolintools::nTriggers::kRows, 101, 0x106, false, 0x08, 0xFF},
        {quolintools::nIsolationPortRegMap::kRows, 4, 0x04, false, 0x0F000203, 0xFFFFFFFF},
        {quolintools::nIsolationPortRegMap::kRows, 4, 0x18, false, 0, 0xFFFFFFFC},
        {quolintools::nSwitchedQuolinBimRegMap::kRows, 10, 0x688, false, 0, 0xFFFFFFFC},
        {quolintools::nQuolin::kRows, 15, 0x460, false, 0, 0},
        {pavo_regmaps::nDO::kRows, 15, 0x14, false, 0x80, 0xFFFFFFFF},
        {pavo_regmaps::nOutTimer::kRows, 19, 0x20, false, 0, 0xFFFBFFFF},
        {pavo_regmaps::nOutTimer::kRows, 19, 0x26, false, 0x0001, 0xFFFF},
    };
    for (const Initial& i : initial) {
        bool found = false;
        for (unsigned k = 0; k < i.count && !found; ++k) {
            const arm::RegisterDesc& r = i.rows[k];
            if (r.address != i.offset || arm::isReadSideKind(r.kind) != i.readSide) continue;
            found = true;
            EXPECT_EQ(r.initial, i.shadow) << std::hex << i.offset;
            EXPECT_EQ(r.keep, i.keep) << std::hex << i.offset;
        }
        EXPECT_TRUE(found) << std::hex << i.offset;
    }
}

using IdMask = std::pair<uint32_t, uint64_t>;

void expectIds(const arm::MapDesc& map, const std::vector<IdMask>& ids) {
    for (const IdMask& m : ids) EXPECT_EQ(armtest::maskOf(map, m.first), m.second) << map.source << std::hex << " id 0x" << m.first;
}

std::vector<IdMask> bits(uint32_t key, std::vector<std::pair<uint32_t, unsigned>> codeAndBit) {
    std::vector<IdMask> out;
    for (auto [code, bit] : codeAndBit) out.push_back({(code << 24) | key, 1ull << bit});
    return out;
}

std::vector<IdMask> join(std::initializer_list<std::vector<IdMask>> parts) {
    std::vector<IdMask> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

TEST(Tables, LiteralIdentifiersNameTheirFields) {
    expectIds(quolintools::kQuolinMap,
              join({{{0x40000000, 0xFFFFFFFF}, {0xC0000000, 0xFFFFFFFF}, {0x4800000C, 0x10}, {0x6800000C, 0x20},
                     {0x5800000C, 0x40}, {0x7800000C, 0x80}, {0x4C00000C, 0xF000}, {0x4200000C, 0xF0000},
                     {0x4A00000C, 0xF00000}, {0x4600000C, 0xFF000000}, {0x4000001C, 0xFFFFFFFF},
                     {0x00000058, 0x3}, {0x02000058, 0xF0000}, {0x000000A4, 0xFFF}, {0x2C0000A4, 1u << 13},
                     {0x1C0000A4, 1u << 14}, {0x3C0000A4, 1u << 15}, {0x020000A4, 0xF0000}, {0x0A0000A4, 0xF00000},
                     {0x060000A4, 0xF000000}, {0x0E0000A4, 1u << 28}, {0x2E0000A4, 0x60000000},
                     {0x3E0000A4, 1u << 31}, {0x00000440, 1}, {0x20000440, 2}, {0x10000440, 4}, {0x30000440, 8},
                     {0x00000444, 1}, {0x20000444, 2}, {0x40000448, 0xFF}, {0x44000448, 0x100},
                     {0x00000450, 0xFFFFFFFF}, {0x00000458, 0xFFFFFFFF}, {0x00000460, 0xFF}, {0x80000460, 0xFF},
                     {0x00000510, 7}, {0x04000510, 0x700}, {0x02000510, 0x70000}, {0x00000514, 0xF},
                     {0x08000514, 0xF0}, {0x04000514, 0xF00}, {0x0C000514, 0xF000}, {0x02000514, 0xF0000},
                     {0x0A000514, 0xF00000}, {0x06000514, 0xF000000}, {0x0E000514, 0xF0000000},
                     {0x0200000C, 0}, {0x80000000, 0}},
                    bits(0x5C, {{0x00, 0}, {0x04, 8}, {0x24, 9}, {0x14, 10}, {0x34, 11}, {0x06, 24}, {0x26, 25},
                                {0x16, 26}, {0x36, 27}, {0x0E, 28}, {0x2E, 29}, {0x1E, 30}, {0x3E, 31}})}));
    expectIds(quolintools::kQuolinDMAChannelMap,
              join({bits(0x58, {{0x00, 0}, {0x20, 1}, {0x10, 2}, {0x30, 3}, {0x06, 24}, {0x26, 25}}),
                    bits(0x40000060, {{0x0C, 12}, {0x2C, 13}, {0x1C, 14}, {0x3C, 15}, {0x06, 24}, {0x26, 25},
                                      {0x16, 26}, {0x36, 27}, {0x1E, 30}, {0x3E, 31}}),
                    {{0x40000060, 0xFFF}, {0x42000060, 0xFF0000}, {0x4E000060, 0x30000000},
                     {0x400000A0, 0xFFFFFFFF}, {0x400000A4, 0xFFFFFFFF}, {0x80000058, 0xFFFFFFFF}}}));
    std::vector<IdMask> transfer;
    for (uint32_t key : {0x4u, 0x8u})
        for (IdMask m : std::vector<IdMask>{{0x00, 0x1F}, {0x28, 0x20}, {0x18, 0x40}, {0x38, 0x80}, {0x04, 0x3F00},
                                            {0x1C, 0x4000}, {0x3C, 0x8000}, {0x02, 0x3F0000}, {0x1A, 0x400000},
                                            {0x3A, 0x800000}, {0x06, 0x7F000000}, {0x3E, 0x80000000}})
            transfer.push_back({(m.first << 24) | key, m.second});
    expectIds(quolintools::kQuolinConfigPortSPIMap,
              join({transfer,
                    {{0x00000000, 0xFF}, {0x04000000, 0x3F00}, {0x1C000000, 1u << 14}, {0x3C000000, 1u << 15},
                     {0x02000000, 0x3F0000}, {0x1A000000, 1u << 22}, {0x3A000000, 1u << 23},
                     {0x06000000, 0x3F000000}, {0x3E000000, 1u << 31}, {0x0000000C, 0xFF},
                     {0x0200000C, 0xFF0000}, {0x40000004, 0}}}));
    expectIds(quolintools::kQuolinConfigPortWindowMap,
              {{0x000000C0, 0x1F}, {0x380000C0, 0x80}, {0x040000C0, 0xFFFFFF00}, {0x000000E0, 0xFFFFFFFF}});
    expectIds(quolintools::kSwitchedQuolinBimMap,
              {{0x40000600, 0xFF}, {0x44000600, 0xFF00}, {0x42000600, 0xFF0000}, {0x20000604, 2},
               {0x08000604, 0xF0}, {0x04000604, 0x1F00}, {0x00000604, 0}, {0x00000644, 0xFFF}, {0x02000644, 0x10000},
               {0x04000680, 0x700}, {0x34000680, 0x3800}, {0x1C000680, 0x1C000}, {0x22000680, 0xE0000},
               {0x0A000680, 0xF00000}, {0x00000688, 1}, {0x20000688, 2}, {0x10000688, 4}, {0x04000688, 0x700},
               {0x34000688, 0x3800}, {0x1C000688, 0x1C000}, {0x22000688, 0xE0000}, {0x0A000688, 0xF00000},
               {0x06000688, 0xFF000000}, {0x0000068C, 0xFFFFFFFF}, {0x40000694, 0xFFFFFFFF},
               {0x00000698, 0xFFFFFFFF}, {0x000006A4, 0xFFFFFFFF}, {0x40000700, 7}});
    expectIds(quolintools::kIsolationPortMap,
              {{0x00000000, 0xFFFFFFFF}, {0x00000004, 1}, {0x20000004, 2}, {0x08000004, 0x30}, {0x38000004, 0x80},
               {0x04000004, 0x100}, {0x24000004, 0x200}, {0x14000004, 0x400}, {0x0C000004, 0xF000},
               {0x02000004, 0xF0000}, {0x1A000004, 0xC00000}, {0x06000004, 0xF000000}, {0x40000014, 0xFFFFFFFF},
               {0x00000018, 1}, {0x20000018, 2}, {0x10000018, 4}, {0x30000018, 8}, {0x08000018, 0x1FF0},
               {0x02000018, 0xFF0000}, {0x06000018, 0xFF000000}});
    expectIds(quolintools::kIOPort2Map,
              join({bits(0x00, {{0x00, 0}, {0x20, 1}, {0x10, 2}, {0x08, 4}, {0x28, 5}, {0x18, 6}, {0x38, 7},
                                {0x04, 8}}),
                    bits(0x40000080, {{0x04, 8}, {0x24, 9}, {0x14, 10}, {0x34, 11}, {0x0C, 12}, {0x2C, 13},
                                      {0x1C, 14}, {0x3C, 15}, {0x22, 17}, {0x12, 18}, {0x32, 19}, {0x0A, 20},
                                      {0x2A, 21}, {0x1A, 22}, {0x3A, 23}, {0x06, 24}, {0x26, 25}, {0x16, 26},
                                      {0x36, 27}, {0x0E, 28}}),
                    bits(0x40000088, {{0x00, 0}, {0x20, 1}, {0x10, 2}, {0x30, 3}, {0x08, 4}, {0x28, 5}}),
                    bits(0x4000008C, {{0x00, 0}, {0x20, 1}, {0x10, 2}, {0x24, 9}, {0x14, 10}, {0x34, 11},
                                      {0x1C, 14}, {0x32, 19}}),
                    {{0x00000008, 3}, {0x08000008, 0x70}, {0x04000008, 0x7F00}, {0x02000008, 0x7F0000},
                     {0x06000008, 0x3F000000}, {0x0000000C, 3}, {0x00000010, 0xFFFF}, {0x40000080, 0xFF},
                     {0x44000084, 0xFFFF00}, {0x46000084, 0xFF000000}, {0x40000084, 0}, {0xC0000084, 0xFFFFFFFF},
                     {0x44000088, 0xFFFF00}, {0x46000088, 0xFF000000}}}));
    std::vector<IdMask> arrays;
    for (uint32_t i = 0; i < 24; ++i) arrays.insert(arrays.end(), {{0x88 + i, 0xF}, {0x38000088 + i, 0x80}});
    for (uint32_t i = 0; i < 16; ++i) arrays.insert(arrays.end(), {{0xBA + i, 0x7F}, {0x380000BA + i, 0x80}});
    for (uint32_t i = 0; i < 8; ++i)
        arrays.insert(arrays.end(), {{0xA8 + i, 0x7F}, {0xCF + i, 0x7F}, {0xE8 + i, 0x7F}, {0xF0 + i, 0x1F}});
    std::vector<IdMask> filters;
    for (uint32_t key : {0xB0u, 0xB2u, 0xB4u, 0xB6u, 0xF8u, 0xFAu, 0xFCu, 0xFEu})
        filters.insert(filters.end(),
                       {{key, 7}, {0x08000000 | key, 0x70}, {0x04000000 | key, 0x700}, {0x0C000000 | key, 0x7000}});
    expectIds(quolintools::kTriggersMap,
              join({arrays, filters,
                    {{0x000000A0, 7}, {0x280000A0, 0x20}, {0x040000A0, 0x300}, {0x000000A2, 0xF},
                     {0x0C0000A2, 0x1000}, {0x1C0000A2, 0x4000}, {0x3C0000A2, 0x8000}, {0x200000A2, 0},
                     {0x000000B8, 0xF}, {0x3C0000B8, 0x8000}, {0x000000CA, 0xF}, {0x0C0000CA, 0x3000},
                     {0x1C0000CA, 0x4000}, {0x3C0000CA, 0x8000}, {0x000000D8, 1}, {0x200000D8, 2},
                     {0x100000D8, 4}, {0x080000D8, 0x30}, {0x180000D8, 0x40}, {0x040000D8, 0x300},
                     {0x140000D8, 0x400}, {0x340000D8, 0x1800}, {0x2C0000D8, 0x2000}, {0x1C0000D8, 0x4000},
                     {0x000000DA, 0x1F}, {0x180000DA, 0x40}, {0x040000DC, 0x3F00}, {0x1C0000DC, 0x1FC000},
                     {0x2A0000DC, 0xFE00000}, {0x0E0000DC, 0x70000000}, {0x3E0000DC, 0x80000000},
                     {0x400000DC, 1}, {0x600000DC, 2}, {0xC00000DC, 0xFFFF}, {0x800000DC, 0xFFFFFFFF},
                     {0x000000E0, 0xFFFF}, {0x7C0000E0, 0x8000}, {0x000000E2, 0xFFFF}, {0x000000E4, 3},
                     {0x1E0000E4, 0xC0000000}, {0x00000100, 0x1FF}, {0x14000100, 0xC00}, {0x2C000100, 0xE000},
                     {0x00000102, 0x1FF}, {0x14000102, 0xC00}, {0x00000104, 0xFFFF}, {0x00000106, 0xFF},
                     {0x400000A0, 0}}}));
    expectIds(pavo_regmaps::kDOMap,
              {{0x40000000, 0xFFFF}, {0xC0000000, 0xFFFFFFFF}, {0x00000000, 1}, {0x20000000, 2}, {0x10000000, 4},
               {0x08000002, 0xF0}, {0x00000004, 0xFFFFFFFF}, {0x3E000008, 0x80000000}, {0x0000000C, 0xFFFFFFFF},
               {0x00000010, 0xFFFFFFFF}, {0x00000014, 1}, {0x20000014, 2}, {0x0C000014, 0x3000},
               {0x1C000014, 0xC000}, {0x04000018, 0x100}, {0x24000018, 0x200}, {0x14000018, 0xFC00},
               {0x02000018, 0x10000}, {0x22000018, 0x20000}, {0x12000018, 0xFC0000}, {0x26000018, 0x2000000},
               {0x16000018, 0xFC000000}, {0x0000001C, 0xFFFFFFFF}, {0x00000020, 0xFFFFFFFF},
               {0x00000024, 0xFFFFFFFF}, {0x1E00002C, 0xC0000000}, {0x00000030, 0xFFF}, {0x80000034, 0}});
    expectIds(pavo_regmaps::kOutTimerMap,
              join({bits(0x00, {{0x00, 0}, {0x08, 4}, {0x28, 5}, {0x18, 6}, {0x38, 7}, {0x04, 8}, {0x24, 9},
                                {0x0C, 12}, {0x1C, 14}, {0x3C, 15}, {0x02, 16}, {0x2A, 21}, {0x1A, 22},
                                {0x3A, 23}, {0x06, 24}, {0x26, 25}, {0x16, 26}, {0x2E, 29}}),
                    bits(0x40000000, {{0x00, 0}, {0x20, 1}, {0x10, 2}, {0x30, 3}, {0x08, 4}, {0x28, 5},
                                      {0x18, 6}, {0x38, 7}, {0x04, 8}, {0x24, 9}, {0x14, 10}, {0x34, 11},
                                      {0x0C, 12}, {0x2C, 13}, {0x1C, 14}, {0x3C, 15}, {0x22, 17}, {0x2A, 21},
                                      {0x1A, 22}, {0x3A, 23}, {0x06, 24}, {0x26, 25}, {0x16, 26}, {0x36, 27},
                                      {0x0E, 28}, {0x2E, 29}, {0x1E, 30}}),
                    bits(0x1C, {{0x00, 0}, {0x20, 1}, {0x10, 2}, {0x30, 3}, {0x38, 7}, {0x14, 10}, {0x34, 11},
                                {0x0C, 12}, {0x2C, 13}, {0x02, 16}, {0x22, 17}, {0x32, 19}}),
                    bits(0x20, {{0x10, 2}, {0x30, 3}, {0x22, 17}, {0x12, 18}, {0x32, 19}, {0x0A, 20}, {0x2A, 21},
                                {0x1A, 22}, {0x16, 26}, {0x36, 27}, {0x2E, 29}, {0x1E, 30}}),
                    bits(0x28, {{0x00, 0}, {0x20, 1}, {0x10, 2}, {0x28, 5}, {0x18, 6}, {0x04, 8}, {0x24, 9},
                                {0x02, 16}, {0x32, 19}, {0x0A, 20}, {0x3A, 23}, {0x06, 24}, {0x26, 25},
                                {0x16, 26}, {0x2E, 29}}),
                    bits(0x2C, {{0x00, 0}, {0x20, 1}, {0x10, 2}, {0x28, 5}, {0x18, 6}, {0x04, 8}, {0x24, 9},
                                {0x02, 16}, {0x32, 19}, {0x0A, 20}, {0x3A, 23}, {0x06, 24}, {0x26, 25},
                                {0x16, 26}, {0x2E, 29}}),
                    bits(0x34, {{0x00, 0}, {0x20, 1}, {0x10, 2}, {0x30, 3}}),
                    {{0x0800001C, 0x70}, {0x1C00001C, 0xC000}, {0x1A00001C, 0x7C00000}, {0x3600001C, 0x18000000},
                     {0x38000020, 0x180}, {0x28000024, 0x20}, {0x14000024, 0x400}, {0x0C000024, 0x3000},
                     {0x3C000024, 0x8000}, {0x00000026, 1}, {0x04000026, 0xFF00}, {0x00000030, 3},
                     {0x10000030, 0xC}, {0x08000030, 0x30}, {0x14000030, 0xC00}, {0x0C000030, 0x3000},
                     {0x02000030, 0x30000}, {0x12000030, 0xC0000}, {0x40000004, 0xFFFFFFFF},
                     {0x4000000C, 0xFFFFFFFF}, {0x40000014, 0xFFFFFFFF}}}));
    expectIds(quolintools::kStreamCircuitMap,
              join({bits(0x800, {{0x00, 0}, {0x20, 1}, {0x10, 2}, {0x30, 3}, {0x04, 8}, {0x24, 9}, {0x14, 10},
                                 {0x34, 11}, {0x2C, 13}, {0x1C, 14}, {0x3C, 15}, {0x02, 16}, {0x22, 17},
                                 {0x12, 18}}),
                    {{0x40000810, 0xFFFFFFFF}, {0x00000810, 0xFFFFFFFF}, {0x40000814, 0xFFFFFFFF},
                     {0x00000904, 0xFFFFFFF}, {0x0E000904, 0xF0000000}, {0x0C000904, 0x3FF000},
                     {0x0C000934, 0x3FF000}, {0x80000904, 0xFFFFFFFF}, {0x40000880, 0xF}}}));
}

// Every one-bit field of a writable register that `set` and `write` treat as a flag; the other
// one-bit fields take bit 0 of the value.
std::vector<uint32_t> flagIds(const arm::MapDesc& map) {
    std::vector<uint32_t> out;
    for (unsigned i = 0; i < map.count; ++i) {
        const arm::RegisterDesc& r = map.registers[i];
        if (!arm::isWritable(r.kind)) continue;
        for (unsigned f = 0; f < r.fields.count; ++f)
            if (r.fields.field[f].merge == arm::Merge::kFlag) out.push_back(arm::fieldId(r, r.fields.field[f]));
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<uint32_t> sorted(std::vector<uint32_t> ids) {
    std::sort(ids.begin(), ids.end());
    return ids;
}

std::vector<uint32_t> idsOf(uint32_t key, std::vector<unsigned> lowBits) {
    std::vector<uint32_t> out;
    for (unsigned low : lowBits) out.push_back(key | (arm::reverse6(low) << 24));
    return out;
}

std::vector<uint32_t> concat(std::initializer_list<std::vector<uint32_t>> parts) {
    std::vector<uint32_t> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

TEST(Tables, FlagFieldsAreExactlyTheOnesTheTablesMark) {
    std::vector<unsigned> all8, all16;
    for (unsigned b = 0; b < 16; ++b) (b < 8 ? all8 : all16).push_back(b);
    all16.insert(all16.begin(), all8.begin(), all8.end());
    const std::pair<const arm::MapDesc*, std::vector<uint32_t>> expected[] = {
        {&quolintools::kQuolinMap, concat({idsOf(0x5C, {0, 8, 9, 10, 11, 24, 25, 26, 27, 28, 29, 30, 31}),
                                           idsOf(0xA4, {13, 14, 15, 28, 31}), idsOf(0x440, {0, 1, 2, 3}),
                                           idsOf(0x444, {0, 1})})},
        {&quolintools::kQuolinDMAChannelMap, idsOf(0x58, {0, 1, 2, 3, 24, 25})},
        {&quolintools::kQuolinConfigPortSPIMap,
         concat({idsOf(0x0, {31}), idsOf(0x4, {5, 7, 14, 22, 23, 31}), idsOf(0x8, {5, 7, 14, 22, 23, 31})})},
        {&quolintools::kQuolinConfigPortWindowMap, idsOf(0xC0, {7})},
        {&quolintools::kSwitchedQuolinBimMap, concat({idsOf(0x604, {1}), idsOf(0x644, {16}), idsOf(0x688, {0, 1, 2})})},
        {&quolintools::kIsolationPortMap, concat({idsOf(0x4, {0, 1, 7, 8, 9, 10}), idsOf(0x18, {0, 1, 2, 3})})},
        {&quolintools::kIOPort2Map, idsOf(0x0, {0, 1, 2, 4, 5, 6, 7, 8})},
        {&quolintools::kStreamCircuitMap, {}},
        {&quolintools::kTriggersMap, concat({idsOf(0xA0, {5}), idsOf(0xB8, {15}), idsOf(0xCA, {14, 15}),
                                             idsOf(0xCC, all16), idsOf(0xD7, all8), idsOf(0xD8, {6, 13, 14}),
                                             idsOf(0xDC, {31})})},
        {&pavo_regmaps::kDOMap, concat({idsOf(0x00, {0, 1, 2}), idsOf(0x14, {0, 1}), idsOf(0x18, {8, 9, 16})})},
        {&pavo_regmaps::kOutTimerMap,
         concat({idsOf(0x00, {0, 4, 5, 6, 7, 8, 9, 12, 14, 15, 16, 21, 22, 23, 24, 25, 26, 29}), idsOf(0x1C, {16}),
                 idsOf(0x20, {18, 26}), idsOf(0x24, {10, 15}),
                 idsOf(0x28, {0, 1, 2, 5, 6, 8, 9, 16, 19, 20, 23, 24, 25, 26, 29}),
                 idsOf(0x2C, {0, 1, 2, 5, 6, 8, 9, 16, 19, 20, 23, 24, 25, 26, 29}), idsOf(0x34, {0, 1, 2, 3})})},
    };
    for (const auto& [map, ids] : expected) EXPECT_EQ(flagIds(*map), sorted(ids)) << map->source;
}

}  // namespace
