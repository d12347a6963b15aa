#include "board/fpgaConfigurationPort.h"

#include <mutex>

#include "board/crc32.h"

namespace board {

namespace {

constexpr unsigned kPortSelectShift = 8;
constexpr uint32_t kPortSelectMask = 0x7;
constexpr unsigned kNonIsolatedPort = 2;
constexpr unsigned kIsolatedPort = 3;

// IO port 2's control and status register reports its link enabled: bit 0 set, bit 7 clear.
constexpr uint32_t kLinkStateMask = 0x81;
constexpr uint32_t kLinkEnabled = 0x01;

}  // namespace

FpgaConfigurationPort::FpgaConfigurationPort(Board& board, SwitchedBusInterface& bus, const FpgaPortOptions& options)
    : board_(board), bus_(bus), options_(options) {
    if (options.configuredAtStart.has_value()) {
        for (unsigned i = 0; i < fpgas_.size(); ++i) fpgas_[i] = Fpga{true, (*options.configuredAtStart)[i]};
    }
}

std::optional<unsigned> FpgaConfigurationPort::fpgaOf(unsigned port) {
    if (port == kNonIsolatedPort) return kNonIsolatedFpga;
    if (port == kIsolatedPort) return kIsolatedFpga;
    return std::nullopt;
}

uint64_t FpgaConfigurationPort::read(uint64_t offset, unsigned width) {
    if (offset != kStatus) return memory(offset, width);
    uint64_t value = memory(offset, width) & ~uint64_t{kReady | kDone};
    if (!loads_.empty()) {
        Current& current = loads_.newest();
        ++current.load.statusReads;
        current.statusReads.push(current.load.transfers());
        if (current.load.verdict == Verdict::kLoading && ready(current)) value |= kReady;
    }
    return value | (done_ ? kDone : 0);
}

void FpgaConfigurationPort::write(uint64_t offset, unsigned width, uint64_t value) {
    if (offset == kData) return receive(value, width);
    setMemory(offset, width, value);
    if (offset == kControl && (value & kStart) != 0) start();
}

void FpgaConfigurationPort::start() {
    Current current;
    current.load.port = static_cast<unsigned>(board_.bar(0).load(bar0::kFpgaPortSelect, 4) >> kPortSelectShift) &
                        kPortSelectMask;
    current.load.size = static_cast<uint32_t>(memory(kSize, 4));
    current.readyAtUs = board_.nowUs() + options_.readyDelayUs;
    current.delayPassed = options_.readyDelayUs == 0;
    if (const auto fpga = fpgaOf(current.load.port)) fpgas_[*fpga] = Fpga{};
    done_ = false;
    loads_.push(std::move(current));
    loading_ = &loads_.newest();
}

bool FpgaConfigurationPort::ready(Current& current) {
    if (options_.neverReady) return false;
    if (!current.delayPassed) {
        if (board_.nowUs() < current.readyAtUs) return false;
        current.delayPassed = true;
    }
    switch (current.load.port) {
        case kNonIsolatedPort: return (bus_.ioPort2().read(0) & kLinkStateMask) == kLinkEnabled;
        case kIsolatedPort: return !options_.isolatedNeverReady && (link_ == nullptr || link_->state() == 1);
        default: return false;
    }
}

void FpgaConfigurationPort::receive(uint64_t value, unsigned width) {
    if (loading_ == nullptr) {
        ++stray_;
        return;
    }
    Current& current = *loading_;
    Load& load = current.load;
    (width == 8 ? load.stores64 : load.byteWrites) += 1;
    const uint64_t at = load.received;
    if (at + width > load.size || !ready(current)) {
        load.verdict = Verdict::kFailed;
        loading_ = nullptr;
        return;
    }
    for (uint64_t i = at; i < kFpgaImageHeaderSize && i < at + width; ++i)
        current.header[i] = static_cast<uint8_t>(value >> (8 * (i - at)));
    load.crc = crc32Word(value, width, load.crc);
    load.received = at + width;
    if (load.received == load.size) finish(current);
}

void FpgaConfigurationPort::finish(Current& current) {
    loading_ = nullptr;
    Load& load = current.load;
    const unsigned fpga = fpgaOf(load.port).value_or(kNonIsolatedFpga);
    const bool withHeader = load.received >= kFpgaImageHeaderSize;
    // The CRC-32 of the bytes after the header, from the running one over them all.
    const uint32_t bodyCrc =
        withHeader ? load.crc ^ crc32Shift(crc32(current.header.data(), kFpgaImageHeaderSize),
                                           load.received - kFpgaImageHeaderSize)
                   : 0;
    const FpgaImageCheck check = checkFpgaImage(current.header.data(), load.received, bodyCrc,
                                                static_cast<uint16_t>(fpga));
    load.fault = check.fault;
    const bool accepted = check.fault == FpgaImageFault::kNone || options_.acceptAny;
    const bool isolated = load.port == kIsolatedPort;
    if (options_.neverDone || (isolated && options_.isolatedNeverDone)) {
        load.verdict = Verdict::kStalled;
    } else if (!accepted || !fpgaOf(load.port).has_value()) {
        load.verdict = Verdict::kRejected;
    } else {
        load.verdict = Verdict::kConfigured;
        fpgas_[fpga] = Fpga{true, withHeader ? decodeFpgaImageHeader(current.header.data()).signature : 0};
        done_ = !(isolated && options_.isolatedDoneWithheld);
    }
}

FpgaConfigurationPort::Load FpgaConfigurationPort::record(const Current& current) const {
    Load load = current.load;
    load.statusReadsAfter = current.statusReads.entries();
    return load;
}

FpgaConfigurationPort::Fpga FpgaConfigurationPort::fpga(unsigned index) const {
    std::lock_guard<BoardLock> guard(board_.lock());
    return index < fpgas_.size() ? fpgas_[index] : Fpga{};
}

std::vector<FpgaConfigurationPort::Load> FpgaConfigurationPort::loads() const {
    std::lock_guard<BoardLock> guard(board_.lock());
    std::vector<Load> result;
    loads_.forEach([&](const Current& current) { result.push_back(record(current)); });
    return result;
}

uint64_t FpgaConfigurationPort::strayTransfers() const {
    std::lock_guard<BoardLock> guard(board_.lock());
    return stray_;
}

FpgaConfigurationPort& installFpgaConfigurationPort(Board& board, SwitchedBusInterface& bus,
                                                   const FpgaPortOptions& options) {
    return board.addRegion<FpgaConfigurationPort>(0, bar0::kFpgaConfigurationPort, bar0::kFpgaConfigurationPortSize,
                                                  board, bus, options);
}

}  // namespace board
