// The sequencer requests: a channel's sequence engine (start, reset, running) on the lowest channel
// of a mask the session has reserved, and the list of the registered subroutines. The helper
// checks the engine requests' masks, after the reservation: a mask with a bit past the last
// channel is refused as unreserved, an empty one as invalid.
#include "device/tolvaneDevice.h"
#include "kzapal/protons/statusCodes.h"

namespace kzvorn_driver {

using nKZAPAL000::tEventDescriptor;
using nKZAPALS100::tStatus;

void TolvaneDevice::dravik_startSequenceEngine(tEventDescriptor& event, const tMaskNumberRecord& input,
                                               tStatusRecord&, tStatus& status) {
    if (TolvaneHelper* helper = admitMask(event, input.mask, tMaskCheck::kNone, tReserve::kYes, status))
        helper->startSequenceEngine(cleanupsOf(event), input.mask, input.number, status);
}

void TolvaneDevice::dravik_resetSequenceEngine(tEventDescriptor& event, const tMaskRecord& input, tStatusRecord&,
                                               tStatus& status) {
    if (TolvaneHelper* helper = admitMask(event, input.mask, tMaskCheck::kNone, tReserve::kYes, status))
        helper->resetSequenceEngine(cleanupsOf(event), input.mask, status);
}

void TolvaneDevice::dravik_isSequenceEngineRunning(tEventDescriptor& event, const tMaskRecord& input,
                                                   tValue8Record& output, tStatus& status) {
    if (TolvaneHelper* helper = admitMask(event, input.mask, tMaskCheck::kNone, tReserve::kYes, status))
        output.value = helper->isSequenceEngineRunning(input.mask, status) ? 1 : 0;
}

void TolvaneDevice::dravik_getSubroutines(tEventDescriptor& event, const tSubroutineListRecord& input, tStatusRecord&,
                                          tStatus& status) {
    if (TolvaneHelper* helper = forwardTarget(status))
        helper->getSubroutines(event, input.ids, input.startAddresses, input.count, status);
}

void TolvaneDevice::dravik_getNumSubroutines(tEventDescriptor& event, const tStatusRecord&, tValue32Record& output,
                                             tStatus& status) {
    if (TolvaneHelper* helper = forwardTarget(status)) output.value = helper->getNumSubroutines(status);
}

// Not offered on this device: answered behind the gate.
void TolvaneDevice::dravik_downloadSubroutines(tEventDescriptor& event, const tDownloadSubroutinesRecord&,
                                               tStatusRecord&, tStatus& status) {
    KZ_SET_CODE(status, nKZAPALS100::kStatusFeatureNotSupported);
}

void TolvaneDevice::dravik_executeSubroutine(tEventDescriptor& event, const tExecuteSubroutineRecord&, tStatusRecord&,
                                             tStatus& status) {
    KZ_SET_CODE(status, nKZAPALS100::kStatusFeatureNotSupported);
}

}  // namespace kzvorn_driver
