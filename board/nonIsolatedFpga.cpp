#include "board/nonIsolatedFpga.h"

#include <mutex>

namespace board {

namespace {
constexpr uint64_t kSignature = 0x00;
}

// The configuration and status (0x010), isolated communication (0x020), the two occurrence muxes
// (0x070, 0x07C), the four TX credit pairs (0x080-0x08C), the command logger (0x1C0), the six access
// ports' data words (0x208 + 0x10 p) and the transformer control (0x2BC).
NonIsolatedFpga::NonIsolatedFpga(Board& board, SwitchedBusInterface& bus, FpgaConfigurationPort& port)
    : RegisterFile(board, {0x010, 0x020, 0x070, 0x07C, 0x080, 0x084, 0x088, 0x08C, 0x1C0, 0x208, 0x218, 0x228,
                           0x238, 0x248, 0x258, 0x2BC}),
      board_(board),
      bus_(bus),
      port_(port) {}

bool NonIsolatedFpga::answers() {
    std::lock_guard<std::recursive_mutex> guard(board_.lock());
    const uint32_t routing = static_cast<uint32_t>(board_.bar(0).load(bar0::kBusRouting, 4));
    return port_.fpga(kNonIsolatedFpga).configured &&
           (bus_.ioPort2().stored(0) & kLinkConfiguredMask) == kLinkConfigured &&
           (routing & kBusRoutingMask) == kBusRoutedToNonIsolatedFpga;
}

uint64_t NonIsolatedFpga::read(uint64_t offset, unsigned width) {
    if (!answers()) return ~uint64_t{0};
    if (offset == kSignature && width == 4) return port_.fpga(kNonIsolatedFpga).signature;
    return RegisterFile::read(offset, width);
}

void NonIsolatedFpga::write(uint64_t offset, unsigned width, uint64_t value) {
    if (answers()) RegisterFile::write(offset, width, value);
}

NonIsolatedFpga& installNonIsolatedFpga(Board& board, SwitchedBusInterface& bus, FpgaConfigurationPort& port) {
    return board.addRegion<NonIsolatedFpga>(0, bar0::kNonIsolatedFpga, bar0::kNonIsolatedFpgaSize, board, bus, port);
}

}  // namespace board
