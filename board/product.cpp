#include "board/product.h"

#include "board/streamCircuit.h"

namespace board {

Identity productIdentity() {
    Identity id;
    id.vendorId = kProductVendorId;
    id.deviceId = kProductDeviceId;
    id.subsystemVendorId = kProductSubsystemVendorId;
    id.subsystemId = kProductSubsystemId;
    id.revision = 1;
    id.bus = 4;
    id.interruptLine = 10;
    return id;
}

ProductBlocks installProduct(Board& board, const ProductOptions& options) {
    buildPciConfiguration(board, options.pci);
    if (options.dma32Only) board.platform().dma64Accepted = false;
    SwitchedBusInterface& bus = installSwitchedBusInterface(board);
    // The configuration port lies in the core's range: in place before the core's registers.
    FpgaConfigurationPort& fpgaPort = installFpgaConfigurationPort(board, bus, options.fpga);
    installBridgeCore(board, options.bridgeCore);
    BridgeWindow& window = installBridgeWindow(board, options.windowBase);
    installGeographicAddress(board, window, options.geographicAddress);
    if (options.windowRegister.has_value()) board.bar(0).store(kWindowBaseRegister, 4, *options.windowRegister);
    TimingBlock& timing = installTimingBlock(board);
    // The caller's image is not copied: boards are built by the hundred in some tests.
    std::optional<FlashImage> standard;
    const FlashImage& image = options.flash.has_value() ? *options.flash : standard.emplace(FlashImage::standard());
    SpiEngine& spi = installSpiEngine(board, window, timing, image.share());
    NonIsolatedFpga& nonIsolatedFpga = installNonIsolatedFpga(board, bus, fpgaPort, options.isolated);
    fpgaPort.attachIsolatedLink(&nonIsolatedFpga.isolatedLink());
    DmaEngine& dma = *findDmaEngine(board);
    dma.faults() = options.dma;
    for (unsigned i = 0; i < kDmaStreamCount; ++i) installStreamCircuit(board, i);
    if (options.fpga.configuredAtStart.has_value()) {
        bus.ioPort2().write(0, kLinkConfigured);
        board.bar(0).store(bar0::kBusRouting, 4, kBusRoutedToNonIsolatedFpga);
        nonIsolatedFpga.isolatedLink().establish();
    }
    return ProductBlocks{window, timing, bus, spi, fpgaPort, nonIsolatedFpga, dma};
}

}  // namespace board
