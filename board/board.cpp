#include "board/board.h"

#include <sys/mman.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace board {

namespace {

[[noreturn]] void fail(const char* what, int bar, uint64_t offset, unsigned width) {
    std::fprintf(stderr, "board: %s (bar %d, offset 0x%llx, width %u)\n", what, bar,
                 static_cast<unsigned long long>(offset), width);
    std::abort();
}

bool validWidth(unsigned width) { return width == 1 || width == 2 || width == 4 || width == 8; }

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "register memory holds its values little-endian");

// A valid width's bytes, low byte first.
uint64_t loadLE(const uint8_t* bytes, unsigned width) {
    uint64_t value = 0;
    switch (width) {
        case 1: return bytes[0];
        case 2: std::memcpy(&value, bytes, 2); return value;
        case 4: std::memcpy(&value, bytes, 4); return value;
        default: std::memcpy(&value, bytes, 8); return value;
    }
}

void storeLE(uint8_t* bytes, unsigned width, uint64_t value) {
    switch (width) {
        case 1: bytes[0] = static_cast<uint8_t>(value); return;
        case 2: std::memcpy(bytes, &value, 2); return;
        case 4: std::memcpy(bytes, &value, 4); return;
        default: std::memcpy(bytes, &value, 8); return;
    }
}

std::atomic<UnmodelledAccessHandler> unmodelledAccessHandler{nullptr};

void reportUnmodelled(const Access& access) {
    if (UnmodelledAccessHandler handler = unmodelledAccessHandler.load()) handler(access);
}

}  // namespace

UnmodelledAccessHandler setUnmodelledAccessHandler(UnmodelledAccessHandler handler) {
    return unmodelledAccessHandler.exchange(handler);
}

void AccessLog::record(const Access& access) {
    if (!enabled_.load(std::memory_order_relaxed)) return;
    std::lock_guard<BoardLock> guard(lock_);
    entries_.push(access);
}

void AccessLog::clear() {
    std::lock_guard<BoardLock> guard(lock_);
    entries_.clear();
}

void AccessLog::setEnabled(bool enabled) { enabled_.store(enabled, std::memory_order_relaxed); }

std::vector<Access> AccessLog::entries() const {
    std::lock_guard<BoardLock> guard(lock_);
    return entries_.entries();
}

std::vector<uint64_t> AccessLog::values(uint64_t offset, int bar, Direction direction) const {
    std::lock_guard<BoardLock> guard(lock_);
    std::vector<uint64_t> result;
    entries_.forEach([&](const Access& access) {
        if (access.bar == bar && access.offset == offset && access.direction == direction)
            result.push_back(access.value);
    });
    return result;
}

std::vector<uint64_t> AccessLog::writesTo(uint64_t offset, int bar) const {
    return values(offset, bar, Direction::Write);
}

std::vector<uint64_t> AccessLog::readsOf(uint64_t offset, int bar) const {
    return values(offset, bar, Direction::Read);
}

size_t AccessLog::countWrites(uint64_t offset, int bar) const { return writesTo(offset, bar).size(); }

size_t AccessLog::countReads(uint64_t offset, int bar) const { return readsOf(offset, bar).size(); }

uint64_t Region::memory(uint64_t offset, unsigned width) const { return bar_->load(base_ + offset, width); }

void Region::setMemory(uint64_t offset, unsigned width, uint64_t value) { bar_->store(base_ + offset, width, value); }

