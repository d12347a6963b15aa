// User memory as the kernel layer sees it: only ranges registered here can be copied from or to.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kal::sim {

void registerUserMemory(const void* address, size_t size);
void unregisterUserMemory(const void* address);
// Whether [address, address + size) lies inside one registered range.
bool isUserMemory(uint64_t address, uint64_t size);
// Whether any byte of [begin, end) is registered.
bool overlapsUserMemory(uint64_t begin, uint64_t end);

// Registers a range for its lifetime.
class UserMemory {
public:
    UserMemory(const void* address, size_t size) : address_(address) { registerUserMemory(address, size); }
    ~UserMemory() { unregisterUserMemory(address_); }
    UserMemory(const UserMemory&) = delete;
    UserMemory& operator=(const UserMemory&) = delete;

private:
    const void* address_;
};

// The description handed to the map-memory callback, and what the driver mapped into it.
struct UserMapRequest {
    uint64_t size = 0;
    uint64_t virtualAddress = 0;
    uint32_t accessMode = 0;  // bit 1: write access
    struct PageListMapping {
        void* pageList;
        uint64_t firstPage;
        uint64_t pageCount;
    };
    struct PhysicalMapping {
        uint64_t address;
        uint64_t size;
        uint32_t mode;
    };
    std::vector<PageListMapping> pageLists;
    std::vector<PhysicalMapping> physical;
};

// Kernel-socket messages the driver sent, in order.
struct SocketMessage {
    uint32_t port;
    uint32_t type;
    std::vector<uint8_t> bytes;
};
std::vector<SocketMessage> socketMessages();
void clearSocketMessages();
// Buffers created and neither sent nor released.
size_t liveSocketBuffers();

}  // namespace kal::sim
