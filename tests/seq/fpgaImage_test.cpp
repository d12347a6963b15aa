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

// A bit at a time, as the polynomial defines it: the reference for the table-driven forms.
uint32_t crcBitByBit(const uint8_t* bytes, size_t size) {
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i) {
        c ^= bytes[i];
        for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
    }
    return ~c;
}

// Every length and alignment around the eight-byte steps, word by word as a port receives them,
// and the part after a prefix recovered from the whole.
TEST(Crc32, AgreesWithTheBitwiseDefinitionInEveryForm) {
    std::vector<uint8_t> bytes(300);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 131 + 7);
    for (size_t start = 0; start < 9; ++start)
        for (size_t length = 0; start + length <= bytes.size(); length += 1 + length / 8)
            ASSERT_EQ(board::crc32(bytes.data() + start, length), crcBitByBit(bytes.data() + start, length))
                << start << " " << length;

    uint32_t running = 0;
    for (size_t at = 0; at < 203; ) {
        const unsigned width = at + 8 <= 200 ? 8 : 1;
        uint64_t value = 0;
        for (unsigned k = 0; k < width; ++k) value |= uint64_t{bytes[at + k]} << (8 * k);
        running = board::crc32Word(value | (width == 1 ? 0xFF00 : 0), width, running);
        at += width;
    }
    EXPECT_EQ(running, crcBitByBit(bytes.data(), 203));

    for (size_t prefix : {0, 1, 32, 299}) {
        const uint32_t whole = board::crc32(bytes.data(), bytes.size());
        const uint32_t head = board::crc32(bytes.data(), prefix);
        const size_t rest = bytes.size() - prefix;
        EXPECT_EQ(whole ^ board::crc32Shift(head, rest), board::crc32(bytes.data() + prefix, rest)) << prefix;
    }
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
        // What a port keeps of the stream decides alike.
        const size_t body = image.size() > board::kFpgaImageHeaderSize ? image.size() - board::kFpgaImageHeaderSize : 0;
        const uint32_t bodyCrc = crcBitByBit(image.data() + image.size() - body, body);
        EXPECT_EQ(board::checkFpgaImage(image.data(), image.size(), bodyCrc, 1).fault, c.fault) << c.name;
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
