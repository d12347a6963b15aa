#include "storageMap/storageMapDispatcher.h"

#include "kzapal/protons/memory.h"
#include "kzapal/protons/userMemory.h"
#include "kzkal/memory.h"
#include "storageMap/statusCodes.h"

namespace storagemap {

using kzvorn_driver::nKZAPAL000::tEventDescriptor;
using kzvorn_driver::nKZAPAL000::tUserBuffer;
using nKZAPALS100::tStatus;

namespace {

constexpr uint64_t kLookUpFailed = 0xFFFFFFFF;

// The bytes a field holds, or 0 when the map has no such field.
uint64_t fieldBytes(StorageMapInterface& map, uint32_t id) {
    tStatus probe;
    const uint64_t count = map.getElementCount(id, probe);
    const uint64_t elementSize = map.getElementSize(id, probe);
    if (probe.isFatal()) return 0;
    return elementSize != 0 && count > UINT64_MAX / elementSize ? UINT64_MAX : count * elementSize;
}

// The kernel buffer of a raw transfer. Only a request that moves no more bytes than its field
// holds gets one: any larger request fails the map's range or element-size check whatever the
// data, so it is handed a one-byte stand-in instead of an allocation the caller chose the size of.
class BounceBuffer {
public:
    BounceBuffer(StorageMapInterface& map, uint32_t id, uint64_t size, tStatus& status) : size_(size) {
        if (status.isFatal() || size == 0) return;  // no buffer: the map reports the null array
        if (size > fieldBytes(map, id)) {
            data_ = &standIn_;
            return;
        }
        allocated_ = new (status) char[size];
        if (allocated_ == nullptr) return;
        nKZKAL240_memSet(allocated_, 0, size);
        data_ = allocated_;
    }
    ~BounceBuffer() { delete[] allocated_; }
    BounceBuffer(const BounceBuffer&) = delete;
    BounceBuffer& operator=(const BounceBuffer&) = delete;

    char* data() const { return data_; }
    // Whether the caller's bytes are worth copying: the map can accept the request.
    bool carriesData() const { return allocated_ != nullptr; }
    // Fits the user copy's 32-bit count: a carried transfer is no larger than its field.
    uint32_t size() const { return static_cast<uint32_t>(size_); }

private:
    uint64_t size_;
    char* data_ = nullptr;
    char* allocated_ = nullptr;
    char standIn_ = 0;
};

// Element size 0, or a transfer whose byte count does not fit in 64 bits.
bool checkTransferSize(uint64_t count, uint64_t elementSize, tStatus& status) {
    if (status.isFatal()) return false;
    if (elementSize == 0 || count > UINT64_MAX / elementSize) {
        KZ_SET_CODE(status, kStatusOutOfRange);
        return false;
    }
    return true;
}

}  // namespace

StorageMapInterface* StorageMapDispatcher::lookUp(tEventDescriptor& request, uint64_t nameAddress,
                                                  uint64_t nameLength, tStatus& status) {
    StorageMapInterface* map = nullptr;
    getRegistration(request, nameAddress, nameLength, map, status, nullptr);
    return status.isFatal() ? nullptr : map;
}

void StorageMapDispatcher::flush(tEventDescriptor& request, uint64_t nameAddress, uint64_t nameLength,
                                 bool force, tStatus& status) {
    StorageMapInterface* map = lookUp(request, nameAddress, nameLength, status);
    if (map != nullptr) map->flush(force, status);
}

void StorageMapDispatcher::refresh(tEventDescriptor& request, uint64_t nameAddress, uint64_t nameLength,
                                   tStatus& status) {
    StorageMapInterface* map = lookUp(request, nameAddress, nameLength, status);
    if (map != nullptr) map->refresh(status);
}

uint64_t StorageMapDispatcher::getElementCount(tEventDescriptor& request, uint64_t nameAddress,
                                               uint64_t nameLength, uint32_t id, tStatus& status) {
    StorageMapInterface* map = lookUp(request, nameAddress, nameLength, status);
    return map != nullptr ? map->getElementCount(id, status) : kLookUpFailed;
}

uint64_t StorageMapDispatcher::getElementSize(tEventDescriptor& request, uint64_t nameAddress,
                                              uint64_t nameLength, uint32_t id, tStatus& status) {
    StorageMapInterface* map = lookUp(request, nameAddress, nameLength, status);
    return map != nullptr ? map->getElementSize(id, status) : kLookUpFailed;
}

bool StorageMapDispatcher::isChecksumValid(tEventDescriptor& request, uint64_t nameAddress,
                                           uint64_t nameLength, tStatus& status) {
    StorageMapInterface* map = lookUp(request, nameAddress, nameLength, status);
    return map != nullptr && map->isChecksumValid(status);
}

void StorageMapDispatcher::setRaw(tEventDescriptor& request, uint64_t nameAddress, uint64_t nameLength,
                                  uint32_t id, uint64_t start, uint64_t count, uint64_t source,
                                  uint64_t elementSize, tStatus& status) {
    transferRaw(false, request, nameAddress, nameLength, id, start, count, source, elementSize, status);
}

void StorageMapDispatcher::getRaw(tEventDescriptor& request, uint64_t nameAddress, uint64_t nameLength,
                                  uint32_t id, uint64_t start, uint64_t count, uint64_t destination,
                                  uint64_t elementSize, tStatus& status) {
    transferRaw(true, request, nameAddress, nameLength, id, start, count, destination, elementSize, status);
}

void StorageMapDispatcher::transferRaw(bool toCaller, tEventDescriptor& request, uint64_t nameAddress,
                                       uint64_t nameLength, uint32_t id, uint64_t start, uint64_t count,
                                       uint64_t callerAddress, uint64_t elementSize, tStatus& status) {
    if (!checkTransferSize(count, elementSize, status)) return;
    StorageMapInterface* map = lookUp(request, nameAddress, nameLength, status);
    if (map == nullptr) return;
    BounceBuffer buffer(*map, id, count * elementSize, status);
    if (status.isFatal()) return;
    tUserBuffer caller(request, callerAddress, buffer.size(), status);
    if (toCaller) {
        map->getRaw(id, start, count, buffer.data(), elementSize, status);
        // A failed read leaves the caller's memory untouched.
        if (status.isNotFatal() && buffer.carriesData()) caller.writeToBuffer(0, buffer.data(), buffer.size(), status);
    } else {
        if (buffer.carriesData()) caller.readFromBuffer(0, buffer.data(), buffer.size(), status);
        map->setRaw(id, start, count, buffer.data(), elementSize, status);
    }
}

}  // namespace storagemap
