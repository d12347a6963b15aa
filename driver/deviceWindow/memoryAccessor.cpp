#include "deviceWindow/memoryAccessor.h"

#include "deviceWindow/deviceWindow.h"
#include "kzapal/protons/statusCodes.h"
#include "kzkal/memory.h"

namespace devicewindow {

MemoryAccessor::MemoryAccessor(uint64_t size, tStatus& status) {
    if (buffer_.resize(size, status)) nKZKAL240_memSet(buffer_.data(), 0xFF, size);
}

MemoryAccessor::MemoryAccessor(const char* source, uint64_t length, tStatus& status) {
    buffer_.assign(source, length, status);
}

char* MemoryAccessor::bufferRange(uint64_t index, uint64_t count, tStatus& status) {
    if (status.isFatal()) return nullptr;
    if (!rangeInside(index, count, buffer_.size())) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusBadParameter);
        return nullptr;
    }
    return buffer_.data() + index;
}

void MemoryAccessor::read(uint64_t index, uint64_t count, char* destination, tStatus& status) {
    const char* bytes = bufferRange(index, count, status);
    if (bytes != nullptr && count != 0) nKZKAL180_memCpy(destination, bytes, count);
}

void MemoryAccessor::write(const char* source, uint64_t index, uint64_t count, tStatus& status) {
    char* bytes = bufferRange(index, count, status);
    if (bytes != nullptr && count != 0) nKZKAL180_memCpy(bytes, source, count);
}

}  // namespace devicewindow
