// The driver's request table against the documented index.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <string>

#include "ioctl/requestIndex.h"
#include "kzapalcodegen/ioctlTable.h"

namespace ioctltest {
namespace {

using kzvorn_driver::tIOControlEntry;

std::string familyOf(const char* name) { return std::string(name, std::strchr(name, '_') - name); }

uint32_t familyByte(const std::string& family) {
    for (const FamilyRow& row : kFamilies)
        if (family == row.family) return row.byte;
    ADD_FAILURE() << "no family " << family;
    return 0;
}

TEST(RequestTable, MatchesTheIndexRowForRow) {
    std::map<uint32_t, const tIOControlEntry*> table;
    for (const tIOControlEntry& entry : kzvorn_driver::kKzvornIOControls)
        EXPECT_TRUE(table.emplace(entry.code, &entry).second) << std::hex << entry.code << " listed twice";
    ASSERT_EQ(table.size(), std::size(kIndex));

    for (const IndexRow& row : kIndex) {
        SCOPED_TRACE(row.name);
        auto found = table.find(row.code);
        ASSERT_NE(found, table.end());
        const tIOControlEntry& entry = *found->second;
        EXPECT_STREQ(entry.name, row.name);
        EXPECT_EQ(entry.inputSize, row.inputSize);
        EXPECT_EQ(entry.outputSize, row.outputSize);
        EXPECT_EQ(entry.level, row.level);
        EXPECT_EQ(entry.inputStatusOffset, row.inputStatusOffset);
        EXPECT_EQ(entry.outputStatusOffset, row.outputStatusOffset);
    }
}

TEST(RequestTable, CoolingInterfaceKnowsOnlyItsTwoCodes) {
    std::set<uint32_t> codes;
    for (const tIOControlEntry& entry : kzvorn_driver::kPxiCoolingIOControls) codes.insert(entry.code);
    EXPECT_EQ(codes, (std::set<uint32_t>{kGetRequestedCoolingMode, kSetCoolingMode}));
}

TEST(RequestTable, CodesFollowTheIoctlLayout) {
    for (const IndexRow& row : kIndex) {
        SCOPED_TRACE(row.name);
        const uint32_t direction = row.code == kGetRequestedCoolingMode ? 2 : row.code == kSetCoolingMode ? 1 : 0;
        EXPECT_EQ(row.code >> 30, direction);
        EXPECT_EQ((row.code >> 16) & 0x3FFF, 0x20u);
        EXPECT_EQ((row.code >> 8) & 0xFF, familyByte(familyOf(row.name)));
        EXPECT_EQ(kzvorn_driver::makeIOControlCode(direction, (row.code >> 8) & 0xFF, row.code & 0xFF), row.code);
        EXPECT_EQ(kzvorn_driver::ioControlOperation(row.code), row.code & 0xFF);
    }
}

// The families, their operation counts and the gates' levels, as the interface counts them.
TEST(RequestTable, FamilyAndLevelCounts) {
    std::map<std::string, int> families;
    std::map<uint32_t, int> levels;
    for (const IndexRow& row : kIndex) {
        ++families[familyOf(row.name)];
        ++levels[row.level];
        const uint32_t operation = row.code & 0xFF;
        const std::string family = familyOf(row.name);
        if (family == "arm") {
            EXPECT_LE(operation, 0x13u) << row.name;
        } else if (family == "deviceWindow") {
            EXPECT_TRUE(operation >= 0x40 && operation <= 0x48) << row.name;
        } else if (family == "storageMap") {
            EXPECT_TRUE(operation >= 0x80 && operation <= 0xB5) << row.name;
        }
    }
    EXPECT_EQ(families, (std::map<std::string, int>{{"kzvoltixPXICooling", 2}, {"hwCondition", 3}, {"measureUnit", 2},
                                                    {"dravik", 7},             {"kzvorn", 1},      {"triggersAndEvents", 4},
                                                    {"channelGanging", 5},     {"vantrel", 23},    {"routing", 11},
                                                    {"arm", 18},               {"deviceWindow", 9}, {"storageMap", 9},
                                                    {"quolinTools", 10},       {"pxiCooling", 2},  {"kdut", 5}}));
    EXPECT_EQ(levels, (std::map<uint32_t, int>{{0, 3}, {1, 36}, {11, 6}, {12, 1}, {14, 10}, {22, 53}, {kNone, 2}}));
    EXPECT_EQ(kzvorn_driver::tRequiredSetupLevel::kdut_reset, 0u);
    EXPECT_EQ(kzvorn_driver::tRequiredSetupLevel::vantrel_readTemperatureSensor, 12u);
    EXPECT_EQ(kzvorn_driver::tRequiredSetupLevel::vantrel_setAuxiliaryIoConfig, kzvorn_driver::kNoSetupLevel);
}

}  // namespace
}  // namespace ioctltest
