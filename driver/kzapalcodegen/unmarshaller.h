// The one unmarshaller every request goes through, instantiated per operation from its row of the
// request table: its records, its gate's level and what its output holds when the gate refuses.
#pragma once

#include <cstdint>

#include "kzapal/protons/callbacks.h"
#include "kzapal/protons/status.h"
#include "kzapal/protons/statusCodes.h"
#include "kzapalcodegen/deviceOperations_kzvorn.h"
#include "kzapalcodegen/statusCodes.h"
#include "kzkal/user.h"

namespace kzvorn_driver {

template <class tInput, class tOutput>
using tOperationBody = void (tKzvornDeviceOperations::*)(nKZAPAL000::tEventDescriptor&, const tInput&, tOutput&,
                                                         nKZAPALS100::tStatus&);
template <class tInput, class tOutput>
using tRefusalBody = void (tKzvornDeviceOperations::*)(const tInput&, tOutput&, const nKZAPALS100::tStatus&,
                                                       nKZAPALS100::tStatus&);

// A request with a body, inside its gate.
template <class tInput, class tOutput, tOperationBody<tInput, tOutput> body, tRefusalOutput onRefusal,
          tRefusalBody<tInput, tOutput> refusal>
class tGatedBody final : public tKzvornDeviceOperations::tGatedRequest {
public:
    tGatedBody(tKzvornDeviceOperations& device, nKZAPAL000::tEventDescriptor& event, const tInput& input,
               tOutput& output, nKZAPALS100::tStatus& status)
        : device_(device), event_(event), input_(input), output_(output), status_(status) {}

    void admitted() override { (device_.*body)(event_, input_, output_, status_); }
    void refused(const nKZAPALS100::tStatus& gateStatus) override {
        if constexpr (onRefusal == tRefusalOutput::kOwn)
            (device_.*refusal)(input_, output_, gateStatus, status_);
        else
            nKZAPALS100::merge(status_, gateStatus);
    }

private:
    tKzvornDeviceOperations& device_;
    nKZAPAL000::tEventDescriptor& event_;
    const tInput& input_;
    tOutput& output_;
    nKZAPALS100::tStatus& status_;
};

// The status is the transport's: it tells whether the records moved, never how the operation
// went (that is the output record's status). Returns the number of output bytes to report. An
// operation without a body passes no gate: this device does not offer it.
template <class tInput, class tOutput, uint32_t level, tRefusalOutput onRefusal, tOperationBody<tInput, tOutput> body,
          tRefusalBody<tInput, tOutput> refusal>
uint64_t unmarshall(tKzvornDeviceOperations& device, nKZAPAL000::tEventDescriptor& event, uint64_t inputAddress,
                    uint32_t inputSize, uint64_t outputAddress, uint32_t outputSize, nKZAPALS100::tStatus& status) {
    static_assert((body == nullptr) == (level == kNoSetupLevel), "a request has a body exactly when it has a gate");
    static_assert((refusal != nullptr) == (onRefusal == tRefusalOutput::kOwn), "only an Own refusal has a body");
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
    if constexpr (onRefusal == tRefusalOutput::kInOut) seedResults(input, output);
    nKZAPALS100::tStatus operationStatus;
    if (input.status != 0) KZ_SET_CODE(operationStatus, input.status);
    if constexpr (level == kNoSetupLevel) {
        KZ_SET_CODE(operationStatus, kStatusNotOnThisDevice);
    } else {
        tGatedBody<tInput, tOutput, body, onRefusal, refusal> request(device, event, input, output, operationStatus);
        device.passIOGate(event, level, request);
    }
    output.status = static_cast<int32_t>(operationStatus.getCode());
    nKZAPAL200_copyIoctlOutBufferForCodegen(outputAddress, &output, sizeof(tOutput), status);
    return sizeof(tOutput);
}

}  // namespace kzvorn_driver
