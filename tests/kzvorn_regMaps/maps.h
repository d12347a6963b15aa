// The four product maps of the non-isolated side beside their tables as the descriptions give them.
#pragma once

#include <vector>

#include "kzvorn_regMaps/Ina231RegMap.h"
#include "kzvorn_regMaps/TolvaneRegisterMap_Ina231PowerMonitorRegMap.h"
#include "kzvorn_regMaps/TolvaneRegisterMap_TolvaneNisoFpgaRegMap.h"
#include "kzvorn_regMaps/TolvaneRegisterMap_TolvaneNisoMeasureUnitRegMap.h"
#include "partTables.h"

namespace kzmaps {

struct MapUnderTest {
    const char* name;
    const arm::MapDesc* desc;
    const std::vector<parts::Register>* part;
};

inline const MapUnderTest kMaps[] = {
    {"TolvaneNisoFpgaRegMap", &kzvorn_regmaps::kTolvaneNisoFpgaMap, &parts::kNisoFpga},
    {"TolvaneNisoMeasureUnitRegMap", &kzvorn_regmaps::kTolvaneNisoMeasureUnitMap, &parts::kMeasureUnit},
    {"Ina231PowerMonitorRegMap", &kzvorn_regmaps::kIna231PowerMonitorMap, &parts::kPowerMonitor},
    {"Ina231RegMap", &kzvorn_regmaps::kIna231Map, &parts::kIna231},
};

}  // namespace kzmaps
