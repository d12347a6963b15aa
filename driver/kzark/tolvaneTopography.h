// The product's trigger topography: 203 terminals and the multiplexer connections between them.
#pragma once

#include <cstdint>

#include "kzark/topInfo.h"

namespace TolvaneTopography {

constexpr uint32_t kTerminalCount = 203;
constexpr uint32_t kEdgeCount = 2884;

extern const kzark::TopInfo kTopInfo;

}  // namespace TolvaneTopography
