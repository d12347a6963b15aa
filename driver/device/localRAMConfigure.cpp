#include "device/localRAMConfigure.h"

#include "kzapal/protons/statusCodes.h"
#include "kzapal/protons/userMemory.h"

namespace kzvorn_driver {

using draviktools::SubroutinePackage;
using nKZAPALS100::tStatus;

namespace {

// Zero-filled, then the caller's bytes; sizes in 64 bits from counts already bounded.
template <class T>
bool copyFromCaller(const nKZAPAL000::tEventDescriptor& request, uint64_t address, uint64_t count,
                    kzhtl::Vector<T>& into, tStatus& status) {
    if (!into.resize(count, status)) return false;
    const uint64_t bytes = count * sizeof(T);
    nKZAPAL000::tUserBuffer(request, address, bytes, status).readFromBuffer(0, into.data(), uint32_t(bytes), status);
    return status.isNotFatal();
}

SubroutinePackage* createCallersPackage(const nKZAPAL000::tEventDescriptor* request,
                                        const SubroutinePackageFields& fields, tStatus& status) {
    // A caller's count must never size a kernel allocation beyond what local RAM can hold.
    if (request == nullptr || fields.wordCount > draviktools::kLocalRamWords ||
        fields.count > draviktools::kLocalRamWords) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusBadParameter);
        return nullptr;
    }
    kzhtl::Vector<uint64_t> words;
    kzhtl::Vector<uint32_t> ids;
    kzhtl::Vector<uint32_t> startAddresses;
    if (!copyFromCaller(*request, fields.words, fields.wordCount, words, status) ||
        !copyFromCaller(*request, fields.ids, fields.count, ids, status) ||
        !copyFromCaller(*request, fields.startAddresses, fields.count, startAddresses, status))
        return nullptr;
    // A vector outside local RAM would send a sequencer past its end.
    for (uint32_t address : startAddresses) {
        if (address >= draviktools::kLocalRamWords) {
            KZ_SET_CODE(status, nKZAPALS100::kStatusBadParameter);
            return nullptr;
        }
    }
    draviktools::SubroutinePackageFactory factory;
    return factory.create(words.data(), words.size(), ids.data(), startAddresses.data(), ids.size(), status);
}

}  // namespace

SubroutinePackage* createLevelPackage(const nKZAPAL000::tEventDescriptor* request,
                                      const SubroutinePackageFields& fields,
                                      const draviktools::StoredSubroutinePackage& builtIn, tStatus& status) {
    if (status.isFatal()) return nullptr;
    const bool given[] = {fields.words != 0, fields.wordCount != 0, fields.ids != 0, fields.startAddresses != 0,
                          fields.count != 0};
    unsigned count = 0;
    for (bool g : given) count += g ? 1 : 0;
    if (count == 0) {
        draviktools::SubroutinePackageFactory factory;
        return draviktools::createStoredSubroutinePackage(builtIn, factory, status);
    }
    if (count != sizeof given / sizeof given[0]) {
        KZ_SET_CODE(status, draviktools::kStatusPackageFieldsIncomplete);
        return nullptr;
    }
    return createCallersPackage(request, fields, status);
}

}  // namespace kzvorn_driver
