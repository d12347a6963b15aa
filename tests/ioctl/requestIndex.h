// The request index as the interface documents it, kept apart from the driver's table so that
// the two are checked against each other: code, operation, exact input and output sizes, the
// setup level its gate requires, and where the status sits in each record.
#pragma once

#include <cstdint>

namespace ioctltest {

constexpr uint32_t kNone = 0xFFFFFFFF;  // no gate

struct IndexRow {
    uint32_t code;
    const char* name;
    uint32_t inputSize;
    uint32_t outputSize;
    uint32_t level;
    uint32_t inputStatusOffset;
    uint32_t outputStatusOffset;
};

// clang-format off
inline constexpr IndexRow kIndex[] = {
    {0x00202701, "kzvoltixPXICooling_getCoolingMode", 4, 8, 22, 0, 4},
    {0x00202702, "kzvoltixPXICooling_overrideCoolingMode", 8, 4, 22, 4, 0},
    {0x00202800, "hwCondition_clearChannelBasedHardwareErrors", 16, 4, 22, 8, 0},
    {0x00202801, "hwCondition_checkBoardAndChannelBasedHardwareErrors", 16, 4, 11, 8, 0},
    {0x00202802, "hwCondition_checkMeasureFIFOOverflowStatus", 16, 4, 22, 8, 0},
    {0x00202900, "measureUnit_arm", 8, 4, 22, 4, 0},
    {0x00202901, "measureUnit_reset", 8, 4, 22, 4, 0},
    {0x00202A00, "dravik_startSequenceEngine", 16, 4, 22, 12, 0},
    {0x00202A01, "dravik_resetSequenceEngine", 16, 4, 22, 8, 0},
    {0x00202A02, "dravik_isSequenceEngineRunning", 16, 8, 22, 8, 4},
    {0x00202A03, "dravik_downloadSubroutines", 40, 4, 22, 36, 0},
    {0x00202A04, "dravik_getSubroutines", 24, 4, 22, 20, 0},
    {0x00202A05, "dravik_getNumSubroutines", 4, 8, 22, 0, 4},
    {0x00202A06, "dravik_executeSubroutine", 24, 4, 22, 16, 0},
    {0x00202B00, "kzvorn_getSetupLevel", 4, 8, 0, 0, 4},
    {0x00202C00, "triggersAndEvents_overrideTrigger", 16, 8, 22, 12, 4},
    {0x00202C01, "triggersAndEvents_checkEventLatch", 16, 8, 22, 12, 4},
    {0x00202C02, "triggersAndEvents_clearEventLatch", 16, 4, 22, 12, 0},
    {0x00202C03, "triggersAndEvents_clearAllEventLatches", 16, 4, 22, 8, 0},
    {0x00202D00, "channelGanging_reserveChannelsForGanging", 8, 4, 22, 4, 0},
    {0x00202D01, "channelGanging_unreserveChannelsForGanging", 8, 4, 22, 4, 0},
    {0x00202D02, "channelGanging_getMergeCount", 8, 8, 22, 4, 4},
    {0x00202D03, "channelGanging_isCurrentChannelGangingMaster", 8, 8, 22, 4, 4},
    {0x00202D04, "channelGanging_isCurrentChannelGangingReserved", 8, 8, 22, 4, 4},
    {0x00202E00, "vantrel_getHardwareErrors", 16, 4, 11, 12, 0},
    {0x00202E01, "vantrel_readTemperatureSensor", 8, 8, 12, 4, 4},
    {0x00202E02, "vantrel_queryInCompliance", 8, 8, 22, 4, 4},
    {0x00202E03, "vantrel_areStorageMapChecksumsValid", 4, 8, 22, 0, 4},
    {0x00202E04, "vantrel_areStorageMapVersionsValid", 4, 8, 22, 0, 4},
    {0x00202E05, "vantrel_getAlarmRaised", 16, 8, 11, 12, 4},
    {0x00202E06, "vantrel_clearAlarm", 16, 4, 11, 12, 0},
    {0x00202E07, "vantrel_maskAlarm", 16, 4, 11, 12, 0},
    {0x00202E08, "vantrel_unmaskAlarm", 16, 4, 11, 12, 0},
    {0x00202E09, "vantrel_calculateChargeBalanceOffset", 24, 4, 22, 16, 0},
    {0x00202E0A, "vantrel_loadCalibrationToFirmwareFromStorageMapSoftcopy", 16, 4, 22, 8, 0},
    {0x00202E0B, "vantrel_configureMeasureUnit", 40, 4, 22, 32, 0},
    {0x00202E0C, "vantrel_getMeasurement", 24, 4, 22, 20, 0},
    {0x00202E0D, "vantrel_stagePowerAllocation", 12, 8, 22, 8, 4},
    {0x00202E0E, "vantrel_commitPowerAllocation", 8, 4, 22, 4, 0},
    {0x00202E0F, "vantrel_discardPowerAllocation", 8, 4, 22, 4, 0},
    {0x00202E10, "vantrel_getActualPowerAllocation", 8, 8, 22, 4, 4},
    {0x00202E11, "vantrel_readDAC", 8, 8, 22, 4, 4},
    {0x00202E12, "vantrel_writeCmccDigipot", 8, 4, 22, 4, 0},
    {0x00202E13, "vantrel_fetchChargeBalanceOffsetRawData", 24, 4, kNone, 20, 0},
    {0x00202E14, "vantrel_getConnectedAccessory", 4, 8, 22, 0, 4},
    {0x00202E15, "vantrel_setConnectedAccessory", 8, 4, 22, 4, 0},
    {0x00202E16, "vantrel_setAuxiliaryIoConfig", 24, 4, kNone, 20, 0},
    {0x00208000, "routing_queryVersion", 4, 8, 22, 0, 4},
    {0x00208001, "routing_calculateRoute", 56, 12, 22, 52, 8},
    {0x00208002, "routing_destroyRoute", 8, 4, 22, 4, 0},
    {0x00208003, "routing_reserveRoute", 24, 8, 22, 20, 4},
    {0x00208004, "routing_programRoute", 8, 4, 22, 4, 0},
    {0x00208005, "routing_unreserveRoute", 8, 4, 22, 4, 0},
    {0x00208006, "routing_unprogramRoute", 8, 4, 22, 4, 0},
    {0x00208007, "routing_getRouteTerminalPath", 24, 8, 22, 20, 4},
    {0x00208008, "routing_getTopographyName", 16, 4, 22, 12, 0},
    {0x0020800A, "routing_resetTerminal", 12, 4, 22, 8, 0},
    {0x0020800B, "routing_calculateResetTerminal", 24, 8, 22, 16, 4},
    {0x00208100, "arm_write", 32, 4, 1, 28, 0},
    {0x00208101, "arm_read", 24, 8, 1, 20, 4},
    {0x00208102, "arm_flushRegister", 32, 4, 1, 24, 0},
    {0x00208103, "arm_refreshRegister", 24, 4, 1, 20, 0},
    {0x00208104, "arm_getNumberOfRegistrations", 4, 16, 1, 0, 8},
    {0x00208105, "arm_getRegistrationNames", 16, 4, 1, 8, 0},
    {0x00208108, "arm_flushRegMap", 24, 4, 1, 20, 0},
    {0x00208109, "arm_set", 32, 4, 1, 24, 0},
    {0x0020810A, "arm_get", 24, 8, 1, 20, 4},
    {0x0020810B, "arm_writeEx", 48, 4, 1, 44, 0},
    {0x0020810C, "arm_readEx", 40, 16, 1, 32, 8},
    {0x0020810D, "arm_setEx", 48, 4, 1, 40, 0},
    {0x0020810E, "arm_getEx", 40, 16, 1, 32, 8},
    {0x0020810F, "arm_flushRegisterEx", 40, 4, 1, 36, 0},
    {0x00208110, "arm_refreshRegisterEx", 40, 4, 1, 32, 0},
    {0x00208111, "arm_getRegisterFormat", 48, 8, 1, 40, 4},
    {0x00208112, "arm_getSizeOfRegistrationList", 4, 16, 1, 0, 8},
    {0x00208113, "arm_getRegistrationList", 16, 4, 1, 8, 0},
    {0x00208140, "deviceWindow_flush", 40, 4, 1, 36, 0},
    {0x00208141, "deviceWindow_getNumberOfRegistrations", 4, 16, 1, 0, 8},
    {0x00208142, "deviceWindow_getRegistrationNames", 16, 4, 1, 8, 0},
    {0x00208143, "deviceWindow_getSizeInBytes", 24, 16, 1, 16, 8},
    {0x00208144, "deviceWindow_write", 48, 4, 1, 44, 0},
    {0x00208145, "deviceWindow_read", 48, 4, 1, 40, 0},
    {0x00208146, "deviceWindow_set", 48, 4, 1, 40, 0},
    {0x00208147, "deviceWindow_get", 48, 4, 1, 40, 0},
    {0x00208148, "deviceWindow_refresh", 40, 4, 1, 32, 0},
    {0x00208180, "storageMap_flush", 24, 4, 1, 20, 0},
    {0x00208181, "storageMap_getNumberOfRegistrations", 4, 16, 1, 0, 8},
    {0x00208182, "storageMap_getRegistrationNames", 16, 4, 1, 8, 0},
    {0x00208183, "storageMap_getElementCount", 24, 16, 1, 20, 8},
    {0x00208184, "storageMap_getElementSize", 24, 16, 1, 20, 8},
    {0x00208185, "storageMap_refresh", 24, 4, 1, 16, 0},
    {0x0020818C, "storageMap_setRaw", 64, 4, 1, 56, 0},
    {0x002081A0, "storageMap_getRaw", 64, 4, 1, 56, 0},
    {0x002081B5, "storageMap_isChecksumValid", 24, 8, 1, 16, 4},
    {0x00208200, "quolinTools_startDMA", 12, 4, 14, 8, 0},
    {0x00208201, "quolinTools_stopDMA", 8, 4, 14, 4, 0},
    {0x00208202, "quolinTools_addTransferToDevice", 32, 4, 14, 28, 0},
    {0x00208203, "quolinTools_addTransferFromDevice", 32, 4, 14, 24, 0},
    {0x00208204, "quolinTools_writeStreamAdditiveTransferCount", 12, 4, 14, 8, 0},
    {0x00208205, "quolinTools_getTransferCount", 8, 16, 14, 4, 8},
    {0x00208206, "quolinTools_clearTransfers", 8, 4, 14, 4, 0},
    {0x00208207, "quolinTools_clearApplicationFIFO", 8, 4, 14, 4, 0},
    {0x00208208, "quolinTools_waitUntilBytesTransferred", 32, 8, 14, 28, 4},
    {0x00208209, "quolinTools_cancelWaitUntilBytesTransferred", 8, 4, 14, 4, 0},
    {0x80208400, "pxiCooling_getRequestedCoolingMode", 4, 8, 22, 0, 4},
    {0x40208401, "pxiCooling_setCoolingMode", 8, 4, 22, 4, 0},
    {0x00208600, "kdut_reset", 24, 4, 0, 16, 0},
    {0x00208601, "kdut_checkHardwareState", 16, 4, 22, 8, 0},
    {0x00208602, "kdut_checkChannelHardwareState", 24, 4, 22, 16, 0},
    {0x00208603, "kdut_cleanup", 4, 4, 0, 0, 0},
    {0x00208604, "kdut_reserveResources", 16, 4, 22, 8, 0},
};
// clang-format on

inline constexpr uint32_t kGetRequestedCoolingMode = 0x80208400;
inline constexpr uint32_t kSetCoolingMode = 0x40208401;

// Family bytes by family name.
struct FamilyRow {
    const char* family;
    uint32_t byte;
};
inline constexpr FamilyRow kFamilies[] = {
    {"kzvoltixPXICooling", 0x27}, {"hwCondition", 0x28}, {"measureUnit", 0x29}, {"dravik", 0x2A},
    {"kzvorn", 0x2B},             {"triggersAndEvents", 0x2C}, {"channelGanging", 0x2D}, {"vantrel", 0x2E},
    {"routing", 0x80},            {"arm", 0x81},         {"deviceWindow", 0x81}, {"storageMap", 0x81},
    {"quolinTools", 0x82},        {"pxiCooling", 0x84},  {"kdut", 0x86},
};

}  // namespace ioctltest
