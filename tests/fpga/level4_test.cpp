// Setup level 4 through the reset request: the non-isolated FPGA loaded with the built-in image or
// the caller's replacement, what reached the board, and every way the load can fail.
#include <algorithm>
#include <functional>

#include "board/crc32.h"
#include "fpga/firmware/fpgaSignatures.h"
#include "fpga/fixture.h"
#include "kal/sim/clock.h"
#include "kal/sim/faults.h"

using namespace fpgatest;

namespace {

constexpr int32_t kSizeMismatch = deviceCode(0xBFFA806B);
constexpr int32_t kLoadTimeout = deviceCode(0xBFFA807F);
constexpr int32_t kLinkTimeout = deviceCode(0xBFFA807A);
constexpr int32_t kHandshakeTimeout = deviceCode(0xBFFA807D);

constexpr uint64_t kWords = kImageSize / 8;
constexpr uint64_t kTailBytes = kImageSize % 8;
constexpr uint64_t kTransfers = kWords + kTailBytes;

uint32_t nisoSignatureRead(board::Board& board) {
    return static_cast<uint32_t>(board.read(0, board::bar0::kNonIsolatedFpga, 4));
}

}  // namespace

TEST_F(Level4, TheBuiltInImageGoesOutAsWordsAndTailBytesBetweenTheLinkSteps) {
    add();
    EXPECT_EQ(nisoSignatureRead(*board_), 0xFFFFFFFFu) << "nothing loaded yet";
    EXPECT_EQ(reset(4), kStoppedAtTarget);
    EXPECT_EQ(level(), 4u);
    EXPECT_FALSE(helper()->hasCustomNisoImage());

    const std::vector<uint8_t> image = stowly::builtInFpgaImage(0);
    ASSERT_EQ(image.size(), kImageSize);
    EXPECT_EQ(kWords, 274001u);
    EXPECT_EQ(kTailBytes, 4u);
    const Port::Load load = lastLoad();
    EXPECT_EQ(load.port, 2u);
    EXPECT_EQ(load.size, kImageSize);
    EXPECT_EQ(load.stores64, kWords);
    EXPECT_EQ(load.byteWrites, kTailBytes);
    EXPECT_EQ(load.received, kImageSize);
    EXPECT_EQ(load.crc, board::crc32(image.data(), image.size()));
    EXPECT_EQ(load.verdict, Port::Verdict::kConfigured);
    // One status read after every 30th transfer while streaming, and polls before and after.
    std::vector<uint64_t> streaming;
    for (uint64_t after : load.statusReadsAfter)
        if (after > 0 && after < kTransfers) streaming.push_back(after);
    EXPECT_EQ(streaming.size(), 9133u);
    EXPECT_TRUE(std::all_of(streaming.begin(), streaming.end(), [](uint64_t n) { return n % 30 == 0; }));
    EXPECT_EQ(load.statusReadsAfter.front(), 0u) << "the readiness poll";
    EXPECT_EQ(load.statusReadsAfter.back(), kTransfers) << "the completion poll";

    EXPECT_EQ(downloadTrace(board_->log()), (std::vector<std::string>{
                                                "port 0x00 := 0x1",  // the link enabled
                                                "port read 0x00",
                                                "0x510 := 0x200",
                                                "0x458 := 0x21728C",  // 2,192,012
                                                "0x440 := 0x1",
                                                "read 0x448",  // ready, the 9,133 reads, done
                                                "port 0x0C := 0x2",
                                                "port 0x08 := 0x3010070",
                                                "port 0x00 := 0x2",  // the link configured
                                                "port read 0x00",
                                                "0x680 := 0x100200",
                                            }));
    EXPECT_EQ(port().fpga(board::kNonIsolatedFpga).signature, kNisoFpgaSignature);
    EXPECT_TRUE(port().fpga(board::kNonIsolatedFpga).configured);
    EXPECT_EQ(nisoSignatureRead(*board_), kNisoFpgaSignature) << "the FPGA answers over the configured link";
}

TEST_F(Level4, AReplacementImageLoadsInPlaceOfTheBuiltInOne) {
    add();
    CallerImage replacement(stowly::buildFpgaImage(0, kTargetSignature, kImageSize));
    EXPECT_EQ(reset(4, nisoRecord(replacement.address(), kImageSize)), kStoppedAtTarget);
    EXPECT_EQ(level(), 4u);
    EXPECT_TRUE(helper()->hasCustomNisoImage());
    EXPECT_EQ(lastLoad().crc, board::crc32(replacement.bytes.data(), kImageSize));
    EXPECT_EQ(port().fpga(board::kNonIsolatedFpga).signature, kTargetSignature);
    EXPECT_EQ(nisoSignatureRead(*board_), kTargetSignature);
}

