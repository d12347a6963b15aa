// One simulated PCI function: configuration space, BARs with register behaviour, an access log.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "board/boardLock.h"
#include "board/boundedLog.h"
#include "board/hostAllocator.h"

namespace board {

constexpr int kBarCount = 6;
// The access log's "bar" for PCI configuration space.
constexpr int kConfigSpace = -1;
constexpr size_t kConfigSpaceSize = 4096;

enum class Direction { Read, Write };

struct Access {
    int bar;
    uint64_t offset;
    unsigned width;  // bytes: 1, 2, 4 or 8
    uint64_t value;
    Direction direction;
    bool unmodelled = false;  // no block of the board models the offset: plain memory answered
};

// Called on every BAR access that no block of the board models, so that a driver register at a
// wrong offset does not pass unseen against plain memory. None by default (the board then only
// marks the access in its log); the tests install one that fails the test.
using UnmodelledAccessHandler = void (*)(const Access& access);
// Returns the handler it replaces.
UnmodelledAccessHandler setUnmodelledAccessHandler(UnmodelledAccessHandler handler);

// Keeps the latest kCapacity accesses, oldest first: far more than any test looks back over, and
// a bound on what a long run (a thousand resets) holds.
class AccessLog {
public:
    static constexpr size_t kCapacity = kAccessLogCapacity;

    void record(const Access& access);
    void clear();
    // The log is on by default; long transfers can switch it off.
    void setEnabled(bool enabled);

    std::vector<Access> entries() const;
    std::vector<uint64_t> writesTo(uint64_t offset, int bar = 0) const;
    std::vector<uint64_t> readsOf(uint64_t offset, int bar = 0) const;
    size_t countWrites(uint64_t offset, int bar = 0) const;
    size_t countReads(uint64_t offset, int bar = 0) const;

private:
    std::vector<uint64_t> values(uint64_t offset, int bar, Direction direction) const;

    mutable BoardLock lock_;
    BoundedLog<Access> entries_{kCapacity};
    std::atomic<bool> enabled_{true};
};

class Bar;
class HostMemoryPort;

// Register behaviour over a range of a BAR. Offsets are relative to the region's start.
// After a read the board stores the value read in the BAR's memory; after a write it stores
// nothing, so a region decides what its memory holds (memory()/setMemory()).
class Region {
public:
    virtual ~Region() = default;
    virtual uint64_t read(uint64_t offset, unsigned width) = 0;
    virtual void write(uint64_t offset, unsigned width, uint64_t value) = 0;
    // Whether the access goes into the board's access log; a region that keeps its own record of
    // a stream of transfers leaves them out.
    virtual bool logged(uint64_t offset, unsigned width, Direction direction) const { return true; }

protected:
    uint64_t memory(uint64_t offset, unsigned width) const;
    void setMemory(uint64_t offset, unsigned width, uint64_t value);

private:
    friend class Bar;
    Bar* bar_ = nullptr;
    uint64_t base_ = 0;
};

// A BAR's backing memory: where no region is mapped it behaves as plain register memory, and the
// board reports the access as unmodelled.
class Bar {
public:
    explicit Bar(uint64_t size);
    ~Bar();
    Bar(const Bar&) = delete;
    Bar& operator=(const Bar&) = delete;

    uint64_t size() const { return size_; }
    uint8_t* memory() { return memory_; }
    uint64_t mappedSize() const { return (size_ + 4095) & ~uint64_t{4095}; }

    uint64_t load(uint64_t offset, unsigned width) const;
    void store(uint64_t offset, unsigned width, uint64_t value);

    void addRegion(uint64_t offset, uint64_t size, std::unique_ptr<Region> region);
    Region* regionAt(uint64_t offset, uint64_t& regionBase) const {
        // Accesses come in runs against one block: the one found last is asked first.
        if (lastRegion_ != nullptr && lastRegion_->holds(offset)) {
            regionBase = lastRegion_->offset;
            return lastRegion_->region.get();
        }
        return findRegion(offset, regionBase);
    }
    // Whether a region covers any byte of [offset, offset + size).
    bool hasRegionIn(uint64_t offset, uint64_t size) const;

private:
    struct Mapping {
        uint64_t offset;
        uint64_t size;
        std::unique_ptr<Region> region;
        bool holds(uint64_t at) const { return at - offset < size; }
    };
    Region* findRegion(uint64_t offset, uint64_t& regionBase) const;

