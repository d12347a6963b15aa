// Everything a storage map does except describing its fields: range and type checks, byte order,
// strings, the checksum, flush and refresh. A map holds no data of its own; its contents are the
// window's cached copy of its range.
#pragma once

#include <cstdint>

#include "deviceWindow/deviceWindow.h"
#include "kzapal/protons/synchronization.h"
#include "storageMap/checksum.h"
#include "storageMap/statusCodes.h"
#include "storageMap/storageMapInterface.h"

namespace storagemap {

class StorageMapCommon : public StorageMapInterface {
public:
    using FieldInfo = storagemap::FieldInfo;

    // Stores its arguments and creates the map's lock; touches no device. The lock is created even
    // when the status already holds an error (a map set builds all its maps whatever the status),
    // and a failure to create it is merged into the status.
    StorageMapCommon(const char* versionText, const char* oldestCompatibleVersionText, uint32_t byteOrder,
                     uint64_t base, uint64_t size, ChecksumInterface* checksumAlgorithm,
                     const FieldInfo* checksumField, devicewindow::DeviceWindow* window, tStatus& status);
    ~StorageMapCommon() override = default;
    StorageMapCommon(const StorageMapCommon&) = delete;
    StorageMapCommon& operator=(const StorageMapCommon&) = delete;

    const char* getVersion() override { return versionText; }
    const char* getOldestCompatibleVersion() override { return oldestCompatibleVersionText; }
    void flush(bool force, tStatus& status) override;
    void refresh(tStatus& status) override;
    uint64_t getElementCount(uint32_t id, tStatus& status) override;
    uint64_t getElementSize(uint32_t id, tStatus& status) override;
    void setRaw(uint32_t id, uint64_t start, uint64_t count, const void* source, uint64_t elementSize,
                tStatus& status) override;
    void getRaw(uint32_t id, uint64_t start, uint64_t count, void* destination, uint64_t elementSize,
                tStatus& status) override;

#define KZ_STORAGE_MAP_COMMON_ACCESSORS(code)                                                        \
    void setType##code(uint32_t id, uint64_t start, uint64_t count, const StorageMapElement<code>* source, \
                       tStatus& status) override {                                                    \
        setTyped(code, id, start, count, source, status);                                             \
    }                                                                                                 \
    void getType##code(uint32_t id, uint64_t start, uint64_t count, StorageMapElement<code>* destination, \
                       tStatus& status) override {                                                    \
        getTyped(code, id, start, count, destination, status);                                        \
    }
    KZ_STORAGE_MAP_TYPES(KZ_STORAGE_MAP_COMMON_ACCESSORS)
#undef KZ_STORAGE_MAP_COMMON_ACCESSORS

    bool isChecksumValid(tStatus& status) override;

    // Holds the map's lock for a sequence of operations that must see one consistent record (a
    // check of the stored versions, the serial-number read). The lock is recursive; lock order:
    // storage map, then flash window, then SPI controller. A map whose lock could not be created
    // reports -52000 here and the guarded steps then do nothing.
    class Guard {
    public:
        Guard(StorageMapCommon& map, tStatus& status);
        ~Guard();
        Guard(const Guard&) = delete;
        Guard& operator=(const Guard&) = delete;

    private:
        kzvorn_driver::nKZAPAL000::tMutex* lock_;
    };

protected:
    // The map's field in a table of fields, or null with -240035.
    static const FieldInfo* findField(const FieldInfo* fields, size_t fieldCount, uint32_t id, tStatus& status);

    bool isBigEndian() const { return byteOrder == 1; }
    void readElement(const FieldInfo& field, uint64_t index, void* destination, tStatus& status);
    void writeElement(const FieldInfo& field, uint64_t index, const void* source, tStatus& status);
    // The map's bytes without the checksum field, in a buffer the caller frees with delete[].
    uint8_t* getImageWithoutChecksum(const FieldInfo& field, uint64_t& length, tStatus& status);
    void storeChecksum(tStatus& status);
    void checkRange(const FieldInfo& field, uint64_t start, uint64_t count, tStatus& status);
    void checkElementSize(const FieldInfo& field, uint64_t elementSize, tStatus& status);

    uint32_t byteOrder;
    uint64_t base;
    uint64_t size;
    ChecksumInterface* checksumAlgorithm;  // not owned
    const FieldInfo* checksumField;
    devicewindow::DeviceWindow* window;  // not owned
    const char* versionText;
    const char* oldestCompatibleVersionText;

private:
    enum class Access { TypedGet, TypedSet, RawGet, RawSet };

    bool hasChecksum() const { return checksumAlgorithm != nullptr && checksumField != nullptr; }
    // The checks of one access in their order; the field when all passed.
    const FieldInfo* checkAccess(Access access, uint32_t id, uint64_t start, uint64_t count, const void* elements,
                                 uint32_t typeCode, uint64_t elementSize, tStatus& status);
    void setTyped(uint32_t typeCode, uint32_t id, uint64_t start, uint64_t count, const void* source,
                  tStatus& status);
    void getTyped(uint32_t typeCode, uint32_t id, uint64_t start, uint64_t count, void* destination,
                  tStatus& status);
    void writeElements(const FieldInfo& field, uint64_t start, uint64_t count, const void* source,
                       tStatus& status);
    void readElements(const FieldInfo& field, uint64_t start, uint64_t count, void* destination, tStatus& status);
    void writeStrings(const FieldInfo& field, uint64_t start, uint64_t count, const kzhtl::String* source,
                      tStatus& status);
    void readStrings(const FieldInfo& field, uint64_t start, uint64_t count, kzhtl::String* destination,
                     tStatus& status);
    uint64_t elementAddress(const FieldInfo& field, uint64_t index) const {
        return base + field.offset + index * field.stride;
    }
    bool needsConversion(const FieldInfo& field) const;

    // Kept apart from the caller's status so the lock is created whatever that holds.
    tStatus lockStatus_;
    kzvorn_driver::nKZAPAL000::tMutex lock_;
};

}  // namespace storagemap
