// One DMA stream circuit (the FPGA side of a stream): control/status, additive transfer count,
// counters and stream parameters in its 8 KB page.
#pragma once

#include "quolinTools/armgen/memorySpaceAccess.h"
#include "quolinTools/armgen/registerMap.h"

namespace quolintools {

constexpr const char* kTimingMapVersion = "200a13081315";

namespace tables {
using namespace arm::table;
// Every one-bit field of this map takes bit 0 of the value.
// clang-format off
inline constexpr arm::RegisterDesc kStreamCircuit[] = {
    // offset width kind    fields
    reg(0x800, 32, CMD,    "0..3 8..11 13..18"),        // tStreamControlStatusReg
    reg(0x808, 32, CMD,    "7-0 15-8 23-16"),
    reg(0x810, 32, CMD_WO, "31-0"),                     // additive transfer count
    reg(0x810, 32, CMD_RO, "31-0"),
    reg(0x814, 32, RO,     "31-0"),
    reg(0x818, 32, RW,     "31-0"),
    reg(0x81C, 32, RW,     "15-0 31-16"),
    reg(0x820, 32, RW,     "9-0 31"),
    reg(0x824, 32, RW,     "7-0 15-8"),
    reg(0x828, 32, RW,     "1-0"),
    reg(0x82C, 32, RW,     "31-0"),
    reg(0x830, 32, RW,     "15-0"),
    reg(0x840, 32, RW,     "1-0 2 3"),
    reg(0x844, 32, RW,     "31-0"),
    reg(0x848, 32, RW,     "31-0"),
    reg(0x880, 32, CMD_RO, "3-0 7-4 8 9 10 11 31-16"),
    reg(0x884, 32, CMD_RO, "11-8 15-12 31-16"),
    reg(0x888, 32, CMD_RO, "0 1 2 3 7-4 31-16"),
    reg(0x88C, 32, CMD_RO, "15-0 31-16"),
    reg(0x890, 32, CMD_RO, "15-0 31-16"),
    reg(0x894, 32, CMD_RO, "15-0 31-16"),
    reg(0x8A0, 32, CMD_RO, "3-0 7-4 8 9 10 11 15-12 31-16"),
    reg(0x8A4, 32, CMD_RO, "1 2 3 7-4 11 31-16"),
    reg(0x8A8, 32, CMD_RO, "15-0 31-16"),
    reg(0x8AC, 32, CMD_RO, "15-0 31-16"),
    reg(0x8B0, 32, CMD_RO, "15-0"),
    reg(0x900, 32, RW,     "0"),
    reg(0x910, 32, RW,     "0"),
    reg(0x920, 32, RW,     "0"),
    reg(0x930, 32, RW,     "0"),
    reg(0x904, 32, RW,     "27-0 31-28"),               // first views
    reg(0x914, 32, RW,     "27-0 31-28"),
    reg(0x924, 32, RW,     "27-0 31-28"),
    reg(0x934, 32, RW,     "27-0 31-28"),
    reg(0x904, 32, RW,     "21-12"),                    // second views: the field alone
    reg(0x914, 32, RW,     "21-12"),
    reg(0x924, 32, RW,     "21-12"),
    reg(0x934, 32, RW,     "21-12"),
};
// clang-format on
}  // namespace tables

inline constexpr arm::MapDesc kStreamCircuitMap = arm::mapDesc(
    tables::kStreamCircuit, kTimingMapVersion, "quolinTools/armgen/StreamCircuitRegMap", arm::kFamilyPolicy);

template <uint32_t kOffset>
class tStreamCircuitRegMapWithOffset
    : public arm::MapOf<arm::rowCount(tables::kStreamCircuit), arm::MemorySpaceAccess> {
public:
    explicit tStreamCircuitRegMapWithOffset(arm::MemorySpaceAccess::Accessor* accessor)
        : MapOf(kStreamCircuitMap, accessor) {}

    class tStreamControlStatusReg : public arm::Register {
    public:
        using arm::Register::Register;
        // Fresh reads; both answer true on an incoming error so a poll on them ends at once.
        bool readDataTransferEnable(nKZAPALS100::tStatus& status) { return readField(8, status) != 0; }
        bool readStreamCircuitResetComplete(nKZAPALS100::tStatus& status) { return readField(10, status) != 0; }
    };
    ARM_REGISTER_GETTER(tStreamControlStatusReg, StreamControlStatusReg, tables::kStreamCircuit, 0x800, false)
    ARM_REGISTER(tAdditiveTransferCount, AdditiveTransferCount, tables::kStreamCircuit, 0x810, false)
};

}  // namespace quolintools
