#include <gtest/gtest.h>

#include "vantrel_caps/caps.h"

using namespace vantrel_caps;

TEST(Caps, ProductRecordFoundBySubsystemIdentifier) {
    const CapsDefinitions& table = getCapsDefinitions();
    const Caps* caps = table.find(kProductPciSubsystemId);
    ASSERT_NE(caps, table.end());
    EXPECT_STREQ(caps->modelName, "KZV-4140 Source Measure Unit");
    EXPECT_EQ(caps->pciSubsystemId, kProductPciSubsystemId);
    EXPECT_EQ(caps->channelCount, 4u);
    EXPECT_EQ(caps->requestedCoolingMode, 32u);
    // A foreign identifier gives the end of the table, never null.
    EXPECT_EQ(table.find(kProductPciSubsystemId + 1), table.end());
    EXPECT_EQ(table.find(0), table.end());
    size_t rows = 0;
    for (const Caps& row : table) rows += row.modelName != nullptr ? 1 : 0;
    EXPECT_EQ(rows, table.size());
}

TEST(Caps, ProductPowerBudgetByCoolingTier) {
    const CoolingTierCaps& tiers = getCapsDefinitions().find(kProductPciSubsystemId)->coolingTierCaps;
    struct Case {
        uint32_t tier, first, second;
    };
    const Case cases[] = {
        {0, 0, 0}, {15, 0, 0}, {16, 40000000, 24000000}, {255, 40000000, 24000000}, {UINT32_MAX, 40000000, 24000000},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(tiers.getFirstLimit(c.tier), c.first) << c.tier;
        EXPECT_EQ(tiers.getSecondLimit(c.tier), c.second) << c.tier;
    }
}

TEST(Caps, CoolingTierLookupTakesGreatestTierNotAboveAndFirstOfDuplicates) {
    static constexpr CoolingTierLimits pairs[] = {
        {20, {3, 30}}, {8, {1, 10}}, {20, {9, 90}}, {12, {2, 20}},
    };
    constexpr CoolingTierCaps tiers = getCoolingTierCaps(pairs, 4);
    static_assert(tiers.getFirstLimit(20) == 3, "constant lookups");
    struct Case {
        uint32_t tier, first, second;
    };
    const Case cases[] = {{7, 0, 0}, {8, 1, 10}, {11, 1, 10}, {12, 2, 20}, {19, 2, 20}, {20, 3, 30}, {1000, 3, 30}};
    for (const Case& c : cases) {
        EXPECT_EQ(tiers.getFirstLimit(c.tier), c.first) << c.tier;
        EXPECT_EQ(tiers.getSecondLimit(c.tier), c.second) << c.tier;
    }
    EXPECT_EQ(CoolingTierCaps().getFirstLimit(100), 0u);
}
