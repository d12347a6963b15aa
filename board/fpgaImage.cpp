#include "board/fpgaImage.h"

#include <cstring>

#include "board/crc32.h"

namespace board {

FpgaImageCheck checkFpgaImage(const uint8_t* image, size_t size, uint16_t expectedTarget) {
    const bool withHeader = size >= kFpgaImageHeaderSize;
    const uint32_t bodyCrc = withHeader ? crc32(image + kFpgaImageHeaderSize, size - kFpgaImageHeaderSize) : 0;
    return checkFpgaImage(image, size, bodyCrc, expectedTarget);
}

FpgaImageCheck checkFpgaImage(const uint8_t* header, size_t size, uint32_t bodyCrc, uint16_t expectedTarget) {
    FpgaImageCheck check;
    if (size < kFpgaImageHeaderSize) {
        check.fault = FpgaImageFault::kTooShort;
        return check;
    }
    const FpgaImageHeader decoded = decodeFpgaImageHeader(header);
    if (std::memcmp(header, kFpgaImageMagic, sizeof kFpgaImageMagic) != 0) {
        check.fault = FpgaImageFault::kBadMagic;
    } else if (decoded.version != kFpgaImageVersion) {
        check.fault = FpgaImageFault::kBadVersion;
    } else if (decoded.target != expectedTarget) {
        check.fault = FpgaImageFault::kWrongTarget;
    } else if (decoded.length != size) {
        check.fault = FpgaImageFault::kWrongLength;
    } else if (bodyCrc != decoded.crc) {
        check.fault = FpgaImageFault::kBadCrc;
    } else {
        check.signature = decoded.signature;
    }
    return check;
}

const char* toText(FpgaImageFault fault) {
    switch (fault) {
        case FpgaImageFault::kNone: return "valid";
        case FpgaImageFault::kTooShort: return "shorter than its header";
        case FpgaImageFault::kBadMagic: return "bad magic";
        case FpgaImageFault::kBadVersion: return "unknown format version";
        case FpgaImageFault::kWrongTarget: return "image for the other FPGA";
        case FpgaImageFault::kWrongLength: return "length differs from the bytes received";
        case FpgaImageFault::kBadCrc: return "CRC-32 mismatch";
    }
    return "?";
}

}  // namespace board
