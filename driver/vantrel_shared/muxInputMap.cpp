#include "vantrel_shared/muxInputMap.h"

#include "vantrel_shared/statusCodes.h"

namespace vantrel_shared {

TableMuxInputMap::TableMuxInputMap(const uint16_t* idsByPosition, size_t count, tStatus& status) {
    for (size_t position = 0; position < count && status.isNotFatal(); ++position) {
        idToPosition_.insert(idsByPosition[position], uint8_t(position), status);
        if (status.isNotFatal()) positionToId_.insert(uint8_t(position), idsByPosition[position], status);
    }
}

bool TableMuxInputMap::containsId(uint16_t id, tStatus& status) {
    return status.isNotFatal() && idToPosition_.contains(id);
}

uint8_t TableMuxInputMap::getInputForId(uint16_t id, tStatus& status) {
    auto found = idToPosition_.find(id);
    if (found != idToPosition_.end()) return found->second;
    KZ_SET_CODE(status, kStatusInputNotInMap);
    return 0;
}

uint16_t TableMuxInputMap::getIdForInput(uint8_t position, tStatus& status) {
    auto found = positionToId_.find(position);
    if (found != positionToId_.end()) return found->second;
    KZ_SET_CODE(status, kStatusInputNotInMap);
    return 0;
}

uint64_t TableMuxInputMap::getInputCount() {
    uint64_t count = 0;
    for (auto it = idToPosition_.begin(); it != idToPosition_.end(); ++it) ++count;
    return count;
}

ErrorMap::ErrorMap(const Entry* entries, size_t count, tStatus& status) {
    for (size_t i = 0; i < count && status.isNotFatal(); ++i) {
        idToStatus_.insert(entries[i].id, entries[i].code, status);
        if (status.isNotFatal()) statusToId_.insert(entries[i].code, entries[i].id, status);
    }
}

bool ErrorMap::containsStatus(int32_t code) { return statusToId_.contains(code); }
bool ErrorMap::containsId(uint16_t id) { return idToStatus_.contains(id); }

int32_t ErrorMap::getStatusForId(uint16_t id) {
    auto found = idToStatus_.find(id);
    return found != idToStatus_.end() ? found->second : int32_t(kStatusUnknownLatchedError);
}

uint16_t ErrorMap::getIdForStatus(int32_t code) {
    auto found = statusToId_.find(code);
    return found != statusToId_.end() ? found->second : 0;
}

}  // namespace vantrel_shared
