#include "board/bridgeWindow.h"

#include "board/bridgeCore.h"

namespace board {

uint32_t BridgeSpace::read(uint32_t address) const {
    auto it = words_.find(address & ~3u);
    uint32_t word = it == words_.end() ? 0 : it->second;
    return word >> (8 * (address & 3));
}

bool BridgeWindow::open() const { return (board_.bar(0).load(kWindowBaseRegister, 4) & kWindowOpen) != 0; }

uint32_t BridgeWindow::address(uint64_t offset) const {
    return static_cast<uint32_t>(board_.bar(0).load(kWindowSelectRegister, 4)) | static_cast<uint32_t>(offset);
}

uint64_t BridgeWindow::read(uint64_t offset, unsigned width) {
    if (open()) return space_.read(address(offset));
    if (dataPort_ != nullptr) return dataPort_->read(offset, width);
    return memory(offset, width);
}

void BridgeWindow::write(uint64_t offset, unsigned width, uint64_t value) {
    if (open()) {
        if (width == 4) space_.write(address(offset), static_cast<uint32_t>(value));
        return;
    }
    if (dataPort_ != nullptr)
        dataPort_->write(offset, width, value);
    else
        setMemory(offset, width, value);
}

BridgeWindow& installBridgeWindow(Board& board, uint32_t windowBase) {
    installBridgeCoreRegisters(board);
    board.bar(0).store(kWindowBaseRegister, 4, windowBase);
    return board.addRegion<BridgeWindow>(0, windowBase & ~0xFFu, uint64_t{1} << (windowBase & 0x1F), board);
}

}  // namespace board
