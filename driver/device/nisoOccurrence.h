// The non-isolated board's error mux (0x70) and error manager (0x10, occurrence register 0x78).
#pragma once

#include "kzvorn_regMaps/TolvaneRegisterMap_TolvaneNisoFpgaRegMap.h"
#include "vantrel_shared/occurrenceMux.h"

namespace kzvorn_driver {

using tNisoFpgaRegMap = kzvorn_regmaps::tTolvaneNisoFpgaRegMap;

using NisoBoardErrorMux =
    vantrel_shared::OccurrenceMux<tNisoFpgaRegMap::tOccurrenceMuxConfigRegType,
                                  tNisoFpgaRegMap::tOccurrenceMuxStatusRegType,
                                  kzvorn_regmaps::nTolvaneNisoFpgaRegMap::OccurrenceMuxActionType,
                                  kzvorn_regmaps::nTolvaneNisoFpgaRegMap::kOccurrenceMuxDisable,
                                  kzvorn_regmaps::nTolvaneNisoFpgaRegMap::kOccurrenceMuxEnable>;

using NisoBoardErrorManager = vantrel_shared::OccurrenceErrorManager<
    tNisoFpgaRegMap::tNisoFpgaConfigReg, tNisoFpgaRegMap::tOccurrenceRegType,
    &tNisoFpgaRegMap::tNisoFpgaConfigReg::writeEnableNisoBoardErrorManagerStb,
    &tNisoFpgaRegMap::tNisoFpgaConfigReg::writeDisableNisoBoardErrorManagerStb>;

// Null with -52000 when the object cannot be allocated, and when the status holds an error.
NisoBoardErrorMux* newNisoBoardErrorMux(tNisoFpgaRegMap& map, uint8_t inputCount, nKZAPALS100::tStatus& status);
NisoBoardErrorManager* newNisoBoardErrorManager(tNisoFpgaRegMap& map, nKZAPALS100::tStatus& status);

}  // namespace kzvorn_driver
