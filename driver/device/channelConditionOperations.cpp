// The hardware-condition, measure-unit, trigger-and-event and ganging requests. Each checks its
// channel or mask, then the session's reservation where it needs one, and forwards to the helper.
// A trigger override checks no mask of its own: the reservation refuses the bits past the last
// channel, and an empty mask passes it and overrides channel 0.
#include "device/tolvaneDevice.h"

namespace kzvorn_driver {

using nKZAPAL000::tEventDescriptor;
using nKZAPALS100::tStatus;

// Answered from level 11; an empty mask checks the board alone.
void TolvaneDevice::hwCondition_checkBoardAndChannelBasedHardwareErrors(tEventDescriptor& event,
                                                                        const tMaskRecord& input, tStatusRecord&,
                                                                        tStatus& status) {
    if (TolvaneHelper* helper = admitMask(event, input.mask, tMaskCheck::kInvalidBits, tReserve::kNo, status))
        helper->checkBoardAndChannelBasedHardwareErrors(input.mask, status);
}

void TolvaneDevice::hwCondition_clearChannelBasedHardwareErrors(tEventDescriptor& event, const tMaskRecord& input,
                                                                tStatusRecord&, tStatus& status) {
    if (TolvaneHelper* helper = admitMask(event, input.mask, tMaskCheck::kFull, tReserve::kYes, status))
        helper->clearChannelBasedHardwareErrors(input.mask, status);
}

void TolvaneDevice::hwCondition_checkMeasureFIFOOverflowStatus(tEventDescriptor& event, const tMaskRecord& input,
                                                               tStatusRecord&, tStatus& status) {
    if (TolvaneHelper* helper = admitMask(event, input.mask, tMaskCheck::kFull, tReserve::kYes, status))
        helper->checkMeasureFIFOOverflowStatus(input.mask, status);
}

// The channel is compared on the record's full 32 bits.
void TolvaneDevice::measureUnit_arm(tEventDescriptor& event, const tChannel32Record& input, tStatusRecord&,
                                    tStatus& status) {
    if (TolvaneHelper* helper = admitChannel(event, input.channel, tReserve::kYes, status))
        helper->armMeasureUnit(cleanupsOf(event), uint8_t(input.channel), status);
}

void TolvaneDevice::measureUnit_reset(tEventDescriptor& event, const tChannel32Record& input, tStatusRecord&,
                                      tStatus& status) {
    if (TolvaneHelper* helper = admitChannel(event, input.channel, tReserve::kYes, status))
        helper->resetMeasureUnit(cleanupsOf(event), uint8_t(input.channel), status);
}

void TolvaneDevice::triggersAndEvents_overrideTrigger(tEventDescriptor& event, const tMaskNumberRecord& input,
                                                      tValue8Record& output, tStatus& status) {
    if (TolvaneHelper* helper = admitMask(event, input.mask, tMaskCheck::kNone, tReserve::kYes, status))
        output.value = helper->overrideTrigger(input.mask, input.number, status) ? 1 : 0;
}

void TolvaneDevice::triggersAndEvents_checkEventLatch(tEventDescriptor& event, const tMaskEventRecord& input,
                                                      tValue8Record& output, tStatus& status) {
    if (TolvaneHelper* helper = admitMask(event, input.mask, tMaskCheck::kFull, tReserve::kYes, status))
        output.value = helper->checkEventLatch(input.mask, input.event, status) ? 1 : 0;
}

void TolvaneDevice::triggersAndEvents_clearEventLatch(tEventDescriptor& event, const tMaskEventRecord& input,
                                                      tStatusRecord&, tStatus& status) {
    if (TolvaneHelper* helper = admitMask(event, input.mask, tMaskCheck::kFull, tReserve::kYes, status))
        helper->clearEventLatch(input.mask, input.event, status);
}

void TolvaneDevice::triggersAndEvents_clearAllEventLatches(tEventDescriptor& event, const tMaskRecord& input,
                                                           tStatusRecord&, tStatus& status) {
    if (TolvaneHelper* helper = admitMask(event, input.mask, tMaskCheck::kFull, tReserve::kYes, status))
        helper->clearAllEventLatches(input.mask, status);
}

// Ganging needs no reservation of the channels; the session keeps the gangs it reserved until it
// releases them or closes.
void TolvaneDevice::channelGanging_reserveChannelsForGanging(tEventDescriptor& event, const tGangRecord& input,
                                                             tStatusRecord&, tStatus& status) {
    if (TolvaneHelper* helper = admitChannel(event, input.firstChannel, tReserve::kNo, status))
        helper->reserveChannelsForGanging(cleanupsOf(event), input.firstChannel, input.count, status);
}

void TolvaneDevice::channelGanging_unreserveChannelsForGanging(tEventDescriptor& event, const tChannelRecord& input,
                                                               tStatusRecord&, tStatus& status) {
    if (TolvaneHelper* helper = admitChannel(event, input.channel, tReserve::kNo, status))
        helper->unreserveChannelsForGanging(cleanupsOf(event), input.channel, status);
}

void TolvaneDevice::channelGanging_getMergeCount(tEventDescriptor& event, const tChannelRecord& input,
                                                 tValue8Record& output, tStatus& status) {
    // A gang spans at most the board's four channels: the count fits the record's byte.
    if (TolvaneHelper* helper = admitChannel(event, input.channel, tReserve::kNo, status)) {
        const uint32_t count = helper->getMergeCount(input.channel, status);
        if (status.isNotFatal()) output.value = uint8_t(count);
    }
}

void TolvaneDevice::channelGanging_isCurrentChannelGangingMaster(tEventDescriptor& event, const tChannelRecord& input,
                                                                 tValue8Record& output, tStatus& status) {
    if (TolvaneHelper* helper = admitChannel(event, input.channel, tReserve::kNo, status))
        output.value = helper->isCurrentChannelGangingMaster(input.channel, status) ? 1 : 0;
}

void TolvaneDevice::channelGanging_isCurrentChannelGangingReserved(tEventDescriptor& event,
                                                                   const tChannelRecord& input, tValue8Record& output,
                                                                   tStatus& status) {
    if (TolvaneHelper* helper = admitChannel(event, input.channel, tReserve::kNo, status))
        output.value = helper->isCurrentChannelGangingReserved(input.channel, status) ? 1 : 0;
}

}  // namespace kzvorn_driver