// A record names a replacement only with both its address and its size.
TEST_F(Level4, HalfAReplacementLoadsTheBuiltInImage) {
    add();
    CallerImage replacement(stowly::buildFpgaImage(0, kTargetSignature, kImageSize));
    for (const CustomResetParameters& record :
         {nisoRecord(0, kImageSize), nisoRecord(replacement.address(), 0)}) {
        EXPECT_EQ(reset(4, record), kStoppedAtTarget);
        EXPECT_FALSE(helper()->hasCustomNisoImage());
        EXPECT_EQ(port().fpga(board::kNonIsolatedFpga).signature, kNisoFpgaSignature);
    }
    EXPECT_EQ(port().loads().size(), 2u);
}

// A replacement of the wrong size is refused before it is allocated or copied; one the caller's
// memory does not hold fails the copy. Either way nothing is sent: the bring-up stays at level 3
// without a single access of the load registers, IO port 2 or the bus routing.
TEST_F(Level4, RefusedReplacementsTouchNothing) {
    add();
    CallerImage exact(stowly::buildFpgaImage(0, kTargetSignature, kImageSize));
    CallerImage shorter(stowly::buildFpgaImage(0, kTargetSignature, kImageSize - 1));
    CallerImage longer(stowly::buildFpgaImage(0, kTargetSignature, kImageSize + 1));
    const std::vector<uint8_t> notTheCallers(kImageSize);
    struct Case {
        const char* name;
        CustomResetParameters record;
        int32_t status;
        bool allocated;
    };
    const Case cases[] = {
        {"one byte short", nisoRecord(shorter.address(), kImageSize - 1), kSizeMismatch, false},
        {"one byte long", nisoRecord(longer.address(), kImageSize + 1), kSizeMismatch, false},
        {"a terabyte", nisoRecord(exact.address(), uint64_t{1} << 40), kSizeMismatch, false},
        {"not the caller's memory", nisoRecord(reinterpret_cast<uint64_t>(notTheCallers.data()), kImageSize), -52005,
         true},
    };
    for (const Case& c : cases) {
        board_->log().clear();
        kal::sim::markLargestAllocation();
        const int64_t before = kal::sim::liveAllocations();
        EXPECT_EQ(reset(4, c.record), c.status) << c.name;
        EXPECT_EQ(tracker().reached, 3) << c.name;
        EXPECT_TRUE(helper()->hasCustomNisoImage()) << c.name;
        EXPECT_EQ(downloadTrace(board_->log()), std::vector<std::string>{}) << c.name;
        EXPECT_EQ(kal::sim::largestAllocationSinceMark() >= kImageSize, c.allocated) << c.name;
        EXPECT_EQ(kal::sim::liveAllocations(), before) << c.name;
    }
    EXPECT_TRUE(port().loads().empty());
}

// The board's side: an image it refuses, or a port or link that never gets where the load needs
// it. Each stops the bring-up at level 3 with the load's status.
struct BoardFailure {
    const char* name;
    std::function<void(board::ProductOptions&)> knob;
    std::function<void(board::ProductBlocks&)> blockKnob;
    std::function<std::vector<uint8_t>()> image;  // a replacement, or none
    int32_t status;
    // What the load left: bytes received (all or none), the FPGA configured, IO port 2 configured.
    bool dataSent;
    bool fpgaConfigured;
    bool linkConfigured;
};

class Level4BoardFailure : public Level4, public ::testing::WithParamInterface<BoardFailure> {};

TEST_P(Level4BoardFailure, StopsAtLevel3WithTheLoadsStatus) {
    const BoardFailure& f = GetParam();
    board::ProductOptions options;
    if (f.knob) f.knob(options);
    add(options);
    if (f.blockKnob) f.blockKnob(*blocks_);
    std::optional<CallerImage> replacement;
    CustomResetParameters record{};
    if (f.image) {
        replacement.emplace(f.image());
        record = nisoRecord(replacement->address(), kImageSize);
    }
    const uint64_t start = kal::sim::clock().nowUs();
    EXPECT_EQ(reset(4, record), f.status);
    EXPECT_EQ(tracker().reached, 3);
    EXPECT_EQ(port().fpga(board::kNonIsolatedFpga).configured, f.fpgaConfigured);
    EXPECT_EQ(nisoSignatureRead(*board_), 0xFFFFFFFFu) << "no FPGA answers";

    const std::vector<std::string> trace = downloadTrace(board_->log());
    auto has = [&](const std::string& entry) { return std::find(trace.begin(), trace.end(), entry) != trace.end(); };
    EXPECT_FALSE(has("0x680 := 0x100200"));
    EXPECT_EQ(has("port 0x08 := 0x3010070"), f.linkConfigured);
    const std::vector<Port::Load> loads = port().loads();
    EXPECT_EQ(!loads.empty() && loads.back().received == kImageSize, f.dataSent);
    if (f.status == kLoadTimeout) {
        EXPECT_GE(kal::sim::clock().nowUs() - start, 500000u) << "the poll's time-out";
    }
    if (!f.dataSent && f.status != kLoadTimeout) {
        EXPECT_TRUE(loads.empty()) << "no load started";
        EXPECT_FALSE(has("0x510 := 0x200") || has("0x458 := 0x21728C") || has("0x440 := 0x1"));
    }
}

