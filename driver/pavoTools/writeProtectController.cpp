#include "pavoTools/writeProtectController.h"

namespace pavotools {

WriteProtectController::WriteProtectController(WriteProtectRegisters& registers, uint32_t mask,
                                               nKZAPALS100::tStatus& status)
    : registers_(&registers), mask_(mask) {
    if (status.isNotFatal()) registers.updateRegister(WriteProtectRegisters::kDirectionRegister, mask, 0, status);
}

void WriteProtectController::protect(nKZAPALS100::tStatus& status) {
    if (status.isNotFatal()) registers_->updateRegister(WriteProtectRegisters::kDataRegister, 0, mask_, status);
}

void WriteProtectController::unprotect(nKZAPALS100::tStatus& status) {
    if (status.isNotFatal()) registers_->updateRegister(WriteProtectRegisters::kDataRegister, mask_, 0, status);
}

}  // namespace pavotools
