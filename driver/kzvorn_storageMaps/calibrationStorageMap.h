// One calibration record of one channel: the coefficients the calibration loading converts into
// the channel's calibration registers. Bytes 1702 to 4095 belong to no field but are covered by
// the checksum.
#pragma once

#include "storageMap/generatedStorageMap.h"

namespace kzvorn_storagemaps {

// F(kind, name, Name, offset, count, typeCode, elementSize)
#define KZ_CALIBRATION_STORAGE_MAP_FIELDS(F)                                            \
    F(Checksum, checksum, Checksum, 0, 1, 12, 4)                                        \
    F(Single, mapVersion, MapVersion, 4, 1, 5, 4)                                       \
    F(Single, oldestCompatibleMapVersion, OldestCompatibleMapVersion, 8, 1, 5, 4)       \
    F(Raw, temperature, Temperature, 12, 1, 10, 8)                                      \
    F(Single, time, Time, 20, 1, 8, 16)                                                 \
    F(Single, calibrationDueDate, CalibrationDueDate, 36, 1, 8, 16)                     \
    F(Single, voltageReferenceInVolts, VoltageReferenceInVolts, 52, 1, 0, 16)           \
    F(Single, resistor5KReferenceInOhms, Resistor5KReferenceInOhms, 68, 1, 0, 16)       \
    F(Array, residualLocalSenseOffset, ResidualLocalSenseOffset, 84, 3, 0, 16)          \
    F(Array, residualRemoteSenseOffset, ResidualRemoteSenseOffset, 132, 3, 0, 16)       \
    F(Single, unused1, Unused1, 180, 1, 0, 16)                                          \
    F(Array, residualCurrentOffset, ResidualCurrentOffset, 196, 7, 0, 16)               \
    F(Array, unused2, Unused2, 308, 7, 2, 4)                                            \
    F(Array, predictiveGains, PredictiveGains, 336, 49, 0, 16)                          \
    F(Array, chargeBalanceOffsets, ChargeBalanceOffsets, 1120, 4, 0, 16)                \
    F(Array, lowCurrentCmcGain, LowCurrentCmcGain, 1184, 6, 0, 16)                      \
    F(Single, threeAmpCmcGain, ThreeAmpCmcGain, 1280, 1, 0, 16)                         \
    F(Array, voltageRemoteOffset, VoltageRemoteOffset, 1296, 3, 0, 16)                  \
    F(Array, voltageOffset, VoltageOffset, 1344, 3, 0, 16)                              \
    F(Array, voltageGain, VoltageGain, 1392, 3, 0, 16)                                  \
    F(Single, unused3Offset, Unused3Offset, 1440, 1, 0, 16)                             \
    F(Single, unused3Gain, Unused3Gain, 1456, 1, 0, 16)                                 \
    F(Array, lowCurrentOffset, LowCurrentOffset, 1472, 6, 0, 16)                        \
    F(Array, lowCurrentGain, LowCurrentGain, 1568, 6, 0, 16)                            \
    F(Single, threeAmpOffset, ThreeAmpOffset, 1664, 1, 0, 16)                           \
    F(Single, threeAmpGain, ThreeAmpGain, 1680, 1, 0, 16)                               \
    F(Single, calibratedDacZeroV, CalibratedDacZeroV, 1696, 1, 12, 4)                   \
    F(Single, DACCurrentGainCoarse, DACCurrentGainCoarse, 1700, 1, 9, 1)                \
    F(Single, DACCurrentGainFine, DACCurrentGainFine, 1701, 1, 9, 1)

KZ_STORAGE_MAP_ACCESSOR_INTERFACE(CalibrationStorageMapInterface, KZ_CALIBRATION_STORAGE_MAP_FIELDS)

class CalibrationStorageMap : public storagemap::GeneratedStorageMap<CalibrationStorageMapInterface, 0x1000> {
public:
    CalibrationStorageMap(uint64_t base, devicewindow::DeviceWindow* window, tStatus& status)
        : GeneratedStorageMap("1.0.0d4", base, &kFields[0], window, status) {}

    // Registry names in the order of the map set: kind by kind (default, factory, external, self), channels 0-3.
    static constexpr const char* kMapNames[] = {
        "DefaultCalibrationChannel0",  "DefaultCalibrationChannel1",  "DefaultCalibrationChannel2",
        "DefaultCalibrationChannel3",  "FactoryCalibrationChannel0",  "FactoryCalibrationChannel1",
        "FactoryCalibrationChannel2",  "FactoryCalibrationChannel3",  "ExternalCalibrationChannel0",
        "ExternalCalibrationChannel1", "ExternalCalibrationChannel2", "ExternalCalibrationChannel3",
        "SelfCalibrationChannel0",     "SelfCalibrationChannel1",     "SelfCalibrationChannel2",
        "SelfCalibrationChannel3",     nullptr};

    KZ_STORAGE_MAP_GENERATED_MEMBERS(KZ_CALIBRATION_STORAGE_MAP_FIELDS, kSize, 86)
    static_assert(sizeof kFields / sizeof kFields[0] == 29, "calibration fields");
};

}  // namespace kzvorn_storagemaps
