#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "board/hostAllocator.h"
#include "kal/sim/faults.h"
#include "kal/sim/publication.h"
#include "kzkal/driver.h"

namespace {

struct Interface {
    uintptr_t handle;
    void* driver;
    void* device;
    board::HostString name;
    uint32_t index;
    void* interface;
    bool live;
    bool announced;
    uint64_t unregisteredAs;  // 1 for the first interface unregistered, 0 while live
};

struct Property {
    uintptr_t handle;
    uint32_t scope;
    void* owner;
    board::HostString name;
    board::HostVector<uint8_t> value;
    const void* address;
    uint32_t size;
    bool live;
};

struct Publication {
    std::mutex lock;
    nKZKAL200_tDriverOperations* driver = nullptr;
    board::HostVector<Interface> interfaces;
    board::HostVector<Property> properties;
    uintptr_t nextHandle = 0x7E5700000000ull;
    uint64_t unregistrations = 0;
};

Publication& publication() {
    static Publication instance;
    return instance;
}

[[noreturn]] void fail(const char* what, uintptr_t handle) {
    std::fprintf(stderr, "kal: %s (handle 0x%llx)\n", what, static_cast<unsigned long long>(handle));
    std::abort();
}

template <class Records>
auto* findLive(Records& records, void* handle, const char* what) {
    for (auto& record : records)
        if (record.handle == reinterpret_cast<uintptr_t>(handle)) {
            if (!record.live) fail(what, record.handle);
            return &record;
        }
    fail(what, reinterpret_cast<uintptr_t>(handle));
}

}  // namespace

extern "C" int32_t nKZKAL200_registerDriver(nKZKAL200_tDriverOperations* record) {
    int32_t code = 0;
    if (kal::sim::shouldFail("registerDriver", &code)) return code != 0 ? code : KZKAL_ERR_SOFTWARE_FAULT;
    Publication& p = publication();
    std::lock_guard<std::mutex> guard(p.lock);
    if (p.driver != nullptr) return KZKAL_ERR_VALUE_CONFLICT;
    p.driver = record;
    return 0;
}

extern "C" void nKZKAL200_unregisterDriver(nKZKAL200_tDriverOperations* record) {
    Publication& p = publication();
    std::lock_guard<std::mutex> guard(p.lock);
    if (p.driver != record) fail("unregistering a driver that is not registered", reinterpret_cast<uintptr_t>(record));
    p.driver = nullptr;
}

extern "C" void* nKZKAL240_registerDeviceInterface(void* driver, void* device, const char* name, uint32_t index,
                                                   void* interface) {
    if (kal::sim::shouldFail("registerDeviceInterface")) return nullptr;
    Publication& p = publication();
    std::lock_guard<std::mutex> guard(p.lock);
    uintptr_t handle = p.nextHandle += 0x10;
    p.interfaces.push_back({handle, driver, device, board::HostString(name != nullptr ? name : ""), index, interface,
                            true, false, 0});
    return reinterpret_cast<void*>(handle);
}

extern "C" void nKZKAL200_unregisterDeviceInterface(void* handle) {
    Publication& p = publication();
    std::lock_guard<std::mutex> guard(p.lock);
    Interface* record = findLive(p.interfaces, handle, "device interface unregistered twice or never registered");
    record->live = false;
    record->unregisteredAs = ++p.unregistrations;
}

extern "C" void nKZKAL240_notifyUserspaceAddEvent(void* handle) {
    Publication& p = publication();
    std::lock_guard<std::mutex> guard(p.lock);
    findLive(p.interfaces, handle, "announcing an interface that is not registered")->announced = true;
}

extern "C" void* nKZKAL200_registerProperty(uint32_t scope, void* owner, const char* name, const void* value,
                                            uint32_t size) {
    if (kal::sim::shouldFail("registerProperty")) return nullptr;
    Publication& p = publication();
    std::lock_guard<std::mutex> guard(p.lock);
    uintptr_t handle = p.nextHandle += 0x10;
    Property property{handle, scope, owner, board::HostString(name != nullptr ? name : ""), {}, value, size, true};
    if (value != nullptr && size > 0) {
        auto bytes = static_cast<const uint8_t*>(value);
        property.value.assign(bytes, bytes + size);
    }
    p.properties.push_back(std::move(property));
    return reinterpret_cast<void*>(handle);
}

extern "C" void nKZKAL200_unregisterProperty(void* handle) {
    if (handle == nullptr) return;
    Publication& p = publication();
    std::lock_guard<std::mutex> guard(p.lock);
    findLive(p.properties, handle, "property unregistered twice or never registered")->live = false;
}

namespace kal::sim {

namespace {

RegisteredProperty copy(const Property& r) {
    return {reinterpret_cast<void*>(r.handle), r.scope, r.owner, std::string(r.name.c_str()),
            std::vector<uint8_t>(r.value.begin(), r.value.end()), r.address, r.size, r.live};
}

template <class Records>
size_t countLive(const Records& records) {
    size_t count = 0;
    for (const auto& record : records) count += record.live;
    return count;
}

}  // namespace

nKZKAL200_tDriverOperations* registeredDriver() {
    Publication& p = publication();
    std::lock_guard<std::mutex> guard(p.lock);
    return p.driver;
}

std::vector<RegisteredInterface> interfaces() {
    Publication& p = publication();
    std::lock_guard<std::mutex> guard(p.lock);
    std::vector<RegisteredInterface> result;
    for (const Interface& r : p.interfaces)
        result.push_back({reinterpret_cast<void*>(r.handle), r.driver, r.device, std::string(r.name.c_str()), r.index,
                          r.interface, r.live, r.announced, r.unregisteredAs});
    return result;
}

std::vector<RegisteredProperty> properties() {
    Publication& p = publication();
    std::lock_guard<std::mutex> guard(p.lock);
    std::vector<RegisteredProperty> result;
    for (const Property& r : p.properties) result.push_back(copy(r));
    return result;
}

std::vector<RegisteredProperty> liveProperties(uint32_t scope, void* owner) {
    Publication& p = publication();
    std::lock_guard<std::mutex> guard(p.lock);
    std::vector<RegisteredProperty> result;
    for (const Property& r : p.properties)
        if (r.live && r.scope == scope && r.owner == owner) result.push_back(copy(r));
    return result;
}

void* findInterface(const char* name) {
    Publication& p = publication();
    std::lock_guard<std::mutex> guard(p.lock);
    for (const Interface& r : p.interfaces)
        if (r.live && std::strcmp(r.name.c_str(), name) == 0) return r.interface;
    return nullptr;
}

size_t liveInterfaceCount() {
    Publication& p = publication();
    std::lock_guard<std::mutex> guard(p.lock);
    return countLive(p.interfaces);
}

size_t livePropertyCount() {
    Publication& p = publication();
    std::lock_guard<std::mutex> guard(p.lock);
    return countLive(p.properties);
}

void resetPublication() {
    Publication& p = publication();
    std::lock_guard<std::mutex> guard(p.lock);
    p.driver = nullptr;
    p.interfaces.clear();
    p.properties.clear();
}

}  // namespace kal::sim
