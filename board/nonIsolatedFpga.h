// The non-isolated FPGA's registers in BAR0 (from bar0::kNonIsolatedFpga), 32-bit words. The FPGA
// answers only while it is configured, IO port 2's link is configured (port register 0x00: bit 1
// set, bit 0 clear) and the switched bus interface routes the bus to it (0x680: 2 in bits 8-10, 1
// in bits 20-23); otherwise every read gives all ones and writes are dropped. While it answers,
// offset 0 reads its signature; an offset with a write side and a read side (a configuration
// beside a status) keeps the two words apart: writes land in the write word and reads return the
// read word, which tests set with `present`. Every other offset, the measure units and
// power-monitor windows among them, is one plain word; the error mux and error manager, the
// isolation link (0x020), the isolated register access ports (0x200-0x25F, with the isolated
// FPGA's registers behind them) and the power path (PowerPathModel) behave as the hardware does;
// the two temperature readings (0x818, 0x820) report valid (bit 15) as the isolated side's sensor
// says.
// The stream credit gates of the DMA engine follow the FPGA: bits 6 and 7 of channel c's
// measure-unit configuration (0x400 + 0x60 c) open and close stream 2c's, the start and stop
// strobes (bits 16, 17) of its TX credit control (0x080 + 4 c) stream 2c + 1's; the gates are
// closed from power-up.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "board/accessPorts.h"
#include "board/board.h"
#include "board/boundedLog.h"
#include "board/chargeBalancers.h"
#include "board/dmaEngine.h"
#include "board/eventLatches.h"
#include "board/fpgaConfigurationPort.h"
#include "board/hostAllocator.h"
#include "board/measureUnits.h"
#include "board/occurrenceHardware.h"
#include "board/powerMonitor.h"
#include "board/registerFile.h"
#include "board/sequenceEngines.h"
#include "board/switchedBusInterface.h"
#include "board/triggerOverrides.h"

namespace board {

constexpr uint32_t kLinkConfiguredMask = 0x3;
constexpr uint32_t kLinkConfigured = 0x2;
constexpr uint32_t kBusRoutingMask = (0x7u << 8) | (0xFu << 20);
constexpr uint32_t kBusRoutedToNonIsolatedFpga = (2u << 8) | (1u << 20);

// The transformer, the sinking board's bias DAC and the sinking board's enable: 0x2D4 reports the
// DAC ready (bit 29); 0x2C4 takes the ramp-up steps (index in bits 24-26), kept in order; the read
// side of 0x2BC reports the transformer up (bit 31) once steps 0 to 7 were written and a
// configuration write carried the start bits 1 and 3; a write of 0x2D8 with bit 0 enables the
// sinking board. Under the board's lock.
struct PowerPathModel {
    BoundedLog<uint32_t> rampUpWords{kBlockRecordCapacity};  // the latest
    uint8_t rampUpStepsSeen = 0;  // bit per step index
    bool started = false;
    bool sinkingBoardEnabled = false;
    bool transformerUp() const { return rampUpStepsSeen == 0xFF && started && !transformerNeverUp; }

    // Fault knobs.
    bool dacNeverReady = false;
    bool transformerNeverUp = false;
};

class NonIsolatedFpga : public RegisterFile {
public:
    // The engine whose credit gates the FPGA drives; none on a board without the bridge core.
    NonIsolatedFpga(Board& board, SwitchedBusInterface& bus, FpgaConfigurationPort& port, DmaEngine* dma,
                    const IsolatedSideOptions& isolated = IsolatedSideOptions{});

    uint64_t read(uint64_t offset, unsigned width) override;
    void write(uint64_t offset, unsigned width, uint64_t value) override;

    // Whether the FPGA answers now.
    bool answers();

