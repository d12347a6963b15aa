// An INA231 chip behind a front-end accessor: eight 16-bit registers at pointers 0 to 7 (the
// address's low three bits), written with the low 16 bits of a word and read zero-extended, with an
// access log and the accessor's two wait failures as knobs.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "armgen/fakeAccess.h"
#include "kzvoltixSharedSource/frontEndAccessorInterface.h"

namespace kzmaps {

constexpr int64_t kWindowNotReady = KZ_DEVICE_CODE(0xBFFA431F);
constexpr int64_t kReadNotDone = KZ_DEVICE_CODE(0xBFFA4320);

class FakeIna231 final : public kzvoltixsharedsource::FrontEndAccessorInterface {
public:
    void write32(uint32_t address, uint32_t value, nKZAPALS100::tStatus& status) override {
        if (status.isFatal()) return;
        log.push_back(armtest::W(address, 32, value));
        if (failWrites) return void(KZ_SET_CODE(status, kWindowNotReady));
        chip[address & 7] = uint16_t(value);
    }
    uint32_t read32(uint32_t address, nKZAPALS100::tStatus& status) override {
        if (status.isFatal()) return 0xFFFFFFFF;
        log.push_back(armtest::R(address, 32, chip[address & 7]));
        if (failReads) {
            KZ_SET_CODE(status, kReadNotDone);
            return 0xFFFFFFFF;
        }
        return chip[address & 7];
    }

    size_t count(bool writes) const {
        size_t n = 0;
        for (const armtest::Access& a : log) n += a.write == writes;
        return n;
    }

    std::array<uint16_t, 8> chip{};
    bool failReads = false;
    bool failWrites = false;
    std::vector<armtest::Access> log;
};

}  // namespace kzmaps
