// Small per-channel services of the isolated side: compliance, unganging through the channel's
// sequencer, and the shutdown subroutine every channel runs before the teardown.
#pragma once

#include <cstdint>

#include "controllers/subroutineDispatcher.h"
#include "kzvorn_regMaps/TolvaneRegisterMap_TolvaneIsoChannelRegMap.h"

namespace kzvorn_driver {

constexpr unsigned kSequencerChannelCount = 4;
using ChannelDispatchers = SubroutineDispatcher* const[kSequencerChannelCount];

// The line every subroutine the system runs for itself is raised on.
constexpr uint32_t kSubroutineLine = 4;
constexpr uint32_t kSubroutineWaitUs = 1000000;

class ChannelController {
public:
    explicit ChannelController(kzvorn_regmaps::tTolvaneIsoChannelRegMap& map)
        : status_(map.IsoChannelStatusReg()) {}
    virtual ~ChannelController() {}

    // Bit 26 of the channel status; after a failed read, the bit of the last good one.
    bool queryInCompliance(nKZAPALS100::tStatus& status);

private:
    kzvorn_regmaps::tTolvaneIsoChannelRegMap::tIsoChannelStatusReg status_;
};

class ChannelUngangingController {
public:
    explicit ChannelUngangingController(ChannelDispatchers& dispatchers) : dispatchers_(&dispatchers) {}
    virtual ~ChannelUngangingController() {}

    // Runs the unganging subroutine on the channel and waits for it; 0xBFFA4303 and no access for
    // a channel the board does not have.
    virtual void ungang(uint8_t channel, nKZAPALS100::tStatus& status);

private:
    ChannelDispatchers* dispatchers_;
};

// Starts the shutdown subroutine on every channel, then waits for each in turn: the channels shut
// down together. One status: after the first failure nothing more is started or waited for.
void shutdownChannelSequencers(ChannelDispatchers& dispatchers, nKZAPALS100::tStatus& status);

}  // namespace kzvorn_driver
