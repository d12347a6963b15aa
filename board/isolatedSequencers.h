// The isolated FPGA's sequencer side: the local RAM of 65,536 words that the four channel
// sequencers share, each channel's software-interrupt lines, the external PLL's shift register and
// the reference-temperature sensor. The isolated register file hands it the words it models: it
// sees every write after the file stored it and may answer a read in the file's place. It does not
// lock; the board's lock covers it.
//
// Local RAM: a write of 0x50 stores the two data words {0x52 high, 0x53 low} at that address; a
// write of 0x51 makes that address's word readable at 0x52 and 0x53.
// A channel: a write of 0x49 latches vector[line] from 0x4A with code[line] (line = bits 0-2); a
// write of 0x44 with bit 16 + L (L = 0 to 4) raises line L: the line latches, the channel turns
// busy (status bit 0), the sequencer takes the id from the tag word at vector[L] and records a run.
// The run completes once its id's duration has passed, seen at the next read of the channel's
// status or interrupt mux; completion clears latch and busy and calls the id's effect.
// PLL: iso 8 bit 8 (shift busy) for a while after each write of iso 9; bit 9 (locked) once the four
// latches arrived in the order 3, 2, 0, 1 of the words' low two bits.
// Temperature: iso 6 bit 18 takes the configuration, bit 23 starts the sensor; from then the
// non-isolated reference reading is valid.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <vector>

#include "board/boundedLog.h"
#include "board/hostAllocator.h"

namespace board {

struct SequencerChannelOptions {
    // A line that stays latched after its run, when set.
    std::optional<unsigned> lineStuckLatched;
    bool busyStuck = false;
    // Status bit 26.
    bool compliance = false;
};

struct IsolatedSequencerOptions {
    std::array<SequencerChannelOptions, 4> channels;
    // How long a subroutine runs, by id; 0 (the default) completes before the next status read.
    std::map<uint32_t, uint64_t> durationUs;
    // A raised line whose vector was never programmed, or points at an untagged word, sets the
    // channel's fault bit (25) and the channel stays busy.
    bool strict = false;
    // How long the PLL's shift register stays busy after a word.
    uint64_t pllBusyUs = 0;
    bool pllNeverLocks = false;
    bool pllStuckBusy = false;
    // The readings never report valid.
    bool vrefNeverValid = false;
    bool nisoTemperatureNeverValid = false;
};

struct SequencerRun {
    unsigned channel;
    unsigned line;
    uint32_t address;
    // The tag's id; none for an untagged start word.
    std::optional<uint32_t> id;
    bool operator==(const SequencerRun& o) const {
        return channel == o.channel && line == o.line && address == o.address && id == o.id;
    }
};

class IsolatedSequencers {
public:
    static constexpr uint32_t kLocalRamWords = 65536;
    static constexpr unsigned kChannels = 4;
    static constexpr unsigned kLines = 5;
    // Isolated word addresses.
    static constexpr uint32_t kTemperatureConfig = 0x06;
    static constexpr uint32_t kFpgaStatus = 0x08;
    static constexpr uint32_t kPllShift = 0x09;
    static constexpr uint32_t kLocalRamWriteAddress = 0x50;
    static constexpr uint32_t kLocalRamReadAddress = 0x51;
    static constexpr uint32_t kLocalRamHigh = 0x52;
    static constexpr uint32_t kLocalRamLow = 0x53;
    static constexpr uint32_t kChannelBlocks = 0x1000;
    static constexpr uint32_t kChannelBlockWords = 0x200;
    // Channel offsets.
    static constexpr uint32_t kChannelStatus = 0x00;
    static constexpr uint32_t kInterruptMux = 0x2A;
    static constexpr uint32_t kRaise = 0x44;
    static constexpr uint32_t kLineConfig = 0x49;
    static constexpr uint32_t kLineAddress = 0x4A;
    // Subroutines with an effect of their own on the board.
    static constexpr uint32_t kShutdownId = 0x3C54F050;
    static constexpr uint32_t kUngangId = 0xA8F0871B;

    using Effect = std::function<void(unsigned channel)>;
    // The channel interrupt mux's latch of a line's position (the mux model's hook); called with
    // true when the line is raised and false when its run completes.
    using LatchHook = std::function<void(unsigned channel, unsigned line, bool latched)>;

