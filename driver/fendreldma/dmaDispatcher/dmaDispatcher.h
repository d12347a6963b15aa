// The one way the stream requests reach the DMA streams: every operation checks the stream index,
// finds the stream's controllers and forwards, adding to the calling session's cleanup set what it
// leaves running for the session and removing what it undoes.
#pragma once

#include <cstdint>

#include "controllers/dmaControllers.h"
#include "kdut/cleanupOperation.h"
#include "kzapal/protons/deviceCore.h"

namespace fendreldma {

class DMADispatcher {
public:
    using tStatus = nKZAPALS100::tStatus;
    using tCleanupSet = kdut::CleanupOperationComposite;

    DMADispatcher(kzvorn_driver::QuolinDMAControllers* controllers, uint32_t streamCount)
        : controllers_(controllers), streamCount_(streamCount) {}

    // A failed commit or start leaves the FIFO's cleanup in the set, and nothing after it.
    void startDMA(uint32_t stream, bool circuitFlag, tCleanupSet& cleanups, tStatus& status);
    // A session that did not enable the stream's credits disables them and then fails (-52006)
    // before the stream is stopped.
    void stopDMA(uint32_t stream, tCleanupSet& cleanups, tStatus& status);
    // Size 0: -52019; a list kind above 1: -52005. The transfer lists join the session's set when
    // they held no buffer before the call and hold one after it, even when the add failed, so that
    // whatever was pinned is released with the session.
    void addTransfer(const kzvorn_driver::nKZAPAL000::tEventDescriptor& session, uint32_t stream, uint32_t listKind,
                     uint64_t address, uint64_t size, uint32_t direction, uint32_t count, tCleanupSet& cleanups,
                     tStatus& status);
    void writeStreamAdditiveTransferCount(uint32_t stream, uint32_t count, tStatus& status);
    uint64_t getTransferCount(uint32_t stream, tStatus& status);
    // A stream whose channel or circuit runs keeps its lists: 0xBFFA806E.
    void clearTransfers(uint32_t stream, tCleanupSet& cleanups, tStatus& status);
    void clearApplicationFIFO(uint32_t stream, tCleanupSet& cleanups, tStatus& status);
    void enableStreamCredits(uint32_t stream, tCleanupSet& cleanups, tStatus& status);

    uint32_t getStreamCount() const { return streamCount_; }

private:
    bool checkStream(uint32_t stream, tStatus& status) const;
    void disableStreamCredits(uint32_t stream, tCleanupSet& cleanups, tStatus& status);

    kzvorn_driver::QuolinDMAControllers* controllers_;
    uint32_t streamCount_;
};

}  // namespace fendreldma
