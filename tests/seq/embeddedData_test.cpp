#include <gtest/gtest.h>
#include <lz4.h>

#include <algorithm>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

#include "board/fpgaImage.h"
#include "board/subroutineTag.h"
#include "dravikTools/sequencerInstruction.h"
#include "dravikTools/systemSubroutineIds.h"
#include "fpga/firmware/fpgaSignatures.h"
#include "stowlyImages.h"
#include "tools/stowly/stowlyData.h"

namespace {

// The decompressed sizes are compile-time constants: downloaders take them as template arguments.
static_assert(std::integral_constant<uint64_t, stowly_TolvaneNisoFpga_bin_original_size>::value == 2192012);
static_assert(std::integral_constant<uint64_t, stowly_TolvaneIsoFpga_bin_original_size>::value == 6692572);
static_assert(std::integral_constant<uint64_t, stowly_TolvaneSubroutineData_bin_original_size>::value == 69072);
static_assert(stowly_TolvaneSubroutineData_count == 123);

struct Embedded {
    const char* name;
    const unsigned char* block;
    uint64_t size;
    uint64_t originalSize;
};
const Embedded kEmbedded[] = {
    {"niso", stowly_TolvaneNisoFpga_bin, stowly_TolvaneNisoFpga_bin_size, stowly_TolvaneNisoFpga_bin_original_size},
    {"iso", stowly_TolvaneIsoFpga_bin, stowly_TolvaneIsoFpga_bin_size, stowly_TolvaneIsoFpga_bin_original_size},
    {"package", stowly_TolvaneSubroutineData_bin, stowly_TolvaneSubroutineData_bin_size,
     stowly_TolvaneSubroutineData_bin_original_size},
};

// With room to spare the decoder must still stop at exactly the original size.
std::vector<uint8_t> decompress(const Embedded& e) {
    std::vector<uint8_t> out(e.originalSize + 64);
    const int n = LZ4_decompress_safe(reinterpret_cast<const char*>(e.block), reinterpret_cast<char*>(out.data()),
                                      static_cast<int>(e.size), static_cast<int>(out.size()));
    EXPECT_EQ(n, static_cast<int>(e.originalSize)) << e.name;
    out.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return out;
}

std::vector<uint64_t> wordsOf(const std::vector<uint8_t>& bytes) {
    std::vector<uint64_t> words(bytes.size() / 8);
    for (size_t i = 0; i < words.size(); ++i) {
        for (int b = 7; b >= 0; --b) words[i] = (words[i] << 8) | bytes[8 * i + b];
    }
    return words;
}

// What the system requires of any package's tables and words.
void expectValidPackage(const stowly::SubroutinePackageData& p, size_t wordCount) {
    ASSERT_EQ(p.words.size(), wordCount);
    ASSERT_EQ(p.ids.size(), p.startAddresses.size());
    EXPECT_EQ(std::set<uint32_t>(p.ids.begin(), p.ids.end()).size(), p.ids.size()) << "ids are distinct";
    EXPECT_TRUE(std::is_sorted(p.startAddresses.begin(), p.startAddresses.end()));
    EXPECT_EQ(std::adjacent_find(p.startAddresses.begin(), p.startAddresses.end()), p.startAddresses.end());
    std::vector<bool> isStart(wordCount, false);
    for (size_t i = 0; i < p.ids.size(); ++i) {
        ASSERT_LT(p.startAddresses[i], wordCount);
        isStart[p.startAddresses[i]] = true;
        EXPECT_EQ(board::subroutineTagId(p.words[p.startAddresses[i]]), p.ids[i]) << "entry " << i;
    }
    for (size_t a = 0; a < wordCount; ++a) {
        EXPECT_NE(draviktools::sequencerFormOf(p.words[a]), 0u) << "word " << a;
        if (!isStart[a]) {
            EXPECT_FALSE(board::isSubroutineTag(p.words[a])) << "word " << a;
        }
    }
}

}  // namespace

TEST(EmbeddedData, EveryBlockDecompressesToExactlyItsOriginalSize) {
    for (const Embedded& e : kEmbedded) {
        std::vector<uint8_t> exact(e.originalSize);
        EXPECT_EQ(LZ4_decompress_safe(reinterpret_cast<const char*>(e.block), reinterpret_cast<char*>(exact.data()),
                                      static_cast<int>(e.size), static_cast<int>(exact.size())),
                  static_cast<int>(e.originalSize))
            << e.name;
        decompress(e);
    }
}

