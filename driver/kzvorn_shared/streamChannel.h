// DMA streams and the instrument channels they belong to: streams 2c (measurements from the
// device) and 2c + 1 (source data to it) are channel c's.
#pragma once

#include <cstdint>

namespace kzvorn_shared {

constexpr uint32_t kDMAStreamCount = 8;

constexpr uint8_t channelFromStreamIndex(uint8_t stream) { return stream >> 1; }

}  // namespace kzvorn_shared
