#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "kal/sim/faults.h"
#include "kal/sim/registerMemory.h"
#include "kzkal/regmem.h"

namespace kal::sim {

namespace {

// Each board gets its own 256 MiB of physical space, one 16 MiB slot per BAR; slots are
// never reused, so a stale physical address cannot reach a later board.
constexpr uint64_t kPhysicalBase = 0x100000000ull;
constexpr uint64_t kBoardSpan = 0x10000000ull;
constexpr uint64_t kBarSpan = 0x1000000ull;

struct Attached {
    board::Board* board;
    uint64_t base;
};

struct Mapping {
    uint8_t* address;
    uint64_t size;
    board::Board* board;
    int bar;
    uint64_t offset;
    uint32_t mode;
};

struct Bus {
    std::mutex lock;
    board::HostVector<Attached> boards;
    board::HostVector<Mapping> mappings;
    uint64_t nextBase = kPhysicalBase;
};

// Changes, under the bus's lock, with every mapping made or removed: a thread's last mapping is
// good while it stands.
std::atomic<uint64_t> gGeneration{1};

Bus& bus() {
    static Bus instance;
    return instance;
}

[[noreturn]] void fail(const char* what, const void* address) {
    std::fprintf(stderr, "kal: %s (address %p)\n", what, address);
    std::abort();
}

// The mapping a thread's last register access went through, while no mapping has changed since:
// a driver's accesses come in long runs against one BAR.
struct LastMapping {
    uint64_t generation = 0;
    Mapping mapping{};
};
thread_local LastMapping tLast;

bool holds(const Mapping& m, const uint8_t* at, unsigned width) {
    return at >= m.address && at + width <= m.address + m.size;
}

// The mapping that holds [address, address + width).
[[gnu::noinline]] const Mapping& lookUp(const void* address, unsigned width) {
    Bus& b = bus();
    auto at = static_cast<const uint8_t*>(address);
    std::lock_guard<std::mutex> guard(b.lock);
    for (const Mapping& m : b.mappings)
        if (holds(m, at, width)) {
            tLast = {gGeneration.load(std::memory_order_relaxed), m};
            return tLast.mapping;
        }
    fail("register access outside every mapped BAR", address);
}

inline const Mapping& resolve(const void* address, unsigned width) {
    if (tLast.generation == gGeneration.load(std::memory_order_acquire) &&
        holds(tLast.mapping, static_cast<const uint8_t*>(address), width))
        return tLast.mapping;
    return lookUp(address, width);
}

uint64_t offsetIn(const Mapping& m, const void* address) {
    return m.offset + static_cast<uint64_t>(static_cast<const uint8_t*>(address) - m.address);
}

uint64_t readRegister(const void* address, unsigned width) {
    const Mapping& m = resolve(address, width);
    return m.board->read(m.bar, offsetIn(m, address), width);
}

void writeRegister(void* address, unsigned width, uint64_t value) {
    const Mapping& m = resolve(address, width);
    m.board->write(m.bar, offsetIn(m, address), width, value);
}

}  // namespace

std::array<uint64_t, board::kBarCount> attachBoard(board::Board& target) {
    Bus& b = bus();
    std::lock_guard<std::mutex> guard(b.lock);
    for (const Attached& a : b.boards)
        if (a.board == &target) fail("board attached twice", &target);
    Attached attached{&target, b.nextBase};
    b.nextBase += kBoardSpan;
    std::array<uint64_t, board::kBarCount> addresses{};
    for (int i = 0; i < board::kBarCount; ++i) {
        if (!target.hasBar(i)) continue;
        if (target.bar(i).size() > kBarSpan) fail("BAR larger than its physical slot", &target);
        addresses[i] = attached.base + i * kBarSpan;
    }
    b.boards.push_back(attached);
    return addresses;
}

void detachBoard(board::Board& target) {
    Bus& b = bus();
    std::lock_guard<std::mutex> guard(b.lock);
    for (const Mapping& m : b.mappings)
        if (m.board == &target) fail("board detached while a BAR is still mapped", m.address);
    for (auto it = b.boards.begin(); it != b.boards.end(); ++it)
        if (it->board == &target) {
            b.boards.erase(it);
            return;
        }
}

uint64_t barPhysicalAddress(const board::Board& target, int bar) {
    Bus& b = bus();
    std::lock_guard<std::mutex> guard(b.lock);
    for (const Attached& a : b.boards)
        if (a.board == &target) return a.board->hasBar(bar) ? a.base + bar * kBarSpan : 0;
    return 0;
}

size_t liveMappings() {
    Bus& b = bus();
    std::lock_guard<std::mutex> guard(b.lock);
    return b.mappings.size();
}

int64_t mappingMode(const void* address) {
    Bus& b = bus();
    std::lock_guard<std::mutex> guard(b.lock);
    for (const Mapping& m : b.mappings)
        if (m.address == address) return m.mode;
    return -1;
}

size_t liveMappings(const board::Board& target) {
    Bus& b = bus();
    std::lock_guard<std::mutex> guard(b.lock);
    size_t count = 0;
    for (const Mapping& m : b.mappings) count += m.board == &target;
    return count;
}

}  // namespace kal::sim

