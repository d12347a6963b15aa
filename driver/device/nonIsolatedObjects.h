// Setup level 5: the non-isolated FPGA's register maps, the proof that the expected FPGA came up
// (its signature, also one of the device's hardware-state checks from then on), the non-isolated
// board's controllers, and after a replacement image the strobe that tells the FPGA so. Its
// destructor is the level's teardown.
#pragma once

#include <cstdint>

#include "device/nonIsolatedControllers.h"
#include "device/nonIsolatedRegMaps.h"
#include "fpga/firmware/fpgaSignatures.h"
#include "kdut/hardwareStateChecker.h"
#include "kdut/simpleRegisterVerifier.h"

namespace kzvorn_driver {

constexpr int64_t kStatusNisoSignatureMismatch = KZ_DEVICE_CODE(0xBFFA467C);

class NonIsolatedObjects {
public:
    using tStatus = nKZAPALS100::tStatus;
    using tSignatureVerifier =
        kdut::SimpleSignatureVerifierTemplate<tNisoFpgaRegMap::tSignatureReg, kNisoFpgaSignature,
                                              static_cast<uint32_t>(kStatusNisoSignatureMismatch)>;

    // What the level builds on.
    struct Inputs {
        uint8_t* bar;
        uint64_t barLength;
        armki::ARMDispatcher& registerMaps;
        devicewindow::DeviceWindowDispatcher& deviceWindows;
        bool customImage;
        CoolingPair* cooling;
        const vantrel_caps::Caps& caps;
        StorageMaps& storageMaps;
    };

    // A failed level keeps every object it built until the destructor; its verifier is then not
    // registered.
    NonIsolatedObjects(kdut::HardwareStateCheckerComposite& checkers, const Inputs& inputs, tStatus& status);
    virtual ~NonIsolatedObjects();
    NonIsolatedObjects(const NonIsolatedObjects&) = delete;
    NonIsolatedObjects& operator=(const NonIsolatedObjects&) = delete;

    // Null when not built.
    NonIsolatedRegMaps* getRegMaps() { return regMaps_; }
    NonIsolatedControllers* getControllers() { return controllers_; }

private:
    kdut::HardwareStateCheckerComposite& checkers_;
    NonIsolatedRegMaps* regMaps_ = nullptr;
    tSignatureVerifier* signature_ = nullptr;
    NonIsolatedControllers* controllers_ = nullptr;
};

}  // namespace kzvorn_driver
