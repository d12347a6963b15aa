// The register map of one isolated channel: a block of 512 words of the isolated FPGA holding the
// channel's configuration and status, occurrence muxes, modes and ranges, setpoints and limits,
// protection, autoranging, sequencer data access, measure units, DAC control, switches,
// calibration and servo gains and scratch registers. Seven instances exist, one per channel block;
// each reaches its registers through a front-end accessor, one 32-bit access per register access.
//
// Behaviour kept on purpose, because user mode and the controllers rely on it:
// - A read/write occurrence mux status register writes its shadow to the word it shares with the
//   mux configuration register, so a forced flushRegMap after a read sends status bits (armed,
//   latched, allowed inputs) as configuration.
// - A pending-strobe register moves its strobes into the shadow before it sends them; when the
//   send fails, the next send masks them off, so they are not sent again. A shadowed register
//   keeps its strobes and sends them again.
// - A failed read reports its error and still delivers a value: the unchanged shadow, or for an
//   unshadowed register what the accessor's read returned. Callers test the status first.
#pragma once

#include <cstdint>

#include "kzvoltixSharedSource/frontEndAccessorInterface.h"
#include "kzvorn_regMaps/productRegisterMap.h"
#include "quolinTools/armgen/registerMapDeclaration.h"

namespace kzvorn_regmaps {

namespace nTolvaneIsoChannelRegMap {
// Field values are the fields' bit patterns; only the occurrence mux actions have names.
enum ControlModeType : uint8_t {};
enum OccurrenceMuxMaskIndexType : uint8_t {};
enum OccurrenceMuxActionType : uint8_t { kOccurrenceMuxEnable = 1, kOccurrenceMuxDisable = 2 };
enum SaturationType : uint8_t {};
enum OcpCountMaxDefaultType : uint16_t {};
enum OcpISatCountAddDefaultType : uint8_t {};
enum OcpIVSatCountAddDefaultType : uint8_t {};
enum OvpCountMaxDefaultType : uint16_t {};
enum OvpCountAddDefaultType : uint8_t {};
enum AutorangeTypeT : uint8_t {};
}  // namespace nTolvaneIsoChannelRegMap

// Offsets are channel word offsets. Bit 0 of tVoltageSwitchesControlStgReg, like AutorangeType,
// takes bit 0 of a written value; every other one-bit field is set by any non-zero value.
// clang-format off
#define KZ_TOLVANE_ISO_CHANNEL_REGISTERS(R, TYPE, REG, ARRAY, F, FLAG) \
    /* type                                              kind      keep        fields */ \
    TYPE(tIsoChannelConfigReg,                            32, WO,      0, 0x78C0FC0C, \
         FLAG(EnableIsoChannelErrorManagerStb, 0) FLAG(DisableIsoChannelErrorManagerStb, 1) FLAG(_, 2) FLAG(_, 3) \
         FLAG(_, 4) FLAG(_, 5) FLAG(_, 6) FLAG(_, 7) FLAG(_, 8) FLAG(_, 9) FLAG(_, 16) FLAG(_, 17) FLAG(_, 18) \
         FLAG(_, 19) FLAG(_, 20) FLAG(_, 21) FLAG(_, 24) FLAG(_, 25) FLAG(_, 26) FLAG(_, 31)) \
    TYPE(tIsoChannelStatusReg,                            32, RO,      0, ALL,       FLAG(_, 0) FLAG(_, 1) \
         FLAG(_, 24) FLAG(_, 25) FLAG(_, 26) FLAG(_, 27) FLAG(_, 28) FLAG(_, 29) FLAG(_, 30) FLAG(_, 31)) \
    TYPE(tControlModeRegType,                             32, RW,      0, ALL, \
         F((ControlMode, ControlModeType), 1, 0)) \
    TYPE(tDataTransferReg,                                32, WO,      0, 0xFFFFE000, FLAG(_, 0) FLAG(_, 1) \
         FLAG(_, 2) FLAG(_, 3) FLAG(_, 4) FLAG(_, 5) FLAG(_, 6) FLAG(_, 7) FLAG(_, 8) FLAG(_, 9) FLAG(_, 10) \
         FLAG(_, 11) FLAG(_, 12)) \
    TYPE(tCommandFifoFullnessReg,                         32, RW,      0, ALL,       F(_, 31, 0)) \
    TYPE(tSequencerBranchReg,                             32, WO,      0, ALL,       F(_, 31, 0)) \
    TYPE(tSequencerDontBranchReg,                         32, WO,      0, ALL,       F(_, 31, 0)) \
    TYPE(tIsoSeqStreamControllerDebugReg,                 32, RW,      0, ALL,       F(_, 15, 0) F(_, 18, 16)) \
    TYPE(tSequencerDebugReg,                              32, RO,      0, ALL,       F(_, 14, 0) FLAG(_, 15) \
         F(_, 18, 16) FLAG(_, 19) FLAG(_, 20) FLAG(_, 21) FLAG(_, 22) FLAG(_, 23) FLAG(_, 24) FLAG(_, 25) \
         F(_, 28, 26) F(_, 30, 29)) \
    TYPE(tActualOutputConnectedStateReg,                  32, RW,      0, ALL,       F(_, 1, 0)) \
    TYPE(tGangingModeRegType,                             32, RW,      0, ALL,       F(GangingMode, 1, 0)) \
    TYPE(tOutputSenseRegType,                             32, RW,      0, ALL,       F(VoltageOutputSense, 1, 0)) \
    TYPE(tFunctionSelectRegType,                          32, RW,      0, ALL,       FLAG(_, 0)) \
    TYPE(tCurrentRangeRegType,                            32, RW,      0, ALL,       F(CurrentRange, 2, 0)) \
    TYPE(tVoltageRangeRegType,                            32, RW,      0, ALL,       F(VoltageRange, 1, 0)) \
    TYPE(tTransientResponseRegType,                       32, RW,      0, ALL,       F(TransientResponseMode, 1, 0)) \
    TYPE(tDitherConfigReg,                                32, WO,      0, 0xFFFFF8F8, F(_, 2, 0) F(_, 10, 8)) \
    KZ_OCCURRENCE_REGISTER_TYPES(TYPE, F, FLAG, nTolvaneIsoChannelRegMap) \
    TYPE(tChEventGenerationReg,                           32, WO,      0, 0x3FFFFFC0, FLAG(_, 0) FLAG(_, 1) \
         FLAG(_, 2) FLAG(_, 3) FLAG(_, 4) FLAG(_, 5) FLAG(_, 30) FLAG(_, 31)) \
    TYPE(tTimerRegType,                                   32, WO,      0, 0x00000000, F(_, 31, 0)) \
    TYPE(tSoftwareInterruptAndOverrideReg,                32, WO,      0, 0xFFE0FFC0, FLAG(_, 0) FLAG(_, 1) \
         FLAG(_, 2) FLAG(_, 3) FLAG(_, 4) FLAG(_, 5) F(_, 20, 16)) \
    TYPE(tMeasureCompleteDelayReg,                        32, WO,      0, ALL,       F(_, 31, 0)) \
    TYPE(tIsoInterruptConfigReg,                          32, WO,      0, 0xFFFFFF88, F(_, 2, 0) F(_, 6, 4)) \
    TYPE(tIsoInterruptAddressReg,                         32, WO,      0, ALL,       F(_, 31, 0)) \
    TYPE(tChannelEventLatchClearReg,                      32, WO,      0, 0x00000000, F(_, 31, 0)) \
    TYPE(tChannelEventLatchStatusReg,                     32, RO,      0, ALL,       F(_, 31, 0)) \
    TYPE(tChargeBalanceOffsetRegT,                        32, RW,      0, ALL,       F(ChargeBalanceOffset, 13, 0)) \
    TYPE(tChargeBalancerControlRegT,                      32, WO,      0, 0xFFFFFFF0, FLAG(_, 0) FLAG(_, 1) \
         FLAG(_, 2) FLAG(_, 3)) \
    TYPE(tChargeBalancerStatusRegT,                       32, RO,      0, ALL,       FLAG(_, 0) FLAG(_, 1) \
         FLAG(_, 2) FLAG(_, 4) FLAG(_, 5) FLAG(_, 6) FLAG(_, 8) FLAG(_, 9) FLAG(_, 10) FLAG(_, 12) FLAG(_, 13) \
         FLAG(_, 14)) \
    TYPE(tCalGainRegType,                                 32, CMD,     0, ALL,       F(_, 23, 0)) \
    TYPE(tVoltageRangeOutputSensePtrRegType,              32, RW,      0, ALL, \
         F(VoltageRangeAndOutputSense, 3, 0)) \
    TYPE(tCalOffsetRegType,                               32, CMD,     0, ALL,       F(_, 30, 0)) \
    TYPE(tCalibratedDataRegType,                          32, RW,      0, ALL,       F(DebugCalibratedSample, 13, 0) \
         F((DebugCalibratedSampleSat, SaturationType), 17, 16)) \
    TYPE(tCmcGainRegType,                                 32, CMD,     0, ALL,       F(_, 23, 0)) \
    TYPE(tResistanceGainRegType,                          32, RW,      0, ALL,       F(ResistanceGain, 24, 0)) \
    TYPE(tPoleZeroGainRegType,                            32, CMD,     0, ALL,       F(_, 17, 0)) \
    TYPE(tCurrentRangeResponsePtrRegType,                 32, RW,      0, ALL, \
         F(CurrentRangeAndResponseMode, 4, 0)) \
    TYPE(tPoleGainRegType,                                32, CMD,     0, ALL,       F(_, 14, 0)) \
    TYPE(tZeroGainRegType,                                32, CMD,     0, ALL,       F(_, 17, 0)) \
    TYPE(tSetpointRegType,                                32, RW,      0, ALL,       F(_, 31, 0)) \
    TYPE(tLimitRegType,                                   32, RW,      0, ALL,       F(_, 31, 0)) \
    TYPE(tGainBandwidthRegType,                           32, CMD,     0, ALL,       F(_, 31, 0)) \
    TYPE(tFastDacScalingRegType,                          32, CMD,     0, ALL,       F(_, 31, 0)) \
    TYPE(tSlowDacScalingRegType,                          32, CMD,     0, ALL,       F(_, 31, 0)) \
    TYPE(tPredictiveRangeControlStgReg,                   32, WO,      0, 0xFFFFFFFE, FLAG(_, 0)) \
    TYPE(tPredictiveRangeGainTableReg,                    32, RW,      0, ALL,       F(_, 31, 0)) \
    TYPE(tPredictiveRangeGainPtrReg,                      32, RW,      0, ALL,       F(_, 5, 0)) \
    TYPE(tDacOverrideControlRegType,                      32, RW,      0, ALL,       F(_, 7, 0) \
         FLAG(EnableDacOverride, 31)) \
    TYPE(tDacOverrideThresholdRegType,                    32, RW,      0, ALL,       F(DacOverrideThreshold, 13, 0)) \
    TYPE(tOutputPoleZeroGainRegType,                      32, CMD,     0, ALL,       F(_, 17, 0)) \
    TYPE(tOutputZeroGainRegType,                          32, CMD,     0, ALL,       F(_, 17, 0)) \
    TYPE(tDirectDacControlReg,                            32, RW,      0, ALL,       F(_, 21, 0)) \
    TYPE(tCoarseFineDacControlReg,                        32, RW,      0, ALL,       F(_, 11, 0) F(_, 27, 16)) \
    TYPE(tDacConfigStatusReg,                             32, RO,      0, ALL,       F(_, 7, 0) FLAG(_, 30) \
         FLAG(_, 31)) \
    TYPE(tDacConfigAccessReg,                             32, WO,      0, 0xFFFF0000, F(_, 7, 0) F(_, 15, 8)) \
    TYPE(tDacResetReg,                                    32, WO,      0, ALL,       FLAG(_, 0)) \
    TYPE(tCicFilterConfigRegType,                         32, RW,      0, ALL,       F(DownsampleRate, 21, 0) \
         F(FilterOrder, 25, 24) F(WindowLsb, 30, 28) FLAG(PointCompressible, 31)) \
    TYPE(tMuCtrlRegType,                                  32, WO,      0, 0xFFFFFCC8, FLAG(_, 0) \
         FLAG(AbortMeasure, 1) FLAG(RestartMeasure, 2) FLAG(MuPacketGenEnable, 4) FLAG(MuPacketGenDisable, 5) \
         FLAG(MuRangedMeasureEnable, 8) FLAG(MuFixedMeasureEnable, 9)) \
    TYPE(tMuStatusRegType,                                32, RO,      0, ALL,       FLAG(_, 0) FLAG(_, 1) \
         FLAG(_, 2) FLAG(_, 3) FLAG(_, 4)) \
    TYPE(tMuRecordConfigRegType,                          32, RW,      0, ALL,       F(PointsPerRecord, 24, 0) \
         FLAG(MeasureContinuous, 28)) \
    TYPE(tLatestPointRegType,                             32, RO,      0, ALL,       F(_, 31, 0)) \
    TYPE(tCurrentSwitchesControlStgReg,                   32, WO,      0, 0xFFF00000, F(_, 1, 0) F(_, 3, 2) \
         F(_, 5, 4) F(_, 7, 6) F(_, 9, 8) F(_, 11, 10) F(_, 13, 12) F(_, 15, 14) F(_, 18, 16) FLAG(_, 19)) \
    TYPE(tCurrentSwitchesStatusLiveReg,                   32, RO,      0, ALL,       F(_, 1, 0) F(_, 3, 2) \
         F(_, 5, 4) F(_, 7, 6) F(_, 9, 8) F(_, 11, 10) F(_, 13, 12) F(_, 15, 14) F(_, 18, 16)) \
    TYPE(tSsrEmrSenseSwitchesControlStgReg,               32, WO,      0, 0x3FFF8000, F(_, 1, 0) F(_, 3, 2) \
         F(_, 5, 4) F(_, 7, 6) F(_, 9, 8) F(_, 11, 10) F(_, 13, 12) FLAG(_, 14) F(_, 31, 30)) \
    TYPE(tSsrEmrSenseSwitchesStatusLiveReg,               32, RO,      0, ALL,       F(_, 1, 0) F(_, 3, 2) \
         F(_, 5, 4) F(_, 7, 6) F(_, 9, 8) F(_, 11, 10) F(_, 14, 12) F(_, 31, 30)) \
    TYPE(tVoltageSwitchesControlStgReg,                   32, WO,      0, 0xFFFFFFFC, F((_, uint8_t), 0) FLAG(_, 1)) \
    TYPE(tVoltageSwitchesStatusLiveReg,                   32, RO,      0, ALL,       FLAG(_, 0)) \
    TYPE(tSelfCalSwitchesControlStgReg,                   32, WO,      0, 0xFFFFFF80, F(_, 1, 0) F(_, 3, 2) \
         FLAG(_, 4) F(_, 6, 5)) \
    TYPE(tSelfCalSwitchesStatusLiveReg,                   32, RO,      0, ALL,       F(_, 1, 0) F(_, 3, 2) \
         F(_, 6, 5)) \
    TYPE(tOcpConfigRegType,                               32, RW,      0, ALL, \
         F((OcpCountMax, OcpCountMaxDefaultType), 15, 0) F((OcpISatCountAdd, OcpISatCountAddDefaultType), 21, 16) \
         F((OcpIVSatCountAdd, OcpIVSatCountAddDefaultType), 31, 24)) \
    TYPE(tOvpConfigRegType,                               32, RW,      0, ALL, \
         F((OvpCountMax, OvpCountMaxDefaultType), 10, 0) F((OvpCountAdd, OvpCountAddDefaultType), 21, 16)) \
    TYPE(tUserAlmThresholdRegType,                        32, RW,      0, ALL, \
         F(UserAlmThresholdValue, 13, 0)) \
    TYPE(tSenseLeadDropAlmThresholdRegType,               32, RW,      0, ALL, \
         F(SenseLeadDropAlmThresholdValue, 13, 0)) \
    TYPE(tOvpDebugAccessStgReg,                           32, RW,      0, ALL,       F(_, 13, 0) F(_, 29, 16)) \
    TYPE(tOcpThresholdTableRegType,                       32, RW,      0, ALL,       F(_, 13, 0)) \
    TYPE(tSequencerDataRamAddressRegType,                 32, RW,      0, ALL, \
         F(SequencerDataRamAddress, 14, 0)) \
    TYPE(tSequencerDataRamDataReg,                        32, RW,      0, ALL,       F(_, 31, 0)) \
    TYPE(tGangBalancerVLimitRegType,                      32, RW,      0, ALL,       F(GangBalancerLimit, 13, 0)) \
    TYPE(tServoGainBandwidthRegType,                      32, CMD,     0, ALL,       F(_, 12, 0)) \
    TYPE(tCurrentRangeVoltageRangePtrRegType,             32, RW,      0, ALL,       F(_, 4, 0)) \
    TYPE(tAutorangeControlStatusReg,                      32, PENDING | ARM_READ_SIDE(FLAG(_, 0) FLAG(_, 2) \
         F(_, 12, 11) FLAG(_, 14) FLAG(_, 16) FLAG(_, 18) FLAG(_, 24) FLAG(_, 25)), 0, 0xFCF55FF5, \
         FLAG(AutorangeEnabled, 0) FLAG(AutorangeEnabledUpdateStb, 1) F((AutorangeType, AutorangeTypeT), 2) \
         FLAG(AutorangeTypeUpdateStb, 3) F(AutorangeSourceMu, 12, 11) FLAG(AutorangeSourceMuUpdateStb, 13) \
         FLAG(AutorangeLowEnabled, 14) FLAG(AutorangeLowEnabledUpdateStb, 15) FLAG(AutorangeHighEnabled, 16) \
         FLAG(AutorangeHighEnabledUpdateStb, 17) FLAG(AutorangeDownThresholdMinMaxEnabled, 18) \
         FLAG(AutorangeDownThresholdMinMaxEnableStb, 19) FLAG(AutorangeLowFlagClearStb, 24) \
         FLAG(AutorangeHighFlagClearStb, 25)) \
    TYPE(tAutorangeThresholdRegType,                      32, RW,      0, ALL,       F(AutorangeThreshold, 30, 0) \
         FLAG(IsCurrentThreshold, 31)) \
    TYPE(tAutorangeDownThresholdMinMaxFilterConfigStatus, 32, PENDING | ARM_READ_SIDE(FLAG(_, 0)), 0, 0xFFFFFFFC, \
         FLAG(AutorangeDownThresholdMinMaxFilterEnableStb, 0) FLAG(AutorangeDownThresholdMinMaxFilterDisableStb, 1)) \
    TYPE(tAutorangeDownThresholdSampleRegType,            32, RW,      0, ALL, \
         F(AutorangeDownThresholdSample, 17, 0)) \
    TYPE(tProtectionConfigurationRegType,                 32, RW,      0, ALL,       F(_, 15, 0) \
         FLAG(ProtectionConfigApplyToI, 30) FLAG(ProtectionConfigApplyToV, 31)) \
    TYPE(tMuHoldoffControlRegType,                        32, WO,      0, 0x7E000000, \
         F(HoldoffReleaseCountdown, 23, 0) FLAG(HoldoffReleaseStb, 24) FLAG(HoldoffCaptureStb, 31)) \
    TYPE(tChScratchRegType,                               32, RW,      0, ALL,       F(_, 31, 0)) \
    TYPE(tRfuRegType,                                     32, RW,      0, ALL,       F(_, 31, 0)) \
    /* registers in member order: getter (types with one register), type, (offset, key ...) */ \
    REG(IsoChannelConfigReg,               tIsoChannelConfigReg,                            (0x000, 0x0DCE7E)) \
    REG(IsoChannelStatusReg,               tIsoChannelStatusReg,                            (0x000, 0x5476FC)) \
    REG(_,                                 tControlModeRegType,                             (0x001, 0x15DC6B)) \
    REG(DataTransferReg,                   tDataTransferReg,                                (0x002, 0x7512A9)) \
    REG(CommandFifoFullnessReg,            tCommandFifoFullnessReg,                         (0x003, 0xB1F0DE)) \
    REG(SequencerBranchReg,                tSequencerBranchReg,                             (0x004, 0xEBC800)) \
    REG(SequencerDontBranchReg,            tSequencerDontBranchReg,                         (0x005, 0x5AFFBF)) \
    REG(IsoSeqStreamControllerDebugReg,    tIsoSeqStreamControllerDebugReg,                 (0x006, 0x0CD6BA)) \
    REG(SequencerDebugReg,                 tSequencerDebugReg,                              (0x007, 0xA6EEEB)) \
    REG(ActualOutputConnectedStateReg,     tActualOutputConnectedStateReg,                  (0x008, 0x6CEFF5)) \
    REG(_,                                 tGangingModeRegType,                             (0x009, 0xE7F485)) \
    REG(_,                                 tOutputSenseRegType,                             (0x00A, 0x630CB9)) \
    REG(_,                                 tFunctionSelectRegType,                          (0x00B, 0xCB1C75)) \
    REG(_,                                 tCurrentRangeRegType,                            (0x00C, 0x1E9AA9)) \
    REG(_,                                 tVoltageRangeRegType,                            (0x00D, 0xA875E5)) \
    ARRAY(_,                               tTransientResponseRegType,                       (0x00E, 0x5855C6, \
          0x0B6B41), 2, 1) \
    REG(DitherConfigReg,                   tDitherConfigReg,                                (0x010, 0x1C44F6)) \
    REG(ErrorMuxConfig,                    tOccurrenceMuxConfigRegType,                     (0x020, 0xEC3526)) \
    REG(ErrorMuxStatus,                    tOccurrenceMuxStatusRegType,                     (0x020, 0x75712F)) \
    REG(AlarmMuxConfig,                    tOccurrenceMuxConfigRegType,                     (0x021, 0xCB5593)) \
    REG(AlarmMuxStatus,                    tOccurrenceMuxStatusRegType,                     (0x021, 0x3A510A)) \
    REG(StartTriggerMuxConfig,             tOccurrenceMuxConfigRegType,                     (0x022, 0xEF3D7C)) \
    REG(_,                                 tOccurrenceMuxStatusRegType,                     (0x022, 0x44171D)) \
    REG(SourceTriggerMuxConfig,            tOccurrenceMuxConfigRegType,                     (0x023, 0xBE5675)) \
    REG(_,                                 tOccurrenceMuxStatusRegType,                     (0x023, 0x4FF236)) \
    REG(SequenceAdvanceTriggerMuxConfig,   tOccurrenceMuxConfigRegType,                     (0x024, 0xE22859)) \
    REG(_,                                 tOccurrenceMuxStatusRegType,                     (0x024, 0xE41722)) \
    REG(_,                                 tOccurrenceMuxConfigRegType,                     (0x025, 0x12C0C5)) \
    REG(_,                                 tOccurrenceMuxStatusRegType,                     (0x025, 0xB44203)) \
    REG(_,                                 tOccurrenceMuxConfigRegType,                     (0x026, 0x390661)) \
    REG(_,                                 tOccurrenceMuxStatusRegType,                     (0x026, 0x45885A)) \
    REG(MainMeasureTriggerMuxConfig,       tOccurrenceMuxConfigRegType,                     (0x027, 0xA400BD)) \
    REG(_,                                 tOccurrenceMuxStatusRegType,                     (0x027, 0x375DAD)) \
    REG(_,                                 tOccurrenceMuxConfigRegType,                     (0x028, 0x16B9C1)) \
    REG(_,                                 tOccurrenceMuxStatusRegType,                     (0x028, 0xAF5C63)) \
    REG(_,                                 tOccurrenceMuxConfigRegType,                     (0x029, 0x717208)) \
    REG(_,                                 tOccurrenceMuxStatusRegType,                     (0x029, 0xF3E51D)) \
    REG(InterruptMuxConfig,                tOccurrenceMuxConfigRegType,                     (0x02A, 0xC359BD)) \
    REG(InterruptMuxStatus,                tOccurrenceMuxStatusRegType,                     (0x02A, 0x6F34DE)) \
    REG(_,                                 tOccurrenceMuxConfigRegType,                     (0x035, 0xA2C17D)) \
    REG(_,                                 tOccurrenceMuxConfigRegType,                     (0x035, 0x3EA104)) \
    REG(ChEventGenerationReg,              tChEventGenerationReg,                           (0x040, 0x4709D0)) \
    REG(_,                                 tTimerRegType,                                   (0x043, 0x47B75A)) \
    REG(SoftwareInterruptAndOverrideReg,   tSoftwareInterruptAndOverrideReg,                (0x044, 0xE3B02B)) \
    REG(TriggerOccurrence,                 tOccurrenceRegType,                              (0x045, 0xE050CA)) \
    REG(MainMeasureTriggerOccurrence,      tOccurrenceRegType,                              (0x046, 0x84EE5B)) \
    REG(ErrorOccurrence,                   tOccurrenceRegType,                              (0x047, 0x878BBF)) \
    REG(MeasureCompleteDelayReg,           tMeasureCompleteDelayReg,                        (0x048, 0xB04F73)) \
    REG(IsoInterruptConfigReg,             tIsoInterruptConfigReg,                          (0x049, 0x41C376)) \
    REG(IsoInterruptAddressReg,            tIsoInterruptAddressReg,                         (0x04A, 0x4C6D23)) \
    REG(ChannelEventLatchClearReg,         tChannelEventLatchClearReg,                      (0x04B, 0xECA930)) \
    REG(ChannelEventLatchStatusReg,        tChannelEventLatchStatusReg,                     (0x04B, 0xCA0C05)) \
    REG(ChargeBalancerControlRegT,         tChargeBalancerControlRegT,                      (0x05C, 0x13A1D2)) \
    REG(ChargeBalancerStatusRegT,          tChargeBalancerStatusRegT,                       (0x05C, 0x4509BB)) \
    REG(VoltageGainData,                   tCalGainRegType,                                 (0x060, 0x8BC0BD)) \
    REG(VoltageGainPtr,                    tVoltageRangeOutputSensePtrRegType,              (0x061, 0x052A14)) \
    REG(_,                                 tCalGainRegType,                                 (0x062, 0xA24D13)) \
    REG(VoltageOffsetData,                 tCalOffsetRegType,                               (0x063, 0x5B56BB)) \
    REG(VoltageOffsetPtr,                  tVoltageRangeOutputSensePtrRegType,              (0x064, 0x017E6E)) \
    REG(_,                                 tCalOffsetRegType,                               (0x065, 0x04100C)) \
    REG(_,                                 tVoltageRangeRegType,                            (0x066, 0x90327F)) \
    REG(CurrentGainData,                   tCalGainRegType,                                 (0x068, 0xCF4286)) \
    REG(CurrentGainPtr,                    tCurrentRangeRegType,                            (0x069, 0x77900A)) \
    REG(_,                                 tCalGainRegType,                                 (0x06A, 0x496665)) \
    REG(CurrentOffsetData,                 tCalOffsetRegType,                               (0x06B, 0xA7ED90)) \
    REG(CurrentOffsetPtr,                  tCurrentRangeRegType,                            (0x06C, 0x689D56)) \
    REG(_,                                 tCalOffsetRegType,                               (0x06D, 0xCA9892)) \
    REG(_,                                 tCurrentRangeRegType,                            (0x06E, 0x5A46E9)) \
    REG(ThreeAmpGain,                      tCalGainRegType,                                 (0x070, 0xB4FB27)) \
    REG(_,                                 tCalGainRegType,                                 (0x071, 0x5DB88E)) \
    REG(ThreeAmpOffset,                    tCalOffsetRegType,                               (0x072, 0x9872AF)) \
    REG(_,                                 tCalOffsetRegType,                               (0x073, 0x05846C)) \
    REG(_,                                 tOutputSenseRegType,                             (0x074, 0x8E77CF)) \
    REG(VoltageRange3Gain,                 tCalGainRegType,                                 (0x078, 0x451D51)) \
    REG(_,                                 tCalGainRegType,                                 (0x079, 0x952CD1)) \
    REG(VoltageRange3Offset,               tCalOffsetRegType,                               (0x07A, 0xF3DACA)) \
    REG(_,                                 tCalOffsetRegType,                               (0x07B, 0x6E6BA0)) \
    ARRAY(_,                               tCalibratedDataRegType,                          (0x07C, 0xD73EFA, \
          0xC6E553, 0xF11BDA, 0xD69F2A), 4, 1) \
    REG(CmcGainData,                       tCmcGainRegType,                                 (0x088, 0x4BB3A5)) \
    /* this key is written in decimal where it is given */ \
    REG(CmcGainPtr,                        tCurrentRangeRegType,                            (0x089, 6554906)) \
    REG(_,                                 tCmcGainRegType,                                 (0x08A, 0xA9A623)) \
    REG(ThreeAmpCmcGain,                   tCmcGainRegType,                                 (0x08B, 0x8BCD3E)) \
    REG(_,                                 tCmcGainRegType,                                 (0x08C, 0xC771A7)) \
    REG(_,                                 tCurrentRangeRegType,                            (0x08D, 0x5FA0F9)) \
    REG(_,                                 tCurrentRangeRegType,                            (0x090, 0x678B13)) \
    REG(_,                                 tVoltageRangeRegType,                            (0x091, 0x5977F4)) \
    ARRAY(_,                               tGangingModeRegType,                             (0x092, 0xA622CB, \
          0xFA9D7E), 2, 1) \
    ARRAY(_,                               tResistanceGainRegType,                          (0x0A0, 0x270B77, \
          0x8E92CA, 0x7CA6E6, 0xA48895), 4, 1) \
    REG(_,                                 tCurrentRangeRegType,                            (0x0B0, 0xF5E516)) \
    REG(_,                                 tTransientResponseRegType,                       (0x0B1, 0xFF375C)) \
    REG(_,                                 tPoleZeroGainRegType,                            (0x0B2, 0x491459)) \
    REG(_,                                 tCurrentRangeResponsePtrRegType,                 (0x0B3, 0x64D702)) \
    REG(_,                                 tPoleZeroGainRegType,                            (0x0B4, 0x65AEBD)) \
    REG(_,                                 tPoleGainRegType,                                (0x0B5, 0x162DDD)) \
    REG(_,                                 tCurrentRangeResponsePtrRegType,                 (0x0B6, 0x76C8D6)) \
    REG(_,                                 tPoleGainRegType,                                (0x0B7, 0xD96932)) \
    REG(_,                                 tZeroGainRegType,                                (0x0B8, 0xF5916A)) \
    REG(_,                                 tCurrentRangeResponsePtrRegType,                 (0x0B9, 0x578AF9)) \
    REG(_,                                 tZeroGainRegType,                                (0x0BA, 0x93FABA)) \
    REG(_,                                 tTransientResponseRegType,                       (0x0C1, 0xCB78A3)) \
    REG(_,                                 tPoleZeroGainRegType,                            (0x0C2, 0x4A8E48)) \
    REG(_,                                 tCurrentRangeResponsePtrRegType,                 (0x0C3, 0x7332F8)) \
    REG(_,                                 tPoleZeroGainRegType,                            (0x0C4, 0xBD840F)) \
    REG(_,                                 tPoleGainRegType,                                (0x0C5, 0xA39DA3)) \
    REG(_,                                 tCurrentRangeResponsePtrRegType,                 (0x0C6, 0xA7EDB0)) \
    REG(_,                                 tPoleGainRegType,                                (0x0C7, 0x53BD78)) \
    REG(_,                                 tZeroGainRegType,                                (0x0C8, 0x4105A3)) \
    REG(_,                                 tCurrentRangeResponsePtrRegType,                 (0x0C9, 0x619C33)) \
    REG(_,                                 tZeroGainRegType,                                (0x0CA, 0x4803AD)) \
    REG(_,                                 tFunctionSelectRegType,                          (0x0D0, 0x8C8E33)) \
    ARRAY(_,                               tSetpointRegType,                                (0x0D1, 0x3550DD, \
          0x43F62D), 2, 1) \
    ARRAY(_,                               tLimitRegType,                                   (0x0D3, 0xD99B04, \
          0xE7FFB9, 0x7AA7B9, 0x2CA226), 4, 1) \
    REG(_,                                 tFunctionSelectRegType,                          (0x0E0, 0x9CBAAD)) \
    REG(_,                                 tCurrentRangeRegType,                            (0x0E1, 0x53E0DA)) \
    REG(_,                                 tTransientResponseRegType,                       (0x0E2, 0xE1D19F)) \
    REG(_,                                 tGainBandwidthRegType,                           (0x0E3, 0xC43F99)) \
    REG(_,                                 tCurrentRangeResponsePtrRegType,                 (0x0E4, 0xD6651E)) \
    REG(_,                                 tGainBandwidthRegType,                           (0x0E5, 0xA2F689)) \
    REG(_,                                 tVoltageRangeRegType,                            (0x0E6, 0x61DF58)) \
    REG(_,                                 tTransientResponseRegType,                       (0x0E7, 0xB60D1E)) \
    REG(_,                                 tGainBandwidthRegType,                           (0x0E8, 0x8FE63D)) \
    REG(_,                                 tCurrentRangeResponsePtrRegType,                 (0x0E9, 0x52EB36)) \
    REG(_,                                 tGainBandwidthRegType,                           (0x0EA, 0xC7AAE5)) \
    REG(_,                                 tFastDacScalingRegType,                          (0x0F0, 0x9AA63B)) \
    REG(_,                                 tCurrentRangeRegType,                            (0x0F1, 0x219499)) \
    REG(_,                                 tFastDacScalingRegType,                          (0x0F2, 0x64A359)) \
    REG(_,                                 tSlowDacScalingRegType,                          (0x0F3, 0x1E363B)) \
    REG(_,                                 tCurrentRangeRegType,                            (0x0F4, 0x24B403)) \
    REG(_,                                 tSlowDacScalingRegType,                          (0x0F5, 0x9E8FF4)) \
    REG(_,                                 tFastDacScalingRegType,                          (0x0F6, 0x86C1E8)) \
    REG(_,                                 tVoltageRangeRegType,                            (0x0F7, 0x95481D)) \
    REG(_,                                 tFastDacScalingRegType,                          (0x0F8, 0xF7FDFE)) \
    REG(_,                                 tSlowDacScalingRegType,                          (0x0F9, 0xDBB679)) \
    REG(_,                                 tVoltageRangeRegType,                            (0x0FA, 0xC400D3)) \
    REG(_,                                 tSlowDacScalingRegType,                          (0x0FB, 0x90EE2D)) \
    ARRAY(_,                               tControlModeRegType,                             (0x110, 0x63EF1A, \
          0x51869C), 2, 1) \
    REG(_,                                 tCurrentRangeRegType,                            (0x112, 0x52AC1D)) \
    REG(PredictiveRangeControlStgReg,      tPredictiveRangeControlStgReg,                   (0x113, 0x10DFF1)) \
    REG(PredictiveRangeGainTableReg,       tPredictiveRangeGainTableReg,                    (0x114, 0xFA9361)) \
    REG(PredictiveRangeGainPtrReg,         tPredictiveRangeGainPtrReg,                      (0x115, 0xF0CAC1)) \
    REG(_,                                 tCurrentRangeRegType,                            (0x116, 0x4756D9)) \
    ARRAY(_,                               tDacOverrideControlRegType,                      (0x117, 0x48F60C, \
          0x24E988), 2, 1) \
    REG(_,                                 tDacOverrideThresholdRegType,                    (0x119, 0xB7AD37)) \
    REG(_,                                 tCurrentRangeRegType,                            (0x11A, 0x999BDB)) \
    REG(_,                                 tDacOverrideThresholdRegType,                    (0x11B, 0x406AA0)) \
    ARRAY(_,                               tOutputPoleZeroGainRegType,                      (0x120, 0x6F5BF0, \
          0x7C4BB8), 2, 1) \
    ARRAY(_,                               tOutputZeroGainRegType,                          (0x122, 0xA6A56C, \
          0xA2093D), 2, 1) \
    REG(DirectDacControlReg,               tDirectDacControlReg,                            (0x128, 0x2E9C0C)) \
    REG(CoarseFineDacControlReg,           tCoarseFineDacControlReg,                        (0x129, 0xFA4A9F)) \
    REG(DacConfigStatusReg,                tDacConfigStatusReg,                             (0x12A, 0x95EF5E)) \
    REG(DacConfigAccessReg,                tDacConfigAccessReg,                             (0x12B, 0xCE74C2)) \
    REG(DacResetReg,                       tDacResetReg,                                    (0x12C, 0xB1F6CF)) \
    REG(_,                                 tControlModeRegType,                             (0x12D, 0x97C129)) \
    REG(CurrentSwitchesControlStgReg,      tCurrentSwitchesControlStgReg,                   (0x140, 0xF89E9F)) \
    REG(CurrentSwitchesStatusLiveReg,      tCurrentSwitchesStatusLiveReg,                   (0x141, 0x788BE9)) \
    REG(SsrEmrSenseSwitchesControlStgReg,  tSsrEmrSenseSwitchesControlStgReg,               (0x142, 0x844017)) \
    REG(SsrEmrSenseSwitchesStatusLiveReg,  tSsrEmrSenseSwitchesStatusLiveReg,               (0x143, 0xA4ABED)) \
    REG(VoltageSwitchesControlStgReg,      tVoltageSwitchesControlStgReg,                   (0x144, 0x7D356A)) \
    REG(VoltageSwitchesStatusLiveReg,      tVoltageSwitchesStatusLiveReg,                   (0x145, 0x873A28)) \
    REG(SelfCalSwitchesControlStgReg,      tSelfCalSwitchesControlStgReg,                   (0x146, 0xCFAF18)) \
    REG(SelfCalSwitchesStatusLiveReg,      tSelfCalSwitchesStatusLiveReg,                   (0x147, 0x92841E)) \
    ARRAY(_,                               tOcpConfigRegType,                               (0x150, 0x3D66A3, \
          0xDE9120), 2, 1) \
    ARRAY(_,                               tOvpConfigRegType,                               (0x152, 0xD69E68, \
          0x20716B), 2, 1) \
    REG(_,                                 tCurrentRangeRegType,                            (0x154, 0xAF1887)) \
    ARRAY(_,                               tUserAlmThresholdRegType,                        (0x155, 0xDBCE6D, \
          0xC22A66, 0xDE7F3E, 0x455DFE), 4, 1) \
    REG(_,                                 tCurrentRangeRegType,                            (0x159, 0xF52981)) \
    REG(_,                                 tVoltageRangeRegType,                            (0x15A, 0xB13CBA)) \
    ARRAY(_,                               tUserAlmThresholdRegType,                        (0x15B, 0xB550A4, \
          0xF12642, 0x2E36CA, 0x9F262E), 4, 1) \
    REG(_,                                 tVoltageRangeRegType,                            (0x15F, 0xB2EF52)) \
    ARRAY(_,                               tSenseLeadDropAlmThresholdRegType,               (0x160, 0xBFBF56, \
          0xB1E676, 0x3A216F, 0xB62934), 4, 1) \
    REG(OvpDebugAccessStgReg,              tOvpDebugAccessStgReg,                           (0x164, 0x123988)) \
    REG(_,                                 tCurrentRangeRegType,                            (0x165, 0xFA6D33)) \
    REG(OcpThresholdTableRegType,          tOcpThresholdTableRegType,                       (0x166, 0xAEF2F5)) \
    REG(_,                                 tCurrentRangeRegType,                            (0x167, 0x2A87CF)) \
    REG(_,                                 tDacOverrideThresholdRegType,                    (0x168, 0x4AF9B1)) \
    ARRAY(SequencerDataRamAddressRegType,  tSequencerDataRamAddressRegType,                 (0x170, 0x037810, \
          0xFA8A60), 2, 1) \
    REG(SequencerDataRamDataReg,           tSequencerDataRamDataReg,                        (0x172, 0x970C2E)) \
    ARRAY(_,                               tGangBalancerVLimitRegType,                      (0x180, 0x03CBE3, \
          0x0EDC41, 0x70E764, 0xCBFF4E), 4, 1) \
    REG(_,                                 tServoGainBandwidthRegType,                      (0x184, 0xBE328F)) \
    REG(CurrentRangeVoltageRangePtrRegType, tCurrentRangeVoltageRangePtrRegType,             (0x185, 0xC98288)) \
    REG(_,                                 tServoGainBandwidthRegType,                      (0x186, 0xF69D39)) \
    REG(_,                                 tCurrentRangeRegType,                            (0x187, 0xDC5D6F)) \
    REG(_,                                 tVoltageRangeRegType,                            (0x188, 0x7C488C)) \
    REG(_,                                 tGangingModeRegType,                             (0x189, 0x11CC6A)) \
    REG(AutorangeControlStatusReg,         tAutorangeControlStatusReg,                      (0x190, 0x6A4830)) \
    ARRAY(_,                               tAutorangeThresholdRegType,                      (0x191, 0x0296E5, \
          0xD7A92B), 2, 1) \
    REG(_,                                 tGangingModeRegType,                             (0x193, 0xB985E1)) \
    ARRAY(_,                               tAutorangeDownThresholdSampleRegType,            (0x197, 0x30E34D, \
          0xB96075), 2, 1) \
    ARRAY(_,                               tProtectionConfigurationRegType,                 (0x199, 0xD71F76, \
          0xD9E9F6), 2, 1) \
    ARRAY(_,                               tOccurrenceMuxConfigRegType,                     (0x02B, 0x6D82A8, \
          0xA54348, 0xD7BA24, 0x6DB7D1, 0xC9C6F2), 5, 1) \
    ARRAY(_,                               tOccurrenceMuxStatusRegType,                     (0x02B, 0xA4E287, \
          0x552C89, 0x7A20C7, 0xFDB575, 0x917386), 5, 1) \
    ARRAY(_,                               tOccurrenceMuxConfigRegType,                     (0x030, 0xFC0D62, \
          0x89EABB, 0xEBB920, 0xCEE846, 0x365D5B), 5, 1) \
    ARRAY(_,                               tOccurrenceMuxStatusRegType,                     (0x030, 0x66EC29, \
          0x87258D, 0x24ABA6, 0xD45DDD, 0xC5DFCB), 5, 1) \
    ARRAY(_,                               tTimerRegType,                                   (0x041, 0xCFCAC1, \
          0x08A413), 2, 1) \
    ARRAY(ChargeBalanceOffsetRegT,         tChargeBalanceOffsetRegT,                        (0x058, 0x6D4DA9, \
          0x2484A1, 0xB19644, 0x34DE55), 4, 1) \
    ARRAY(CicFilterConfigRegType,          tCicFilterConfigRegType,                         (0x130, 0xEB6D8A, \
          0x222A61, 0xE51B4D), 3, 1) \
    ARRAY(MuCtrlRegType,                   tMuCtrlRegType,                                  (0x133, 0x94F055, \
          0x49B5E3, 0xC6A3F3), 3, 1) \
    ARRAY(_,                               tMuStatusRegType,                                (0x133, 0x787BBA, \
          0x28BA83, 0x9A0118), 3, 1) \
    ARRAY(MuRecordConfigRegType,           tMuRecordConfigRegType,                          (0x136, 0x66B657, \
          0x8CE2BA, 0xEBAE2C), 3, 1) \
    ARRAY(_,                               tLatestPointRegType,                             (0x139, 0xB41536, \
          0x23FB48, 0xC06661, 0x37E145, 0xAB6E77, 0xD27F89), 6, 1) \
    ARRAY(_,                               tAutorangeDownThresholdMinMaxFilterConfigStatus, (0x194, 0x184F16, \
          0x64FD75, 0x2422DE), 3, 1) \
    ARRAY(_,                               tMuHoldoffControlRegType,                        (0x1A0, 0x57751C, \
          0x17DCED, 0xBA528C), 3, 1) \
    ARRAY(_,                               tChScratchRegType,                               (0x1D0, 0xA398E1, \
          0x368DDD, 0xC9F6FA, 0xC20EEF, 0xEA6344, 0xA856C0, 0x19E4DE, 0x2B2840, 0xF87FF0, 0x2E9405, 0xFC507E, \
          0x6FA3CD, 0xCA1E25, 0x2095F8, 0x595F9A, 0x097D67), 16, 1) \
    ARRAY(_,                               tRfuRegType,                                     (0x1F8, 0x7B0FBE, \
          0x16A793, 0xA27CC3, 0x3B0779, 0x12195C, 0x48EE5D, 0x9E6D2D, 0xC84A1D), 8, 1)

// clang-format on

ARM_DECLARE_MAP(nTolvaneIsoChannelRegMap, KZ_TOLVANE_ISO_CHANNEL_REGISTERS, ::arm::WindowedTableMap,
                kTolvaneIsoChannelMap, kProductMapVersion, "kzvorn_regMaps/TolvaneRegisterMap_TolvaneIsoChannelRegMap",
                arm::kProductPolicy)

// Registers of a type with one register or one array have a getter named after the type
// (`IsoChannelStatusReg()`, `MuCtrlRegType(unit)`); those of a shared type that the driver uses are
// named after what they do (`MainMeasureTriggerMuxConfig()`, `VoltageGainPtr()`); the rest are
// reached by type and offset (`at<tCurrentRangeRegType>(0x00C)`, and
// `at<tOccurrenceMuxConfigRegType>(0x035, 1)` for the second register at 0x035).
class tTolvaneIsoChannelRegMap : public arm::DeclaredMap<nTolvaneIsoChannelRegMap::tRegisterSet,
                                                         kzvoltixsharedsource::FrontEndAccess, kTolvaneIsoChannelMap> {
public:
    // Registers at base - first + offset, in the window when first <= offset and offset - first <
    // count (32-bit arithmetic). No hardware access. The accessor is the creator's.
    tTolvaneIsoChannelRegMap(kzvoltixsharedsource::FrontEndAccessorInterface* accessor, uint32_t base, uint32_t first,
                             uint32_t count);
    ~tTolvaneIsoChannelRegMap() override;
    tTolvaneIsoChannelRegMap(const tTolvaneIsoChannelRegMap&) = delete;
    tTolvaneIsoChannelRegMap& operator=(const tTolvaneIsoChannelRegMap&) = delete;

    // The accessor of every later access; null refuses them (-52006).
    void setAccessor(kzvoltixsharedsource::FrontEndAccessorInterface* accessor) { access_.bind(accessor); }
};

}  // namespace kzvorn_regmaps