extern "C" void* nKZKAL230_mapPhysicalToKernel(uint64_t physicalAddress, uint64_t size, uint32_t mode) {
    if (kal::sim::shouldFail("mapPhysicalToKernel") || mode > 2) return nullptr;
    auto& b = kal::sim::bus();
    std::lock_guard<std::mutex> guard(b.lock);
    for (const auto& a : b.boards) {
        if (physicalAddress < a.base || physicalAddress >= a.base + kal::sim::kBoardSpan) continue;
        int bar = static_cast<int>((physicalAddress - a.base) / kal::sim::kBarSpan);
        uint64_t offset = (physicalAddress - a.base) % kal::sim::kBarSpan;
        if (!a.board->hasBar(bar)) return nullptr;
        board::Bar& target = a.board->bar(bar);
        if (size == 0 || offset + size > target.size()) return nullptr;
        uint8_t* address = target.memory() + offset;
        b.mappings.push_back({address, size, a.board, bar, offset, mode});
        kal::sim::gGeneration.fetch_add(1, std::memory_order_release);
        return address;
    }
    return nullptr;
}

extern "C" void nKZKAL230_unmapPhysicalFromKernel(void* address, uint32_t mode) {
    auto& b = kal::sim::bus();
    std::lock_guard<std::mutex> guard(b.lock);
    for (auto it = b.mappings.begin(); it != b.mappings.end(); ++it)
        if (it->address == address) {
            b.mappings.erase(it);
            kal::sim::gGeneration.fetch_add(1, std::memory_order_release);
            return;
        }
    kal::sim::fail("unmapping an address that is not mapped", address);
}

extern "C" uint8_t nKZKAL100_memoryRead8(const void* address) {
    return static_cast<uint8_t>(kal::sim::readRegister(address, 1));
}
extern "C" uint16_t nKZKAL100_memoryRead16(const void* address) {
    return static_cast<uint16_t>(kal::sim::readRegister(address, 2));
}
extern "C" uint32_t nKZKAL100_memoryRead32(const void* address) {
    return static_cast<uint32_t>(kal::sim::readRegister(address, 4));
}
extern "C" uint64_t nKZKAL100_simMemoryRead64(const void* address) { return kal::sim::readRegister(address, 8); }
extern "C" void nKZKAL100_memoryWrite8(void* address, uint8_t value) { kal::sim::writeRegister(address, 1, value); }
extern "C" void nKZKAL100_memoryWrite16(void* address, uint16_t value) { kal::sim::writeRegister(address, 2, value); }
extern "C" void nKZKAL100_memoryWrite32(void* address, uint32_t value) { kal::sim::writeRegister(address, 4, value); }
extern "C" void nKZKAL100_simMemoryWrite64(void* address, uint64_t value) { kal::sim::writeRegister(address, 8, value); }
