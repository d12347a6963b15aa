// The isolated FPGA's registers (isolated word addresses 0x00 to 0x77) and the seven isolated
// channel maps it owns, one per channel block at (channel + 8) x 512. Every access goes through a
// front-end accessor, one 32-bit access per register access. The list is in member order, which
// every walk follows. Two registers at one address are a write side and a read side with shadows
// and keys of their own; at 0x30 to 0x39 and 0x40 the read side is read/write and its writes reach
// the configuration word. The registers at 4 and 5 are laid out but only described, never read or
// written.
#pragma once

#include <cstdint>

#include "kzvoltixSharedSource/channelBaseAddressCalculatorInterface.h"
#include "kzvoltixSharedSource/frontEndAccessorInterface.h"
#include "kzvorn_regMaps/TolvaneRegisterMap_TolvaneIsoChannelRegMap.h"
#include "kzvorn_regMaps/productRegisterMap.h"
#include "quolinTools/armgen/registerMapDeclaration.h"

namespace kzvorn_regmaps {

namespace nTolvaneIsoFpgaRegMap {
// Action on the selected mux input: 1 enables it, 2 disables it; other values are the FPGA's.
enum OccurrenceMuxActionType : uint8_t { kOccurrenceMuxEnable = 1, kOccurrenceMuxDisable = 2 };
enum OccurrenceMuxMaskIndexType : uint8_t {};
}  // namespace nTolvaneIsoFpgaRegMap

// clang-format off
#define KZ_TOLVANE_ISO_FPGA_REGISTERS(R, TYPE, REG, ARRAY, F, FLAG) \
    /* register                            (address, key)   width kind initial keep        fields */ \
    R(IsoSignatureReg,                     (0x00, 0x271A89), 32, RO, 0, ALL,        F(_, 31, 0)) \
    R(IsoRevisionReg,                      (0x01, 0xBC3035), 32, RO, 0, ALL,        F(_, 31, 0)) \
    R(IsoScratchReg0,                      (0x02, 0x11F08B), 32, RW, 0, ALL,        F(_, 31, 0)) \
    R(IsoScratchReg1,                      (0x03, 0x7ABBEB), 32, RW, 0, ALL,        F(_, 31, 0)) \
    TYPE(tIsoUnshadowedRegType,                              32, FORMAT_ONLY, 0, ALL, F(_, 31, 0)) \
    REG(_, tIsoUnshadowedRegType, (0x04, 0xE5C260)) \
    REG(_, tIsoUnshadowedRegType, (0x05, 0x49188C)) \
    R(VrefTempSensorConfigReg,             (0x06, 0xD9F977), 32, WO, 0, 0xFF780000, F(_, 7, 0) F(_, 15, 8) F(_, 17, 16) \
                                                                                    F(_, 18) F(_, 23)) \
    R(IsoDcBusConfigReg,                   (0x07, 0xD80EEA), 32, WO, 0, 0xFFFFFFFB, F(_, 1) F(_, 2)) \
    R(IsoFpgaConfigReg,                    (0x08, 0xEC09B9), 32, WO, 0, 0x0FFFFFC0, F((EnableIsoBoardErrorManagerStb, bool), 0) \
                                                                                    F((DisableIsoBoardErrorManagerStb, bool), 1) \
                                                                                    F(_, 2) F(_, 3) F(_, 4) F(_, 5) F(_, 28) \
                                                                                    F(_, 29) F(_, 30) F(_, 31)) \
    R(IsoFpgaStatusReg,                    (0x08, 0xDEC888), 32, RO, 0, ALL,        F(_, 8) F(ExtPllLocked, 9) F(_, 24) F(_, 25) \
                                                                                    F(_, 26) F(_, 31)) \
    R(ExtPllShiftReg,                      (0x09, 0x0D13F1), 32, WO, 0, 0x00FFFFFF, F(_, 23, 0)) \
    R(ModulatorTimebaseCounterReg,         (0x0A, 0xE28B5E), 32, RW, 0, ALL,        F(_, 15, 0) F(_, 31)) \
    R(ModulatorAdcSampleTickReg,           (0x0B, 0xA3AD00), 32, RW, 0, ALL,        F(_, 15, 0)) \
    R(ChargeBalancerDisableTickReg,        (0x0C, 0xB3AE0A), 32, RW, 0, ALL,        F(_, 15, 0)) \
    R(ComparatorTriggerEnableTickReg,      (0x0D, 0x6E4063), 32, RW, 0, ALL,        F(_, 15, 0)) \
    R(ComparatorTriggerDisableTickReg,     (0x0E, 0xAF78F5), 32, RW, 0, ALL,        F(_, 15, 0)) \
    R(ModQCaptureTickReg,                  (0x0F, 0x8CD900), 32, RW, 0, ALL,        F(_, 15, 0)) \
    R(CmccDigiPotControl,                  (0x10, 0x9A9511), 32, WO, 0, ALL,        F(_, 7, 0)) \
    R(MuCycleEvtTickReg,                   (0x11, 0xE7510C), 32, RW, 0, ALL,        F(_, 15, 0)) \
    TYPE(tClassDFreqLimitRegType,                            32, RW, 0, ALL,        F(_, 10, 0)) \
    ARRAY(ClassDFreqLimit, tClassDFreqLimitRegType, (0x20, 0xC580D2, 0x73AD9D), 2, 1) \
    R(UpdateXadcLimitsReg,                 (0x22, 0xFFD874), 32, WO, 0, 0xFFFFFFF0, F(_, 3, 0)) \
    R(XadcWindowLimitsReg,                 (0x23, 0x5A41C1), 32, WO, 0, ALL,        F(_, 11, 0) F(_, 27, 16)) \
    R(XfmrPlusWindowLimitsReg,             (0x24, 0xFBAEED), 32, WO, 0, ALL,        F(_, 14, 0) F(_, 30, 16)) \
    R(XfmrMinusWindowLimitsReg,            (0x25, 0x7D71B0), 32, WO, 0, ALL,        F(_, 14, 0) F(_, 30, 16)) \
    R(VrefTempWindowLimitsReg,             (0x26, 0x414B49), 32, WO, 0, ALL,        F(_, 11, 0) F(_, 27, 16)) \
    R(XfmrRailMeasurementReg,              (0x27, 0x5AE8E3), 32, RO, 0, ALL,        F(_, 11, 0) F(_, 27, 16)) \
    /* the tenth routing mux (0x39), the board's error mux (0x40) and its occurrence register */ \
    KZ_OCCURRENCE_REGISTER_TYPES(TYPE, F, FLAG, nTolvaneIsoFpgaRegMap) \
    REG(OccurrenceMuxConfig9,      tOccurrenceMuxConfigRegType, (0x39, 0xAC4F07)) \
    REG(OccurrenceMuxStatus9,      tOccurrenceMuxStatusRegType, (0x39, 0x6B4B5C)) \
    REG(BoardOccurrenceMuxConfig,  tOccurrenceMuxConfigRegType, (0x40, 0x8B9D83)) \
    REG(BoardOccurrenceMuxStatus,  tOccurrenceMuxStatusRegType, (0x40, 0xD05E03)) \
    REG(Occurrence,                tOccurrenceRegType,          (0x41, 0x86B014)) \
    /* sequencer local RAM */ \
    R(SeqLocalRamWriteAddressReg,          (0x50, 0x2D51B0), 32, WO, 0, 0x00000000, F(_, 31, 0)) \
    R(SeqLocalRamReadAddressReg,           (0x51, 0x84F888), 32, WO, 0, 0x00000000, F(_, 31, 0)) \
    R(SeqLocalCommandHighReg,              (0x52, 0x9ADB24), 32, RW, 0, ALL,        F(_, 31, 0)) \
    R(SeqLocalCommandLowReg,               (0x53, 0x69BA29), 32, RW, 0, ALL,        F(_, 31, 0)) \
    /* register-port sniffer and logger */ \
    R(IsoRegPortSnifferControlReg,         (0x60, 0xD323BA), 32, WO, 0, 0xFFFFFEEE, F(_, 0) F(_, 4) F(_, 8)) \
    R(IsoRegPortSnifferHeadDataReg,        (0x61, 0xAEFDAA), 32, RO, 0, ALL,        F(_, 31, 0)) \
    R(IsoRegPortSnifferHeadAddrReg,        (0x62, 0x0AF341), 32, RO, 0, ALL,        F(_, 29, 0) F(_, 30) F(_, 31)) \
    R(IsoRegPortSnifferTailDataReg,        (0x63, 0x0CC386), 32, RO, 0, ALL,        F(_, 31, 0)) \
    R(IsoRegPortSnifferTailAddrReg,        (0x64, 0xC32F6A), 32, RO, 0, ALL,        F(_, 29, 0) F(_, 30) F(_, 31)) \
    R(LoggerControlReg,                    (0x68, 0xB9A0C2), 32, WO, 0, 0x7FFFFFE0, F(_, 0) F(_, 1) F(_, 2) F(_, 3) F(_, 4) \
                                                                                    F(_, 31)) \
    R(LoggerStatusReg,                     (0x68, 0x98A679), 32, RO, 0, ALL,        F(_, 0) F(_, 1) F(_, 16, 2) F(_, 31, 17)) \
    R(LoggerConfigReg,                     (0x69, 0xB0ABE3), 32, WO, 0, ALL,        F(_, 15, 0) F(_, 31)) \
    TYPE(tLoggerDataRegT,                                    32, RO, 0, ALL,        F(_, 31, 0)) \
    REG(LoggerData0, tLoggerDataRegT, (0x69, 0xF77BDE)) \
    REG(LoggerData1, tLoggerDataRegT, (0x6A, 0x4B6C1B)) \
    R(LoggerInputCaptureReg,               (0x6A, 0x4D46AA), 32, WO, 0, 0x00000000, F(_, 15, 0) F(_, 31, 16)) \
    REG(LoggerData2, tLoggerDataRegT, (0x6B, 0x932F95)) \
    REG(LoggerData3, tLoggerDataRegT, (0x6C, 0x035ADC)) \
    REG(LoggerData4, tLoggerDataRegT, (0x6D, 0x1BEFBF)) \
    REG(LoggerData5, tLoggerDataRegT, (0x6E, 0xF634D8)) \
    /* the routing muxes 0 to 8, then the reserved words */ \
    ARRAY(OccurrenceMuxConfig, tOccurrenceMuxConfigRegType, (0x30, 0x9DAEAB, 0x2E863A, 0x71C4C7, 0xF65AD9, 0xD279BA, \
                                                             0xA272B7, 0x065D17, 0x033879, 0x56C482), 9, 1) \
    ARRAY(OccurrenceMuxStatus, tOccurrenceMuxStatusRegType, (0x30, 0xD4E061, 0x5EF19C, 0x9F4F33, 0xB26B81, 0x172FFD, \
                                                             0x533E83, 0xC8B1BC, 0x9BAA54, 0x2B6A98), 9, 1) \
    TYPE(tRfuRegType,                                        32, RW, 0, ALL,        F(_, 31, 0)) \
    ARRAY(Rfu, tRfuRegType, (0x70, 0xE07894, 0x270A80, 0xF0670B, 0x7D6C8F, 0x726783, 0xA22665, 0x3E771D, 0x0085CC), 8, 1)
// clang-format on

ARM_DECLARE_MAP(nTolvaneIsoFpgaRegMap, KZ_TOLVANE_ISO_FPGA_REGISTERS, ::arm::WindowedTableMap, kTolvaneIsoFpgaMap,
                kProductMapVersion, "kzvorn_regMaps/TolvaneRegisterMap_TolvaneIsoFpgaRegMap", arm::kProductPolicy)

// The isolated word address of a channel's block.
class ChannelBaseAddressCalculator final : public kzvoltixsharedsource::ChannelBaseAddressCalculatorInterface {
public:
    // The channel taken as an unsigned byte, without a range check: 0x103 gives channel 3's block.
    uint32_t calculate(kzvoltixsharedsource::PhysicalChannelNumber channel) const override {
        return (uint32_t(uint8_t(channel)) + 8) * 512;
    }
};

class tTolvaneIsoFpgaRegMap : public arm::DeclaredMap<nTolvaneIsoFpgaRegMap::tRegisterSet,
                                                      kzvoltixsharedsource::FrontEndAccess, kTolvaneIsoFpgaMap> {
public:
    using tStatus = nKZAPALS100::tStatus;
    using tAccessor = kzvoltixsharedsource::FrontEndAccessorInterface;

    static constexpr unsigned kChannelMapCount = 7;
    static constexpr uint32_t kChannelMapSize = 512;

    // Every register at its own address and in the window, clean and 0; then (not when the status
    // already holds an error) the channel maps 0 to 6 over the same accessor, each with its block
    // as its window. -52000 when one cannot be allocated; the maps after it stay unallocated.
    // Touches no register. The accessor is the creator's.
    tTolvaneIsoFpgaRegMap(tAccessor* accessor, tStatus& status);
    // Deletes the channel maps, the last first.
    ~tTolvaneIsoFpgaRegMap() override;
    tTolvaneIsoFpgaRegMap(const tTolvaneIsoFpgaRegMap&) = delete;
    tTolvaneIsoFpgaRegMap& operator=(const tTolvaneIsoFpgaRegMap&) = delete;

    // Null past the last channel map or when it was never allocated.
    tTolvaneIsoChannelRegMap* channelMap(unsigned channel) const {
        return channel < kChannelMapCount ? channelMaps_[channel] : nullptr;
    }
    tAccessor* accessor() const { return access_.accessor(); }

private:
    tTolvaneIsoChannelRegMap* channelMaps_[kChannelMapCount] = {};
    // The same maps as the walks take them.
    arm::TableMap* subMaps_[kChannelMapCount] = {};
};

}  // namespace kzvorn_regmaps
