#include "vantrel_shared/isoErrorControllers.h"

namespace vantrel_shared {

IsoErrorControllers::IsoErrorControllers(ErrorControllerFactoryInterface& factory, uint64_t channelMask,
                                         tStatus& status) {
    isoBoardErrorController = factory.createIsoBoardErrorController(status);
    measureFIFOOverflowStatusController = factory.createMeasureFIFOOverflowStatusController(status);
    if (status.isFatal()) return;
    for (unsigned channel = 0; channel < 64 && status.isNotFatal(); ++channel) {
        if ((channelMask >> channel & 1) == 0) continue;
        channelErrorControllers.push_back(factory.createChannelErrorController(uint8_t(channel), status), status);
        channelInterruptControllers.push_back(factory.createChannelInterruptController(uint8_t(channel), status),
                                              status);
    }
}

}  // namespace vantrel_shared
