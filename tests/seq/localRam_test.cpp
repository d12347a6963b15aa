// The local-RAM controller and the level-10 object over the isolated FPGA map, with the board's
// local RAM behind it.
#include <gtest/gtest.h>
#include <lz4.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

#include "board/subroutineTag.h"
#include "device/localRAMConfigure.h"
#include "dravikTools/statusCodes.h"
#include "kal/sim/faults.h"
#include "kal/sim/user.h"
#include "seq/modelFrontEnd.h"
#include "stowlyImages.h"

namespace {

using kzvorn_regmaps::tTolvaneIsoFpgaRegMap;
using nKZAPALS100::tStatus;

constexpr uint32_t kLow = 0x53;

using Controller = draviktools::LocalRAMController<tTolvaneIsoFpgaRegMap>;
using Configure = kzvorn_driver::LocalRAMConfigure;

kzhtl::Vector<uint64_t> wordsOf(std::vector<uint64_t> values) {
    kzhtl::Vector<uint64_t> v;
    tStatus status;
    v.assign(values.data(), values.size(), status);
    return v;
}

struct LocalRam : ::testing::Test {
    seqtest::ModelFrontEnd board;
    tStatus st;
    tTolvaneIsoFpgaRegMap map{&board, st};
    const board::ZeroedHostVector<uint64_t>& ram() const { return board.model.localRam(); }
};

TEST_F(LocalRam, WritesAndReadsWordsThroughTheFourRegisters) {
    Controller controller(map, st);
    controller.write(wordsOf({0x1111222233334444, 0x5555666677778888}), 10, st);
    EXPECT_EQ(ram()[10], 0x1111222233334444u);
    EXPECT_EQ(ram()[11], 0x5555666677778888u);
    EXPECT_EQ(board.writes(), 6u);
    // The same words again: every register is written again.
    controller.write(wordsOf({0x1111222233334444, 0x5555666677778888}), 10, st);
    EXPECT_EQ(board.writes(), 12u);

    kzhtl::Vector<uint64_t> back = wordsOf({0, 0, 0});
    controller.read(back, 10, st);
    EXPECT_EQ(back[0], 0x1111222233334444u);
    EXPECT_EQ(back[1], 0x5555666677778888u);
    EXPECT_EQ(back[2], 0u);
    kzhtl::Vector<uint64_t> none;
    board.clear();
    controller.read(none, 0, st);
    EXPECT_EQ(board.reads(), 0u);
    EXPECT_EQ(st.code, 0);
}

TEST_F(LocalRam, ARangePastTheLastWordTransfersNothing) {
    Controller controller(map, st);
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
        board.clear();
        controller.write(words, c.start, status);
        EXPECT_EQ(status.code, c.code) << c.count << " at " << c.start;
        EXPECT_EQ(board.writes(), c.code == 0 ? 3 * c.count : 0) << c.count << " at " << c.start;
    }
    // The range check holds on an incoming error and never replaces it.
    tStatus failed;
    KZ_SET_CODE(failed, -9);
    controller.write(wordsOf({1, 2}), 0xFFFF, failed);
    EXPECT_EQ(failed.code, -9);
}

TEST_F(LocalRam, AFailedRegisterWriteStopsTheTransfer) {
    Controller controller(map, st);
    board.failing[kLow] = -4680;
    controller.write(wordsOf({1, 2, 3}), 0, st);
    EXPECT_EQ(st.code, -4680);
    EXPECT_EQ(board.writes(), 2u);
}

TEST_F(LocalRam, TheBuiltInPackageCostsThreeWritesAWordAndNoRead) {
    kzvorn_driver::LocalRAMConfigure level(nullptr, {}, map, st);
    ASSERT_EQ(st.code, 0);

    std::vector<uint64_t> package(8634);
    LZ4_decompress_safe(reinterpret_cast<const char*>(stowly_TolvaneSubroutineData_bin),
                        reinterpret_cast<char*>(package.data()), int(stowly_TolvaneSubroutineData_bin_size), 69072);
    EXPECT_TRUE(std::equal(package.begin(), package.end(), ram().begin()));
    EXPECT_TRUE(std::all_of(ram().begin() + 8634, ram().end() - 1, [](uint64_t w) { return w == 0; }));
    EXPECT_EQ(ram()[0xFFFF], 0x1C0FFF0500000000u);

    ASSERT_EQ(board.log.size(), 25905u);
    for (size_t i = 0; i < board.log.size(); ++i) {
        const uint32_t expected[] = {0x52, 0x53, 0x50};
        ASSERT_TRUE(board.log[i].write) << i;
        ASSERT_EQ(board.log[i].address, expected[i % 3]) << i;
    }
    EXPECT_EQ(board.log.back(), armtest::W(0x50, 32, 0xFFFF));
    EXPECT_EQ(map.SeqLocalRamWriteAddressReg().getShadow(), 0u) << "the address shadows start over after each word";

    ASSERT_TRUE(level.getRegistrar());
    EXPECT_EQ(level.getRegistrar()->getNumSubroutines(st), 123u);
    for (draviktools::SubroutineId id : draviktools::kSystemSubroutineIds) {
        const uint32_t address = level.getRegistrar()->getStartAddress(id, st);
        EXPECT_EQ(board::subroutineTagId(ram()[address]), id);
    }
    EXPECT_EQ(st.code, 0);
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
    EXPECT_EQ(board.writes(), 0u);
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
    EXPECT_EQ(ram()[39], 0xA000000000000027u);
    EXPECT_EQ(ram()[0xFFFF], 0x1C0FFF0500000000u);
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
    EXPECT_EQ(ram()[0xFFFE], 0xA00000000000FFFEu);
    EXPECT_EQ(ram()[0xFFFF], 0x1C0FFF0500000000u);
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
        board.clear();
        tStatus status;
        kal::sim::markLargestAllocation();
        const int64_t live = kal::sim::liveAllocations();
        auto& level = load(c.fields, status);
        EXPECT_EQ(status.code, c.code) << c.what;
        EXPECT_EQ(board.writes(), 0u) << c.what;
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
    EXPECT_EQ(board.writes(), 0u);

    // Past the words but inside local RAM stays accepted.
    package(8, {1, 2}, {0, 0xFFF0});
    tStatus status;
    load(fields(), status);
    EXPECT_EQ(status.code, 0);
}

TEST_F(Replacement, EveryAllocationFailureGivesAClearStatusAndNoLeak) {
    package(8, {1, 2}, {0, 4});
    // The stand-ins allocate nothing while allocations fail.
    for (uint32_t r : {0x50u, 0x51u, 0x52u, 0x53u}) board.words[r] = 0;
    board.log.reserve(1000);
    board.atNs.reserve(1000);
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
