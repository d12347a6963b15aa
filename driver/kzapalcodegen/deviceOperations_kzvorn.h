// The device operations behind the generated interfaces: one per request, called with the
// decoded input record, the zeroed output record and the operation status. The device supplies
// the bodies family by family; a request whose body it does not supply passes its IO gate and is
// answered with -52002.
#pragma once

#include <cstdint>

#include "kzapal/protons/status.h"
#include "kzapalcodegen/ioctlTable.h"

namespace kzvorn_driver {
namespace nKZAPAL000 {
struct tEventDescriptor;
}

class tKzvornDeviceOperations {
public:
    virtual ~tKzvornDeviceOperations() = default;

#define KZ_DECLARE_OPERATION(family, operation, requestCode, tInput, tOutput, level)                    \
    virtual void family##_##operation(nKZAPAL000::tEventDescriptor& event, const tInput& input, tOutput& output, \
                                      nKZAPALS100::tStatus& status) {                                    \
        answerNotSupported(event, level, status);                                                        \
    }
#define KZ_NO_OPERATION(...)
    KZ_KZVORN_IOCTLS(KZ_DECLARE_OPERATION, KZ_NO_OPERATION)
#undef KZ_DECLARE_OPERATION
#undef KZ_NO_OPERATION

protected:
    // Passes the IO gate of the request's session at the level and records -52002; a refusing
    // gate's status is merged instead.
    virtual void answerNotSupported(nKZAPAL000::tEventDescriptor& event, uint32_t level,
                                    nKZAPALS100::tStatus& status) = 0;
};

}  // namespace kzvorn_driver
