// Plays the kernel's part: loads the driver module through its entry point, plugs boards into
// the bus, opens device interfaces by name and sends requests as user mode does (the ioctl
// envelope included), then removes and deletes devices and unloads.
#pragma once

#include <cstdint>

#include "board/board.h"
#include "kal/sim/pci.h"
#include "kal/sim/user.h"
#include "kzkal/driver.h"

extern "C" int32_t nKZAPAL200_driverEntry(nKZKAL200_tDriverOperations* record);
extern "C" char nKZAPAL200_pciIDTable[];

namespace kal::sim {

class Session {
public:
    Session() = default;
    Session(nKZKAL200_tDriverOperations* record, void* session) : record_(record), session_(session) {}
    Session(Session&& other) noexcept : record_(other.record_), session_(other.session_) { other.session_ = nullptr; }
    Session& operator=(Session&& other) noexcept;
    ~Session() { close(); }

    explicit operator bool() const { return session_ != nullptr; }
    void* handle() const { return session_; }

    int32_t read(void* buffer, uint64_t size, uint64_t& count);
    int32_t write(const void* buffer, uint64_t size, uint64_t& count);

    struct Reply {
        int32_t result;
        uint32_t bytesReturned;  // as the envelope holds it afterwards
    };
    // Builds the 32-bit envelope around the records, as user mode does; the records and the
    // envelope are user memory for the call.
    Reply ioctl(uint32_t code, const void* input, uint32_t inputSize, void* output, uint32_t outputSize,
                uint32_t bytesReturned = 0);
    int32_t ioctlRaw(uint32_t code, uint64_t argument);
    int32_t createIONotifier(uint64_t cookie, uint32_t port, uint32_t type);
    int32_t destroyIONotifier(uint32_t type);

    int32_t map(UserMapRequest& request, uint16_t argument, void*& map, uint32_t& flag);
    void unmap(void* map);
    void close();

private:
    nKZKAL200_tDriverOperations* record_ = nullptr;
    void* session_ = nullptr;
};

// Whether the module's PCI ID table lists the function's four identifiers.
bool listedInPCIIDTable(const nKZKAL200_tPCIDevice& record);

class Kernel {
public:
    Kernel();
    ~Kernel();
    Kernel(const Kernel&) = delete;
    Kernel& operator=(const Kernel&) = delete;

    int32_t load();
    void unload();
    bool isLoaded() const { return loaded_; }
    nKZKAL200_tDriverOperations& record() { return record_; }

    PciFunction& plug(board::Board& board);
    // The add-device callback; the device lands in the function's slot. As a kernel does, only
    // for a function that the module's PCI ID table lists (else KZKAL_ERR_NOT_FOUND, and the
    // driver is not called), unless told to offer it whatever the table says.
    int32_t addDevice(PciFunction& function, bool whateverTheIDTable = false);
    // Stands in for add device: a device object the test built takes the function's slot.
    void adoptDevice(PciFunction& function, void* device) { slot(function) = device; }
    void* device(PciFunction& function) { return slot(function); }
    void removeDevice(PciFunction& function);
    void deleteDevice(PciFunction& function);

    // Opens the live interface registered under that name; result receives the callback's code.
    Session open(const char* name, int32_t* result = nullptr);

private:
    void*& slot(PciFunction& function);

    nKZKAL200_tDriverOperations record_{};
    bool loaded_ = false;
    struct Plugged {
        PciFunction* function;
        void* slot;
    };
    Plugged plugged_[8]{};
    int pluggedCount_ = 0;
};

}  // namespace kal::sim
