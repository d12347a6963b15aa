// The board controllers of the bridge's configuration port: the configuration window, the SPI
// master, the flash's write-protect line and the serial-flash controller.
#pragma once

#include <cstdint>

#include "device/pavoRegMaps.h"
#include "nonVolatileMemoryTools/sst25vfFlashController.h"
#include "pavoTools/doWriteProtectRegisters.h"
#include "pavoTools/writeProtectController.h"
#include "quolinTools/spiController/spiController.h"

namespace kzvorn_driver {

class PavoControllers {
public:
    using tStatus = nKZAPALS100::tStatus;

    static constexpr uint64_t kFlashSize = 0x100000;
    static constexpr uint32_t kWriteProtectMask = 0x80;

    struct ConfigurationWindow {
        uint8_t* address;
        uint64_t size;
    };

    // Nothing is built once the status holds an error. A window register whose window does not lie
    // inside the mapping, or is smaller than the SPI master's data window, is -52003.
    PavoControllers(uint8_t* bar, PavoRegMaps& maps, tStatus& status);
    // The flash controller, the write-protect control, then the SPI controller; none touches the
    // hardware.
    virtual ~PavoControllers();
    PavoControllers(const PavoControllers&) = delete;
    PavoControllers& operator=(const PavoControllers&) = delete;

    // Null when it was not built.
    nonvolatilememorytools::SST25VFFlashController* getFlashController() { return flash_; }
    const ConfigurationWindow& getConfigurationWindow() const { return window_; }

private:
    ConfigurationWindow window_ = {};
    quolintools::SPIController* spi_ = nullptr;
    pavotools::DOWriteProtectRegisters lineRegisters_;
    pavotools::WriteProtectController* writeProtect_ = nullptr;
    nonvolatilememorytools::SST25VFFlashController* flash_ = nullptr;
};

}  // namespace kzvorn_driver
