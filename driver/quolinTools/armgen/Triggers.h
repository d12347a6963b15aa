// The timing block's trigger lines (from BAR offset 0x10000): output selects, directions,
// filters, DStarC, FOUT, CTSI, CYA, PLL control, PFI output and watchdog registers.
#pragma once

#include "quolinTools/armgen/memorySpaceAccess.h"
#include "quolinTools/armgen/registerMapDeclaration.h"
#include "quolinTools/armgen/StreamCircuitRegMap.h"

namespace quolintools {

namespace nTriggers {
// Output-select values are the fields' bit patterns; no enumerator has a name.
enum ExtendedPFI_Output_Select_t : uint8_t {};
enum ExtendedPFI_EnableTriggerOut_t : uint8_t {};
enum Trig_TRESK_i_Output_Select_t : uint8_t {};
enum Trig_PFI_Output_Select_t : uint8_t {};
enum Trig_PFI_EnableP0_Routing_t : uint8_t {};
enum Trig_CTSI_i_Output_Select_t : uint8_t {};
enum Trig_IntTriggerA_i_Output_Select_t : uint8_t {};
enum Trig_IntTriggerB_i_Output_Select_t : uint8_t {};
}  // namespace nTriggers

// clang-format off
// The four 3-bit filters of a filter register.
#define KZ_TRIGGERS_FILTERS(F) F(_, 2, 0) F(_, 6, 4) F(_, 10, 8) F(_, 14, 12)

#define KZ_TRIGGERS_REGISTERS(R, TYPE, REG, ARRAY, F, FLAG) \
    /* register                       offset width kind initial     keep    fields */ \
    /* bit 5 of 0xA0 is a strobe */ \
    R(AnalogTrigControlRegister,       0x0A0, 16,  WO,  0,          0xFFDF, F(_, 2, 0) FLAG(_, 5) F(_, 9, 8)) \
    R(FOUT_Register,                   0x0A2, 16,  WO,  0,          ALL,    F(_, 3, 0) F(_, 12) F(_, 14) F(_, 15)) \
    R(PFI_Direction_Register,          0x0A4, 16,  WO,  0,          ALL,    F(_, 0) F(_, 1) F(_, 2) F(_, 3) F(_, 4) F(_, 5) F(_, 6) \
                                                                            F(_, 7) F(_, 8) F(_, 9) F(_, 10) F(_, 11) F(_, 12) \
                                                                            F(_, 13) F(_, 14) F(_, 15)) \
    R(TRESK_Trig_Direction_Register,   0x0A6, 16,  WO,  0,          ALL,    F(_, 8) F(_, 9) F(_, 10) F(_, 11) F(_, 12) F(_, 13) \
                                                                            F(_, 14) F(_, 15)) \
    R(PFI_Filter_Register_0,           0x0B0, 16,  WO,  0,          ALL,    KZ_TRIGGERS_FILTERS(F)) \
    R(PFI_Filter_Register_1,           0x0B2, 16,  WO,  0,          ALL,    KZ_TRIGGERS_FILTERS(F)) \
    R(PFI_Filter_Register_2,           0x0B4, 16,  WO,  0,          ALL,    KZ_TRIGGERS_FILTERS(F)) \
    R(PFI_Filter_Register_3,           0x0B6, 16,  WO,  0,          ALL,    KZ_TRIGGERS_FILTERS(F)) \
    R(RegisterB8,                      0x0B8, 16,  WO,  0,          ALL,    F(_, 3, 0) FLAG(_, 15)) \
    R(DStarC_Trig_Register,            0x0CA, 16,  WO,  0,          ALL,    F(_, 3, 0) F(_, 13, 12) FLAG(_, 14) FLAG(_, 15)) \
    R(CTSI_Mode_Register,              0x0CC, 16,  WO,  0,          ALL,    FLAG(_, 0) FLAG(_, 1) FLAG(_, 2) FLAG(_, 3) FLAG(_, 4) \
                                                                            FLAG(_, 5) FLAG(_, 6) FLAG(_, 7) FLAG(_, 8) FLAG(_, 9) \
                                                                            FLAG(_, 10) FLAG(_, 11) FLAG(_, 12) FLAG(_, 13) FLAG(_, 14) \
                                                                            FLAG(_, 15)) \
    R(CTSI_Direction_Register,         0x0CE,  8,  WO,  0,          ALL,    F(_, 0) F(_, 1) F(_, 2) F(_, 3) F(_, 4) F(_, 5) F(_, 6) \
                                                                            F(_, 7)) \
    R(CTSI_PinEnableRegister,          0x0D7,  8,  WO,  0,          ALL,    FLAG(_, 0) FLAG(_, 1) FLAG(_, 2) FLAG(_, 3) FLAG(_, 4) \
                                                                            FLAG(_, 5) FLAG(_, 6) FLAG(_, 7)) \
    R(CYA_Register,                    0x0D8, 16,  WO,  0x0D10,     ALL,    F(_, 0) F(_, 1) F(_, 2) F(_, 5, 4) FLAG(_, 6) F(_, 9, 8) \
                                                                            F(_, 10) F(_, 12, 11) FLAG(_, 13) FLAG(_, 14)) \
    R(RegisterDA,                      0x0DA, 16,  WO,  0,          ALL,    F(_, 4, 0) F(_, 6)) \
    R(PLL_Control_Register,            0x0DC, 32,  WO,  0x00006000, ALL,    F(_, 13, 8) F(_, 20, 14) F(_, 27, 21) F(_, 30, 28) \
                                                                            FLAG(_, 31)) \
    R(ReadRegisterDC,                  0x0DC, 16,  RO,  0,          ALL,    F(_, 0) F(_, 1)) \
    R(ReadRegisterE0,                  0x0E0, 16,  RO,  0,          ALL,    F(_, 0) F(_, 1) F(_, 2) F(_, 3) F(_, 4) F(_, 5) F(_, 6) \
                                                                            F(_, 7) F(_, 8) F(_, 9) F(_, 10) F(_, 11) F(_, 12) \
                                                                            F(_, 13) F(_, 14) F(_, 15)) \
    R(PFI_DO_Register,                 0x0E0, 16,  WO,  0,          ALL,    F(_, 15, 0)) \
    R(PFI_WDT_SafeStateRegister,       0x0E2, 16,  WO,  0,          ALL,    F(_, 15, 0)) \
    R(PFI_WDT_ModeSelect_Register,     0x0E4, 32,  WO,  0,          ALL,    ARM_SIXTEEN_2_BIT_FIELDS(F)) \
    R(IntTrigA_Filter_Register_Lo,     0x0F8, 16,  WO,  0,          ALL,    KZ_TRIGGERS_FILTERS(F)) \
    R(IntTrigA_Filter_Register_Hi,     0x0FA, 16,  WO,  0,          ALL,    KZ_TRIGGERS_FILTERS(F)) \
    R(IntTrigB_Filter_Register_Lo,     0x0FC, 16,  WO,  0,          ALL,    KZ_TRIGGERS_FILTERS(F)) \
    R(IntTrigB_Filter_Register_Hi,     0x0FE, 16,  WO,  0,          ALL,    KZ_TRIGGERS_FILTERS(F)) \
    R(Register100,                     0x100, 16,  WO,  0,          ALL,    F(_, 8, 0) F(_, 11, 10) F(_, 15, 13)) \
    R(Register102,                     0x102, 16,  WO,  0,          ALL,    F(_, 8, 0) F(_, 11, 10)) \
    R(CYA_LockCount_Register,          0x104, 16,  WO,  0xD6D8,     ALL,    F(_, 15, 0)) \
    R(Sync100_Repeat_Count_Register,   0x106,  8,  WO,  0x08,       ALL,    F(_, 7, 0)) \
    /* the output selects, one register a line */ \
    TYPE(tExtendedPFI_OutputSelectRegister_t, 8, WO, 0, ALL, F((ExtendedPFI_i_Output_Select, ExtendedPFI_Output_Select_t), 3, 0) \
                                                             F((ExtendedPFI_i_EnableTriggerOut, ExtendedPFI_EnableTriggerOut_t), 7)) \
    TYPE(tTRESK_OutputSelectRegister_t,       8, WO, 0, ALL, F((TRESK_i_Output_Select, Trig_TRESK_i_Output_Select_t), 6, 0)) \
    TYPE(tPFI_OutputSelectRegister_t,         8, WO, 0, ALL, F((PFI_i_Output_Select, Trig_PFI_Output_Select_t), 6, 0) \
                                                             F((PFI_i_EnableP0_Routing, Trig_PFI_EnableP0_Routing_t), 7)) \
    TYPE(tCTSI_OutputSelectRegister_t,        8, WO, 0, ALL, F((CTSI_i_Output_Select, Trig_CTSI_i_Output_Select_t), 6, 0)) \
    TYPE(tIntTriggerA_OutputSelectRegister_t, 8, WO, 0, ALL, F((IntTriggerA_i_Output_Select, Trig_IntTriggerA_i_Output_Select_t), 6, 0)) \
    TYPE(tIntTriggerB_OutputSelectRegister_t, 8, WO, 0, ALL, F((IntTriggerB_i_Output_Select, Trig_IntTriggerB_i_Output_Select_t), 4, 0)) \
    /* array                            type                                 offset count stride */ \
    ARRAY(ExtendedPFI_OutputSelectRegister, tExtendedPFI_OutputSelectRegister_t, 0x88, 24, 1) \
    ARRAY(TRESK_OutputSelectRegister,       tTRESK_OutputSelectRegister_t,       0xA8,  8, 1) \
    ARRAY(PFI_OutputSelectRegister,         tPFI_OutputSelectRegister_t,         0xBA, 16, 1) \
    ARRAY(CTSI_OutputSelectRegister,        tCTSI_OutputSelectRegister_t,        0xCF,  8, 1) \
    ARRAY(IntTriggerA_OutputSelectRegister, tIntTriggerA_OutputSelectRegister_t, 0xE8,  8, 1) \
    ARRAY(IntTriggerB_OutputSelectRegister, tIntTriggerB_OutputSelectRegister_t, 0xF0,  8, 1)
// clang-format on

namespace nTriggers {
ARM_DECLARE_REGISTERS(KZ_TRIGGERS_REGISTERS, ::arm::TableMap)
}  // namespace nTriggers

inline constexpr arm::MapDesc kTriggersMap =
    arm::mapDesc(nTriggers::kRows, kTimingMapVersion, "quolinTools/armgen/Triggers", arm::kBridgePolicy);

template <uint32_t kOffset>
class tTriggersWithOffset : public arm::DeclaredMap<nTriggers::tRegisterSet, arm::MemorySpaceAccess, kTriggersMap> {
public:
    using DeclaredMap::DeclaredMap;
};

}  // namespace quolintools
