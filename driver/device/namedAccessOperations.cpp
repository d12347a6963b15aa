// The requests that reach registered objects by name: every field of the register maps, the device
// windows' bytes and the storage maps' elements, and the listings of the three registries. A
// register-map request holds the map's registration lock around the map operation; window and
// storage-map requests take no registration lock (each window serialises itself).
#include "device/tolvaneDevice.h"
#include "kzapal/protons/statusCodes.h"
#include "kzapal/protons/userMemory.h"
#include "kzhtl/string.h"
#include "kzhtl/vector.h"

namespace kzvorn_driver {

using nKZAPAL000::tEventDescriptor;
using nKZAPAL000::tUserBuffer;
using nKZAPALS100::tStatus;
using RegisterMap = arm::DynamicAccessInterfaceBase<tStatus>;

namespace {

constexpr uint64_t kExtensionLimit = uint64_t{1} << 24;
constexpr uint32_t kFormatCapacity = 64;

// The plain operations hand the maps a zero extension; the Ex ones only values below 2^24.
uint64_t extensionOf(const tFieldRecord&) { return 0; }
uint64_t extensionOf(const tFieldFlushRecord&) { return 0; }
uint64_t extensionOf(const tFieldWriteRecord&) { return 0; }
uint64_t extensionOf(const tFieldSetRecord&) { return 0; }
uint64_t extensionOf(const tFieldExRecord& input) { return input.extension; }
uint64_t extensionOf(const tFieldFlushExRecord& input) { return input.extension; }
uint64_t extensionOf(const tFieldWriteExRecord& input) { return input.extension; }
uint64_t extensionOf(const tFieldSetExRecord& input) { return input.extension; }

template <class tRecord>
uint32_t checkedExtension(const tRecord& input, tStatus& status) {
    const uint64_t extension = extensionOf(input);
    if (extension >= kExtensionLimit) KZ_SET_CODE(status, nKZAPALS100::kStatusFeatureNotSupported);
    return static_cast<uint32_t>(extension & (kExtensionLimit - 1));
}

// The Ex operations return the map's 64-bit value (0 after a failure); the plain ones 32 bits: 0
// after a failure or for a value that needs more bits (-52003; the map operation itself did
// happen).
void storeValue(uint64_t value, tValue64Record& output, tStatus& status) {
    output.value = status.isFatal() ? 0 : value;
}
void storeValue(uint64_t value, tValue32Record& output, tStatus& status) {
    output.value = 0;
    if (status.isFatal()) return;
    if (value > UINT32_MAX) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusValueConflict);
        return;
    }
    output.value = static_cast<uint32_t>(value);
}

}  // namespace

template <class tRegistry, class tBody>
void TolvaneDevice::serveNamedAccess(tRegistry* (TolvaneHelper::*registry)() const, tStatus& status, tBody&& body) {
    // A bring-up whose first level was faked built no registries: nothing serves named access.
    tRegistry* found = helper_ != nullptr ? (helper_->*registry)() : nullptr;
    if (found == nullptr) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusFeatureNotSupported);
        return;
    }
    body(*found);
}

template <class tBody>
void TolvaneDevice::accessRegisterMap(tEventDescriptor& event, uint64_t name, uint64_t nameLength, tStatus& status,
                                      tBody&& body) {
    serveNamedAccess(&TolvaneHelper::getARMDispatcher, status, [&](armki::ARMDispatcher& registry) {
        RegisterMap* map = nullptr;
        kzregitools::tMutex* lock = nullptr;
        registry.getRegistration(event, name, nameLength, map, status, &lock);
        if (status.isFatal() || map == nullptr || lock == nullptr) return;
        nKZAPAL000::tAutoLock held(*lock);
        body(*map);
    });
}

template <class tRegistry>
uint64_t TolvaneDevice::countRegistrations(tRegistry* (TolvaneHelper::*registry)() const, tStatus& status) {
    uint64_t count = 0;
    serveNamedAccess(registry, status, [&](tRegistry& found) { count = found.getNumberOfRegistrations(); });
    return count;
}

