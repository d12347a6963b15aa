// The non-isolated FPGA's registers in BAR0 (from bar0::kNonIsolatedFpga). The FPGA answers only
// while it is configured, IO port 2's link is configured (port register 0x00: bit 1 set, bit 0
// clear) and the switched bus interface routes the bus to it (0x680: 2 in bits 8-10, 1 in bits
// 20-23). Then offset 0 reads its signature and the other offsets behave as memory; otherwise
// every read gives all ones and writes are dropped.
#pragma once

#include <cstdint>

#include "board/board.h"
#include "board/fpgaConfigurationPort.h"
#include "board/switchedBusInterface.h"

namespace board {

constexpr uint32_t kLinkConfiguredMask = 0x3;
constexpr uint32_t kLinkConfigured = 0x2;
constexpr uint32_t kBusRoutingMask = (0x7u << 8) | (0xFu << 20);
constexpr uint32_t kBusRoutedToNonIsolatedFpga = (2u << 8) | (1u << 20);

class NonIsolatedFpga : public Region {
public:
    NonIsolatedFpga(Board& board, SwitchedBusInterface& bus, FpgaConfigurationPort& port)
        : board_(board), bus_(bus), port_(port) {}

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
