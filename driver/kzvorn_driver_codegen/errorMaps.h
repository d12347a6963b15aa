// The product's occurrence tables: the inputs of each kind of error and interrupt mux by position,
// and the status codes of the errors that have one.
#pragma once

#include "controllers/channelAlarmController.h"
#include "vantrel_shared/muxInputMap.h"

namespace kzvorn_driver {

// A mux input map filled from one of the tables below, in table order.
template <const auto& kIdsByPosition>
class GeneratedMuxInputMap : public vantrel_shared::TableMuxInputMap {
public:
    explicit GeneratedMuxInputMap(nKZAPALS100::tStatus& status)
        : TableMuxInputMap(kIdsByPosition, sizeof(kIdsByPosition) / sizeof(kIdsByPosition[0]), status) {}
};

// Positions are the FPGA's input numbers; the orders must not change.
inline constexpr uint16_t kNisoBoardErrorMuxIds[] = {
    0x200, 0x201, 0x202, 0x203, 0x204, 0x205, 0x206, 0x207, 0x208, 0x214, 0x215, 0x216, 0x228, 0x229, 0x22A,
    0x213, 0x221, 0x222, 0x223, 0x224, 0x209, 0x20A, 0x20B, 0x20C, 0x20D, 0x20E, 0x20F, 0x210, 0x211, 0x217,
    0x218, 0x219, 0x21A, 0x21B, 0x21C, 0x21D, 0x21E, 0x21F, 0x225, 0x226, 0x220, 0x212, 0x227};
static_assert(sizeof(kNisoBoardErrorMuxIds) / sizeof(kNisoBoardErrorMuxIds[0]) == 43, "43 inputs");

inline constexpr uint16_t kIsoBoardErrorMuxIds[] = {
    0x100, 0x101, 0x102, 0x103, 0x104, 0x125, 0x126, 0x105, 0x12A, 0x12B, 0x12C, 0x12D, 0x12E, 0x12F, 0x130,
    0x131, 0x132, 0x133, 0x139, 0x107, 0x108, 0x109, 0x106, 0x134, 0x135, 0x137, 0x136, 0x113, 0x114, 0x115,
    0x116, 0x117, 0x118, 0x119, 0x11A, 0x11B, 0x11C, 0x11D, 0x11E, 0x11F, 0x120, 0x121, 0x122, 0x123, 0x124,
    0x10D, 0x10E, 0x10F, 0x110, 0x10A, 0x10B, 0x10C, 0x111, 0x112, 0x127, 0x128, 0x129, 0x138};
static_assert(sizeof(kIsoBoardErrorMuxIds) / sizeof(kIsoBoardErrorMuxIds[0]) == 58, "58 inputs");

// The pairs 0x908/0x909 and 0x90A/0x90B are wired in swapped order.
inline constexpr uint16_t kIsoChannelErrorMuxIds[] = {0x900, 0x901, 0x902, 0x903, 0x904, 0x905, 0x906,
                                                      0x907, 0x909, 0x908, 0x90B, 0x90A, 0x90C, 0x90D};
static_assert(sizeof(kIsoChannelErrorMuxIds) / sizeof(kIsoChannelErrorMuxIds[0]) == 14, "14 inputs");

inline constexpr uint16_t kIsoChannelInterruptMuxIds[] = {0x705, 0x706, 0x707, 0x708, 0x709};
static_assert(sizeof(kIsoChannelInterruptMuxIds) / sizeof(kIsoChannelInterruptMuxIds[0]) == 5, "5 inputs");

class NisoBoardErrorMuxInputMap final : public GeneratedMuxInputMap<kNisoBoardErrorMuxIds> {
    using GeneratedMuxInputMap::GeneratedMuxInputMap;
};
class IsoBoardErrorMuxInputMap final : public GeneratedMuxInputMap<kIsoBoardErrorMuxIds> {
    using GeneratedMuxInputMap::GeneratedMuxInputMap;
};
class IsoChannelErrorMuxInputMap final : public GeneratedMuxInputMap<kIsoChannelErrorMuxIds> {
    using GeneratedMuxInputMap::GeneratedMuxInputMap;
};
class IsoChannelInterruptMuxInputMap final : public GeneratedMuxInputMap<kIsoChannelInterruptMuxIds> {
    using GeneratedMuxInputMap::GeneratedMuxInputMap;
};

}  // namespace kzvorn_driver

namespace kzvorn_driver_codegen {

// In insertion order; a code's id is the first id listed with it.
inline constexpr vantrel_shared::ErrorMap::Entry kErrorCodes[] = {
    {0x10D, int32_t(0xBFFA400A)}, {0x10F, int32_t(0xBFFA400A)}, {0x111, int32_t(0xBFFA400A)},
    {0x123, int32_t(0xBFFA400A)}, {0x20D, int32_t(0xBFFA4094)}, {0x20F, int32_t(0xBFFA4094)},
    {0x21B, int32_t(0xBFFA40B4)}, {0x21D, int32_t(0xBFFA40B4)}, {0x220, int32_t(0xBFFA400A)},
    {0x225, int32_t(0xBFFA400A)}, {0x226, int32_t(0xBFFA400A)}, {0x901, int32_t(0xBFFA40B3)},
    {0x903, int32_t(0xBFFA405F)}, {0x904, int32_t(0xBFFA4098)}, {0x906, int32_t(0xBFFA40B5)},
    {0x905, int32_t(0xBFFA40B3)}};

class ErrorMap final : public vantrel_shared::ErrorMap {
public:
    explicit ErrorMap(nKZAPALS100::tStatus& status)
        : vantrel_shared::ErrorMap(kErrorCodes, sizeof(kErrorCodes) / sizeof(kErrorCodes[0]), status) {}
};

// The channel alarm mux's inputs; a lookup takes the first row with the id.
inline constexpr kzvorn_driver::AlarmMuxInput kChannelAlarmMuxInputMap[] = {
    {0xD01, 0}, {0xD00, 1}, {0xD02, 2}, {0xD03, 3}, {0xD04, 4}, {0xD05, 5}, {0xD06, 6}, {0xD07, 7}};
static_assert(sizeof(kChannelAlarmMuxInputMap) / sizeof(kChannelAlarmMuxInputMap[0]) == 8, "8 inputs");

}  // namespace kzvorn_driver_codegen
