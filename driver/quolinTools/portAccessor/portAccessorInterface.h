// Indirect 32-bit access to the registers of a port behind the bridge. The IO port 2 and
// isolation-port register maps reach their registers only through these two operations; unlike
// memory-space access they can fail.
#pragma once

#include <cstdint>

#include "quolinTools/armgen/registerMap.h"
#include "kzapal/protons/status.h"

namespace quolintools {

class PortAccessorInterface {
public:
    virtual ~PortAccessorInterface() {}
    virtual void write32(uint32_t offset, uint32_t value, nKZAPALS100::tStatus& status) = 0;
    virtual uint32_t read32(uint32_t offset, nKZAPALS100::tStatus& status) = 0;
    virtual void unsupportedOperation(nKZAPALS100::tStatus& status) = 0;
};

// The register-map engine's view of a port accessor: every register is 32 bits wide.
class PortAccess final : public arm::HardwareAccess {
public:
    explicit PortAccess(PortAccessorInterface* port) : port_(port) {}

    uint64_t readRegister(uint32_t address, unsigned, nKZAPALS100::tStatus& status) override {
        return port_->read32(address, status);
    }
    void writeRegister(uint32_t address, unsigned, uint64_t value, nKZAPALS100::tStatus& status) override {
        port_->write32(address, uint32_t(value), status);
    }

private:
    PortAccessorInterface* port_;
};

}  // namespace quolintools
