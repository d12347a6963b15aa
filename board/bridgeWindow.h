// The bridge's configuration window in BAR0. Register 0xC0 holds the window base: the window
// lies at BAR0 + (value & ~0xFF) and spans 1 << (value & 0x1F) bytes; bit 7 opens it onto the
// bridge's own register space. Register 0xE0 selects the part of that space the window shows.
// While bit 7 is set, an access at window + x reaches bridge register (0xE0 | x); while it is
// clear, the window belongs to the data port (the serial flash transfers), plain memory until
// a data port is attached.
#pragma once

#include <cstdint>
#include <map>
#include <memory>

#include "board/board.h"
#include "board/hostAllocator.h"

namespace board {

constexpr uint64_t kWindowBaseRegister = 0xC0;
constexpr uint64_t kWindowSelectRegister = 0xE0;
constexpr uint32_t kWindowOpen = 0x80;
constexpr uint32_t kDefaultWindowBase = 0x0000400C;  // BAR0 + 0x4000, 4 KiB

// The bridge's register space behind the window: 32-bit words, 0 where nothing is stored.
class BridgeSpace {
public:
    uint32_t read(uint32_t address) const;
    void write(uint32_t address, uint32_t value) { words_[address & ~3u] = value; }

private:
    HostMap<uint32_t, uint32_t> words_;
};

class BridgeWindow : public Region {
public:
    explicit BridgeWindow(Board& board) : board_(board) {}

    uint64_t read(uint64_t offset, unsigned width) override;
    void write(uint64_t offset, unsigned width, uint64_t value) override;

    BridgeSpace& space() { return space_; }
    // Receives window accesses while the window is not open onto the bridge space.
    void setDataPort(Region* port) { dataPort_ = port; }
    // The same, for a port the window keeps.
    void adoptDataPort(std::unique_ptr<Region> port) {
        ownedDataPort_ = std::move(port);
        dataPort_ = ownedDataPort_.get();
    }

private:
    bool open() const;
    uint32_t address(uint64_t offset) const;

    Board& board_;
    BridgeSpace space_;
    Region* dataPort_ = nullptr;
    std::unique_ptr<Region> ownedDataPort_;
};

// Stores the window base and maps the window where it points.
BridgeWindow& installBridgeWindow(Board& board, uint32_t windowBase = kDefaultWindowBase);

}  // namespace board
