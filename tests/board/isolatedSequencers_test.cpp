// The board's sequencer side: local RAM, the channels' interrupt lines and runs, the external PLL
// and the temperature sensor.
#include <gtest/gtest.h>

#include <vector>

#include "board/isolatedSequencers.h"
#include "board/subroutineTag.h"

namespace {

using board::IsolatedSequencers;
using board::SequencerRun;

constexpr uint32_t channelWord(unsigned c, uint32_t offset) { return 0x1000 + 0x200 * c + offset; }
constexpr uint64_t tag(uint32_t id) { return board::kSubroutineTagPattern | id; }

struct Sequencers : ::testing::Test {
    uint64_t now = 0;
    board::IsolatedSequencerOptions options;
    std::unique_ptr<IsolatedSequencers> model;

    void build() { model = std::make_unique<IsolatedSequencers>(options, [this] { return now; }); }
    Sequencers() { build(); }

    uint32_t read(uint32_t address) { return model->read(address, 0).value_or(0xDEAD); }
    void store(uint32_t address, uint64_t word) {
        model->write(0x52, uint32_t(word >> 32));
        model->write(0x53, uint32_t(word));
        model->write(0x50, address);
    }
    void start(unsigned c, unsigned line, uint32_t address) {
        model->write(channelWord(c, 0x4A), address);
        model->write(channelWord(c, 0x49), line | 0x10);
        model->write(channelWord(c, 0x44), 1u << (16 + line));
    }
};

TEST_F(Sequencers, LocalRamStoresAndPresentsWholeWords) {
    store(0xFFFF, 0x1C0FFF0500000000);
    store(7, 0x0123456789ABCDEF);
    EXPECT_EQ(model->localRam()[0xFFFF], 0x1C0FFF0500000000u);
    model->write(0x51, 7);
    EXPECT_EQ(read(0x52), 0x01234567u);
    EXPECT_EQ(read(0x53), 0x89ABCDEFu);
}

TEST_F(Sequencers, ARaisedLineRunsTheTaggedSubroutineAndCompletesAtTheNextStatusRead) {
    store(0x100, tag(0x3CB407F3));
    start(2, 4, 0x100);
    EXPECT_EQ(model->runs(), (std::vector<SequencerRun>{{2, 4, 0x100, 0x3CB407F3}}));
    EXPECT_TRUE(model->channel(2).latched[4]);
    EXPECT_TRUE(model->channel(2).busy);
    model->write(channelWord(2, 0x2A), 4u << 16);
    EXPECT_EQ(read(channelWord(2, 0x2A)), 4u << 16);
    EXPECT_EQ(read(channelWord(2, 0x00)), 0u);
    EXPECT_EQ(model->channel(2).codes[4], 1u);
}

TEST_F(Sequencers, ARunLastsItsIdsDuration) {
    options.durationUs[0x3CB407F3] = 50;
    build();
    store(0x100, tag(0x3CB407F3));
    start(0, 4, 0x100);
    model->write(channelWord(0, 0x2A), 4u << 16);
    now = 49;
    EXPECT_EQ(read(channelWord(0, 0x2A)), (4u << 16) | (1u << 14));
    EXPECT_EQ(read(channelWord(0, 0x00)) & 1, 1u);
    now = 50;
    EXPECT_EQ(read(channelWord(0, 0x00)), 0u);
}

TEST_F(Sequencers, KnobsKeepALineLatchedOrAChannelBusy) {
    options.channels[1].busyStuck = true;
    options.channels[3].lineStuckLatched = 4;
    options.channels[0].compliance = true;
    build();
    start(1, 4, 0);
    start(3, 4, 0);
    EXPECT_EQ(read(channelWord(1, 0x00)), 1u);
    model->write(channelWord(3, 0x2A), 4u << 16);
    EXPECT_EQ(read(channelWord(3, 0x2A)) & (1u << 14), 1u << 14);
    EXPECT_EQ(read(channelWord(3, 0x00)), 0u);
    EXPECT_EQ(read(channelWord(0, 0x00)), 1u << 26);
}

TEST_F(Sequencers, EffectsRunAtCompletion) {
    store(0x10, tag(IsolatedSequencers::kShutdownId));
    store(0x20, tag(IsolatedSequencers::kUngangId));
    start(0, 4, 0x10);
    start(1, 4, 0x20);
    EXPECT_FALSE(model->channel(0).shutDown);
    read(channelWord(0, 0x00));
    read(channelWord(1, 0x00));
    EXPECT_TRUE(model->channel(0).shutDown);
    EXPECT_EQ(model->channel(1).ungangs, 1u);
    unsigned seen = 9;
    model->setEffect(0x1234, [&](unsigned c) { seen = c; });
    store(0x30, tag(0x1234));
    start(2, 4, 0x30);
    read(channelWord(2, 0x2A));
    EXPECT_EQ(seen, 2u);
}

TEST_F(Sequencers, StrictSequencersFaultOnAnUnprogrammedOrUntaggedVector) {
    options.strict = true;
    build();
    model->write(channelWord(0, 0x44), 1u << 20);
    EXPECT_EQ(model->runs(), (std::vector<SequencerRun>{{0, 4, 0, std::nullopt}}));
    EXPECT_EQ(read(channelWord(0, 0x00)), 1u | (1u << 25));
    start(1, 4, 0x40);
    EXPECT_EQ(read(channelWord(1, 0x00)), 1u | (1u << 25));

    options.strict = false;
    build();
    start(1, 4, 0x40);
    EXPECT_EQ(read(channelWord(1, 0x00)), 0u);
}

TEST_F(Sequencers, ThePllLocksOnItsFourLatchesInOrderAndIsBusyAfterEachWord) {
    options.pllBusyUs = 20;
    build();
    for (uint32_t word : {0x1F8093u, 0x1F8092u, 0x100028u}) {
        EXPECT_EQ(read(0x08) & 0x300, 0u);
        model->write(0x09, word);
        EXPECT_EQ(read(0x08) & 0x300, 0x100u);
        now += 20;
    }
    model->write(0x09, 0x1B01);
    EXPECT_EQ(model->pllWritesWhileBusy(), 0u);
    model->write(0x09, 0x1B01);
    EXPECT_EQ(model->pllWritesWhileBusy(), 1u);
    EXPECT_EQ(read(0x08) & 0x200, 0u) << "five words";
    model->reset();
    for (uint32_t word : {0x1F8093u, 0x1F8092u, 0x100028u, 0x1B01u}) model->write(0x09, word);
    now += 20;
    EXPECT_EQ(read(0x08) & 0x300, 0x200u);

    options.pllNeverLocks = true;
    options.pllStuckBusy = true;
    build();
    for (uint32_t word : {0x1F8093u, 0x1F8092u, 0x100028u, 0x1B01u}) model->write(0x09, word);
    now += 1000;
    EXPECT_EQ(read(0x08) & 0x300, 0x100u);
}

TEST_F(Sequencers, TheReferenceReadingIsValidOnceTheSensorIsConfiguredAndStarted) {
    EXPECT_FALSE(model->vrefValid());
    model->write(0x06, 0x00800000);
    EXPECT_FALSE(model->vrefValid()) << "started before it was configured";
    model->write(0x06, 0x00056060);
    EXPECT_FALSE(model->vrefValid());
    model->write(0x06, 0x00800000);
    EXPECT_TRUE(model->vrefValid());
    EXPECT_TRUE(model->nisoTemperatureValid());
    options.vrefNeverValid = true;
    options.nisoTemperatureNeverValid = true;
    build();
    model->write(0x06, 0x00056060);
    model->write(0x06, 0x00800000);
    EXPECT_FALSE(model->vrefValid());
    EXPECT_FALSE(model->nisoTemperatureValid());
}

}  // namespace
