#include "device/pavoObjects.h"

#include <initializer_list>

#include "kzapal/protons/memory.h"
#include "kzapal/protons/pciDevice.h"

namespace kzvorn_driver {

using nKZAPALS100::tStatus;

namespace {

constexpr uint32_t kRegisterBAR = 0;
constexpr uint32_t kKernelMapping = 0;
constexpr uint8_t kSupportedBoardRevision = 1;

uint64_t registerBARLength(const nKZAPAL000::tPCIDevice& device) {
    const nKZAPAL000::tPCIDescription& pci = device.getPCIDescription();
    return pci.memoryRangeCount > kRegisterBAR ? pci.memoryRanges[kRegisterBAR].size : 0;
}

}  // namespace

PavoObjects::PavoObjects(nKZAPAL000::tPCIDevice& device, kdut::HardwareStateCheckerComposite& checkers,
                         const Registries& registries, tStatus& status)
    : device_(device), checkers_(checkers), deviceWindows_(registries.deviceWindows) {
    bar_ = static_cast<uint8_t*>(device_.mapBAR(kRegisterBAR, status, kKernelMapping));
    if (bar_ != nullptr) barLength_ = registerBARLength(device_);
    regMaps_ = new (status) PavoRegMaps(bar_, barLength_, registries.registerMaps, status);
    if (regMaps_ != nullptr) signature_ = new (status) tBridgeSignatureVerifier(regMaps_->quolin.Signature(), status);
    if (regMaps_ != nullptr) controllers_ = new (status) PavoControllers(bar_, *regMaps_, status);
    if (controllers_ != nullptr && controllers_->getFlashController() != nullptr)
        flashWindow_ = new (status) devicewindow::FlashWindow(*controllers_->getFlashController(), status);
    if (flashWindow_ != nullptr) storageMaps_ = new (status) StorageMaps(flashWindow_, &registries.storageMaps, status);
    if (storageMaps_ != nullptr) {
        checksumChecker_ = new (status) StorageMapChecksumChecker(*storageMaps_);
        versionChecker_ = new (status) StorageMapVersionChecker(*storageMaps_);
    }
    if (status.isFatal()) return;

    checkBoardRevision(status);
    checkers_.add(signature_, status);
    checkers_.add(checksumChecker_, status);
    checkers_.add(versionChecker_, status);
    deviceWindows_.add(kFlashWindowName, *flashWindow_, status);
}

void PavoObjects::checkBoardRevision(tStatus& status) {
    const uint8_t revision = storageMaps_->maps.manufacturing.getOldestCompatibleBoardRevision(status);
    if (status.isFatal()) return;
    if (revision < kSupportedBoardRevision) {
        KZ_SET_CODE(status, kStatusBoardRevisionTooOld);
    } else if (revision > kSupportedBoardRevision) {
        KZ_SET_CODE(status, kStatusBoardRevisionTooNew);
    }
}

PavoObjects::~PavoObjects() {
    tStatus dropped;
    deviceWindows_.remove(kFlashWindowName, dropped);
    for (kdut::HardwareStateCheckerInterface* checker :
         {static_cast<kdut::HardwareStateCheckerInterface*>(versionChecker_),
          static_cast<kdut::HardwareStateCheckerInterface*>(checksumChecker_),
          static_cast<kdut::HardwareStateCheckerInterface*>(signature_)}) {
        tStatus own;
        checkers_.remove(checker, own);
    }
    device_.unmapBAR(bar_, kKernelMapping);
    bar_ = nullptr;
    delete storageMaps_;
    delete flashWindow_;
    delete controllers_;
    delete versionChecker_;
    delete checksumChecker_;
    delete signature_;
    delete regMaps_;
}

}  // namespace kzvorn_driver
