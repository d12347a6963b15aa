// The product's board as it leaves the factory: its PCI identity and configuration space, the
// bridge's register window and the chassis geographic address. Later bring-up levels add their
// blocks to it.
#pragma once

#include "board/board.h"
#include "board/bridgeWindow.h"
#include "board/geographicAddress.h"
#include "board/pciConfiguration.h"

namespace board {

constexpr uint16_t kProductVendorId = 0x1A2B;
constexpr uint16_t kProductDeviceId = 0x7C01;
constexpr uint16_t kProductSubsystemVendorId = 0x1A2B;
constexpr uint16_t kProductSubsystemId = 0x7E42;

struct ProductOptions {
    PciOptions pci;
    GeographicAddressOptions geographicAddress;
};

Identity productIdentity();

// A board built with productIdentity() (or a variant of it) gets its configuration space, the
// bridge window and the geographic-address capability.
BridgeWindow& installProduct(Board& board, const ProductOptions& options = ProductOptions{});

}  // namespace board
