// The 32 KB byte area at the start of the flash. The system stores and hands it out by name and
// never interprets it; it has no checksum.
#pragma once

#include "storageMap/generatedStorageMap.h"

namespace kzvorn_storagemaps {

// F(kind, name, Name, offset, count, typeCode, elementSize)
#define KZ_POSC_STORAGE_MAP_FIELDS(F) F(Array, POSC, POSC, 0, 32768, 9, 1)

KZ_STORAGE_MAP_ACCESSOR_INTERFACE(PoscStorageMapInterface, KZ_POSC_STORAGE_MAP_FIELDS)

class PoscStorageMap : public storagemap::GeneratedStorageMap<PoscStorageMapInterface, 0x8000> {
public:
    PoscStorageMap(uint64_t base, devicewindow::DeviceWindow* window, tStatus& status)
        : GeneratedStorageMap("1.0.0d0", base, nullptr, window, status) {}

    static constexpr const char* kMapNames[] = {"Posc", nullptr};

    KZ_STORAGE_MAP_GENERATED_MEMBERS(KZ_POSC_STORAGE_MAP_FIELDS, kSize, 2)
};

}  // namespace kzvorn_storagemaps
