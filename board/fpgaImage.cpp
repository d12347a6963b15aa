#include "board/fpgaImage.h"

#include <cstring>

#include "board/crc32.h"

namespace board {

FpgaImageCheck checkFpgaImage(const uint8_t* image, size_t size, uint16_t expectedTarget) {
    FpgaImageCheck check;
    if (size < kFpgaImageHeaderSize) {
        check.fault = FpgaImageFault::kTooShort;
        return check;
    }
    const FpgaImageHeader header = decodeFpgaImageHeader(image);
    if (std::memcmp(image, kFpgaImageMagic, sizeof kFpgaImageMagic) != 0) {
        check.fault = FpgaImageFault::kBadMagic;
    } else if (header.version != kFpgaImageVersion) {
        check.fault = FpgaImageFault::kBadVersion;
    } else if (header.target != expectedTarget) {
        check.fault = FpgaImageFault::kWrongTarget;
    } else if (header.length != size) {
        check.fault = FpgaImageFault::kWrongLength;
    } else if (crc32(image + kFpgaImageHeaderSize, size - kFpgaImageHeaderSize) != header.crc) {
        check.fault = FpgaImageFault::kBadCrc;
    } else {
        check.signature = header.signature;
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