// The library rebuilds the embedded arrays byte for byte: generation is deterministic, and tests
// that build replacements start from exactly what the driver carries.
TEST(EmbeddedData, FpgaImagesAreValidForTheirFpgaAndReproducible) {
    const uint32_t signatures[] = {kzvorn_driver::kNisoFpgaSignature, kzvorn_driver::kIsoFpgaSignature};
    for (uint16_t target = 0; target < 2; ++target) {
        SCOPED_TRACE(kEmbedded[target].name);
        const std::vector<uint8_t> image = decompress(kEmbedded[target]);
        const board::FpgaImageCheck check = board::checkFpgaImage(image.data(), image.size(), target);
        EXPECT_EQ(check.fault, board::FpgaImageFault::kNone) << board::toText(check.fault);
        EXPECT_EQ(check.signature, signatures[target]);
        EXPECT_EQ(board::checkFpgaImage(image.data(), image.size(), 1 - target).fault,
                  board::FpgaImageFault::kWrongTarget);

        const std::vector<uint8_t> rebuilt = stowly::builtInFpgaImage(target);
        EXPECT_TRUE(rebuilt == image);
        const Embedded& e = kEmbedded[target];
        EXPECT_TRUE(stowly::compressBlock(rebuilt) == std::vector<uint8_t>(e.block, e.block + e.size));
    }
}

TEST(EmbeddedData, BuiltInPackageHoldsTheSystemsSubroutines) {
    const std::vector<uint64_t> words = wordsOf(decompress(kEmbedded[2]));
    stowly::SubroutinePackageData embedded;
    embedded.words = words;
    embedded.ids.assign(stowly_TolvaneSubroutineData_ids, stowly_TolvaneSubroutineData_ids + 123);
    embedded.startAddresses.assign(stowly_TolvaneSubroutineData_startAddresses,
                                   stowly_TolvaneSubroutineData_startAddresses + 123);
    expectValidPackage(embedded, 8634);
    EXPECT_EQ(embedded.startAddresses.front(), 0u);
    EXPECT_LE(embedded.startAddresses.back(), 8619u);
    for (uint32_t id : draviktools::kSystemSubroutineIds) {
        EXPECT_NE(std::find(embedded.ids.begin(), embedded.ids.end(), id), embedded.ids.end()) << std::hex << id;
    }

    const stowly::SubroutinePackageData rebuilt = stowly::builtInSubroutinePackage();
    EXPECT_TRUE(rebuilt.words == embedded.words);
    EXPECT_TRUE(rebuilt.ids == embedded.ids);
    EXPECT_TRUE(rebuilt.startAddresses == embedded.startAddresses);
    const Embedded& e = kEmbedded[2];
    EXPECT_TRUE(stowly::compressBlock(rebuilt.bytes()) == std::vector<uint8_t>(e.block, e.block + e.size));
}

TEST(EmbeddedData, ReplacementPackages) {
    // Without the level-22 subroutine: everything else stays valid.
    std::vector<uint32_t> ids = stowly::builtInSubroutineIds();
    std::replace(ids.begin(), ids.end(), draviktools::kSubroutineLevel22, 0x0BADF00Du);
    const stowly::SubroutinePackageData missing = stowly::buildSubroutinePackage(ids, 8634);
    expectValidPackage(missing, 8634);
    EXPECT_EQ(std::find(missing.ids.begin(), missing.ids.end(), draviktools::kSubroutineLevel22), missing.ids.end());

    // A package filling the whole local RAM.
    expectValidPackage(stowly::buildSubroutinePackage(stowly::builtInSubroutineIds(), 65536), 65536);

    // As many subroutines as words: each is its tag alone.
    const stowly::SubroutinePackageData tiny = stowly::buildSubroutinePackage({7, 8, 9}, 3);
    expectValidPackage(tiny, 3);
    EXPECT_EQ(tiny.startAddresses, (std::vector<uint32_t>{0, 1, 2}));
    EXPECT_THROW(stowly::buildSubroutinePackage({7, 8, 9}, 2), std::invalid_argument);
}

TEST(EmbeddedData, TagWordsAreInstructionsOfForm22) {
    EXPECT_EQ(draviktools::sequencerFormOf(board::kSubroutineTagPattern), 22u);
    for (uint32_t id : {0u, 0x3CB407F3u, 0xFFFFFFFFu}) {
        const uint64_t tag =
            draviktools::SequencerInstruction22().setBits32_47(board::kSubroutineTagMarker).setOperand(id).word();
        EXPECT_EQ(board::subroutineTagId(tag), id);
    }
    // Any other bit above the id makes it an ordinary instruction.
    for (int bit = 32; bit < 64; ++bit) {
        EXPECT_FALSE(board::isSubroutineTag(board::kSubroutineTagPattern ^ (uint64_t{1} << bit))) << bit;
    }
}
