#include "kzark/routeDatabase.h"

namespace kzark {

using nKZAPALS100::tStatus;

uint32_t RouteDatabase::add(const Route& route, tStatus& status) {
    if (status.isFatal() || !_routes.emplace_back(status)) return 0;
    RouteInDB& record = _routes.back();
    if (!record.segments.assign(route.segments, route.segmentCount, status) ||
        !record.extras.assign(route.extras, route.extraCount, status)) {
        _routes.pop_back();
        return 0;
    }
    record.source = route.source;
    record.cost = route.cost;
    record.ownerTag = route.ownerTag;
    record.state = route.state;
    record.inverted = route.inverted;
    record.id = assignId();
    return record.id;
}

// Until the counter first wraps every id is new; after that, ids still in use are skipped, and 0
// (the new record's own id until now) never comes out.
uint32_t RouteDatabase::assignId() {
    uint32_t id = _nextId;
    if (id == 0) {
        _wrapped = 1;
        id = 1;
    }
    if (_wrapped) {
        while (id == 0 || find(id) != nullptr) ++id;
    }
    _nextId = id + 1;
    return id;
}

RouteInDB* RouteDatabase::find(uint32_t id) {
    for (RouteInDB& record : _routes) {
        if (record.id == id) return &record;
    }
    return nullptr;
}

void RouteDatabase::removeAt(size_t index) {
    if (index < _routes.size()) _routes.erase(_routes.begin() + index);
}

void RouteDatabase::truncate(size_t size) {
    if (size < _routes.size()) _routes.erase(_routes.begin() + size, _routes.end());
}

}  // namespace kzark
