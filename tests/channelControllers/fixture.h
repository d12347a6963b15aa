// One isolated channel on the product board, as the channel controllers see it: the non-isolated
// FPGA map with its measure-unit windows, the channel's access port with its accessor, and the
// channel's register map over it.
#pragma once

#include <memory>
#include <vector>

#include "device/isolatedRegMaps.h"
#include "kal/sim/clock.h"
#include "kal/sim/faults.h"
#include "kzvorn_regMaps/fixture.h"

namespace channeltest {

// Counts its runs; reports a fault when told to.
struct Checker : kdut::HardwareStateCheckerInterface {
    int runs = 0;
    int64_t finds = 0;
    void checkHardwareState(nKZAPALS100::tStatus& status) override {
        ++runs;
        if (status.isNotFatal() && finds != 0) KZ_SET_CODE(status, finds);
    }
};

struct Channel : kzmaps::NisoBoard {
    using tChannelMap = kzvorn_regmaps::tTolvaneIsoChannelRegMap;
    static constexpr unsigned kChannels = 4;

    kzvorn_regmaps::tTolvaneNisoFpgaRegMap niso{&block, st, 0, 0, 0xFFFFFFFF};
    kdut::HardwareStateCheckerComposite checkers;
    Checker checker;
    std::vector<std::unique_ptr<kzvorn_driver::WindowedFrontEndAccessor>> accessors;
    std::vector<std::unique_ptr<tChannelMap>> maps;

    Channel() {
        board.setTimeSource([] { return kal::sim::clock().nowUs(); });
        checkers.add(&checker, st);
        for (unsigned c = 0; c < kChannels; ++c) {
            accessors.push_back(std::make_unique<kzvorn_driver::WindowedFrontEndAccessor>(niso, c, checkers, st));
            maps.push_back(std::make_unique<tChannelMap>(accessors.back().get(), (c + 8) * 512, 0, 512));
        }
        clearLogs();
    }
    void clearLogs() {
        board.log().clear();
        link().clearLog();
    }
    board::IsolatedLink& link() { return fpga().isolatedLink(); }
    tChannelMap& map(unsigned c) { return *maps[c]; }
    static uint32_t word(unsigned c, uint32_t offset) { return 0x1000 + 0x200 * c + offset; }

    // The isolated writes that reached the board, as (channel word offset, value) of channel c.
    std::vector<std::pair<uint32_t, uint32_t>> writesOf(unsigned c) {
        std::vector<std::pair<uint32_t, uint32_t>> out;
        for (const board::PortAccess& a : link().log())
            if (a.write && a.address >= word(c, 0) && a.address < word(c, 0x200)) out.push_back({a.address - word(c, 0), a.value});
        return out;
    }
    // Fails each kernel allocation, then each mutex creation, of `build(status)` in turn until it
    // succeeds: every failure gives -52000, leaks nothing and reaches no register.
    template <class tBuild>
    void sweepConstruction(tBuild build) {
        for (const char* call : {"malloc", "createMutex"}) {
            for (uint64_t nth = 1;; ++nth) {
                const int64_t before = kal::sim::liveAllocations();
                nKZAPALS100::tStatus status;
                bool failed = false;
                {
                    kal::sim::FailKernelCall fail(call, nth);
                    build(status);
                    failed = fail.failures() > 0;
                }
                EXPECT_EQ(kal::sim::liveAllocations(), before) << call << " " << nth;
                if (!failed) {
                    EXPECT_EQ(status.code, 0);
                    break;
                }
                EXPECT_EQ(status.code, -52000) << call << " " << nth;
                EXPECT_TRUE(link().log().empty()) << call << " " << nth;
            }
            clearLogs();
        }
    }
    // Isolated reads of channel c's word offsets.
    std::vector<uint32_t> readsOf(unsigned c) {
        std::vector<uint32_t> out;
        for (const board::PortAccess& a : link().log())
            if (!a.write && a.address >= word(c, 0) && a.address < word(c, 0x200))
                out.push_back(a.address - word(c, 0));
        return out;
    }
};

}  // namespace channeltest
