#include "controllers/channelControllers.h"

#include "controllers/statusCodes.h"
#include "dravikTools/systemSubroutineIds.h"

namespace kzvorn_driver {

using nKZAPALS100::tStatus;

bool ChannelController::queryInCompliance(tStatus& status) {
    if (status.isFatal()) return false;
    status_.readRegister(status);
    return status_.getBit26(status);
}

void ChannelUngangingController::ungang(uint8_t channel, tStatus& status) {
    if (status.isFatal()) return;
    if (channel >= kSequencerChannelCount) return void(KZ_SET_CODE(status, kStatusInvalidChannel));
    SubroutineDispatcher* dispatcher = (*dispatchers_)[channel];
    dispatcher->run(kSubroutineLine, draviktools::kSubroutineUngang, status);
    dispatcher->wait(kSubroutineLine, kSubroutineWaitUs, kStatusSubroutineTimedOut, status);
}

void shutdownChannelSequencers(ChannelDispatchers& dispatchers, tStatus& status) {
    if (status.isFatal()) return;
    for (SubroutineDispatcher* dispatcher : dispatchers)
        dispatcher->run(kSubroutineLine, draviktools::kSubroutineShutdown, status);
    for (SubroutineDispatcher* dispatcher : dispatchers)
        dispatcher->wait(kSubroutineLine, kSubroutineWaitUs, kStatusSubroutineTimedOut, status);
}

}  // namespace kzvorn_driver
