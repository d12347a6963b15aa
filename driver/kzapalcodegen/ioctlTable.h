// The operations of the "smu_kzvorn" interface: one row per request code, family by family, with
// its input and output records, the setup level its IO gate requires and what its output holds
// when that gate refuses. Everything else (the unmarshallers with their gates, the decoding, the
// device operations and their declarations, the index) is generated from these lists.
//
// OP(family, operation, code, input record, output record, level, on refusal): an operation with a
// body, which runs only behind its gate. On refusal the status is the gate's and the output holds
//   Zero   zero results;
//   InOut  the in-out fields as the caller sent them (they start so on every path: seedResults);
//   Own    what the device's family_operation_refused answers, handed the gate's status.
// NO_BODY(...): the same columns; the request is answered without a gate and without a body.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kzapalcodegen/ioctlCodes.h"
#include "kzapalcodegen/ioctlRecords.h"

// clang-format off
#define KZ_IOCTLS_kzvoltixPXICooling(OP, NO_BODY) \
    OP(kzvoltixPXICooling,  getCoolingMode,                                  0x00202701, tStatusRecord,                 tValue32Record,          22,            Zero) \
    OP(kzvoltixPXICooling,  overrideCoolingMode,                             0x00202702, tValue32Record,                tStatusRecord,           22,            Zero)

#define KZ_IOCTLS_hwCondition(OP, NO_BODY) \
    OP(hwCondition,         clearChannelBasedHardwareErrors,                 0x00202800, tMaskRecord,                   tStatusRecord,           22,            Zero) \
    OP(hwCondition,         checkBoardAndChannelBasedHardwareErrors,         0x00202801, tMaskRecord,                   tStatusRecord,           11,            Zero) \
    OP(hwCondition,         checkMeasureFIFOOverflowStatus,                  0x00202802, tMaskRecord,                   tStatusRecord,           22,            Zero)

#define KZ_IOCTLS_measureUnit(OP, NO_BODY) \
    OP(measureUnit,         arm,                                             0x00202900, tChannel32Record,              tStatusRecord,           22,            Zero) \
    OP(measureUnit,         reset,                                           0x00202901, tChannel32Record,              tStatusRecord,           22,            Zero)

#define KZ_IOCTLS_dravik(OP, NO_BODY) \
    OP(dravik,              startSequenceEngine,                             0x00202A00, tMaskNumberRecord,             tStatusRecord,           22,            Zero) \
    OP(dravik,              resetSequenceEngine,                             0x00202A01, tMaskRecord,                   tStatusRecord,           22,            Zero) \
    OP(dravik,              isSequenceEngineRunning,                         0x00202A02, tMaskRecord,                   tValue8Record,           22,            Zero) \
    OP(dravik,              downloadSubroutines,                             0x00202A03, tDownloadSubroutinesRecord,    tStatusRecord,           22,            Zero) \
    OP(dravik,              getSubroutines,                                  0x00202A04, tSubroutineListRecord,         tStatusRecord,           22,            Zero) \
    OP(dravik,              getNumSubroutines,                               0x00202A05, tStatusRecord,                 tValue32Record,          22,            Zero) \
    OP(dravik,              executeSubroutine,                               0x00202A06, tExecuteSubroutineRecord,      tStatusRecord,           22,            Zero)

#define KZ_IOCTLS_kzvorn(OP, NO_BODY) \
    OP(kzvorn,              getSetupLevel,                                   0x00202B00, tStatusRecord,                 tValue32Record,          0,             Zero)

#define KZ_IOCTLS_triggersAndEvents(OP, NO_BODY) \
    OP(triggersAndEvents,   overrideTrigger,                                 0x00202C00, tMaskNumberRecord,             tValue8Record,           22,            Zero) \
    OP(triggersAndEvents,   checkEventLatch,                                 0x00202C01, tMaskEventRecord,              tValue8Record,           22,            Zero) \
    OP(triggersAndEvents,   clearEventLatch,                                 0x00202C02, tMaskEventRecord,              tStatusRecord,           22,            Zero) \
    OP(triggersAndEvents,   clearAllEventLatches,                            0x00202C03, tMaskRecord,                   tStatusRecord,           22,            Zero)

