#include "device/disabledErrorList.h"

#include "kzapal/protons/statusCodes.h"
#include "kzapal/protons/userMemory.h"

namespace kzvorn_driver {

using nKZAPALS100::tStatus;

bool allocateDisabledErrorList(uint64_t count, kzhtl::Vector<uint64_t>& list, tStatus& status) {
    if (status.isFatal()) return false;
    if (count > kMaxDisabledErrorCount) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusMemoryFull);
        return false;
    }
    return list.resize(static_cast<size_t>(count), status);
}

void readDisabledErrorList(const nKZAPAL000::tEventDescriptor& request, uint64_t address,
                           kzhtl::Vector<uint64_t>& list, tStatus& status) {
    if (status.isFatal() || list.empty()) return;
    const uint64_t bytes = list.size() * sizeof(uint64_t);
    const nKZAPAL000::tUserBuffer caller(request, address, bytes, status);
    caller.readFromBuffer(0, list.data(), static_cast<uint32_t>(bytes), status);
}

}  // namespace kzvorn_driver
