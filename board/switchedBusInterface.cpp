#include "board/switchedBusInterface.h"

#include <mutex>

namespace board {

SwitchedBusInterface::SwitchedBusInterface(Board& board) : board_(board) { ports_[kIOPort2] = &ioPort2_; }

void SwitchedBusInterface::attachPort(uint32_t key, PortRegisters& port) {
    std::lock_guard<BoardLock> guard(board_.lock());
    ports_[key] = &port;
}

PortRegisters* SwitchedBusInterface::port(uint32_t control) {
    auto it = ports_.find(control & portKey(0xF, 0x7));
    return it == ports_.end() ? nullptr : it->second;
}

uint64_t SwitchedBusInterface::read(uint64_t offset, unsigned width) {
    const uint64_t value = memory(offset, width);
    if (offset == kControl && width == 4) return value | (readDone_ ? kReadDone : 0);
    return value;
}

void SwitchedBusInterface::write(uint64_t offset, unsigned width, uint64_t value) {
    if (offset != kControl || width != 4) return setMemory(offset, width, value);
    const uint32_t control = static_cast<uint32_t>(value);
    const uint8_t target = static_cast<uint8_t>(control >> 24);
    const uint32_t key = control & portKey(0xF, 0x7);
    PortRegisters* selected = port(control);
    readDone_ = false;
    // The strobes act once; the rest of the word stays readable.
    setMemory(kControl, 4, control & ~(kWriteStrobe | kReadStrobe | kReadDone));
    if ((control & kWriteStrobe) != 0 && selected != nullptr) {
        const uint32_t data = static_cast<uint32_t>(memory(kData, 4));
        selected->write(target, data);
        transactions_.push({true, key, target, data});
    }
    // An unselected port never answers.
    if ((control & kReadStrobe) != 0 && selected != nullptr) {
        const uint32_t data = selected->read(target);
        setMemory(kData, 4, data);
        transactions_.push({false, key, target, data});
        readDone_ = !neverReady_;
    }
}

void SwitchedBusInterface::setNeverReady(bool neverReady) {
    std::lock_guard<BoardLock> guard(board_.lock());
    neverReady_ = neverReady;
}

void SwitchedBusInterface::forceIOPort2StatusBit7(std::optional<bool> level) {
    std::lock_guard<BoardLock> guard(board_.lock());
    ioPort2_.forcedBit7_ = level;
}

std::vector<SwitchedBusInterface::Transaction> SwitchedBusInterface::transactions() const {
    std::lock_guard<BoardLock> guard(board_.lock());
    return transactions_.entries();
}

void SwitchedBusInterface::clearTransactions() {
    std::lock_guard<BoardLock> guard(board_.lock());
    transactions_.clear();
}

SwitchedBusInterface& installSwitchedBusInterface(Board& board) {
    std::lock_guard<BoardLock> guard(board.lock());
    SwitchedBusInterface& bus = board.addRegion<SwitchedBusInterface>(0, bar0::kSwitchedBusInterface,
                                                                      bar0::kSwitchedBusInterfaceSize, board);
    board.bar(0).store(bar0::kSwitchedBusInterface + SwitchedBusInterface::kIdentification, 4,
                       SwitchedBusInterface::kIdentificationAtReset);
    return bus;
}

}  // namespace board
