// The subroutine package, its built-in form and the registrar that answers where a subroutine
// starts.
#include <gtest/gtest.h>
#include <lz4.h>

#include <memory>
#include <vector>

#include "dravikTools/statusCodes.h"
#include "dravikTools/subroutinePackage.h"
#include "dravikTools/subroutineRegistrar.h"
#include "kal/sim/faults.h"
#include "stowlyImages.h"

namespace {

using draviktools::SubroutineId;
using draviktools::SubroutinePackage;
using draviktools::SubroutinePackageFactory;
using draviktools::SubroutineRegistrar;
using draviktools::SubroutineRegistrarFactory;
using nKZAPALS100::tStatus;

constexpr int32_t kNotFound = static_cast<int32_t>(draviktools::kStatusSubroutineNotFound);

std::vector<uint64_t> vectorOf(const kzhtl::Vector<uint64_t>& v) { return {v.begin(), v.end()}; }
std::vector<uint32_t> vectorOf(const kzhtl::Vector<uint32_t>& v) { return {v.begin(), v.end()}; }

struct Package {
    std::vector<uint64_t> words;
    std::vector<SubroutineId> ids;
    std::vector<uint32_t> addresses;

    std::unique_ptr<SubroutinePackage> make(tStatus& status) const {
        SubroutinePackageFactory factory;
        return std::unique_ptr<SubroutinePackage>(
            factory.create(words.data(), words.size(), ids.data(), addresses.data(), ids.size(), status));
    }
};

std::unique_ptr<SubroutineRegistrar> registrarOf(const Package& p) {
    tStatus status;
    auto package = p.make(status);
    SubroutineRegistrarFactory factory;
    std::unique_ptr<SubroutineRegistrar> registrar(factory.create(*package, kNotFound, status));
    EXPECT_EQ(status.code, 0);
    return registrar;
}

TEST(SubroutinePackage, HoldsCopiesOfTheThreeArraysInOrder) {
    Package p{{0x1111, 0x2222, 0x3333}, {7, 9}, {0, 2}};
    tStatus status;
    auto package = p.make(status);
    ASSERT_EQ(status.code, 0);
    p.words[0] = 0;
    EXPECT_EQ(vectorOf(package->getInstructions()), (std::vector<uint64_t>{0x1111, 0x2222, 0x3333}));
    EXPECT_EQ(vectorOf(package->getSubroutineIds()), (std::vector<uint32_t>{7, 9}));
    EXPECT_EQ(vectorOf(package->getStartAddresses()), (std::vector<uint32_t>{0, 2}));
}

TEST(SubroutineRegistrar, LooksUpTheFirstEntryOfAnId) {
    const auto registrar = registrarOf(Package{{0}, {5, 0x3CB407F3, 5, 8}, {10, 20, 30, 40}});
    struct Case {
        SubroutineId id;
        uint32_t address;
        int64_t code;
    };
    for (const Case& c : {Case{5, 10, 0}, Case{0x3CB407F3, 20, 0}, Case{8, 40, 0}, Case{6, 0, kNotFound}}) {
        tStatus status;
        EXPECT_EQ(registrar->getStartAddress(c.id, status), c.address) << c.id;
        EXPECT_EQ(status.code, c.code) << c.id;
    }
    tStatus status;
    EXPECT_EQ(registrar->getNumSubroutines(status), 4u);

    const auto empty = registrarOf(Package{{}, {}, {}});
    EXPECT_EQ(empty->getStartAddress(5, status), 0u);
    EXPECT_EQ(status.code, kNotFound);
}

TEST(SubroutineRegistrar, AnErrorOnEntryAnswersZeroAndStays) {
    const auto registrar = registrarOf(Package{{0}, {5}, {10}});
    tStatus status;
    KZ_SET_CODE(status, -7);
    EXPECT_EQ(registrar->getStartAddress(5, status), 0u);
    EXPECT_EQ(registrar->getNumSubroutines(status), 0u);
    kzhtl::Vector<uint32_t> ids;
    kzhtl::Vector<uint32_t> addresses;
    registrar->getSubroutines(ids, addresses, status);
    EXPECT_TRUE(ids.empty());
    EXPECT_EQ(status.code, -7);
}

TEST(SubroutineRegistrar, GetSubroutinesReplacesTheCallersVectors) {
    const auto registrar = registrarOf(Package{{0}, {1, 2, 3}, {4, 5, 6}});
    tStatus status;
    kzhtl::Vector<uint32_t> ids;
    kzhtl::Vector<uint32_t> addresses;
    const uint32_t old[] = {9, 9, 9, 9, 9};
    ids.assign(old, 5, status);
    addresses.assign(old, 1, status);
    registrar->getSubroutines(ids, addresses, status);
    EXPECT_EQ(status.code, 0);
    EXPECT_EQ(vectorOf(ids), (std::vector<uint32_t>{1, 2, 3}));
    EXPECT_EQ(vectorOf(addresses), (std::vector<uint32_t>{4, 5, 6}));
}

// The registrar keeps no reference to the package.
TEST(SubroutineRegistrar, OutlivesItsPackage) {
    tStatus status;
    auto package = Package{{0}, {1}, {4}}.make(status);
    std::unique_ptr<SubroutineRegistrar> registrar(SubroutineRegistrarFactory().create(*package, kNotFound, status));
    package.reset();
    EXPECT_EQ(registrar->getStartAddress(1, status), 4u);
}

TEST(SubroutineRegistrar, EveryAllocationFailureGivesAClearStatusAndNoLeak) {
    const Package p{{1, 2, 3}, {7, 8}, {0, 1}};
    for (uint64_t nth = 1;; ++nth) {
        const int64_t live = kal::sim::liveAllocations();
        bool failed = false;
        {
            kal::sim::FailAllocations fail(nth);
            tStatus status;
            auto package = p.make(status);
            std::unique_ptr<SubroutineRegistrar> registrar;
            if (package) registrar.reset(SubroutineRegistrarFactory().create(*package, kNotFound, status));
            kzhtl::Vector<uint32_t> ids;
            kzhtl::Vector<uint32_t> addresses;
            if (registrar) registrar->getSubroutines(ids, addresses, status);
            failed = fail.triggered();
            if (failed) {
                EXPECT_EQ(status.code, nKZAPALS100::kStatusMemoryFull) << nth;
                EXPECT_TRUE(ids.empty() && addresses.empty()) << nth;
            } else {
                EXPECT_EQ(status.code, 0);
                EXPECT_EQ(ids.size(), 2u);
            }
        }
        EXPECT_EQ(kal::sim::liveAllocations(), live) << nth;
        if (!failed) break;
    }
}

const draviktools::StoredSubroutinePackage& builtIn() { return draviktools::builtInSubroutinePackage(); }

TEST(BuiltInSubroutinePackage, DecompressesToItsWordsAndRegistersEverySystemId) {
    tStatus status;
    SubroutinePackageFactory factory;
    std::unique_ptr<SubroutinePackage> package(draviktools::createStoredSubroutinePackage(builtIn(), factory, status));
    ASSERT_EQ(status.code, 0);
    ASSERT_EQ(package->getInstructions().size(), 8634u);
    std::vector<uint64_t> expected(8634);
    ASSERT_EQ(LZ4_decompress_safe(reinterpret_cast<const char*>(stowly_TolvaneSubroutineData_bin),
                                  reinterpret_cast<char*>(expected.data()), int(stowly_TolvaneSubroutineData_bin_size),
                                  int(expected.size() * 8)),
              69072);
    EXPECT_EQ(vectorOf(package->getInstructions()), expected);
    std::unique_ptr<SubroutineRegistrar> registrar(SubroutineRegistrarFactory().create(*package, kNotFound, status));
    EXPECT_EQ(registrar->getNumSubroutines(status), 123u);
    for (size_t i = 0; i < draviktools::kSystemSubroutineCount; ++i) {
        const SubroutineId id = draviktools::kSystemSubroutineIds[i];
        const uint32_t address = registrar->getStartAddress(id, status);
        EXPECT_EQ(status.code, 0) << std::hex << id;
        EXPECT_LT(address, 8634u);
    }
}

TEST(BuiltInSubroutinePackage, ABlockThatDoesNotDecompressToItsSizeLoadsNothing) {
    std::vector<unsigned char> damaged(stowly_TolvaneSubroutineData_bin,
                                       stowly_TolvaneSubroutineData_bin + stowly_TolvaneSubroutineData_bin_size);
    damaged[damaged.size() / 2] ^= 0xFF;
    damaged[0] = 0xFF;
    struct Case {
        const char* what;
        draviktools::StoredSubroutinePackage stored;
    };
    draviktools::StoredSubroutinePackage corrupt = builtIn();
    corrupt.block = damaged.data();
    draviktools::StoredSubroutinePackage truncated = builtIn();
    truncated.compressedSize /= 2;
    draviktools::StoredSubroutinePackage longer = builtIn();
    longer.originalSize += 8;
    draviktools::StoredSubroutinePackage partWord = builtIn();
    partWord.originalSize -= 4;
    for (const Case& c : {Case{"corrupt", corrupt}, Case{"truncated", truncated}, Case{"longer", longer},
                          Case{"part of a word", partWord}}) {
        tStatus status;
        SubroutinePackageFactory factory;
        const int64_t live = kal::sim::liveAllocations();
        EXPECT_EQ(draviktools::createStoredSubroutinePackage(c.stored, factory, status), nullptr) << c.what;
        EXPECT_EQ(status.code, nKZAPALS100::kStatusBadParameter) << c.what;
        EXPECT_EQ(kal::sim::liveAllocations(), live) << c.what;
    }
}

}  // namespace
