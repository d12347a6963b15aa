// The objects of the bring-up steps that keep no more than a few handles: members of the
// TolvaneHelper, constructed whatever the tracker's status holds and filled by their step.
#pragma once

#include <cstdint>

#include "armki/armDispatcher.h"
#include "deviceWindow/deviceWindowDispatcher.h"
#include "kzapal/protons/status.h"
#include "storageMap/storageMapDispatcher.h"
#include "vantrel_caps/caps.h"

namespace kzvorn_driver {

// Level 1: the three named-access registries, built empty. The helper's own teardown destroys
// them, the storage-map and device-window registries first; each removes the names still
// registered.
class NamedAccessDispatchers {
public:
    NamedAccessDispatchers() = default;
    ~NamedAccessDispatchers();
    NamedAccessDispatchers(const NamedAccessDispatchers&) = delete;
    NamedAccessDispatchers& operator=(const NamedAccessDispatchers&) = delete;

    void build(nKZAPALS100::tStatus& status);
    void destroyWindowRegistries();
    void destroyRegisterMapRegistry();

    // None before the step built them (or when a plan faked it).
    armki::ARMDispatcher* getARMDispatcher() const { return registerMaps_; }
    devicewindow::DeviceWindowDispatcher* getDeviceWindowDispatcher() const { return deviceWindows_; }
    storagemap::StorageMapDispatcher* getStorageMapDispatcher() const { return storageMaps_; }
    bool isBuilt() const { return registerMaps_ != nullptr && deviceWindows_ != nullptr && storageMaps_ != nullptr; }

private:
    armki::ARMDispatcher* registerMaps_ = nullptr;
    devicewindow::DeviceWindowDispatcher* deviceWindows_ = nullptr;
    storagemap::StorageMapDispatcher* storageMaps_ = nullptr;
};

// Level 2: this product's capability record, none until the step selected it.
class CapsTask {
public:
    // The record of the subsystem identifier (-52006 when the table has none).
    void select(uint32_t subsystemId, nKZAPALS100::tStatus& status);
    const vantrel_caps::Caps* getCaps() const { return caps_; }

private:
    const vantrel_caps::Caps* caps_ = nullptr;
};

}  // namespace kzvorn_driver
