// The one unmarshaller every request goes through, instantiated per operation from its records.
#pragma once

#include <cstdint>

#include "kzapal/protons/callbacks.h"
#include "kzapal/protons/status.h"
#include "kzapal/protons/statusCodes.h"
#include "kzapalcodegen/deviceOperations_kzvorn.h"
#include "kzkal/user.h"

namespace kzvorn_driver {

template <class tInput, class tOutput>
using tOperationBody = void (tKzvornDeviceOperations::*)(nKZAPAL000::tEventDescriptor&, const tInput&, tOutput&,
                                                         nKZAPALS100::tStatus&);

// The status is the transport's: it tells whether the records moved, never how the operation
// went (that is the output record's status). Returns the number of output bytes to report. An
// operation without a body is answered with 0xBFFA4308 and passes no gate.
template <class tInput, class tOutput, tOperationBody<tInput, tOutput> body>
uint64_t unmarshall(tKzvornDeviceOperations& device, nKZAPAL000::tEventDescriptor& event, uint64_t inputAddress,
                    uint32_t inputSize, uint64_t outputAddress, uint32_t outputSize, nKZAPALS100::tStatus& status) {
    if (inputSize != sizeof(tInput)) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusBadParameter);
        return 0;
    }
    if (outputSize != sizeof(tOutput)) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusBadParameter);
        return 0;
    }
    tInput input;
    const int32_t copied = nKZKAL100_replicateInboundIOControlBuffer(&input, inputAddress, sizeof(tInput));
    if (copied < 0) {
        KZ_SET_KERNEL_CODE(status, copied);
        return 0;
    }
    tOutput output{};
    seedResults(input, output);
    nKZAPALS100::tStatus operationStatus;
    KZ_SET_CODE(operationStatus, input.status);
    if constexpr (body == nullptr)
        KZ_SET_CODE(operationStatus, KZ_DEVICE_CODE(0xBFFA4308));
    else
        (device.*body)(event, input, output, operationStatus);
    output.status = static_cast<int32_t>(operationStatus.getCode());
    nKZAPAL200_copyIoctlOutBufferForCodegen(outputAddress, &output, sizeof(tOutput), status);
    return sizeof(tOutput);
}

}  // namespace kzvorn_driver
