#include "device/errorControllerFactory.h"

#include "device/isoOccurrence.h"
#include "device/statusCodes.h"

namespace kzvorn_driver {

using nKZAPALS100::tStatus;
using vantrel_shared::ErrorControllerInterface;
using vantrel_shared::ErrorManagerInterface;
using vantrel_shared::OccurrenceMuxInterface;

tIsoChannelRegMap* ErrorControllerFactory::channelMap(uint8_t channel, tStatus& status) {
    if (status.isFatal()) return nullptr;
    if (channel >= kChannelCount) {
        KZ_SET_CODE(status, kStatusInvalidChannel);
        return nullptr;
    }
    return channelMaps_[channel];
}

kzhtl::SharedPtr<ErrorControllerInterface> ErrorControllerFactory::createIsoBoardErrorController(tStatus& status) {
    if (status.isFatal()) return {};
    kzhtl::SharedPtr<ErrorManagerInterface> manager =
        kzhtl::SharedPtr<ErrorManagerInterface>(newIsoBoardErrorManager(isoMap_, status), status);
    kzhtl::SharedPtr<OccurrenceMuxInterface> mux = kzhtl::SharedPtr<OccurrenceMuxInterface>(
        newIsoBoardErrorMux(isoMap_, uint8_t(isoBoardInputs_->getInputCount()), status), status);
    if (status.isFatal()) return {};
    return kzhtl::SharedPtr<ErrorControllerInterface>(
        new (status) vantrel_shared::OccurrenceErrorController(manager, mux, isoBoardInputs_, errorMap_), status);
}

kzhtl::SharedPtr<ErrorControllerInterface> ErrorControllerFactory::createChannelErrorController(uint8_t channel,
                                                                                               tStatus& status) {
    tIsoChannelRegMap* map = channelMap(channel, status);
    if (map == nullptr) return {};
    kzhtl::SharedPtr<ErrorManagerInterface> manager = kzhtl::SharedPtr<ErrorManagerInterface>(newChannelErrorManager(*map, status), status);
    kzhtl::SharedPtr<OccurrenceMuxInterface> mux = kzhtl::SharedPtr<OccurrenceMuxInterface>(
        newChannelErrorMux(*map, uint8_t(channelInputs_->getInputCount()), status), status);
    if (status.isFatal()) return {};
    return kzhtl::SharedPtr<ErrorControllerInterface>(
        new (status) vantrel_shared::OccurrenceErrorController(manager, mux, channelInputs_, errorMap_), status);
}

kzhtl::SharedPtr<vantrel_shared::ChannelInterruptControllerInterface>
ErrorControllerFactory::createChannelInterruptController(uint8_t channel, tStatus& status) {
    tIsoChannelRegMap* map = channelMap(channel, status);
    if (map == nullptr) return {};
    kzhtl::SharedPtr<OccurrenceMuxInterface> mux = kzhtl::SharedPtr<OccurrenceMuxInterface>(
        newChannelInterruptMux(*map, uint8_t(interruptInputs_->getInputCount()), status), status);
    kzhtl::Vector<uint16_t> ids;
    for (uint16_t id = 0x706; id <= 0x709; ++id) ids.push_back(id, status);
    if (status.isFatal()) return {};
    return kzhtl::SharedPtr<vantrel_shared::ChannelInterruptControllerInterface>(
        new (status) vantrel_shared::ChannelInterruptMuxController(mux, ids, 0x705, interruptInputs_, status), status);
}

kzhtl::SharedPtr<vantrel_shared::MeasureFIFOOverflowStatusControllerInterface>
ErrorControllerFactory::createMeasureFIFOOverflowStatusController(tStatus& status) {
    if (status.isFatal()) return {};
    return kzhtl::SharedPtr<vantrel_shared::MeasureFIFOOverflowStatusControllerInterface>(
        new (status) MeasureFIFOOverflowStatusController(nisoMap_.MeasureFifoStatus(0), status), status);
}

}  // namespace kzvorn_driver
