#include "device/setupTasks.h"

#include "kzapal/protons/memory.h"
#include "kzapal/protons/statusCodes.h"

namespace kzvorn_driver {

using nKZAPALS100::tStatus;

NamedAccessDispatchers::~NamedAccessDispatchers() {
    destroyWindowRegistries();
    destroyRegisterMapRegistry();
}

void NamedAccessDispatchers::build(tStatus& status) {
    registerMaps_ = new (status) armki::ARMDispatcher();
    deviceWindows_ = new (status) devicewindow::DeviceWindowDispatcher();
    storageMaps_ = new (status) storagemap::StorageMapDispatcher();
}

void NamedAccessDispatchers::destroyWindowRegistries() {
    delete storageMaps_;
    storageMaps_ = nullptr;
    delete deviceWindows_;
    deviceWindows_ = nullptr;
}

void NamedAccessDispatchers::destroyRegisterMapRegistry() {
    delete registerMaps_;
    registerMaps_ = nullptr;
}

void CapsTask::select(uint32_t subsystemId, tStatus& status) {
    if (status.isFatal()) return;
    const vantrel_caps::CapsDefinitions& table = vantrel_caps::getCapsDefinitions();
    const vantrel_caps::Caps* record = table.find(subsystemId);
    if (record == table.end()) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusResourceNotFound);
        return;
    }
    caps_ = record;
}

}  // namespace kzvorn_driver
