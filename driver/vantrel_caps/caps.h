// Capability table: per model of the family, what the kernel side needs to know about it.
// Constant data: nothing is built at load or freed at unload, so a lookup can never meet a
// table that ran out of memory.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kzapalcodegen/pciIdentifiers.h"

namespace vantrel_caps {

// This product's PCI subsystem identifier, as listed in the driver's PCI ID table.
constexpr uint32_t kProductPciSubsystemId = kzvorn_driver::kPCISubsystemID;

struct PowerAllocationLimitInMircroWatts {
    uint32_t first;   // total power budget for the power-allocation controller
    uint32_t second;
};

struct CoolingTierLimits {
    uint32_t tier;
    PowerAllocationLimitInMircroWatts limits;
};

// Power budget by chassis cooling tier: the limits of the greatest tier not above the one asked
// for; of two pairs for one tier the first counts.
class CoolingTierCaps {
public:
    constexpr CoolingTierCaps() = default;
    constexpr CoolingTierCaps(const CoolingTierLimits* pairs, size_t count) : pairs_(pairs), count_(count) {}

    constexpr PowerAllocationLimitInMircroWatts getLimits(uint32_t tier) const {
        size_t found = count_;
        for (size_t i = 0; i < count_; ++i) {
            if (pairs_[i].tier <= tier && (found == count_ || pairs_[i].tier > pairs_[found].tier)) found = i;
        }
        return found != count_ ? pairs_[found].limits : PowerAllocationLimitInMircroWatts{0, 0};
    }
    constexpr uint32_t getFirstLimit(uint32_t tier) const { return getLimits(tier).first; }
    constexpr uint32_t getSecondLimit(uint32_t tier) const { return getLimits(tier).second; }

private:
    const CoolingTierLimits* pairs_ = nullptr;
    size_t count_ = 0;
};

constexpr CoolingTierCaps getCoolingTierCaps(const CoolingTierLimits* pairs, size_t count) {
    return CoolingTierCaps(pairs, count);
}

struct Caps {
    const char* modelName;
    uint32_t pciSubsystemId;
    uint64_t channelCount;
    CoolingTierCaps coolingTierCaps;
    uint32_t requestedCoolingMode;
};

class CapsDefinitions {
public:
    constexpr CapsDefinitions(const Caps* rows, size_t count) : rows_(rows), count_(count) {}

    constexpr const Caps* begin() const { return rows_; }
    constexpr const Caps* end() const { return rows_ + count_; }
    constexpr size_t size() const { return count_; }
    // The first record with that identifier, or end() when none has it.
    constexpr const Caps* find(uint32_t pciSubsystemId) const {
        const Caps* row = begin();
        while (row != end() && row->pciSubsystemId != pciSubsystemId) ++row;
        return row;
    }

private:
    const Caps* rows_;
    size_t count_;
};

// The module's table.
const CapsDefinitions& getCapsDefinitions();

}  // namespace vantrel_caps
