// The timing block's trigger lines (from BAR offset 0x10000): output selects, directions,
// filters, DStarC, FOUT, CTSI, CYA, PLL control, PFI output and watchdog registers.
#pragma once

#include "quolinTools/armgen/memorySpaceAccess.h"
#include "quolinTools/armgen/registerMap.h"
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

namespace tables {
using namespace arm::table;
constexpr uint32_t kExtendedPFIOutputSelect = 0x88;
constexpr uint32_t kTRESKOutputSelect = 0xA8;
constexpr uint32_t kPFIOutputSelect = 0xBA;
constexpr uint32_t kCTSIOutputSelect = 0xCF;
constexpr uint32_t kIntTriggerAOutputSelect = 0xE8;
constexpr uint32_t kIntTriggerBOutputSelect = 0xF0;

// clang-format off
constexpr arm::Rows<101> buildTriggers() {
    arm::Rows<101> t{};
    // offset width kind fields                                    initial keep
    t.add(reg(0x0A0, 16, WO, "2-0 5f 9-8",                         0,      0xFFDF))  // tAnalogTrigControlRegister
     .add(reg(0x0A2, 16, WO, "3-0 12 14 15"))                                         // tFOUT_Register
     .add(reg(0x0A4, 16, WO, "0..15"))                                                // tPFI_Direction_Register
     .add(reg(0x0A6, 16, WO, "8..15"))                                                // tTRESK_Trig_Direction_Register
     .add(reg(0x0B0, 16, WO, "2-0 6-4 10-8 14-12"))                                   // tPFI_Filter_Register_0
     .add(reg(0x0B2, 16, WO, "2-0 6-4 10-8 14-12"))                                   // tPFI_Filter_Register_1
     .add(reg(0x0B4, 16, WO, "2-0 6-4 10-8 14-12"))                                   // tPFI_Filter_Register_2
     .add(reg(0x0B6, 16, WO, "2-0 6-4 10-8 14-12"))                                   // tPFI_Filter_Register_3
     .add(reg(0x0B8, 16, WO, "3-0 15f"))                                              // tRegisterB8
     .add(reg(0x0CA, 16, WO, "3-0 13-12 14f 15f"))                                    // tDStarC_Trig_Register
     .add(reg(0x0CC, 16, WO, "0..15f"))                                               // tCTSI_Mode_Register
     .add(reg(0x0CE,  8, WO, "0..7"))                                                 // tCTSI_Direction_Register
     .add(reg(0x0D7,  8, WO, "0..7f"))                                                // tCTSI_PinEnableRegister
     .add(reg(0x0D8, 16, WO, "0 1 2 5-4 6f 9-8 10 12-11 13f 14f",  0x0D10))          // tCYA_Register
     .add(reg(0x0DA, 16, WO, "4-0 6"))                                                // tRegisterDA
     .add(reg(0x0DC, 32, WO, "13-8 20-14 27-21 30-28 31f",         0x00006000))      // tPLL_Control_Register
     .add(reg(0x0DC, 16, RO, "0 1"))                                                  // tReadRegisterDC
     .add(reg(0x0E0, 16, RO, "0..15"))                                                // tReadRegisterE0
     .add(reg(0x0E0, 16, WO, "15-0"))                                                 // tPFI_DO_Register
     .add(reg(0x0E2, 16, WO, "15-0"))                                                 // tPFI_WDT_SafeStateRegister
     .add(reg(0x0E4, 32, WO, "2x16"))                                                 // tPFI_WDT_ModeSelect_Register
     .add(reg(0x0F8, 16, WO, "2-0 6-4 10-8 14-12"))                                   // tIntTrigA_Filter_Register_Lo
     .add(reg(0x0FA, 16, WO, "2-0 6-4 10-8 14-12"))                                   // tIntTrigA_Filter_Register_Hi
     .add(reg(0x0FC, 16, WO, "2-0 6-4 10-8 14-12"))                                   // tIntTrigB_Filter_Register_Lo
     .add(reg(0x0FE, 16, WO, "2-0 6-4 10-8 14-12"))                                   // tIntTrigB_Filter_Register_Hi
     .add(reg(0x100, 16, WO, "8-0 11-10 15-13"))                                      // tRegister100
     .add(reg(0x102, 16, WO, "8-0 11-10"))                                            // tRegister102
     .add(reg(0x104, 16, WO, "15-0",                               0xD6D8))          // tCYA_LockCount_Register
     .add(reg(0x106,  8, WO, "7-0",                                0x08))            // tSync100_Repeat_Count_Register
     // output-select arrays: offset of element 0, elements, width, kind, fields
     .array(kExtendedPFIOutputSelect, 24, 8, WO, "3-0 7")
     .array(kTRESKOutputSelect,        8, 8, WO, "6-0")
     .array(kPFIOutputSelect,         16, 8, WO, "6-0 7")
     .array(kCTSIOutputSelect,         8, 8, WO, "6-0")
     .array(kIntTriggerAOutputSelect,  8, 8, WO, "6-0")
     .array(kIntTriggerBOutputSelect,  8, 8, WO, "4-0");
    return t.complete();
}
// clang-format on
inline constexpr arm::Rows<101> kTriggersRows = buildTriggers();
inline constexpr const arm::RegisterDesc (&kTriggers)[101] = kTriggersRows.rows;
}  // namespace tables

