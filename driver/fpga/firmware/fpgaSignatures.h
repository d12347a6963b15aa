// The signatures the two FPGAs report once configured with the images the system carries. The
// image generator writes them into the images; the signature verifiers expect them.
#pragma once

#include <cstdint>

namespace kzvorn_driver {

constexpr uint32_t kNisoFpgaSignature = 0x7A4E0517;
constexpr uint32_t kIsoFpgaSignature = 0x7A1C0517;

}  // namespace kzvorn_driver
