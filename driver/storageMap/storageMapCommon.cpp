#include "storageMap/storageMapCommon.h"

#include "kzRegiTools/statusCodes.h"
#include "kzapal/protons/memory.h"
#include "kzapal/protons/statusCodes.h"
#include "kzkal/memory.h"

namespace storagemap {

using nKZAPALS100::tStatus;

namespace {

// Conversions work on a copy of at most this size on the stack.
constexpr uint64_t kWorkingCopySize = 16;

void convert(uint8_t* element, uint64_t elementSize, bool reverseBytes, bool swapWords) {
    if (reverseBytes) {
        for (uint64_t i = 0, j = elementSize - 1; i < j; ++i, --j) {
            const uint8_t byte = element[i];
            element[i] = element[j];
            element[j] = byte;
        }
    }
    // Defined for 16-byte elements only; no map of this system sets it.
    if (swapWords && elementSize == kWorkingCopySize) {
        uint32_t words[4];
        nKZKAL180_memCpy(words, element, sizeof words);
        for (int w = 0; w < 4; ++w) nKZKAL180_memCpy(element + 4 * w, &words[3 - w], 4);
    }
}

}  // namespace

StorageMapCommon::StorageMapCommon(const char* versionText, const char* oldestCompatibleVersionText,
                                   uint32_t byteOrder, uint64_t base, uint64_t size,
                                   ChecksumInterface* checksumAlgorithm, const FieldInfo* checksumField,
                                   devicewindow::DeviceWindow* window, tStatus& status)
    : byteOrder(byteOrder),
      base(base),
      size(size),
      checksumAlgorithm(checksumAlgorithm),
      checksumField(checksumField),
      window(window),
      versionText(versionText),
      oldestCompatibleVersionText(oldestCompatibleVersionText),
      lockStatus_(),
      lock_(lockStatus_) {
    nKZAPALS100::merge(status, lockStatus_);
}

StorageMapCommon::Guard::Guard(StorageMapCommon& map, tStatus& status) : lock_(nullptr) {
    if (status.isFatal()) return;
    if (map.lockStatus_.isFatal()) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusMemoryFull);
        return;
    }
    lock_ = &map.lock_;
    lock_->acquire();
}

StorageMapCommon::Guard::~Guard() {
    if (lock_ != nullptr) lock_->release();
}

const FieldInfo* StorageMapCommon::findField(const FieldInfo* fields, size_t fieldCount, uint32_t id,
                                             tStatus& status) {
    if (status.isFatal()) return nullptr;
    for (size_t i = 0; i < fieldCount; ++i) {
        if (fields[i].id == id) return &fields[i];
    }
    KZ_SET_CODE(status, kStatusNoSuchField);
    return nullptr;
}

uint64_t StorageMapCommon::getElementCount(uint32_t id, tStatus& status) {
    const FieldInfo* field = getFieldInfo(id, status);
    return field != nullptr ? field->count : 0;
}

uint64_t StorageMapCommon::getElementSize(uint32_t id, tStatus& status) {
    const FieldInfo* field = getFieldInfo(id, status);
    return field != nullptr ? field->elementSize : 0;
}

void StorageMapCommon::checkRange(const FieldInfo& field, uint64_t start, uint64_t count, tStatus& status) {
    if (status.isFatal()) return;
    // Written so that start + count cannot wrap around.
    if (start >= field.count || count > field.count - start) KZ_SET_CODE(status, kStatusOutOfRange);
}

void StorageMapCommon::checkElementSize(const FieldInfo& field, uint64_t elementSize, tStatus& status) {
    if (status.isFatal()) return;
    if (elementSize != field.elementSize) KZ_SET_CODE(status, kStatusElementSizeMismatch);
}

const FieldInfo* StorageMapCommon::checkAccess(Access access, uint32_t id, uint64_t start, uint64_t count,
                                               const void* elements, uint32_t typeCode, uint64_t elementSize,
                                               tStatus& status) {
    const FieldInfo* field = getFieldInfo(id, status);
    if (field == nullptr) return nullptr;
    if (elements == nullptr) {
        KZ_SET_CODE(status, kzregitools::kStatusNullPointer);
        return nullptr;
    }
    checkRange(*field, start, count, status);
    const bool raw = access == Access::RawGet || access == Access::RawSet;
    const bool writes = access == Access::TypedSet || access == Access::RawSet;
    if (raw) checkElementSize(*field, elementSize, status);
    if (writes && status.isNotFatal() && field == checksumField) KZ_SET_CODE(status, kStatusChecksumFieldReadOnly);
    if (!raw && status.isNotFatal() && field->typeCode != typeCode) KZ_SET_CODE(status, kStatusTypeMismatch);
    return status.isFatal() ? nullptr : field;
}

