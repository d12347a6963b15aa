// The names level 3 registers on the product board, in the order it registers them.
#pragma once

#include <string>
#include <vector>

#include "board/flashImage.h"

namespace level3names {

inline const std::vector<std::string> kRegisterMapNames = {
    "QuolinDMAChannel0", "QuolinDMAChannel1", "QuolinDMAChannel2",     "QuolinDMAChannel3",
    "QuolinDMAChannel4", "QuolinDMAChannel5", "QuolinDMAChannel6",     "QuolinDMAChannel7",
    "SwitchedQuolinBimRegMap", "Quolin",      "IOPort2RegMap",         "IsolationPortRegMap",
    "QuolinConfigPortSPI",     "QuolinConfigPortWindow", "Triggers",   "DO"};

// The board's own record table, in its order (which the driver registers in too).
inline std::vector<std::string> storedRecordNames() {
    std::vector<std::string> names;
    for (const board::StoredRecord& r : board::storedRecords()) names.push_back(r.name);
    return names;
}

inline std::vector<std::string> checksummedRecordNames() {
    std::vector<std::string> names;
    for (const board::StoredRecord& r : board::storedRecords())
        if (r.checksummed) names.push_back(r.name);
    return names;
}

}  // namespace level3names
