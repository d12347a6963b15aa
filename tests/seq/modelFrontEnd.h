// The isolated FPGA's register words behind one front-end accessor, with the board's sequencer
// side answering the words it models; every access is logged, and a write can be made to fail.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "armgen/fakeAccess.h"
#include "board/isolatedSequencers.h"
#include "kal/sim/clock.h"
#include "kzvoltixSharedSource/frontEndAccessorInterface.h"

namespace seqtest {

constexpr uint32_t kChannelBlockWords = 512;
constexpr uint32_t channelBase(unsigned channel) { return (channel + 8) * kChannelBlockWords; }

class ModelFrontEnd final : public kzvoltixsharedsource::FrontEndAccessorInterface {
public:
    explicit ModelFrontEnd(board::IsolatedSequencerOptions options = {})
        : model(std::move(options), [] { return kal::sim::clock().nowUs(); }) {}

    void write32(uint32_t address, uint32_t value, nKZAPALS100::tStatus& status) override {
        if (status.isFatal()) return;
        log.push_back(armtest::W(address, 32, value));
        atNs.push_back(kal::sim::clock().nowNs());
        const auto failure = failing.find(address);
        if (failure != failing.end()) return void(KZ_SET_CODE(status, failure->second));
        words[address] = value;
        model.write(address, value);
    }
    uint32_t read32(uint32_t address, nKZAPALS100::tStatus& status) override {
        if (status.isFatal()) return 0xFFFFFFFF;
        const uint32_t value = model.read(address, words[address]).value_or(words[address]);
        log.push_back(armtest::R(address, 32, value));
        atNs.push_back(kal::sim::clock().nowNs());
        return value;
    }

    // The accesses to a channel's block since the last take, at channel offsets.
    std::vector<armtest::Access> take(unsigned channel) {
        std::vector<armtest::Access> made, kept;
        for (armtest::Access a : log) {
            if (a.address >= channelBase(channel) && a.address < channelBase(channel + 1)) {
                a.address -= channelBase(channel);
                made.push_back(a);
            } else {
                kept.push_back(a);
            }
        }
        log.swap(kept);
        atNs.clear();
        return made;
    }

    board::IsolatedSequencers model;
    std::map<uint32_t, uint32_t> words;
    std::vector<armtest::Access> log;
    // When each access of the log was made (until the next take).
    std::vector<uint64_t> atNs;
    // Writes of these addresses fail with the code, as a port that times out.
    std::map<uint32_t, int64_t> failing;

    size_t writes() const {
        size_t n = 0;
        for (const armtest::Access& a : log) n += a.write ? 1 : 0;
        return n;
    }
    size_t reads() const { return log.size() - writes(); }
    void clear() {
        log.clear();
        atNs.clear();
    }
};

}  // namespace seqtest
