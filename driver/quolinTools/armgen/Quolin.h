// The bridge chip's core registers: signature, capabilities, DMA block placement, interrupt mask,
// host bridge control and the FPGA configuration port.
#pragma once

#include "quolinTools/armgen/memorySpaceAccess.h"
#include "quolinTools/armgen/registerMap.h"

namespace quolintools {

constexpr const char* kBridgeMapVersion = "23.3.0f121";

namespace tables {
using namespace arm::table;
// clang-format off
inline constexpr arm::RegisterDesc kQuolin[] = {
    // offset width kind  fields                                              initial keep
    reg(0x000, 32, RO, "31-0"),                                              // tSignature
    reg(0x00C, 32, RO, "4 5 6 7 15-12 19-16 23-20 31-24"),                   // tCapabilityRegister
    reg(0x01C, 32, RO, "31-0"),                                              // tDMAChannelOffsetRegister
    reg(0x058, 32, RW, "1-0 19-16"),                                         // tRegister58
    reg(0x05C, 32, RW, "0f 8..11f 24..31f"),                                 // tInterruptMask
    reg(0x0A4, 32, RW, "11-0 13f 14f 15f 19-16 23-20 27-24 28f 30-29 31f"),  // tHBRCR
    reg(0x440, 32, WO, "0..3f"),                                             // tFPGALoadControlRegister
    reg(0x444, 32, RW, "0f 1f"),                                             // tRegister444
    reg(0x448, 32, RO, "7-0 8"),                                             // tFPGALoadStatusRegister
    reg(0x450, 32, RW, "31-0"),                                              // tRegister450
    reg(0x458, 32, RW, "31-0"),                                              // tFPGALoadSizeRegister
    reg(0x460,  8, WO, "7-0",                                       0, 0),  // tFPGALoadDataRegister: a strobe
    hiddenReg(0x460, 64, WO,                                           0),  // tFPGALoadDataRegister64
    reg(0x510, 32, RW, "2-0 10-8 18-16"),                                    // tRegister510
    reg(0x514, 32, RW, "4x8"),                                               // tRegister514
};
// clang-format on
}  // namespace tables

inline constexpr arm::MapDesc kQuolinMap =
    arm::mapDesc(tables::kQuolin, kBridgeMapVersion, "quolinTools/armgen/Quolin", arm::kBridgePolicy);

template <uint32_t kOffset>
class tQuolinWithOffset : public arm::MapOf<arm::rowCount(tables::kQuolin), arm::MemorySpaceAccess> {
public:
    explicit tQuolinWithOffset(arm::MemorySpaceAccess::Accessor* accessor) : MapOf(kQuolinMap, accessor) {}

    ARM_REGISTER(tSignature, Signature, tables::kQuolin, 0x000, true)
    ARM_REGISTER(tCapabilityRegister, CapabilityRegister, tables::kQuolin, 0x00C, true)
    ARM_REGISTER(tDMAChannelOffsetRegister, DMAChannelOffsetRegister, tables::kQuolin, 0x01C, true)
    ARM_REGISTER(tRegister58, Register58, tables::kQuolin, 0x058, false)
    ARM_REGISTER(tInterruptMask, InterruptMask, tables::kQuolin, 0x05C, false)
    ARM_REGISTER(tHBRCR, HBRCR, tables::kQuolin, 0x0A4, false)
    ARM_REGISTER(tFPGALoadControlRegister, FPGALoadControlRegister, tables::kQuolin, 0x440, false)
    ARM_REGISTER(tRegister444, Register444, tables::kQuolin, 0x444, false)
    ARM_REGISTER(tFPGALoadStatusRegister, FPGALoadStatusRegister, tables::kQuolin, 0x448, true)
    ARM_REGISTER(tRegister450, Register450, tables::kQuolin, 0x450, false)
    ARM_REGISTER(tFPGALoadSizeRegister, FPGALoadSizeRegister, tables::kQuolin, 0x458, false)
    ARM_REGISTER(tFPGALoadDataRegister, FPGALoadDataRegister, tables::kQuolin, 0x460, false)
    ARM_REGISTER(tRegister510, Register510, tables::kQuolin, 0x510, false)
    ARM_REGISTER(tRegister514, Register514, tables::kQuolin, 0x514, false)

    // The 64-bit data port shares 0x460 with the 8-bit one and has no identifier: the row after it.
    class tFPGALoadDataRegister64 : public arm::Register {
    public:
        using arm::Register::Register;
    };
    tFPGALoadDataRegister64 FPGALoadDataRegister64() {
        return tFPGALoadDataRegister64(*this, arm::indexOf(tables::kQuolin, 0x460, false) + 1);
    }
};

}  // namespace quolintools
