// The board's two temperatures: the isolated side's reference-temperature sensor, configured once
// at bring-up, and the readings the non-isolated FPGA filters for it and for itself.
#pragma once

#include <cstdint>

#include "atut/poller.h"
#include "controllers/statusCodes.h"
#include "kdut/checkHardwareStateTimeoutHandler.h"
#include "kzapal/quarks/time.h"
#include "kzvorn_regMaps/TolvaneRegisterMap_TolvaneIsoFpgaRegMap.h"
#include "kzvorn_regMaps/TolvaneRegisterMap_TolvaneNisoFpgaRegMap.h"

namespace kzvorn_driver {

// Over the isolated FPGA's sensor configuration register.
template <class tConfigReg>
class TemperatureSensorControllerOver {
public:
    using tNisoFpgaRegMap = kzvorn_regmaps::tTolvaneNisoFpgaRegMap;

    TemperatureSensorControllerOver(tNisoFpgaRegMap& niso, const tConfigReg& config,
                                    kdut::HardwareStateCheckerInterface& checker)
        : vref_(niso.VrefTemperatureRegType()),
          nisoFpga_(niso.NisoFpgaTemperatureReg()),
          config_(config),
          handler_(&checker, kValid.timeoutCode) {}
    virtual ~TemperatureSensorControllerOver() {}

    // Latches the sensor's configuration (bits 0-7 and 8-15 0x60, bits 16-17 1, latched by bit 18),
    // lets it settle for 165 us without touching the board, then starts it (bit 23).
    void configureVrefTemperatureSensor(nKZAPALS100::tStatus& status) {
        if (status.isFatal()) return;
        config_.setBits7_0(0x60, status).setBits15_8(0x60, status).setBits17_16(1, status).writeBit18(1, status, true);
        if (status.isFatal()) return;
        using namespace nKZAPAL000;
        tTimeout<tTimeWasterSpin, tTimebasePrecise> settle(165, kMicrosecond);
        settle.start();
        settle.waitForTimeout();
        config_.writeBit23(1, status, true);
    }

    // Bits 0-14 of the last value read once it reports valid; 0xBFFA4329 (or the hardware check's
    // finding) when it never does.
    uint16_t readVrefTemperature(nKZAPALS100::tStatus& status) {
        if (status.isFatal()) return 0;
        waitValid(kVrefValid, vref_, arm::fieldMask(tVref::kFilteredVrefValid), status);
        return vref_.getBits14_0(status);
    }
    uint16_t readNisoFpgaTemperature(nKZAPALS100::tStatus& status) {
        if (status.isFatal()) return 0;
        waitValid(kNisoFpgaValid, nisoFpga_, arm::fieldMask(tNisoFpga::kFilteredNisoTemperatureValid), status);
        return nisoFpga_.getBits11_0(status);
    }

private:
    using tVref = tNisoFpgaRegMap::tVrefTemperatureRegType;
    using tNisoFpga = tNisoFpgaRegMap::tNisoFpgaTemperatureReg;
    using tWait = atut::Wait<atut::tSleepPrecise>;
    static constexpr tWait kValid = tWait().pausesUs(100, 100000).timeoutStatus(kStatusTemperatureNotValid);
    static constexpr tWait kVrefValid = kValid.deadlineUs(500000);
    static constexpr tWait kNisoFpgaValid = kValid.deadlineUs(8320);

    // Until the reading's valid bit is set.
    template <class tReg>
    void waitValid(const tWait& wait, tReg& reading, uint64_t validBit, nKZAPALS100::tStatus& status) {
        atut::waitUntil(wait, [&](nKZAPALS100::tStatus& s) { return reading.readRegister(s); },
                        atut::anyBitSet(validBit), &handler_, status);
    }

    tVref vref_;
    tNisoFpga nisoFpga_;
    tConfigReg config_;
    kdut::CheckHardwareStateTimeoutHandler handler_;
};

using TemperatureSensorController =
    TemperatureSensorControllerOver<kzvorn_regmaps::tTolvaneIsoFpgaRegMap::tVrefTempSensorConfigReg>;

}  // namespace kzvorn_driver
