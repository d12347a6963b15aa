#include "board/product.h"

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

BridgeWindow& installProduct(Board& board, const ProductOptions& options) {
    buildPciConfiguration(board, options.pci);
    BridgeWindow& window = installBridgeWindow(board);
    installGeographicAddress(board, window, options.geographicAddress);
    return window;
}

}  // namespace board
