// Generation of a storage map's field table and named accessors from one list of fields.
//
// A map's list is a macro taking a generator F, with one row per field in offset order:
//   F(kind, name, Name, offset, count, typeCode, elementSize)
// kind is Checksum (the CRC-32 field: getters only), Single (one element: set(v), get(),
// set(v, index), get(index)), Array (several elements: set(v, index), get(index)), String (one
// text element, filled through a string reference) or Raw (code 10: no accessor, setRaw and getRaw
// only). name is the field's stored name ("mapVersion"), Name the accessor suffix
// (getMapVersion). The identifier of a field is its offset.
#pragma once

#include <cstddef>
#include <cstdint>
#include "kzhtl/utility.h"

#include "storageMap/storageMapCommon.h"
#include "storageMap/storageMapInterface.h"

namespace storagemap {

enum class AccessorKind { kChecksum, kSingle, kArray, kString, kRaw };

// Versions and values of 16 bytes are passed to setters by reference.
template <uint32_t kCode>
using StorageMapSetArgument =
    kzhtl::ConditionalT<kCode == 5 || (sizeof(StorageMapElement<kCode>) > 4), const StorageMapElement<kCode>&,
                       StorageMapElement<kCode>>;

constexpr uint64_t elementSizeOfType(uint32_t typeCode) {
    switch (typeCode) {
    case 0: case 8: return 16;
    case 2: case 5: case 12: return 4;
    case 9: return 1;
    case 10: return 8;
    default: return 0;  // strings and raw codes: any size
    }
}

constexpr size_t accessorCount(AccessorKind kind) {
    switch (kind) {
    case AccessorKind::kChecksum: case AccessorKind::kArray: return 2;
    case AccessorKind::kSingle: case AccessorKind::kString: return 4;
    default: return 0;
    }
}

template <size_t n>
constexpr size_t accessorCount(const AccessorKind (&kinds)[n]) {
    size_t total = 0;
    for (size_t i = 0; i < n; ++i) total += accessorCount(kinds[i]);
    return total;
}

constexpr bool kindFits(AccessorKind kind, const FieldInfo& field, bool first) {
    switch (kind) {
    case AccessorKind::kChecksum: return first && field.count == 1 && field.typeCode == 12;
    case AccessorKind::kString: return field.count == 1 && field.typeCode == kTypeString;
    case AccessorKind::kRaw: return field.typeCode == 10;
    case AccessorKind::kSingle: return field.count == 1 && field.typeCode != kTypeString && field.typeCode != 10;
    case AccessorKind::kArray: return field.count > 1 && field.typeCode != kTypeString && field.typeCode != 10;
    }
    return false;
}

// Catches a transcription slip in a field list at compile time: the fields follow each other without
// gaps from byte 0 (true of every map of this system) and end inside the map, each with the
// element size of its type and an accessor kind that fits it.
template <size_t n>
constexpr bool isFieldTableSound(const FieldInfo (&fields)[n], const AccessorKind (&kinds)[n], uint64_t mapSize) {
    uint64_t end = 0;
    for (size_t i = 0; i < n; ++i) {
        const FieldInfo& field = fields[i];
        if (field.offset != end || field.id != field.offset || field.stride != field.elementSize) return false;
        end = field.offset + field.count * field.stride;
        if (end > mapSize) return false;
        const uint64_t typeSize = elementSizeOfType(field.typeCode);
        if (typeSize != 0 && typeSize != field.elementSize) return false;
        if (!kindFits(kinds[i], field, i == 0)) return false;
    }
    return true;
}

// A generated map: first its accessor interface, then the common part; a checksummed map brings
// its own CRC-32 calculator. The version and oldest compatible version texts are equal in every
// map of this system.
template <class Interface, uint64_t kMapSize>
class GeneratedStorageMap : public Interface, public StorageMapCommon {
public:
    static constexpr uint64_t kSize = kMapSize;

protected:
    GeneratedStorageMap(const char* versionText, uint64_t base, const FieldInfo* checksumField,
                        devicewindow::DeviceWindow* window, nKZAPALS100::tStatus& status)
        : StorageMapCommon(versionText, versionText, 0, base, kMapSize,
                           checksumField != nullptr ? &checksum_ : nullptr, checksumField, window, status) {}

private:
    CRC32Checksum checksum_;
};

}  // namespace storagemap