#define KZ_IOCTLS_channelGanging(OP, NO_BODY) \
    OP(channelGanging,      reserveChannelsForGanging,                       0x00202D00, tGangRecord,                   tStatusRecord,           22,            Zero) \
    OP(channelGanging,      unreserveChannelsForGanging,                     0x00202D01, tChannelRecord,                tStatusRecord,           22,            Zero) \
    OP(channelGanging,      getMergeCount,                                   0x00202D02, tChannelRecord,                tValue8Record,           22,            Zero) \
    OP(channelGanging,      isCurrentChannelGangingMaster,                   0x00202D03, tChannelRecord,                tValue8Record,           22,            Zero) \
    OP(channelGanging,      isCurrentChannelGangingReserved,                 0x00202D04, tChannelRecord,                tValue8Record,           22,            Zero)

#define KZ_IOCTLS_vantrel(OP, NO_BODY) \
    OP(vantrel,             getHardwareErrors,                               0x00202E00, tSizedUserBufferRecord,        tStatusRecord,           11,            Zero) \
    OP(vantrel,             readTemperatureSensor,                           0x00202E01, tValue32Record,                tValue16Record,          12,            Own) \
    OP(vantrel,             queryInCompliance,                               0x00202E02, tChannelRecord,                tValue8Record,           22,            Zero) \
    OP(vantrel,             areStorageMapChecksumsValid,                     0x00202E03, tStatusRecord,                 tValue8Record,           22,            Zero) \
    OP(vantrel,             areStorageMapVersionsValid,                      0x00202E04, tStatusRecord,                 tValue8Record,           22,            Zero) \
    OP(vantrel,             getAlarmRaised,                                  0x00202E05, tMaskNumberRecord,             tValue8Record,           11,            Zero) \
    OP(vantrel,             clearAlarm,                                      0x00202E06, tMaskNumberRecord,             tStatusRecord,           11,            Zero) \
    OP(vantrel,             maskAlarm,                                       0x00202E07, tMaskNumberRecord,             tStatusRecord,           11,            Zero) \
    OP(vantrel,             unmaskAlarm,                                     0x00202E08, tMaskNumberRecord,             tStatusRecord,           11,            Zero) \
    OP(vantrel,             calculateChargeBalanceOffset,                    0x00202E09, tChargeBalanceOffsetRecord,    tStatusRecord,           22,            Zero) \
    OP(vantrel,             loadCalibrationToFirmwareFromStorageMapSoftcopy, 0x00202E0A, tMaskRecord,                   tStatusRecord,           22,            Zero) \
    OP(vantrel,             configureMeasureUnit,                            0x00202E0B, tConfigureMeasureUnitRecord,   tStatusRecord,           22,            Zero) \
    OP(vantrel,             getMeasurement,                                  0x00202E0C, tMeasurementRecord,            tStatusRecord,           22,            Zero) \
    OP(vantrel,             stagePowerAllocation,                            0x00202E0D, tPowerAllocationRecord,        tValue32Record,          22,            Zero) \
    OP(vantrel,             commitPowerAllocation,                           0x00202E0E, tChannelRecord,                tStatusRecord,           22,            Zero) \
    OP(vantrel,             discardPowerAllocation,                          0x00202E0F, tChannelRecord,                tStatusRecord,           22,            Zero) \
    OP(vantrel,             getActualPowerAllocation,                        0x00202E10, tChannelRecord,                tValue32Record,          22,            Zero) \
    OP(vantrel,             readDAC,                                         0x00202E11, tChannelRecord,                tValue32Record,          22,            Zero) \
    OP(vantrel,             writeCmccDigipot,                                0x00202E12, tChannelRecord,                tStatusRecord,           22,            Zero) \
    NO_BODY(vantrel,        fetchChargeBalanceOffsetRawData,                 0x00202E13, tUninterpretedRecord,          tStatusRecord,           kNoSetupLevel, Zero) \
    OP(vantrel,             getConnectedAccessory,                           0x00202E14, tStatusRecord,                 tValue32Record,          22,            Own) \
    OP(vantrel,             setConnectedAccessory,                           0x00202E15, tValue32Record,                tStatusRecord,           22,            Zero) \
    NO_BODY(vantrel,        setAuxiliaryIoConfig,                            0x00202E16, tUninterpretedRecord,          tStatusRecord,           kNoSetupLevel, Zero)

