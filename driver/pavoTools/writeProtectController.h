// Drives the flash's write-protect line, one output bit of the digital-output block: high lets the
// flash's status register be written, low protects it.
#pragma once

#include <cstdint>

#include "kzapal/protons/status.h"
#include "pavoTools/writeProtectRegisters.h"

namespace pavotools {

class WriteProtectController {
public:
    // Makes the line an output. The registers are not owned.
    WriteProtectController(WriteProtectRegisters& registers, uint32_t mask, nKZAPALS100::tStatus& status);
    WriteProtectController(const WriteProtectController&) = delete;
    WriteProtectController& operator=(const WriteProtectController&) = delete;
    // Leaves the line as it is.
    virtual ~WriteProtectController() {}

    virtual void protect(nKZAPALS100::tStatus& status);
    virtual void unprotect(nKZAPALS100::tStatus& status);

private:
    WriteProtectRegisters* registers_;
    uint32_t mask_;
};

}  // namespace pavotools