    uint64_t size_;
    uint8_t* memory_;
    HostVector<Mapping> regions_;
    mutable const Mapping* lastRegion_ = nullptr;
};

// The PCI function's identity and the answers its configuration space and the platform give.
struct Identity {
    uint16_t vendorId = 0;
    uint16_t deviceId = 0;
    uint16_t subsystemVendorId = 0;
    uint16_t subsystemId = 0;
    uint8_t revision = 0;
    uint8_t bus = 0;
    uint8_t device = 0;
    uint8_t function = 0;
    uint16_t domain = 0;
    uint32_t interruptLine = 0;  // legacy interrupt number; 0 for none
};

// What the platform answers for this function beyond its configuration space.
struct Platform {
    bool msiGranted = false;
    uint32_t msiVector = 64;
    bool dma64Accepted = true;
    int32_t numaNode = -1;
};

class Board {
public:
    explicit Board(const Identity& identity = Identity{}, std::array<uint64_t, kBarCount> barSizes = {0x40000});
    ~Board();
    Board(const Board&) = delete;
    Board& operator=(const Board&) = delete;

    const Identity& identity() const { return identity_; }
    Identity& identity() { return identity_; }
    Platform& platform() { return platform_; }

    // BAR access as the bus delivers it: logged, routed to a region or to plain memory.
    uint64_t read(int bar, uint64_t offset, unsigned width);
    void write(int bar, uint64_t offset, unsigned width, uint64_t value);
    bool hasBar(int bar) const;
    Bar& bar(int index);

    // Configuration space. Accesses through these are logged with kConfigSpace.
    uint64_t configRead(uint32_t offset, unsigned width);
    void configWrite(uint32_t offset, unsigned width, uint64_t value);
    // Direct storage, for building the space (not logged, no behaviour).
    uint8_t* config() { return config_.data(); }
    uint64_t configLoad(uint32_t offset, unsigned width) const;
    void configStore(uint32_t offset, unsigned width, uint64_t value);

    template <class R, class... Args>
    R& addRegion(int bar, uint64_t offset, uint64_t size, Args&&... args) {
        auto region = std::make_unique<R>(std::forward<Args>(args)...);
        R& result = *region;
        std::lock_guard<BoardLock> guard(lock_);
        this->bar(bar).addRegion(offset, size, std::move(region));
        return result;
    }

    AccessLog& log() { return log_; }

    // Host memory as the bus lets this function reach it; null until the board is plugged.
    HostMemoryPort* hostMemory() const { return hostMemory_; }
    void setHostMemory(HostMemoryPort* port) { hostMemory_ = port; }
    // The time the board's delays run on, in microseconds: what the source answers (the stand-in
    // installs its clock when it plugs the board), 0 without one.
    void setTimeSource(std::function<uint64_t()> nowUs);
    uint64_t nowUs() const;

    // Serialises every access; regions may call back into the board under it.
    BoardLock& lock() { return lock_; }

    // Replaces what a configuration write does. The default stores the bytes except those of
    // the read-only header fields (identifiers, status, revision and class, header type,
    // subsystem identifiers, capability pointer).
    using ConfigWriteHandler = std::function<void(Board&, uint32_t offset, unsigned width, uint64_t value)>;
    void setConfigWriteHandler(ConfigWriteHandler handler);
    void defaultConfigWrite(uint32_t offset, unsigned width, uint64_t value);

private:
    // The BAR, after the access's width and range are checked.
    inline Bar& barFor(int index, uint64_t offset, unsigned width, const char* outside);

    ConfigWriteHandler configWriteHandler_;
    Identity identity_;
    Platform platform_;
    std::array<std::unique_ptr<Bar>, kBarCount> bars_;
    std::array<uint8_t, kConfigSpaceSize> config_{};
    AccessLog log_;
    BoardLock lock_;
    HostMemoryPort* hostMemory_ = nullptr;
    std::function<uint64_t()> nowUs_;
};

}  // namespace board
