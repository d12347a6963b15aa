// The isolated blocks of the four channels behind one front-end accessor, each with a sequencer
// as far as its software-interrupt lines go: a write of 0x49 latches the line's vector from 0x4A;
// a raise (0x44, bit 16 + line) latches the line in the interrupt mux, sets the channel busy and
// records a run; the run completes at the next read of the channel's status or mux status unless
// a knob keeps it latched or busy. Every access is logged at its channel offset.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "armgen/fakeAccess.h"
#include "kzvoltixSharedSource/frontEndAccessors/frontEndAccessorInterface.h"

namespace seqtest {

constexpr uint32_t kChannelBlockWords = 512;
constexpr uint32_t channelBase(unsigned channel) { return (channel + 8) * kChannelBlockWords; }

struct RunRecord {
    unsigned channel;
    uint32_t line;
    uint32_t address;
    bool operator==(const RunRecord& o) const { return channel == o.channel && line == o.line && address == o.address; }
};

class FakeSequencers final : public kzvoltixsharedsource::FrontEndAccessorInterface {
public:
    struct Channel {
        std::map<uint32_t, uint32_t> words;
        uint32_t vector[5] = {};
        uint32_t code[5] = {};
        bool latched[5] = {};
        bool busy = false;
        uint32_t selected = 0;
        // Knobs.
        bool stuckLatched = false;
        bool stuckBusy = false;
        bool compliance = false;
        std::vector<armtest::Access> log;
    };

    void write32(uint32_t address, uint32_t value, nKZAPALS100::tStatus& status) override {
        if (status.isFatal()) return;
        unsigned c = 0;
        uint32_t offset = 0;
        if (!locate(address, c, offset)) return;
        Channel& ch = channels[c];
        ch.log.push_back(armtest::W(offset, 32, value));
        ch.words[offset] = value;
        if (offset == 0x49) {
            const uint32_t line = value & 7;
            if (line < 5) {
                ch.vector[line] = ch.words[0x4A];
                ch.code[line] = (value >> 4) & 7;
            }
        } else if (offset == 0x2A) {
            ch.selected = (value >> 16) & 0xFF;
        } else if (offset == 0x44) {
            for (uint32_t line = 0; line < 5; ++line) {
                if ((value & (1u << (16 + line))) == 0) continue;
                ch.latched[line] = true;
                ch.busy = true;
                runs.push_back(RunRecord{c, line, ch.vector[line]});
            }
        }
    }
    uint32_t read32(uint32_t address, nKZAPALS100::tStatus& status) override {
        if (status.isFatal()) return 0xFFFFFFFF;
        unsigned c = 0;
        uint32_t offset = 0;
        if (!locate(address, c, offset)) return 0;
        Channel& ch = channels[c];
        uint32_t value = ch.words[offset];
        if (offset == 0x00 || offset == 0x2A) {
            complete(ch);
            if (offset == 0x00) value = (ch.busy ? 1u : 0) | (ch.compliance ? 1u << 26 : 0);
            if (offset == 0x2A)
                value = (ch.selected << 16) | (ch.selected < 5 && ch.latched[ch.selected] ? 1u << 14 : 0);
        }
        ch.log.push_back(armtest::R(offset, 32, value));
        return value;
    }

    std::vector<armtest::Access> take(unsigned channel) {
        std::vector<armtest::Access> made;
        made.swap(channels[channel].log);
        return made;
    }

    Channel channels[4];
    std::vector<RunRecord> runs;

private:
    static bool locate(uint32_t address, unsigned& channel, uint32_t& offset) {
        if (address < channelBase(0) || address >= channelBase(4)) return false;
        channel = (address - channelBase(0)) / kChannelBlockWords;
        offset = address % kChannelBlockWords;
        return true;
    }
    static void complete(Channel& ch) {
        if (!ch.stuckLatched)
            for (bool& l : ch.latched) l = false;
        if (!ch.stuckBusy) ch.busy = false;
    }
};

}  // namespace seqtest
