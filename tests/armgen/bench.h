// Any map's table on a test register file, and look-ups of identifiers in a table.
#pragma once

#include <cstdint>
#include <vector>

#include "armgen/fakeAccess.h"
#include "quolinTools/armgen/registerMap.h"

namespace armtest {

class Bench : private arm::RegisterStates<128>, public arm::WindowedTableMap {
public:
    Bench(const arm::MapDesc& desc, arm::HardwareAccess* access, arm::Window window = arm::kWholeWindow)
        : WindowedTableMap(desc, states, access, window) {}
    // Walked after the map's own registers; a null entry stands for a sub-map never allocated.
    void adopt(arm::TableMap* sub, arm::TableMap* second = nullptr) {
        subs_[0] = sub;
        subs_[1] = second;
        attachSubMaps(subs_, 2);
    }

private:
    arm::TableMap* subs_[2] = {};
};

// Mask of the field or whole register that `id` names in a value operation, 0 when none.
inline uint64_t maskOf(const arm::MapDesc& desc, uint32_t id) {
    for (unsigned i = 0; i < desc.count; ++i) {
        const arm::RegisterDesc& r = desc.registers[i];
        if (!r.hasIdentifier) continue;
        if (id == arm::wholeId(r)) return arm::widthMask(r.width);
        for (unsigned f = 0; f < r.fields.count; ++f)
            if (id == arm::fieldId(r, r.fields.field[f])) return arm::fieldMask(r.fields.field[f]);
    }
    return 0;
}

inline std::vector<unsigned> fieldCounts(const arm::MapDesc& desc) {
    std::vector<unsigned> out;
    for (unsigned i = 0; i < desc.count; ++i) out.push_back(desc.registers[i].fields.count);
    return out;
}

}  // namespace armtest
