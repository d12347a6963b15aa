// The product's PCI identifiers: the ID table lists them, add device accepts only them, and the
// capability table is keyed by the subsystem identifier.
#pragma once

#include <cstdint>

namespace kzvorn_driver {

constexpr uint16_t kPCIVendorID = 0x1A2B;
constexpr uint16_t kPCIDeviceID = 0x7C01;
constexpr uint16_t kPCISubsystemVendorID = 0x1A2B;
constexpr uint16_t kPCISubsystemID = 0x7E42;

}  // namespace kzvorn_driver
