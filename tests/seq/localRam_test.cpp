// The local-RAM controller and the level-10 object over a stand-in for the isolated FPGA's four
// local-RAM registers (scratch registers of a channel block) in front of a 65,536-word RAM.
#include <gtest/gtest.h>
#include <lz4.h>

#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "device/localRAMConfigure.h"
#include "dravikTools/statusCodes.h"
#include "kal/sim/faults.h"
#include "kal/sim/user.h"
#include "kzvorn_regMaps/TolvaneRegisterMap_TolvaneIsoChannelRegMap.h"
#include "stowlyImages.h"

namespace {

using kzvorn_regmaps::tTolvaneIsoChannelRegMap;
using nKZAPALS100::tStatus;
using tScratch = tTolvaneIsoChannelRegMap::tChScratchRegType;

constexpr uint32_t kBlock = 0x1000;
constexpr uint32_t kWriteAddress = 0x1D0;
constexpr uint32_t kReadAddress = 0x1D1;
constexpr uint32_t kHigh = 0x1D2;
constexpr uint32_t kLow = 0x1D3;

class FakeLocalRam final : public kzvoltixsharedsource::FrontEndAccessorInterface {
public:
    void write32(uint32_t address, uint32_t value, tStatus& status) override {
        if (status.isFatal()) return;
        ++writes;
        if (address - kBlock == failAt) return void(KZ_SET_CODE(status, -4680));
        words[address - kBlock] = value;
        if (address - kBlock == kWriteAddress) ram[value] = (uint64_t(words[kHigh]) << 32) | words[kLow];
        if (address - kBlock == kReadAddress) {
            words[kHigh] = uint32_t(ram[value] >> 32);
            words[kLow] = uint32_t(ram[value]);
        }
    }
    uint32_t read32(uint32_t address, tStatus& status) override {
        if (status.isFatal()) return 0xFFFFFFFF;
        ++reads;
        return words[address - kBlock];
    }

