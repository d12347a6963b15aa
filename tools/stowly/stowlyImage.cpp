// Writes one FPGA configuration image in the board's format, for a reset that replaces an image:
//
//   stowly-image TARGET SIGNATURE SIZE OUT [--bad-crc]
//
// TARGET 0 (non-isolated FPGA) or 1 (isolated FPGA) as the header names it, SIGNATURE the 32-bit
// value the FPGA reports once configured, SIZE the image's length in bytes (at least its 32-byte
// header); --bad-crc spoils one byte after the header so that the board refuses the image.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <string>
#include <vector>

#include "board/fpgaImage.h"
#include "tools/stowly/stowlyData.h"

namespace {

bool parseNumber(const char* text, unsigned long long limit, unsigned long long& value) {
    if (text[0] == '\0' || text[0] == '-') return false;
    errno = 0;
    char* end = nullptr;
    value = std::strtoull(text, &end, 0);
    return errno == 0 && *end == '\0' && value <= limit;
}

int usage() {
    std::fprintf(stderr, "usage: stowly-image TARGET SIGNATURE SIZE OUT [--bad-crc]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    const bool badCrc = argc == 6 && std::strcmp(argv[5], "--bad-crc") == 0;
    if (argc != 5 && !badCrc) return usage();
    unsigned long long target = 0, signature = 0, size = 0;
    if (!parseNumber(argv[1], 0xFFFF, target) || !parseNumber(argv[2], 0xFFFFFFFF, signature) ||
        !parseNumber(argv[3], 0xFFFFFFFF, size) || size < board::kFpgaImageHeaderSize)
        return usage();
    try {
        std::vector<uint8_t> image = stowly::buildFpgaImage(static_cast<uint16_t>(target),
                                                            static_cast<uint32_t>(signature), size);
        // A header-only image has no byte the CRC covers: the stored CRC is spoilt instead.
        if (badCrc) image[size > board::kFpgaImageHeaderSize ? board::kFpgaImageHeaderSize : 20] ^= 0x01;
        std::ofstream out(argv[4], std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
        if (!out) {
            std::fprintf(stderr, "stowly-image: cannot write %s\n", argv[4]);
            return 1;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "stowly-image: %s\n", e.what());
        return 1;
    }
    return 0;
}