    // Time stands at 0 until a time source is given.
    explicit IsolatedSequencers(IsolatedSequencerOptions options, std::function<uint64_t()> nowUs = nullptr);
    void setTimeSource(std::function<uint64_t()> nowUs) { nowUs_ = std::move(nowUs); }

    // After the register file stored `value` at `address`.
    void write(uint32_t address, uint32_t value);
    // The answer for a word the model owns: what the file answers there (`stored`) with the
    // model's bits added; none for the others.
    std::optional<uint32_t> read(uint32_t address, uint32_t stored);
    // Bit 15 of the non-isolated FPGA's reference (0x818) and FPGA (0x820) readings.
    bool vrefValid() const { return sensorStarted_ && !options_.vrefNeverValid; }
    bool nisoTemperatureValid() const { return !options_.nisoTemperatureNeverValid; }
    // The isolated FPGA was configured again: the PLL's latches start over.
    void reset();

    // Later blocks add theirs; the defaults mark a shutdown and record an ungang.
    void setEffect(uint32_t id, Effect effect) { effects_[id] = std::move(effect); }
    void setLatchHook(LatchHook hook) { latchHook_ = std::move(hook); }

    IsolatedSequencerOptions& options() { return options_; }
    // A line the channel's hardware raises by itself, as the error interrupt raises line 1: it runs
    // as a raise through the channel's registers does.
    void raiseLine(unsigned channel, unsigned line) {
        if (channel < channels_.size() && line < kLines) raise(channel, line);
    }
    const ZeroedHostVector<uint64_t>& localRam() const { return ram_; }
    ZeroedHostVector<uint64_t>& localRam() { return ram_; }
    // The latest kBlockRecordCapacity runs, oldest first.
    std::vector<SequencerRun> runs() const { return runs_.entries(); }
    struct ChannelView {
        std::array<std::optional<uint32_t>, kLines> vectors;
        std::array<uint32_t, kLines> codes;
        std::array<bool, kLines> latched;
        bool busy;
        bool fault;
        bool shutDown;
        unsigned ungangs;
    };
    ChannelView channel(unsigned c) const;
    // The latest kBlockRecordCapacity PLL words in the order they arrived, and writes made while it
    // was busy.
    std::vector<uint32_t> pllWords() const { return pllWords_.entries(); }
    unsigned pllWritesWhileBusy() const { return pllWritesWhileBusy_; }
    bool pllLocked() const;

private:
    struct Channel {
        std::array<std::optional<uint32_t>, kLines> vectors{};
        std::array<uint32_t, kLines> codes{};
        std::array<bool, kLines> latched{};
        // The last word written to the line address register.
        uint32_t address = 0;
        bool busy = false;
        bool fault = false;
        bool shutDown = false;
        unsigned ungangs = 0;
        unsigned selected = 0;
        // The line running and when it completes.
        std::optional<unsigned> running;
        uint64_t doneAtUs = 0;
        std::optional<uint32_t> runningId;
    };

    void raise(unsigned c, unsigned line);
    void complete(unsigned c);
    void channelWrite(unsigned c, uint32_t offset, uint32_t value);
    std::optional<uint32_t> channelRead(unsigned c, uint32_t offset, uint32_t stored);
    uint64_t now() const { return nowUs_ ? nowUs_() : 0; }

    IsolatedSequencerOptions options_;
    std::function<uint64_t()> nowUs_;
    // Recorded while the driver runs: kept out of the system's allocator.
    // 512 KiB of which a bring-up writes a few pages: zero filled by the host, as touched.
    ZeroedHostVector<uint64_t> ram_;
    uint32_t high_ = 0;
    uint32_t low_ = 0;
    std::array<Channel, kChannels> channels_;
    BoundedLog<SequencerRun> runs_{kBlockRecordCapacity};
    HostMap<uint32_t, Effect> effects_;
    LatchHook latchHook_;
    BoundedLog<uint32_t> pllWords_{kBlockRecordCapacity};
    uint64_t pllBusyUntilUs_ = 0;
    bool pllWritten_ = false;
    unsigned pllWritesWhileBusy_ = 0;
    bool sensorConfigured_ = false;
    bool sensorStarted_ = false;
};

}  // namespace board
