// The isolation link of the non-isolated FPGA and its six isolated register access ports.
//
// The link (offset 0x020): a write of bits 1-0 commands the isolation-communication state that
// status bits 1-0 report (entering state 1 drops the DC bus), bit 8 requests the DC-bus start-up
// that status bit 8 reports. The link is up once the isolated FPGA is configured, the state is 2
// and the DC bus has started.
//
// Access port p (offset 0x200 + 0x10 p): +0 status (bit 17 ready for a new access, bit 16 read
// response, bit 31 access fault), +4 address (bits 12-0 the isolated word address, bit 16 set for
// a read; its write starts the access), +8 write data on the write side and read data on the read
// side. A port is ready only while the link is up. A write stores the latched data word at the
// address; a read clears bit 16 at the address write and sets it with the value. A data or
// address write while the port is not ready is a protocol violation: counted and dropped.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "board/boundedLog.h"
#include "board/hostAllocator.h"
#include "board/isolatedOccurrence.h"
#include "board/isolatedRegisterFile.h"
#include "board/isolatedSequencers.h"

namespace board {

struct AccessPortKnobs {
    unsigned latency = 0;        // status reads after an access until ready again, or until the response
    bool neverReady = false;
    bool neverResponds = false;  // a read's response never arrives
    bool fault = false;          // bit 31 on every status read
    unsigned faultReads = 0;     // bit 31 on the next this many status reads
};

struct IsolatedSideOptions {
    std::optional<unsigned> isoCommNever;  // the state (1 or 2) a command never reaches
    bool dcBusNeverStarts = false;
    bool portsReadyWithoutLink = false;    // a test option: ports ready whatever the link's state
    std::array<AccessPortKnobs, 6> ports{};
    // The sequencers', the external PLL's and the temperature sensor's knobs.
    IsolatedSequencerOptions sequencers;
};

struct PortAccess {
    unsigned port;
    bool write;
    uint32_t address;  // isolated word address
    uint32_t value;
    bool operator==(const PortAccess& o) const {
        return port == o.port && write == o.write && address == o.address && value == o.value;
    }
};

// Every call is made under the board's lock.
class IsolatedLink {
public:
    static constexpr unsigned kPortCount = 6;
    static constexpr uint64_t kIsoComm = 0x020;
    static constexpr uint64_t kPorts = 0x200;
    static constexpr uint64_t kPortStride = 0x10;
    static constexpr size_t kLogCapacity = kAccessLogCapacity;

    explicit IsolatedLink(const IsolatedSideOptions& options) : options_(options), sequencers_(options.sequencers) {
        registers_.attachSequencers(&sequencers_);
        // A channel's software-interrupt lines latch on its interrupt mux, line L at position L,
        // which answers the mux's reads.
        sequencers_.setLatchHook([this](unsigned channel, unsigned line, bool latched) {
            occurrence_.latchPosition(channel, IsolatedSequencers::kInterruptMux, line, latched);
        });
    }
    IsolatedLink(const IsolatedLink&) = delete;
    IsolatedLink& operator=(const IsolatedLink&) = delete;

    // The state the download leaves: state 2 with the DC bus started.
    void establish() {
        state_ = 2;
        dcBusStarted_ = true;
    }
    unsigned state() const { return state_; }
    bool dcBusStarted() const { return dcBusStarted_; }

    uint32_t readIsoComm() const { return state_ | (dcBusStarted_ ? 0x100u : 0u); }
    void writeIsoComm(uint32_t value);

    static bool isPortOffset(uint64_t offset) { return offset >= kPorts && offset < kPorts + kPortCount * kPortStride; }
    // `configured` and `signature` describe the isolated FPGA.
    uint32_t readPort(uint64_t offset, bool configured, uint32_t signature);
    void writePort(uint64_t offset, uint32_t value, bool configured, uint32_t signature);

    IsolatedRegisterFile& registers() { return registers_; }
    // The occurrence muxes and error managers among the registers: they answer their words' reads,
    // and see every write (the register file keeps the written words too).
    IsolatedOccurrence& occurrence() { return occurrence_; }
    // The sequencer side of the isolated FPGA, behind the register file.
    IsolatedSequencers& sequencers() { return sequencers_; }
    IsolatedSideOptions& options() { return options_; }
    AccessPortKnobs& knobs(unsigned port) { return options_.ports[port]; }

    struct PortCounts {
        uint64_t accesses = 0;
        uint64_t violations = 0;
    };
    PortCounts counts(unsigned port) const { return ports_[port].counts; }
    // The latest kLogCapacity accesses, oldest first.
    std::vector<PortAccess> log() const { return log_.entries(); }
    size_t logSize() const { return log_.size(); }
    void clearLog() { log_.clear(); }
    // On by default; a run that never looks at the log (a fuzz target) switches it off.
    void setLogging(bool on) { logging_ = on; }

private:
    struct Port {
        uint32_t writeData = 0;
        uint32_t readData = 0;
        uint32_t address = 0;
        unsigned countdown = 0;  // status reads until the access completes
        bool pendingRead = false;
        bool response = false;
        PortCounts counts;
    };

    bool up(bool configured) const;
    bool ready(const Port& port, unsigned index, bool configured) const;
    void complete(Port& port, unsigned index, uint32_t signature);

    IsolatedSideOptions options_;
    unsigned state_ = 0;
    bool dcBusStarted_ = false;
    std::array<Port, kPortCount> ports_{};
    IsolatedRegisterFile registers_;
    IsolatedOccurrence occurrence_;
    IsolatedSequencers sequencers_;
    BoundedLog<PortAccess> log_{kLogCapacity};
    bool logging_ = true;
};

}  // namespace board
