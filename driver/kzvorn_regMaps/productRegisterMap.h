// What the product's register maps share: their version, their rules and where a sub-map's
// window lies in its parent's.
#pragma once

#include <cstdint>

#include "quolinTools/armgen/registerMap.h"

namespace kzvorn_regmaps {

// Both the version and the oldest compatible version of every product map.
constexpr const char* kProductMapVersion = "1.5.0f22090707";

// The window of a sub-map whose block of `size` bytes lies at `offset` in its parent: the same
// accessor from the parent's base, and the whole block when the parent's window covers it, else
// nothing (every hardware access of the sub-map is then refused).
constexpr arm::Window subMapWindow(const arm::Window& parent, uint32_t offset, uint32_t size) {
    const bool covered = offset >= parent.first && uint64_t(offset - parent.first) + size <= parent.count;
    return arm::Window{parent.base - parent.first + offset, 0, covered ? size : 0};
}

}  // namespace kzvorn_regmaps
