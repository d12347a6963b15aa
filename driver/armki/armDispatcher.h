// The registry of register maps: every map is versioned and asked for as its name, "_Ver" and a
// version.
#pragma once

#include "kzRegiTools/dispatcher.h"
#include "quolinTools/armgen/dynamicAccessInterfaceBase.h"

namespace armki {

class ARMDispatcher : public kzregitools::Dispatcher<arm::DynamicAccessInterfaceBase<nKZAPALS100::tStatus>> {};

}  // namespace armki
