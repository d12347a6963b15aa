#include "kzapal/protons/status.h"

#include "kzapal/protons/runtime.h"
#include "kzapal/protons/statusCodes.h"
#include "kzkal/memory.h"

namespace nKZAPALS100 {

namespace {

size_t textLength(const char* text) {
    size_t n = 0;
    while (text != nullptr && text[n] != '\0') ++n;
    return n;
}

// Copies at most capacity - 1 characters and zero-fills the rest of the field.
void copyField(char* field, size_t capacity, const char* text) {
    size_t i = 0;
    for (; text != nullptr && i + 1 < capacity && text[i] != '\0'; ++i) field[i] = text[i];
    for (; i < capacity; ++i) field[i] = '\0';
}

// Long paths keep their head and tail: 49 characters, "..", 49 characters.
void copyFile(char* field, const char* file) {
    const size_t length = textLength(file);
    if (length <= kStatusFileSize - 1) {
        copyField(field, kStatusFileSize, file);
        return;
    }
    constexpr size_t kPart = 49;
    size_t out = 0;
    for (size_t i = 0; i < kPart; ++i) field[out++] = file[i];
    field[out++] = '.';
    field[out++] = '.';
    for (size_t i = length - kPart; i < length; ++i) field[out++] = file[i];
    while (out < kStatusFileSize) field[out++] = '\0';
}

bool storeCode(tStatus& status, int64_t code, const char* component, const char* file, uint64_t line) {
    if (code == 0 || status.code < 0) return false;
    if (status.code > 0 && code > 0) return false;
    status.code = code;
    if (status.isExtended()) {
        auto& extended = static_cast<tStatusExtended&>(status);
        copyField(extended.component, kStatusComponentSize, component);
        copyFile(extended.file, file);
        extended.line = line;
        extended.stack[0] = 0;
    }
    return true;
}

}  // namespace

void tStatus::clear() {
    code = 0;
    if (isExtended()) {
        auto& extended = static_cast<tStatusExtended&>(*this);
        nKZKAL240_memSet(extended.component, 0, sizeof extended.component);
        nKZKAL240_memSet(extended.file, 0, sizeof extended.file);
        extended.line = 0;
        nKZKAL240_memSet(extended.stack, 0, sizeof extended.stack);
    }
}

tStatusExtended::tStatusExtended() : line(0) {
    size = sizeof(tStatusExtended);
    nKZKAL240_memSet(component, 0, sizeof component);
    nKZKAL240_memSet(file, 0, sizeof file);
    nKZKAL240_memSet(stack, 0, sizeof stack);
}
static_assert(sizeof(tStatusExtended) >= kExtendedStatusSize, "extended status layout");

bool setCode(tStatus& status, int64_t code, const char* component, const char* file, uint64_t line) {
    return storeCode(status, code, component, file, line);
}

bool merge(tStatus& destination, const tStatus& source) {
    const bool sourceExtended = source.isExtended();
    const auto* extendedSource = static_cast<const tStatusExtended*>(&source);
    const bool stored = storeCode(destination, source.code, sourceExtended ? extendedSource->component : "",
                                  sourceExtended ? extendedSource->file : "", sourceExtended ? extendedSource->line : 0);
    if (stored && sourceExtended && destination.isExtended()) {
        auto& extendedDestination = static_cast<tStatusExtended&>(destination);
        for (size_t i = 0; i < kStatusStackWords; ++i) {
            extendedDestination.stack[i] = extendedSource->stack[i];
            if (extendedSource->stack[i] == 0) break;
        }
    }
    return stored;
}

int toText(const tStatus& status, char* buffer, size_t size) {
    if (buffer == nullptr || size == 0) return -1;
    size_t total = 0;
    auto step = [&](int written) -> bool {
        if (written < 0 || static_cast<size_t>(written) >= size - total) return false;
        total += static_cast<size_t>(written);
        return true;
    };
    if (!step(boundedPrint(buffer, size, "\ntStatus contents:\n\tcode = %ld\n", static_cast<long>(status.code)))) return -1;
    if (!status.isExtended() || status.code == 0) return static_cast<int>(total);
    const auto& extended = static_cast<const tStatusExtended&>(status);
    if (!step(boundedPrint(buffer + total, size - total,
                           "\tcomponent name = %s\n\tfile name: %s\n\tline number = %lu\n\tstack trace:\n",
                           extended.component, extended.file, static_cast<unsigned long>(extended.line))))
        return -1;
    for (size_t i = 0; i < kStatusStackWords; ++i) {
        if (!step(boundedPrint(buffer + total, size - total, "\t\t0x%016lx\n",
                               static_cast<unsigned long>(extended.stack[i]))))
            return -1;
        if (extended.stack[i] == 0) break;
    }
    return static_cast<int>(total);
}

int64_t fromKernelCode(int32_t kernelCode) {
    struct Row {
        int32_t kernel;
        int64_t platform;
    };
    static constexpr Row kTable[] = {
        {0, 0},           {-51000, -52013}, {-51009, -52005}, {-51101, -52006}, {-51104, -52010},
        {-51106, -52031}, {-51150, -52003}, {-51152, -52018}, {-51202, -52008}, {-51256, -52002},
        {-51300, -52020}, {-51352, -52000}, {-51353, -52001}, {-51400, -52007}, {-51401, -52024},
        {-51405, -52023}, {-51409, -52019},
    };
    for (const Row& row : kTable)
        if (row.kernel == kernelCode) return row.platform;
    return kStatusSoftwareFault;
}

void setCodeFromKernel(int32_t kernelCode, tStatus& status, const char* file, uint64_t line) {
    if (kernelCode == 0) return;  // what nearly every kernel call answers
    setCode(status, fromKernelCode(kernelCode), KZ_COMPONENT, file, line);
}

tStatus* createStatus() {
    void* block = nKZKAL100_malloc(sizeof(tStatus));
    if (block == nullptr) {
        tStatus discarded;
        KZ_SET_CODE(discarded, kStatusMemoryFull);
        return nullptr;
    }
    auto* status = static_cast<tStatus*>(block);
    status->size = kShortStatusSize;
    status->code = 0;
    return status;
}

void destroyStatus(tStatus* status) {
    if (status != nullptr) nKZKAL100_free(status);
}

}  // namespace nKZAPALS100
