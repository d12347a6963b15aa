// The device side of a memory window. The base class keeps its bytes in driver memory, so it serves
// as a RAM-backed device; accessors of real device memory override the operations.
#pragma once

#include <cstdint>

#include "kzapal/protons/status.h"
#include "kzhtl/vector.h"

namespace devicewindow {

class MemoryAccessor {
public:
    using tStatus = nKZAPALS100::tStatus;

    // A buffer of size bytes, all 0xFF.
    MemoryAccessor(uint64_t size, tStatus& status);
    // A buffer holding a copy of source.
    MemoryAccessor(const char* source, uint64_t length, tStatus& status);
    MemoryAccessor(const MemoryAccessor&) = delete;
    MemoryAccessor& operator=(const MemoryAccessor&) = delete;
    virtual ~MemoryAccessor() {}

    virtual void beginRead(tStatus& status) {}
    virtual void beginWrite(tStatus& status) {}
    virtual void endRead(tStatus& status) {}
    virtual void endWrite(tStatus& status) {}
    virtual void read(uint64_t index, uint64_t count, char* destination, tStatus& status);
    virtual void write(const char* source, uint64_t index, uint64_t count, tStatus& status);
    virtual uint64_t getSize() { return buffer_.size(); }

protected:
    // For accessors of device memory, which hold no buffer.
    MemoryAccessor() = default;

private:
    // The buffer's part [index, index + count), or null (-52005) when it does not lie inside.
    char* bufferRange(uint64_t index, uint64_t count, tStatus& status);

    kzhtl::Vector<char> buffer_;
};

}  // namespace devicewindow
