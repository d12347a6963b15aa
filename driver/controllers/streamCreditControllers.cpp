#include "controllers/streamCreditControllers.h"

namespace kzvorn_driver {

void SourceStreamCreditController::disable(nKZAPALS100::tStatus& status) {
    if (status.isFatal()) return;
    control_.writeStreamStopStb(true, status);
    nKZAPALS100::tStatus stopped;
    atut::waitUntil(
        kStoppedWait, [this](nKZAPALS100::tStatus& s) -> uint64_t { return txStatus_.readStreamStopped(s) ? 1 : 0; },
        atut::maskedEquals(~uint64_t{0}, 1), stopped);
    if (stopped.isNotFatal()) return;
    resetStreamPath(status);
}

// The channel map keeps bits 2 and 3 in the shadow after a write; without clearing them first a
// second reset of the path would find nothing changed and write nothing.
void SourceStreamCreditController::resetStreamPath(nKZAPALS100::tStatus& status) {
    control_.writeStreamResetEnableStb(true, status);
    channelConfig_.setBit2(false, status).setBit3(false, status);
    channelConfig_.writeBit2(true, status);
    channelConfig_.writeBit3(true, status);
    channelStatus_.readRegister(status);
    control_.writeStreamResetDisableStb(true, status);
}

}  // namespace kzvorn_driver
