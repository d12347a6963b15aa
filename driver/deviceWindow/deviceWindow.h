// A byte-addressed view of device memory with a cached copy in the driver: callers change bytes in
// the cache and flush them to the device, or refresh the cache from the device.
#pragma once

#include <cstdint>

#include "kzapal/protons/status.h"

namespace devicewindow {

class DeviceWindow {
public:
    using tStatus = nKZAPALS100::tStatus;

    DeviceWindow() = default;
    DeviceWindow(const DeviceWindow&) = delete;
    DeviceWindow& operator=(const DeviceWindow&) = delete;
    virtual ~DeviceWindow() {}

    // Copies from the cache, fetching from the device only what the cache does not hold.
    virtual void get(uint64_t offset, uint64_t size, char* destination, tStatus& status) = 0;
    // Changes the cache only.
    virtual void set(const char* source, uint64_t offset, uint64_t size, tStatus& status) = 0;
    // Writes the changed bytes of the range (every byte when forced).
    virtual void flush(uint64_t offset, uint64_t size, bool force, tStatus& status) = 0;
    // Refreshes the range from the device, then copies it out.
    virtual void read(uint64_t offset, uint64_t size, char* destination, tStatus& status) = 0;
    // set, then flush of the same range.
    virtual void write(const char* source, uint64_t offset, uint64_t size, bool force, tStatus& status) = 0;
    virtual void refresh(uint64_t offset, uint64_t size, tStatus& status) = 0;
    virtual uint64_t getSizeInBytes() = 0;
};

// True when [offset, offset + size) lies inside [0, limit); an empty range at the limit does.
inline bool rangeInside(uint64_t offset, uint64_t size, uint64_t limit) {
    return offset <= limit && size <= limit - offset;
}

// The checks window operations start with; false when the status holds an error. A range outside
// [0, limit) records outsideCode; a null pointer -240031, before the range is looked at.
bool checkRange(uint64_t offset, uint64_t size, uint64_t limit, int64_t outsideCode, nKZAPALS100::tStatus& status);
bool checkPointerAndRange(const void* pointer, uint64_t offset, uint64_t size, uint64_t limit, int64_t outsideCode,
                          nKZAPALS100::tStatus& status);

}  // namespace devicewindow
