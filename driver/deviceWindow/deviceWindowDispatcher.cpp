#include "deviceWindow/deviceWindowDispatcher.h"

#include "deviceWindow/deviceWindow.h"
#include "kzapal/protons/userMemory.h"
#include "kzhtl/vector.h"

namespace devicewindow {

using kzvorn_driver::nKZAPAL000::tEventDescriptor;
using kzvorn_driver::nKZAPAL000::tUserBuffer;
using nKZAPALS100::tStatus;

namespace {

// The kernel buffer of a transfer, zero-filled; none for size 0, so the window reports the null
// pointer. Only a range inside the window gets an allocation: any other range fails the window's
// range check whatever the data, so it is handed a one-byte stand-in instead of an allocation of a
// size the caller chose.
class BounceBuffer {
public:
    BounceBuffer(DeviceWindow& window, uint64_t offset, uint64_t size, tStatus& status) {
        if (status.isFatal() || size == 0) return;
        if (!rangeInside(offset, size, window.getSizeInBytes())) {
            data_ = &standIn_;
            return;
        }
        if (bytes_.resize(size, status)) data_ = bytes_.data();
    }

    char* data() { return data_; }
    // Whether bytes move between the caller and the window; a carried range fits in the window,
    // whose size fits the user copy's 32-bit count.
    bool carriesData() const { return !bytes_.empty(); }
    uint32_t size() const { return static_cast<uint32_t>(bytes_.size()); }

private:
    kzhtl::Vector<char> bytes_;
    char* data_ = nullptr;
    char standIn_ = 0;
};

}  // namespace

DeviceWindow* DeviceWindowDispatcher::lookUp(tEventDescriptor& request, uint64_t nameAddress, uint64_t nameLength,
                                             tStatus& status) {
    DeviceWindow* window = nullptr;
    getRegistration(request, nameAddress, nameLength, window, status, nullptr);
    return status.isFatal() ? nullptr : window;
}

void DeviceWindowDispatcher::transferOut(bool refreshFirst, tEventDescriptor& request, uint64_t nameAddress,
                                         uint64_t nameLength, uint64_t offset, uint64_t size, uint64_t destination,
                                         tStatus& status) {
    DeviceWindow* window = lookUp(request, nameAddress, nameLength, status);
    if (window == nullptr) return;
    BounceBuffer buffer(*window, offset, size, status);
    if (status.isFatal()) return;
    if (refreshFirst) {
        window->read(offset, size, buffer.data(), status);
    } else {
        window->get(offset, size, buffer.data(), status);
    }
    if (status.isNotFatal() && buffer.carriesData()) {
        tUserBuffer(request, destination, buffer.size(), status).writeToBuffer(0, buffer.data(), buffer.size(), status);
    }
}

void DeviceWindowDispatcher::transferIn(bool flushAfter, bool force, tEventDescriptor& request,
                                        uint64_t nameAddress, uint64_t nameLength, uint64_t source, uint64_t offset,
                                        uint64_t size, tStatus& status) {
    DeviceWindow* window = lookUp(request, nameAddress, nameLength, status);
    if (window == nullptr) return;
    BounceBuffer buffer(*window, offset, size, status);
    if (buffer.carriesData()) {
        tUserBuffer(request, source, buffer.size(), status).readFromBuffer(0, buffer.data(), buffer.size(), status);
    }
    if (flushAfter) {
        window->write(buffer.data(), offset, size, force, status);
    } else {
        window->set(buffer.data(), offset, size, status);
    }
}

void DeviceWindowDispatcher::get(tEventDescriptor& request, uint64_t nameAddress, uint64_t nameLength,
                                 uint64_t offset, uint64_t size, uint64_t destination, tStatus& status) {
    transferOut(false, request, nameAddress, nameLength, offset, size, destination, status);
}

void DeviceWindowDispatcher::read(tEventDescriptor& request, uint64_t nameAddress, uint64_t nameLength,
                                  uint64_t offset, uint64_t size, uint64_t destination, tStatus& status) {
    transferOut(true, request, nameAddress, nameLength, offset, size, destination, status);
}

void DeviceWindowDispatcher::set(tEventDescriptor& request, uint64_t nameAddress, uint64_t nameLength,
                                 uint64_t source, uint64_t offset, uint64_t size, tStatus& status) {
    transferIn(false, false, request, nameAddress, nameLength, source, offset, size, status);
}

void DeviceWindowDispatcher::write(tEventDescriptor& request, uint64_t nameAddress, uint64_t nameLength,
                                   uint64_t source, uint64_t offset, uint64_t size, bool force, tStatus& status) {
    transferIn(true, force, request, nameAddress, nameLength, source, offset, size, status);
}

void DeviceWindowDispatcher::flush(tEventDescriptor& request, uint64_t nameAddress, uint64_t nameLength,
                                   uint64_t offset, uint64_t size, bool force, tStatus& status) {
    DeviceWindow* window = lookUp(request, nameAddress, nameLength, status);
    if (window != nullptr) window->flush(offset, size, force, status);
}

void DeviceWindowDispatcher::refresh(tEventDescriptor& request, uint64_t nameAddress, uint64_t nameLength,
                                     uint64_t offset, uint64_t size, tStatus& status) {
    DeviceWindow* window = lookUp(request, nameAddress, nameLength, status);
    if (window != nullptr) window->refresh(offset, size, status);
}

uint64_t DeviceWindowDispatcher::getSizeInBytes(tEventDescriptor& request, uint64_t nameAddress,
                                                uint64_t nameLength, tStatus& status) {
    DeviceWindow* window = lookUp(request, nameAddress, nameLength, status);
    return window != nullptr ? window->getSizeInBytes() : 0;
}

}  // namespace devicewindow
