#include "dravikTools/subroutinePackage.h"

#include <lz4.h>

#include "kzapal/protons/memory.h"
#include "kzapal/protons/statusCodes.h"
#include "stowlyImages.h"

namespace draviktools {

using nKZAPALS100::tStatus;

SubroutinePackage::SubroutinePackage(const uint64_t* words, uint64_t wordCount, const SubroutineId* ids,
                                     const uint32_t* startAddresses, uint64_t count, tStatus& status) {
    words_.assign(words, wordCount, status);
    ids_.assign(ids, count, status);
    startAddresses_.assign(startAddresses, count, status);
}

SubroutinePackage* SubroutinePackageFactory::create(const uint64_t* words, uint64_t wordCount,
                                                    const SubroutineId* ids, const uint32_t* startAddresses,
                                                    uint64_t count, tStatus& status) {
    if (status.isFatal()) return nullptr;
    return new (status) SubroutinePackage(words, wordCount, ids, startAddresses, count, status);
}

const StoredSubroutinePackage& builtInSubroutinePackage() {
    static constexpr StoredSubroutinePackage kBuiltIn = {
        stowly_TolvaneSubroutineData_bin,           stowly_TolvaneSubroutineData_bin_size,
        stowly_TolvaneSubroutineData_bin_original_size, stowly_TolvaneSubroutineData_ids,
        stowly_TolvaneSubroutineData_startAddresses, stowly_TolvaneSubroutineData_count};
    return kBuiltIn;
}

SubroutinePackage* createStoredSubroutinePackage(const StoredSubroutinePackage& stored,
                                                 SubroutinePackageFactory& factory, tStatus& status) {
    if (status.isFatal()) return nullptr;
    if (stored.originalSize % sizeof(uint64_t) != 0 || stored.originalSize > LZ4_MAX_INPUT_SIZE ||
        stored.compressedSize > LZ4_MAX_INPUT_SIZE) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusBadParameter);
        return nullptr;
    }
    kzhtl::Vector<uint64_t> words;
    if (!words.resizeForOverwrite(stored.originalSize / sizeof(uint64_t), status)) return nullptr;
    const int decoded = LZ4_decompress_safe(reinterpret_cast<const char*>(stored.block),
                                            reinterpret_cast<char*>(words.data()),
                                            static_cast<int>(stored.compressedSize),
                                            static_cast<int>(stored.originalSize));
    if (decoded < 0 || static_cast<uint64_t>(decoded) != stored.originalSize) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusBadParameter);
        return nullptr;
    }
    return factory.create(words.data(), words.size(), stored.ids, stored.startAddresses, stored.count, status);
}

}  // namespace draviktools
