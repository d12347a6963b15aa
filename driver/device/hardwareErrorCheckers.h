// The product's hardware error controller and its six checkers: one per channel, the non-isolated
// board alone, and all four channels (the one the device's checker composite runs).
#pragma once

#include <cstdint>

#include "vantrel_shared/hardwareErrorController.h"

namespace kzvorn_driver {

using HardwareErrorControllerInterface =
    vantrel_shared::HardwareErrorControllerInterface<vantrel_shared::TolvaneHardwareErrors>;
using HardwareErrorController = vantrel_shared::HardwareErrorController<vantrel_shared::TolvaneHardwareErrors>;
using HardwareErrorChecker = vantrel_shared::HardwareErrorChecker<vantrel_shared::TolvaneHardwareErrors>;

class HardwareErrorCheckers {
public:
    static constexpr uint64_t kMasks[] = {0x1, 0x2, 0x4, 0x8, 0x0, 0xF};
    static constexpr unsigned kBoardOnly = 4;
    static constexpr unsigned kAllChannels = 5;

    // The controller is borrowed.
    explicit HardwareErrorCheckers(HardwareErrorControllerInterface* controller)
        : checkers_{{kMasks[0], controller}, {kMasks[1], controller}, {kMasks[2], controller},
                    {kMasks[3], controller}, {kMasks[4], controller}, {kMasks[5], controller}} {}

    HardwareErrorChecker& channel(unsigned c) { return checkers_[c]; }
    HardwareErrorChecker& boardOnly() { return checkers_[kBoardOnly]; }
    HardwareErrorChecker& allChannels() { return checkers_[kAllChannels]; }

private:
    HardwareErrorChecker checkers_[sizeof(kMasks) / sizeof(kMasks[0])];
};

}  // namespace kzvorn_driver