#define KZ_STORAGE_MAP_FIELD_INFO(kind, name, Name, offset, count, code, size) \
    ::storagemap::FieldInfo{#name, offset, offset, count, size, code, size, false},
#define KZ_STORAGE_MAP_FIELD_KIND(kind, name, Name, offset, count, code, size) ::storagemap::AccessorKind::k##kind,

// Pure accessors of the generated interface.
#define KZ_STORAGE_MAP_DECLARE(kind, name, Name, offset, count, code, size) KZ_STORAGE_MAP_DECLARE_##kind(Name, code)
#define KZ_STORAGE_MAP_DECLARE_Checksum(Name, code)                                                         \
    virtual ::storagemap::StorageMapElement<code> get##Name(::nKZAPALS100::tStatus& status) = 0;           \
    virtual ::storagemap::StorageMapElement<code> get##Name(uint64_t index, ::nKZAPALS100::tStatus& status) = 0;
#define KZ_STORAGE_MAP_DECLARE_Single(Name, code)                                                           \
    virtual void set##Name(::storagemap::StorageMapSetArgument<code> value, ::nKZAPALS100::tStatus& status) = 0; \
    virtual ::storagemap::StorageMapElement<code> get##Name(::nKZAPALS100::tStatus& status) = 0;           \
    virtual void set##Name(::storagemap::StorageMapSetArgument<code> value, uint64_t index,                \
                           ::nKZAPALS100::tStatus& status) = 0;                                            \
    virtual ::storagemap::StorageMapElement<code> get##Name(uint64_t index, ::nKZAPALS100::tStatus& status) = 0;
#define KZ_STORAGE_MAP_DECLARE_Array(Name, code)                                                            \
    virtual void set##Name(::storagemap::StorageMapSetArgument<code> value, uint64_t index,                \
                           ::nKZAPALS100::tStatus& status) = 0;                                            \
    virtual ::storagemap::StorageMapElement<code> get##Name(uint64_t index, ::nKZAPALS100::tStatus& status) = 0;
#define KZ_STORAGE_MAP_DECLARE_String(Name, code)                                                           \
    virtual void set##Name(const ::kzhtl::String& value, ::nKZAPALS100::tStatus& status) = 0;             \
    virtual void get##Name(::kzhtl::String& value, ::nKZAPALS100::tStatus& status) = 0;                   \
    virtual void set##Name(const ::kzhtl::String& value, uint64_t index, ::nKZAPALS100::tStatus& status) = 0; \
    virtual void get##Name(::kzhtl::String& value, uint64_t index, ::nKZAPALS100::tStatus& status) = 0;
#define KZ_STORAGE_MAP_DECLARE_Raw(Name, code)

// Their bodies in the map class: each is the base's typed accessor of the field's code with the
// field's identifier, the index as start and a count of 1. A getter returns zero when the status
// already held an error or the read failed; a string getter leaves the caller's text unchanged.
#define KZ_STORAGE_MAP_DEFINE(kind, name, Name, offset, count, code, size) \
    KZ_STORAGE_MAP_DEFINE_##kind(Name, offset, code)
#define KZ_STORAGE_MAP_DEFINE_GET(Name, id, code)                                                            \
    ::storagemap::StorageMapElement<code> get##Name(::nKZAPALS100::tStatus& status) override {              \
        return get##Name(0, status);                                                                        \
    }                                                                                                       \
    KZ_STORAGE_MAP_DEFINE_GET_AT(Name, id, code)
#define KZ_STORAGE_MAP_DEFINE_GET_AT(Name, id, code)                                                         \
    ::storagemap::StorageMapElement<code> get##Name(uint64_t index, ::nKZAPALS100::tStatus& status) override { \
        ::storagemap::StorageMapElement<code> value{};                                                      \
        if (status.isNotFatal()) this->getType##code(id, index, 1, &value, status);                        \
        return status.isFatal() ? ::storagemap::StorageMapElement<code>{} : value;                          \
    }
