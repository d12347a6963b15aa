#include <gtest/gtest.h>

#include <string>

#include "kzRegiTools/statusCodes.h"
#include "kzRegiTools/version.h"

using kzregitools::Version;
using nKZAPALS100::tStatus;

namespace {

std::string text(const Version& version) {
    char buffer[Version::kTextSize];
    tStatus status;
    version.toString(buffer, status);
    EXPECT_EQ(status.code, 0);
    return buffer;
}

}  // namespace

TEST(Version, ParsesAndPrints) {
    struct Case {
        const char* text;
        uint32_t word0, word1;
        const char* printed;
    };
    const Case cases[] = {
        {"23.3.0f121", 23u << 24 | 3u << 20 | 3u << 14 | 121, 0, "23.3.0f121"},
        {"200a13081315", 2u << 24 | 1u << 14, 13081315, "2.0.0a13081315"},
        {"1.5.0f22090707", 1u << 24 | 5u << 20 | 3u << 14, 22090707, "1.5.0f22090707"},
        {"1.0.0d0", 0x01000000, 0, "1.0.0d0"},
        {"1.0.0d1", 0x01000001, 0, "1.0.0d1"},
        {"1.0.0d4", 0x01000004, 0, "1.0.0d4"},
        {"0.0.0d0", 0, 0, "0.0.0d0"},
        {"123a5", 1u << 24 | 2u << 20 | 3u << 16 | 1u << 14 | 5, 0, "1.2.3a5"},
        {"1.2.3b16383", 0x01230000 | 2u << 14 | 0x3FFF, 0, "1.2.3b16383"},
        {"1.2.3b16384", 0x01230000 | 2u << 14, 0x4000, "1.2.3b16384"},
        {"255.15.15f4294967295", 0xFFFFC000, 0xFFFFFFFF, "255.15.15f4294967295"},
        {"007.0.0d0042", 7u << 24 | 42, 0, "7.0.0d42"},
    };
    for (const Case& c : cases) {
        tStatus status;
        const Version version(c.text, status);
        EXPECT_EQ(status.code, 0) << c.text;
        EXPECT_EQ(version.word0, c.word0) << c.text;
        EXPECT_EQ(version.word1, c.word1) << c.text;
        EXPECT_EQ(text(version), c.printed) << c.text;
        // The printed form reads back to the same version.
        EXPECT_EQ(Version(text(version).c_str(), status), version) << c.text;
        EXPECT_EQ(status.code, 0) << c.text;
    }
}

TEST(Version, BadTextLeavesTheZeroVersion) {
    struct Case {
        const char* text;
        int64_t code;
    };
    const Case cases[] = {
        {"123a", kzregitools::kStatusBadVersionText},      // compact form shorter than 5
        {"1234a", kzregitools::kStatusBadVersionText},     // character 3 is no phase letter
        {"12xa5", kzregitools::kStatusBadVersionText},     // not a digit
        {"123a5x", kzregitools::kStatusBadVersionText},    // after the build
        {"123ax", kzregitools::kStatusBadVersionText},     // no build
        {"1.2.3", kzregitools::kStatusBadVersionText},     // no phase letter
        {"1.2.3d", kzregitools::kStatusBadVersionText},    // no build
        {"1.2.3d4x", kzregitools::kStatusBadVersionText},  // after the build
        {"1.2.3D4", kzregitools::kStatusBadVersionText},   // capital letter
        {"1.2d4", kzregitools::kStatusBadVersionText},     // missing '.'
        {".1.2d4", kzregitools::kStatusBadVersionText},    // number without a digit
        {"1. 2.3d4", kzregitools::kStatusBadVersionText},
        {"1.2.3d-4", kzregitools::kStatusBadVersionText},
        {"256.0.0d0", kzregitools::kStatusVersionOutOfRange},
        {"1.16.0d0", kzregitools::kStatusVersionOutOfRange},
        {"1.0.16d0", kzregitools::kStatusVersionOutOfRange},
        // Numbers beyond 32 bits are out of range, never wrapped into small ones.
        {"4294967296.0.0d0", kzregitools::kStatusVersionOutOfRange},
        {"1.0.0d4294967296", kzregitools::kStatusVersionOutOfRange},
        {"1.0.0d99999999999999999999999", kzregitools::kStatusVersionOutOfRange},
        // Text faults are found before ranges.
        {"256.0.0d0x", kzregitools::kStatusBadVersionText},
    };
    for (const Case& c : cases) {
        tStatus status;
        const Version version(c.text, status);
        EXPECT_EQ(status.code, c.code) << c.text;
        EXPECT_TRUE(version.isZero()) << c.text;
    }
}

