// The device operations behind the generated interfaces: one body per request, which the
// unmarshaller runs behind the request's IO gate (at the level of the request table) with the
// decoded input record, the output record and the operation status. A body therefore never names
// its level. The device supplies the bodies family by family (KZ_DECLARE_REQUEST_BODIES); a
// request whose body it does not supply passes its gate and is answered with -52002.
#pragma once

#include <cstdint>

#include "kzapal/protons/status.h"
#include "kzapal/protons/statusCodes.h"
#include "kzapalcodegen/ioctlTable.h"

namespace kzvorn_driver {
namespace nKZAPAL000 {
struct tEventDescriptor;
}

// What a request marked Own in the table answers when its gate refuses: by default only the gate's
// status.
#define KZ_DECLARE_REFUSAL_Zero(family, operation, tInput, tOutput)
#define KZ_DECLARE_REFUSAL_InOut(family, operation, tInput, tOutput)
#define KZ_DECLARE_REFUSAL_Own(family, operation, tInput, tOutput)                                                    \
    virtual void family##_##operation##_refused(                                                                      \
        const tInput& input, tOutput& output, const nKZAPALS100::tStatus& gateStatus, nKZAPALS100::tStatus& status) { \
        nKZAPALS100::merge(status, gateStatus);                                                                       \
    }

class tKzvornDeviceOperations {
public:
    // One request inside its IO gate; the unmarshaller makes one per request.
    class tGatedRequest {
    public:
        // The gate admitted the request: its body runs.
        virtual void admitted() = 0;
        // The gate refused it with gateStatus: the request finishes its output.
        virtual void refused(const nKZAPALS100::tStatus& gateStatus) = 0;

    protected:
        ~tGatedRequest() = default;
    };

    virtual ~tKzvornDeviceOperations() = default;

    // Enters the IO gate of the request's session at the level, on a status of its own, and runs
    // one of the request's two ends while it holds the gate.
    virtual void passIOGate(nKZAPAL000::tEventDescriptor& event, uint32_t level, tGatedRequest& request) = 0;

#define KZ_DECLARE_OPERATION(family, operation, requestCode, tInput, tOutput, level, refusal)                    \
    virtual void family##_##operation(nKZAPAL000::tEventDescriptor& event, const tInput& input, tOutput& output, \
                                      nKZAPALS100::tStatus& status) {                                            \
        KZ_SET_CODE(status, nKZAPALS100::kStatusFeatureNotSupported);                                            \
    }                                                                                                            \
    KZ_DECLARE_REFUSAL_##refusal(family, operation, tInput, tOutput)
#define KZ_NO_OPERATION(...)
    KZ_KZVORN_IOCTLS(KZ_DECLARE_OPERATION, KZ_NO_OPERATION)
#undef KZ_DECLARE_OPERATION
#undef KZ_NO_OPERATION
};

// For a device class: the declarations of every body of a family, and of the family's own
// refusals (the requests marked Own), straight from the request table.
#define KZ_REQUEST_BODY_OVERRIDE(family, operation, requestCode, tInput, tOutput, level, refusal)        \
    void family##_##operation(nKZAPAL000::tEventDescriptor& event, const tInput& input, tOutput& output, \
                              nKZAPALS100::tStatus& status) override;
#define KZ_REQUEST_REFUSAL_OVERRIDE_Zero(family, operation, tInput, tOutput)
#define KZ_REQUEST_REFUSAL_OVERRIDE_InOut(family, operation, tInput, tOutput)
#define KZ_REQUEST_REFUSAL_OVERRIDE_Own(family, operation, tInput, tOutput)                                           \
    void family##_##operation##_refused(const tInput& input, tOutput& output, const nKZAPALS100::tStatus& gateStatus, \
                                        nKZAPALS100::tStatus& status) override;
#define KZ_REQUEST_REFUSAL_OVERRIDE(family, operation, requestCode, tInput, tOutput, level, refusal) \
    KZ_REQUEST_REFUSAL_OVERRIDE_##refusal(family, operation, tInput, tOutput)
#define KZ_NO_REQUEST_BODY(...)
#define KZ_DECLARE_REQUEST_BODIES(family) KZ_IOCTLS_##family(KZ_REQUEST_BODY_OVERRIDE, KZ_NO_REQUEST_BODY)
#define KZ_DECLARE_REQUEST_REFUSALS(family) KZ_IOCTLS_##family(KZ_REQUEST_REFUSAL_OVERRIDE, KZ_NO_REQUEST_BODY)

}  // namespace kzvorn_driver
