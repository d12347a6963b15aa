#include "kzRegiTools/version.h"

#include "kzRegiTools/statusCodes.h"
#include "kzapal/protons/runtime.h"

namespace kzregitools {

namespace {

constexpr char kPhaseLetters[] = {'d', 'a', 'b', 'f'};

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The run of decimal digits at the cursor, which moves past it. Stops growing once beyond 32 bits
// (it cannot wrap from there), so a number too large for 32 bits fails the range check rather
// than passing as a small one.
bool readNumber(const char*& cursor, uint64_t& value, nKZAPALS100::tStatus& status) {
    if (!isDigit(*cursor)) {
        KZ_SET_CODE(status, kStatusBadVersionText);
        return false;
    }
    value = 0;
    for (; isDigit(*cursor); ++cursor)
        if (value <= UINT32_MAX) value = value * 10 + static_cast<uint64_t>(*cursor - '0');
    return true;
}

bool expect(const char*& cursor, char wanted, nKZAPALS100::tStatus& status) {
    if (*cursor != wanted) {
        KZ_SET_CODE(status, kStatusBadVersionText);
        return false;
    }
    ++cursor;
    return true;
}

bool containsDot(const char* text) {
    for (; *text != '\0'; ++text) {
        if (*text == '.') return true;
    }
    return false;
}

}  // namespace

Version::Version(uint32_t major, uint32_t minor, uint32_t fix, int phase, uint32_t build, tStatus& status) {
    setVersion(major, minor, fix, phase, build, status);
}

void Version::setVersion(uint32_t major, uint32_t minor, uint32_t fix, int phase, uint32_t build,
                         tStatus& status) {
    if (status.isFatal()) return;
    // A negative phase would spread its sign over the whole word.
    if (major > 255 || minor > 15 || fix > 15 || phase < 0 || phase > 3) {
        KZ_SET_CODE(status, kStatusVersionOutOfRange);
        return;
    }
    word0 = major << 24 | minor << 20 | fix << 16 | static_cast<uint32_t>(phase) << 14;
    if (build < kFirstBuildInWord1) {
        word0 |= build;
    } else {
        word1 = build;
    }
}

void Version::parse(const char* text, tStatus& status) {
    word0 = 0;
    word1 = 0;
    if (status.isFatal() || text == nullptr || *text == '\0') return;

    uint64_t part[3] = {};
    uint64_t build = 0;
    uint32_t phase = 0;
    const char* cursor = text;
    if (!containsDot(text)) {
        for (int i = 0; i < 5 && status.isNotFatal(); ++i) {
            if (text[i] == '\0') KZ_SET_CODE(status, kStatusBadVersionText);
        }
        for (int i = 0; i < 3 && status.isNotFatal(); ++i) {
            if (!isDigit(text[i])) KZ_SET_CODE(status, kStatusBadVersionText);
            part[i] = static_cast<uint64_t>(text[i] - '0');
        }
        cursor = text + 3;
    } else {
        for (int i = 0; i < 3 && status.isNotFatal(); ++i) {
            if (readNumber(cursor, part[i], status) && i < 2) expect(cursor, '.', status);
        }
    }
    if (status.isNotFatal()) phase = phaseFromLetter(*cursor++, status);
    if (status.isNotFatal() && readNumber(cursor, build, status)) expect(cursor, '\0', status);
    if (status.isNotFatal() && (part[0] > UINT32_MAX || part[1] > UINT32_MAX || part[2] > UINT32_MAX ||
                               build > UINT32_MAX)) {
        KZ_SET_CODE(status, kStatusVersionOutOfRange);
    }
    setVersion(static_cast<uint32_t>(part[0]), static_cast<uint32_t>(part[1]), static_cast<uint32_t>(part[2]),
               static_cast<int>(phase), static_cast<uint32_t>(build), status);
    if (status.isFatal()) {
        word0 = 0;
        word1 = 0;
    }
}

uint32_t Version::toUInt32(tStatus& status) const {
    if (status.isFatal()) return 0;
    if (word1 != 0) {
        KZ_SET_CODE(status, kStatusVersionNotPacked);
        return 0;
    }
    return word0;
}

void Version::toString(char* buffer, tStatus& status) const {
    if (status.isFatal()) return;
    boundedPrint(buffer, kTextSize, "%u.%u.%u%c%u", getMajor(), getMinor(), getFix(),
                 letterFromPhase(getPhase(), status), getBuild());
}

uint32_t Version::phaseFromLetter(char letter, tStatus& status) {
    if (status.isFatal()) return 0;
    for (uint32_t phase = 0; phase < 4; ++phase) {
        if (kPhaseLetters[phase] == letter) return phase;
    }
    KZ_SET_CODE(status, kStatusBadVersionText);
    return 0;
}

char Version::letterFromPhase(uint32_t phase, tStatus& status) {
    if (status.isFatal()) return 0;
    if (phase > 3) {
        KZ_SET_CODE(status, kStatusBadVersionText);
        return 0;
    }
    return kPhaseLetters[phase];
}

}  // namespace kzregitools
