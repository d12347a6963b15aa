// Status codes of the storage maps.
#pragma once

#include <cstdint>

namespace storagemap {

// A range of elements outside the field, or a string too long for its element.
constexpr int64_t kStatusOutOfRange = -240015;
constexpr int64_t kStatusElementSizeMismatch = -240025;
constexpr int64_t kStatusNoSuchField = -240035;
constexpr int64_t kStatusTypeMismatch = -240039;
constexpr int64_t kStatusNoChecksum = -240044;
constexpr int64_t kStatusChecksumFieldReadOnly = -240045;

}  // namespace storagemap
