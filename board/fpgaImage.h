// The FPGA configuration image format the board's configuration port accepts. An image starts
// with a 32-byte little-endian header:
//    0  magic "KZFPGIMG"
//    8  u16 format version (1)
//   10  u16 target: 0 the non-isolated FPGA (port 2), 1 the isolated FPGA (port 3)
//   12  u32 signature the FPGA reports once configured
//   16  u32 length of the whole image in bytes
//   20  u32 CRC-32 of bytes [32, length)
//   24  8 reserved bytes, zero
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace board {

constexpr size_t kFpgaImageHeaderSize = 32;
constexpr char kFpgaImageMagic[8] = {'K', 'Z', 'F', 'P', 'G', 'I', 'M', 'G'};
constexpr uint16_t kFpgaImageVersion = 1;

struct FpgaImageHeader {
    uint16_t version = kFpgaImageVersion;
    uint16_t target = 0;
    uint32_t signature = 0;
    uint32_t length = 0;
    uint32_t crc = 0;
};

namespace fpga_image_detail {

inline void put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

inline void put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

inline uint16_t get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

inline uint32_t get32(const uint8_t* p) {
    return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

}  // namespace fpga_image_detail

// Writes the header, magic included, into out[0, kFpgaImageHeaderSize).
inline void encodeFpgaImageHeader(const FpgaImageHeader& header, uint8_t* out) {
    std::memset(out, 0, kFpgaImageHeaderSize);
    std::memcpy(out, kFpgaImageMagic, sizeof kFpgaImageMagic);
    fpga_image_detail::put16(out + 8, header.version);
    fpga_image_detail::put16(out + 10, header.target);
    fpga_image_detail::put32(out + 12, header.signature);
    fpga_image_detail::put32(out + 16, header.length);
    fpga_image_detail::put32(out + 20, header.crc);
}

// Reads the header fields of an image of at least kFpgaImageHeaderSize bytes; the magic is not checked.
inline FpgaImageHeader decodeFpgaImageHeader(const uint8_t* image) {
    FpgaImageHeader header;
    header.version = fpga_image_detail::get16(image + 8);
    header.target = fpga_image_detail::get16(image + 10);
    header.signature = fpga_image_detail::get32(image + 12);
    header.length = fpga_image_detail::get32(image + 16);
    header.crc = fpga_image_detail::get32(image + 20);
    return header;
}

enum class FpgaImageFault {
    kNone,
    kTooShort,     // fewer bytes than a header
    kBadMagic,
    kBadVersion,
    kWrongTarget,  // the image is for the other FPGA
    kWrongLength,  // the header's length differs from the bytes received
    kBadCrc,
};

struct FpgaImageCheck {
    FpgaImageFault fault = FpgaImageFault::kNone;
    uint32_t signature = 0;  // valid when fault is kNone
};

// What the configuration port decides once all bytes of a load have arrived.
FpgaImageCheck checkFpgaImage(const uint8_t* image, size_t size, uint16_t expectedTarget);
// The same decision from what a port keeps of a stream: the image's first min(size,
// kFpgaImageHeaderSize) bytes and the CRC-32 of the bytes after the header.
FpgaImageCheck checkFpgaImage(const uint8_t* header, size_t size, uint32_t bodyCrc, uint16_t expectedTarget);

const char* toText(FpgaImageFault fault);

}  // namespace board
