// What the routing resources program routes through: the toolkit's route programmer interface.
#pragma once

#include "atut/routeProgrammerInterface.h"

namespace kzark {

using RouteProgrammerInterface = atut::RouteProgrammerInterface;

}  // namespace kzark
