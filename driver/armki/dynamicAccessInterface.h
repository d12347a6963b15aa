// The one interface every register map implements. The slot order is fixed: user mode reaches
// maps through it by name, and controllers reach them typed through the maps' nested registers.
#pragma once

#include <cstdint>

namespace arm {

// Width class of a field as the format reply reports it.
enum class FieldType : uint32_t {
    kOneBit = 0,
    kUpTo8Bits = 1,
    kUpTo16Bits = 2,
    kUpTo32Bits = 3,
};

template <class StatusT>
class DynamicAccessInterfaceBase {
public:
    // The trailing value of the six per-field operations is passed through from user mode;
    // no map reads it.
    virtual void get(uint32_t id, uint64_t& value, StatusT& status, uint32_t extension = 0) = 0;
    virtual void set(uint32_t id, uint64_t value, StatusT& status, uint32_t extension = 0) = 0;
    virtual void read(uint32_t id, uint64_t& value, StatusT& status, uint32_t extension = 0) = 0;
    virtual void write(uint32_t id, uint64_t value, bool force, StatusT& status, uint32_t extension = 0) = 0;
    virtual void flush(uint32_t id, bool force, StatusT& status, uint32_t extension = 0) = 0;
    virtual void refresh(uint32_t id, StatusT& status, uint32_t extension = 0) = 0;
    virtual void getRegisterFormat(uint32_t id, uint32_t& count, FieldType* types, uint64_t* masks,
                                   StatusT& status) const = 0;
    virtual void flushRegMap(bool force, StatusT& status) = 0;
    virtual void refreshRegMap(StatusT& status) = 0;
    virtual void markDirtyRegMap() = 0;
    virtual const char* getVersion() const = 0;
    virtual const char* getOldestCompatibleVersion() const = 0;
    virtual ~DynamicAccessInterfaceBase() {}
    // Windowed maps add `reinitialize` as the next slot.
};

}  // namespace arm
