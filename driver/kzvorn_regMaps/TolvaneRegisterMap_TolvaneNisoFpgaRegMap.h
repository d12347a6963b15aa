// The non-isolated FPGA's registers (the bridge's register block from 0x20000, 0x83C bytes), with
// the four measure units it owns and the two power-monitor windows it embeds. The list is in member
// order, which every walk follows: the single registers, then the arrays. Two registers at one
// offset are a write side and a read side with shadows and keys of their own.
#pragma once

#include "kzvorn_regMaps/TolvaneRegisterMap_Ina231PowerMonitorRegMap.h"
#include "kzvorn_regMaps/TolvaneRegisterMap_TolvaneNisoMeasureUnitRegMap.h"
#include "kzvorn_regMaps/productRegisterMap.h"
#include "quolinTools/armgen/memorySpaceAccess.h"
#include "quolinTools/armgen/registerMapDeclaration.h"

namespace kzvorn_regmaps {

namespace nTolvaneDcBusConstants {
// The access type an isolated register access port is given in its address register.
enum IsoRegAccessType : uint8_t { kIsoRegAccessWrite = 0, kIsoRegAccessRead = 1 };
}  // namespace nTolvaneDcBusConstants

namespace nTolvaneNisoFpgaRegMap {
// The transformer counts are plain 16-bit values; no enumerator has a name.
enum XfmrCtrlDriveType : uint16_t {};
enum XfmrCtrlRectType : uint16_t {};
// Action on the selected mux input: 1 enables it, 2 disables it; other values are the FPGA's.
enum OccurrenceMuxActionType : uint8_t { kOccurrenceMuxEnable = 1, kOccurrenceMuxDisable = 2 };
enum OccurrenceMuxMaskIndexType : uint8_t {};
}  // namespace nTolvaneNisoFpgaRegMap

// clang-format off
#define KZ_TOLVANE_NISO_FPGA_REGISTERS(R, TYPE, REG, ARRAY, F, FLAG) \
    /* register                            (offset, key)     width kind initial keep        fields */ \
    R(SignatureReg,                        (0x000, 0x9DAF0B), 32, RO, 0, ALL,        F(_, 31, 0)) \
    R(FpgaBuildDateReg,                    (0x004, 0xEABA97), 32, RO, 0, ALL,        F(_, 31, 0)) \
    R(OldestCompatReg,                     (0x008, 0xD04067), 32, RO, 0, ALL,        F(_, 31, 0)) \
    R(ScratchReg,                          (0x00C, 0x570F81), 32, RW, 0, ALL,        F(_, 31, 0)) \
    R(NisoFpgaConfigReg,                   (0x010, 0x71BD44), 32, WO, 0, 0x1FFFFFF0, F((EnableNisoBoardErrorManagerStb, bool), 0) \
                                                                                     F((DisableNisoBoardErrorManagerStb, bool), 1) \
                                                                                     F(_, 2) F(_, 3) F(_, 29) F(_, 30) F(_, 31)) \
    R(NisoFpgaStatusReg,                   (0x010, 0x7EF265), 32, RO, 0, ALL,        F(_, 24) F(_, 25) F(_, 26) F(_, 31)) \
    R(LedTestReg,                          (0x014, 0xAA2FE2), 32, WO, 0, ALL,        F(_, 0) F(_, 1) F(_, 2) F(_, 3) F(_, 4)) \
    R(IsoCommConfigReg,                    (0x020, 0x0F4DCB), 32, WO, 0, 0xFFFFFEFC, F(_, 1, 0) F(_, 8) F(_, 9)) \
    R(IsoCommStatusReg,                    (0x020, 0x6F88CC), 32, RO, 0, ALL,        F(IsoCommStatus, 1, 0) F(NisoDcBusStartupComplete, 8) \
                                                                                     F(_, 27, 24)) \
    R(RegPortDcBusTxFifoEmptyCountReg,     (0x030, 0xD4EE1E), 32, RO, 0, ALL,        F(_, 7, 0)) \
    TYPE(tDcBusRxStatusT,                                     32, RO, 0, ALL,        F(_, 0) F(_, 1) F(_, 2) F(_, 3) F(_, 4) F(_, 5) \
                                                                                     F(_, 6) F(_, 7) F(_, 8) F(_, 9) F(_, 10) F(_, 23, 16)) \
    ARRAY(DcBusRxStatus, tDcBusRxStatusT, (0x034, 0x8C6C62, 0x267DB4, 0x8DD1F2, 0x667AF2, 0x1B97EF), 5, 4) \
    /* the board's occurrence mux (0x070), the occurrence register and a second mux (0x07C) */ \
    TYPE(tOccurrenceMuxConfigRegType,                         32, WO, 0, 0x0F00C3F8, \
         F((OccurrenceMuxMaskIndex, nTolvaneNisoFpgaRegMap::OccurrenceMuxMaskIndexType), 2, 0) \
         F((OccurrenceMuxClearAllLatchStb, bool), 10) F((OccurrenceMuxClearLatchStb, bool), 11) \
         F((OccurrenceArmMuxStb, bool), 12) F((OccurrenceDisarmMuxStb, bool), 13) F(OccurrenceMuxPosition, 23, 16) \
         F((OccurrenceMuxAction, nTolvaneNisoFpgaRegMap::OccurrenceMuxActionType), 31, 28)) \
    TYPE(tOccurrenceMuxStatusRegType,                         32, RW, 0, ALL, \
         F(OccurrenceInputSourceEnum, 11, 0) F((OccurrenceMuxArmed, bool), 12) F((OccurrenceMuxLatchEnabled, bool), 13) \
         F((OccurrenceInputLatched, bool), 14) F((OccurrenceInputLive, bool), 15) F(OccurrenceMuxPosition, 23, 16) \
         F(OccurrenceInputAllowed, 31, 24)) \
    TYPE(tOccurrenceRegType,                                  32, RW, 0, ALL,        F(OccurrenceEnum, 11, 0)) \
    REG(OccurrenceMuxConfig0, tOccurrenceMuxConfigRegType, (0x070, 0x43B46F)) \
    REG(OccurrenceMuxStatus0, tOccurrenceMuxStatusRegType, (0x070, 0xBDD9F6)) \
    REG(Occurrence,           tOccurrenceRegType,          (0x078, 0x9E7642)) \
    REG(OccurrenceMuxConfig1, tOccurrenceMuxConfigRegType, (0x07C, 0x4EBBC5)) \
    REG(OccurrenceMuxStatus1, tOccurrenceMuxStatusRegType, (0x07C, 0x2DF1B6)) \
    /* sequencer command logger, register-port sniffer, general registers */ \
    R(SeqCommandLoggerControlReg,          (0x1C0, 0x56720B), 32, WO, 0, 0xFFFF7FF0, F(_, 0) F(_, 1) F(_, 2) F(_, 3) F(_, 15) F(_, 31, 16)) \
    R(SeqCommandLoggerStatusReg,           (0x1C0, 0xDCC03B), 32, RO, 0, ALL,        F(_, 0) F(_, 1) F(_, 16, 2) F(_, 31, 17)) \
    R(SeqCommandLoggerDataLowReg,          (0x1C4, 0x92CEB1), 32, RO, 0, ALL,        F(_, 31, 0)) \
    R(SeqCommandLoggerDataHighReg,         (0x1C8, 0xEF0ACA), 32, RO, 0, ALL,        F(_, 31, 0)) \
    R(RegPortSnifferControlReg,            (0x1CC, 0x790EAC), 32, WO, 0, 0xFFFFFEEE, F(_, 0) F(_, 4) F(_, 8)) \
    R(RegPortSnifferHeadDataReg,           (0x1D0, 0xAF3FDA), 32, RO, 0, ALL,        F(_, 31, 0)) \
    R(RegPortSnifferHeadAddrReg,           (0x1D4, 0x6B3EB5), 32, RO, 0, ALL,        F(_, 29, 0) F(_, 30) F(_, 31)) \
    R(RegPortSnifferTailDataReg,           (0x1D8, 0xC9D5D6), 32, RO, 0, ALL,        F(_, 31, 0)) \
    R(RegPortSnifferTailAddrReg,           (0x1DC, 0x24C817), 32, RO, 0, ALL,        F(_, 29, 0) F(_, 30) F(_, 31)) \
    R(NisoRFU0Reg,                         (0x1E0, 0x7A52CA), 32, RW, 0, ALL,        F(_, 31, 0)) \
    R(NisoRFU1Reg,                         (0x1E4, 0xE2C56C), 32, RW, 0, ALL,        F(_, 31, 0)) \
    R(NisoRFU2Reg,                         (0x1E8, 0xC6FA5D), 32, RW, 0, ALL,        F(_, 31, 0)) \
    R(NisoRFU3Reg,                         (0x1EC, 0xB665D7), 32, RW, 0, ALL,        F(_, 31, 0)) \
    R(NisoRFU4Reg,                         (0x1F0, 0xCD1558), 32, RW, 0, ALL,        F(_, 31, 0)) \
    R(NisoRFU5Reg,                         (0x1F4, 0xE6E0CB), 32, RW, 0, ALL,        F(_, 31, 0)) \
    R(NisoRFU6Reg,                         (0x1F8, 0x0BECC2), 32, RW, 0, ALL,        F(_, 31, 0)) \
    R(NisoRFU7Reg,                         (0x1FC, 0xB5FA76), 32, RW, 0, ALL,        F(_, 31, 0)) \
    /* transformer control, DAC, sinking board */ \
    TYPE(tXfmrCtrlDriveSignalCntRegType,                      32, WO, 0, ALL, \
         F((DriveCntOff, nTolvaneNisoFpgaRegMap::XfmrCtrlDriveType), 15, 0) \
         F((DriveCntOn, nTolvaneNisoFpgaRegMap::XfmrCtrlDriveType), 31, 16)) \
    TYPE(tXfmrCtrlRectSignalCntRegType,                       32, WO, 0, ALL, \
         F((RectCntOff, nTolvaneNisoFpgaRegMap::XfmrCtrlRectType), 15, 0) \
         F((RectCntOn, nTolvaneNisoFpgaRegMap::XfmrCtrlRectType), 31, 16)) \
    REG(XfmrCtrlDriveSignalCnt0, tXfmrCtrlDriveSignalCntRegType, (0x2A0, 0xF3C13C)) \
    REG(XfmrCtrlDriveSignalCnt1, tXfmrCtrlDriveSignalCntRegType, (0x2A4, 0xCE0CCA)) \
    ARRAY(XfmrCtrlRectSignalCnt, tXfmrCtrlRectSignalCntRegType, (0x2A8, 0xB531BF, 0x2C8DC6, 0x97A058, 0x1B47A5), 4, 4) \
    R(XfmrCtrlCounterTopReg,               (0x2B8, 0x8514DA), 32, WO, 0, ALL,        F(_, 15, 0)) \
    R(XfmrCtrlConfigReg,                   (0x2BC, 0x1042E0), 32, WO, 0, 0xFFFF00E1, F(_, 1) F(_, 2) F(_, 3) F(_, 4) F(_, 8) F(_, 9) \
                                                                                     F(_, 10) F(_, 11) F(_, 12) F(_, 13) F(_, 14) F(_, 15)) \
    R(XfmrCtrlStatusReg,                   (0x2BC, 0x5B31E4), 32, RO, 0, ALL,        F(_, 3, 0) F(_, 30) F(_, 31)) \
    R(XfmrCtrlRampUpConfigReg,             (0x2C4, 0x7B187C), 32, WO, 0, ALL,        F(_, 3, 0) F(_, 14, 8) F(_, 16) F(_, 17) F(_, 18) \
                                                                                     F(_, 26, 24)) \
    REG(XfmrCtrlDriveSignalCnt2, tXfmrCtrlDriveSignalCntRegType, (0x2C8, 0x641ED5)) \
    REG(XfmrCtrlDriveSignalCnt3, tXfmrCtrlDriveSignalCntRegType, (0x2CC, 0x074752)) \
    R(NisoBcPsDacConfigReg,                (0x2D0, 3031395),  32, WO, 0, ALL,        F(_, 23, 0)) \
    R(NisoBcPsDacStatusReg,                (0x2D4, 0x79E0D8), 32, RO, 0, ALL,        F(_, 29)) \
    R(SinkingBoardConfigReg,               (0x2D8, 0x8FBAA9), 32, WO, 0, 0xFFFFFFC0, F(_, 0) F(_, 1) F(_, 2) F(_, 3) F(_, 4) F(_, 5)) \
    /* measure FIFO status, temperatures and rails */ \
    TYPE(tMeasureFifoStatusRegType,                           32, RO, 0, ALL,        F(_, 0) F(_, 1) F(_, 2) F(_, 3) F(_, 4) F(_, 5) F(_, 6) \
                                                                                     F(_, 7) F(_, 8) F(_, 9) F(_, 10) F(_, 11)) \
    ARRAY(MeasureFifoStatus, tMeasureFifoStatusRegType, (0x390, 0x3B3230, 0x3C0526, 0xBA9DE6, 0xA8B7BE), 4, 4) \
    R(VrefTemperatureRegType,              (0x818, 0x51F68F), 32, RO, 0, ALL,        F(_, 14, 0) F(FilteredVrefValid, 15) F(_, 16)) \
    R(NisoFpgaTemperatureReg,              (0x820, 0xCED166), 32, RO, 0, ALL,        F(_, 11, 0) F(FilteredNisoTemperatureValid, 15) \
                                                                                     F(_, 27, 16) F(_, 31)) \
    TYPE(tXfmrRailRegType,                                    32, RO, 0, ALL,        F(_, 11, 0) F(_, 16)) \
    REG(XfmrRail0, tXfmrRailRegType, (0x824, 0x7BA3F2)) \
    REG(XfmrRail1, tXfmrRailRegType, (0x82C, 0x96DB18)) \
    R(SinkingBoardTemperatureReg,          (0x834, 0xCABC26), 32, RO, 0, ALL,        F(_, 11, 0) F(_, 15) F(_, 27, 16) F(_, 31)) \
    R(SinkingBoardTemperatureHighLimitReg, (0x838, 0x1EFEA3), 32, RW, 0, ALL,        F(_, 11, 0) F(_, 27, 16)) \
    /* the arrays */ \
    TYPE(tStreamCircuitResetFifoRegType,                      32, WO, 0, 0xFFFFFFFE, F(_, 0)) \
    ARRAY(StreamCircuitResetFifoEven, tStreamCircuitResetFifoRegType, (0x050, 0xBE4AAA, 0xC602EB, 0xF6802D, 0xE1E490), 4, 4) \
    ARRAY(StreamCircuitResetFifoOdd,  tStreamCircuitResetFifoRegType, (0x060, 0xA7875A, 0x095C29, 0xA765C6, 0x918AFB), 4, 4) \
    TYPE(tNisoTxCreditControlRegType,                         32, WO, 0, 0xFFF0FFFF, \
         F((StreamStartStb, bool), 16) F((StreamStopStb, bool), 17) F((StreamResetEnableStb, bool), 18) \
         F((StreamResetDisableStb, bool), 19)) \
    TYPE(tNisoTxCreditStatusRegType,                          32, RO, 0, ALL,        F(_, 15, 0) F(_, 16) F(StreamStopped, 17) F(_, 18) \
                                                                                     F(_, 22, 20)) \
    ARRAY(NisoTxCreditControl, tNisoTxCreditControlRegType, (0x080, 0x0053A4, 0xF7D06A, 0x6CE529, 0xBE5CC8), 4, 4) \
    ARRAY(NisoTxCreditStatus,  tNisoTxCreditStatusRegType,  (0x080, 0x6A80F5, 0x6D3099, 0xC897A9, 0xD87417), 4, 4) \
    TYPE(tPxiTrigConfigRegType,                               32, RW, 0, ALL,        F(PxiTrigOutPulseDuration, 19, 0) \
         F((InvertPxiTrigInPolarity, bool), 28) F((InvertPxiTrigOutPolarity, bool), 29) \
         F((EnablePxiTrigBuffOut, bool), 30) F((EnablePxiTrigOut, bool), 31)) \
    ARRAY(PxiTrigConfig, tPxiTrigConfigRegType, (0x0A0, 0x50D2CB, 0xF37543, 0x09E76E, 0x52E911, 0xECB8AB, 0x9FA471, \
                                                 0xDF0349, 0x8DECA9, 0x86E9A6), 9, 4) \
    /* isolated register access port p at 0x200 + 0x10 p */ \
    TYPE(tIsoRegAccessStatusRegType,                          32, RO, 0, ALL,        F(_, 12, 0) F(NewIsoRegReadResponse, 16) \
                                                                                     F(IsoRegReadyForNewAccess, 17) F(_, 31)) \
    TYPE(tIsoRegAccessAddrRegType,                            32, WO, 0, 0xFFFEE000, F((IsoRegAddr, uint16_t), 12, 0) \
                                                                                     F((IsoRegAccessType, bool), 16)) \
    TYPE(tIsoRegAccessReadDataRegType,                        32, RO, 0, ALL,        F(_, 31, 0)) \
    TYPE(tIsoRegAccessWriteDataRegType,                       32, WO, 0, ALL,        F(_, 31, 0)) \
    ARRAY(IsoRegAccessStatus,    tIsoRegAccessStatusRegType,    (0x200, 0xBDE4BA, 0xFCF6D8, 0x6DFF96, 0x7DC838, 0xEE6955, 0x56FF6E), 6, 0x10) \
    ARRAY(IsoRegAccessAddr,      tIsoRegAccessAddrRegType,      (0x204, 0x6B4476, 0x31CB4A, 0xDF06C7, 0x250C61, 0xA66BF0, 0x53C93B), 6, 0x10) \
    ARRAY(IsoRegAccessReadData,  tIsoRegAccessReadDataRegType,  (0x208, 0x19AEC4, 0x86AD14, 0xC1AA2C, 0x02E501, 0x3DC53C, 0xC8512F), 6, 0x10) \
    ARRAY(IsoRegAccessWriteData, tIsoRegAccessWriteDataRegType, (0x208, 0x66C411, 0x0D8BF2, 0x3F8A4F, 0xE9793A, 0x382BD6, 0xEC1A8C), 6, 0x10) \
    TYPE(tSelfTestMeasurementRegType,                         32, RO, 0, ALL,        F(_, 11, 0) F(_, 16)) \
    ARRAY(SelfTestMeasurement, tSelfTestMeasurementRegType, (0x700, 0xD9E35A, 0x84306A, 0x5BF8D1, 0xF3E83B, 0x57990F, 0x5CADC5, \
                                                             0x089B2E, 0x268F7A, 0x950619, 0xC7AAD4, 0x44EB1A, 0x2596C0, \
                                                             0x65BA7E, 0x15A820, 0xDD3A57, 0x9A0916), 16, 4) \
    TYPE(tClassDFreqRegType,                                  32, RO, 0, ALL,        F(_, 10, 0)) \
    ARRAY(ClassDFreq, tClassDFreqRegType, (0x740, 0xEEBA6E, 0x603DB1, 0xE90CEE, 0xEBAE7B), 4, 4)
// clang-format on

namespace nTolvaneNisoFpgaRegMap {
ARM_DECLARE_REGISTERS(KZ_TOLVANE_NISO_FPGA_REGISTERS, ::arm::WindowedTableMap)
}  // namespace nTolvaneNisoFpgaRegMap

inline constexpr arm::MapDesc kTolvaneNisoFpgaMap =
    arm::mapDesc(nTolvaneNisoFpgaRegMap::kRows, kProductMapVersion,
                 "kzvorn_regMaps/TolvaneRegisterMap_TolvaneNisoFpgaRegMap", arm::kProductPolicy);

class tTolvaneNisoFpgaRegMap : public arm::DeclaredMap<nTolvaneNisoFpgaRegMap::tRegisterSet, arm::MemorySpaceAccess,
                                                       kTolvaneNisoFpgaMap> {
public:
    using tAccessor = arm::MemorySpaceAccess::Accessor;
    using tStatus = nKZAPALS100::tStatus;

    static constexpr unsigned kMeasureUnitCount = 4;
    static constexpr uint32_t kMeasureUnits = 0x400;
    static constexpr uint32_t kMeasureUnitStride = 0x60;
    static constexpr uint32_t kBackplanePowerMonitor = 0x580;
    static constexpr uint32_t kSinkingBoardPowerMonitor = 0x5A0;

    // Lays out the registers and the power-monitor windows, then allocates the measure units (not
    // when the status already holds an error; -52000 when one cannot be allocated, and the units
    // after it stay unallocated). Touches no register. The accessor is the creator's.
    tTolvaneNisoFpgaRegMap(tAccessor* accessor, tStatus& status, uint32_t base, uint32_t first, uint32_t count);
    // Deletes the measure units, the last first.
    ~tTolvaneNisoFpgaRegMap() override;
    tTolvaneNisoFpgaRegMap(const tTolvaneNisoFpgaRegMap&) = delete;
    tTolvaneNisoFpgaRegMap& operator=(const tTolvaneNisoFpgaRegMap&) = delete;

    // Null past the last unit or when the unit was never allocated.
    tTolvaneNisoMeasureUnitRegMap* measureUnit(unsigned i) const {
        return i < kMeasureUnitCount ? measureUnits_[i] : nullptr;
    }
    tIna231PowerMonitorRegMap& backplanePowerMonitor() { return backplane_; }
    tIna231PowerMonitorRegMap& sinkingBoardPowerMonitor() { return sinkingBoard_; }

private:
    tIna231PowerMonitorRegMap backplane_;
    tIna231PowerMonitorRegMap sinkingBoard_;
    tTolvaneNisoMeasureUnitRegMap* measureUnits_[kMeasureUnitCount] = {};
    // The walks' order: measure units 0 to 3, the backplane window, the sinking-board window.
    arm::TableMap* subMaps_[kMeasureUnitCount + 2] = {};
};
// The block the accessor maps: up to the last register, 0x838.
static_assert(arm::extent(kTolvaneNisoFpgaMap) == 0x83C, "the non-isolated FPGA's block");

}  // namespace kzvorn_regmaps