// One 64-byte slot per name in a zeroed kernel buffer, all of it copied to the caller, who provides
// 64 bytes per registration.
template <class tRegistry>
void TolvaneDevice::copyRegistrationNames(tEventDescriptor& event, tRegistry* (TolvaneHelper::*registry)() const,
                                          uint64_t destination, tStatus& status) {
    serveNamedAccess(registry, status, [&](tRegistry& found) {
        if (status.isFatal()) return;
        const uint64_t size = found.getNumberOfRegistrations() * kzregitools::kRegistrationNameSlotSize;
        if (size == 0) {
            KZ_SET_CODE(status, kzregitools::kStatusNullPointer);
            return;
        }
        kzhtl::Vector<char> names;
        if (!names.resize(size, status)) return;
        found.getRegistrationNames(names.data(), status);
        tUserBuffer(event, destination, size, status)
            .writeToBuffer(0, names.data(), static_cast<uint32_t>(size), status);
    });
}

// ---- register maps ----

// The extension is checked under the registration's lock, after the look-up.
template <class tRecord, class tOperation>
void TolvaneDevice::accessField(tEventDescriptor& event, const tRecord& input, tStatus& status,
                                tOperation&& operation) {
    accessRegisterMap(event, input.name, input.nameLength, status, [&](RegisterMap& map) {
        const uint32_t extension = checkedExtension(input, status);
        operation(map, extension);
    });
}

template <class tRecord>
void TolvaneDevice::writeField(tEventDescriptor& event, const tRecord& input, tStatus& status) {
    accessField(event, input, status, [&](RegisterMap& map, uint32_t extension) {
        map.write(input.field, input.value, input.force != 0, status, extension);
    });
}

template <class tRecord>
void TolvaneDevice::setField(tEventDescriptor& event, const tRecord& input, tStatus& status) {
    accessField(event, input, status,
                [&](RegisterMap& map, uint32_t extension) { map.set(input.field, input.value, status, extension); });
}

template <class tRecord, class tOutput>
void TolvaneDevice::valueOfField(tEventDescriptor& event, const tRecord& input, tOutput& output,
                                 tFieldValueAccess access, tStatus& status) {
    uint64_t value = 0;
    accessField(event, input, status,
                [&](RegisterMap& map, uint32_t extension) { (map.*access)(input.field, value, status, extension); });
    storeValue(value, output, status);
}

template <class tRecord>
void TolvaneDevice::flushField(tEventDescriptor& event, const tRecord& input, tStatus& status) {
    accessField(event, input, status, [&](RegisterMap& map, uint32_t extension) {
        map.flush(input.field, input.force != 0, status, extension);
    });
}

template <class tRecord>
void TolvaneDevice::refreshField(tEventDescriptor& event, const tRecord& input, tStatus& status) {
    accessField(event, input, status,
                [&](RegisterMap& map, uint32_t extension) { map.refresh(input.field, status, extension); });
}

void TolvaneDevice::arm_write(tEventDescriptor& event, const tFieldWriteRecord& input, tStatusRecord&,
                              tStatus& status) {
    writeField(event, input, status);
}

void TolvaneDevice::arm_writeEx(tEventDescriptor& event, const tFieldWriteExRecord& input, tStatusRecord&,
                                tStatus& status) {
    writeField(event, input, status);
}

void TolvaneDevice::arm_set(tEventDescriptor& event, const tFieldSetRecord& input, tStatusRecord&, tStatus& status) {
    setField(event, input, status);
}

void TolvaneDevice::arm_setEx(tEventDescriptor& event, const tFieldSetExRecord& input, tStatusRecord&,
                              tStatus& status) {
    setField(event, input, status);
}

void TolvaneDevice::arm_read(tEventDescriptor& event, const tFieldRecord& input, tValue32Record& output,
                             tStatus& status) {
    valueOfField(event, input, output, &RegisterMap::read, status);
}

