#include "board/accessPorts.h"

namespace board {

namespace {
constexpr uint32_t kStateMask = 0x3;
constexpr uint32_t kDcBusStart = 0x100;
constexpr uint32_t kReadyBit = 1u << 17;
constexpr uint32_t kResponseBit = 1u << 16;
constexpr uint32_t kFaultBit = 1u << 31;
constexpr uint32_t kReadAccess = 1u << 16;
constexpr uint32_t kAddressMask = 0x1FFF;
constexpr uint64_t kStatus = 0x0;
constexpr uint64_t kAddress = 0x4;
constexpr uint64_t kData = 0x8;
}  // namespace

void IsolatedLink::writeIsoComm(uint32_t value) {
    const unsigned command = value & kStateMask;
    if (command != 0 && options_.isoCommNever != command) {
        state_ = command;
        if (command == 1) dcBusStarted_ = false;
    }
    if ((value & kDcBusStart) != 0 && !options_.dcBusNeverStarts) dcBusStarted_ = true;
}

bool IsolatedLink::up(bool configured) const {
    return options_.portsReadyWithoutLink || (configured && state_ == 2 && dcBusStarted_);
}

bool IsolatedLink::ready(const Port& port, unsigned index, bool configured) const {
    return up(configured) && !options_.ports[index].neverReady && port.countdown == 0;
}

void IsolatedLink::complete(Port& port, unsigned index, uint32_t signature) {
    if (!port.pendingRead) return;
    port.pendingRead = false;
    uint32_t occurrence = 0;
    port.readData = occurrence_.read(port.address, occurrence) ? occurrence : registers_.read(port.address, signature);
    port.response = true;
    if (logging_) log_.push(PortAccess{index, false, port.address, port.readData});
}

uint32_t IsolatedLink::readPort(uint64_t offset, bool configured, uint32_t signature) {
    const unsigned index = unsigned((offset - kPorts) / kPortStride);
    Port& port = ports_[index];
    AccessPortKnobs& knobs = options_.ports[index];
    switch ((offset - kPorts) % kPortStride) {
        case kStatus: {
            if (port.countdown > 0 && --port.countdown == 0 && !knobs.neverResponds) complete(port, index, signature);
            uint32_t word = port.response ? kResponseBit : 0;
            if (ready(port, index, configured)) word |= kReadyBit;
            if (knobs.fault || knobs.faultReads > 0) {
                word |= kFaultBit;
                if (knobs.faultReads > 0) --knobs.faultReads;
            }
            return word;
        }
        case kData: return port.readData;
        default: return 0;
    }
}

void IsolatedLink::writePort(uint64_t offset, uint32_t value, bool configured, uint32_t signature) {
    const unsigned index = unsigned((offset - kPorts) / kPortStride);
    Port& port = ports_[index];
    const uint64_t word = (offset - kPorts) % kPortStride;
    if (word != kAddress && word != kData) return;
    if (!ready(port, index, configured)) {
        ++port.counts.violations;
        return;
    }
    if (word == kData) {
        port.writeData = value;
        return;
    }
    ++port.counts.accesses;
    port.address = value & kAddressMask;
    port.countdown = options_.ports[index].latency;
    if ((value & kReadAccess) == 0) {
        occurrence_.write(port.address, port.writeData);
        registers_.write(port.address, port.writeData);
        if (logging_) log_.push(PortAccess{index, true, port.address, port.writeData});
        return;
    }
    port.response = false;
    port.pendingRead = true;
    if (port.countdown == 0 && !options_.ports[index].neverResponds) complete(port, index, signature);
}

}  // namespace board