// Page-aligned so that the kernel addresses handed out look like real mappings, and zero without
// a fill: only the pages the driver touches are ever made.
Bar::Bar(uint64_t size) : size_(size) {
    void* pages = mmap(nullptr, mappedSize(), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (pages == MAP_FAILED) fail("no memory for a BAR", -2, 0, 0);
    memory_ = static_cast<uint8_t*>(pages);
}

Bar::~Bar() { munmap(memory_, mappedSize()); }

uint64_t Bar::load(uint64_t offset, unsigned width) const { return loadLE(memory_ + offset, width); }

void Bar::store(uint64_t offset, unsigned width, uint64_t value) { storeLE(memory_ + offset, width, value); }

void Bar::addRegion(uint64_t offset, uint64_t size, std::unique_ptr<Region> region) {
    if (size == 0 || offset + size > size_ || offset + size < offset) fail("region outside the BAR", -2, offset, 0);
    for (const Mapping& mapping : regions_)
        if (offset < mapping.offset + mapping.size && mapping.offset < offset + size)
            fail("overlapping regions", -2, offset, 0);
    region->bar_ = this;
    region->base_ = offset;
    lastRegion_ = nullptr;  // the list may move
    regions_.push_back({offset, size, std::move(region)});
}

bool Bar::hasRegionIn(uint64_t offset, uint64_t size) const {
    for (const Mapping& mapping : regions_)
        if (offset < mapping.offset + mapping.size && mapping.offset < offset + size) return true;
    return false;
}

Region* Bar::findRegion(uint64_t offset, uint64_t& regionBase) const {
    for (const Mapping& mapping : regions_)
        if (mapping.holds(offset)) {
            lastRegion_ = &mapping;
            regionBase = mapping.offset;
            return mapping.region.get();
        }
    return nullptr;
}

Board::Board(const Identity& identity, std::array<uint64_t, kBarCount> barSizes) : identity_(identity) {
    for (int i = 0; i < kBarCount; ++i)
        if (barSizes[i] != 0) bars_[i] = std::make_unique<Bar>(barSizes[i]);
    configStore(0x00, 2, identity.vendorId);
    configStore(0x02, 2, identity.deviceId);
    configStore(0x08, 1, identity.revision);
    configStore(0x2C, 2, identity.subsystemVendorId);
    configStore(0x2E, 2, identity.subsystemId);
    configStore(0x3C, 1, identity.interruptLine & 0xFF);
    configStore(0x3D, 1, identity.interruptLine != 0 ? 1 : 0);
}

Board::~Board() = default;

bool Board::hasBar(int index) const { return index >= 0 && index < kBarCount && bars_[index] != nullptr; }

Bar& Board::bar(int index) {
    if (!hasBar(index)) fail("no such BAR", index, 0, 0);
    return *bars_[index];
}

Bar& Board::barFor(int index, uint64_t offset, unsigned width, const char* outside) {
    Bar* target = index >= 0 && index < kBarCount ? bars_[index].get() : nullptr;
    if (target == nullptr) fail("no such BAR", index, 0, 0);
    if (!validWidth(width) || offset + width > target->size()) fail(outside, index, offset, width);
    return *target;
}

uint64_t Board::read(int index, uint64_t offset, unsigned width) {
    std::lock_guard<BoardLock> guard(lock_);
    Bar& target = barFor(index, offset, width, "read outside the BAR");
    uint64_t base = 0;
    Region* region = target.regionAt(offset, base);
    if (region == nullptr) {
        const uint64_t value = target.load(offset, width);
        const Access access{index, offset, width, value, Direction::Read, true};
        log_.record(access);
        reportUnmodelled(access);
        return value;
    }
    uint64_t value = region->read(offset - base, width);
    if (width < 8) value &= (uint64_t{1} << (8 * width)) - 1;
    target.store(offset, width, value);
    if (region->logged(offset - base, width, Direction::Read))
        log_.record({index, offset, width, value, Direction::Read});
    return value;
}

void Board::write(int index, uint64_t offset, unsigned width, uint64_t value) {
    std::lock_guard<BoardLock> guard(lock_);
    Bar& target = barFor(index, offset, width, "write outside the BAR");
    uint64_t base = 0;
    Region* region = target.regionAt(offset, base);
    if (region == nullptr) {
        const Access access{index, offset, width, value, Direction::Write, true};
        log_.record(access);
        reportUnmodelled(access);
        target.store(offset, width, value);
        return;
    }
    if (region->logged(offset - base, width, Direction::Write))
        log_.record({index, offset, width, value, Direction::Write});
    region->write(offset - base, width, value);
}

void Board::setTimeSource(std::function<uint64_t()> nowUs) {
    std::lock_guard<BoardLock> guard(lock_);
    nowUs_ = std::move(nowUs);
}

uint64_t Board::nowUs() const { return nowUs_ ? nowUs_() : 0; }

uint64_t Board::configLoad(uint32_t offset, unsigned width) const {
    if (!validWidth(width) || offset + width > kConfigSpaceSize) fail("configuration access out of range", kConfigSpace, offset, width);
    return loadLE(config_.data() + offset, width);
}

void Board::configStore(uint32_t offset, unsigned width, uint64_t value) {
    if (!validWidth(width) || offset + width > kConfigSpaceSize) fail("configuration access out of range", kConfigSpace, offset, width);
    storeLE(config_.data() + offset, width, value);
}

uint64_t Board::configRead(uint32_t offset, unsigned width) {
    std::lock_guard<BoardLock> guard(lock_);
    uint64_t value = configLoad(offset, width);
    log_.record({kConfigSpace, offset, width, value, Direction::Read});
    return value;
}

void Board::configWrite(uint32_t offset, unsigned width, uint64_t value) {
    std::lock_guard<BoardLock> guard(lock_);
    configLoad(offset, width);  // range check
    log_.record({kConfigSpace, offset, width, value, Direction::Write});
    if (configWriteHandler_)
        configWriteHandler_(*this, offset, width, value);
    else
        defaultConfigWrite(offset, width, value);
}

void Board::setConfigWriteHandler(ConfigWriteHandler handler) {
    std::lock_guard<BoardLock> guard(lock_);
    configWriteHandler_ = std::move(handler);
}

void Board::defaultConfigWrite(uint32_t offset, unsigned width, uint64_t value) {
    for (unsigned i = 0; i < width; ++i) {
        uint32_t at = offset + i;
        bool readOnly = at < 0x04 || (at >= 0x06 && at < 0x0C) || at == 0x0E || (at >= 0x2C && at < 0x30) ||
                        at == 0x34 || at == 0x3D;
        if (!readOnly) config_[at] = static_cast<uint8_t>(value >> (8 * i));
    }
}

}  // namespace board
