#include "kzapalcodegen/deviceOperations_kzvorn.h"

#include "kzapal/protons/statusCodes.h"

namespace kzvorn_driver {

tOperationGate::tOperationGate(tKzvornDeviceOperations& device, nKZAPAL000::tEventDescriptor& event, uint32_t level,
                               nKZAPALS100::tStatus& status)
    : device_(device), event_(event) {
    nKZAPALS100::tStatus gateStatus;
    entered_ = device.enterIOGate(event, level, gateStatus);
    if (!entered_) nKZAPALS100::merge(status, gateStatus);
}

tOperationGate::~tOperationGate() {
    if (entered_) device_.leaveIOGate(event_);
}

void tKzvornDeviceOperations::answerUnsupported(nKZAPAL000::tEventDescriptor& event, uint32_t level,
                                                nKZAPALS100::tStatus& status) {
    tOperationGate gate(*this, event, level, status);
    if (gate.entered()) KZ_SET_CODE(status, nKZAPALS100::kStatusFeatureNotSupported);
}

}  // namespace kzvorn_driver
