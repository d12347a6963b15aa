// Version of a named object: major.minor.fix, a phase and a build, packed into two words.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kzapal/protons/status.h"

namespace kzregitools {

class Version {
public:
    using tStatus = nKZAPALS100::tStatus;

    // Room for the longest text form, "255.15.15f4294967295", with its terminator.
    static constexpr size_t kTextSize = 32;
    static constexpr uint32_t kFirstBuildInWord1 = 0x4000;

    constexpr Version() = default;
    constexpr explicit Version(const uint32_t& packed) : word0(packed) {}
    Version(uint32_t major, uint32_t minor, uint32_t fix, int phase, uint32_t build, tStatus& status);
    // Text in the dotted form "23.3.0f121" or the compact form "200a13081315".
    Version(const char* text, tStatus& status) { parse(text, status); }

    void setVersion(uint32_t major, uint32_t minor, uint32_t fix, int phase, uint32_t build, tStatus& status);
    // Null or empty text gives the zero version and no code; any failure leaves the zero version.
    void parse(const char* text, tStatus& status);

    uint32_t toUInt32(tStatus& status) const;
    // buffer holds kTextSize bytes.
    void toString(char* buffer, tStatus& status) const;

    constexpr uint32_t getMajor() const { return word0 >> 24; }
    constexpr uint32_t getMinor() const { return (word0 >> 20) & 0xF; }
    constexpr uint32_t getFix() const { return (word0 >> 16) & 0xF; }
    constexpr uint32_t getPhase() const { return (word0 >> 14) & 0x3; }
    constexpr uint32_t getBuild() const { return word1 != 0 ? word1 : word0 & 0x3FFF; }
    constexpr bool isZero() const { return word0 == 0 && word1 == 0; }

    constexpr bool operator==(const Version& other) const { return word0 == other.word0 && word1 == other.word1; }
    constexpr bool operator!=(const Version& other) const { return !(*this == other); }
    // Word by word, so a build in word1 (0x4000 and above) ranks below every smaller non-zero
    // build of the same major, minor, fix and phase: the registries' version checks rely on
    // this order.
    constexpr bool operator<(const Version& other) const {
        return word0 != other.word0 ? word0 < other.word0 : word1 < other.word1;
    }
    constexpr bool operator>(const Version& other) const { return other < *this; }

    // 'd' 0, 'a' 1, 'b' 2, 'f' 3; anything else -240008 and 0.
    static uint32_t phaseFromLetter(char letter, tStatus& status);
    static char letterFromPhase(uint32_t phase, tStatus& status);

    uint32_t word0 = 0;
    uint32_t word1 = 0;
};

// No version given.
inline constexpr Version kNoVersion{};

}  // namespace kzregitools
