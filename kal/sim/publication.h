// What the driver published through the kernel layer: its record, device interfaces, properties.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "kzkal/driver.h"

namespace kal::sim {

struct RegisteredInterface {
    void* handle;
    void* driver;
    void* device;
    std::string name;
    uint32_t index;
    void* interface;
    bool live;
    bool announced;  // notifyUserspaceAddEvent was called
    uint64_t unregisteredAs;  // place in the order of all unregistrations (from 1); 0 while live
};

struct RegisteredProperty {
    void* handle;
    uint32_t scope;
    void* owner;
    std::string name;
    std::vector<uint8_t> value;  // copied at registration
    const void* address;
    uint32_t size;
    bool live;
};

// The driver-operations record while the driver is registered, else null.
nKZKAL200_tDriverOperations* registeredDriver();
// In registration order, unregistered ones included.
std::vector<RegisteredInterface> interfaces();
std::vector<RegisteredProperty> properties();
// The live properties of one owner and scope, in registration order.
std::vector<RegisteredProperty> liveProperties(uint32_t scope, void* owner);
// The interface object of the live interface registered under that name, or null. Allocates
// nothing, so it serves while the system's allocations fail.
void* findInterface(const char* name);
// Interfaces and properties registered and not yet unregistered; allocates nothing.
size_t liveInterfaceCount();
size_t livePropertyCount();
// Forgets every record (a fresh kernel).
void resetPublication();

}  // namespace kal::sim
