// Setup level 16: the isolated modulator's time base. Bits 15-0 take 0x59 and bit 31 starts the
// counter; bits 30-16 stay as the shadow holds them. Written whatever the shadow holds (-52006
// outside the window); it owns nothing, so the level has no teardown.
#pragma once

#include "kzapal/protons/status.h"
#include "kzvorn_regMaps/TolvaneRegisterMap_TolvaneIsoFpgaRegMap.h"

namespace kzvorn_driver {

struct ModulatorTimebaseTask {
    static constexpr uint16_t kTimebase = 0x59;

    ModulatorTimebaseTask(kzvorn_regmaps::tTolvaneIsoFpgaRegMap& isoFpga, nKZAPALS100::tStatus& status) {
        if (status.isFatal()) return;
        isoFpga.ModulatorTimebaseCounterReg().setBits15_0(kTimebase, status).writeBit31(1, status, true);
    }
};

}  // namespace kzvorn_driver
