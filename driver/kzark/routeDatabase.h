// The routes a device has calculated, each under an id that is never 0.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kzapal/protons/status.h"
#include "kzark/topography.h"
#include "kzhtl/vector.h"

namespace kzark {

struct RouteInDB {
    kzhtl::Vector<kzgta::PathSegment> segments;
    kzhtl::Vector<kzgta::PathSegment> extras;
    TerminalState* source = nullptr;
    uint32_t id = 0;
    uint32_t cost = 0;
    uint64_t ownerTag = 0;
    uint32_t state = 0;
    uint8_t inverted = 0;

    // The terminal reached by the last segment, the source when there is none.
    TerminalState* endTerminal() const { return segments.empty() ? source : segments.back().terminal; }
};

class RouteDatabase {
public:
    // Appends a copy of the route and returns its new id; 0 when the status is or becomes an error.
    uint32_t add(const Route& route, nKZAPALS100::tStatus& status);

    RouteInDB* find(uint32_t id);
    size_t size() const { return _routes.size(); }
    RouteInDB& operator[](size_t index) { return _routes[index]; }

    // Both keep the order of the remaining records.
    void removeAt(size_t index);
    void truncate(size_t size);

    uint32_t nextId() const { return _nextId; }
    bool hasWrapped() const { return _wrapped != 0; }
    // Lets diagnostics and tests start the id counter elsewhere, e.g. just before the wrap.
    void setNextId(uint32_t id) { _nextId = id; }

private:
    uint32_t assignId();

    kzhtl::Vector<RouteInDB> _routes;
    uint32_t _nextId = 1;
    uint8_t _wrapped = 0;
};

}  // namespace kzark
