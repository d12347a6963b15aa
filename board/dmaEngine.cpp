#include "board/dmaEngine.h"

#include <mutex>

namespace board {

namespace {
constexpr uint32_t kControlPairs[] = {31, 29, 27, 11, 9};  // the upper bit of each pair
}  // namespace

void DmaChannelBlock::write(uint64_t offset, unsigned width, uint64_t value) {
    setMemory(offset, width, value);
    if (width == 4) engine_.channelWritten(index_, offset, value);
}

void StatusRingBlock::write(uint64_t offset, unsigned width, uint64_t value) {
    setMemory(offset, width, value);
    if (width == 4 && offset + statusRing::kBase == statusRing::kControl) engine_.ringControlWritten(uint32_t(value));
}

void DmaEngine::attachStatusRing(StatusRingBlock& block) {
    ringBlock_ = &block;
    ring_.offered = true;
}

void DmaEngine::ringControlWritten(uint32_t value) {
    std::lock_guard<BoardLock> guard(board_.lock());
    ring_.on = (value & statusRing::kOn) != 0;
    ring_.posted = false;
    if (!ring_.on) return;
    ring_.address = ringBlock_->memory(statusRing::kAddress - statusRing::kBase, 8);
    ring_.words = (value >> statusRing::kWordsShift) & statusRing::kWordsMask;
}

bool DmaEngine::postToRing() {
    namespace ib = interruptBlock;
    // A removed device writes nothing.
    if (!ring_.on || (control_ & ib::kRingArmed) == 0 || queue_.empty() || ring_.words == 0 || faults_.deviceRemoved)
        return false;
    const size_t count = queue_.size() < ring_.words ? queue_.size() : ring_.words;
    HostVector<uint32_t> words(count);
    for (size_t i = 0; i < count; ++i) words[i] = queue_[i] | (i + 1 < count ? ib::kMoreQueued : 0);
    if (board_.hostMemory() == nullptr ||
        !board_.hostMemory()->write(ring_.address, words.data(), count * sizeof(uint32_t))) {
        ++dmaFaults_;
        return false;
    }
    queue_.erase(queue_.begin(), queue_.begin() + long(count));
    control_ &= ~ib::kRingArmed;
    ring_.posted = true;
    ++ring_.posts;
    ring_.wordsWritten += count;
    return true;
}

void DmaEngine::attachChannel(unsigned index, DmaChannelBlock& block) {
    channels_[index].block = &block;
    channels_[index].status = dmaChannelStatusAtReset(index);
}
void DmaEngine::attachCircuit(unsigned index, StreamCircuit& circuit) { channels_[index].circuit = &circuit; }

bool DmaEngine::msi() const { return board_.platform().msiGranted; }

uint64_t DmaEngine::read(uint64_t offset, unsigned width) {
    namespace ib = interruptBlock;
    const uint64_t at = offset + ib::kBase;
    if (at == ib::kControl) return control_;
    if (at == ib::kStatus) {
        if (faults_.deviceRemoved) return ib::kQueueEmpty;
        if (faults_.interruptStatus) return *faults_.interruptStatus;
        return queue_.empty() ? 0 : ib::kPending;
    }
    if (at == ib::kQueue) {
        if (faults_.deviceRemoved || queue_.empty() || ring_.on) return ib::kQueueEmpty;
        uint32_t entry = queue_.front();
        queue_.pop_front();
        return queue_.empty() ? entry : entry | ib::kMoreQueued;
    }
    return memory(offset, width);
}

void DmaEngine::write(uint64_t offset, unsigned width, uint64_t value) {
    namespace ib = interruptBlock;
    if (offset + ib::kBase != ib::kControl || width != 4) {
        setMemory(offset, width, value);
        return;
    }
    const bool wasAsserted = lineAsserted();
    for (uint32_t upper : kControlPairs) {
        if (value & (1u << upper))
            control_ |= 1u << upper;
        else if (value & (1u << (upper - 1)))
            control_ &= ~(1u << upper);
    }
    if ((value & ib::kRingArmed) != 0) {
        control_ |= ib::kRingArmed;
        ring_.posted = false;
    }
    const bool posted = postToRing();
    setMemory(offset, width, control_);
    if (msi() ? posted && (control_ & ib::kEnabled) != 0 : !wasAsserted && lineAsserted()) deliver();
}

// In ring mode the line follows the words posted, otherwise the queue.
bool DmaEngine::lineAsserted() const {
    return !msi() && (control_ & interruptBlock::kEnabled) && (ring_.on ? ring_.posted : !queue_.empty());
}

void DmaEngine::deliver() {
    ++interruptsSent_;
    if (sink_) sink_();
}

void DmaEngine::setInterruptSink(InterruptSink sink) {
    std::lock_guard<BoardLock> guard(board_.lock());
    sink_ = std::move(sink);
}

void DmaEngine::queue(uint32_t entry) {
    std::lock_guard<BoardLock> guard(board_.lock());
    const bool wasAsserted = lineAsserted();
    queue_.push_back(entry);
    ++entriesQueued_;
    const bool sent = ring_.on ? postToRing() : true;
    if (sent && (msi() ? (control_ & interruptBlock::kEnabled) != 0 : !wasAsserted && lineAsserted())) deliver();
}

void DmaEngine::publish(unsigned index) {
    Channel& c = channels_[index];
    if (c.block == nullptr) return;
    c.block->setMemory(dmaChannel::kStatus, 4, c.status);
    c.block->setMemory(dmaChannel::kTransferCount, 8, c.count);
}

void DmaEngine::stop(unsigned index, uint32_t status) {
    Channel& c = channels_[index];
    c.running = false;
    c.status = status;
    publish(index);
}

void DmaEngine::checkNotification(unsigned index) {
    Channel& c = channels_[index];
    if (!c.armed || c.block == nullptr) return;
    if ((c.block->memory(dmaChannel::kControl, 4) & dmaChannel::kControlNotify) == 0 || c.count < c.position) return;
    c.armed = false;
    queue(interruptBlock::kNotificationEntry | index);
}

void DmaEngine::channelWritten(unsigned index, uint64_t offset, uint64_t value) {
    namespace dc = dmaChannel;
    Channel& c = channels_[index];
    if (offset == dc::kControl) {
        // The reset handshake: control 1, command 2, control 2.
        if (value == dc::kControlResetEnd && c.resetBegun) {
            c.resetBegun = false;
            c.armed = false;
            c.count = 0;
            stop(index, dc::kStatusStopped);
            return;
        }
        c.resetBegun = value == dc::kControlResetBegin;
        checkNotification(index);
        return;
    }
    if (offset != dc::kCommand) return;
    if (value == dc::kCommandStart || value == dc::kCommandStartLinked) {
        if (DmaFaults::has(faults_.neverRuns, index)) return;
        c.linkAddress = c.block->memory(dc::kLinkAddress, 8);
        c.linkLength = uint32_t(c.block->memory(dc::kLinkLength, 4));
        c.running = true;
        c.status = dc::kStatusRunning;
        walks_[index].walker.reset();
        walks_[index].haveEntry = false;
        publish(index);
    } else if (value == dc::kCommandStop) {
        if (c.running && DmaFaults::has(faults_.neverStops, index)) return;
        stop(index, dc::kStatusStopped);
    } else if (value == dc::kCommandLoadPosition) {
        c.position = c.block->memory(dc::kNotificationPosition, 8);
        c.armed = true;
        checkNotification(index);
    }
}

bool DmaEngine::nextEntry(unsigned index) {
    Walk& walk = walks_[index];
    Channel& c = channels_[index];
    if (!walk.walker) {
        if (board_.hostMemory() == nullptr) return false;
        walk.walker.emplace(*board_.hostMemory(), c.linkAddress, c.linkLength, ~uint32_t{0});
    }
    while (walk.walker->next(walk.entry)) {
        if (!walk.entry.selfConfig) {
            walk.haveEntry = true;
            walk.doneInEntry = 0;
            return true;
        }
        board_.write(0, walk.entry.control & 0x07FFFFFF, 4, walk.entry.data);
    }
    if (walk.walker->end() == WalkEnd::LastLink) {
        stop(index, dmaChannel::kStatusStopped);
    } else {
        ++dmaFaults_;
        stop(index, dmaChannel::kStatusFault);
    }
    return false;
}

bool DmaEngine::moveBytes(unsigned index, uint64_t chunk) {
    Walk& walk = walks_[index];
    Channel& c = channels_[index];
    const uint64_t address = walk.entry.address + walk.doneInEntry;
    buffer_.resize(chunk);
    bool moved;
    if (index % 2 == 0) {
        for (uint64_t k = 0; k < chunk; ++k) buffer_[k] = dmaPatternByte(index, c.count + k);
        moved = board_.hostMemory()->write(address, buffer_.data(), chunk);
    } else {
        moved = board_.hostMemory()->read(address, buffer_.data(), chunk);
        if (moved) sinks_[index].insert(sinks_[index].end(), buffer_.begin(), buffer_.end());
    }
    if (!moved) {
        ++dmaFaults_;
        stop(index, dmaChannel::kStatusFault);
    }
    return moved;
}

uint64_t DmaEngine::pump(unsigned stream, uint64_t bytes) {
    std::lock_guard<BoardLock> guard(board_.lock());
    Channel& c = channels_[stream];
    Walk& walk = walks_[stream];
    uint64_t moved = 0;
    while (moved < bytes && c.running && c.circuit != nullptr && c.circuit->transferEnabled() &&
           c.circuit->credits() != 0 && !DmaFaults::has(creditGatesClosed_, stream)) {
        if (!walk.haveEntry && !nextEntry(stream)) break;
        uint64_t chunk = walk.entry.count - walk.doneInEntry;
        if (chunk > bytes - moved) chunk = bytes - moved;
        if (chunk > c.circuit->credits()) chunk = c.circuit->credits();
        if (chunk != 0 && !moveBytes(stream, chunk)) break;
        walk.doneInEntry += chunk;
        if (walk.doneInEntry == walk.entry.count) walk.haveEntry = false;
        c.count += chunk;
        c.circuit->useCredits(chunk);
        moved += chunk;
        publish(stream);
        checkNotification(stream);
    }
    return moved;
}

HostVector<uint8_t> DmaEngine::sink(unsigned stream) const {
    std::lock_guard<BoardLock> guard(board_.lock());
    return sinks_[stream];
}

void DmaEngine::setCreditGate(unsigned stream, bool open) {
    std::lock_guard<BoardLock> guard(board_.lock());
    if (open)
        creditGatesClosed_ &= ~(1u << stream);
    else
        creditGatesClosed_ |= 1u << stream;
}

bool DmaEngine::creditGateOpen(unsigned stream) const {
    std::lock_guard<BoardLock> guard(board_.lock());
    return !DmaFaults::has(creditGatesClosed_, stream);
}

uint64_t DmaEngine::dmaFaults() const {
    std::lock_guard<BoardLock> guard(board_.lock());
    return dmaFaults_;
}

DmaEngine::Channel DmaEngine::channel(unsigned index) const {
    std::lock_guard<BoardLock> guard(board_.lock());
    return channels_[index];
}

bool DmaEngine::interruptEnabled() const { return interruptControl() & interruptBlock::kEnabled; }

uint32_t DmaEngine::interruptControl() const {
    std::lock_guard<BoardLock> guard(board_.lock());
    return control_;
}

size_t DmaEngine::queueDepth() const {
    std::lock_guard<BoardLock> guard(board_.lock());
    return queue_.size();
}

uint64_t DmaEngine::entriesQueued() const {
    std::lock_guard<BoardLock> guard(board_.lock());
    return entriesQueued_;
}

DmaEngine::Ring DmaEngine::ring() const {
    std::lock_guard<BoardLock> guard(board_.lock());
    return ring_;
}

uint64_t DmaEngine::interruptsSent() const {
    std::lock_guard<BoardLock> guard(board_.lock());
    return interruptsSent_;
}

DmaEngine* findDmaEngine(Board& board) {
    std::lock_guard<BoardLock> guard(board.lock());
    uint64_t base = 0;
    Region* region = board.hasBar(0) ? board.bar(0).regionAt(interruptBlock::kBase, base) : nullptr;
    return base == interruptBlock::kBase ? dynamic_cast<DmaEngine*>(region) : nullptr;
}

}  // namespace board
