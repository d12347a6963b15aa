// The registry of storage maps by name, with the handlers of the storage-map requests. Each handler
// looks its map up by the name and version in the caller's memory (a warning that the requested
// version is newer stays in the status and the request is carried out) and calls one map
// operation; the map's own lock serialises the operation, no registration lock is taken.
#pragma once

#include <cstdint>

#include "kzRegiTools/dispatcher.h"
#include "storageMap/storageMapInterface.h"

namespace storagemap {

class StorageMapDispatcher : public kzregitools::Dispatcher<StorageMapInterface> {
public:

    void flush(tEventDescriptor& request, uint64_t nameAddress, uint64_t nameLength, bool force,
               tStatus& status);
    void refresh(tEventDescriptor& request, uint64_t nameAddress, uint64_t nameLength, tStatus& status);
    // 0xFFFFFFFF when the look-up fails.
    uint64_t getElementCount(tEventDescriptor& request, uint64_t nameAddress, uint64_t nameLength,
                             uint32_t id, tStatus& status);
    uint64_t getElementSize(tEventDescriptor& request, uint64_t nameAddress, uint64_t nameLength,
                            uint32_t id, tStatus& status);
    // The elements move between the caller's memory and the map's cached copy through a kernel
    // buffer of count x elementSize bytes.
    void setRaw(tEventDescriptor& request, uint64_t nameAddress, uint64_t nameLength, uint32_t id,
                uint64_t start, uint64_t count, uint64_t source, uint64_t elementSize, tStatus& status);
    void getRaw(tEventDescriptor& request, uint64_t nameAddress, uint64_t nameLength, uint32_t id,
                uint64_t start, uint64_t count, uint64_t destination, uint64_t elementSize, tStatus& status);
    bool isChecksumValid(tEventDescriptor& request, uint64_t nameAddress, uint64_t nameLength,
                         tStatus& status);

private:
    StorageMapInterface* lookUp(tEventDescriptor& request, uint64_t nameAddress, uint64_t nameLength,
                                tStatus& status);
    void transferRaw(bool toCaller, tEventDescriptor& request, uint64_t nameAddress, uint64_t nameLength,
                     uint32_t id, uint64_t start, uint64_t count, uint64_t callerAddress, uint64_t elementSize,
                     tStatus& status);
};

}  // namespace storagemap