void TolvaneDevice::arm_readEx(tEventDescriptor& event, const tFieldExRecord& input, tValue64Record& output,
                               tStatus& status) {
    valueOfField(event, input, output, &RegisterMap::read, status);
}

void TolvaneDevice::arm_get(tEventDescriptor& event, const tFieldRecord& input, tValue32Record& output,
                            tStatus& status) {
    valueOfField(event, input, output, &RegisterMap::get, status);
}

void TolvaneDevice::arm_getEx(tEventDescriptor& event, const tFieldExRecord& input, tValue64Record& output,
                              tStatus& status) {
    valueOfField(event, input, output, &RegisterMap::get, status);
}

void TolvaneDevice::arm_flushRegister(tEventDescriptor& event, const tFieldFlushRecord& input, tStatusRecord&,
                                      tStatus& status) {
    flushField(event, input, status);
}

void TolvaneDevice::arm_flushRegisterEx(tEventDescriptor& event, const tFieldFlushExRecord& input, tStatusRecord&,
                                        tStatus& status) {
    flushField(event, input, status);
}

void TolvaneDevice::arm_refreshRegister(tEventDescriptor& event, const tFieldRecord& input, tStatusRecord&,
                                        tStatus& status) {
    refreshField(event, input, status);
}

void TolvaneDevice::arm_refreshRegisterEx(tEventDescriptor& event, const tFieldExRecord& input, tStatusRecord&,
                                          tStatus& status) {
    refreshField(event, input, status);
}

void TolvaneDevice::arm_flushRegMap(tEventDescriptor& event, const tNameForceRecord& input, tStatusRecord&,
                                    tStatus& status) {
    accessRegisterMap(event, input.name, input.nameLength, status,
                      [&](RegisterMap& map) { map.flushRegMap(input.force != 0, status); });
}

// The count the caller sent is not consulted: the map fills up to 64 fields, and the output keeps
// the caller's count when the gate or the look-up failed. The user arrays are written under the
// registration's lock, and not at all when the map refused.
void TolvaneDevice::arm_getRegisterFormat(tEventDescriptor& event, const tRegisterFormatRecord& input,
                                          tValue32Record& output, tStatus& status) {
    accessRegisterMap(event, input.name, input.nameLength, status, [&](RegisterMap& map) {
        uint32_t count = kFormatCapacity;
        arm::FieldType types[kFormatCapacity];
        uint64_t masks[kFormatCapacity];
        map.getRegisterFormat(input.field, count, types, masks, status);
        output.value = count;
        if (status.isFatal()) return;
        if (count > kFormatCapacity) count = kFormatCapacity;
        uint8_t typeBytes[kFormatCapacity];
        for (uint32_t i = 0; i < count; ++i) typeBytes[i] = static_cast<uint8_t>(types[i]);
        tUserBuffer(event, input.types, count, status).writeToBuffer(0, typeBytes, count, status);
        tUserBuffer(event, input.masks, uint64_t{count} * 8, status).writeToBuffer(0, masks, count * 8, status);
    });
}

// Counted also when the caller sent an error.
void TolvaneDevice::arm_getNumberOfRegistrations(tEventDescriptor& event, const tStatusRecord&, tValue64Record& output,
                                                 tStatus& status) {
    output.value = countRegistrations(&TolvaneHelper::getARMDispatcher, status);
}

void TolvaneDevice::arm_getRegistrationNames(tEventDescriptor& event, const tUserBufferRecord& input, tStatusRecord&,
                                             tStatus& status) {
    copyRegistrationNames(event, &TolvaneHelper::getARMDispatcher, input.address, status);
}

// Sized also when the caller sent an error.
void TolvaneDevice::arm_getSizeOfRegistrationList(tEventDescriptor& event, const tStatusRecord&, tValue64Record& output,
                                                  tStatus& status) {
    serveNamedAccess(&TolvaneHelper::getARMDispatcher, status,
                     [&](armki::ARMDispatcher& registry) { output.value = registry.getSizeOfRegistrationList(); });
}

