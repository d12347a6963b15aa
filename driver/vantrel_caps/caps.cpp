#include "vantrel_caps/caps.h"

namespace vantrel_caps {

namespace {

constexpr CoolingTierLimits kProductCoolingTiers[] = {
    {16, {40000000, 24000000}},
};

// Only this product's row: the driver binds to no other model of the family.
constexpr Caps kRows[] = {
    {"KZV-4140 Source Measure Unit", kProductPciSubsystemId, 4,
     getCoolingTierCaps(kProductCoolingTiers, sizeof kProductCoolingTiers / sizeof kProductCoolingTiers[0]), 32},
};

constexpr CapsDefinitions kCapsDefinitions(kRows, sizeof kRows / sizeof kRows[0]);

static_assert(kCapsDefinitions.find(kProductPciSubsystemId) != kCapsDefinitions.end(),
              "the product's own record is in the table");

}  // namespace

const CapsDefinitions& getCapsDefinitions() { return kCapsDefinitions; }

}  // namespace vantrel_caps
