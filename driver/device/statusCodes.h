// Status codes of the product device, its requests and its bring-up.
#pragma once

#include <cstdint>

#include "controllers/statusCodes.h"
#include "kzapal/protons/status.h"

namespace kzvorn_driver {

// The requests report the controllers' argument and channel codes too (controllers/statusCodes.h).
constexpr int64_t kStatusChannelsAlreadyReserved = KZ_DEVICE_CODE(0xBFFA4319);
constexpr int64_t kStatusChannelsNotReserved = KZ_DEVICE_CODE(0xBFFA431A);
// The subroutine listing: an array address of 0, or a count other than the registered one.
constexpr int64_t kStatusSubroutineArrayMissing = KZ_DEVICE_CODE(0xBFFA4311);
constexpr int64_t kStatusSubroutineCountMismatch = KZ_DEVICE_CODE(0xBFFA4312);
// A channel's sequencer did not finish handling its error interrupt before its errors were cleared.
constexpr int64_t kStatusErrorHandlingTimedOut = KZ_DEVICE_CODE(0xBFFA468D);

// The PCI subsystem identifier is not this product's.
constexpr int64_t kStatusWrongProduct = KZ_DEVICE_CODE(0xBFFA4304);
constexpr int64_t kStatusFlashTimeout = KZ_DEVICE_CODE(0xBFFA4081);
constexpr int64_t kStatusStorageMapVersionUnsupported = KZ_DEVICE_CODE(0xBFFA4082);
constexpr int64_t kStatusStorageMapChecksumInvalid = KZ_DEVICE_CODE(0xBFFA4088);
constexpr int64_t kStatusBridgeSignatureMismatch = KZ_DEVICE_CODE(0xBFFA8078);
constexpr int64_t kStatusBoardRevisionTooOld = KZ_DEVICE_CODE(0xBFFA902C);
constexpr int64_t kStatusBoardRevisionTooNew = KZ_DEVICE_CODE(0xBFFA902D);
// A channel's start subroutine did not finish within the bring-up's wait.
constexpr int64_t kStatusStartSubroutineTimedOut = KZ_DEVICE_CODE(0xBFFA469A);
// The external PLL's shift register stayed busy, or the PLL did not lock.
constexpr int64_t kStatusExternalPLLNotReady = KZ_DEVICE_CODE(0xBFFA467A);

}  // namespace kzvorn_driver