// The names joined by tabs, without a terminator: the caller provides the list's size, one more.
void TolvaneDevice::arm_getRegistrationList(tEventDescriptor& event, const tUserBufferRecord& input, tStatusRecord&,
                                            tStatus& status) {
    serveNamedAccess(&TolvaneHelper::getARMDispatcher, status, [&](armki::ARMDispatcher& registry) {
        if (status.isFatal()) return;
        kzhtl::String list;
        registry.getRegistrationList(list, status);
        if (status.isFatal() || list.empty()) return;
        tUserBuffer(event, input.address, list.size(), status)
            .writeToBuffer(0, list.c_str(), static_cast<uint32_t>(list.size()), status);
    });
}

// ---- device windows ----

void TolvaneDevice::deviceWindow_flush(tEventDescriptor& event, const tWindowFlushRecord& input, tStatusRecord&,
                                       tStatus& status) {
    serveNamedAccess(
        &TolvaneHelper::getDeviceWindowDispatcher, status, [&](devicewindow::DeviceWindowDispatcher& windows) {
            windows.flush(event, input.name, input.nameLength, input.offset, input.count, input.force != 0, status);
        });
}

// Counted also when the caller sent an error.
void TolvaneDevice::deviceWindow_getNumberOfRegistrations(tEventDescriptor& event, const tStatusRecord&,
                                                          tValue64Record& output, tStatus& status) {
    output.value = countRegistrations(&TolvaneHelper::getDeviceWindowDispatcher, status);
}

void TolvaneDevice::deviceWindow_getRegistrationNames(tEventDescriptor& event, const tUserBufferRecord& input,
                                                      tStatusRecord&, tStatus& status) {
    copyRegistrationNames(event, &TolvaneHelper::getDeviceWindowDispatcher, input.address, status);
}

void TolvaneDevice::deviceWindow_getSizeInBytes(tEventDescriptor& event, const tNameRecord& input,
                                                tValue64Record& output, tStatus& status) {
    serveNamedAccess(&TolvaneHelper::getDeviceWindowDispatcher, status,
                     [&](devicewindow::DeviceWindowDispatcher& windows) {
                         output.value = windows.getSizeInBytes(event, input.name, input.nameLength, status);
                     });
}

void TolvaneDevice::deviceWindow_write(tEventDescriptor& event, const tWindowWriteRecord& input, tStatusRecord&,
                                       tStatus& status) {
    serveNamedAccess(&TolvaneHelper::getDeviceWindowDispatcher, status,
                     [&](devicewindow::DeviceWindowDispatcher& windows) {
                         windows.write(event, input.name, input.nameLength, input.source, input.offset, input.count,
                                       input.force != 0, status);
                     });
}

void TolvaneDevice::deviceWindow_read(tEventDescriptor& event, const tWindowGetRecord& input, tStatusRecord&,
                                      tStatus& status) {
    serveNamedAccess(
        &TolvaneHelper::getDeviceWindowDispatcher, status, [&](devicewindow::DeviceWindowDispatcher& windows) {
            windows.read(event, input.name, input.nameLength, input.offset, input.count, input.destination, status);
        });
}

void TolvaneDevice::deviceWindow_set(tEventDescriptor& event, const tWindowSetRecord& input, tStatusRecord&,
                                     tStatus& status) {
    serveNamedAccess(
        &TolvaneHelper::getDeviceWindowDispatcher, status, [&](devicewindow::DeviceWindowDispatcher& windows) {
            windows.set(event, input.name, input.nameLength, input.source, input.offset, input.count, status);
        });
}

void TolvaneDevice::deviceWindow_get(tEventDescriptor& event, const tWindowGetRecord& input, tStatusRecord&,
                                     tStatus& status) {
    serveNamedAccess(
        &TolvaneHelper::getDeviceWindowDispatcher, status, [&](devicewindow::DeviceWindowDispatcher& windows) {
            windows.get(event, input.name, input.nameLength, input.offset, input.count, input.destination, status);
        });
}