#define KZ_STORAGE_MAP_DEFINE_SET_AT(Name, id, code)                                                         \
    void set##Name(::storagemap::StorageMapSetArgument<code> value, uint64_t index,                         \
                   ::nKZAPALS100::tStatus& status) override {                                               \
        this->setType##code(id, index, 1, &value, status);                                                  \
    }
#define KZ_STORAGE_MAP_DEFINE_Checksum(Name, id, code) KZ_STORAGE_MAP_DEFINE_GET(Name, id, code)
#define KZ_STORAGE_MAP_DEFINE_Single(Name, id, code)                                                         \
    void set##Name(::storagemap::StorageMapSetArgument<code> value, ::nKZAPALS100::tStatus& status) override { \
        set##Name(value, 0, status);                                                                        \
    }                                                                                                       \
    KZ_STORAGE_MAP_DEFINE_SET_AT(Name, id, code)                                                             \
    KZ_STORAGE_MAP_DEFINE_GET(Name, id, code)
#define KZ_STORAGE_MAP_DEFINE_Array(Name, id, code) \
    KZ_STORAGE_MAP_DEFINE_SET_AT(Name, id, code)    \
    KZ_STORAGE_MAP_DEFINE_GET_AT(Name, id, code)
#define KZ_STORAGE_MAP_DEFINE_String(Name, id, code)                                                         \
    void set##Name(const ::kzhtl::String& value, ::nKZAPALS100::tStatus& status) override {                \
        set##Name(value, 0, status);                                                                        \
    }                                                                                                       \
    void set##Name(const ::kzhtl::String& value, uint64_t index, ::nKZAPALS100::tStatus& status) override { \
        this->setType1(id, index, 1, &value, status);                                                       \
    }                                                                                                       \
    void get##Name(::kzhtl::String& value, ::nKZAPALS100::tStatus& status) override {                      \
        get##Name(value, 0, status);                                                                        \
    }                                                                                                       \
    void get##Name(::kzhtl::String& value, uint64_t index, ::nKZAPALS100::tStatus& status) override {      \
        this->getType1(id, index, 1, &value, status);                                                       \
    }
#define KZ_STORAGE_MAP_DEFINE_Raw(Name, id, code)

// The generated interface of a map: its named accessors, all pure.
#define KZ_STORAGE_MAP_ACCESSOR_INTERFACE(Interface, FIELDS) \
    class Interface {                                        \
    public:                                                  \
        virtual ~Interface() = default;                      \
        FIELDS(KZ_STORAGE_MAP_DECLARE)                       \
    };

// Inside a map class: its field table with the compile-time checks, the accessor bodies,
// getFieldInfo, and getMapNames over the class's null-terminated kMapNames (the registry names its
// instances take).
#define KZ_STORAGE_MAP_GENERATED_MEMBERS(FIELDS, mapSize, expectedAccessors)                                  \
public:                                                                                                       \
    static const char* const* getMapNames() { return kMapNames; }                                            \
    static constexpr ::storagemap::FieldInfo kFields[] = {FIELDS(KZ_STORAGE_MAP_FIELD_INFO)};                 \
    static constexpr ::storagemap::AccessorKind kAccessorKinds[] = {FIELDS(KZ_STORAGE_MAP_FIELD_KIND)};       \
    static_assert(::storagemap::isFieldTableSound(kFields, kAccessorKinds, mapSize), "field table");         \
    static_assert(::storagemap::accessorCount(kAccessorKinds) == expectedAccessors, "accessor count");       \
    FIELDS(KZ_STORAGE_MAP_DEFINE)                                                                             \
    const ::storagemap::FieldInfo* getFieldInfo(uint32_t id, ::nKZAPALS100::tStatus& status) override {      \
        return findField(kFields, sizeof kFields / sizeof kFields[0], id, status);                            \
    }
