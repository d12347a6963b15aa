// A storage map: a typed view of a fixed byte range of a device window, made of named fields, each
// an array of elements of one type. Fields are addressed by their identifier (their byte offset).
#pragma once

#include <cstddef>
#include <cstdint>
#include "kzhtl/utility.h"

#include "kzapal/protons/status.h"
#include "kzhtl/string.h"
#include "kztypes/fixedPoint128.h"

namespace storagemap {

// Sixteen bytes of two 64-bit words, stored and returned unchanged.
struct TimeStamp {
    uint64_t words[2];
};

// Element types by type code. Codes 4, 6, 7, 11, 13 and 14 are raw elements of the field's size;
// code 10 is reached through setRaw and getRaw only.
template <uint32_t kCode>
struct StorageMapElementOf {
    using type = void;
};
template <> struct StorageMapElementOf<0> { using type = kztypes::FixedPoint128<>; };
template <> struct StorageMapElementOf<1> { using type = kzhtl::String; };
template <> struct StorageMapElementOf<2> { using type = int32_t; };
template <> struct StorageMapElementOf<5> { using type = uint32_t; };  // a Version's word0
template <> struct StorageMapElementOf<8> { using type = TimeStamp; };
template <> struct StorageMapElementOf<9> { using type = uint8_t; };
template <> struct StorageMapElementOf<12> { using type = uint32_t; };

template <uint32_t kCode>
using StorageMapElement = typename StorageMapElementOf<kCode>::type;

// The typed accessor pairs in slot order: all setters in this order, then all getters.
#define KZ_STORAGE_MAP_TYPES(X) X(9) X(14) X(12) X(13) X(4) X(6) X(2) X(7) X(11) X(8) X(0) X(5) X(1)

#define KZ_STORAGE_MAP_TYPE_CODE(code) code,
constexpr uint32_t storageMapTypes[] = {KZ_STORAGE_MAP_TYPES(KZ_STORAGE_MAP_TYPE_CODE)};
#undef KZ_STORAGE_MAP_TYPE_CODE

constexpr uint32_t kTypeString = 1;

// The static description of one field. In every map of this system id equals offset, stride
// equals elementSize and swapWords is false.
struct FieldInfo {
    const char* name;
    uint32_t id;
    uint64_t offset;  // of element 0 from the map's base
    uint64_t count;
    uint64_t stride;
    uint32_t typeCode;
    uint64_t elementSize;
    bool swapWords;  // reverse the four 32-bit words of a 16-byte element
};

// Every operation but the destructor and the two version texts takes the caller's status last and
// does nothing (returning 0, false or null) once it holds an error.
class StorageMapInterface {
public:
    using tStatus = nKZAPALS100::tStatus;

    virtual ~StorageMapInterface() = default;

    virtual const char* getVersion() = 0;
    virtual const char* getOldestCompatibleVersion() = 0;
    virtual void flush(bool force, tStatus& status) = 0;
    virtual void refresh(tStatus& status) = 0;
    virtual uint64_t getElementCount(uint32_t id, tStatus& status) = 0;
    virtual uint64_t getElementSize(uint32_t id, tStatus& status) = 0;
    virtual void setRaw(uint32_t id, uint64_t start, uint64_t count, const void* source, uint64_t elementSize,
                        tStatus& status) = 0;
    virtual void getRaw(uint32_t id, uint64_t start, uint64_t count, void* destination, uint64_t elementSize,
                        tStatus& status) = 0;

#define KZ_STORAGE_MAP_DECLARE_SETTER(code)                                            \
    virtual void setType##code(uint32_t id, uint64_t start, uint64_t count,            \
                               const StorageMapElement<code>* source, tStatus& status) = 0;
#define KZ_STORAGE_MAP_DECLARE_GETTER(code)                                            \
    virtual void getType##code(uint32_t id, uint64_t start, uint64_t count,            \
                               StorageMapElement<code>* destination, tStatus& status) = 0;
    KZ_STORAGE_MAP_TYPES(KZ_STORAGE_MAP_DECLARE_SETTER)
    KZ_STORAGE_MAP_TYPES(KZ_STORAGE_MAP_DECLARE_GETTER)
#undef KZ_STORAGE_MAP_DECLARE_SETTER
#undef KZ_STORAGE_MAP_DECLARE_GETTER

    virtual bool isChecksumValid(tStatus& status) = 0;
    // Null with -240035 for an identifier the map does not define.
    virtual const FieldInfo* getFieldInfo(uint32_t id, tStatus& status) = 0;
};

}  // namespace storagemap