void TolvaneDevice::deviceWindow_refresh(tEventDescriptor& event, const tWindowRangeRecord& input, tStatusRecord&,
                                         tStatus& status) {
    serveNamedAccess(&TolvaneHelper::getDeviceWindowDispatcher, status,
                     [&](devicewindow::DeviceWindowDispatcher& windows) {
                         windows.refresh(event, input.name, input.nameLength, input.offset, input.count, status);
                     });
}

// ---- storage maps ----

void TolvaneDevice::storageMap_flush(tEventDescriptor& event, const tNameForceRecord& input, tStatusRecord&,
                                     tStatus& status) {
    serveNamedAccess(&TolvaneHelper::getStorageMapDispatcher, status, [&](storagemap::StorageMapDispatcher& maps) {
        maps.flush(event, input.name, input.nameLength, input.force != 0, status);
    });
}

// Counted also when the caller sent an error.
void TolvaneDevice::storageMap_getNumberOfRegistrations(tEventDescriptor& event, const tStatusRecord&,
                                                        tValue64Record& output, tStatus& status) {
    output.value = countRegistrations(&TolvaneHelper::getStorageMapDispatcher, status);
}

void TolvaneDevice::storageMap_getRegistrationNames(tEventDescriptor& event, const tUserBufferRecord& input,
                                                    tStatusRecord&, tStatus& status) {
    copyRegistrationNames(event, &TolvaneHelper::getStorageMapDispatcher, input.address, status);
}

void TolvaneDevice::storageMap_getElementCount(tEventDescriptor& event, const tFieldRecord& input,
                                               tValue64Record& output, tStatus& status) {
    serveNamedAccess(&TolvaneHelper::getStorageMapDispatcher, status, [&](storagemap::StorageMapDispatcher& maps) {
        output.value = maps.getElementCount(event, input.name, input.nameLength, input.field, status);
    });
}

void TolvaneDevice::storageMap_getElementSize(tEventDescriptor& event, const tFieldRecord& input,
                                              tValue64Record& output, tStatus& status) {
    serveNamedAccess(&TolvaneHelper::getStorageMapDispatcher, status, [&](storagemap::StorageMapDispatcher& maps) {
        output.value = maps.getElementSize(event, input.name, input.nameLength, input.field, status);
    });
}

void TolvaneDevice::storageMap_refresh(tEventDescriptor& event, const tNameRecord& input, tStatusRecord&,
                                       tStatus& status) {
    serveNamedAccess(&TolvaneHelper::getStorageMapDispatcher, status, [&](storagemap::StorageMapDispatcher& maps) {
        maps.refresh(event, input.name, input.nameLength, status);
    });
}

void TolvaneDevice::storageMap_setRaw(tEventDescriptor& event, const tStorageMapRawRecord& input, tStatusRecord&,
                                      tStatus& status) {
    serveNamedAccess(&TolvaneHelper::getStorageMapDispatcher, status, [&](storagemap::StorageMapDispatcher& maps) {
        maps.setRaw(event, input.name, input.nameLength, input.field, input.firstElement, input.elementCount,
                    input.buffer, input.elementSize, status);
    });
}

void TolvaneDevice::storageMap_getRaw(tEventDescriptor& event, const tStorageMapRawRecord& input, tStatusRecord&,
                                      tStatus& status) {
    serveNamedAccess(&TolvaneHelper::getStorageMapDispatcher, status, [&](storagemap::StorageMapDispatcher& maps) {
        maps.getRaw(event, input.name, input.nameLength, input.field, input.firstElement, input.elementCount,
                    input.buffer, input.elementSize, status);
    });
}

void TolvaneDevice::storageMap_isChecksumValid(tEventDescriptor& event, const tNameRecord& input, tValue8Record& output,
                                               tStatus& status) {
    serveNamedAccess(&TolvaneHelper::getStorageMapDispatcher, status, [&](storagemap::StorageMapDispatcher& maps) {
        output.value = maps.isChecksumValid(event, input.name, input.nameLength, status) ? 1 : 0;
    });
}

}  // namespace kzvorn_driver
