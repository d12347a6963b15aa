// The events a channel latches, each with its bit of the channel's event-latch register, in the
// order they are looked up (the first entry with the id wins).
#pragma once

#include <cstdint>

namespace kzvorn_driver_codegen {

struct EventLatchVector {
    uint32_t eventId;
    uint16_t bit;
};

// clang-format off
inline constexpr EventLatchVector EventLatchVectorMap[] = {
    {0x000,  1}, {0x001,  2}, {0x800,  3}, {0x801,  4}, {0x802,  5}, {0x803,  6}, {0x804,  7},
    {0x805,  8}, {0x806,  9}, {0x807, 10}, {0x808, 11}, {0x809, 12}, {0x80A, 13}, {0x80B, 14},
    {0x80C, 15}, {0x80D, 16}, {0x80E, 17}, {0x80F, 18}, {0x810, 19}, {0x811, 20}, {0x812, 21},
    {0x813, 22}, {0x814, 23}, {0x815, 24}, {0x81B, 25}, {0x816, 26}, {0x817, 27}, {0x818, 28},
    {0x819, 29}, {0x81A, 30}, {0x81C, 31}, {0x81D, 32}, {0x81E, 33}, {0x81F, 34}, {0x821, 35},
};
// clang-format on
static_assert(sizeof(EventLatchVectorMap) / sizeof(EventLatchVectorMap[0]) == 35, "35 latched events");

// The event's bit in the 32-bit latch register: false for an id the map does not hold, and for the
// four ids whose bits (32 to 35) lie past the register, which therefore reach no register.
constexpr bool eventLatchMask(uint32_t eventId, uint32_t& mask) {
    for (const EventLatchVector& vector : EventLatchVectorMap) {
        if (vector.eventId != eventId) continue;
        if (vector.bit >= 32) return false;
        mask = uint32_t{1} << vector.bit;
        return true;
    }
    return false;
}

}  // namespace kzvorn_driver_codegen
