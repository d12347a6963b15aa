// The driver's flash stack over the board's SST25VF model: an SPI controller that hands each
// transfer to the chip, and digital-output registers whose bit 7 of key 0x4 is the chip's
// write-protect line.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "board/sst25vfFlash.h"
#include "deviceWindow/flashWindow.h"
#include "nonVolatileMemoryTools/sst25vfFlashController.h"
#include "pavoTools/writeProtectController.h"
#include "quolinTools/spiController/spiControllerInterface.h"

namespace flash_test {

using nKZAPALS100::tStatus;

constexpr int32_t kFlashTimeout = static_cast<int32_t>(0xBFFA4081);
constexpr int64_t kSpiFault = -52013;

class ModelSPIController : public quolintools::SPIControllerInterface {
public:
    explicit ModelSPIController(board::SST25VFFlash& flash) : flash_(flash) {}

    uint8_t readByte(uint8_t opcode, uint32_t opcodeBits, uint32_t address, uint32_t addressBits,
                     tStatus& status) override {
        return run({opcode, opcodeBits, address, addressBits, 8, true, 0}, status);
    }
    void writeByte(uint8_t opcode, uint32_t opcodeBits, uint32_t address, uint32_t addressBits, uint8_t data,
                   tStatus& status) override {
        run({opcode, opcodeBits, address, addressBits, 8, false, data}, status);
    }
    void command(uint8_t opcode, uint32_t opcodeBits, tStatus& status) override {
        run({opcode, opcodeBits, 0, 0, 0, false, 0}, status);
    }
    void writeByteNoAddress(uint8_t opcode, uint32_t opcodeBits, uint8_t data, tStatus& status) override {
        writeByte(opcode, opcodeBits, 0, 0, data, status);
    }
    void addressedNoData(uint8_t opcode, uint32_t opcodeBits, uint32_t address, uint32_t addressBits,
                         tStatus& status) override {
        run({opcode, opcodeBits, address, addressBits, 0, false, 0}, status);
    }

    // Fails the nth transfer from now (1-based) with kSpiFault, without reaching the chip.
    void failTransfer(uint64_t nth) { failIn_ = nth; }
    uint64_t transfers() const { return transfers_; }

private:
    uint8_t run(const board::SST25VFFlash::Transfer& transfer, tStatus& status) {
        if (status.isFatal()) return 0;
        if (failIn_ != 0 && --failIn_ == 0) {
            KZ_SET_CODE(status, kSpiFault);
            return 0;
        }
        ++transfers_;
        return flash_.transfer(transfer);
    }

    board::SST25VFFlash& flash_;
    uint64_t failIn_ = 0;
    uint64_t transfers_ = 0;
};

// Keeps a shadow and a changed mark per register, as the digital-output map does.
class ModelDigitalOutput : public pavotools::WriteProtectRegisters {
public:
    explicit ModelDigitalOutput(board::SST25VFFlash& flash) : flash_(flash) {}

    void updateRegister(uint32_t key, uint32_t setBits, uint32_t clearBits, tStatus& status) override {
        if (status.isFatal()) return;
        Register& r = key == kDataRegister ? data_ : direction_;
        const uint32_t value = (r.shadow | setBits) & ~clearBits;
        if (value != r.shadow) {
            r.shadow = value;
            r.changed = true;
        }
        if (!r.changed) return;
        r.changed = false;
        writes.emplace_back(key, value);
        if (key == kDataRegister) flash_.setWriteProtectLine((value & 0x80) != 0);
    }

    std::vector<std::pair<uint32_t, uint32_t>> writes;

private:
    struct Register {
        uint32_t shadow = 0;
        bool changed = false;
    };
    board::SST25VFFlash& flash_;
    Register data_;
    Register direction_;
};

struct FlashStack {
    explicit FlashStack(const std::vector<uint8_t>& image = {}) : flash(image) { flash.takeLog(); }

    board::SST25VFFlash flash;
    ModelSPIController spi{flash};
    ModelDigitalOutput digitalOutput{flash};
    tStatus status;
    pavotools::WriteProtectController line{digitalOutput, 0x80, status};
    nonvolatilememorytools::SST25VFFlashController controller{0x100000, 0x1000, spi, line, kFlashTimeout, status};
    devicewindow::FlashWindow window{controller, status};
};

}  // namespace flash_test
