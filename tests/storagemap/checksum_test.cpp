#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "board/crc32.h"
#include "storageMap/checksum.h"

namespace {

using nKZAPALS100::tStatus;

TEST(CRC32Checksum, IsTheStandardCrc32) {
    storagemap::CRC32Checksum crc;
    tStatus status;
    EXPECT_EQ(crc.calculate("123456789", 9, status), 0xCBF43926u);
    EXPECT_EQ(crc.calculate("", 0, status), 0u);
    EXPECT_EQ(status.getCode(), 0);
}

// Every length from 0 to 40 takes a different split between the eight-byte passes and the tail.
TEST(CRC32Checksum, AgreesWithTheBoardForEveryTailLength) {
    storagemap::CRC32Checksum crc;
    std::vector<uint8_t> data(40);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 37 + 11);
    for (size_t length = 0; length <= data.size(); ++length) {
        tStatus status;
        EXPECT_EQ(crc.calculate(data.data(), length, status), board::crc32(data.data(), length)) << length;
    }
}

TEST(CRC32Checksum, NullDataOrAnEarlierErrorGivesAllOnes) {
    storagemap::CRC32Checksum crc;
    tStatus status;
    EXPECT_EQ(crc.calculate(nullptr, 4, status), 0xFFFFFFFFu);
    EXPECT_EQ(status.getCode(), 0);
    status.code = -1;
    EXPECT_EQ(crc.calculate("123456789", 9, status), 0xFFFFFFFFu);
    EXPECT_EQ(status.getCode(), -1);
}

}  // namespace
