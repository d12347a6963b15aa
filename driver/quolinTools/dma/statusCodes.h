// Status codes of the DMA streams.
#pragma once

#include <cstdint>

#include "kzapal/protons/status.h"

namespace quolintools {

// A start of a stream whose channel is running.
constexpr int64_t kStatusStreamAlreadyRunning = KZ_DEVICE_CODE(0xBFFA806E);
// A start of a stream circuit that is running.
constexpr int64_t kStatusCircuitAlreadyRunning = KZ_DEVICE_CODE(0xBFFA806D);
// The channel did not report running in time.
constexpr int64_t kStatusChannelStartTimeout = KZ_DEVICE_CODE(0xBFFA8079);
// The circuit did not enable or reset, or the channel did not stop, in time.
constexpr int64_t kStatusStreamHardwareTimeout = KZ_DEVICE_CODE(0xBFFA807C);
// A DMA wait ended by a cancellation.
constexpr int64_t kStatusWaitCancelled = KZ_DEVICE_CODE(0xBFFA40E4);

}  // namespace quolintools
