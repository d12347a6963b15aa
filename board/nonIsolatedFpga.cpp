#include "board/nonIsolatedFpga.h"

#include <mutex>

namespace board {

namespace {
constexpr uint64_t kSignature = 0x00;
}

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
    return memory(offset, width);
}

void NonIsolatedFpga::write(uint64_t offset, unsigned width, uint64_t value) {
    if (answers()) setMemory(offset, width, value);
}

NonIsolatedFpga& installNonIsolatedFpga(Board& board, SwitchedBusInterface& bus, FpgaConfigurationPort& port) {
    return board.addRegion<NonIsolatedFpga>(0, bar0::kNonIsolatedFpga, bar0::kNonIsolatedFpgaSize, board, bus, port);
}

}  // namespace board
