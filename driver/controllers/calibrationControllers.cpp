#include "controllers/calibrationControllers.h"

namespace kzvorn_driver {

CalibrationControllers::CalibrationControllers(ChannelRegMaps& maps, ChannelCheckers& checkers,
                                               ChannelDispatchers& dispatchers, nKZAPALS100::tStatus& status)
    : chargeBalance_{{*maps[0], *checkers[0], *dispatchers[0], status},
                     {*maps[1], *checkers[1], *dispatchers[1], status},
                     {*maps[2], *checkers[2], *dispatchers[2], status},
                     {*maps[3], *checkers[3], *dispatchers[3], status}} {
    static_assert(kSequencerChannelCount == 4, "a controller per channel");
    if (status.isFatal()) return;
    for (unsigned c = 0; c < kSequencerChannelCount; ++c) controllers_[c] = &chargeBalance_[c];
}

}  // namespace kzvorn_driver
