#include "device/nisoOccurrence.h"

#include "kzapal/protons/memory.h"

namespace kzvorn_driver {

NisoBoardErrorMux* newNisoBoardErrorMux(tNisoFpgaRegMap& map, uint8_t inputCount, nKZAPALS100::tStatus& status) {
    if (status.isFatal()) return nullptr;
    return new (status) NisoBoardErrorMux(map.OccurrenceMuxConfig0(), map.OccurrenceMuxStatus0(), inputCount);
}

NisoBoardErrorManager* newNisoBoardErrorManager(tNisoFpgaRegMap& map, nKZAPALS100::tStatus& status) {
    if (status.isFatal()) return nullptr;
    return new (status) NisoBoardErrorManager(map.NisoFpgaConfigReg(), map.Occurrence());
}

}  // namespace kzvorn_driver
