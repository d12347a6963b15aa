#include "kal/sim/harness.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "kal/sim/publication.h"

namespace kal::sim {

Session& Session::operator=(Session&& other) noexcept {
    if (this != &other) {
        close();
        record_ = other.record_;
        session_ = other.session_;
        other.session_ = nullptr;
    }
    return *this;
}

int32_t Session::read(void* buffer, uint64_t size, uint64_t& count) {
    UserMemory user(buffer, size);
    return record_->read(session_, reinterpret_cast<uint64_t>(buffer), size, 0, &count);
}

int32_t Session::write(const void* buffer, uint64_t size, uint64_t& count) {
    UserMemory user(buffer, size);
    return record_->write(session_, reinterpret_cast<uint64_t>(buffer), size, 0, &count);
}

Session::Reply Session::ioctl(uint32_t code, const void* input, uint32_t inputSize, void* output,
                              uint32_t outputSize, uint32_t bytesReturned) {
    struct {
        uint64_t inputAddress;
        uint64_t outputAddress;
        uint32_t inputSize;
        uint32_t outputSize;
        uint32_t bytesReturned;
        uint32_t reserved;
    } envelope{reinterpret_cast<uint64_t>(input), reinterpret_cast<uint64_t>(output), inputSize, outputSize,
               bytesReturned, 0};
    static_assert(sizeof(envelope) == 32, "the ioctl envelope is 32 bytes");
    UserMemory userEnvelope(&envelope, sizeof(envelope));
    UserMemory userInput(input, input != nullptr ? inputSize : 0);
    UserMemory userOutput(output, output != nullptr ? outputSize : 0);
    int32_t result = record_->ioctl(session_, code, reinterpret_cast<uint64_t>(&envelope));
    return {result, envelope.bytesReturned};
}

int32_t Session::ioctlRaw(uint32_t code, uint64_t argument) { return record_->ioctl(session_, code, argument); }

int32_t Session::createIONotifier(uint64_t cookie, uint32_t port, uint32_t type) {
    struct {
        uint64_t cookie;
        uint32_t port;
        uint32_t type;
    } block{cookie, port, type};
    UserMemory user(&block, sizeof(block));
    return record_->ioctl(session_, 0x4010FF00, reinterpret_cast<uint64_t>(&block));
}

int32_t Session::destroyIONotifier(uint32_t type) { return record_->ioctl(session_, 0xFF01, type); }

int32_t Session::map(UserMapRequest& request, uint16_t argument, void*& map, uint32_t& flag) {
    return record_->mapMemory(session_, argument, &request, &flag, &map);
}

void Session::unmap(void* map) { record_->unmapMemory(map); }

void Session::close() {
    if (session_ == nullptr) return;
    record_->close(session_);
    session_ = nullptr;
}

Kernel::Kernel() { resetPublication(); }

Kernel::~Kernel() {
    for (int i = 0; i < pluggedCount_; ++i) {
        if (plugged_[i].slot != nullptr && loaded_) {
            record_.removeDevice(plugged_[i].slot);
            record_.deleteDevice(plugged_[i].slot);
        }
        unplugBoard(*plugged_[i].function);
    }
    if (loaded_) unload();
}

int32_t Kernel::load() {
    int32_t result = nKZAPAL200_driverEntry(&record_);
    loaded_ = result >= 0;
    return result;
}

void Kernel::unload() {
    if (!loaded_) return;
    record_.unload(&record_);
    loaded_ = false;
}

PciFunction& Kernel::plug(board::Board& board) {
    if (pluggedCount_ == static_cast<int>(sizeof(plugged_) / sizeof(plugged_[0]))) {
        std::fprintf(stderr, "kal: too many boards plugged\n");
        std::abort();
    }
    PciFunction& function = plugBoard(board);
    plugged_[pluggedCount_++] = {&function, nullptr};
    return function;
}

void*& Kernel::slot(PciFunction& function) {
    for (int i = 0; i < pluggedCount_; ++i)
        if (plugged_[i].function == &function) return plugged_[i].slot;
    std::fprintf(stderr, "kal: board not plugged into this kernel\n");
    std::abort();
}

bool listedInPCIIDTable(const nKZKAL200_tPCIDevice& record) {
    const char* line = std::strchr(nKZAPAL200_pciIDTable, '\n');
    while (line != nullptr && std::strncmp(line + 1, "nKZKAL200_endPCIIDTable", 23) != 0) {
        unsigned vendor = 0, device = 0, subsystemVendor = 0, subsystem = 0;
        if (std::sscanf(line + 1, "%x %x %x %x", &vendor, &device, &subsystemVendor, &subsystem) == 4 &&
            vendor == record.vendorId && device == record.deviceId && subsystemVendor == record.subsystemVendorId &&
            subsystem == record.subsystemId)
            return true;
        line = std::strchr(line + 1, '\n');
    }
    return false;
}

int32_t Kernel::addDevice(PciFunction& function, bool whateverTheIDTable) {
    if (!whateverTheIDTable && !listedInPCIIDTable(function.record)) return KZKAL_ERR_NOT_FOUND;
    void*& device = slot(function);
    device = &function.record;  // the kernel's own device handle, until the driver replaces it
    int32_t result = record_.addDevice(&function.record, nullptr, &device);
    if (result != 0) device = nullptr;
    return result;
}

void Kernel::removeDevice(PciFunction& function) {
    if (void* device = slot(function)) record_.removeDevice(device);
}

void Kernel::deleteDevice(PciFunction& function) {
    void*& device = slot(function);
    record_.deleteDevice(device);
    device = nullptr;
}

Session Kernel::open(const char* name, int32_t* result) {
    void* slot = findInterface(name);
    if (slot == nullptr) {
        if (result != nullptr) *result = KZKAL_ERR_NOT_FOUND;
        return Session();
    }
    int32_t code = record_.open(nullptr, &slot);
    if (result != nullptr) *result = code;
    return code == 0 ? Session(&record_, slot) : Session();
}

}  // namespace kal::sim
