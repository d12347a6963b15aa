#include "dravikTools/subroutineRegistrar.h"

#include "kzapal/protons/memory.h"
#include "kzapal/protons/statusCodes.h"

namespace draviktools {

using nKZAPALS100::tStatus;

SubroutineRegistrar::SubroutineRegistrar(const SubroutinePackageInterface& package, int32_t notFoundStatus,
                                         tStatus& status)
    : notFoundStatus_(notFoundStatus) {
    ids_.assign(package.getSubroutineIds(), status);
    startAddresses_.assign(package.getStartAddresses(), status);
}

void SubroutineRegistrar::getSubroutines(kzhtl::Vector<SubroutineId>& ids, kzhtl::Vector<uint32_t>& startAddresses,
                                         tStatus& status) const {
    if (status.isFatal()) return;
    // Both copies first, so a failed allocation leaves the caller's vectors as they were.
    kzhtl::Vector<SubroutineId> idsCopy;
    kzhtl::Vector<uint32_t> addressesCopy;
    if (!idsCopy.assign(ids_, status) || !addressesCopy.assign(startAddresses_, status)) return;
    ids.swap(idsCopy);
    startAddresses.swap(addressesCopy);
}

uint32_t SubroutineRegistrar::getNumSubroutines(tStatus& status) const {
    if (status.isFatal()) return 0;
    const uint64_t count = ids_.size();
    if (count > UINT32_MAX) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusValueConflict);
        return 0;
    }
    return static_cast<uint32_t>(count);
}

uint32_t SubroutineRegistrar::getStartAddress(SubroutineId id, tStatus& status) const {
    if (status.isFatal()) return 0;
    for (size_t i = 0; i < ids_.size(); ++i)
        if (ids_[i] == id) return startAddresses_[i];
    KZ_SET_CODE(status, notFoundStatus_);
    return 0;
}

SubroutineRegistrar* SubroutineRegistrarFactory::create(const SubroutinePackageInterface& package,
                                                        int32_t notFoundStatus, tStatus& status) {
    if (status.isFatal()) return nullptr;
    return new (status) SubroutineRegistrar(package, notFoundStatus, status);
}

}  // namespace draviktools