#define KZ_IOCTLS_routing(OP, NO_BODY) \
    OP(routing,             queryVersion,                                    0x00208000, tStatusRecord,                 tValue32Record,          22,            Zero) \
    OP(routing,             calculateRoute,                                  0x00208001, tCalculateRouteRecord,         tCalculatedRoutesRecord, 22,            InOut) \
    OP(routing,             destroyRoute,                                    0x00208002, tRouteRecord,                  tStatusRecord,           22,            Zero) \
    OP(routing,             reserveRoute,                                    0x00208003, tRouteBufferRecord,            tValue32Record,          22,            InOut) \
    OP(routing,             programRoute,                                    0x00208004, tRouteRecord,                  tStatusRecord,           22,            Zero) \
    OP(routing,             unreserveRoute,                                  0x00208005, tRouteRecord,                  tStatusRecord,           22,            Zero) \
    OP(routing,             unprogramRoute,                                  0x00208006, tRouteRecord,                  tStatusRecord,           22,            Zero) \
    OP(routing,             getRouteTerminalPath,                            0x00208007, tRouteBufferRecord,            tValue32Record,          22,            InOut) \
    OP(routing,             getTopographyName,                               0x00208008, tSizedUserBufferRecord,        tStatusRecord,           22,            Zero) \
    OP(routing,             resetTerminal,                                   0x0020800A, tResetTerminalRecord,          tStatusRecord,           22,            Zero) \
    OP(routing,             calculateResetTerminal,                          0x0020800B, tCalculateResetTerminalRecord, tValue32Record,          22,            Zero)

#define KZ_IOCTLS_arm(OP, NO_BODY) \
    OP(arm,                 write,                                           0x00208100, tFieldWriteRecord,             tStatusRecord,           1,             Zero) \
    OP(arm,                 read,                                            0x00208101, tFieldRecord,                  tValue32Record,          1,             Zero) \
    OP(arm,                 flushRegister,                                   0x00208102, tFieldFlushRecord,             tStatusRecord,           1,             Zero) \
    OP(arm,                 refreshRegister,                                 0x00208103, tFieldRecord,                  tStatusRecord,           1,             Zero) \
    OP(arm,                 getNumberOfRegistrations,                        0x00208104, tStatusRecord,                 tValue64Record,          1,             Zero) \
    OP(arm,                 getRegistrationNames,                            0x00208105, tUserBufferRecord,             tStatusRecord,           1,             Zero) \
    OP(arm,                 flushRegMap,                                     0x00208108, tNameForceRecord,              tStatusRecord,           1,             Zero) \
    OP(arm,                 set,                                             0x00208109, tFieldSetRecord,               tStatusRecord,           1,             Zero) \
    OP(arm,                 get,                                             0x0020810A, tFieldRecord,                  tValue32Record,          1,             Zero) \
    OP(arm,                 writeEx,                                         0x0020810B, tFieldWriteExRecord,           tStatusRecord,           1,             Zero) \
    OP(arm,                 readEx,                                          0x0020810C, tFieldExRecord,                tValue64Record,          1,             Zero) \
    OP(arm,                 setEx,                                           0x0020810D, tFieldSetExRecord,             tStatusRecord,           1,             Zero) \
    OP(arm,                 getEx,                                           0x0020810E, tFieldExRecord,                tValue64Record,          1,             Zero) \
    OP(arm,                 flushRegisterEx,                                 0x0020810F, tFieldFlushExRecord,           tStatusRecord,           1,             Zero) \
    OP(arm,                 refreshRegisterEx,                               0x00208110, tFieldExRecord,                tStatusRecord,           1,             Zero) \
    OP(arm,                 getRegisterFormat,                               0x00208111, tRegisterFormatRecord,         tValue32Record,          1,             InOut) \
    OP(arm,                 getSizeOfRegistrationList,                       0x00208112, tStatusRecord,                 tValue64Record,          1,             Zero) \
    OP(arm,                 getRegistrationList,                             0x00208113, tUserBufferRecord,             tStatusRecord,           1,             Zero)

#define KZ_IOCTLS_deviceWindow(OP, NO_BODY) \
    OP(deviceWindow,        flush,                                           0x00208140, tWindowFlushRecord,            tStatusRecord,           1,             Zero) \
    OP(deviceWindow,        getNumberOfRegistrations,                        0x00208141, tStatusRecord,                 tValue64Record,          1,             Zero) \
    OP(deviceWindow,        getRegistrationNames,                            0x00208142, tUserBufferRecord,             tStatusRecord,           1,             Zero) \
    OP(deviceWindow,        getSizeInBytes,                                  0x00208143, tNameRecord,                   tValue64Record,          1,             Zero) \
    OP(deviceWindow,        write,                                           0x00208144, tWindowWriteRecord,            tStatusRecord,           1,             Zero) \
    OP(deviceWindow,        read,                                            0x00208145, tWindowGetRecord,              tStatusRecord,           1,             Zero) \
    OP(deviceWindow,        set,                                             0x00208146, tWindowSetRecord,              tStatusRecord,           1,             Zero) \
    OP(deviceWindow,        get,                                             0x00208147, tWindowGetRecord,              tStatusRecord,           1,             Zero) \
    OP(deviceWindow,        refresh,                                         0x00208148, tWindowRangeRecord,            tStatusRecord,           1,             Zero)

