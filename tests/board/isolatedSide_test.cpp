// The isolation link of the non-isolated FPGA, its access ports and the isolated register file,
// driven as the bus would.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

#include "board/product.h"

namespace {

constexpr uint64_t kNiso = board::bar0::kNonIsolatedFpga;
constexpr uint64_t kIsoComm = kNiso + 0x020;
constexpr uint32_t kSignatures[2] = {0x4E150005, 0x15015006};
constexpr uint32_t kReady = 1u << 17;
constexpr uint32_t kResponse = 1u << 16;
constexpr uint32_t kFault = 1u << 31;

uint64_t port(unsigned p, uint64_t word) { return kNiso + 0x200 + 0x10 * p + word; }

struct Side {
    explicit Side(const board::ProductOptions& options) : blocks(board::installProduct(b, options)) {}
    // Both FPGAs configured; the link as the options leave it.
    static board::ProductOptions configured() {
        board::ProductOptions options;
        options.fpga.configuredAtStart = {{kSignatures[0], kSignatures[1]}};
        return options;
    }
    board::Board b{board::productIdentity()};
    board::ProductBlocks blocks;

    uint32_t status(unsigned p) { return uint32_t(b.read(0, port(p, 0), 4)); }
    void write(unsigned p, uint32_t address, uint32_t value) {
        b.write(0, port(p, 8), 4, value);
        b.write(0, port(p, 4), 4, address);
    }
    uint32_t read(unsigned p, uint32_t address) {
        b.write(0, port(p, 4), 4, address | 0x10000);
        for (int i = 0; i < 100 && (status(p) & kResponse) == 0; ++i) {
        }
        return uint32_t(b.read(0, port(p, 8), 4));
    }
    board::IsolatedLink& link() { return blocks.nonIsolatedFpga.isolatedLink(); }
};

TEST(IsolationLink, CommandsMoveTheStateAndStartTheDcBus) {
    struct Case {
        const char* name;
        void (*knob)(board::IsolatedSideOptions&);
        uint32_t afterOne, afterTwo, afterStart;
    };
    const Case cases[] = {
        {"as commanded", [](board::IsolatedSideOptions&) {}, 0x001, 0x002, 0x102},
        {"state 1 never reached", [](board::IsolatedSideOptions& o) { o.isoCommNever = 1; }, 0x102, 0x102, 0x102},
        {"state 2 never reached", [](board::IsolatedSideOptions& o) { o.isoCommNever = 2; }, 0x001, 0x001, 0x101},
        {"the DC bus never starts", [](board::IsolatedSideOptions& o) { o.dcBusNeverStarts = true; }, 0x001, 0x002,
         0x002},
    };
    for (const Case& c : cases) {
        board::ProductOptions options = Side::configured();
        c.knob(options.isolated);
        Side s(options);
        EXPECT_EQ(s.b.read(0, kIsoComm, 4), 0x102u) << c.name << ": the downloads leave the link up";
        s.b.write(0, kIsoComm, 4, 1);
        EXPECT_EQ(s.b.read(0, kIsoComm, 4), c.afterOne) << c.name;
        s.b.write(0, kIsoComm, 4, 2);
        EXPECT_EQ(s.b.read(0, kIsoComm, 4), c.afterTwo) << c.name;
        s.b.write(0, kIsoComm, 4, 0x100);
        EXPECT_EQ(s.b.read(0, kIsoComm, 4), c.afterStart) << c.name;
    }
}

TEST(AccessPorts, ReadyOnlyWhileTheLinkIsUp) {
    Side s(Side::configured());
    EXPECT_EQ(s.status(0) & kReady, kReady);
    s.b.write(0, kIsoComm, 4, 1);  // state 1 drops the DC bus
    EXPECT_EQ(s.status(0) & kReady, 0u);
    s.write(0, 0x10, 0x55);
    EXPECT_EQ(s.link().counts(0).violations, 2u) << "data and address while not ready";
    EXPECT_EQ(s.link().registers().stored(0x10), 0u);
    s.b.write(0, kIsoComm, 4, 2);
    EXPECT_EQ(s.status(0) & kReady, 0u);
    s.b.write(0, kIsoComm, 4, 0x100);
    EXPECT_EQ(s.status(0) & kReady, kReady);

    board::ProductOptions lifted = Side::configured();
    lifted.isolated.portsReadyWithoutLink = true;
    Side t(lifted);
    t.b.write(0, kIsoComm, 4, 1);
    EXPECT_EQ(t.status(0) & kReady, kReady) << "the test option lifts the link's rule";
}

TEST(AccessPorts, WritesStoreReadsRespondAndEveryAccessIsLogged) {
    Side s(Side::configured());
    s.write(3, 0x2005, 0x12345678);  // the port carries 13 address bits
    EXPECT_EQ(s.link().registers().stored(0x0005), 0x12345678u);
    EXPECT_EQ(s.read(3, 0x0005), 0x12345678u);
    EXPECT_EQ(s.read(3, 0x0000), kSignatures[1]) << "word 0 is the configured image's signature";
    EXPECT_EQ(s.read(3, 0x0001), board::IsolatedRegisterFile::kRevisionValue);
    // A split word: the write side holds what was written, reads show what is presented.
    s.write(3, 0x08, 0x10);
    s.blocks.nonIsolatedFpga.presentIsolated(0x08, 0x200);
    EXPECT_EQ(s.read(3, 0x08), 0x200u);
    EXPECT_EQ(s.link().registers().stored(0x08), 0x10u);
    EXPECT_TRUE(s.link().registers().split(0x1000 + 0x200 * 6 + 0x134));
    EXPECT_FALSE(s.link().registers().split(0x1000 + 0x1FF));
    const std::vector<board::PortAccess> expected = {{3, true, 0x5, 0x12345678}, {3, false, 0x5, 0x12345678},
                                                     {3, false, 0x0, kSignatures[1]},
                                                     {3, false, 0x1, board::IsolatedRegisterFile::kRevisionValue},
                                                     {3, true, 0x8, 0x10},
                                                     {3, false, 0x8, 0x200}};
    EXPECT_EQ(s.link().log(), expected);
    EXPECT_EQ(s.link().counts(3).accesses, 6u);
    EXPECT_EQ(s.link().counts(3).violations, 0u);
}

TEST(AccessPorts, KnobsDelayWithholdAndFault) {
    board::ProductOptions options = Side::configured();
    options.isolated.ports[1].latency = 2;
    options.isolated.ports[2].neverReady = true;
    options.isolated.ports[4].neverResponds = true;
    options.isolated.ports[5].faultReads = 2;
    Side s(options);
    // Latency: two status reads after the address write before ready, or before the response.
    s.b.write(0, port(1, 4), 4, 0x10007);
    EXPECT_EQ(s.status(1) & (kReady | kResponse), 0u);
    EXPECT_EQ(s.status(1) & (kReady | kResponse), kReady | kResponse);
    s.write(1, 7, 1);
    EXPECT_EQ(s.status(1) & kReady, 0u);
    EXPECT_EQ(s.status(1) & kReady, kReady);
    // Never ready; never responding (ready again, no response).
    EXPECT_EQ(s.status(2) & kReady, 0u);
    s.b.write(0, port(4, 4), 4, 0x10000);
    EXPECT_EQ(s.status(4) & (kReady | kResponse), kReady);
    // The fault bit for two status reads.
    EXPECT_EQ(s.status(5) & kFault, kFault);
    EXPECT_EQ(s.status(5) & kFault, kFault);
    EXPECT_EQ(s.status(5) & kFault, 0u);
    s.blocks.nonIsolatedFpga.setAccessPortKnobs(5, board::AccessPortKnobs{0, false, false, true, 0});
    EXPECT_EQ(s.status(5) & (kFault | kReady), kFault | kReady);
}

}  // namespace

