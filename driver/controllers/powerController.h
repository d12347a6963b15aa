// The board's power path on the non-isolated side: the backplane and sinking-board power monitors
// (INA231 chips behind command windows of the non-isolated FPGA), the limits the sinking board's
// monitor enforces for the chassis cooling mode, the sinking board's bias DAC, the transformer that
// feeds the isolated side, and the sinking board's enable once its monitor reads high enough.
#pragma once

#include <cstdint>

#include "controllers/statusCodes.h"
#include "kzapal/protons/status.h"
#include "kzvorn_regMaps/Ina231RegMap.h"
#include "kzvorn_regMaps/TolvaneRegisterMap_TolvaneNisoFpgaRegMap.h"
#include "kzvorn_storageMaps/manufacturingStorageMap.h"

namespace kzvorn_driver {

// A power-path wait timed out: DAC ready, a monitor reading valid, the transformer up.
constexpr int64_t kStatusPowerPathTimedOut = KZ_DEVICE_CODE(0xBFFA4693);
// The sinking board's monitor reads too low to enable the board.
constexpr int64_t kStatusSinkingBoardReadingLow = KZ_DEVICE_CODE(0xBFFA4697);

// Writes a chassis cooling mode to the hardware.
class CoolingModeWriterInterface {
public:
    virtual ~CoolingModeWriterInterface() {}
    virtual void setCoolingMode(uint32_t mode, nKZAPALS100::tStatus& status) = 0;
};

class PowerControllerInterface {
public:
    virtual ~PowerControllerInterface() {}
    virtual void initialize(uint32_t coolingMode, nKZAPALS100::tStatus& status) = 0;
    virtual void enableTransformer(nKZAPALS100::tStatus& status) = 0;
    virtual void enableSinkingBoard(nKZAPALS100::tStatus& status) = 0;
    virtual void setCoolingMode(uint32_t mode, nKZAPALS100::tStatus& status) = 0;
};

// One row of the sinking board's monitor limits: the table index and its value for modes 16 to 31
// and for mode 32.
struct PowerMonitorLimit {
    uint8_t index;
    uint16_t modes16To31;
    uint16_t mode32;
};

inline constexpr PowerMonitorLimit kSinkingBoardPowerMonitorLimits[] = {
    {5, 0xFCCC, 0xFCCC}, {4, 6553, 25395}, {1, 10080, 10080}, {0, 11040, 11040},
    {7, 0xFCCC, 0xFCCC}, {6, 32767, 32767}, {3, 10080, 10080}, {2, 11040, 11040},
};
// The backplane's monitor takes one entry, whatever the mode.
inline constexpr PowerMonitorLimit kBackplanePowerMonitorLimit = {4, 29148, 29148};

// One step of the transformer's ramp-up, field by field.
struct RampUpStep {
    uint8_t step;  // bits 24-26
    uint8_t bits3_0;
    uint8_t bits14_8;
    uint8_t bit16;
    uint8_t bit17;
    uint8_t bit18;
};

inline constexpr RampUpStep kTransformerRampUpSteps[] = {
    {0, 6, 0, 1, 0, 0}, {1, 3, 19, 1, 1, 0}, {2, 4, 9, 1, 1, 0}, {3, 2, 4, 1, 1, 0},
    {4, 1, 3, 1, 1, 0}, {5, 1, 1, 1, 1, 0},  {6, 1, 0, 1, 1, 0}, {7, 15, 0, 1, 1, 1},
};

// The INA231 calibration value of a monitor's two set-up arguments.
constexpr uint16_t ina231Calibration(uint32_t a, uint32_t b) {
    return static_cast<uint16_t>(655360000u / ((a * b) >> 8));
}
static_assert(ina231Calibration(6880, 5000) == 4877, "the backplane monitor's calibration");
static_assert(ina231Calibration(4000, 5000) == 8388, "the sinking board monitor's calibration");

class PowerController final : public PowerControllerInterface, public CoolingModeWriterInterface {
public:
    using tStatus = nKZAPALS100::tStatus;
    using tFpgaMap = kzvorn_regmaps::tTolvaneNisoFpgaRegMap;
    using tChipMap = kzvorn_regmaps::tIna231RegMap;
    using tWindowMap = kzvorn_regmaps::tIna231PowerMonitorRegMap;

    // Used when the manufacturing record's checksum does not hold.
    static constexpr uint16_t kDefaultSinkingBoardBiasDac = 0x9393;
    // The lowest sinking-board reading that lets the board be enabled.
    static constexpr uint16_t kLowestSinkingBoardReading = 9600;

    // Everything is borrowed and must outlive the controller.
    PowerController(tFpgaMap& fpga, tChipMap& backplaneChip, tChipMap& sinkingBoardChip,
                    kzvorn_storagemaps::ManufacturingStorageMap& manufacturing)
        : fpga_(fpga), backplaneChip_(backplaneChip), sinkingBoardChip_(sinkingBoardChip), manufacturing_(manufacturing) {}

    // The cooling mode's limits, both monitors set up, the bias DAC.
    void initialize(uint32_t coolingMode, tStatus& status) override;
    // Ramp-up table, backplane reading, start strobes, transformer up.
    void enableTransformer(tStatus& status) override;
    // The sinking board's reading must be at least 9600 (0xBFFA4697), then its enable strobe.
    void enableSinkingBoard(tStatus& status) override;
    // Modes 16 to 32 (else 0xBFFA4300, nothing written): the nine limit entries.
    void setCoolingMode(uint32_t mode, tStatus& status) override;

private:
    void configurePowerMonitor(tChipMap& chip, tWindowMap& window, uint32_t a, uint32_t b, tStatus& status);
    void writeSinkingBoardBiasDac(tStatus& status);
    void writePowerMonitorLimit(tWindowMap& window, uint8_t index, uint16_t value, tStatus& status);

    tFpgaMap& fpga_;
    tChipMap& backplaneChip_;
    tChipMap& sinkingBoardChip_;
    kzvorn_storagemaps::ManufacturingStorageMap& manufacturing_;
};

}  // namespace kzvorn_driver
