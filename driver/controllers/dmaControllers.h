// The per-stream controllers of the eight DMA streams, built in one go at the DMA level: stream s
// has its stream circuit, its bridge DMA channel, its transfer lists, its application FIFO reset
// and its credit gate, and belongs to channel s / 2. After the streams come the bridge interrupt
// controller and the table of threads waiting for stream progress.
#pragma once

#include <cstdint>

#include "controllers/fifoControllers.h"
#include "controllers/streamCreditControllers.h"
#include "device/nonIsolatedRegMaps.h"
#include "device/pavoRegMaps.h"
#include "kzapal/protons/pciDevice.h"
#include "kzvorn_regMaps/TolvaneRegisterMap_TolvaneIsoChannelRegMap.h"
#include "quolinTools/dma/dmaInterruptController.h"
#include "quolinTools/dma/interruptController.h"
#include "quolinTools/dma/sglController.h"
#include "quolinTools/dma/streamController.h"

namespace kzvorn_driver {

class QuolinDMAControllers {
public:
    using tStatus = nKZAPALS100::tStatus;
    static constexpr unsigned kStreamCount = 8;
    static constexpr unsigned kChannelCount = kStreamCount / 2;

    // The isolated channel maps of the four channels, whose configuration and status take part in
    // stopping a source stream. Builds nothing on an error status and stops at the first failure;
    // the destructor deletes what was built. A DMA placement that no longer lies inside the bridge
    // mapping is -52003, before any stream is built.
    QuolinDMAControllers(nKZAPAL000::tPCIDevice& device, PavoRegMaps& bridge, NonIsolatedRegMaps& nonIsolated,
                         kzvorn_regmaps::tTolvaneIsoChannelRegMap* const (&channels)[kChannelCount],
                         tStatus& status);
    // Stops every stream still running before anything is deleted: no channel may go on reading
    // link memory or pinned pages that are about to be released.
    virtual ~QuolinDMAControllers();
    QuolinDMAControllers(const QuolinDMAControllers&) = delete;
    QuolinDMAControllers& operator=(const QuolinDMAControllers&) = delete;

    // The stream index is not checked here.
    virtual quolintools::QuolinDMAStreamController* getDMAStreamController(unsigned stream) {
        return streams_[stream];
    }
    virtual quolintools::SGLController* getSGLController(unsigned stream) { return lists_[stream]; }
    virtual DMAFifoController* getDMAFifoController(unsigned stream) { return fifos_[stream]; }
    // None when the status holds an error.
    virtual StreamCreditControllerInterface* getStreamCreditController(unsigned stream, tStatus& status) {
        return status.isFatal() ? nullptr : credits_[stream];
    }
    // None when it could not be built.
    quolintools::QuolinDMAInterruptController* getDMAInterruptController() { return waits_; }

private:
    void buildStream(unsigned stream, nKZAPAL000::tPCIDevice& device, PavoRegMaps& bridge,
                     NonIsolatedRegMaps& nonIsolated, kzvorn_regmaps::tTolvaneIsoChannelRegMap* channel,
                     uint32_t linkSize, tStatus& status);

    quolintools::tStreamCircuitController* circuits_[kStreamCount] = {};
    quolintools::QuolinDMAStreamController* streams_[kStreamCount] = {};
    quolintools::SGLController* lists_[kStreamCount] = {};
    quolintools::InterruptNotifierRegistryInterface* interrupts_ = nullptr;
    quolintools::QuolinDMAInterruptController* waits_ = nullptr;
    DMAFifoController* fifos_[kStreamCount] = {};
    StreamCreditControllerInterface* credits_[kStreamCount] = {};
};

}  // namespace kzvorn_driver
