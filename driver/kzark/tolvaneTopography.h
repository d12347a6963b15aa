// The product's trigger topography: 203 terminals and the multiplexer connections between them.
#pragma once

#include "kzark/topInfo.h"

namespace TolvaneTopography {

extern const kzark::TopInfo kTopInfo;

}  // namespace TolvaneTopography
