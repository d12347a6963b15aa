#include "kzRegiTools/dispatcher.h"

namespace kzregitools {

Registration::Registration(const char* versionText, const char* oldestCompatibleVersionText, tStatus& status)
    : supportsVersioning(versionText != nullptr && *versionText != '\0'),
      version(versionText, status),
      oldestCompatibleVersion(oldestCompatibleVersionText, status),
      lock(status) {
    // Kept only whole; a text too long for the room is parsed on every request instead.
    size_t length = 0;
    while (versionText != nullptr && versionText[length] != '\0' && length < sizeof versionText_) ++length;
    if (length < sizeof versionText_) {
        for (size_t i = 0; i < length; ++i) versionText_[i] = versionText[i];
        versionTextLength_ = length;
    }
}

void Registration::checkVersion(Version requested, tStatus& status) const {
    if (status.isFatal()) return;
    if (requested.isZero()) {
        if (supportsVersioning) KZ_SET_CODE(status, kStatusVersionRequired);
    } else if (!supportsVersioning) {
        KZ_SET_CODE(status, kStatusVersionNotSupported);
    } else if (requested < oldestCompatibleVersion) {
        KZ_SET_CODE(status, kStatusVersionTooOld);
    } else if (requested > version) {
        KZ_SET_CODE(status, kStatusVersionNewerThanObject);
    }
}

namespace {

// Letters a scan stops at.
struct tLetterStops {
    bool stops[256];
};

constexpr tLetterStops makeLetterStops(char other) {
    tLetterStops table{};
    table.stops[0] = true;
    table.stops[static_cast<unsigned char>(other)] = true;
    return table;
}

// The terminator and the marker's first letter; the terminator alone.
constexpr tLetterStops kMarkerStops = makeLetterStops('_');
constexpr tLetterStops kEndStops = makeLetterStops('\0');

// The first letter at or after `letter` the table stops at, eight letters a round; each letter is
// read only once the one before it passed, so never one past the terminator.
const char* nextStop(const char* letter, const tLetterStops& table) {
    for (;; letter += 8) {
        if (table.stops[static_cast<unsigned char>(letter[0])]) return letter;
        if (table.stops[static_cast<unsigned char>(letter[1])]) return letter + 1;
        if (table.stops[static_cast<unsigned char>(letter[2])]) return letter + 2;
        if (table.stops[static_cast<unsigned char>(letter[3])]) return letter + 3;
        if (table.stops[static_cast<unsigned char>(letter[4])]) return letter + 4;
        if (table.stops[static_cast<unsigned char>(letter[5])]) return letter + 5;
        if (table.stops[static_cast<unsigned char>(letter[6])]) return letter + 6;
        if (table.stops[static_cast<unsigned char>(letter[7])]) return letter + 7;
    }
}

}  // namespace

size_t splitVersionedName(const char* text, const char*& versionText, size_t& versionLength) {
    // One pass for both the end and the marker. A letter after a matching one is never past the
    // terminator, so the marker's later letters are read only once the earlier ones match.
    const char* letter = text;
    for (;; ++letter) {
        letter = nextStop(letter, kMarkerStops);
        if (*letter == '\0') break;
        if (letter[1] == 'V' && letter[2] == 'e' && letter[3] == 'r') {
            versionText = letter + 4;
            versionLength = static_cast<size_t>(nextStop(versionText, kEndStops) - versionText);
            return static_cast<size_t>(letter - text);
        }
    }
    versionText = nullptr;
    versionLength = 0;
    return static_cast<size_t>(letter - text);
}

namespace {

template <class tWord>
bool sameWord(const char* a, const char* b) {
    tWord left;
    tWord right;
    __builtin_memcpy(&left, a, sizeof left);
    __builtin_memcpy(&right, b, sizeof right);
    return left == right;
}

}  // namespace

// Word by word from the end; a rest shorter than a word is covered by a word from the start that
// overlaps the ones already compared.
bool sameLetters(const char* a, const char* b, size_t length) {
    if (length >= sizeof(uint64_t)) {
        size_t rest = length;
        for (; rest >= sizeof(uint64_t); rest -= sizeof(uint64_t))
            if (!sameWord<uint64_t>(a + rest - sizeof(uint64_t), b + rest - sizeof(uint64_t))) return false;
        return rest == 0 || sameWord<uint64_t>(a, b);
    }
    if (length >= sizeof(uint32_t))
        return sameWord<uint32_t>(a, b) && sameWord<uint32_t>(a + length - sizeof(uint32_t), b + length - sizeof(uint32_t));
    for (; length > 0; --length)
        if (a[length - 1] != b[length - 1]) return false;
    return true;
}

}  // namespace kzregitools
