// The IO gate every request passes, and the requests that act on the device as a whole: the
// setup-level query, reset to a setup level, the hardware-state check, the session's cleanup and
// channel reservation, and the chassis cooling mode.
#include "device/tolvaneDevice.h"
#include "kzapal/protons/statusCodes.h"

namespace kzvorn_driver {

using nKZAPAL000::tEventDescriptor;
using nKZAPALS100::tStatus;

void TolvaneDevice::passIOGate(tEventDescriptor& event, uint32_t level, tGatedRequest& request) {
    tStatus gateStatus;
    tGate gate(*this, sessionOf(event), tracker_, static_cast<tLevelType>(level), gateStatus);
    if (gateStatus.isNotFatal()) {
        request.admitted();
    } else {
        request.refused(gateStatus);
    }
}

// Answered also when the caller sent an error.
void TolvaneDevice::kzvorn_getSetupLevel(tEventDescriptor& event, const tStatusRecord&, tValue32Record& output,
                                         tStatus& status) {
    output.value = static_cast<uint32_t>(tracker_.reached);
}

void TolvaneDevice::kdut_reset(tEventDescriptor& event, const tResetRecord& input, tStatusRecord&, tStatus& status) {
    if (status.isFatal()) return;
    // Unsigned, so that negative levels are refused too.
    if (input.targetLevel > static_cast<uint32_t>(kzvorn_shared::SetupLevel::kHighest)) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusBadParameter);
        return;
    }
    // The reset waits for every request in flight but this one, whose gate holds a reference.
    reset(event, static_cast<tLevelType>(input.targetLevel), input.customResetParameters, status, 1);
}

void TolvaneDevice::kdut_checkHardwareState(tEventDescriptor& event, const tHardwareStateRecord& input, tStatusRecord&,
                                            tStatus& status) {
    if (helper_ != nullptr) helper_->checkHardwareState(input.reserved, status);
}

// Not offered on this device.
void TolvaneDevice::kdut_checkChannelHardwareState(tEventDescriptor& event, const tChannelHardwareStateRecord&,
                                                   tStatusRecord&, tStatus& status) {
    KZ_SET_CODE(status, nKZAPALS100::kStatusFeatureNotSupported);
}

// The session stays open and valid; what it started is undone and its list emptied. A caller
// that sent an error gets it back, but the cleanup still runs: forgetting the operations
// unrun would leave what the session started running for good.
void TolvaneDevice::kdut_cleanup(tEventDescriptor& event, const tStatusRecord&, tStatusRecord&, tStatus& status) {
    kdut::CleanupOperationComposite* operations = sessionOf(event)->getCleanupOperations();
    tStatus cleanupStatus;
    operations->cleanup(cleanupStatus);
    operations->clear();
    nKZAPALS100::merge(status, cleanupStatus);
}

void TolvaneDevice::kdut_reserveResources(tEventDescriptor& event, const tMaskRecord& input, tStatusRecord&,
                                          tStatus& status) {
    sessionOf(event)->reserveResources(input.mask, status);
}

// Answered also when the caller sent an error.
void TolvaneDevice::kzvoltixPXICooling_getCoolingMode(tEventDescriptor& event, const tStatusRecord&,
                                                      tValue32Record& output, tStatus& status) {
    if (helper_ != nullptr) output.value = helper_->getCoolingMode();
}

// Answered also when the caller sent an error.
void TolvaneDevice::pxiCooling_getRequestedCoolingMode(tEventDescriptor& event, const tStatusRecord&,
                                                       tValue32Record& output, tStatus& status) {
    if (helper_ != nullptr) output.value = helper_->getRequestedCoolingMode();
}

void TolvaneDevice::kzvoltixPXICooling_overrideCoolingMode(tEventDescriptor& event, const tValue32Record& input,
                                                           tStatusRecord&, tStatus& status) {
    setCoolingMode(input.value, 1, status);
}

void TolvaneDevice::pxiCooling_setCoolingMode(tEventDescriptor& event, const tValue32Record& input, tStatusRecord&,
                                              tStatus& status) {
    setCoolingMode(input.value, 2, status);
}

void TolvaneDevice::setCoolingMode(uint32_t mode, uint32_t requester, tStatus& status) {
    if (helper_ != nullptr) helper_->setCoolingMode(mode & 0xFF, requester, status);
}

}  // namespace kzvorn_driver
