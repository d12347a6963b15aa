// The header record: a password and comments, stored texts that nothing in the system compares.
#pragma once

#include "storageMap/generatedStorageMap.h"

namespace kzvoltixcalibrationtools {

// F(kind, name, Name, offset, count, typeCode, elementSize)
#define KZ_HEADER_STORAGE_MAP_FIELDS(F)                                            \
    F(Checksum, checksum, Checksum, 0, 1, 12, 4)                                   \
    F(Single, mapVersion, MapVersion, 4, 1, 5, 4)                                  \
    F(Single, oldestCompatibleMapVersion, OldestCompatibleMapVersion, 8, 1, 5, 4)  \
    F(String, password, Password, 12, 1, 1, 32)                                    \
    F(String, comments, Comments, 44, 1, 1, 1024)

KZ_STORAGE_MAP_ACCESSOR_INTERFACE(HeaderStorageMapInterface, KZ_HEADER_STORAGE_MAP_FIELDS)

class HeaderStorageMap : public storagemap::GeneratedStorageMap<HeaderStorageMapInterface, 0x1000> {
public:
    HeaderStorageMap(uint64_t base, devicewindow::DeviceWindow* window, tStatus& status)
        : GeneratedStorageMap("1.0.0d0", base, &kFields[0], window, status) {}

    static constexpr const char* kMapNames[] = {"Header", nullptr};

    KZ_STORAGE_MAP_GENERATED_MEMBERS(KZ_HEADER_STORAGE_MAP_FIELDS, kSize, 18)
};

// A façade over one header map (not owned); nothing in the system creates one.
class HeaderUtilityStorageMap {
public:
    using tStatus = nKZAPALS100::tStatus;

    explicit HeaderUtilityStorageMap(HeaderStorageMap* header) : header_(header) {}
    virtual ~HeaderUtilityStorageMap() = default;

    virtual void setPassword(const kzhtl::String& password, tStatus& status) { header_->setPassword(password, status); }
    virtual void getPassword(kzhtl::String& password, tStatus& status) { header_->getPassword(password, status); }
    virtual void setComments(const kzhtl::String& comments, tStatus& status) { header_->setComments(comments, status); }
    virtual void getComments(kzhtl::String& comments, tStatus& status) { header_->getComments(comments, status); }
    virtual void flush(bool force, tStatus& status) { header_->flush(force, status); }

private:
    HeaderStorageMap* header_;
};

}  // namespace kzvoltixcalibrationtools
