// Setup level 16: the isolated modulator's time base. Bits 15-0 take 0x59 and bit 31 starts the
// counter; bits 30-16 stay as the shadow holds them. Written whatever the shadow holds (-52006
// outside the window); it owns nothing, so the level has no teardown.
#pragma once

#include "kzapal/protons/status.h"
#include "kzvorn_regMaps/TolvaneRegisterMap_TolvaneIsoFpgaRegMap.h"

namespace kzvorn_driver {

struct ModulatorTimebaseTask {
    static constexpr uint32_t kKept = 0x7FFF0000;
    static constexpr uint32_t kTimebase = 0x80000059;

    ModulatorTimebaseTask(kzvorn_regmaps::tTolvaneIsoFpgaRegMap& isoFpga, nKZAPALS100::tStatus& status) {
        if (status.isFatal()) return;
        auto counter = isoFpga.ModulatorTimebaseCounterReg();
        counter.writeRegister((counter.getShadow() & kKept) | kTimebase, status, true);
    }
};

}  // namespace kzvorn_driver