    std::map<uint32_t, uint32_t> words;
    std::map<uint32_t, uint64_t> ram;
    uint64_t writes = 0;
    uint64_t reads = 0;
    uint32_t failAt = ~0u;
};

// The isolated FPGA map's local-RAM registers as the controller finds them.
struct LocalRamMap {
    tTolvaneIsoChannelRegMap channel;
    explicit LocalRamMap(FakeLocalRam* ram) : channel(ram, kBlock, 0, 512) {}
    tScratch SeqLocalCommandHighReg() { return channel.at<tScratch>(kHigh); }
    tScratch SeqLocalCommandLowReg() { return channel.at<tScratch>(kLow); }
    tScratch SeqLocalRamWriteAddressReg() { return channel.at<tScratch>(kWriteAddress); }
    tScratch SeqLocalRamReadAddressReg() { return channel.at<tScratch>(kReadAddress); }
};

using Controller = draviktools::LocalRAMController<LocalRamMap>;
using Configure = kzvorn_driver::LocalRAMConfigureOver<LocalRamMap>;

kzhtl::Vector<uint64_t> wordsOf(std::vector<uint64_t> values) {
    kzhtl::Vector<uint64_t> v;
    tStatus status;
    v.assign(values.data(), values.size(), status);
    return v;
}

struct LocalRam : ::testing::Test {
    FakeLocalRam board;
    LocalRamMap map{&board};
    tStatus st;
};

TEST_F(LocalRam, WritesAndReadsWordsThroughTheFourRegisters) {
    Controller ram(map, st);
    ram.write(wordsOf({0x1111222233334444, 0x5555666677778888}), 10, st);
    EXPECT_EQ(board.ram[10], 0x1111222233334444u);
    EXPECT_EQ(board.ram[11], 0x5555666677778888u);
    EXPECT_EQ(board.writes, 6u);
    // The same words again: every register is written again.
    ram.write(wordsOf({0x1111222233334444, 0x5555666677778888}), 10, st);
    EXPECT_EQ(board.writes, 12u);

    kzhtl::Vector<uint64_t> back = wordsOf({0, 0, 0});
    ram.read(back, 10, st);
    EXPECT_EQ(back[0], 0x1111222233334444u);
    EXPECT_EQ(back[1], 0x5555666677778888u);
    EXPECT_EQ(back[2], 0u);
    kzhtl::Vector<uint64_t> none;
    board.reads = 0;
    ram.read(none, 0, st);
    EXPECT_EQ(board.reads, 0u);
    EXPECT_EQ(st.code, 0);
}

TEST_F(LocalRam, ARangePastTheLastWordTransfersNothing) {
    Controller ram(map, st);
    struct Case {
        size_t count;
        uint16_t start;
        int64_t code;
    };
    for (const Case& c : {Case{1, 0xFFFF, 0}, Case{2, 0xFFFF, nKZAPALS100::kStatusBadParameter},
                          Case{65536, 0, 0}, Case{65537, 0, nKZAPALS100::kStatusBadParameter}}) {
        kzhtl::Vector<uint64_t> words;
        tStatus status;
        words.resize(c.count, status);
        board.writes = 0;
        ram.write(words, c.start, status);
        EXPECT_EQ(status.code, c.code) << c.count << " at " << c.start;
        EXPECT_EQ(board.writes, c.code == 0 ? 3 * c.count : 0) << c.count << " at " << c.start;
    }
    // The range check holds on an incoming error and never replaces it.
    tStatus failed;
    KZ_SET_CODE(failed, -9);
    ram.write(wordsOf({1, 2}), 0xFFFF, failed);
    EXPECT_EQ(failed.code, -9);
}

TEST_F(LocalRam, AFailedRegisterWriteStopsTheTransfer) {
    Controller ram(map, st);
    board.failAt = kLow;
    ram.write(wordsOf({1, 2, 3}), 0, st);
    EXPECT_EQ(st.code, -4680);
    EXPECT_EQ(board.writes, 2u);
}

TEST_F(LocalRam, TheBuiltInPackageGoesToAddressZeroAndTheEndWordToTheLast) {
    Configure level(nullptr, {}, map, st);
    ASSERT_EQ(st.code, 0);
    EXPECT_EQ(board.writes, 3u * 8635);
    EXPECT_EQ(board.reads, 0u);
    EXPECT_EQ(board.ram.size(), 8635u);
    EXPECT_EQ(board.ram[0xFFFF], 0x1C0FFF0500000000u);
    std::vector<uint64_t> expected(8634);
    LZ4_decompress_safe(reinterpret_cast<const char*>(stowly_TolvaneSubroutineData_bin),
                        reinterpret_cast<char*>(expected.data()), int(stowly_TolvaneSubroutineData_bin_size), 69072);
    for (uint32_t a = 0; a < 8634; ++a) ASSERT_EQ(board.ram[a], expected[a]) << a;
    ASSERT_TRUE(level.getRegistrar());
    EXPECT_EQ(level.getRegistrar()->getNumSubroutines(st), 123u);
}

TEST_F(LocalRam, ACorruptBuiltInBlockWritesNothing) {
    std::vector<unsigned char> damaged(stowly_TolvaneSubroutineData_bin,
                                       stowly_TolvaneSubroutineData_bin + stowly_TolvaneSubroutineData_bin_size);
    damaged[0] = 0xFF;
    draviktools::StoredSubroutinePackage corrupt = draviktools::builtInSubroutinePackage();
    corrupt.block = damaged.data();
    const int64_t live = kal::sim::liveAllocations();
    {
        Configure level(nullptr, {}, map, st, corrupt);
        EXPECT_EQ(st.code, nKZAPALS100::kStatusBadParameter);
        EXPECT_FALSE(level.getRegistrar());
    }
    EXPECT_EQ(board.writes, 0u);
    EXPECT_EQ(kal::sim::liveAllocations(), live);
}

// A replacement package in the resetting caller's memory.
struct Replacement : LocalRam {
    std::vector<uint64_t> words;
    std::vector<uint32_t> ids;
    std::vector<uint32_t> addresses;
    kzvorn_driver::nKZAPAL000::tEventDescriptor request{nullptr};