void StorageMapCommon::setTyped(uint32_t typeCode, uint32_t id, uint64_t start, uint64_t count,
                                const void* source, tStatus& status) {
    Guard guard(*this, status);
    const FieldInfo* field = checkAccess(Access::TypedSet, id, start, count, source, typeCode, 0, status);
    if (field == nullptr) return;
    if (typeCode == kTypeString) {
        writeStrings(*field, start, count, static_cast<const kzhtl::String*>(source), status);
    } else {
        writeElements(*field, start, count, source, status);
    }
}

void StorageMapCommon::getTyped(uint32_t typeCode, uint32_t id, uint64_t start, uint64_t count,
                                void* destination, tStatus& status) {
    Guard guard(*this, status);
    const FieldInfo* field = checkAccess(Access::TypedGet, id, start, count, destination, typeCode, 0, status);
    if (field == nullptr) return;
    if (typeCode == kTypeString) {
        readStrings(*field, start, count, static_cast<kzhtl::String*>(destination), status);
    } else {
        readElements(*field, start, count, destination, status);
    }
}

void StorageMapCommon::setRaw(uint32_t id, uint64_t start, uint64_t count, const void* source,
                              uint64_t elementSize, tStatus& status) {
    Guard guard(*this, status);
    const FieldInfo* field = checkAccess(Access::RawSet, id, start, count, source, 0, elementSize, status);
    if (field != nullptr) writeElements(*field, start, count, source, status);
}

void StorageMapCommon::getRaw(uint32_t id, uint64_t start, uint64_t count, void* destination,
                              uint64_t elementSize, tStatus& status) {
    Guard guard(*this, status);
    const FieldInfo* field = checkAccess(Access::RawGet, id, start, count, destination, 0, elementSize, status);
    if (field != nullptr) readElements(*field, start, count, destination, status);
}

bool StorageMapCommon::needsConversion(const FieldInfo& field) const {
    return (isBigEndian() && field.typeCode != kTypeString && field.elementSize >= 2) || field.swapWords;
}

void StorageMapCommon::readElement(const FieldInfo& field, uint64_t index, void* destination, tStatus& status) {
    if (status.isFatal()) return;
    const bool converts = needsConversion(field);
    // The conversions work on a 16-byte copy; a longer element would overrun it.
    if (converts && field.elementSize > kWorkingCopySize) {
        KZ_SET_CODE(status, kStatusElementSizeMismatch);
        return;
    }
    window->get(elementAddress(field, index), field.elementSize, static_cast<char*>(destination), status);
    if (converts && status.isNotFatal()) {
        storagemap::convert(static_cast<uint8_t*>(destination), field.elementSize,
                            isBigEndian() && field.elementSize >= 2, field.swapWords);
    }
}

void StorageMapCommon::writeElement(const FieldInfo& field, uint64_t index, const void* source, tStatus& status) {
    if (status.isFatal()) return;
    if (!needsConversion(field)) {
        window->set(static_cast<const char*>(source), elementAddress(field, index), field.elementSize, status);
        return;
    }
    if (field.elementSize > kWorkingCopySize) {
        KZ_SET_CODE(status, kStatusElementSizeMismatch);
        return;
    }
    uint8_t copy[kWorkingCopySize];
    nKZKAL180_memCpy(copy, source, field.elementSize);
    storagemap::convert(copy, field.elementSize, isBigEndian() && field.elementSize >= 2, field.swapWords);
    window->set(reinterpret_cast<const char*>(copy), elementAddress(field, index), field.elementSize, status);
}

void StorageMapCommon::writeElements(const FieldInfo& field, uint64_t start, uint64_t count, const void* source,
                                     tStatus& status) {
    const auto* bytes = static_cast<const uint8_t*>(source);
    for (uint64_t k = 0; k < count && status.isNotFatal(); ++k) {
        writeElement(field, start + k, bytes + k * field.elementSize, status);
    }
}

