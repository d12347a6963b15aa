#include "pavoTools/doWriteProtectRegisters.h"

#include "kzapal/protons/statusCodes.h"

namespace pavotools {

void DOWriteProtectRegisters::updateRegister(uint32_t key, uint32_t setBits, uint32_t clearBits,
                                             nKZAPALS100::tStatus& status) {
    if (status.isFatal()) return;
    if (key != kDataRegister && key != kDirectionRegister) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusBadParameter);
        return;
    }
    arm::Register target =
        key == kDataRegister ? arm::Register(map_->Register04()) : arm::Register(map_->DIO_Direction_Register());
    target.writeRegister((target.getShadow() | setBits) & ~uint64_t{clearBits}, status);
}

}  // namespace pavotools
