// The bridge's DMA engine: the interrupt block of the core (0x5C-0x6B, the engine's own region),
// the eight DMA channel blocks where the core places them, and the behaviour of the eight stream
// circuits. Channel i serves stream i.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>

#include "board/board.h"
#include "board/bridgeCore.h"
#include "board/linkWalker.h"
#include "board/streamCircuit.h"

namespace board {

constexpr unsigned kDmaStreamCount = bar0::kDmaChannelCount;

// Channel block registers and values.
namespace dmaChannel {
constexpr uint64_t kLinkAddress = 0x48;
constexpr uint64_t kLinkLength = 0x50;
constexpr uint64_t kControl = 0x54;
constexpr uint64_t kCommand = 0x58;
constexpr uint64_t kStatus = kDmaChannelStatus;
constexpr uint64_t kNotificationPosition = 0x90;
constexpr uint64_t kTransferCount = 0xA0;
constexpr uint32_t kCommandStart = 1;
constexpr uint32_t kCommandStartLinked = 5;
constexpr uint32_t kCommandStop = 2;
constexpr uint32_t kCommandLoadPosition = 0x2000000;
constexpr uint32_t kControlResetBegin = 1;
constexpr uint32_t kControlResetEnd = 2;
constexpr uint32_t kControlNotify = 1u << 25;
constexpr uint32_t kStatusRunning = 0x4000;
constexpr uint32_t kStatusStopped = 0x8000;
constexpr uint32_t kStatusFault = 1u << 26;
}  // namespace dmaChannel

// The core's interrupt block.
namespace interruptBlock {
constexpr uint64_t kBase = 0x5C;
constexpr uint64_t kSize = 0x10;
constexpr uint64_t kControl = 0x5C;
constexpr uint64_t kStatus = 0x60;
constexpr uint64_t kQueue = 0x68;
constexpr uint32_t kEnabled = 0x80000000;  // control pair 31/30
constexpr uint32_t kPending = 0x80000000;  // status
constexpr uint32_t kMoreQueued = 0x40000000;
constexpr uint32_t kQueueEmpty = 0xFFFFFFFF;
constexpr uint32_t kNotificationEntry = 0x10000000;
// Control bit 0 in ring mode: set by the host when it has read the ring (the ring is armed), cleared
// by the bridge when it has written status words into it.
constexpr uint32_t kRingArmed = 1;
}  // namespace interruptBlock

// The interrupt status ring: instead of the queue register, the bridge writes its queue entries as
// 32-bit status words into a ring in host memory, from word 0, bit 30 set on every word but the
// last, and clears the armed bit; entries that come while the ring is not armed, or that do not
// fit, wait for the next arming. Ring control (0x3B4): bit 16 on (the address at 0x3B8 is taken
// then), bits 10-15 the ring's length in words, bits 0-9 the bytes of the buffer after the ring.
namespace statusRing {
constexpr uint64_t kBase = 0x3B4;
constexpr uint64_t kSize = 0x4C;  // to 0x3FF: control, address and the eight words from 0x3C0
constexpr uint64_t kControl = 0x3B4;
constexpr uint64_t kAddress = 0x3B8;
constexpr uint32_t kOn = 1u << 16;
constexpr unsigned kWordsShift = 10;
constexpr uint32_t kWordsMask = 0x3F;
}  // namespace statusRing

// Stream circuit control/status (page offset 0x800) values.
namespace streamCircuit {
constexpr uint32_t kReset = 4;
constexpr uint32_t kModeMask = 3;
constexpr uint32_t kEnable = 0x100;
constexpr uint32_t kStopA = 0x200;
constexpr uint32_t kStopB = 0x800;
constexpr uint32_t kTransferEnabled = 1u << 8;
constexpr uint32_t kResetComplete = 1u << 10;
}  // namespace streamCircuit

// Fault knobs, one bit per stream, and the board-wide ones.
struct DmaFaults {
    uint32_t neverRuns = 0;             // a start command leaves the channel as it was
    uint32_t neverStops = 0;            // a stop command leaves a running channel running
    uint32_t circuitNeverEnables = 0;   // 0x100 does not set bit 8
    uint32_t circuitNeverResets = 0;    // a stop never sets reset complete
    uint32_t circuitDropsEnable = 0;    // bit 8 clears by itself right after it is set
    bool deviceRemoved = false;         // interrupt status and queue read all ones; no ring writes
    std::optional<uint32_t> interruptStatus;  // what the interrupt status reads instead (a test hook)

