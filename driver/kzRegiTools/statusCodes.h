// Status codes of named access: versions and the registries by name.
#pragma once

#include <cstdint>

namespace kzregitools {

constexpr int64_t kStatusVersionTooOld = -240000;
// A warning: the object is still handed out.
constexpr int64_t kStatusVersionNewerThanObject = 240000;
constexpr int64_t kStatusBadVersionText = -240008;
constexpr int64_t kStatusVersionNotSupported = -240022;
constexpr int64_t kStatusVersionRequired = -240023;
constexpr int64_t kStatusNameNotFound = -240024;
constexpr int64_t kStatusVersionOutOfRange = -240026;
constexpr int64_t kStatusNullPointer = -240031;
constexpr int64_t kStatusVersionNotPacked = -240046;

}  // namespace kzregitools
