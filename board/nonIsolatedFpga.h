// The non-isolated FPGA's registers in BAR0 (from bar0::kNonIsolatedFpga), 32-bit words. The FPGA
// answers only while it is configured, IO port 2's link is configured (port register 0x00: bit 1
// set, bit 0 clear) and the switched bus interface routes the bus to it (0x680: 2 in bits 8-10, 1
// in bits 20-23); otherwise every read gives all ones and writes are dropped. While it answers,
// offset 0 reads its signature; an offset with a write side and a read side (a configuration
// beside a status, a write-data beside a read-data register) keeps the two words apart: writes land
// in the write word and reads return the read word, which tests set with `present`. Every other
// offset, the measure units and power-monitor windows among them, is one plain word.
#pragma once

#include <cstdint>

#include "board/board.h"
#include "board/fpgaConfigurationPort.h"
#include "board/registerFile.h"
#include "board/switchedBusInterface.h"

namespace board {

constexpr uint32_t kLinkConfiguredMask = 0x3;
constexpr uint32_t kLinkConfigured = 0x2;
constexpr uint32_t kBusRoutingMask = (0x7u << 8) | (0xFu << 20);
constexpr uint32_t kBusRoutedToNonIsolatedFpga = (2u << 8) | (1u << 20);

class NonIsolatedFpga : public RegisterFile {
public:
    NonIsolatedFpga(Board& board, SwitchedBusInterface& bus, FpgaConfigurationPort& port);

    uint64_t read(uint64_t offset, unsigned width) override;
    void write(uint64_t offset, unsigned width, uint64_t value) override;

    // Whether the FPGA answers now.
    bool answers();

private:
    Board& board_;
    SwitchedBusInterface& bus_;
    FpgaConfigurationPort& port_;
};

NonIsolatedFpga& installNonIsolatedFpga(Board& board, SwitchedBusInterface& bus, FpgaConfigurationPort& port);

}  // namespace board
