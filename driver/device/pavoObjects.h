// Setup level 3: maps the bridge's registers, builds the bridge and timing register maps, proves
// the bridge is the expected chip, builds the serial-flash access and the stored-data maps, checks
// that the board revision is supported and registers the checkers that guard the stored data.
// Its destructor is the level's teardown.
#pragma once

#include <cstdint>

#include "device/pavoControllers.h"
#include "device/pavoRegMaps.h"
#include "device/statusCodes.h"
#include "device/storageMapCheckers.h"
#include "device/storageMaps.h"
#include "deviceWindow/deviceWindowDispatcher.h"
#include "deviceWindow/flashWindow.h"
#include "kdut/hardwareStateChecker.h"
#include "kdut/simpleRegisterVerifier.h"
#include "storageMap/storageMapDispatcher.h"

namespace kzvorn_driver {

namespace nKZAPAL000 {
class tPCIDevice;
}

class PavoObjects {
public:
    using tStatus = nKZAPALS100::tStatus;

    static constexpr uint32_t kBridgeSignature = 0xC0107AD0;
    static constexpr const char* kFlashWindowName = "flashWindow";

    using tBridgeSignatureVerifier =
        kdut::SimpleSignatureVerifierTemplate<quolintools::tQuolinWithOffset<0u>::tSignature, kBridgeSignature,
                                              static_cast<uint32_t>(kStatusBridgeSignatureMismatch)>;

    struct Registries {
        armki::ARMDispatcher& registerMaps;
        devicewindow::DeviceWindowDispatcher& deviceWindows;
        storagemap::StorageMapDispatcher& storageMaps;
    };

    // A failed level keeps every object it built until the destructor.
    PavoObjects(nKZAPAL000::tPCIDevice& device, kdut::HardwareStateCheckerComposite& checkers,
                const Registries& registries, tStatus& status);
    virtual ~PavoObjects();
    PavoObjects(const PavoObjects&) = delete;
    PavoObjects& operator=(const PavoObjects&) = delete;

    // Null when not built.
    PavoRegMaps* getRegMaps() { return regMaps_; }
    StorageMaps* getStorageMaps() { return storageMaps_; }
    StorageMapChecksumChecker* getChecksumChecker() { return checksumChecker_; }
    StorageMapVersionChecker* getVersionChecker() { return versionChecker_; }
    uint8_t* getMappedBAR() { return bar_; }
    uint64_t getMappedBARLength() const { return barLength_; }

private:
    void checkBoardRevision(tStatus& status);

    nKZAPAL000::tPCIDevice& device_;
    kdut::HardwareStateCheckerComposite& checkers_;
    uint8_t* bar_ = nullptr;
    uint64_t barLength_ = 0;
    PavoRegMaps* regMaps_ = nullptr;
    tBridgeSignatureVerifier* signature_ = nullptr;
    PavoControllers* controllers_ = nullptr;
    devicewindow::DeviceWindowDispatcher& deviceWindows_;
    devicewindow::FlashWindow* flashWindow_ = nullptr;
    StorageMaps* storageMaps_ = nullptr;
    StorageMapChecksumChecker* checksumChecker_ = nullptr;
    StorageMapVersionChecker* versionChecker_ = nullptr;
};

}  // namespace kzvorn_driver