inline constexpr arm::MapDesc kTriggersMap =
    arm::mapDesc(tables::kTriggers, kTimingMapVersion, "quolinTools/armgen/Triggers", arm::kBridgePolicy);

using TriggersMapBase = arm::MapOf<arm::rowCount(tables::kTriggers), arm::MemorySpaceAccess>;

template <uint32_t kOffset>
class tTriggersWithOffset : public TriggersMapBase {
public:
    explicit tTriggersWithOffset(arm::MemorySpaceAccess::Accessor* accessor)
        : TriggersMapBase(kTriggersMap, accessor) {}

    ARM_REGISTER(tAnalogTrigControlRegister, AnalogTrigControlRegister, tables::kTriggers, 0x0A0, false)
    ARM_REGISTER(tFOUT_Register, FOUT_Register, tables::kTriggers, 0x0A2, false)
    ARM_REGISTER(tPFI_Direction_Register, PFI_Direction_Register, tables::kTriggers, 0x0A4, false)
    ARM_REGISTER(tTRESK_Trig_Direction_Register, TRESK_Trig_Direction_Register, tables::kTriggers, 0x0A6, false)
    ARM_REGISTER(tPFI_Filter_Register_0, PFI_Filter_Register_0, tables::kTriggers, 0x0B0, false)
    ARM_REGISTER(tPFI_Filter_Register_1, PFI_Filter_Register_1, tables::kTriggers, 0x0B2, false)
    ARM_REGISTER(tPFI_Filter_Register_2, PFI_Filter_Register_2, tables::kTriggers, 0x0B4, false)
    ARM_REGISTER(tPFI_Filter_Register_3, PFI_Filter_Register_3, tables::kTriggers, 0x0B6, false)
    ARM_REGISTER(tRegisterB8, RegisterB8, tables::kTriggers, 0x0B8, false)
    ARM_REGISTER(tDStarC_Trig_Register, DStarC_Trig_Register, tables::kTriggers, 0x0CA, false)
    ARM_REGISTER(tCTSI_Mode_Register, CTSI_Mode_Register, tables::kTriggers, 0x0CC, false)
    ARM_REGISTER(tCTSI_Direction_Register, CTSI_Direction_Register, tables::kTriggers, 0x0CE, false)
    ARM_REGISTER(tCTSI_PinEnableRegister, CTSI_PinEnableRegister, tables::kTriggers, 0x0D7, false)
    ARM_REGISTER(tCYA_Register, CYA_Register, tables::kTriggers, 0x0D8, false)
    ARM_REGISTER(tRegisterDA, RegisterDA, tables::kTriggers, 0x0DA, false)
    ARM_REGISTER(tPLL_Control_Register, PLL_Control_Register, tables::kTriggers, 0x0DC, false)
    ARM_REGISTER(tReadRegisterDC, ReadRegisterDC, tables::kTriggers, 0x0DC, true)
    ARM_REGISTER(tReadRegisterE0, ReadRegisterE0, tables::kTriggers, 0x0E0, true)
    ARM_REGISTER(tPFI_DO_Register, PFI_DO_Register, tables::kTriggers, 0x0E0, false)
    ARM_REGISTER(tPFI_WDT_SafeStateRegister, PFI_WDT_SafeStateRegister, tables::kTriggers, 0x0E2, false)
    ARM_REGISTER(tPFI_WDT_ModeSelect_Register, PFI_WDT_ModeSelect_Register, tables::kTriggers, 0x0E4, false)
    ARM_REGISTER(tIntTrigA_Filter_Register_Lo, IntTrigA_Filter_Register_Lo, tables::kTriggers, 0x0F8, false)
    ARM_REGISTER(tIntTrigA_Filter_Register_Hi, IntTrigA_Filter_Register_Hi, tables::kTriggers, 0x0FA, false)
    ARM_REGISTER(tIntTrigB_Filter_Register_Lo, IntTrigB_Filter_Register_Lo, tables::kTriggers, 0x0FC, false)
    ARM_REGISTER(tIntTrigB_Filter_Register_Hi, IntTrigB_Filter_Register_Hi, tables::kTriggers, 0x0FE, false)
    ARM_REGISTER(tRegister100, Register100, tables::kTriggers, 0x100, false)
    ARM_REGISTER(tRegister102, Register102, tables::kTriggers, 0x102, false)
    ARM_REGISTER(tCYA_LockCount_Register, CYA_LockCount_Register, tables::kTriggers, 0x104, false)
    ARM_REGISTER(tSync100_Repeat_Count_Register, Sync100_Repeat_Count_Register, tables::kTriggers, 0x106, false)

