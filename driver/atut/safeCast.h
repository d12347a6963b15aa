// Checked narrowing of 64-bit counts to 32 bits.
#pragma once

#include <cstdint>

#include "kzapal/protons/status.h"
#include "kzapal/protons/statusCodes.h"

namespace atut {

// 0 when the status already holds an error, or (recording -52003) when the value does not fit.
inline uint32_t safeCast(uint64_t value, nKZAPALS100::tStatus& status) {
    if (status.isFatal()) return 0;
    if (value > UINT32_MAX) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusValueConflict);
        return 0;
    }
    return static_cast<uint32_t>(value);
}

}  // namespace atut
