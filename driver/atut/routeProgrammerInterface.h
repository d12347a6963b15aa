// What the routing resources program routes through: one batch of edge actions at a time. The
// toolkit declares it, so that its register-map route programmer is one.
#pragma once

#include <cstdint>

#include "kzapal/protons/status.h"

namespace atut {

class RouteProgrammerInterface {
public:
    virtual ~RouteProgrammerInterface() {}

    virtual void beginProgramming(nKZAPALS100::tStatus& status) = 0;
    // selector: the programmer-selector word of the terminal the edge ends at; kind and value: one
    // programming action of the edge.
    virtual void applyProgrammingAction(uint32_t selector, uint32_t kind, uint32_t value,
                                        nKZAPALS100::tStatus& status) = 0;
    virtual void endProgramming(nKZAPALS100::tStatus& status) = 0;
};

}  // namespace atut