#define KZ_IOCTLS_storageMap(OP, NO_BODY) \
    OP(storageMap,          flush,                                           0x00208180, tNameForceRecord,              tStatusRecord,           1,             Zero) \
    OP(storageMap,          getNumberOfRegistrations,                        0x00208181, tStatusRecord,                 tValue64Record,          1,             Zero) \
    OP(storageMap,          getRegistrationNames,                            0x00208182, tUserBufferRecord,             tStatusRecord,           1,             Zero) \
    OP(storageMap,          getElementCount,                                 0x00208183, tFieldRecord,                  tValue64Record,          1,             Zero) \
    OP(storageMap,          getElementSize,                                  0x00208184, tFieldRecord,                  tValue64Record,          1,             Zero) \
    OP(storageMap,          refresh,                                         0x00208185, tNameRecord,                   tStatusRecord,           1,             Zero) \
    OP(storageMap,          setRaw,                                          0x0020818C, tStorageMapRawRecord,          tStatusRecord,           1,             Zero) \
    OP(storageMap,          getRaw,                                          0x002081A0, tStorageMapRawRecord,          tStatusRecord,           1,             Zero) \
    OP(storageMap,          isChecksumValid,                                 0x002081B5, tNameRecord,                   tValue8Record,           1,             Zero)

#define KZ_IOCTLS_quolinTools(OP, NO_BODY) \
    OP(quolinTools,         startDMA,                                        0x00208200, tStartDMARecord,               tStatusRecord,           14,            Zero) \
    OP(quolinTools,         stopDMA,                                         0x00208201, tStreamRecord,                 tStatusRecord,           14,            Zero) \
    OP(quolinTools,         addTransferToDevice,                             0x00208202, tTransferToDeviceRecord,       tStatusRecord,           14,            Zero) \
    OP(quolinTools,         addTransferFromDevice,                           0x00208203, tTransferFromDeviceRecord,     tStatusRecord,           14,            Zero) \
    OP(quolinTools,         writeStreamAdditiveTransferCount,                0x00208204, tStreamCountRecord,            tStatusRecord,           14,            Zero) \
    OP(quolinTools,         getTransferCount,                                0x00208205, tStreamRecord,                 tValue64Record,          14,            Zero) \
    OP(quolinTools,         clearTransfers,                                  0x00208206, tStreamRecord,                 tStatusRecord,           14,            Zero) \
    OP(quolinTools,         clearApplicationFIFO,                            0x00208207, tStreamRecord,                 tStatusRecord,           14,            Zero) \
    OP(quolinTools,         waitUntilBytesTransferred,                       0x00208208, tWaitRecord,                   tValue8Record,           14,            InOut) \
    OP(quolinTools,         cancelWaitUntilBytesTransferred,                 0x00208209, tStreamRecord,                 tStatusRecord,           14,            Zero)

#define KZ_IOCTLS_pxiCooling(OP, NO_BODY) \
    OP(pxiCooling,          getRequestedCoolingMode,                         0x80208400, tStatusRecord,                 tValue32Record,          22,            Zero) \
    OP(pxiCooling,          setCoolingMode,                                  0x40208401, tValue32Record,                tStatusRecord,           22,            Zero)

#define KZ_IOCTLS_kdut(OP, NO_BODY) \
    OP(kdut,                reset,                                           0x00208600, tResetRecord,                  tStatusRecord,           0,             Zero) \
    OP(kdut,                checkHardwareState,                              0x00208601, tHardwareStateRecord,          tStatusRecord,           22,            Zero) \
    OP(kdut,                checkChannelHardwareState,                       0x00208602, tChannelHardwareStateRecord,   tStatusRecord,           22,            Zero) \
    OP(kdut,                cleanup,                                         0x00208603, tStatusRecord,                 tStatusRecord,           0,             Zero) \
    OP(kdut,                reserveResources,                                0x00208604, tMaskRecord,                   tStatusRecord,           22,            Zero)

