// The isolated side's occurrence objects: the isolated board's error mux and error manager, and per
// channel the error mux, the interrupt mux and the error manager.
#pragma once

#include "kzapal/protons/memory.h"
#include "kzvorn_regMaps/TolvaneRegisterMap_TolvaneIsoChannelRegMap.h"
#include "kzvorn_regMaps/TolvaneRegisterMap_TolvaneIsoFpgaRegMap.h"
#include "vantrel_shared/occurrenceMux.h"

namespace kzvorn_driver {

using tIsoFpgaRegMap = kzvorn_regmaps::tTolvaneIsoFpgaRegMap;
using tIsoChannelRegMap = kzvorn_regmaps::tTolvaneIsoChannelRegMap;

using IsoBoardErrorMux = vantrel_shared::OccurrenceMux<tIsoFpgaRegMap::tOccurrenceMuxConfigRegType,
                                                       tIsoFpgaRegMap::tOccurrenceMuxStatusRegType,
                                                       kzvorn_regmaps::nTolvaneIsoFpgaRegMap::OccurrenceMuxActionType,
                                                       kzvorn_regmaps::nTolvaneIsoFpgaRegMap::kOccurrenceMuxDisable,
                                                       kzvorn_regmaps::nTolvaneIsoFpgaRegMap::kOccurrenceMuxEnable>;

using IsoBoardErrorManager = vantrel_shared::OccurrenceErrorManager<
    tIsoFpgaRegMap::tIsoFpgaConfigReg, tIsoFpgaRegMap::tOccurrenceRegType,
    &tIsoFpgaRegMap::tIsoFpgaConfigReg::writeEnableIsoBoardErrorManagerStb,
    &tIsoFpgaRegMap::tIsoFpgaConfigReg::writeDisableIsoBoardErrorManagerStb>;

using ChannelOccurrenceMux =
    vantrel_shared::OccurrenceMux<tIsoChannelRegMap::tOccurrenceMuxConfigRegType,
                                  tIsoChannelRegMap::tOccurrenceMuxStatusRegType,
                                  kzvorn_regmaps::nTolvaneIsoChannelRegMap::OccurrenceMuxActionType,
                                  kzvorn_regmaps::nTolvaneIsoChannelRegMap::kOccurrenceMuxDisable,
                                  kzvorn_regmaps::nTolvaneIsoChannelRegMap::kOccurrenceMuxEnable>;

using ChannelErrorManager = vantrel_shared::OccurrenceErrorManager<
    tIsoChannelRegMap::tIsoChannelConfigReg, tIsoChannelRegMap::tOccurrenceRegType,
    &tIsoChannelRegMap::tIsoChannelConfigReg::writeEnableIsoChannelErrorManagerStb,
    &tIsoChannelRegMap::tIsoChannelConfigReg::writeDisableIsoChannelErrorManagerStb>;

// Null with -52000 when the object cannot be allocated, and when the status holds an error.
inline IsoBoardErrorMux* newIsoBoardErrorMux(tIsoFpgaRegMap& map, uint8_t inputCount, nKZAPALS100::tStatus& status) {
    if (status.isFatal()) return nullptr;
    return new (status) IsoBoardErrorMux(map.BoardOccurrenceMuxConfig(), map.BoardOccurrenceMuxStatus(), inputCount);
}
inline IsoBoardErrorManager* newIsoBoardErrorManager(tIsoFpgaRegMap& map, nKZAPALS100::tStatus& status) {
    if (status.isFatal()) return nullptr;
    return new (status) IsoBoardErrorManager(map.IsoFpgaConfigReg(), map.Occurrence());
}
inline ChannelOccurrenceMux* newChannelErrorMux(tIsoChannelRegMap& map, uint8_t inputCount,
                                                nKZAPALS100::tStatus& status) {
    if (status.isFatal()) return nullptr;
    return new (status) ChannelOccurrenceMux(map.ErrorMuxConfig(), map.ErrorMuxStatus(), inputCount);
}
inline ChannelOccurrenceMux* newChannelInterruptMux(tIsoChannelRegMap& map, uint8_t inputCount,
                                                    nKZAPALS100::tStatus& status) {
    if (status.isFatal()) return nullptr;
    return new (status) ChannelOccurrenceMux(map.InterruptMuxConfig(), map.InterruptMuxStatus(), inputCount);
}
inline ChannelErrorManager* newChannelErrorManager(tIsoChannelRegMap& map, nKZAPALS100::tStatus& status) {
    if (status.isFatal()) return nullptr;
    return new (status) ChannelErrorManager(map.IsoChannelConfigReg(), map.ErrorOccurrence());
}

}  // namespace kzvorn_driver
