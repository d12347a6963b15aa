// The product's occurrence tables: the non-isolated board's error mux inputs by position, and the
// status codes of the errors that have one.
#pragma once

#include "vantrel_shared/muxInputMap.h"

namespace kzvorn_driver {

// Positions are the FPGA's input numbers; the order must not change.
inline constexpr uint16_t kNisoBoardErrorMuxIds[] = {
    0x200, 0x201, 0x202, 0x203, 0x204, 0x205, 0x206, 0x207, 0x208, 0x214, 0x215, 0x216, 0x228, 0x229, 0x22A,
    0x213, 0x221, 0x222, 0x223, 0x224, 0x209, 0x20A, 0x20B, 0x20C, 0x20D, 0x20E, 0x20F, 0x210, 0x211, 0x217,
    0x218, 0x219, 0x21A, 0x21B, 0x21C, 0x21D, 0x21E, 0x21F, 0x225, 0x226, 0x220, 0x212, 0x227};
static_assert(sizeof(kNisoBoardErrorMuxIds) / sizeof(kNisoBoardErrorMuxIds[0]) == 43, "43 inputs");

class NisoBoardErrorMuxInputMap final : public vantrel_shared::TableMuxInputMap {
public:
    explicit NisoBoardErrorMuxInputMap(nKZAPALS100::tStatus& status)
        : TableMuxInputMap(kNisoBoardErrorMuxIds, sizeof(kNisoBoardErrorMuxIds) / sizeof(kNisoBoardErrorMuxIds[0]),
                           status) {}
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

}  // namespace kzvorn_driver_codegen
