// The file a replacement subroutine package travels in to a reset's record.
#include <gtest/gtest.h>

#include "tools/stowly/stowlyData.h"

namespace {

TEST(PackageFile, ReadsBackWhatItWrote) {
    stowly::SubroutinePackageData written = stowly::buildSubroutinePackage({11, 22, 33}, 40);
    written.startAddresses[2] = 0x10000;
    std::vector<uint8_t> file = stowly::packageFile(written);
    EXPECT_EQ(file.size(), 8u + 40 * 8 + 3 * 8);
    stowly::SubroutinePackageData read;
    ASSERT_TRUE(stowly::readPackageFile(file, read));
    EXPECT_EQ(read.words, written.words);
    EXPECT_EQ(read.ids, written.ids);
    EXPECT_EQ(read.startAddresses, written.startAddresses);

    file.pop_back();
    EXPECT_FALSE(stowly::readPackageFile(file, read));
    EXPECT_FALSE(stowly::readPackageFile({1, 0, 0}, read));
}

}  // namespace
