// The DMA stream requests. Each call to the dispatcher takes the session's cleanup set anew; the
// eight requests other than the two waits accept any session on any stream. A device without
// DMA objects answers them with -52002.
#include "device/statusCodes.h"
#include "device/tolvaneDevice.h"
#include "fendreldma/dmaDispatcher/dmaDispatcher.h"
#include "kzvorn_shared/streamChannel.h"

namespace kzvorn_driver {

using nKZAPAL000::tEventDescriptor;
using nKZAPALS100::tStatus;

fendreldma::DMADispatcher* TolvaneDevice::dmaDispatcher(tStatus& status) {
    if (status.isFatal()) return nullptr;
    fendreldma::DMADispatcher* dispatcher = helper_ != nullptr ? helper_->getDMADispatcher() : nullptr;
    if (dispatcher == nullptr) KZ_SET_CODE(status, nKZAPALS100::kStatusFeatureNotSupported);
    return dispatcher;
}

kdut::CleanupOperationComposite& TolvaneDevice::cleanupsOf(tEventDescriptor& event) {
    return *sessionOf(event)->getCleanupOperations();
}

// A wait's stream is checked before its channel's mask is formed: the channel of a stream past
// the last would be no channel of the board, or a shift past the mask's width.
void TolvaneDevice::checkWaitStream(tEventDescriptor& event, uint32_t stream, tStatus& status) {
    if (status.isFatal()) return;
    if (stream >= kzvorn_shared::kDMAStreamCount) {
        KZ_SET_CODE(status, kStatusInvalidChannel);
        return;
    }
    const uint8_t channel = kzvorn_shared::channelFromStreamIndex(uint8_t(stream));
    sessionOf(event)->require(uint64_t{1} << channel, status);
}

void TolvaneDevice::quolinTools_startDMA(tEventDescriptor& event, const tStartDMARecord& input, tStatusRecord&,
                                         tStatus& status) {
    if (auto* dispatcher = dmaDispatcher(status))
        dispatcher->startDMA(input.stream, input.startFlag != 0, cleanupsOf(event), status);
}

void TolvaneDevice::quolinTools_stopDMA(tEventDescriptor& event, const tStreamRecord& input, tStatusRecord&,
                                        tStatus& status) {
    if (auto* dispatcher = dmaDispatcher(status)) dispatcher->stopDMA(input.stream, cleanupsOf(event), status);
}

void TolvaneDevice::quolinTools_addTransferToDevice(tEventDescriptor& event, const tTransferToDeviceRecord& input,
                                                    tStatusRecord&, tStatus& status) {
    if (auto* dispatcher = dmaDispatcher(status))
        dispatcher->addTransfer(event, input.stream, input.list, input.address, input.size,
                                quolintools::SGLController::kToDevice, input.repeatCount, cleanupsOf(event), status);
}

void TolvaneDevice::quolinTools_addTransferFromDevice(tEventDescriptor& event, const tTransferFromDeviceRecord& input,
                                                      tStatusRecord&, tStatus& status) {
    if (auto* dispatcher = dmaDispatcher(status))
        dispatcher->addTransfer(event, input.stream, input.list, input.address, input.size,
                                quolintools::SGLController::kFromDevice, 1, cleanupsOf(event), status);
}

void TolvaneDevice::quolinTools_writeStreamAdditiveTransferCount(tEventDescriptor& event,
                                                                 const tStreamCountRecord& input, tStatusRecord&,
                                                                 tStatus& status) {
    if (auto* dispatcher = dmaDispatcher(status))
        dispatcher->writeStreamAdditiveTransferCount(input.stream, input.count, status);
}

void TolvaneDevice::quolinTools_getTransferCount(tEventDescriptor& event, const tStreamRecord& input,
                                                 tValue64Record& output, tStatus& status) {
    if (auto* dispatcher = dmaDispatcher(status)) output.value = dispatcher->getTransferCount(input.stream, status);
}

void TolvaneDevice::quolinTools_clearTransfers(tEventDescriptor& event, const tStreamRecord& input, tStatusRecord&,
                                               tStatus& status) {
    if (auto* dispatcher = dmaDispatcher(status)) dispatcher->clearTransfers(input.stream, cleanupsOf(event), status);
}

void TolvaneDevice::quolinTools_clearApplicationFIFO(tEventDescriptor& event, const tStreamRecord& input,
                                                     tStatusRecord&, tStatus& status) {
    auto* dispatcher = dmaDispatcher(status);
    if (dispatcher == nullptr) return;
    dispatcher->clearApplicationFIFO(input.stream, cleanupsOf(event), status);
    dispatcher->enableStreamCredits(input.stream, cleanupsOf(event), status);
}

void TolvaneDevice::quolinTools_waitUntilBytesTransferred(tEventDescriptor& event, const tWaitRecord& input,
                                                          tValue8Record& output, tStatus& status) {
    checkWaitStream(event, input.stream, status);
    if (status.isFatal() || helper_ == nullptr) return;
    bool timedOut = false;
    if (helper_->waitUntilBytesTransferred(input.stream, input.startPosition, input.byteCount, input.timeout,
                                           &timedOut, status))
        output.value = timedOut ? 1 : 0;
}

void TolvaneDevice::quolinTools_cancelWaitUntilBytesTransferred(tEventDescriptor& event, const tStreamRecord& input,
                                                                tStatusRecord&, tStatus& status) {
    checkWaitStream(event, input.stream, status);
    if (status.isNotFatal() && helper_ != nullptr) helper_->cancelWaitUntilBytesTransferred(input.stream);
}

}  // namespace kzvorn_driver