    // Output-select registers: element i of each array, with the generated field writers. Each
    // writer behaves as the map's `write` of that field and returns the register.
#define KZ_OUTPUT_SELECT_WRITER(type, writer, valueType, low)                                   \
    type& writer(nTriggers::valueType value, nKZAPALS100::tStatus& status, bool force) {        \
        writeField(low, value, status, force);                                                  \
        return *this;                                                                           \
    }
#define KZ_OUTPUT_SELECT_ARRAY(type, getter, first, count)                                      \
    type getter(unsigned i) {                                                                   \
        constexpr int kFirst = arm::indexOf(tables::kTriggers, first, false);                    \
        static_assert(kFirst >= 0, #type " has no rows");                                       \
        return type(*this, i < count ? kFirst + int(i) : -1);                                   \
    }

    class tExtendedPFI_OutputSelectRegister_t : public arm::Register {
    public:
        using arm::Register::Register;
        KZ_OUTPUT_SELECT_WRITER(tExtendedPFI_OutputSelectRegister_t, writeExtendedPFI_i_Output_Select,
                                ExtendedPFI_Output_Select_t, 0)
        KZ_OUTPUT_SELECT_WRITER(tExtendedPFI_OutputSelectRegister_t, writeExtendedPFI_i_EnableTriggerOut,
                                ExtendedPFI_EnableTriggerOut_t, 7)
    };
    class tTRESK_OutputSelectRegister_t : public arm::Register {
    public:
        using arm::Register::Register;
        KZ_OUTPUT_SELECT_WRITER(tTRESK_OutputSelectRegister_t, writeTRESK_i_Output_Select,
                                Trig_TRESK_i_Output_Select_t, 0)
    };
    class tPFI_OutputSelectRegister_t : public arm::Register {
    public:
        using arm::Register::Register;
        KZ_OUTPUT_SELECT_WRITER(tPFI_OutputSelectRegister_t, writePFI_i_Output_Select, Trig_PFI_Output_Select_t, 0)
        KZ_OUTPUT_SELECT_WRITER(tPFI_OutputSelectRegister_t, writePFI_i_EnableP0_Routing,
                                Trig_PFI_EnableP0_Routing_t, 7)
    };
    class tCTSI_OutputSelectRegister_t : public arm::Register {
    public:
        using arm::Register::Register;
        KZ_OUTPUT_SELECT_WRITER(tCTSI_OutputSelectRegister_t, writeCTSI_i_Output_Select,
                                Trig_CTSI_i_Output_Select_t, 0)
    };
    class tIntTriggerA_OutputSelectRegister_t : public arm::Register {
    public:
        using arm::Register::Register;
        KZ_OUTPUT_SELECT_WRITER(tIntTriggerA_OutputSelectRegister_t, writeIntTriggerA_i_Output_Select,
                                Trig_IntTriggerA_i_Output_Select_t, 0)
    };
    class tIntTriggerB_OutputSelectRegister_t : public arm::Register {
    public:
        using arm::Register::Register;
        KZ_OUTPUT_SELECT_WRITER(tIntTriggerB_OutputSelectRegister_t, writeIntTriggerB_i_Output_Select,
                                Trig_IntTriggerB_i_Output_Select_t, 0)
    };

    KZ_OUTPUT_SELECT_ARRAY(tExtendedPFI_OutputSelectRegister_t, ExtendedPFI_OutputSelectRegister,
                           tables::kExtendedPFIOutputSelect, 24)
    KZ_OUTPUT_SELECT_ARRAY(tTRESK_OutputSelectRegister_t, TRESK_OutputSelectRegister, tables::kTRESKOutputSelect, 8)
    KZ_OUTPUT_SELECT_ARRAY(tPFI_OutputSelectRegister_t, PFI_OutputSelectRegister, tables::kPFIOutputSelect, 16)
    KZ_OUTPUT_SELECT_ARRAY(tCTSI_OutputSelectRegister_t, CTSI_OutputSelectRegister, tables::kCTSIOutputSelect, 8)
    KZ_OUTPUT_SELECT_ARRAY(tIntTriggerA_OutputSelectRegister_t, IntTriggerA_OutputSelectRegister,
                           tables::kIntTriggerAOutputSelect, 8)
    KZ_OUTPUT_SELECT_ARRAY(tIntTriggerB_OutputSelectRegister_t, IntTriggerB_OutputSelectRegister,
                           tables::kIntTriggerBOutputSelect, 8)
#undef KZ_OUTPUT_SELECT_WRITER
#undef KZ_OUTPUT_SELECT_ARRAY
};

}  // namespace quolintools
