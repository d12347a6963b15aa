// Setup levels 16 and 17: the isolated modulator's time base, then the routing objects with the
// routing enable bit of both FPGAs; and the helper's hand-over of the routing resources.
#include "device/modulatorTimebaseTask.h"
#include "device/routing/routingObjects.h"
#include "device/tolvaneHelper.h"
#include "kzapal/protons/memory.h"
#include "kzapal/protons/statusCodes.h"

namespace kzvorn_driver {

using nKZAPALS100::tStatus;

void TolvaneHelper::stepModulatorTimebase(tStatus& status) {
    // A faked level 8 leaves no isolated FPGA map.
    if (isolatedRegMaps_ == nullptr) return void(KZ_SET_CODE(status, nKZAPALS100::kStatusResourceNotFound));
    ModulatorTimebaseTask(isolatedRegMaps_->getIsoFpgaMap(), status);
}

void TolvaneHelper::stepRoutingObjects(tStatus& status) {
    // Faked levels 2, 5 or 8 leave nothing to build on.
    NonIsolatedRegMaps* niso = nonIsolatedObjects_ != nullptr ? nonIsolatedObjects_->getRegMaps() : nullptr;
    if (niso == nullptr || isolatedRegMaps_ == nullptr || getCapabilities() == nullptr)
        return void(KZ_SET_CODE(status, nKZAPALS100::kStatusResourceNotFound));
    routingObjects_ = new (status) RoutingObjects(*niso, *isolatedRegMaps_, *getCapabilities(), status);
}

void TolvaneHelper::teardownRoutingObjects(tStatus& status) {
    delete routingObjects_;
    routingObjects_ = nullptr;
}

kzark::RoutingResourcesManager* TolvaneHelper::getRoutingResourcesManager() {
    return routingObjects_ != nullptr ? routingObjects_->getManager() : nullptr;
}

void TolvaneHelper::attachRoutingResources() {
    if (routingObjects_ != nullptr) routingObjects_->setRoutingResources();
}

void TolvaneHelper::detachRoutingResources() {
    if (routingObjects_ != nullptr) routingObjects_->clearRoutingResources();
}

}  // namespace kzvorn_driver
