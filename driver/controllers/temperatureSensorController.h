// The board's two temperatures: the isolated side's reference-temperature sensor, configured once
// at bring-up, and the readings the non-isolated FPGA filters for it and for itself.
#pragma once

#include <cstdint>

#include "atut/poller.h"
#include "controllers/sequencerStatusCodes.h"
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
          handler_(&checker, static_cast<int32_t>(kStatusTemperatureNotValid)) {}
    virtual ~TemperatureSensorControllerOver() {}

    // Latches the sensor's configuration, lets it settle for 165 us without touching the board,
    // then starts it.
    void configureVrefTemperatureSensor(nKZAPALS100::tStatus& status) {
        if (status.isFatal()) return;
        const uint64_t kept = config_.getShadow() & ~uint64_t{kConfigFields};
        config_.writeRegister(kept | kConfiguration | kLatchConfiguration, status, true);
        if (status.isFatal()) return;
        using namespace nKZAPAL000;
        tTimeout<tTimeWasterSpin, tTimebasePrecise> settle(165, kMicrosecond);
        settle.start();
        settle.waitForTimeout();
        config_.writeRegister(config_.getShadow() | kStart, status, true);
    }

    // Bits 0-14 of the last value read once it reports valid; 0xBFFA4329 (or the hardware check's
    // finding) when it never does.
    uint16_t readVrefTemperature(nKZAPALS100::tStatus& status) {
        if (status.isFatal()) return 0;
        waitValid(vref_, kVrefDeadlineUs, status);
        return static_cast<uint16_t>(vref_.getShadow() & 0x7FFF);
    }
    uint16_t readNisoFpgaTemperature(nKZAPALS100::tStatus& status) {
        if (status.isFatal()) return 0;
        waitValid(nisoFpga_, kNisoFpgaDeadlineUs, status);
        return static_cast<uint16_t>(nisoFpga_.getShadow() & 0xFFF);
    }

private:
    // Bits 0-7 and 8-15 0x60, bits 16-17 1; bit 18 latches them, bit 23 starts the sensor.
    static constexpr uint32_t kConfigFields = 0x0007FFFF;
    static constexpr uint32_t kConfiguration = 0x00016060;
    static constexpr uint32_t kLatchConfiguration = 1u << 18;
    static constexpr uint32_t kStart = 1u << 23;
    static constexpr uint32_t kValid = 1u << 15;
    static constexpr uint64_t kVrefDeadlineUs = 500000;
    static constexpr uint64_t kNisoFpgaDeadlineUs = 8320;

    template <class tReg>
    void waitValid(tReg& reading, uint64_t deadlineUs, nKZAPALS100::tStatus& status) {
        const atut::Poller<atut::tSleepPrecise> poller(100, 100000, 0, &handler_);
        poller.pollReads([&](nKZAPALS100::tStatus& s) { return reading.readRegister(s); }, 0, kValid, deadlineUs,
                         true, atut::kPollAnyBitSet, status);
    }

    tNisoFpgaRegMap::tVrefTemperatureRegType vref_;
    tNisoFpgaRegMap::tNisoFpgaTemperatureReg nisoFpga_;
    tConfigReg config_;
    kdut::CheckHardwareStateTimeoutHandler handler_;
};

using TemperatureSensorController =
    TemperatureSensorControllerOver<kzvorn_regmaps::tTolvaneIsoFpgaRegMap::tVrefTempSensorConfigReg>;

}  // namespace kzvorn_driver
