// The isolated address space behind a front-end accessor: a word store, a log of every access
// (read or write, address, value) and a failure per address with a chosen code. A failed read
// returns `failedRead`, as an access port returns its stale read-data word.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "armgen/fakeAccess.h"
#include "kzvoltixSharedSource/frontEndAccessorInterface.h"

namespace kzmaps {

constexpr int64_t kPortNotReady = KZ_DEVICE_CODE(0xBFFA4680);

class FakeFrontEnd final : public kzvoltixsharedsource::FrontEndAccessorInterface {
public:
    void write32(uint32_t address, uint32_t value, nKZAPALS100::tStatus& status) override {
        if (status.isFatal()) return;
        log.push_back(armtest::W(address, 32, value));
        const auto failure = failing.find(address);
        if (failure != failing.end()) return void(KZ_SET_CODE(status, failure->second));
        words[address] = value;
    }
    uint32_t read32(uint32_t address, nKZAPALS100::tStatus& status) override {
        if (status.isFatal()) return 0xFFFFFFFF;
        const uint32_t value = word(address);
        log.push_back(armtest::R(address, 32, value));
        const auto failure = failing.find(address);
        if (failure == failing.end()) return value;
        KZ_SET_CODE(status, failure->second);
        return failedRead;
    }

    uint32_t word(uint32_t address) const {
        const auto it = words.find(address);
        return it == words.end() ? 0 : it->second;
    }
    void fail(uint32_t address, int64_t code = kPortNotReady) { failing[address] = code; }
    std::vector<armtest::Access> take() {
        std::vector<armtest::Access> made;
        made.swap(log);
        return made;
    }

    std::map<uint32_t, uint32_t> words;
    std::map<uint32_t, int64_t> failing;
    uint32_t failedRead = 0xBAD0BAD0;
    std::vector<armtest::Access> log;
};

}  // namespace kzmaps
