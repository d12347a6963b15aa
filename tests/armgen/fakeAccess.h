// A register file behind the engine's hardware access, with an access log and failure knobs.
#pragma once

#include <cstdint>
#include <map>
#include <ostream>
#include <set>
#include <vector>

#include "quolinTools/armgen/registerMap.h"

namespace armtest {

struct Access {
    bool write;
    uint32_t address;
    unsigned width;
    uint64_t value;
    bool operator==(const Access& o) const {
        return write == o.write && address == o.address && width == o.width && value == o.value;
    }
};

inline void PrintTo(const Access& a, std::ostream* os) {
    *os << (a.write ? "W(0x" : "R(0x") << std::hex << a.address << ", " << std::dec << a.width << ", 0x" << std::hex
        << a.value << ")";
}

inline Access W(uint32_t address, unsigned width, uint64_t value) { return Access{true, address, width, value}; }
inline Access R(uint32_t address, unsigned width, uint64_t value = 0) { return Access{false, address, width, value}; }

class FakeAccess final : public arm::HardwareAccess {
public:
    uint64_t readRegister(uint32_t address, unsigned width, arm::tStatus& status) override {
        if (failing.count(address)) {
            log.push_back(R(address, width, 0));
            nKZAPALS100::setCode(status, failureCode, "test", "fake", 0);
            return 0xFFFFFFFF;
        }
        const uint64_t v = memory[address];
        log.push_back(R(address, width, v));
        return v;
    }
    void writeRegister(uint32_t address, unsigned width, uint64_t value, arm::tStatus& status) override {
        log.push_back(W(address, width, value));
        if (failing.count(address)) {
            nKZAPALS100::setCode(status, failureCode, "test", "fake", 0);
            return;
        }
        memory[address] = value;
    }

    std::vector<Access> writes() const {
        std::vector<Access> out;
        for (const Access& a : log)
            if (a.write) out.push_back(a);
        return out;
    }
    std::vector<Access> reads() const {
        std::vector<Access> out;
        for (const Access& a : log)
            if (!a.write) out.push_back(a);
        return out;
    }

    std::map<uint32_t, uint64_t> memory;
    std::set<uint32_t> failing;
    int64_t failureCode = static_cast<int32_t>(0xBFFA807Du);
    std::vector<Access> log;
};

}  // namespace armtest
