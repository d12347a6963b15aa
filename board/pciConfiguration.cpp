#include "board/pciConfiguration.h"

namespace board {

namespace {

constexpr uint16_t kStatusCapabilityList = 0x0010;
constexpr uint16_t kFallbackProbeValue = 0x5A5A;

void capability(Board& board, uint32_t at, uint8_t id, uint32_t next) {
    board.configStore(at, 1, id);
    board.configStore(at + 1, 1, next);
}

uint16_t linkWord(uint8_t speed, uint8_t width) {
    return static_cast<uint16_t>((speed & 0xF) | ((width & 0x3F) << 4));
}

}  // namespace

void buildPciConfiguration(Board& board, const PciOptions& options) {
    const bool linked = options.list != PciOptions::List::None;
    board.configStore(0x06, 2, linked ? kStatusCapabilityList : 0);
    board.configStore(0x34, 1, linked ? kPowerManagementCapability : 0);
    capability(board, kPowerManagementCapability, 0x01, kMsiCapability);
    capability(board, kMsiCapability, 0x05,
               options.list == PciOptions::List::Cyclic ? kPowerManagementCapability : kPcieCapability);
    capability(board, kPcieCapability, 0x10, 0);
    board.configStore(kPcieCapability + 0x0C, 2, linkWord(options.maxLinkSpeed, options.maxLinkWidth));
    board.configStore(kPcieCapability + 0x12, 2, linkWord(options.linkSpeed, options.linkWidth));
    board.configStore(0x0F, 1, 0);

    const bool probe = options.fallbackProbe;
    board.setConfigWriteHandler([probe](Board& b, uint32_t offset, unsigned width, uint64_t value) {
        if (probe && offset == 0x00 && width == 2 && value == kFallbackProbeValue)
            b.configStore(0x0F, 1, kPcieCapability / 4);
        b.defaultConfigWrite(offset, width, value);
    });
}

}  // namespace board
