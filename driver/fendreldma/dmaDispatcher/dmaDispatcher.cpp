#include "fendreldma/dmaDispatcher/dmaDispatcher.h"

#include "kzapal/protons/statusCodes.h"
#include "kzapal/protons/userMemory.h"

namespace fendreldma {

bool DMADispatcher::checkStream(uint32_t stream, tStatus& status) const {
    if (status.isFatal()) return false;
    if (stream < streamCount_) return true;
    KZ_SET_CODE(status, nKZAPALS100::kStatusBadParameter);
    return false;
}

void DMADispatcher::startDMA(uint32_t stream, bool circuitFlag, tCleanupSet& cleanups, tStatus& status) {
    if (!checkStream(stream, status)) return;
    quolintools::SGLController& lists = *controllers_->getSGLController(stream);
    quolintools::QuolinDMAStreamController& controller = *controllers_->getDMAStreamController(stream);
    cleanups.add(controllers_->getDMAFifoController(stream)->getCleanupOperation(), status);
    controller.commitAndStart(lists, circuitFlag, status);
    cleanups.add(controller.getCleanupOperation(), status);
    enableStreamCredits(stream, cleanups, status);
}

void DMADispatcher::stopDMA(uint32_t stream, tCleanupSet& cleanups, tStatus& status) {
    if (!checkStream(stream, status)) return;
    quolintools::QuolinDMAStreamController& controller = *controllers_->getDMAStreamController(stream);
    kzvorn_driver::DMAFifoController& fifo = *controllers_->getDMAFifoController(stream);
    disableStreamCredits(stream, cleanups, status);
    controller.stop(status);
    cleanups.remove(controller.getCleanupOperation(), status);
    fifo.clearFifo(status);
    cleanups.remove(fifo.getCleanupOperation(), status);
}

void DMADispatcher::addTransfer(const kzvorn_driver::nKZAPAL000::tEventDescriptor& session, uint32_t stream,
                                uint32_t listKind, uint64_t address, uint64_t size, uint32_t direction,
                                uint32_t count, tCleanupSet& cleanups, tStatus& status) {
    if (!checkStream(stream, status)) return;
    if (size == 0) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusBufferTooSmall);
        return;
    }
    if (listKind > quolintools::SGLController::kContinuousList) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusBadParameter);
        return;
    }
    quolintools::SGLController& lists = *controllers_->getSGLController(stream);
    const bool wasEmpty = lists.isBufferListEmpty();
    kzvorn_driver::nKZAPAL000::tUserBuffer buffer(session, address, size, status);
    lists.addBuffer(listKind, buffer, direction, count, status);
    if (!wasEmpty || lists.isBufferListEmpty() || cleanups.contains(&lists.getCleanupOperation())) return;
    tStatus joined;
    cleanups.add(&lists.getCleanupOperation(), joined);
    nKZAPALS100::merge(status, joined);
}

void DMADispatcher::writeStreamAdditiveTransferCount(uint32_t stream, uint32_t count, tStatus& status) {
    if (checkStream(stream, status)) controllers_->getDMAStreamController(stream)->writeStreamAdditiveTransferCount(
        count, status);
}

uint64_t DMADispatcher::getTransferCount(uint32_t stream, tStatus& status) {
    if (!checkStream(stream, status)) return 0;
    return controllers_->getDMAStreamController(stream)->getTransferCount(status);
}

void DMADispatcher::clearTransfers(uint32_t stream, tCleanupSet& cleanups, tStatus& status) {
    if (!checkStream(stream, status)) return;
    quolintools::SGLController& lists = *controllers_->getSGLController(stream);
    controllers_->getDMAStreamController(stream)->clearTransfers(lists, status);
    cleanups.remove(&lists.getCleanupOperation(), status);
}

void DMADispatcher::clearApplicationFIFO(uint32_t stream, tCleanupSet& cleanups, tStatus& status) {
    if (!checkStream(stream, status)) return;
    disableStreamCredits(stream, cleanups, status);
    controllers_->getDMAFifoController(stream)->clearFifo(status);
}

void DMADispatcher::disableStreamCredits(uint32_t stream, tCleanupSet& cleanups, tStatus& status) {
    kzvorn_driver::StreamCreditControllerInterface* credits = controllers_->getStreamCreditController(stream, status);
    if (credits == nullptr) return;
    credits->disable(status);
    cleanups.remove(credits->getCleanupOperation(), status);
}

void DMADispatcher::enableStreamCredits(uint32_t stream, tCleanupSet& cleanups, tStatus& status) {
    if (!checkStream(stream, status)) return;
    kzvorn_driver::StreamCreditControllerInterface* credits = controllers_->getStreamCreditController(stream, status);
    if (credits == nullptr) return;
    credits->enable(status);
    cleanups.add(credits->getCleanupOperation(), status);
}

}  // namespace fendreldma
