// The registry of device windows, with the handlers of the window requests. Each handler looks its
// window up by the name in the caller's memory and calls one window operation; the window's own
// lock serialises it, no registration lock is taken. Bytes move between the caller's memory and the
// window through a kernel buffer.
#pragma once

#include <cstdint>

#include "kzRegiTools/dispatcher.h"

namespace devicewindow {
class DeviceWindow;
}

// Windows are registered without a version and asked for by their bare names.
template <>
constexpr bool kzregitools::kRegistersVersioned<devicewindow::DeviceWindow> = false;

namespace devicewindow {

class DeviceWindowDispatcher : public kzregitools::Dispatcher<DeviceWindow> {
public:
    void get(tEventDescriptor& request, uint64_t nameAddress, uint64_t nameLength, uint64_t offset, uint64_t size,
             uint64_t destination, tStatus& status);
    void set(tEventDescriptor& request, uint64_t nameAddress, uint64_t nameLength, uint64_t source, uint64_t offset,
             uint64_t size, tStatus& status);
    void flush(tEventDescriptor& request, uint64_t nameAddress, uint64_t nameLength, uint64_t offset, uint64_t size,
               bool force, tStatus& status);
    void read(tEventDescriptor& request, uint64_t nameAddress, uint64_t nameLength, uint64_t offset, uint64_t size,
              uint64_t destination, tStatus& status);
    void write(tEventDescriptor& request, uint64_t nameAddress, uint64_t nameLength, uint64_t source,
               uint64_t offset, uint64_t size, bool force, tStatus& status);
    void refresh(tEventDescriptor& request, uint64_t nameAddress, uint64_t nameLength, uint64_t offset,
                 uint64_t size, tStatus& status);
    // 0 when the look-up fails.
    uint64_t getSizeInBytes(tEventDescriptor& request, uint64_t nameAddress, uint64_t nameLength, tStatus& status);

private:
    DeviceWindow* lookUp(tEventDescriptor& request, uint64_t nameAddress, uint64_t nameLength, tStatus& status);
    // get and read: the window fills the kernel buffer, which then goes to the caller.
    void transferOut(bool refreshFirst, tEventDescriptor& request, uint64_t nameAddress, uint64_t nameLength,
                     uint64_t offset, uint64_t size, uint64_t destination, tStatus& status);
    // set and write: the caller's bytes go to the kernel buffer, then to the window.
    void transferIn(bool flushAfter, bool force, tEventDescriptor& request, uint64_t nameAddress,
                    uint64_t nameLength, uint64_t source, uint64_t offset, uint64_t size, tStatus& status);
};

}  // namespace devicewindow
