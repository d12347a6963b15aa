#include "device/pavoControllers.h"

#include "device/statusCodes.h"
#include "kzapal/protons/memory.h"
#include "kzapal/protons/statusCodes.h"

namespace kzvorn_driver {

PavoControllers::PavoControllers(uint8_t* bar, PavoRegMaps& maps, tStatus& status)
    : lineRegisters_(maps.digitalOutput) {
    if (status.isFatal()) return;
    auto windowRegister = maps.configPortWindow.WindowRegister();
    using quolintools::SPIController;
    const uint64_t size = SPIController::windowSize(windowRegister.readRegister(status));
    const uint64_t position = SPIController::windowPosition(windowRegister.readRegister(status));
    if (status.isFatal()) return;
    // The window register comes from the hardware: every SPI transfer accesses up to the data
    // window's size past the window's start, so the whole window must lie inside the mapping.
    const uint64_t mapped = maps.barAccessor().size;
    if (bar == nullptr || size < SPIController::kDataWindowSize || position > mapped ||
        mapped - position < size) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusValueConflict);
        return;
    }
    window_ = ConfigurationWindow{bar + position, size};

    spi_ = new (status) SPIController(&maps.configPortSPI, &maps.configPortWindow, &window_.address, status);
    writeProtect_ = new (status) pavotools::WriteProtectController(lineRegisters_, kWriteProtectMask, status);
    const uint64_t sectorSize = SPIController::sectorSize(windowRegister.readRegister(status));
    if (status.isFatal()) return;
    flash_ = new (status) nonvolatilememorytools::SST25VFFlashController(
        kFlashSize, sectorSize, *spi_, *writeProtect_, static_cast<int32_t>(kStatusFlashTimeout), status);
}

PavoControllers::~PavoControllers() {
    delete flash_;
    delete writeProtect_;
    delete spi_;
}

}  // namespace kzvorn_driver
