// 32-bit register access beyond the non-isolated FPGA: the isolated side through an access port,
// an INA231 chip through a power-monitor window. Unlike memory-space access it can fail, and the
// accessor's own codes reach the map's caller unchanged.
#pragma once

#include <cstdint>

#include "kzapal/protons/status.h"
#include "kzapal/protons/statusCodes.h"
#include "quolinTools/armgen/registerMap.h"

namespace kzvoltixsharedsource {

class FrontEndAccessorInterface {
public:
    virtual ~FrontEndAccessorInterface() {}
    // Both return at once on an incoming error; read32 then answers 0xFFFFFFFF.
    virtual void write32(uint32_t address, uint32_t value, nKZAPALS100::tStatus& status) = 0;
    virtual uint32_t read32(uint32_t address, nKZAPALS100::tStatus& status) = 0;
};

// The register-map engine's view of a front-end accessor: every register is 32 bits wide. The
// accessor may be bound after the map is built (the bring-up rebinds channel maps to their own
// ports); until then every access is refused with -52006 and nothing is sent.
class FrontEndAccess final : public arm::HardwareAccess {
public:
    explicit FrontEndAccess(FrontEndAccessorInterface* accessor) : accessor_(accessor) {}

    void bind(FrontEndAccessorInterface* accessor) { accessor_ = accessor; }
    FrontEndAccessorInterface* accessor() const { return accessor_; }

    uint64_t readRegister(uint32_t address, unsigned, nKZAPALS100::tStatus& status) override {
        if (accessor_ == nullptr) return unbound(status);
        return accessor_->read32(address, status);
    }
    void writeRegister(uint32_t address, unsigned, uint64_t value, nKZAPALS100::tStatus& status) override {
        if (accessor_ == nullptr) return void(unbound(status));
        accessor_->write32(address, uint32_t(value), status);
    }

private:
    static uint64_t unbound(nKZAPALS100::tStatus& status) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusResourceNotFound);
        return ~uint64_t{0};
    }

    FrontEndAccessorInterface* accessor_;
};

}  // namespace kzvoltixsharedsource
