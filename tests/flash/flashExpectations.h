// What the board's serial flash holds and sees in the flash tests: a patterned image, and the
// command sequence of one sector rewrite as SST25VFFlash::describe prints it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace flash_test {

using Lines = std::vector<std::string>;

// A flash whose byte at address a holds a pattern of a, so a misplaced byte shows.
inline std::vector<uint8_t> patternImage(uint32_t size = 0x20000) {
    std::vector<uint8_t> image(size);
    for (uint32_t a = 0; a < size; ++a) image[a] = static_cast<uint8_t>(a * 7 + (a >> 8));
    return image;
}

inline std::vector<uint8_t> bytesOf(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

// What one sector rewrite sends, status polls folded.
inline Lines sectorRewrite(uint32_t address, const std::vector<uint8_t>& sector) {
    char text[32];
    Lines lines = {"WP high", "50", "01 = 00", "poll", "06", "poll"};
    std::snprintf(text, sizeof text, "20 @%06X", address);
    lines.insert(lines.end(), {text, "poll"});
    for (uint32_t i = 0; i < sector.size(); ++i) {
        std::snprintf(text, sizeof text, "02 @%06X = %02X", address + i, sector[i]);
        lines.insert(lines.end(), {"06", "poll", text, "poll"});
    }
    lines.insert(lines.end(), {"50", "01 = 0C", "WP low"});
    return lines;
}

}  // namespace flash_test
