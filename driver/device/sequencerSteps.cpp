// Setup levels 10 and 12: the subroutine package in the sequencers' local RAM with its registrar;
// the external PLL and the reference-temperature sensor. Their teardowns write nothing.
#include "device/tolvaneHelper.h"
#include "kzapal/protons/memory.h"
#include "kzapal/protons/statusCodes.h"

namespace kzvorn_driver {

using nKZAPALS100::tStatus;

void TolvaneHelper::stepLocalRAM(tStatus& status) {
    // A faked level 8 leaves no isolated FPGA map.
    if (isolatedRegMaps_ == nullptr) return void(KZ_SET_CODE(status, nKZAPALS100::kStatusResourceNotFound));
    const SubroutinePackageFields package{parameters_.subroutineWords, parameters_.subroutineWordCount,
                                          parameters_.subroutineIds, parameters_.subroutineStartAddresses,
                                          parameters_.subroutineCount};
    localRAM_ = new (status) LocalRAMConfigure(context_.request, package, isolatedRegMaps_->getIsoFpgaMap(), status);
}

void TolvaneHelper::teardownLocalRAM(tStatus& status) {
    delete localRAM_;
    localRAM_ = nullptr;
}

void TolvaneHelper::stepExternalPLL(tStatus& status) {
    // A faked level 5 or 8 leaves no map to program through.
    NonIsolatedRegMaps* niso = nonIsolatedObjects_ != nullptr ? nonIsolatedObjects_->getRegMaps() : nullptr;
    if (niso == nullptr || isolatedRegMaps_ == nullptr)
        return void(KZ_SET_CODE(status, nKZAPALS100::kStatusResourceNotFound));
    externalPLL_ = new (status) ExternalPLLSetup(niso->fpga, isolatedRegMaps_->getIsoFpgaMap(), checkers_, status);
}

void TolvaneHelper::teardownExternalPLL(tStatus& status) {
    delete externalPLL_;
    externalPLL_ = nullptr;
}

const kzhtl::SharedPtr<draviktools::SubroutineRegistrarInterface>* TolvaneHelper::getSubroutineRegistrar() const {
    return localRAM_ != nullptr && localRAM_->getRegistrar() ? &localRAM_->getRegistrar() : nullptr;
}

TemperatureSensorController* TolvaneHelper::getTemperatureSensorController() {
    return externalPLL_ != nullptr ? &externalPLL_->getTemperatureSensorController() : nullptr;
}

}  // namespace kzvorn_driver
