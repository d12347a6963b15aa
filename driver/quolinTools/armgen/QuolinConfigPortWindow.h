// The configuration window: its size and place in the bridge BAR (0xC0) and what it shows (0xE0).
#pragma once

#include "kzapal/protons/Quolin/configPortWindowRegisters.h"
#include "quolinTools/armgen/memorySpaceAccess.h"
#include "quolinTools/armgen/Quolin.h"
#include "quolinTools/armgen/registerMapDeclaration.h"

namespace quolintools {

// The register list is the platform's, whose own bridge access opens the window.
ARM_DECLARE_MAP(nQuolinConfigPortWindow, KZ_QUOLIN_CONFIG_PORT_WINDOW_REGISTERS, ::arm::TableMap,
                kQuolinConfigPortWindowMap, kBridgeMapVersion,
                "quolinTools/armgen/QuolinConfigPortWindow", arm::kBridgePolicy)

template <uint32_t kOffset>
class tQuolinConfigPortWindowWithOffset
    : public arm::DeclaredMap<nQuolinConfigPortWindow::tRegisterSet, arm::MemorySpaceAccess,
                              kQuolinConfigPortWindowMap> {
public:
    using DeclaredMap::DeclaredMap;
};

}  // namespace quolintools
