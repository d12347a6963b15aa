// The port accessor behind the bridge's switched bus interface: each 32-bit access is one
// handshake on the interface's control register (0x688) and data register (0x68C).
#pragma once

#include <cstdint>

#include "kzapal/protons/synchronization.h"
#include "quolinTools/armgen/SwitchedQuolinBimRegMap.h"
#include "quolinTools/portAccessor/portAccessorInterface.h"

namespace quolintools {

class PavoPortAccessor : public PortAccessorInterface {
public:
    using tStatus = nKZAPALS100::tStatus;
    using tBimMap = tSwitchedQuolinBimRegMapWithOffset<0u>;

    // The map is not owned. -52000 when the lock cannot be created.
    PavoPortAccessor(tBimMap* bim, uint32_t portSelectHigh, uint32_t portSelectLow, tStatus& status);
    ~PavoPortAccessor() override {}

    void write32(uint32_t offset, uint32_t value, tStatus& status) override;
    // On failure, the data register's shadow.
    uint32_t read32(uint32_t offset, tStatus& status) override;
    // kStatusPortOperationUnsupported.
    void unsupportedOperation(tStatus& status) override;

private:
    enum Strobe { kWriteStrobe, kReadStrobe };

    void writeControl(Strobe strobe, uint32_t offset, tStatus& status);

    tBimMap* bim_;
    uint32_t portSelectHigh_;
    uint32_t portSelectLow_;
    // The IO port 2 and isolation-port maps share this accessor under different registration
    // locks; a handshake must never mix with another one on the shared control and data registers.
    kzvorn_driver::nKZAPAL000::tMutex lock_;
};

}  // namespace quolintools
