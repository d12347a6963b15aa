// The device operations behind the generated interfaces: one per request, called with the
// decoded input record, the zeroed output record and the operation status. The device supplies
// the IO gate and, family by family, the bodies; a request whose body it does not supply passes
// its gate and is answered with -52002.
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

    // Enters the IO gate of the request's session at a setup level (kNoSetupLevel is never
    // asked for). On false nothing is held and the gate's status says why.
    virtual bool enterIOGate(nKZAPAL000::tEventDescriptor& event, uint32_t level, nKZAPALS100::tStatus& gateStatus) = 0;
    virtual void leaveIOGate(nKZAPAL000::tEventDescriptor& event) = 0;

#define KZ_DECLARE_OPERATION(family, operation, requestCode, tInput, tOutput, level)                    \
    virtual void family##_##operation(nKZAPAL000::tEventDescriptor& event, const tInput& input, tOutput& output, \
                                      nKZAPALS100::tStatus& status) {                                    \
        answerUnsupported(event, level, status);                                                         \
    }
#define KZ_NO_OPERATION(...)
    KZ_KZVORN_IOCTLS(KZ_DECLARE_OPERATION, KZ_NO_OPERATION)
#undef KZ_DECLARE_OPERATION
#undef KZ_NO_OPERATION

protected:
    // -52002 once the gate has been passed; the gate's own status when it refuses.
    void answerUnsupported(nKZAPAL000::tEventDescriptor& event, uint32_t level, nKZAPALS100::tStatus& status);
};

// Holds an operation's IO gate for its scope. The gate reports into a status of its own, which
// reaches the operation status only when the gate refuses; the caller's error does not keep the
// request out of the gate.
class tOperationGate {
public:
    tOperationGate(tKzvornDeviceOperations& device, nKZAPAL000::tEventDescriptor& event, uint32_t level,
                   nKZAPALS100::tStatus& status);
    ~tOperationGate();
    tOperationGate(const tOperationGate&) = delete;
    tOperationGate& operator=(const tOperationGate&) = delete;

    bool entered() const { return entered_; }

private:
    tKzvornDeviceOperations& device_;
    nKZAPAL000::tEventDescriptor& event_;
    bool entered_;
};

}  // namespace kzvorn_driver