namespace {

// A channel's software-interrupt line L latches at position L of the channel's interrupt mux while
// it runs, and lets go when the run completes (seen at a status read), unless the line is stuck.
TEST(AccessPorts, AChannelsRaisedLineShowsOnItsInterruptMux) {
    Side s(Side::configured());
    constexpr uint32_t kChannel1 = 0x1000 + 0x200;
    constexpr uint32_t kLatched = 1u << 14;
    auto raiseAndSelect = [&] {
        s.write(1, kChannel1 + 0x44, 1u << (16 + 3));
        s.write(1, kChannel1 + 0x2A, 3u << 16);
    };
    raiseAndSelect();
    EXPECT_EQ(s.read(1, kChannel1 + 0x2A) & kLatched, kLatched);
    s.read(1, kChannel1 + 0x00);
    EXPECT_EQ(s.read(1, kChannel1 + 0x2A) & kLatched, 0u);

    s.link().sequencers().options().channels[1].lineStuckLatched = 3;
    raiseAndSelect();
    s.read(1, kChannel1 + 0x00);
    EXPECT_EQ(s.read(1, kChannel1 + 0x2A) & (0xFF0000 | kLatched | 0xFFF), (3u << 16) | kLatched | 0x708)
        << "position 3, the source of line 3";
}

}  // namespace

namespace {

// The routing view: the input the last action-1 write connected, until action 2 at that position
// or action 8 or 9 disconnects it; only routing mux words have one.
TEST(AccessPorts, RoutingMuxesShowTheInputTheyConnect) {
    Side s(Side::configured());
    board::NonIsolatedFpga& fpga = s.blocks.nonIsolatedFpga;
    constexpr unsigned kIso = board::kIsolatedBoardBlock;
    constexpr uint32_t kChannel2 = 0x1000 + 0x200 * 2;
    struct Step {
        uint32_t word;
        std::optional<unsigned> input;
    };
    const Step steps[] = {
        {0x10050000, 5},               // connect input 5
        {0x20040000, 5},               // disabling another input leaves it
        {0x10070000, 7},               // another connect replaces it
        {0x00000400, 7},               // a clear-latches strobe leaves it
        {0x20070000, std::nullopt},    // disabling the connected input ends it
        {0x10020000, 2},
        {0x80000000, std::nullopt},    // action 8
        {0x10000000, 0},
        {0x90000000, std::nullopt},    // action 9
    };
    for (const Step& step : steps) {
        s.write(4, 0x33, step.word);
        s.write(2, kChannel2 + 0x02B, step.word);
        EXPECT_EQ(fpga.routedInput(kIso, 0x33), step.input) << std::hex << step.word;
        EXPECT_EQ(fpga.routedInput(2, 0x02B), step.input) << std::hex << step.word;
    }
    EXPECT_EQ(board::IsolatedOccurrence::routingMuxOffsets(kIso).size(), 10u);
    const std::vector<uint32_t> channel = board::IsolatedOccurrence::routingMuxOffsets(0);
    EXPECT_EQ(channel.size(), 18u);
    for (uint32_t other : {0x020u, 0x021u, 0x026u, 0x02Au, 0x036u})
        EXPECT_EQ(std::count(channel.begin(), channel.end(), other), 0) << std::hex << other;
    // An error or interrupt mux enabled through action 1 is no routing mux.
    s.write(2, kChannel2 + 0x02A, 0x10010000);
    s.write(4, 0x40, 0x10010000);
    EXPECT_EQ(fpga.routedInput(2, 0x02A), std::nullopt);
    EXPECT_EQ(fpga.routedInput(kIso, 0x40), std::nullopt);
}

}  // namespace
