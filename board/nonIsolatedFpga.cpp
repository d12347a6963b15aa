#include "board/nonIsolatedFpga.h"

#include <mutex>

namespace board {

namespace {
constexpr uint64_t kSignature = 0x00;
constexpr uint64_t kConfiguration = 0x010;
constexpr uint64_t kErrorMux = 0x070;
constexpr uint64_t kOccurrence = 0x078;
constexpr uint64_t kVrefTemperature = 0x818;
constexpr uint64_t kNisoFpgaTemperature = 0x820;
constexpr uint32_t kTemperatureValid = 1u << 15;
constexpr uint64_t kPowerMonitors[] = {0x580, 0x5A0};
constexpr uint64_t kMeasureFifoResets = 0x050;
constexpr uint64_t kSourceFifoResets = 0x060;
constexpr uint64_t kTxCreditControls = 0x080;
constexpr uint64_t kMeasureUnits = 0x400;
constexpr uint64_t kMeasureUnitStride = 0x60;
constexpr unsigned kChannels = kDmaStreamCount / 2;
constexpr uint32_t kMeasureCreditsEnable = 1u << 6;
constexpr uint32_t kMeasureCreditsDisable = 1u << 7;
constexpr uint32_t kSourceStreamStart = 1u << 16;
constexpr uint32_t kSourceStreamStop = 1u << 17;
constexpr uint32_t kSourceStreamStopped = 1u << 17;
constexpr uint64_t kTransformerControl = 0x2BC;
constexpr uint64_t kRampUp = 0x2C4;
constexpr uint64_t kDacStatus = 0x2D4;
constexpr uint64_t kSinkingBoardConfiguration = 0x2D8;
constexpr uint32_t kDacReady = 1u << 29;
constexpr uint32_t kTransformerUp = 1u << 31;
constexpr uint32_t kTransformerStart = (1u << 1) | (1u << 3);
constexpr uint64_t kPxiTriggerConfig = 0x0A0;
constexpr uint32_t kPxiTriggerOutputOn = (1u << 30) | (1u << 31);

// The sources of the error mux by input position, as the FPGA wires them.
std::vector<uint16_t> errorSources() {
    return {0x200, 0x201, 0x202, 0x203, 0x204, 0x205, 0x206, 0x207, 0x208, 0x214, 0x215,
            0x216, 0x228, 0x229, 0x22A, 0x213, 0x221, 0x222, 0x223, 0x224, 0x209, 0x20A,
            0x20B, 0x20C, 0x20D, 0x20E, 0x20F, 0x210, 0x211, 0x217, 0x218, 0x219, 0x21A,
            0x21B, 0x21C, 0x21D, 0x21E, 0x21F, 0x225, 0x226, 0x220, 0x212, 0x227};
}
}  // namespace

// The configuration and status (0x010), the two occurrence muxes (0x070, 0x07C), the four TX credit
// pairs (0x080-0x08C), the command logger (0x1C0) and the transformer control (0x2BC).
NonIsolatedFpga::NonIsolatedFpga(Board& board, SwitchedBusInterface& bus, FpgaConfigurationPort& port,
                                 DmaEngine* dma, const IsolatedSideOptions& isolated)
    : RegisterFile(board, {0x010, 0x070, 0x07C, 0x080, 0x084, 0x088, 0x08C, 0x1C0, 0x2BC}),
      board_(board),
      bus_(bus),
      port_(port),
      errorMux_(errorSources(), &errorManager_),
      link_(isolated),
      chargeBalancers_(link_.registers()),
      dma_(dma) {
    powerMonitors_[1].setReading(0, kDefaultSinkingBoardReading);
    link_.sequencers().setTimeSource([&board] { return board.nowUs(); });
    link_.registers().addChannelWriteHook([this](unsigned channel, uint32_t offset, uint32_t value) {
        measureUnits_.isolatedWrite(channel, offset, value, board_.nowUs());
        triggerOverrides_.isolatedWrite(channel, offset, value, link_.registers(), link_.occurrence());
        chargeBalancers_.isolatedWrite(channel, offset, value, board_.nowUs());
        sequenceEngines_.isolatedWrite(channel, offset, value);
        eventLatches_.isolatedWrite(channel, offset, value);
    });
    link_.registers().addChannelReadHook([this](unsigned channel, uint32_t offset, uint32_t value) {
        value = chargeBalancers_.isolatedRead(channel, offset, value, board_.nowUs());
        value = eventLatches_.isolatedRead(channel, offset, value);
        return sequenceEngines_.isolatedRead(channel, offset, value);
    });
    for (unsigned r = 0; r < ChargeBalancersModel::kRanges; ++r)
        link_.sequencers().setEffect(ChargeBalancersModel::kCalculationIds[r],
                                     [this, r](unsigned c) { chargeBalancers_.arm(c, r); });
    link_.sequencers().setEffect(ChargeBalancersModel::kFinishId, [this](unsigned c) { chargeBalancers_.finish(c); });
    link_.sequencers().setEffect(SequenceEnginesModel::kResetId, [this](unsigned c) { sequenceEngines_.stop(c); });
    if (dma_ != nullptr)
        for (unsigned stream = 0; stream < kDmaStreamCount; ++stream) dma_->setCreditGate(stream, false);
}

void NonIsolatedFpga::latchEvents(unsigned channel, uint32_t bits) {
    std::lock_guard<BoardLock> guard(board_.lock());
    eventLatches_.latch(channel, bits);
}

void NonIsolatedFpga::overflowMeasureFifo(unsigned channel) {
    std::lock_guard<BoardLock> guard(board_.lock());
    if (channel >= MeasureUnitsModel::kChannels) return;
    const uint64_t word = RegisterFile::read(kMeasureFifoOverflow, 4);
    RegisterFile::write(kMeasureFifoOverflow, 4, word | (uint64_t{1} << (3 * channel)));
}

void NonIsolatedFpga::overrideSignature(std::optional<uint32_t> signature) {
    std::lock_guard<BoardLock> guard(board_.lock());
    signatureOverride_ = signature;
}

void NonIsolatedFpga::setSourceNeverStops(unsigned stream, bool never) {
    std::lock_guard<BoardLock> guard(board_.lock());
    if (stream >= kDmaStreamCount) return;
    if (never)
        sourceNeverStops_ |= 1u << stream;
    else
        sourceNeverStops_ &= ~(1u << stream);
}

uint64_t NonIsolatedFpga::fifoResets(unsigned stream) const {
    std::lock_guard<BoardLock> guard(board_.lock());
    return stream < kDmaStreamCount ? fifoResets_[stream] : 0;
}

void NonIsolatedFpga::streamCreditsWritten(uint64_t offset, uint32_t value) {
    const bool resetsOrCredits = offset >= kMeasureFifoResets && offset < kTxCreditControls + 4 * kChannels;
    const bool measureUnit = offset >= kMeasureUnits && offset < kMeasureUnits + kMeasureUnitStride * kChannels &&
                             (offset - kMeasureUnits) % kMeasureUnitStride == 0;
    if (!resetsOrCredits && !measureUnit) return;
    for (unsigned c = 0; c < kChannels; ++c) {
        const unsigned measure = 2 * c;
        const unsigned source = 2 * c + 1;
        if (offset == kMeasureFifoResets + 4 * c && (value & 1)) ++fifoResets_[measure];
        if (offset == kSourceFifoResets + 4 * c && (value & 1)) ++fifoResets_[source];
        if (offset == kMeasureUnits + kMeasureUnitStride * c && dma_ != nullptr) {
            if (value & kMeasureCreditsEnable) dma_->setCreditGate(measure, true);
            if (value & kMeasureCreditsDisable) dma_->setCreditGate(measure, false);
        }
        if (offset != kTxCreditControls + 4 * c) continue;
        const uint32_t shown = uint32_t(RegisterFile::read(offset, 4));
        if (value & kSourceStreamStart) {
            if (dma_ != nullptr) dma_->setCreditGate(source, true);
            present(offset, shown & ~kSourceStreamStopped);
        }
        if (value & kSourceStreamStop) {
            if (dma_ != nullptr) dma_->setCreditGate(source, false);
            if (((sourceNeverStops_ >> source) & 1) == 0) present(offset, shown | kSourceStreamStopped);
        }
    }
}

PowerMonitorModel* NonIsolatedFpga::powerMonitorAt(uint64_t& offset) {
    for (size_t i = 0; i < 2; ++i) {
        if (offset >= kPowerMonitors[i] && offset < kPowerMonitors[i] + PowerMonitorModel::kSize) {
            offset -= kPowerMonitors[i];
            return &powerMonitors_[i];
        }
    }
    return nullptr;
}

void NonIsolatedFpga::raiseError(uint16_t id) {
    std::lock_guard<BoardLock> guard(board_.lock());
    errorMux_.raise(id);
}

void NonIsolatedFpga::dropError(uint16_t id) {
    std::lock_guard<BoardLock> guard(board_.lock());
    errorMux_.drop(id);
}

void NonIsolatedFpga::raiseError(int block, uint16_t id) {
    std::lock_guard<BoardLock> guard(board_.lock());
    if (block == kNonIsolatedBlock)
        errorMux_.raise(id);
    else
        link_.occurrence().raise(unsigned(block), id);
}

void NonIsolatedFpga::dropError(int block, uint16_t id) {
    std::lock_guard<BoardLock> guard(board_.lock());
    if (block == kNonIsolatedBlock)
        errorMux_.drop(id);
    else
        link_.occurrence().drop(unsigned(block), id);
}

void NonIsolatedFpga::setStuckError(int block, uint16_t id) {
    std::lock_guard<BoardLock> guard(board_.lock());
    if (block == kNonIsolatedBlock)
        errorManager_.setStuckId(id);
    else
        link_.occurrence().setStuckId(unsigned(block), id);
}

NonIsolatedFpga::ErrorState NonIsolatedFpga::errorState(int block) {
    std::lock_guard<BoardLock> guard(board_.lock());
    if (block == kNonIsolatedBlock)
        return {errorManager_.isEnabled(), uint16_t(errorManager_.occurrence()), errorMux_.latchedIds()};
    ErrorManagerModel& manager = link_.occurrence().manager(unsigned(block));
    return {manager.isEnabled(), uint16_t(manager.occurrence()), link_.occurrence().errorMux(unsigned(block)).latchedIds()};
}

std::optional<unsigned> NonIsolatedFpga::routedInput(unsigned block, uint32_t offset) {
    std::lock_guard<BoardLock> guard(board_.lock());
    return link_.occurrence().routedInput(block, offset);
}

bool NonIsolatedFpga::pxiTriggerOutputOn(unsigned line) {
    std::lock_guard<BoardLock> guard(board_.lock());
    return line < kPxiTriggerLines &&
           (written(kPxiTriggerConfig + 4 * line) & kPxiTriggerOutputOn) == kPxiTriggerOutputOn;
}

void NonIsolatedFpga::commandIsoComm(uint32_t value) {
    std::lock_guard<BoardLock> guard(board_.lock());
    link_.writeIsoComm(value);
}

void NonIsolatedFpga::presentIsolated(uint32_t address, uint32_t value) {
    std::lock_guard<BoardLock> guard(board_.lock());
    link_.registers().present(address, value);
}

void NonIsolatedFpga::setAccessPortKnobs(unsigned port, const AccessPortKnobs& knobs) {
    std::lock_guard<BoardLock> guard(board_.lock());
    link_.knobs(port) = knobs;
}

bool NonIsolatedFpga::answers() {
    std::lock_guard<BoardLock> guard(board_.lock());
    return answersHeld();
}

bool NonIsolatedFpga::answersHeld() const {
    const uint32_t routing = static_cast<uint32_t>(board_.bar(0).load(bar0::kBusRouting, 4));
    return port_.fpgaHeld(kNonIsolatedFpga).configured &&
           (bus_.ioPort2().stored(0) & kLinkConfiguredMask) == kLinkConfigured &&
           (routing & kBusRoutingMask) == kBusRoutedToNonIsolatedFpga;
}

uint64_t NonIsolatedFpga::read(uint64_t offset, unsigned width) {
    std::lock_guard<BoardLock> guard(board_.lock());
    if (!answersHeld()) return ~uint64_t{0};
    if (offset == kSignature && width == 4)
        return signatureOverride_.has_value() ? *signatureOverride_ : port_.fpga(kNonIsolatedFpga).signature;
    if (offset == kDacStatus && width == 4) return powerPath_.dacNeverReady ? 0 : kDacReady;
    if (offset == kTransformerControl && width == 4)
        return RegisterFile::read(offset, width) | (powerPath_.transformerUp() ? kTransformerUp : 0);
    if (offset == kErrorMux && width == 4) return errorMux_.status();
    if (offset == kOccurrence && width == 4) return errorManager_.occurrence();
    if (offset == IsolatedLink::kIsoComm && width == 4) return link_.readIsoComm();
    if (IsolatedLink::isPortOffset(offset) && width == 4) {
        const FpgaConfigurationPort::Fpga& isolated = port_.fpgaHeld(kIsolatedFpga);
        return link_.readPort(offset, isolated.configured, isolated.signature);
    }
    if ((offset == kVrefTemperature || offset == kNisoFpgaTemperature) && width == 4) {
        // A presented word as it stands; otherwise the reading last written, with bit 15 (the
        // filtered reading is valid) as the sensor reports it.
        if (presented(offset)) return RegisterFile::read(offset, width);
        const bool valid = offset == kVrefTemperature ? link_.sequencers().vrefValid()
                                                      : link_.sequencers().nisoTemperatureValid();
        return (written(offset) & ~uint64_t{kTemperatureValid}) | (valid ? kTemperatureValid : 0);
    }
    uint32_t value = 0;
    if (width == 4 && measureUnits_.read(offset, board_.nowUs(), value)) return value;
    uint64_t within = offset;
    if (PowerMonitorModel* monitor = powerMonitorAt(within); monitor != nullptr && width == 4)
        if (monitor->read(within, value)) return value;
    return RegisterFile::read(offset, width);
}

void NonIsolatedFpga::write(uint64_t offset, unsigned width, uint64_t value) {
    std::lock_guard<BoardLock> guard(board_.lock());
    if (!answersHeld()) return;
    if (offset == kErrorMux && width == 4) errorMux_.configure(uint32_t(value));
    if (offset == kConfiguration && width == 4) errorManager_.configure(uint32_t(value));
    if (width == 4) streamCreditsWritten(offset, uint32_t(value));
    if (offset == kRampUp && width == 4) {
        powerPath_.rampUpWords.push(uint32_t(value));
        powerPath_.rampUpStepsSeen |= uint8_t(1u << ((value >> 24) & 7));
    }
    if (offset == kTransformerControl && width == 4 && (value & kTransformerStart) == kTransformerStart)
        powerPath_.started = true;
    if (offset == kSinkingBoardConfiguration && width == 4 && (value & 1) != 0) powerPath_.sinkingBoardEnabled = true;
    if (offset == IsolatedLink::kIsoComm && width == 4) link_.writeIsoComm(uint32_t(value));
    if (IsolatedLink::isPortOffset(offset) && width == 4) {
        const FpgaConfigurationPort::Fpga& isolated = port_.fpgaHeld(kIsolatedFpga);
        link_.writePort(offset, uint32_t(value), isolated.configured, isolated.signature);
    }
    if (width == 4 && MeasureUnitsModel::writes(offset)) measureUnits_.write(offset, uint32_t(value), board_.nowUs());
    uint64_t within = offset;
    if (PowerMonitorModel* monitor = powerMonitorAt(within); monitor != nullptr && width == 4)
        monitor->write(within, uint32_t(value));
    RegisterFile::write(offset, width, value);
}

NonIsolatedFpga& installNonIsolatedFpga(Board& board, SwitchedBusInterface& bus, FpgaConfigurationPort& port,
                                        const IsolatedSideOptions& isolated) {
    return board.addRegion<NonIsolatedFpga>(0, bar0::kNonIsolatedFpga, bar0::kNonIsolatedFpgaSize, board, bus, port,
                                            findDmaEngine(board), isolated);
}

}  // namespace board