TEST(Version, NoTextAndIncomingErrorsGiveTheZeroVersion) {
    for (const char* none : {static_cast<const char*>(nullptr), ""}) {
        tStatus status;
        EXPECT_EQ(Version(none, status), kzregitools::kNoVersion);
        EXPECT_EQ(status.code, 0);
    }
    tStatus failed;
    failed.code = -1;
    Version version(0x01000001);
    version.parse("1.0.0d4", failed);
    EXPECT_TRUE(version.isZero());
    EXPECT_EQ(version.toUInt32(failed), 0u);
    EXPECT_EQ(Version::phaseFromLetter('a', failed), 0u);
    EXPECT_EQ(failed.code, -1);

    // A warning does not stop the parse and stays.
    tStatus warned;
    warned.code = 240000;
    EXPECT_EQ(Version("1.0.0d4", warned), Version(0x01000004));
    EXPECT_EQ(warned.code, 240000);
}

TEST(Version, SetVersionChecksRangesAndKeepsOldWords) {
    struct Case {
        uint32_t major, minor, fix;
        int phase;
        uint32_t build;
        int64_t code;
    };
    const Case cases[] = {
        {255, 15, 15, 3, 0x3FFF, 0},
        {256, 0, 0, 0, 0, kzregitools::kStatusVersionOutOfRange},
        {0, 16, 0, 0, 0, kzregitools::kStatusVersionOutOfRange},
        {0, 0, 16, 0, 0, kzregitools::kStatusVersionOutOfRange},
        {0, 0, 0, 4, 0, kzregitools::kStatusVersionOutOfRange},
        // A negative phase would set every high bit of word0.
        {0, 0, 0, -1, 0, kzregitools::kStatusVersionOutOfRange},
    };
    for (const Case& c : cases) {
        tStatus status;
        Version version(0x05000000);
        version.setVersion(c.major, c.minor, c.fix, c.phase, c.build, status);
        EXPECT_EQ(status.code, c.code) << c.major << "." << c.minor << "." << c.fix << " phase " << c.phase;
        if (c.code != 0) {
            EXPECT_EQ(version, Version(0x05000000));
        }
    }
    tStatus status;
    EXPECT_TRUE(Version(1, 16, 0, 0, 0, status).isZero());
    EXPECT_EQ(status.code, kzregitools::kStatusVersionOutOfRange);
}

TEST(Version, PackedFormOnlyWithoutAHighBuild) {
    tStatus status;
    EXPECT_EQ(Version("23.3.0f121", status).toUInt32(status), 23u << 24 | 3u << 20 | 3u << 14 | 121);
    EXPECT_EQ(Version("1.2.3b16383", status).toUInt32(status), 0x0123BFFFu);
    EXPECT_EQ(status.code, 0);
    EXPECT_EQ(Version("200a13081315", status).toUInt32(status), 0u);
    EXPECT_EQ(status.code, kzregitools::kStatusVersionNotPacked);
}

TEST(Version, PhaseLetters) {
    const char letters[] = {'d', 'a', 'b', 'f'};
    for (uint32_t phase = 0; phase < 4; ++phase) {
        tStatus status;
        EXPECT_EQ(Version::letterFromPhase(phase, status), letters[phase]);
        EXPECT_EQ(Version::phaseFromLetter(letters[phase], status), phase);
        EXPECT_EQ(status.code, 0);
    }
    for (char other : {'D', 'c', '\0', '0'}) {
        tStatus status;
        EXPECT_EQ(Version::phaseFromLetter(other, status), 0u);
        EXPECT_EQ(status.code, kzregitools::kStatusBadVersionText) << other;
    }
    tStatus status;
    EXPECT_EQ(Version::letterFromPhase(4, status), '\0');
    EXPECT_EQ(status.code, kzregitools::kStatusBadVersionText);
}

TEST(Version, ComparesWordByWord) {
    struct Case {
        const char* a;
        const char* b;
        bool less, greater;
    };
    const Case cases[] = {
        {"1.0.0d0", "1.0.0d1", true, false},
        {"1.0.0d4", "1.0.0d4", false, false},
        {"1.0.0f0", "1.0.1d0", true, false},
        {"2.0.0d0", "1.15.15f16383", false, true},
        {"200a13081315", "3.0.0d0", true, false},
        {"200a13081315", "200a13081316", true, false},
        {"200a13081315", "1.0.0d0", false, true},
        // A build in word1 ranks below a small build in word0 of the same release.
        {"1.0.0f20000", "1.0.0f100", true, false},
        {"1.0.0f16384", "1.0.0f0", false, true},
    };
    for (const Case& c : cases) {
        tStatus status;
        const Version a(c.a, status);
        const Version b(c.b, status);
        ASSERT_EQ(status.code, 0);
        EXPECT_EQ(a < b, c.less) << c.a << " < " << c.b;
        EXPECT_EQ(a > b, c.greater) << c.a << " > " << c.b;
        EXPECT_EQ(b < a, c.greater) << c.b << " < " << c.a;
        EXPECT_EQ(a == b, !c.less && !c.greater) << c.a << " == " << c.b;
        EXPECT_EQ(a != b, c.less || c.greater) << c.a << " != " << c.b;
    }
}
