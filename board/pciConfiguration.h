// The function's capability list in configuration space: power management, MSI and PCI Express
// (link capabilities and status), with the variants the driver must survive.
#pragma once

#include <cstdint>

#include "board/board.h"

namespace board {

constexpr uint32_t kPowerManagementCapability = 0x40;
constexpr uint32_t kMsiCapability = 0x50;
constexpr uint32_t kPcieCapability = 0x60;

struct PciOptions {
    enum class List {
        Normal,  // status bit 4 set; 0x34 -> power management -> MSI -> PCI Express
        None,    // status bit 4 clear, 0x34 = 0
        Cyclic,  // power management -> MSI -> power management ..., PCI Express not linked
    };
    List list = List::Normal;
    // Without a usable list, the 16-bit write of 0x5A5A to offset 0 makes the byte at 0x0F
    // read the PCI Express capability's offset / 4; otherwise that byte reads 0.
    bool fallbackProbe = false;
    uint8_t maxLinkSpeed = 2;
    uint8_t maxLinkWidth = 4;
    uint8_t linkSpeed = 2;
    uint8_t linkWidth = 4;
};

void buildPciConfiguration(Board& board, const PciOptions& options = PciOptions{});

}  // namespace board