    void package(size_t wordCount, std::vector<uint32_t> i, std::vector<uint32_t> a) {
        words.resize(wordCount);
        for (size_t w = 0; w < wordCount; ++w) words[w] = 0xA000000000000000 | w;
        ids = std::move(i);
        addresses = std::move(a);
    }
    kzvorn_driver::SubroutinePackageFields fields() const {
        return {reinterpret_cast<uint64_t>(words.data()), uint32_t(words.size()), reinterpret_cast<uint64_t>(ids.data()),
                reinterpret_cast<uint64_t>(addresses.data()), uint32_t(ids.size())};
    }
    // In place: a failing allocation is the level's own.
    std::optional<Configure> level;
    std::optional<Configure>& load(kzvorn_driver::SubroutinePackageFields f, tStatus& status) {
        kal::sim::UserMemory w(words.data(), words.size() * 8);
        kal::sim::UserMemory i(ids.data(), ids.size() * 4);
        kal::sim::UserMemory a(addresses.data(), addresses.size() * 4);
        level.reset();
        level.emplace(&request, f, map, status);
        return level;
    }
};

TEST_F(Replacement, FiveSubroutinesLoadAtZeroAndOnlyTheyAreRegistered) {
    package(40, {11, 22, 33, 44, 55}, {0, 8, 16, 24, 32});
    auto& level = load(fields(), st);
    ASSERT_EQ(st.code, 0);
    EXPECT_EQ(board.ram[39], 0xA000000000000027u);
    EXPECT_EQ(board.ram[0xFFFF], 0x1C0FFF0500000000u);
    kzhtl::Vector<uint32_t> ids;
    kzhtl::Vector<uint32_t> addresses;
    level->getRegistrar()->getSubroutines(ids, addresses, st);
    EXPECT_EQ(std::vector<uint32_t>(ids.begin(), ids.end()), (std::vector<uint32_t>{11, 22, 33, 44, 55}));
    tStatus missing;
    level->getRegistrar()->getStartAddress(draviktools::kSubroutineShutdown, missing);
    EXPECT_EQ(missing.code, draviktools::kStatusSubroutineNotFound);
}

TEST_F(Replacement, AFullLocalRamLoadsAndTheEndWordReplacesItsLastWord) {
    package(65536, {1}, {0xFFFF});
    load(fields(), st);
    EXPECT_EQ(st.code, 0);
    EXPECT_EQ(board.ram[0xFFFE], 0xA00000000000FFFEu);
    EXPECT_EQ(board.ram[0xFFFF], 0x1C0FFF0500000000u);
}

TEST_F(Replacement, BadFieldsAreRefusedBeforeAnyAllocationOfTheirSize) {
    package(8, {1, 2}, {0, 4});
    struct Case {
        const char* what;
        kzvorn_driver::SubroutinePackageFields fields;
        int64_t code;
    };
    auto f = fields();
    auto noIds = f;
    noIds.ids = 0;
    auto noCount = f;
    noCount.count = 0;
    auto tooManyWords = f;
    tooManyWords.wordCount = 65537;
    auto tooManyEntries = f;
    tooManyEntries.count = 65537;
    auto hugeWords = f;
    hugeWords.wordCount = 0xFFFFFFFF;
    auto outside = f;
    outside.words = 0x1000;
    for (const Case& c : {Case{"ids missing", noIds, draviktools::kStatusPackageFieldsIncomplete},
                          Case{"count missing", noCount, draviktools::kStatusPackageFieldsIncomplete},
                          Case{"65,537 words", tooManyWords, nKZAPALS100::kStatusBadParameter},
                          Case{"65,537 entries", tooManyEntries, nKZAPALS100::kStatusBadParameter},
                          Case{"2^32 - 1 words", hugeWords, nKZAPALS100::kStatusBadParameter},
                          Case{"words outside the caller's memory", outside, nKZAPALS100::kStatusBadParameter}}) {
        board.writes = 0;
        tStatus status;
        kal::sim::markLargestAllocation();
        const int64_t live = kal::sim::liveAllocations();
        auto& level = load(c.fields, status);
        EXPECT_EQ(status.code, c.code) << c.what;
        EXPECT_EQ(board.writes, 0u) << c.what;
        EXPECT_FALSE(level->getRegistrar()) << c.what;
        EXPECT_LT(kal::sim::largestAllocationSinceMark(), 4096u) << c.what;
        level.reset();
        EXPECT_EQ(kal::sim::liveAllocations(), live) << c.what;
    }
}

TEST_F(Replacement, AStartAddressOutsideLocalRamWritesNothing) {
    package(8, {1, 2}, {0, 0x10000});
    load(fields(), st);
    EXPECT_EQ(st.code, nKZAPALS100::kStatusBadParameter);
    EXPECT_EQ(board.writes, 0u);

    // Past the words but inside local RAM stays accepted.
    package(8, {1, 2}, {0, 0xFFF0});
    tStatus status;
    load(fields(), status);
    EXPECT_EQ(status.code, 0);
}

TEST_F(Replacement, EveryAllocationFailureGivesAClearStatusAndNoLeak) {
    package(8, {1, 2}, {0, 4});
    // The stand-ins allocate nothing while allocations fail.
    for (uint32_t a : {0u, 1u, 2u, 3u, 4u, 5u, 6u, 7u, 0xFFFFu}) board.ram[a] = 0;
    for (uint32_t r : {kWriteAddress, kReadAddress, kHigh, kLow}) board.words[r] = 0;
    kal::sim::UserMemory w(words.data(), words.size() * 8);
    kal::sim::UserMemory i(ids.data(), ids.size() * 4);
    kal::sim::UserMemory a(addresses.data(), addresses.size() * 4);
    for (uint64_t nth = 1;; ++nth) {
        const int64_t live = kal::sim::liveAllocations();
        bool failed = false;
        {
            tStatus status;
            {
                kal::sim::FailAllocations fail(nth);
                level.emplace(&request, fields(), map, status);
                failed = fail.triggered();
            }
            EXPECT_EQ(status.code, failed ? nKZAPALS100::kStatusMemoryFull : 0) << nth;
            // The registrar stays when only the end word's vector could not be made.
            if (!failed) {
                EXPECT_TRUE(level->getRegistrar());
            }
            level.reset();
        }
        EXPECT_EQ(kal::sim::liveAllocations(), live) << nth;
        if (!failed) break;
    }
    kal::sim::FailKernelCall fail("createMutex");
    tStatus status;
    load(fields(), status);
    EXPECT_EQ(status.code, nKZAPALS100::kStatusMemoryFull);
}

}  // namespace
