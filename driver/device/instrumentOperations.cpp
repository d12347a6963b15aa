// The instrument requests of the vantrel family. Their bodies come with the levels that build the
// objects they reach and until then answer -52002 behind their gates; what two of them answer when
// the gate refuses needs none of those objects.
#include "device/statusCodes.h"
#include "device/tolvaneDevice.h"

namespace kzvorn_driver {

using nKZAPAL000::tEventDescriptor;
using nKZAPALS100::tStatus;

namespace {

constexpr uint32_t kHighestTemperatureSensor = 1;

}  // namespace

// The sensor number is checked before the gate's status is looked at; a bad one hides the gate's.
void TolvaneDevice::vantrel_readTemperatureSensor_refused(const tValue32Record& input, tValue16Record&,
                                                          const tStatus& gateStatus, tStatus& status) {
    if (input.value > kHighestTemperatureSensor) {
        KZ_SET_CODE(status, kStatusArgumentOutOfRange);
        return;
    }
    nKZAPALS100::merge(status, gateStatus);
}

void TolvaneDevice::vantrel_getHardwareErrors(tEventDescriptor& event, const tSizedUserBufferRecord& input,
                                              tStatusRecord&, tStatus& status) {
    if (helper_ != nullptr) helper_->getHardwareErrors(event, input.address, input.size, status);
}

void TolvaneDevice::vantrel_getConnectedAccessory_refused(const tStatusRecord&, tValue32Record& output,
                                                          const tStatus& gateStatus, tStatus& status) {
    nKZAPALS100::merge(status, gateStatus);
    output.value = 1;
}

}  // namespace kzvorn_driver
