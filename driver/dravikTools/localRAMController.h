// The sequencers' local RAM of 65,536 64-bit words, reached one word at a time through four
// registers of the isolated FPGA: the two halves of the word, and an address register each for
// writing and for reading. One transfer holds the lock throughout, so two never interleave.
#pragma once

#include <cstdint>

#include "dravikTools/subroutinePackage.h"
#include "kzapal/protons/statusCodes.h"
#include "kzapal/protons/synchronization.h"
#include "kzhtl/vector.h"

namespace draviktools {

constexpr uint64_t kLocalRamWords = 65536;

class LocalRAMControllerInterface {
public:
    virtual ~LocalRAMControllerInterface() {}
    // From the start address up; -52005 and nothing transferred when the range passes the end.
    virtual void write(const kzhtl::Vector<uint64_t>& words, uint16_t startAddress, nKZAPALS100::tStatus& status) = 0;
    // Fills the elements the vector already has; after an error the registers' stored copies.
    virtual void read(kzhtl::Vector<uint64_t>& words, uint16_t startAddress, nKZAPALS100::tStatus& status) = 0;
};

// Over the isolated FPGA register map's local-RAM registers.
template <class tMap>
class LocalRAMController : public LocalRAMControllerInterface {
public:
    // -52000 when the lock cannot be made.
    LocalRAMController(tMap& map, nKZAPALS100::tStatus& status)
        : high_(map.SeqLocalCommandHighReg()),
          low_(map.SeqLocalCommandLowReg()),
          writeAddress_(map.SeqLocalRamWriteAddressReg()),
          readAddress_(map.SeqLocalRamReadAddressReg()),
          lock_(status) {}

    void write(const kzhtl::Vector<uint64_t>& words, uint16_t startAddress, nKZAPALS100::tStatus& status) override {
        if (!acceptRange(words.size(), startAddress, status)) return;
        kzvorn_driver::nKZAPAL000::tAutoLock guard(lock_);
        for (size_t i = 0; i < words.size() && status.isNotFatal(); ++i) {
            // Every register is written whatever its stored copy holds; the address register's
            // copy drops back to 0 after each word.
            high_.writeRegister(words[i] >> 32, status, true);
            low_.writeRegister(words[i] & 0xFFFFFFFF, status, true);
            writeAddress_.writeRegister(startAddress + i, status, true);
        }
    }

    void read(kzhtl::Vector<uint64_t>& words, uint16_t startAddress, nKZAPALS100::tStatus& status) override {
        if (!acceptRange(words.size(), startAddress, status)) return;
        kzvorn_driver::nKZAPAL000::tAutoLock guard(lock_);
        for (size_t i = 0; i < words.size(); ++i) {
            readAddress_.writeRegister(startAddress + i, status, true);
            const uint64_t high = high_.readRegister(status);
            words[i] = (high << 32) | low_.readRegister(status);
        }
    }

private:
    // The range check holds even on an incoming error (it never clears one).
    static bool acceptRange(uint64_t count, uint16_t startAddress, nKZAPALS100::tStatus& status) {
        if (startAddress + count > kLocalRamWords) KZ_SET_CODE(status, nKZAPALS100::kStatusBadParameter);
        return status.isNotFatal();
    }

    // Only named in unevaluated operands, for the register types.
    static tMap& mapType();

    decltype(mapType().SeqLocalCommandHighReg()) high_;
    decltype(mapType().SeqLocalCommandLowReg()) low_;
    decltype(mapType().SeqLocalRamWriteAddressReg()) writeAddress_;
    decltype(mapType().SeqLocalRamReadAddressReg()) readAddress_;
    kzvorn_driver::nKZAPAL000::tMutex lock_;
};

// Writes a package's words into local RAM from its start address.
class SubroutinePackageLoader {
public:
    SubroutinePackageLoader(LocalRAMControllerInterface& controller, uint16_t startAddress)
        : controller_(controller), startAddress_(startAddress) {}

    void load(const SubroutinePackageInterface& package, nKZAPALS100::tStatus& status) {
        if (status.isNotFatal()) controller_.write(package.getInstructions(), startAddress_, status);
    }

private:
    LocalRAMControllerInterface& controller_;
    uint16_t startAddress_;
};

}  // namespace draviktools
