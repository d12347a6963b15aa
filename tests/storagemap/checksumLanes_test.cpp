// The checksum over lengths that take the side-by-side lanes, alone and with every kind of rest.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "board/crc32.h"
#include "storageMap/checksum.h"

namespace {

TEST(CRC32ChecksumLanes, AgreesWithTheBoardOverLongAndOddLengths) {
    std::mt19937 random(4092);
    std::vector<uint8_t> data(5000);
    for (uint8_t& byte : data) byte = static_cast<uint8_t>(random());
    storagemap::CRC32Checksum crc;
    // Around one, two and many blocks of lanes, a 4 KiB map's covered bytes, and unaligned starts.
    for (size_t length : {191u, 192u, 193u, 207u, 208u, 383u, 384u, 385u, 4092u, 4096u, 5000u}) {
        for (size_t start : {0u, 1u, 3u}) {
            if (start + length > data.size()) continue;
            nKZAPALS100::tStatus status;
            EXPECT_EQ(crc.calculate(data.data() + start, length, status), board::crc32(data.data() + start, length))
                << length << " from " << start;
        }
    }
}

// Every length up to several rows of the braided lanes, so that each split between braided rows,
// the merging row, the eight-byte words after it and the last bytes is taken, from every alignment.
TEST(CRC32ChecksumLanes, AgreesWithTheBoardForEveryLengthUpToSeveralRows) {
    std::mt19937 random(32);
    std::vector<uint8_t> data(400);
    for (uint8_t& byte : data) byte = static_cast<uint8_t>(random());
    storagemap::CRC32Checksum crc;
    for (size_t start = 0; start < 8; ++start)
        for (size_t length = 0; start + length <= data.size(); ++length) {
            nKZAPALS100::tStatus status;
            ASSERT_EQ(crc.calculate(data.data() + start, length, status), board::crc32(data.data() + start, length))
                << length << " from " << start;
        }
}

}  // namespace
