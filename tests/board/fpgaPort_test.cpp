// The board's FPGA configuration port and the non-isolated FPGA behind it, driven as the bus
// would: what a load needs before it takes data, what it does with the image, and when the FPGA
// answers.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "board/crc32.h"
#include "board/product.h"
#include "tools/stowly/stowlyData.h"

namespace {

using board::bar0::kFpgaLoadControl;
using board::bar0::kFpgaLoadData;
using board::bar0::kFpgaLoadSize;
using board::bar0::kFpgaLoadStatus;
using board::bar0::kFpgaPortSelect;
using Port = board::FpgaConfigurationPort;

constexpr uint32_t kSignature = 0x13572468;
constexpr size_t kSize = 100;

struct Product {
    explicit Product(const board::ProductOptions& options = {})
        : blocks(board::installProduct(b, options)) {}
    board::Board b{board::productIdentity()};
    board::ProductBlocks blocks;

    void start(unsigned port, uint32_t size) {
        b.write(0, kFpgaPortSelect, 4, port << 8);
        b.write(0, kFpgaLoadSize, 4, size);
        b.write(0, kFpgaLoadControl, 4, 1);
    }
    uint32_t status() { return static_cast<uint32_t>(b.read(0, kFpgaLoadStatus, 4)); }
    bool ready() { return (status() & Port::kReady) != 0; }
    bool done() { return (status() & Port::kDone) != 0; }
    // Eight bytes a store, the tail a byte at a time.
    void send(const std::vector<uint8_t>& image) {
        size_t i = 0;
        for (; i + 8 <= image.size(); i += 8) {
            uint64_t word = 0;
            for (int k = 0; k < 8; ++k) word |= uint64_t{image[i + k]} << (8 * k);
            b.write(0, kFpgaLoadData, 8, word);
        }
        for (; i < image.size(); ++i) b.write(0, kFpgaLoadData, 1, image[i]);
    }
    void enableLink() { blocks.bus.ioPort2().write(0, 0x1); }
    // Port 3 takes data only in the isolation link's state 1.
    void isolationState1() { blocks.nonIsolatedFpga.commandIsoComm(1); }
    Port::Load last() { return blocks.fpgaPort.loads().back(); }
    uint32_t nisoSignature() { return static_cast<uint32_t>(b.read(0, board::bar0::kNonIsolatedFpga, 4)); }
};

TEST(FpgaPort, ALoadTakesDataOnceItsPortIsReady) {
    struct Case {
        const char* name;
        unsigned port;
        bool linkEnabled;
        bool isolationState1;
        bool ready;
    };
    const Case cases[] = {
        {"port 2 with IO port 2 enabled", 2, true, false, true},
        {"port 2 with IO port 2 disabled", 2, false, false, false},
        {"port 3 in isolation state 1", 3, false, true, true},
        {"port 3 outside isolation state 1", 3, true, false, false},
        {"a port without an FPGA", 5, true, true, false},
    };
    for (const Case& c : cases) {
        Product p;
        if (c.linkEnabled) p.enableLink();
        if (c.isolationState1) p.isolationState1();
        EXPECT_FALSE(p.ready()) << c.name << ": before a start";
        p.start(c.port, kSize);
        EXPECT_EQ(p.ready(), c.ready) << c.name;
    }
}

TEST(FpgaPort, ACompleteImageIsCheckedForTheFpgaBehindThePort) {
    struct Case {
        const char* name;
        unsigned port;
        std::vector<uint8_t> image;
        bool acceptAny;
        Port::Verdict verdict;
        board::FpgaImageFault fault;
    };
    std::vector<uint8_t> badCrc = stowly::buildFpgaImage(0, kSignature, kSize);
    badCrc[kSize - 1] ^= 0x80;
    std::vector<uint8_t> badLength = stowly::buildFpgaImage(0, kSignature, kSize + 8);
    const Case cases[] = {
        {"non-isolated", 2, stowly::buildFpgaImage(0, kSignature, kSize), false, Port::Verdict::kConfigured,
         board::FpgaImageFault::kNone},
        {"isolated", 3, stowly::buildFpgaImage(1, kSignature, kSize), false, Port::Verdict::kConfigured,
         board::FpgaImageFault::kNone},
        {"bad CRC", 2, badCrc, false, Port::Verdict::kRejected, board::FpgaImageFault::kBadCrc},
        {"the other FPGA's", 3, stowly::buildFpgaImage(0, kSignature, kSize), false, Port::Verdict::kRejected,
         board::FpgaImageFault::kWrongTarget},
        {"header longer than the load", 2, std::vector<uint8_t>(badLength.begin(), badLength.begin() + kSize), false,
         Port::Verdict::kRejected, board::FpgaImageFault::kWrongLength},
        {"bad CRC, accepted", 2, badCrc, true, Port::Verdict::kConfigured, board::FpgaImageFault::kBadCrc},
    };
    for (const Case& c : cases) {
        board::ProductOptions options;
        options.fpga.acceptAny = c.acceptAny;
        Product p(options);
        p.enableLink();
        p.isolationState1();
        p.start(c.port, static_cast<uint32_t>(c.image.size()));
        p.send(c.image);
        const bool configured = c.verdict == Port::Verdict::kConfigured;
        EXPECT_EQ(p.done(), configured) << c.name;
        const Port::Load load = p.last();
        EXPECT_EQ(load.verdict, c.verdict) << c.name;
        EXPECT_EQ(load.fault, c.fault) << c.name;
        EXPECT_EQ(load.stores64, c.image.size() / 8) << c.name;
        EXPECT_EQ(load.byteWrites, c.image.size() % 8) << c.name;
        EXPECT_EQ(load.crc, board::crc32(c.image.data(), c.image.size())) << c.name;
        const Port::Fpga fpga = p.blocks.fpgaPort.fpga(c.port == 2 ? board::kNonIsolatedFpga : board::kIsolatedFpga);
        EXPECT_EQ(fpga.configured, configured) << c.name;
        EXPECT_EQ(fpga.signature, configured ? kSignature : 0u) << c.name;
        EXPECT_EQ(p.b.log().countWrites(kFpgaLoadData), 0u) << c.name << ": the load keeps its own record";
    }
}

TEST(FpgaPort, DataOutsideTheRulesFailsTheLoad) {
    const std::vector<uint8_t> image = stowly::buildFpgaImage(0, kSignature, kSize);
    {  // beyond the size
        Product p;
        p.enableLink();
        p.start(2, kSize - 8);  // the twelfth word crosses the end
        p.send(image);
        EXPECT_EQ(p.last().verdict, Port::Verdict::kFailed);
        EXPECT_FALSE(p.done());
        EXPECT_FALSE(p.blocks.fpgaPort.fpga(board::kNonIsolatedFpga).configured);
    }
    {  // before the port is ready
        Product p;
        p.start(2, kSize);
        p.send(image);
        EXPECT_EQ(p.last().verdict, Port::Verdict::kFailed);
        EXPECT_EQ(p.last().received, 0u);
    }
    {  // outside a load
        Product p;
        p.send({1, 2, 3});
        EXPECT_EQ(p.blocks.fpgaPort.strayTransfers(), 3u);
        EXPECT_TRUE(p.blocks.fpgaPort.loads().empty());
    }
}

// A thousand resets make two thousand loads: the port keeps the latest ones, and of each the
// latest status reads, while it counts them all.
TEST(FpgaPort, KeepsTheLatestLoadsAndOfEachTheLatestStatusReads) {
    Product p;
    p.enableLink();
    for (uint32_t i = 0; i < Port::kLoadsKept + 2; ++i) p.start(2, static_cast<uint32_t>(kSize + i));
    std::vector<Port::Load> loads = p.blocks.fpgaPort.loads();
    ASSERT_EQ(loads.size(), Port::kLoadsKept);
    EXPECT_EQ(loads.front().size, kSize + 2);
    EXPECT_EQ(loads.back().size, kSize + Port::kLoadsKept + 1);

    const uint64_t reads = Port::kStatusReadsKept + 5;
    for (uint64_t i = 0; i < reads; ++i) p.status();
    p.send({1, 2, 3, 4, 5, 6, 7, 8});
    p.status();
    const Port::Load last = p.last();
    EXPECT_EQ(last.statusReads, reads + 1);
    ASSERT_EQ(last.statusReadsAfter.size(), Port::kStatusReadsKept);
    EXPECT_EQ(last.statusReadsAfter.front(), 0u);
    EXPECT_EQ(last.statusReadsAfter.back(), 1u) << "the read after the word";
    EXPECT_EQ(last.stores64, 1u);
}

TEST(FpgaPort, ReadinessAndCompletionKnobs) {
    uint64_t now = 1000;
    board::ProductOptions delayed;
    delayed.fpga.readyDelayUs = 50;
    Product p(delayed);
    p.b.setTimeSource([&] { return now; });
    p.isolationState1();
    p.start(3, kSize);
    EXPECT_FALSE(p.ready());
    now += 49;
    EXPECT_FALSE(p.ready());
    now += 1;
    EXPECT_TRUE(p.ready()) << "in the board's time";

    board::ProductOptions neverReady;
    neverReady.fpga.neverReady = true;
    Product q(neverReady);
    q.isolationState1();
    q.start(3, kSize);
    EXPECT_FALSE(q.ready());

    board::ProductOptions neverDone;
    neverDone.fpga.neverDone = true;
    Product r(neverDone);
    r.isolationState1();
    r.start(3, kSize);
    r.send(stowly::buildFpgaImage(1, kSignature, kSize));
    EXPECT_FALSE(r.done());
    EXPECT_EQ(r.last().verdict, Port::Verdict::kStalled);
    EXPECT_FALSE(r.blocks.fpgaPort.fpga(board::kIsolatedFpga).configured);
}

// The isolated FPGA's own knobs leave loads through port 2 alone; a withheld completion still
// configures the FPGA.
TEST(FpgaPort, KnobsOfTheIsolatedPortAlone) {
    const std::vector<uint8_t> niso = stowly::buildFpgaImage(0, kSignature, kSize);
    const std::vector<uint8_t> iso = stowly::buildFpgaImage(1, kSignature + 1, kSize);
    struct Case {
        const char* name;
        void (*knob)(board::FpgaPortOptions&);
        bool ready, done, configured;
    };
    const Case cases[] = {
        {"never ready", [](board::FpgaPortOptions& o) { o.isolatedNeverReady = true; }, false, false, false},
        {"never done", [](board::FpgaPortOptions& o) { o.isolatedNeverDone = true; }, true, false, false},
        {"done withheld", [](board::FpgaPortOptions& o) { o.isolatedDoneWithheld = true; }, true, false, true},
    };
    for (const Case& c : cases) {
        board::ProductOptions options;
        c.knob(options.fpga);
        Product p(options);
        p.enableLink();
        p.isolationState1();
        p.start(2, kSize);
        p.send(niso);
        EXPECT_TRUE(p.done()) << c.name << ": port 2 is not affected";
        p.start(3, kSize);
        EXPECT_EQ(p.ready(), c.ready) << c.name;
        p.send(iso);
        EXPECT_EQ(p.done(), c.done) << c.name;
        EXPECT_EQ(p.blocks.fpgaPort.fpga(board::kIsolatedFpga).configured, c.configured) << c.name;
    }
}

// The non-isolated FPGA answers once it is configured, IO port 2's link is configured and the bus
// is routed to it; until then reads give all ones and writes are lost.
TEST(NonIsolatedFpga, AnswersOnlyOverAConfiguredLinkAndARoutedBus) {
    struct Case {
        const char* name;
        bool configured;
        uint32_t link;
        uint32_t routing;
        bool answers;
    };
    const Case cases[] = {
        {"all three", true, board::kLinkConfigured, board::kBusRoutedToNonIsolatedFpga, true},
        {"not configured", false, board::kLinkConfigured, board::kBusRoutedToNonIsolatedFpga, false},
        {"link still enabled", true, 0x3, board::kBusRoutedToNonIsolatedFpga, false},
        {"bus not routed", true, board::kLinkConfigured, 0x00200200, false},
    };
    for (const Case& c : cases) {
        Product p;
        if (c.configured) {
            p.enableLink();
            p.start(2, kSize);
            p.send(stowly::buildFpgaImage(0, kSignature, kSize));
        }
        p.blocks.bus.ioPort2().write(0, c.link);
        p.b.write(0, board::bar0::kBusRouting, 4, c.routing);
        p.b.write(0, board::bar0::kNonIsolatedFpga + 0x0C, 4, 0x55);
        EXPECT_EQ(p.nisoSignature(), c.answers ? kSignature : 0xFFFFFFFFu) << c.name;
        EXPECT_EQ(p.b.read(0, board::bar0::kNonIsolatedFpga + 0x0C, 4), c.answers ? 0x55u : 0xFFFFFFFFu) << c.name;
    }
}

TEST(NonIsolatedFpga, TheConfiguredAtStartKnobLeavesTheBoardAsBothDownloadsWould) {
    board::ProductOptions options;
    options.fpga.configuredAtStart = {{kSignature, kSignature + 1}};
    Product p(options);
    EXPECT_EQ(p.nisoSignature(), kSignature);
    EXPECT_TRUE(p.blocks.fpgaPort.fpga(board::kIsolatedFpga).configured);
    EXPECT_EQ(p.blocks.fpgaPort.fpga(board::kIsolatedFpga).signature, kSignature + 1);
    EXPECT_TRUE(p.blocks.fpgaPort.loads().empty());
}

}  // namespace
