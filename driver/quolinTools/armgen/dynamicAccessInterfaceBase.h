// The interface every register map implements. Its operations keep this slot order in every map.
#pragma once

#include <cstdint>

namespace arm {

// Width class of a field: 0 one bit, 1 two to eight bits, 2 nine to sixteen, 3 seventeen to 32.
enum FieldType : uint32_t {
    kFieldTypeBit = 0,
    kFieldTypeUpTo8Bits = 1,
    kFieldTypeUpTo16Bits = 2,
    kFieldTypeUpTo32Bits = 3,
};

// Field identifier: bit 31 whole register, bit 30 read side, bits 29-24 the field's lowest bit
// (bit-reversed), bits 23-0 the register key. The trailing u32 of the per-field operations is an
// extension value that no map reads. Windowed maps add `reinitialize` after the destructors.
template <class tStatus>
class DynamicAccessInterfaceBase {
public:
    virtual void get(uint32_t id, uint64_t& value, tStatus& status, uint32_t extension) = 0;
    virtual void set(uint32_t id, uint64_t value, tStatus& status, uint32_t extension) = 0;
    virtual void read(uint32_t id, uint64_t& value, tStatus& status, uint32_t extension) = 0;
    virtual void write(uint32_t id, uint64_t value, bool force, tStatus& status, uint32_t extension) = 0;
    virtual void flush(uint32_t id, bool force, tStatus& status, uint32_t extension) = 0;
    virtual void refresh(uint32_t id, tStatus& status, uint32_t extension) = 0;
    virtual void getRegisterFormat(uint32_t id, uint32_t& count, FieldType* types, uint64_t* masks,
                                   tStatus& status) const = 0;
    virtual void flushRegMap(bool force, tStatus& status) = 0;
    virtual void refreshRegMap(tStatus& status) = 0;
    virtual void markDirtyRegMap() = 0;
    virtual const char* getVersion() const = 0;
    virtual const char* getOldestCompatibleVersion() const = 0;
    virtual ~DynamicAccessInterfaceBase() {}
};

}  // namespace arm
