// The four isolated channels with their sequencers ready to run the system's subroutines: each
// subroutine's tagged start word in the board's local RAM, a registrar over them, and per channel
// an interrupt generator and a subroutine dispatcher, as the channel set-up builds them.
#pragma once

#include <memory>

#include "board/subroutineTag.h"
#include "controllers/interruptGeneratorController.h"
#include "controllers/subroutineDispatcher.h"
#include "dravikTools/statusCodes.h"
#include "dravikTools/systemSubroutineIds.h"
#include "fixture.h"

namespace channeltest {

// Subroutine i of the system's list starts at kFirstAddress + 0x10 i.
constexpr uint32_t kFirstAddress = 0x100;

// A registrar of every system subroutine but `missing` (0: none missing).
inline kzhtl::SharedPtr<draviktools::SubroutineRegistrarInterface> systemRegistrar(draviktools::SubroutineId missing,
                                                                                    nKZAPALS100::tStatus& status) {
    draviktools::SubroutineId ids[draviktools::kSystemSubroutineCount];
    uint32_t addresses[draviktools::kSystemSubroutineCount];
    uint64_t count = 0;
    for (size_t i = 0; i < draviktools::kSystemSubroutineCount; ++i) {
        if (draviktools::kSystemSubroutineIds[i] == missing) continue;
        ids[count] = draviktools::kSystemSubroutineIds[i];
        addresses[count++] = kFirstAddress + 0x10 * uint32_t(i);
    }
    const uint64_t words[1] = {};
    draviktools::SubroutinePackage package(words, 1, ids, addresses, count, status);
    return kzhtl::SharedPtr<draviktools::SubroutineRegistrarInterface>(
        draviktools::SubroutineRegistrarFactory().create(package, int32_t(draviktools::kStatusSubroutineNotFound),
                                                         status),
        status);
}

struct SequencedChannels : Channel {
    kzhtl::SharedPtr<draviktools::SubroutineRegistrarInterface> registrar;
    std::unique_ptr<kzvorn_driver::InterruptGeneratorController> generators[kChannels];
    std::unique_ptr<kzvorn_driver::SubroutineDispatcher> dispatchers[kChannels];
    kzvorn_driver::SubroutineDispatcher* dispatcherTable[kChannels] = {};

    SequencedChannels() {
        {
            std::lock_guard<board::BoardLock> guard(fpga().boardLock());
            for (size_t i = 0; i < draviktools::kSystemSubroutineCount; ++i)
                link().sequencers().localRam()[kFirstAddress + 0x10 * i] =
                    board::kSubroutineTagPattern | draviktools::kSystemSubroutineIds[i];
        }
        registrar = systemRegistrar(0, st);
        for (unsigned c = 0; c < kChannels; ++c) {
            generators[c] = std::make_unique<kzvorn_driver::InterruptGeneratorController>(map(c), st);
            dispatchers[c] =
                std::make_unique<kzvorn_driver::SubroutineDispatcher>(registrar, *generators[c], checker, map(c), st);
            dispatcherTable[c] = dispatchers[c].get();
        }
        EXPECT_EQ(st.code, 0);
        clearLogs();
    }

    // The ids the channel's sequencer ran, in order.
    std::vector<uint32_t> ranOn(unsigned c) {
        std::lock_guard<board::BoardLock> guard(fpga().boardLock());
        std::vector<uint32_t> out;
        for (const board::SequencerRun& run : link().sequencers().runs())
            if (run.channel == c && run.id) out.push_back(*run.id);
        return out;
    }
};

}  // namespace channeltest
