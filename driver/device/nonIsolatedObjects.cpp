#include "device/nonIsolatedObjects.h"

#include "kzapal/protons/memory.h"

namespace kzvorn_driver {

using nKZAPALS100::tStatus;

NonIsolatedObjects::NonIsolatedObjects(kdut::HardwareStateCheckerComposite& checkers, const Inputs& inputs,
                                       tStatus& status)
    : checkers_(checkers) {
    regMaps_ = new (status)
        NonIsolatedRegMaps(inputs.bar, inputs.barLength, inputs.registerMaps, inputs.deviceWindows, status);
    if (regMaps_ != nullptr) signature_ = new (status) tSignatureVerifier(regMaps_->fpga.SignatureReg(), status);
    if (regMaps_ != nullptr)
        controllers_ =
            new (status) NonIsolatedControllers(*regMaps_, inputs.cooling, inputs.caps, inputs.storageMaps, status);
    if (status.isFatal()) return;

    checkers_.add(signature_, status);
    // The FPGA learns that it runs a replacement image.
    if (inputs.customImage) regMaps_->fpga.NisoFpgaConfigReg().writeBit30(1, status);
}

NonIsolatedObjects::~NonIsolatedObjects() {
    tStatus dropped;
    checkers_.remove(signature_, dropped);
    delete controllers_;
    delete signature_;
    delete regMaps_;
}

}  // namespace kzvorn_driver
