// The SPI master of the bridge's configuration port: each transfer is set up in the SPI port's
// format and opcode registers and the window's address register, then run by one 8-bit access of
// the configuration data window (a read for a read transfer, a write otherwise).
#pragma once

#include <cstdint>

#include "kzapal/protons/synchronization.h"
#include "quolinTools/armgen/QuolinConfigPortSPI.h"
#include "quolinTools/armgen/QuolinConfigPortWindow.h"
#include "quolinTools/spiController/spiControllerInterface.h"

namespace quolintools {

class SPIController : public SPIControllerInterface {
public:
    using tSpiMap = tQuolinConfigPortSPIWithOffset<0u>;
    using tWindowMap = tQuolinConfigPortWindowWithOffset<0u>;

    static constexpr uint64_t kDataWindowSize = 0x1000;

    using tWindowRegister = tWindowMap::tWindowRegister;

    // The configuration window's size and its position in the mapped bridge registers, from a
    // value of the window register.
    static uint64_t windowSize(uint32_t windowRegister) {
        return uint64_t{1} << arm::fieldValue(windowRegister, tWindowRegister::kWindowSizeLog2);
    }
    static uint64_t windowPosition(uint32_t windowRegister) {
        return windowRegister & arm::fieldMask(tWindowRegister::kWindowOffset);
    }
    // The data window's kernel address in the mapped bridge registers, from the window register:
    // mapped + its position. The position comes from the hardware: a window that does not lie
    // whole inside the mapping gives -52006 and null.
    static uint8_t* dataWindowAddress(uint8_t* mapped, uint64_t mappedSize, uint32_t windowRegister,
                                      tStatus& status);
    // The flash sector size: the window's size.
    static uint64_t sectorSize(uint32_t windowRegister) { return windowSize(windowRegister); }

    // Neither map is owned; dataWindow points at the variable holding the data window's kernel
    // address. -52000 when the lock cannot be created.
    SPIController(tSpiMap* spi, tWindowMap* window, uint8_t* const* dataWindow, tStatus& status);
    ~SPIController() override {}

    uint8_t readByte(uint8_t opcode, uint32_t opcodeBits, uint32_t address, uint32_t addressBits,
                     tStatus& status) override;
    // The format and opcode are set up with the first transfer only: later ones would set them to
    // what they hold, so only the address goes out before each byte. The lock is held throughout.
    void readBytes(uint8_t opcode, uint32_t opcodeBits, uint32_t address, uint32_t addressBits, uint8_t* destination,
                   uint64_t count, tStatus& status) override;
    void writeByte(uint8_t opcode, uint32_t opcodeBits, uint32_t address, uint32_t addressBits, uint8_t data,
                   tStatus& status) override;
    void command(uint8_t opcode, uint32_t opcodeBits, tStatus& status) override;
    void writeByteNoAddress(uint8_t opcode, uint32_t opcodeBits, uint8_t data, tStatus& status) override;
    void addressedNoData(uint8_t opcode, uint32_t opcodeBits, uint32_t address, uint32_t addressBits,
                         tStatus& status) override;

private:
    enum Direction { kRead, kWrite };

    void setupTransfer(uint8_t opcode, uint32_t opcodeBits, uint32_t address, uint32_t addressBits,
                       uint32_t dataBits, Direction direction, tStatus& status);
    // The transfer format and the opcode, without the address.
    void setupFormat(uint8_t opcode, uint32_t opcodeBits, uint32_t addressBits, uint32_t dataBits,
                     Direction direction, tStatus& status);
    void writeTransfer(uint8_t opcode, uint32_t opcodeBits, uint32_t address, uint32_t addressBits,
                       uint32_t dataBits, uint8_t data, tStatus& status);
    // Null, with -52006, while the builder has placed no data window.
    uint8_t* windowAt(uint32_t address, tStatus& status) const;

    tSpiMap* spi_;
    tWindowMap* window_;
    uint8_t* const* dataWindow_;
    // Set-up and access of one transfer belong together: the window and format registers are shared.
    kzvorn_driver::nKZAPAL000::tMutex lock_;
};

}  // namespace quolintools
