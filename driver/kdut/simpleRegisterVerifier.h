// Checkers that prove a chip is still the expected one: a register read from the hardware must
// hold an expected value under a mask. They check once when built, which is how the bring-up proves
// each chip at its level, and again on every hardware-state check.
#pragma once

#include <cstdint>

#include "kdut/hardwareStateChecker.h"
#include "kzapal/protons/status.h"

namespace kdut {

// Reg is a register handle of a map (its readRegister reads the hardware into the shadow and
// returns the old shadow after a failed read).
template <class Reg>
class SimpleRegisterVerifier : public HardwareStateCheckerInterface {
public:
    SimpleRegisterVerifier(uint32_t mask, uint32_t expected, uint32_t mismatchStatus, Reg reg,
                           nKZAPALS100::tStatus& status)
        : mask_(mask), expected_(expected), mismatchStatus_(mismatchStatus), register_(reg) {
        check(status);
    }
    ~SimpleRegisterVerifier() override {}

    void checkHardwareState(nKZAPALS100::tStatus& status) override { check(status); }

private:
    void check(nKZAPALS100::tStatus& status) {
        if (status.isFatal()) return;
        const uint32_t value = register_.readRegister(status);
        if ((value & mask_) != expected_) KZ_SET_CODE(status, KZ_DEVICE_CODE(mismatchStatus_));
    }

    uint32_t mask_;
    uint32_t expected_;
    uint32_t mismatchStatus_;
    Reg register_;
};

template <class Reg, uint32_t kExpected, uint32_t kMismatchStatus>
class SimpleSignatureVerifierTemplate : public SimpleRegisterVerifier<Reg> {
public:
    SimpleSignatureVerifierTemplate(Reg reg, nKZAPALS100::tStatus& status)
        : SimpleRegisterVerifier<Reg>(0xFFFFFFFFu, kExpected, kMismatchStatus, reg, status) {}
};

}  // namespace kdut