    static bool has(uint32_t set, unsigned stream) { return (set >> stream) & 1u; }
};

// What an even stream writes into host memory at each byte position of the stream.
constexpr uint8_t dmaPatternByte(unsigned stream, uint64_t position) {
    return uint8_t((position * 13 + (position >> 8) + stream * 0x41) & 0xFF);
}

class DmaEngine;

// The status ring's registers: plain memory, the control writes handed to the engine.
class StatusRingBlock : public Region {
public:
    explicit StatusRingBlock(DmaEngine& engine) : engine_(engine) {}
    uint64_t read(uint64_t offset, unsigned width) override { return memory(offset, width); }
    void write(uint64_t offset, unsigned width, uint64_t value) override;

private:
    friend class DmaEngine;
    DmaEngine& engine_;
};

// One channel block: plain memory that the engine keeps current, with the command and control
// writes handed to the engine.
class DmaChannelBlock : public Region {
public:
    DmaChannelBlock(DmaEngine& engine, unsigned index) : engine_(engine), index_(index) {}
    uint64_t read(uint64_t offset, unsigned width) override { return memory(offset, width); }
    void write(uint64_t offset, unsigned width, uint64_t value) override;

private:
    friend class DmaEngine;
    DmaEngine& engine_;
    unsigned index_;
};

class DmaEngine : public Region {
public:
    struct Channel {
        DmaChannelBlock* block = nullptr;
        StreamCircuit* circuit = nullptr;
        bool running = false;
        uint32_t status = 0;
        uint64_t linkAddress = 0;
        uint32_t linkLength = 0;
        uint64_t count = 0;
        bool armed = false;
        uint64_t position = 0;
        bool resetBegun = false;
    };

    // The status ring as the engine holds it.
    struct Ring {
        bool offered = false;  // the bridge has the ring's registers
        bool on = false;
        uint64_t address = 0;
        uint32_t words = 0;
        bool posted = false;  // words written that the host has not yet taken
        uint64_t posts = 0;
        uint64_t wordsWritten = 0;
    };

    explicit DmaEngine(Board& board) : board_(board) {}

    // The interrupt block's registers.
    uint64_t read(uint64_t offset, unsigned width) override;
    void write(uint64_t offset, unsigned width, uint64_t value) override;

    // Called when the line rises (legacy) or once per message (MSI), under the board's lock: the
    // sink must not wait.
    using InterruptSink = std::function<void()>;
    void setInterruptSink(InterruptSink sink);

    // Queues an entry as a source of the bridge would (also a test hook).
    void queue(uint32_t entry);

    DmaFaults& faults() { return faults_; }
    // The FPGA's credit gate of a stream: open on a board without the FPGA that drives it.
    void setCreditGate(unsigned stream, bool open);
    bool creditGateOpen(unsigned stream) const;
    // Snapshots under the board's lock.
    Channel channel(unsigned index) const;
    bool interruptEnabled() const;
    uint32_t interruptControl() const;
    size_t queueDepth() const;
    uint64_t entriesQueued() const;
    uint64_t interruptsSent() const;
    Ring ring() const;

    // What a channel block hands over: its 32-bit writes.
    void channelWritten(unsigned index, uint64_t offset, uint64_t value);

    // Moves at most `bytes` bytes on the stream while its channel runs, its circuit is enabled,
    // credits remain and the FPGA's credit gate is open; returns the bytes moved. Even streams
    // write the pattern into host memory, odd streams read host memory into their sink. The end of
    // a finite list stops the channel; a DMA fault stops it with the fault bit.
    uint64_t pump(unsigned stream, uint64_t bytes);
    // What an odd stream has read so far.
    HostVector<uint8_t> sink(unsigned stream) const;
    uint64_t dmaFaults() const;

    void attachChannel(unsigned index, DmaChannelBlock& block);
    void attachCircuit(unsigned index, StreamCircuit& circuit);
    void attachStatusRing(StatusRingBlock& block);
    // The ring control register's writes.
    void ringControlWritten(uint32_t value);

private:
    void publish(unsigned index);
    void checkNotification(unsigned index);
    void stop(unsigned index, uint32_t status);
    bool msi() const;
    bool lineAsserted() const;
    void deliver();
    // Writes waiting entries into an armed ring; true when it did.
    bool postToRing();
    bool nextEntry(unsigned index);
    bool moveBytes(unsigned index, uint64_t chunk);

    // Where a channel's walk stands.
    struct Walk {
        std::optional<LinkWalker> walker;
        bool haveEntry = false;
        LinkEntry entry{};
        uint64_t doneInEntry = 0;
    };

    Board& board_;
    DmaFaults faults_;
    Channel channels_[kDmaStreamCount];
    Walk walks_[kDmaStreamCount];
    HostVector<uint8_t> sinks_[kDmaStreamCount];
    HostVector<uint8_t> buffer_;
    uint64_t dmaFaults_ = 0;
    uint32_t creditGatesClosed_ = 0;
    uint32_t control_ = 0;
    std::deque<uint32_t, HostAllocator<uint32_t>> queue_;
    uint64_t entriesQueued_ = 0;
    uint64_t interruptsSent_ = 0;
    InterruptSink sink_;
    StatusRingBlock* ringBlock_ = nullptr;
    Ring ring_;
};

// The engine of a board whose bridge core is installed (installBridgeCoreRegisters puts it over the
// interrupt block); null otherwise.
DmaEngine* findDmaEngine(Board& board);

}  // namespace board
