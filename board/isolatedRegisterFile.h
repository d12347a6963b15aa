// The isolated FPGA's register file behind the access ports: 0x2000 words addressed by the 13-bit
// isolated word address. Plain storage, except the words where a write side and a read side share
// an address (the FPGA's configuration and status at 0x08, its occurrence muxes at 0x30-0x39 and
// 0x40, the logger at 0x68-0x6A, and in every channel block its configuration and status, its
// occurrence muxes, event latch, charge balancer and measure-unit control): there a write lands in
// the write side and a read returns the read side, which tests set with `present`. Word 0 reads the
// signature of the image the FPGA was configured with, word 1 the FPGA's revision. A channel
// block's calibration registers also fill the slots their pointers select.
#pragma once

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "board/channelCalibration.h"
#include "board/hostAllocator.h"

namespace board {

class IsolatedSequencers;

class IsolatedRegisterFile {
public:
    static constexpr uint32_t kWords = 0x2000;
    static constexpr uint32_t kSignature = 0x00;
    static constexpr uint32_t kRevision = 0x01;
    static constexpr uint32_t kRevisionValue = 0x00010005;
    static constexpr uint32_t kChannelBlocks = 0x1000;
    static constexpr uint32_t kChannelBlockWords = 0x200;
    static constexpr unsigned kChannelBlockCount = 7;

    IsolatedRegisterFile();

    // The FPGA's answer to an access port; `signature` is what word 0 reads.
    uint32_t read(uint32_t address, uint32_t signature) const;
    void write(uint32_t address, uint32_t value);

    bool split(uint32_t address) const { return split_[address % kWords]; }
    // The word as the board holds it: the write side of a split word.
    uint32_t stored(uint32_t address) const { return written_[address % kWords]; }
    void present(uint32_t address, uint32_t value);
    // The words the sequencer side models answer from it and their writes reach it.
    void attachSequencers(IsolatedSequencers* sequencers) { sequencers_ = sequencers; }

    // A channel block's calibration slots (every write is also stored as a plain word).
    const ChannelCalibration& calibration(unsigned channel) const { return calibration_[channel]; }
    // The common-mode current digipot setting last written.
    static constexpr uint32_t kCmccDigiPot = 0x10;
    // A channel block's DAC word: what the channel's DAC reports back (tests set it).
    static constexpr uint32_t kDirectDac = 0x128;
    void setDacWord(unsigned channel, uint32_t word) {
        written_[(kChannelBlocks + kChannelBlockWords * channel + kDirectDac) % kWords] = word;
    }

    // Called after every write of a channel block's word, with the channel block (0 to 6) and the
    // word's offset within it: the channel functions that act on writes.
    using ChannelWriteHook = std::function<void(unsigned channel, uint32_t offset, uint32_t value)>;
    void addChannelWriteHook(ChannelWriteHook hook) { channelWriteHooks_.push_back(std::move(hook)); }
    // Called at every read of a channel block's word, with the block (0 to 6), the offset and what
    // the read answers so far (the sequencer side has answered): the channel functions that show
    // state of their own there return the word to answer.
    using ChannelReadHook = std::function<uint32_t(unsigned channel, uint32_t offset, uint32_t value)>;
    void addChannelReadHook(ChannelReadHook hook) { channelReadHooks_.push_back(std::move(hook)); }

private:
    std::vector<ChannelWriteHook> channelWriteHooks_;
    std::vector<ChannelReadHook> channelReadHooks_;
    HostVector<uint32_t> written_;
    HostVector<uint32_t> presented_;
    HostVector<bool> split_;
    IsolatedSequencers* sequencers_ = nullptr;
    ChannelCalibration calibration_[kChannelBlockCount];
};

}  // namespace board
