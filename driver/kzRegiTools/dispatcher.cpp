#include "kzRegiTools/dispatcher.h"

namespace kzregitools {

Registration::Registration(const char* versionText, const char* oldestCompatibleVersionText, tStatus& status)
    : supportsVersioning(versionText != nullptr && *versionText != '\0'),
      version(versionText, status),
      oldestCompatibleVersion(oldestCompatibleVersionText, status),
      lock(status) {}

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

size_t splitVersionedName(const char* text, Version& requested, nKZAPALS100::tStatus& status) {
    static constexpr char kMarker[] = "_Ver";
    constexpr size_t kMarkerLength = sizeof kMarker - 1;
    size_t length = 0;
    while (text[length] != '\0') ++length;
    for (size_t k = 0; k + kMarkerLength <= length; ++k) {
        // Most positions fail on the first letter; only those go on to the rest.
        if (text[k] != kMarker[0]) continue;
        size_t matched = 1;
        while (matched < kMarkerLength && text[k + matched] == kMarker[matched]) ++matched;
        if (matched == kMarkerLength) {
            requested.parse(text + k + kMarkerLength, status);
            return k;
        }
    }
    requested = kNoVersion;
    return length;
}

}  // namespace kzregitools
