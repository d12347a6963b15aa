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

// The names level 5 adds after them, in its order: the stream circuits, then the non-isolated
// FPGA's maps.
inline const std::vector<std::string> kStreamCircuitNames = {
    "StreamCircuitRegMap0", "StreamCircuitRegMap1", "StreamCircuitRegMap2", "StreamCircuitRegMap3",
    "StreamCircuitRegMap4", "StreamCircuitRegMap5", "StreamCircuitRegMap6", "StreamCircuitRegMap7"};
inline const std::vector<std::string> kNonIsolatedFpgaNames = {
    "TolvaneNisoFpgaRegMap",
    "TolvaneNisoFpgaRegMap_TolvaneNisoMeasureUnit0_TolvaneNisoMeasureUnitRegMap",
    "TolvaneNisoFpgaRegMap_TolvaneNisoMeasureUnit1_TolvaneNisoMeasureUnitRegMap",
    "TolvaneNisoFpgaRegMap_TolvaneNisoMeasureUnit2_TolvaneNisoMeasureUnitRegMap",
    "TolvaneNisoFpgaRegMap_TolvaneNisoMeasureUnit3_TolvaneNisoMeasureUnitRegMap",
    "TolvaneNisoFpgaRegMap_TolvaneBackplanePowerMonitorBase_Ina231PowerMonitorRegMap",
    "TolvaneNisoFpgaRegMap_TolvaneSinkingBoardPowerMonitorBase_Ina231PowerMonitorRegMap",
    "Ina231RegMapBackplane",
    "Ina231RegMapSinkingBoard"};
inline const std::vector<std::string> kNonIsolatedRegisterMapNames = [] {
    std::vector<std::string> names = kStreamCircuitNames;
    names.insert(names.end(), kNonIsolatedFpgaNames.begin(), kNonIsolatedFpgaNames.end());
    return names;
}();

// The names level 8 adds after those: the isolated FPGA's map and its seven channel maps.
inline const std::vector<std::string> kIsolatedRegisterMapNames = {
    "TolvaneIsoFpgaRegMap",
    "TolvaneIsoFpgaRegMap_TolvaneIsoChannel0_TolvaneIsoChannelRegMap",
    "TolvaneIsoFpgaRegMap_TolvaneIsoChannel1_TolvaneIsoChannelRegMap",
    "TolvaneIsoFpgaRegMap_TolvaneIsoChannel2_TolvaneIsoChannelRegMap",
    "TolvaneIsoFpgaRegMap_TolvaneIsoChannel3_TolvaneIsoChannelRegMap",
    "TolvaneIsoFpgaRegMap_TolvaneIsoChannel4_TolvaneIsoChannelRegMap",
    "TolvaneIsoFpgaRegMap_TolvaneIsoChannel5_TolvaneIsoChannelRegMap",
    "TolvaneIsoFpgaRegMap_TolvaneIsoChannel6_TolvaneIsoChannelRegMap"};

// The names as a registry lists them, each in a slot of 64 bytes: a longer name is cut there.
inline std::vector<std::string> listed(const std::vector<std::string>& names) {
    std::vector<std::string> cut;
    for (const std::string& name : names) cut.push_back(name.substr(0, 64));
    return cut;
}

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
