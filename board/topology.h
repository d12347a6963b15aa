// The PCI bridges between the root and the boards, in the order the bus enumeration reports them.
#pragma once

#include <cstdint>
#include <vector>

namespace board {

struct PciBridge {
    uint16_t domain;
    uint16_t primaryBus;
    uint16_t device;
    uint16_t function;
    uint16_t secondaryBus;
    uint16_t subordinateBus;
};

using PciTopology = std::vector<PciBridge>;

}  // namespace board
