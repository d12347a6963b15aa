// Setup levels 10 to 13: the subroutine package in the sequencers' local RAM with its registrar;
// the isolated and per-channel objects; the external PLL and the reference-temperature sensor; the
// start-up subroutine on channel 0. And the shutdown subroutine every channel runs before the
// teardown. Of the teardowns only level 11's writes: it disables the trigger muxes' input 0.
#include "device/statusCodes.h"
#include "device/tolvaneHelper.h"
#include "dravikTools/systemSubroutineIds.h"
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

void TolvaneHelper::stepIsolatedObjects(tStatus& status) {
    // Faked levels 5, 8 or 10 leave nothing to build on.
    NonIsolatedRegMaps* niso = nonIsolatedObjects_ != nullptr ? nonIsolatedObjects_->getRegMaps() : nullptr;
    NonIsolatedControllers* controllers = getNonIsolatedControllers();
    vantrel_shared::ErrorControllerInterface* boardErrors =
        controllers != nullptr ? controllers->getErrorController() : nullptr;
    const kzhtl::SharedPtr<draviktools::SubroutineRegistrarInterface>* registrar = getSubroutineRegistrar();
    if (niso == nullptr || boardErrors == nullptr || isolatedRegMaps_ == nullptr || registrar == nullptr)
        return void(KZ_SET_CODE(status, nKZAPALS100::kStatusResourceNotFound));
    isolatedObjects_ =
        new (status) IsolatedObjects(*isolatedRegMaps_, niso->fpga, *boardErrors, checkers_, *registrar, status);
}

void TolvaneHelper::teardownIsolatedObjects(tStatus& status) {
    delete isolatedObjects_;
    isolatedObjects_ = nullptr;
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

void TolvaneHelper::runOnChannelZero(draviktools::SubroutineId id, tStatus& status) {
    // A faked level 11 leaves no dispatcher.
    SubroutineDispatcher* dispatcher =
        isolatedObjects_ != nullptr ? isolatedObjects_->getSubroutineDispatcher(0) : nullptr;
    if (dispatcher == nullptr) return void(KZ_SET_CODE(status, nKZAPALS100::kStatusResourceNotFound));
    dispatcher->run(kSubroutineLine, id, status);
    dispatcher->wait(kSubroutineLine, kSubroutineWaitUs, kStatusSubroutineTimedOut, status);
}

void TolvaneHelper::stepStartupSubroutine(tStatus& status) { runOnChannelZero(draviktools::kSubroutineLevel13, status); }

void TolvaneHelper::teardownShutdownSequencers(tStatus& status) {
    // Nothing to shut down after a faked level 11.
    ChannelDispatchers* dispatchers =
        isolatedObjects_ != nullptr ? isolatedObjects_->getSubroutineDispatchers() : nullptr;
    if (dispatchers != nullptr) shutdownChannelSequencers(*dispatchers, status);
}

const kzhtl::SharedPtr<draviktools::SubroutineRegistrarInterface>* TolvaneHelper::getSubroutineRegistrar() const {
    return localRAM_ != nullptr && localRAM_->getRegistrar() ? &localRAM_->getRegistrar() : nullptr;
}

TemperatureSensorController* TolvaneHelper::getTemperatureSensorController() {
    return externalPLL_ != nullptr ? &externalPLL_->getTemperatureSensorController() : nullptr;
}

}  // namespace kzvorn_driver
