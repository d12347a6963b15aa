// The register map a route programmer's map selection names: the non-isolated FPGA map, the
// isolated FPGA map or the map of channel 0 to 3. The maps and the table of channel maps are
// borrowed; the destructor releases nothing.
#pragma once

#include <cstdint>

#include "kzapal/protons/status.h"
#include "kzapal/protons/statusCodes.h"

namespace vantrel_shared {

// Any other value selects no map.
enum RouteProgrammerRegmapSelection : uint32_t {
    kRouteProgrammerNisoFpgaRegmap = 1,
    kRouteProgrammerIsoFpgaRegmap = 2,
    kRouteProgrammerIsoChannelRegmap = 3,  // with a channel index
};

template <class tNisoFpgaMap, class tIsoFpgaMap, class tChannelMap>
class RouteProgrammerHelper {
public:
    using tStatus = nKZAPALS100::tStatus;
    static constexpr uint32_t kChannelMapCount = 4;
    using tChannelMapTable = tChannelMap* const[kChannelMapCount];

    RouteProgrammerHelper(tNisoFpgaMap& niso, tIsoFpgaMap& iso, const tChannelMapTable& channelMaps)
        : niso_(niso), iso_(iso), channelMaps_(&channelMaps) {}
    virtual ~RouteProgrammerHelper() {}
    RouteProgrammerHelper(const RouteProgrammerHelper&) = delete;
    RouteProgrammerHelper& operator=(const RouteProgrammerHelper&) = delete;

    // Writes the value into the selected map's register by identifier, forced: the register is
    // written even when its shadow already holds the value. A selection of no map writes nothing
    // and reports nothing. A channel index past the table, or a channel without a map, reaches
    // no map: -52005.
    virtual void writeRegisterAndValue(uint32_t selection, uint32_t registerId, uint32_t channelIndex, uint32_t value,
                                       tStatus& status) {
        if (status.isFatal()) return;
        switch (selection) {
            case kRouteProgrammerNisoFpgaRegmap: niso_.write(registerId, value, true, status, 0); return;
            case kRouteProgrammerIsoFpgaRegmap: iso_.write(registerId, value, true, status, 0); return;
            case kRouteProgrammerIsoChannelRegmap: {
                tChannelMap* map = channelIndex < kChannelMapCount ? (*channelMaps_)[channelIndex] : nullptr;
                if (map == nullptr) {
                    KZ_SET_CODE(status, nKZAPALS100::kStatusBadParameter);
                    return;
                }
                map->write(registerId, value, true, status, 0);
                return;
            }
            default: return;
        }
    }

private:
    tNisoFpgaMap& niso_;
    tIsoFpgaMap& iso_;
    const tChannelMapTable* channelMaps_;
};

}  // namespace vantrel_shared
