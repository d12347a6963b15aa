// The isolated side's occurrence objects: the isolated board's error mux (0x40) and error manager
// (configuration 0x08, occurrence register 0x41), and per channel the error mux (channel register
// 0x020), the interrupt mux (0x02A) and the error manager (configuration 0x000, occurrence register
// 0x047).
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

constexpr uint32_t kChannelErrorMux = 0x020;
constexpr uint32_t kChannelInterruptMux = 0x02A;
constexpr uint32_t kChannelOccurrence = 0x047;

// Null with -52000 when the object cannot be allocated, and when the status holds an error.
inline IsoBoardErrorMux* newIsoBoardErrorMux(tIsoFpgaRegMap& map, uint8_t inputCount, nKZAPALS100::tStatus& status) {
    if (status.isFatal()) return nullptr;
    return new (status) IsoBoardErrorMux(map.BoardOccurrenceMuxConfig(), map.BoardOccurrenceMuxStatus(), inputCount);
}
inline IsoBoardErrorManager* newIsoBoardErrorManager(tIsoFpgaRegMap& map, nKZAPALS100::tStatus& status) {
    if (status.isFatal()) return nullptr;
    return new (status) IsoBoardErrorManager(map.IsoFpgaConfigReg(), map.Occurrence());
}
inline ChannelOccurrenceMux* newChannelOccurrenceMux(tIsoChannelRegMap& map, uint32_t offset, uint8_t inputCount,
                                                     nKZAPALS100::tStatus& status) {
    if (status.isFatal()) return nullptr;
    return new (status) ChannelOccurrenceMux(map.at<tIsoChannelRegMap::tOccurrenceMuxConfigRegType>(offset),
                                             map.at<tIsoChannelRegMap::tOccurrenceMuxStatusRegType>(offset), inputCount);
}
inline ChannelErrorManager* newChannelErrorManager(tIsoChannelRegMap& map, nKZAPALS100::tStatus& status) {
    if (status.isFatal()) return nullptr;
    return new (status)
        ChannelErrorManager(map.IsoChannelConfigReg(), map.at<tIsoChannelRegMap::tOccurrenceRegType>(kChannelOccurrence));
}

}  // namespace kzvorn_driver
