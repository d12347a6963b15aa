#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "board/crc32.h"
#include "board/fpgaImage.h"
#include "tools/stowly/stowlyData.h"

using board::FpgaImageFault;

TEST(Crc32, StandardCheckValueAndRunningUse) {
    const std::string text = "123456789";
    EXPECT_EQ(board::crc32(text.data(), text.size()), 0xCBF43926u);
    EXPECT_EQ(board::crc32(text.data() + 4, 5, board::crc32(text.data(), 4)), 0xCBF43926u);
    EXPECT_EQ(board::crc32(nullptr, 0), 0u);
}

TEST(FpgaImageCheck, ReportsEachFault) {
    const size_t size = 3 * 4096 + 101;
    const std::vector<uint8_t> good = stowly::buildFpgaImage(1, 0x12345678, size);
    struct Case {
        const char* name;
        std::function<void(std::vector<uint8_t>&)> change;
        FpgaImageFault fault;
    };
    const Case cases[] = {
        {"untouched", [](std::vector<uint8_t>&) {}, FpgaImageFault::kNone},
        {"one payload bit", [](std::vector<uint8_t>& i) { i[5000] ^= 0x10; }, FpgaImageFault::kBadCrc},
        {"last byte", [](std::vector<uint8_t>& i) { i.back() ^= 1; }, FpgaImageFault::kBadCrc},
        {"stored CRC", [](std::vector<uint8_t>& i) { i[20] ^= 1; }, FpgaImageFault::kBadCrc},
        {"one byte short", [](std::vector<uint8_t>& i) { i.pop_back(); }, FpgaImageFault::kWrongLength},
        {"one byte long", [](std::vector<uint8_t>& i) { i.push_back(0); }, FpgaImageFault::kWrongLength},
        {"magic", [](std::vector<uint8_t>& i) { i[0] = 'X'; }, FpgaImageFault::kBadMagic},
        {"version", [](std::vector<uint8_t>& i) { i[8] = 2; }, FpgaImageFault::kBadVersion},
        {"target", [](std::vector<uint8_t>& i) { i[10] = 0; }, FpgaImageFault::kWrongTarget},
        {"header only in part", [](std::vector<uint8_t>& i) { i.resize(31); }, FpgaImageFault::kTooShort},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> image = good;
        c.change(image);
        const board::FpgaImageCheck check = board::checkFpgaImage(image.data(), image.size(), 1);
        EXPECT_EQ(check.fault, c.fault) << c.name << ": " << board::toText(check.fault);
        if (c.fault == FpgaImageFault::kNone) {
            EXPECT_EQ(check.signature, 0x12345678u);
        }
    }
}

TEST(FpgaImageCheck, BuilderWritesTheHeaderAndRejectsImpossibleSizes) {
    const std::vector<uint8_t> image = stowly::buildFpgaImage(0, 0xCAFE0001, 32);
    const board::FpgaImageHeader header = board::decodeFpgaImageHeader(image.data());
    EXPECT_EQ(header.target, 0);
    EXPECT_EQ(header.signature, 0xCAFE0001u);
    EXPECT_EQ(header.length, 32u);
    EXPECT_EQ(board::checkFpgaImage(image.data(), image.size(), 0).fault, FpgaImageFault::kNone);
    EXPECT_THROW(stowly::buildFpgaImage(0, 1, 31), std::invalid_argument);
    EXPECT_THROW(stowly::builtInFpgaImage(2), std::invalid_argument);
}
