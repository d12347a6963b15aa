#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "board/hostAllocator.h"
#include "kal/sim/faults.h"
#include "kal/sim/user.h"
#include "kzkal/socket.h"

namespace {

struct Message {
    uint32_t port;
    uint32_t type;
    board::HostVector<uint8_t> bytes;
};

struct Sockets {
    std::mutex lock;
    board::HostVector<uintptr_t> buffers;  // live buffer handles
    board::HostVector<Message> messages;
    uintptr_t nextHandle = 0x50C700000000ull;
};

Sockets& sockets() {
    static Sockets instance;
    return instance;
}

// Removes a live buffer; a buffer the driver does not own is a fault of the driver.
void take(Sockets& s, void* buffer, const char* what) {
    for (auto it = s.buffers.begin(); it != s.buffers.end(); ++it)
        if (*it == reinterpret_cast<uintptr_t>(buffer)) {
            s.buffers.erase(it);
            return;
        }
    std::fprintf(stderr, "kal: %s (buffer %p)\n", what, buffer);
    std::abort();
}

}  // namespace

extern "C" void* nKZKAL250_createKernelSocketBuffer(uint32_t size) {
    if (kal::sim::shouldFail("createKernelSocketBuffer")) return nullptr;
    Sockets& s = sockets();
    std::lock_guard<std::mutex> guard(s.lock);
    uintptr_t handle = s.nextHandle += 0x10;
    s.buffers.push_back(handle);
    return reinterpret_cast<void*>(handle);
}

extern "C" int32_t nKZKAL250_kernelSocketSend(void* buffer, uint32_t port, uint32_t type, const void* message,
                                              uint32_t size) {
    Sockets& s = sockets();
    int32_t code = 0;
    if (kal::sim::shouldFail("kernelSocketSend", &code)) {
        std::lock_guard<std::mutex> guard(s.lock);
        take(s, buffer, "sending on a socket buffer the driver does not hold");
        s.buffers.push_back(reinterpret_cast<uintptr_t>(buffer));  // still the driver's
        return code != 0 ? code : KZKAL_ERR_SOFTWARE_FAULT;
    }
    std::lock_guard<std::mutex> guard(s.lock);
    take(s, buffer, "sending on a socket buffer the driver does not hold");
    auto bytes = static_cast<const uint8_t*>(message);
    s.messages.push_back({port, type, board::HostVector<uint8_t>(bytes, bytes + size)});
    return 0;
}

extern "C" void nKZKAL250_releaseKernelSocketBuffer(void* buffer) {
    Sockets& s = sockets();
    std::lock_guard<std::mutex> guard(s.lock);
    take(s, buffer, "releasing a socket buffer the driver does not hold");
}

namespace kal::sim {

std::vector<SocketMessage> socketMessages() {
    Sockets& s = sockets();
    std::lock_guard<std::mutex> guard(s.lock);
    std::vector<SocketMessage> result;
    for (const Message& m : s.messages)
        result.push_back({m.port, m.type, std::vector<uint8_t>(m.bytes.begin(), m.bytes.end())});
    return result;
}

void clearSocketMessages() {
    Sockets& s = sockets();
    std::lock_guard<std::mutex> guard(s.lock);
    s.messages.clear();
}

size_t liveSocketBuffers() {
    Sockets& s = sockets();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.buffers.size();
}

}  // namespace kal::sim
