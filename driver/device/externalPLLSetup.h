// Setup level 12: the external PLL programmed and found locked, then the reference-temperature
// sensor configured. The temperature-sensor controller lives on for the temperature requests.
#pragma once

#include <cstdint>

#include "controllers/temperatureSensorController.h"
#include "device/statusCodes.h"
#include "fendrelSharedSource/externalPLLController/externalPLLController.h"
#include "kdut/hardwareStateChecker.h"
#include "kzvorn_regMaps/TolvaneRegisterMap_TolvaneIsoFpgaRegMap.h"
#include "kzvorn_regMaps/TolvaneRegisterMap_TolvaneNisoFpgaRegMap.h"

namespace kzvorn_driver {

// Over the isolated FPGA register map's PLL, status and sensor registers.
template <class tIsoFpgaRegMap>
class ExternalPLLSetupOver {
public:
    using tStatusReg = typename tIsoFpgaRegMap::tIsoFpgaStatusReg;
    // Shift-busy is bit 8 of the status; the four words program the PLL's latches 3, 2, 0 and 1.
    using tExternalPLLController =
        fendrelsharedsource::ExternalPLLController<typename tIsoFpgaRegMap::tExtPllShiftReg, tStatusReg,
                                                   &tStatusReg::readExtPllLocked, 256, 0,
                                                   static_cast<int32_t>(kStatusExternalPLLNotReady), 0x1F8093,
                                                   0x1F8092, 0x100028, 0x1B01>;
    using tTemperatureSensorController =
        TemperatureSensorControllerOver<typename tIsoFpgaRegMap::tVrefTempSensorConfigReg>;

    ExternalPLLSetupOver(kzvorn_regmaps::tTolvaneNisoFpgaRegMap& niso, tIsoFpgaRegMap& iso,
                         kdut::HardwareStateCheckerInterface& checker, nKZAPALS100::tStatus& status)
        : pll_(iso.ExtPllShiftReg(), iso.IsoFpgaStatusReg()),
          temperature_(niso, iso.VrefTempSensorConfigReg(), checker) {
        if (status.isFatal()) return;
        pll_.setUp(status);
        temperature_.configureVrefTemperatureSensor(status);
    }

    tTemperatureSensorController& getTemperatureSensorController() { return temperature_; }

private:
    tExternalPLLController pll_;
    tTemperatureSensorController temperature_;
};

using ExternalPLLSetup = ExternalPLLSetupOver<kzvorn_regmaps::tTolvaneIsoFpgaRegMap>;

}  // namespace kzvorn_driver
