// Sessions on four threads, each on its own channel, at once: gangs reserved and released,
// gang states read, triggers overridden, engines started and reset. They end without deadlock, and the gang book
// stays whole: every channel of a recorded gang carries its gang's merge count.
#include <thread>

#include "fixture.h"
#include "kal/sim/clock.h"

namespace channeltest {
namespace {

class ChannelRequestsThreaded : public ChannelRequests {};

TEST_F(ChannelRequestsThreaded, SessionsOnTheirOwnChannelsAtOnce) {
    addBuiltTo13();
    kal::sim::ScopedRealTime realTime;
    constexpr int kRounds = 20;
    std::vector<kal::sim::Session> sessions;
    for (unsigned c = 0; c < 4; ++c) {
        sessions.push_back(open());
        ASSERT_EQ(request(sessions[c], kReserve, uint64_t{1} << c).status, 0);
    }
    std::vector<std::thread> threads;
    std::vector<std::vector<int32_t>> failures(4);
    for (unsigned c = 0; c < 4; ++c) {
        threads.emplace_back([&, c] {
            kal::sim::Session& s = sessions[c];
            const uint64_t mask = uint64_t{1} << c;
            // Channels 0 and 2 gang with the channel after them; channels 1 and 3 ask for their
            // gang state meanwhile. No two threads run subroutines on one channel.
            const bool gangs = c % 2 == 0;
            for (int round = 0; round < kRounds; ++round) {
                for (const Reply& r : {gangs ? request(s, kGangReserve, c, 2) : request(s, kIsReserved, c),
                                       request(s, kOverride, mask, 1034 + c), request(s, kEngineStart, mask, 0),
                                       request(s, kEngineRunning, mask), request(s, kEngineReset, mask),
                                       request(s, kMergeCount, c),
                                       gangs ? request(s, kGangUnreserve, c) : request(s, kIsMaster, c)}) {
                    if (r.status != 0) failures[c].push_back(r.status);
                }
            }
        });
    }
    for (std::thread& t : threads) t.join();
    for (unsigned c = 0; c < 4; ++c) EXPECT_TRUE(failures[c].empty()) << c << ": " << failures[c].front();

    auto& s = sessions[0];
    for (uint8_t ch = 0; ch < 4;) {
        ASSERT_EQ(request(s, kIsMaster, ch).value, 1u) << int(ch);
        const uint32_t size = request(s, kMergeCount, ch).value;
        ASSERT_GE(size, 1u);
        ASSERT_LE(ch + size, 4u);
        for (uint8_t member = ch + 1; member < ch + size; ++member) {
            EXPECT_EQ(request(s, kMergeCount, member).value, size) << int(member);
            EXPECT_EQ(request(s, kIsMaster, member).value, 0u) << int(member);
        }
        EXPECT_EQ(request(s, kIsReserved, ch).value, 0u);
        ch = uint8_t(ch + size);
    }
}

}  // namespace
}  // namespace channeltest