// Every family's requests; the "nPXICOOLING_17_2_pxiCooling" interface knows the pxiCooling family only.
#define KZ_KZVORN_IOCTLS(OP, NO_BODY) \
    KZ_IOCTLS_kzvoltixPXICooling(OP, NO_BODY) \
    KZ_IOCTLS_hwCondition(OP, NO_BODY) \
    KZ_IOCTLS_measureUnit(OP, NO_BODY) \
    KZ_IOCTLS_dravik(OP, NO_BODY) \
    KZ_IOCTLS_kzvorn(OP, NO_BODY) \
    KZ_IOCTLS_triggersAndEvents(OP, NO_BODY) \
    KZ_IOCTLS_channelGanging(OP, NO_BODY) \
    KZ_IOCTLS_vantrel(OP, NO_BODY) \
    KZ_IOCTLS_routing(OP, NO_BODY) \
    KZ_IOCTLS_arm(OP, NO_BODY) \
    KZ_IOCTLS_deviceWindow(OP, NO_BODY) \
    KZ_IOCTLS_storageMap(OP, NO_BODY) \
    KZ_IOCTLS_quolinTools(OP, NO_BODY) \
    KZ_IOCTLS_pxiCooling(OP, NO_BODY) \
    KZ_IOCTLS_kdut(OP, NO_BODY)

// clang-format on

namespace kzvorn_driver {

// What a request's output holds when its gate refuses it: the table's last column.
enum class tRefusalOutput : uint8_t { kZero, kInOut, kOwn };

// One entry of the index, for lookups by code or by name.
struct tIOControlEntry {
    uint32_t code;
    const char* name;  // "family_operation"
    uint32_t inputSize;
    uint32_t outputSize;
    uint32_t level;  // kNoSetupLevel: no gate
    uint32_t inputStatusOffset;
    uint32_t outputStatusOffset;
};

#define KZ_IOCTL_ENTRY(family, operation, code, tInput, tOutput, level, refusal)                                  \
    {code,  #family "_" #operation,  sizeof(tInput), sizeof(tOutput), level, offsetof(tInput, status), \
     offsetof(tOutput, status)},
inline constexpr tIOControlEntry kKzvornIOControls[] = {KZ_KZVORN_IOCTLS(KZ_IOCTL_ENTRY, KZ_IOCTL_ENTRY)};
inline constexpr tIOControlEntry kPxiCoolingIOControls[] = {KZ_IOCTLS_pxiCooling(KZ_IOCTL_ENTRY, KZ_IOCTL_ENTRY)};
#undef KZ_IOCTL_ENTRY

constexpr size_t kKzvornIOControlCount = sizeof(kKzvornIOControls) / sizeof(kKzvornIOControls[0]);
static_assert(kKzvornIOControlCount == 111, "the kzvorn interface knows 111 codes");
static_assert(sizeof(kPxiCoolingIOControls) / sizeof(kPxiCoolingIOControls[0]) == 2,
              "the pxiCooling interface knows two codes");

// The setup level each operation's gate requires, by operation name.
struct tRequiredSetupLevel {
#define KZ_IOCTL_LEVEL(family, operation, code, tInput, tOutput, level, refusal) \
    static constexpr uint32_t family##_##operation = level;
    KZ_KZVORN_IOCTLS(KZ_IOCTL_LEVEL, KZ_IOCTL_LEVEL)
#undef KZ_IOCTL_LEVEL
};

// Every code carries the envelope's size and its family's byte; the records end in their status;
// a request is marked InOut exactly when its records have in-out fields.
#define KZ_IOCTL_CHECK(family, operation, code, tInput, tOutput, level, refusal)                                     \
    static_assert(ioControlSize(code) == kIOControlEnvelopeSize && ioControlFamily(code) == ioctlFamily::family,   \
                  #family "_" #operation ": code layout");                                                          \
    static_assert(sizeof(tInput) <= 64 && sizeof(tOutput) <= 16, #family "_" #operation ": records fit the stack"); \
    static_assert(tHasInOutFields<tInput, tOutput>::value == (tRefusalOutput::k##refusal == tRefusalOutput::kInOut), \
                  #family "_" #operation ": in-out fields and the table agree");
KZ_KZVORN_IOCTLS(KZ_IOCTL_CHECK, KZ_IOCTL_CHECK)
#undef KZ_IOCTL_CHECK

}  // namespace kzvorn_driver