void StorageMapCommon::readElements(const FieldInfo& field, uint64_t start, uint64_t count, void* destination,
                                    tStatus& status) {
    auto* bytes = static_cast<uint8_t*>(destination);
    for (uint64_t k = 0; k < count && status.isNotFatal(); ++k) {
        readElement(field, start + k, bytes + k * field.elementSize, status);
    }
}

void StorageMapCommon::writeStrings(const FieldInfo& field, uint64_t start, uint64_t count,
                                    const kzhtl::String* source, tStatus& status) {
    static const char kZeros[64] = {};
    for (uint64_t k = 0; k < count && status.isNotFatal(); ++k) {
        const kzhtl::String& text = source[k];
        // At least one NUL must fit.
        if (text.size() >= field.elementSize) {
            KZ_SET_CODE(status, kStatusOutOfRange);
            return;
        }
        const uint64_t address = elementAddress(field, start + k);
        window->set(text.c_str(), address, text.size(), status);
        // Zero the rest, so no old characters remain behind the terminator.
        for (uint64_t done = text.size(); done < field.elementSize && status.isNotFatal();) {
            const uint64_t chunk = field.elementSize - done < sizeof kZeros ? field.elementSize - done : sizeof kZeros;
            window->set(kZeros, address + done, chunk, status);
            done += chunk;
        }
    }
}

void StorageMapCommon::readStrings(const FieldInfo& field, uint64_t start, uint64_t count,
                                   kzhtl::String* destination, tStatus& status) {
    char* scratch = new (status) char[field.elementSize];
    if (scratch == nullptr) return;
    for (uint64_t k = 0; k < count && status.isNotFatal(); ++k) {
        nKZKAL240_memSet(scratch, 0, field.elementSize);
        window->get(elementAddress(field, start + k), field.elementSize, scratch, status);
        if (status.isFatal()) break;
        uint64_t length = 0;
        while (length < field.elementSize && scratch[length] != '\0') ++length;
        // An element without any NUL is not a string.
        if (length == field.elementSize) length = 0;
        destination[k].assign(scratch, length, status);
    }
    delete[] scratch;
}

uint8_t* StorageMapCommon::getImageWithoutChecksum(const FieldInfo& field, uint64_t& length, tStatus& status) {
    length = 0;
    if (status.isFatal()) return nullptr;
    const uint64_t fieldBytes = field.count * field.stride;
    const uint64_t tail = field.offset + fieldBytes;
    const uint64_t imageLength = size - fieldBytes;
    auto* image = new (status) uint8_t[imageLength];
    if (image == nullptr) return nullptr;
    window->get(base, field.offset, reinterpret_cast<char*>(image), status);
    window->get(base + tail, size - tail, reinterpret_cast<char*>(image + field.offset), status);
    if (status.isFatal()) {
        delete[] image;
        return nullptr;
    }
    length = imageLength;
    return image;
}

void StorageMapCommon::storeChecksum(tStatus& status) {
    if (status.isFatal() || !hasChecksum()) return;
    uint64_t length = 0;
    uint8_t* image = getImageWithoutChecksum(*checksumField, length, status);
    if (image == nullptr) return;
    const uint32_t crc = checksumAlgorithm->calculate(image, length, status);
    delete[] image;
    writeElement(*checksumField, 0, &crc, status);
}

bool StorageMapCommon::isChecksumValid(tStatus& status) {
    if (status.isFatal()) return false;
    if (!hasChecksum()) {
        KZ_SET_CODE(status, kStatusNoChecksum);
        return false;
    }
    Guard guard(*this, status);
    uint64_t length = 0;
    uint8_t* image = getImageWithoutChecksum(*checksumField, length, status);
    if (image == nullptr) return false;
    const uint32_t crc = checksumAlgorithm->calculate(image, length, status);
    delete[] image;
    uint32_t stored = 0xFFFFFFFF;
    readElement(*checksumField, 0, &stored, status);
    return status.isNotFatal() && crc == stored;
}

void StorageMapCommon::flush(bool force, tStatus& status) {
    Guard guard(*this, status);
    // The checksum is recomputed and stored under the same lock as the flush, so the flash never
    // receives a checksum that does not match the data flushed with it.
    storeChecksum(status);
    if (status.isNotFatal()) window->flush(base, size, force, status);
}

void StorageMapCommon::refresh(tStatus& status) {
    Guard guard(*this, status);
    if (status.isNotFatal()) window->refresh(base, size, status);
}

}  // namespace storagemap
