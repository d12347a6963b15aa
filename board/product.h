// The product's board as it leaves the factory: its PCI identity and configuration space, the
// bridge core, its register window with the SPI engine and the serial flash behind it, the
// switched bus interface, the FPGA configuration port with the non-isolated FPGA behind it, the
// timing block and the chassis geographic address. Later bring-up levels add their blocks to it.
#pragma once

#include <optional>

#include "board/board.h"
#include "board/bridgeCore.h"
#include "board/bridgeWindow.h"
#include "board/dmaEngine.h"
#include "board/flashImage.h"
#include "board/fpgaConfigurationPort.h"
#include "board/geographicAddress.h"
#include "board/nonIsolatedFpga.h"
#include "board/pciConfiguration.h"
#include "board/spiEngine.h"
#include "board/switchedBusInterface.h"
#include "board/timingBlock.h"

namespace board {

constexpr uint16_t kProductVendorId = 0x1A2B;
constexpr uint16_t kProductDeviceId = 0x7C01;
constexpr uint16_t kProductSubsystemVendorId = 0x1A2B;
constexpr uint16_t kProductSubsystemId = 0x7E42;

// Every field a fault knob: a wrong signature or DMA placement in bridgeCore, another window
// register value, a flash image variant (FlashImage's knobs: a spoilt checksum, a version the
// driver cannot read, another oldest compatible board revision).
struct ProductOptions {
    PciOptions pci;
    GeographicAddressOptions geographicAddress;
    BridgeCoreConfig bridgeCore;
    uint32_t windowBase = kDefaultWindowBase;
    // What the window register (0xC0) reads instead of windowBase, while the window stays at
    // windowBase: a register that no longer describes where the window is.
    std::optional<uint32_t> windowRegister;
    // The standard image when none is given.
    std::optional<FlashImage> flash;
    // The configuration port's knobs, and the two FPGAs configured from power-up.
    FpgaPortOptions fpga;
    // The DMA engine's knobs.
    DmaFaults dma;
    // The isolation link's and the access ports' knobs.
    IsolatedSideOptions isolated;
};

// The blocks the product board was built with; they live as long as the board.
struct ProductBlocks {
    BridgeWindow& window;
    TimingBlock& timing;
    SwitchedBusInterface& bus;
    SpiEngine& spi;
    FpgaConfigurationPort& fpgaPort;
    NonIsolatedFpga& nonIsolatedFpga;
    DmaEngine& dma;
    SST25VFFlash& flash() { return spi.flash(); }
};

Identity productIdentity();

// A board built with productIdentity() (or a variant of it) gets its configuration space and
// every block above.
ProductBlocks installProduct(Board& board, const ProductOptions& options = ProductOptions{});

}  // namespace board