namespace {

std::vector<uint8_t> badCrcImage() {
    std::vector<uint8_t> image = stowly::buildFpgaImage(0, kTargetSignature, kImageSize);
    image[kImageSize / 2] ^= 0x01;
    return image;
}

const BoardFailure kBoardFailures[] = {
    {"BadCrc", nullptr, nullptr, badCrcImage, kLoadTimeout, true, false, false},
    {"ImageForTheIsolatedFpga", nullptr, nullptr,
     [] { return stowly::buildFpgaImage(1, kTargetSignature, kImageSize); }, kLoadTimeout, true, false, false},
    {"NeverReady", [](board::ProductOptions& o) { o.fpga.neverReady = true; }, nullptr, nullptr, kLoadTimeout, false,
     false, false},
    {"NeverDone", [](board::ProductOptions& o) { o.fpga.neverDone = true; }, nullptr, nullptr, kLoadTimeout, true,
     false, false},
    {"LinkNeverEnables", nullptr, [](board::ProductBlocks& b) { b.bus.forceIOPort2StatusBit7(true); }, nullptr,
     kLinkTimeout, false, false, false},
    {"LinkNeverConfigures", nullptr, [](board::ProductBlocks& b) { b.bus.forceIOPort2StatusBit7(false); }, nullptr,
     kLinkTimeout, true, true, true},
    {"HandshakeNeverReady", nullptr, [](board::ProductBlocks& b) { b.bus.setNeverReady(true); }, nullptr,
     kHandshakeTimeout, false, false, false},
};

}  // namespace

INSTANTIATE_TEST_SUITE_P(Knobs, Level4BoardFailure, ::testing::ValuesIn(kBoardFailures),
                         [](const ::testing::TestParamInfo<BoardFailure>& info) { return std::string(info.param.name); });

namespace {

// Fails the nth allocation from the start of level 4 on.
struct FailInLevel4 : BringUpObserver {
    uint64_t nth = 0;
    std::optional<kal::sim::FailAllocations> fail;
    void onBringUpStep(BringUpStep step) override {
        if (step == kStepNisoFirmware) fail.emplace(nth);
    }
};

}  // namespace

// Memory runs out at each of level 4's own allocations in turn (the image object, its bytes, the
// shared pointer's block), for either image: the level fails with -52000 before any load
// register is written, and nothing is left behind.
TEST_F(Level4, AllocationFailuresInTheLevelLeaveNothingBehind) {
    add();
    FailInLevel4 observer;
    plan_.observer = &observer;
    CallerImage replacement(stowly::buildFpgaImage(0, kTargetSignature, kImageSize));
    const CustomResetParameters builtIn{};
    const CustomResetParameters custom = nisoRecord(replacement.address(), kImageSize);
    for (const CustomResetParameters* record : {&builtIn, &custom}) {
        for (uint64_t nth = 1; nth <= 3; ++nth) {
            board_->log().clear();
            observer.nth = nth;
            const int64_t before = kal::sim::liveAllocations();
            EXPECT_EQ(reset(4, record), -52000) << nth;
            ASSERT_TRUE(observer.fail.has_value() && observer.fail->triggered()) << nth;
            observer.fail.reset();
            EXPECT_EQ(tracker().reached, 3) << nth;
            EXPECT_EQ(downloadTrace(board_->log()), std::vector<std::string>{}) << nth;
            EXPECT_EQ(kal::sim::liveAllocations(), before) << nth;
        }
    }
    // A fourth allocation the level does not make: the load goes through.
    observer.nth = 4;
    EXPECT_EQ(reset(4), kStoppedAtTarget);
    EXPECT_FALSE(observer.fail->triggered());
    observer.fail.reset();
    plan_.observer = nullptr;
}
