// Switches the non-isolated FPGA's nine PXI trigger outputs on and off around the route
// programmer's connects and disconnects.
#pragma once

#include <cstdint>

#include "kzvorn_regMaps/TolvaneRegisterMap_TolvaneNisoFpgaRegMap.h"

namespace kzvorn_driver {

class RouteController {
public:
    static constexpr uint64_t kPxiTriggerCount = 9;

    explicit RouteController(kzvorn_regmaps::tTolvaneNisoFpgaRegMap& map) : map_(map) {}
    virtual ~RouteController() {}

    // The output buffer first, at least 25 ns before the output itself (that pause also after a
    // failed first write). An index beyond the nine outputs: 0xBFFA4300, no access, no pause.
    virtual void enableTriggerOutput(uint64_t index, nKZAPALS100::tStatus& status);
    // The output, then its buffer, then the pause.
    virtual void disableTriggerOutput(uint64_t index, nKZAPALS100::tStatus& status);
    virtual void afterConnect(uint32_t registerId, nKZAPALS100::tStatus& status) {}
    virtual void beforeDisconnect(uint32_t registerId, nKZAPALS100::tStatus& status) {}

    // The names the route programmer knows them by.
    void enableTriggerLine(uint64_t line, nKZAPALS100::tStatus& status) { enableTriggerOutput(line, status); }
    void disableTriggerLine(uint64_t line, nKZAPALS100::tStatus& status) { disableTriggerOutput(line, status); }
    void routeConnected(uint32_t registerId, nKZAPALS100::tStatus& status) { afterConnect(registerId, status); }
    void routeDisconnecting(uint32_t registerId, nKZAPALS100::tStatus& status) {
        beforeDisconnect(registerId, status);
    }

private:
    bool acceptIndex(uint64_t index, nKZAPALS100::tStatus& status);

    kzvorn_regmaps::tTolvaneNisoFpgaRegMap& map_;
};

}  // namespace kzvorn_driver
