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

// The occurrence mux and occurrence register types, laid out alike in every product map that has
// them, for the map's list to take with its own TYPE, F and FLAG; `nValues` is the map's namespace
// of value types (OccurrenceMuxMaskIndexType, OccurrenceMuxActionType).
// clang-format off
#define KZ_OCCURRENCE_REGISTER_TYPES(TYPE, F, FLAG, nValues) \
    TYPE(tOccurrenceMuxConfigRegType, 32, WO, 0, 0x0F00C3F8, \
         F((OccurrenceMuxMaskIndex, nValues::OccurrenceMuxMaskIndexType), 2, 0) FLAG(OccurrenceMuxClearAllLatchStb, 10) \
         FLAG(OccurrenceMuxClearLatchStb, 11) FLAG(OccurrenceArmMuxStb, 12) FLAG(OccurrenceDisarmMuxStb, 13) \
         F(OccurrenceMuxPosition, 23, 16) F((OccurrenceMuxAction, nValues::OccurrenceMuxActionType), 31, 28)) \
    TYPE(tOccurrenceMuxStatusRegType, 32, RW, 0, ALL, \
         F(OccurrenceInputSourceEnum, 11, 0) FLAG(OccurrenceMuxArmed, 12) FLAG(OccurrenceMuxLatchEnabled, 13) \
         FLAG(OccurrenceInputLatched, 14) FLAG(OccurrenceInputLive, 15) F(OccurrenceMuxPosition, 23, 16) \
         F(OccurrenceInputAllowed, 31, 24)) \
    TYPE(tOccurrenceRegType, 32, RW, 0, ALL, F(OccurrenceEnum, 11, 0))
// clang-format on
