// The manufacturing record: serial number, board revisions and the values the bring-up writes into
// the board (digipot, bias DAC).
#pragma once

#include "storageMap/generatedStorageMap.h"

namespace kzvorn_storagemaps {

// F(kind, name, Name, offset, count, typeCode, elementSize)
#define KZ_MANUFACTURING_STORAGE_MAP_FIELDS(F)                                                  \
    F(Checksum, checksum, Checksum, 0, 1, 12, 4)                                                \
    F(Single, mapVersion, MapVersion, 4, 1, 5, 4)                                               \
    F(Single, oldestCompatibleMapVersion, OldestCompatibleMapVersion, 8, 1, 5, 4)               \
    F(Single, boardSerialNumber, BoardSerialNumber, 12, 1, 12, 4)                               \
    F(Single, boardRevision, BoardRevision, 16, 1, 9, 1)                                        \
    F(Single, oldestCompatibleBoardRevision, OldestCompatibleBoardRevision, 17, 1, 9, 1)        \
    F(Single, commonModeCurrentDigipot, CommonModeCurrentDigipot, 18, 1, 9, 1)                  \
    F(Single, sinkingBoardBiasDAC, SinkingBoardBiasDAC, 19, 1, 12, 4)

KZ_STORAGE_MAP_ACCESSOR_INTERFACE(ManufacturingStorageMapInterface, KZ_MANUFACTURING_STORAGE_MAP_FIELDS)

class ManufacturingStorageMap : public storagemap::GeneratedStorageMap<ManufacturingStorageMapInterface, 0x1000> {
public:
    ManufacturingStorageMap(uint64_t base, devicewindow::DeviceWindow* window, tStatus& status)
        : GeneratedStorageMap("1.0.0d1", base, &kFields[0], window, status) {}

    static constexpr const char* kMapNames[] = {"Manufacturing", nullptr};

    KZ_STORAGE_MAP_GENERATED_MEMBERS(KZ_MANUFACTURING_STORAGE_MAP_FIELDS, kSize, 30)
};

}  // namespace kzvorn_storagemaps
