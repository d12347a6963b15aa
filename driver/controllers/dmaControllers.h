// The per-stream controllers of the eight DMA streams, built in one go at the DMA level: stream s
// has its stream circuit, its bridge DMA channel, its transfer lists, its application FIFO reset
// and its credit gate, and belongs to channel s / 2. After the streams come the bridge interrupt
// controller and the table of threads waiting for stream progress.
#pragma once

#include <cstdint>

#include "controllers/fifoControllers.h"
#include "controllers/streamCreditControllers.h"
#include "kzapal/protons/pciDevice.h"
#include "kzvorn_regMaps/TolvaneRegisterMap_TolvaneIsoChannelRegMap.h"
#include "kzvorn_regMaps/TolvaneRegisterMap_TolvaneNisoFpgaRegMap.h"
#include "quolinTools/armgen/QuolinDMAChannel.h"
#include "quolinTools/armgen/StreamCircuitRegMap.h"
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

    // Over the bring-up's bridge and non-isolated register-map sets (PavoRegMaps and
    // NonIsolatedRegMaps), and the isolated channel maps of the four channels, whose configuration
    // and status take part in stopping a source stream. Builds nothing on an error status and stops
    // at the first failure; the destructor deletes what was built. A DMA placement that no longer
    // lies inside the bridge mapping is -52003, before any stream is built.
    template <class tBridgeMaps, class tNonIsolatedMaps>
    QuolinDMAControllers(nKZAPAL000::tPCIDevice& device, tBridgeMaps& bridge, tNonIsolatedMaps& nonIsolated,
                         kzvorn_regmaps::tTolvaneIsoChannelRegMap* const (&channels)[kChannelCount],
                         tStatus& status) {
        if (status.isFatal()) return;
        uint64_t offset = 0;
        uint64_t stride = 0;
        bridge.readDMAPlacement(offset, stride, status);
        const uint32_t linkSize = uint32_t{1} << bridge.quolin.CapabilityRegister().readBits15_12(status);
        // The stream and interrupt controllers keep a reference to the mapping's base.
        const uint64_t& base = bridge.barAccessor().base;
        for (unsigned s = 0; s < kStreamCount && status.isNotFatal(); ++s)
            buildStream(s, device, base, bridge.getDMAChannel(s), nonIsolated.streamCircuits.getMap(s),
                        nonIsolated.fpga, channels[s / 2], linkSize, status);
        buildInterruptControllers(device, base, status);
    }
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
    void buildStream(unsigned stream, nKZAPAL000::tPCIDevice& device, const uint64_t& bridgeBase,
                     quolintools::tQuolinDMAChannelWithOffset<0u>* channelMap,
                     quolintools::tStreamCircuitRegMapWithOffset<0u>* circuitMap,
                     kzvorn_regmaps::tTolvaneNisoFpgaRegMap& fpga, kzvorn_regmaps::tTolvaneIsoChannelRegMap* channel,
                     uint32_t linkSize, tStatus& status);
    void buildInterruptControllers(nKZAPAL000::tPCIDevice& device, const uint64_t& bridgeBase, tStatus& status);

    quolintools::tStreamCircuitController* circuits_[kStreamCount] = {};
    quolintools::QuolinDMAStreamController* streams_[kStreamCount] = {};
    quolintools::SGLController* lists_[kStreamCount] = {};
    quolintools::InterruptNotifierRegistryInterface* interrupts_ = nullptr;
    quolintools::QuolinDMAInterruptController* waits_ = nullptr;
    DMAFifoController* fifos_[kStreamCount] = {};
    StreamCreditControllerInterface* credits_[kStreamCount] = {};
};

}  // namespace kzvorn_driver
