#include "controllers/dmaControllers.h"

#include "kzapal/protons/memory.h"
#include "kzapal/protons/statusCodes.h"

namespace kzvorn_driver {

using quolintools::QuolinDMAStreamController;
using quolintools::SGLController;

void QuolinDMAControllers::buildInterruptControllers(nKZAPAL000::tPCIDevice& device, const uint64_t& bridgeBase,
                                                     tStatus& status) {
    if (status.isFatal()) return;
    interrupts_ = new (status) quolintools::InterruptController(device, bridgeBase, status);
    if (status.isNotFatal()) waits_ = new (status) quolintools::QuolinDMAInterruptController(interrupts_, status);
    // A waiter table that could not make its locks is none.
    if (status.isFatal()) {
        delete waits_;
        waits_ = nullptr;
    }
}

void QuolinDMAControllers::buildStream(unsigned s, nKZAPAL000::tPCIDevice& device, const uint64_t& bridgeBase,
                                       quolintools::tQuolinDMAChannelWithOffset<0u>* channelMap,
                                       quolintools::tStreamCircuitRegMapWithOffset<0u>* circuitMap,
                                       kzvorn_regmaps::tTolvaneNisoFpgaRegMap& fpga,
                                       kzvorn_regmaps::tTolvaneIsoChannelRegMap* channel, uint32_t linkSize,
                                       tStatus& status) {
    const unsigned c = s / 2;
    auto* measureUnit = fpga.measureUnit(c);
    const bool creditsReachable = isMeasureStream(s) ? measureUnit != nullptr : channel != nullptr;
    if (circuitMap == nullptr || channelMap == nullptr || !creditsReachable) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusResourceNotFound);
        return;
    }
    circuits_[s] = new (status) quolintools::tStreamCircuitController(circuitMap, nullptr, false, false);
    if (circuits_[s] != nullptr)
        streams_[s] = new (status) QuolinDMAStreamController(bridgeBase, channelMap, circuits_[s], s, status);
    if (streams_[s] != nullptr)
        lists_[s] = new (status) SGLController(device.getDMAConfiguration(), linkSize,
                                               isMeasureStream(s) ? SGLController::kFromDevice
                                                                  : SGLController::kToDevice,
                                               status);
    if (lists_[s] != nullptr) {
        lists_[s]->setGuard(streams_[s]);
        fifos_[s] = new (status) DMAFifoController(DMAFifoController::resetRegisterOf(fpga, s));
    }
    if (fifos_[s] == nullptr) return;
    if (isMeasureStream(s))
        credits_[s] = new (status) MeasureStreamCreditController(measureUnit->NisoMeasureUnitConfig(0));
    else
        credits_[s] = new (status) SourceStreamCreditController(
            fpga.NisoTxCreditControl(c), channel->IsoChannelConfigReg(), channel->IsoChannelStatusReg(),
            fpga.NisoTxCreditStatus(c));
}

QuolinDMAControllers::~QuolinDMAControllers() {
    for (QuolinDMAStreamController* stream : streams_) {
        tStatus dropped;
        if (stream != nullptr && stream->isStreaming()) stream->stop(dropped);
    }
    delete waits_;
    waits_ = nullptr;
    delete interrupts_;
    interrupts_ = nullptr;
    for (unsigned s = 0; s < kStreamCount; ++s) {
        delete credits_[s];
        credits_[s] = nullptr;
        delete fifos_[s];
        fifos_[s] = nullptr;
        delete lists_[s];
        lists_[s] = nullptr;
        delete streams_[s];
        streams_[s] = nullptr;
        delete circuits_[s];
        circuits_[s] = nullptr;
    }
}

}  // namespace kzvorn_driver
