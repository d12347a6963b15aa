// Programs route actions by writing register-map fields: the selector picks the map, the kind is
// the field identifier. The maps are not owned.
#pragma once

#include <cstdint>

#include "atut/routeProgrammerInterface.h"
#include "kzapal/protons/status.h"
#include "kzhtl/vector.h"
#include "quolinTools/armgen/dynamicAccessInterfaceBase.h"

namespace atut {

class RegMapRouteProgrammer : public RouteProgrammerInterface {
public:
    using tRegMap = arm::DynamicAccessInterfaceBase<nKZAPALS100::tStatus>;

    // Lists the map at index 0.
    RegMapRouteProgrammer(tRegMap* map, bool force, nKZAPALS100::tStatus& status);

    void beginProgramming(nKZAPALS100::tStatus&) override {}
    // Writes value to the field in the map at mapIndex; -52005 for an index with no map.
    void applyProgrammingAction(uint32_t mapIndex, uint32_t fieldId, uint32_t value,
                                nKZAPALS100::tStatus& status) override;
    void endProgramming(nKZAPALS100::tStatus&) override {}

private:
    kzhtl::Vector<tRegMap*> maps_;
    bool force_;
};

}  // namespace atut