    // The board's error mux (0x070, every write a configuration write, reads its status) and error
    // manager (writes of 0x010, the occurrence register 0x078). Under the board's lock.
    OccurrenceMuxModel& errorMux() { return errorMux_; }
    ErrorManagerModel& errorManager() { return errorManager_; }
    // Test hooks: a source of the error mux becomes active or quiet.
    void raiseError(uint16_t id);
    void dropError(uint16_t id);
    // The isolated side's muxes and error managers. Under the board's lock.
    IsolatedOccurrence& isolatedOccurrence() { return link_.occurrence(); }
    // Test hooks on any block (kNonIsolatedBlock or a block of IsolatedOccurrence), each under the
    // board's lock: a source becomes active or quiet; the manager's id stays latched (0 ends it).
    static constexpr int kNonIsolatedBlock = -1;
    void raiseError(int block, uint16_t id);
    void dropError(int block, uint16_t id);
    void setStuckError(int block, uint16_t id);
    // A block's error manager and error mux as they stand, under the board's lock.
    struct ErrorState {
        bool managerEnabled;
        uint16_t latchedId;
        std::vector<uint16_t> latchedInputs;
    };
    ErrorState errorState(int block);
    // The routing view, each under the board's lock: the input a routing mux of an isolated block
    // connects (IsolatedOccurrence), and whether PXI trigger output L is on (0xA0 + 4 L as last
    // written: its output buffer, bit 30, and its output, bit 31, both enabled).
    static constexpr unsigned kPxiTriggerLines = 9;
    std::optional<unsigned> routedInput(unsigned block, uint32_t offset);
    bool pxiTriggerOutputOn(unsigned line);
    // The backplane (window 0x580) and sinking-board (0x5A0) power monitors. Under the board's lock.
    PowerMonitorModel& backplanePowerMonitor() { return powerMonitors_[0]; }
    PowerMonitorModel& sinkingBoardPowerMonitor() { return powerMonitors_[1]; }
    PowerPathModel& powerPath() { return powerPath_; }
    // Knob: what offset 0 presents from now on instead of the configured image's signature; none
    // goes back to the image's.
    void overrideSignature(std::optional<uint32_t> signature);

    // The sinking board's monitor reads this by default: enough to enable the board.
    static constexpr uint16_t kDefaultSinkingBoardReading = 12000;
    // The isolation link, the access ports and the isolated registers. Under the board's lock.
    IsolatedLink& isolatedLink() { return link_; }
    // The board's lock, for a reader of the isolated side while the driver may run.
    BoardLock& boardLock() { return board_.lock(); }
    // Test hooks, each under the board's lock: a command to the isolation link as the driver
    // writes it, what a split isolated word's read side shows, a port's knobs.
    void commandIsoComm(uint32_t value);
    void presentIsolated(uint32_t address, uint32_t value);
    void setAccessPortKnobs(unsigned port, const AccessPortKnobs& knobs);
    // The channels' measure units (0x398, 0x39C, the windows at 0x400) and software-raised
    // triggers. Under the board's lock.
    MeasureUnitsModel& measureUnits() { return measureUnits_; }
    TriggerOverridesModel& triggerOverrides() { return triggerOverrides_; }
    // The channels' charge balancers and sequence engines. Under the board's lock.
    ChargeBalancersModel& chargeBalancers() { return chargeBalancers_; }
    SequenceEnginesModel& sequenceEngines() { return sequenceEngines_; }
    // The channels' event latches, under the board's lock; the test hook latches events on a
    // channel (0 to 3) and takes the lock itself.
    EventLatchesModel& eventLatches() { return eventLatches_; }
    void latchEvents(unsigned channel, uint32_t bits);
    // Test hook, under the board's lock: channel c's measure FIFO (its unit 0) has overflowed, bit
    // 3c of the plain word 0x390, which reads it as it stands.
    static constexpr uint64_t kMeasureFifoOverflow = 0x390;
    void overflowMeasureFifo(unsigned channel);
    uint64_t nowUs() const { return board_.nowUs(); }

    // A source stream's TX credit status shows bit 17 ("stopped") after a stop strobe, unless the
    // knob keeps it clear for that stream.
    void setSourceNeverStops(unsigned stream, bool never);
    // How often each stream's application FIFO was reset (bit 0 of 0x050 + 4 c for stream 2c, of
    // 0x060 + 4 c for stream 2c + 1). Under the board's lock.
    uint64_t fifoResets(unsigned stream) const;

private:
    bool answersHeld() const;
    void streamCreditsWritten(uint64_t offset, uint32_t value);

    Board& board_;
    SwitchedBusInterface& bus_;
    FpgaConfigurationPort& port_;
    ErrorManagerModel errorManager_;
    OccurrenceMuxModel errorMux_;
    PowerMonitorModel powerMonitors_[2];
    PowerPathModel powerPath_;
    std::optional<uint32_t> signatureOverride_;
    IsolatedLink link_;
    MeasureUnitsModel measureUnits_;
    TriggerOverridesModel triggerOverrides_;
    ChargeBalancersModel chargeBalancers_;
    SequenceEnginesModel sequenceEngines_;
    EventLatchesModel eventLatches_;
    DmaEngine* dma_;
    uint32_t sourceNeverStops_ = 0;
    uint64_t fifoResets_[kDmaStreamCount] = {};
    // The power monitor whose window holds the offset, with the offset made relative to it.
    PowerMonitorModel* powerMonitorAt(uint64_t& offset);
};

NonIsolatedFpga& installNonIsolatedFpga(Board& board, SwitchedBusInterface& bus, FpgaConfigurationPort& port,
                                        const IsolatedSideOptions& isolated = IsolatedSideOptions{});

}  // namespace board
