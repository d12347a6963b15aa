#include "vantrel_shared/channelInterruptMuxController.h"

namespace vantrel_shared {

ChannelInterruptMuxController::ChannelInterruptMuxController(const kzhtl::SharedPtr<OccurrenceMuxInterface>& mux,
                                                             const kzhtl::Vector<uint16_t>& interruptIds,
                                                             uint16_t guardId, MuxInputMapInterface* inputMap,
                                                             tStatus& status)
    : mux_(mux), interruptIds_(interruptIds, status), guardId_(guardId), inputMap_(inputMap) {}

void ChannelInterruptMuxController::act(void (OccurrenceMuxInterface::*action)(uint8_t, tStatus&), tStatus& status) {
    for (size_t i = 0; i < interruptIds_.size() && status.isNotFatal(); ++i)
        ((*mux_).*action)(inputMap_->getInputForId(interruptIds_[i], status), status);
}

void ChannelInterruptMuxController::enableInterrupts(tStatus& status) {
    if (status.isFatal()) return;
    act(&OccurrenceMuxInterface::enableInput, status);
    const bool guardLatched = mux_->isInputLatched(inputMap_->getInputForId(guardId_, status), status);
    if (guardLatched) act(&OccurrenceMuxInterface::disableInput, status);
}

}  // namespace vantrel_shared
