// The bridge's switched bus interface (BAR0 0x600-0x703) and the port registers behind it. A write
// of the control register (0x688) with bit 0 stores the data register (0x68C) in the port register
// that bits 24-31 name; with bit 1 it loads that port register into the data register and sets
// bit 2 (read done) in the control register's read value. Bits 20-23 and 8-10 select the port.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "board/bar0Map.h"
#include "board/board.h"
#include "board/boundedLog.h"
#include "board/hostAllocator.h"

namespace board {

// One port's 256 registers: memory unless a port gives a register a behaviour of its own.
class PortRegisters {
public:
    virtual ~PortRegisters() = default;
    virtual uint32_t read(uint8_t offset) { return words_[offset]; }
    virtual void write(uint8_t offset, uint32_t value) { words_[offset] = value; }
    uint32_t stored(uint8_t offset) const { return words_[offset]; }

private:
    std::array<uint32_t, 256> words_{};
};

// The port that IO port 2 and the isolation port share (selectors 0 and 2). Register 0x00 is IO
// port 2's control and status: bit 0 enables the link, and bit 7 reads set while the link is
// disabled (configured, waiting) and clear once enabled.
class IOPort2Registers final : public PortRegisters {
public:
    // Two read registers of the port, IO port 2's 0x80 and the isolation port's 0x14, read these
    // at reset.
    static constexpr uint8_t kIOPort2Debug0 = 0x80;
    static constexpr uint32_t kIOPort2Debug0AtReset = 0x00DEB080;
    static constexpr uint8_t kIsolationRead14 = 0x14;
    static constexpr uint32_t kIsolationRead14AtReset = 0x150A0014;

    IOPort2Registers() {
        PortRegisters::write(kIOPort2Debug0, kIOPort2Debug0AtReset);
        PortRegisters::write(kIsolationRead14, kIsolationRead14AtReset);
    }
    uint32_t read(uint8_t offset) override {
        const uint32_t value = PortRegisters::read(offset);
        if (offset != 0) return value;
        const bool bit7 = forcedBit7_.value_or((value & 1) == 0);
        return (value & ~0x80u) | (bit7 ? 0x80u : 0);
    }

private:
    friend class SwitchedBusInterface;
    std::optional<bool> forcedBit7_;
};

// The selectors as one key: bits 20-23 and 8-10 of the control word.
constexpr uint32_t portKey(uint32_t high, uint32_t low) { return ((high & 0xF) << 20) | ((low & 0x7) << 8); }

class SwitchedBusInterface : public Region {
public:
    static constexpr uint64_t kControl = 0x88;  // from the block's start (BAR0 0x688)
    static constexpr uint64_t kData = 0x8C;     // BAR0 0x68C
    static constexpr uint32_t kWriteStrobe = 1u << 0;
    static constexpr uint32_t kReadStrobe = 1u << 1;
    static constexpr uint32_t kReadDone = 1u << 2;

    static constexpr uint32_t kIOPort2 = portKey(0, 2);
    // The interface's first register (0x600, read-only) reads this at reset.
    static constexpr uint64_t kIdentification = 0x00;
    static constexpr uint32_t kIdentificationAtReset = 0x00B1C600;

    struct Transaction {
        bool write;
        uint32_t port;
        uint8_t offset;
        uint32_t value;
        bool operator==(const Transaction& o) const {
            return write == o.write && port == o.port && offset == o.offset && value == o.value;
        }
    };

    explicit SwitchedBusInterface(Board& board);

    uint64_t read(uint64_t offset, unsigned width) override;
    void write(uint64_t offset, unsigned width, uint64_t value) override;

    // The IO port 2 / isolation port registers.
    IOPort2Registers& ioPort2() { return ioPort2_; }
    // Another port behind the interface; not owned.
    void attachPort(uint32_t key, PortRegisters& port);

    // Fault knobs. Never ready: a read strobe never reports read done. Forced status bit 7: IO port
    // 2's bit 7 reads this level whatever the enable bit, so an awaited link state never comes.
    void setNeverReady(bool neverReady);
    void forceIOPort2StatusBit7(std::optional<bool> level);
    // The latest kBlockRecordCapacity port accesses the handshakes made, in order. Both take the
    // board's lock.
    std::vector<Transaction> transactions() const;
    void clearTransactions();

private:
    PortRegisters* port(uint32_t control);

    Board& board_;
    IOPort2Registers ioPort2_;
    std::map<uint32_t, PortRegisters*> ports_;
    bool readDone_ = false;
    bool neverReady_ = false;
    BoundedLog<Transaction> transactions_{kBlockRecordCapacity};
};

SwitchedBusInterface& installSwitchedBusInterface(Board& board);

}  // namespace board
