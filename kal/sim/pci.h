// Boards plugged into the simulated PCI bus, as the kernel layer presents them to the driver.
#pragma once

#include "board/board.h"
#include "board/topology.h"
#include "kzkal/pci.h"

namespace kal::sim {

// One PCI function: the kernel layer's record (whose PCI handle points back here) over a board.
struct PciFunction {
    board::Board* board = nullptr;
    nKZKAL200_tPCIDevice record{};
    // Legacy interrupt of the record before MSI replaced it.
    uint32_t legacyInterrupt = 0;
    // The DMA mask pciSetDMAMask granted last; a kernel starts a function at 32 bits.
    uint64_t dmaMask = 0xFFFFFFFFull;
};

// Attaches the board's BARs, hands it the host-memory port and builds its record from the board's
// identity. The function lives until unplugged; the board must outlive it.
PciFunction& plugBoard(board::Board& board);
void unplugBoard(PciFunction& function);

// The bridges the bus enumeration reports (empty by default).
void setPciTopology(const board::PciTopology& topology);

}  // namespace kal::sim
