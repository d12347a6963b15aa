// The optional record a reset request carries: replacement images, subroutine package and
// disabled-error list, as user-space addresses read on behalf of the resetting request.
#pragma once

#include <cstdint>

namespace kzvorn_driver_codegen {

struct CustomResetParameters {
    uint64_t nisoFpgaImage;
    uint64_t nisoFpgaImageSize;
    uint64_t isoFpgaImage;
    uint64_t isoFpgaImageSize;
    uint64_t subroutineWords;
    uint64_t subroutineWordCount;
    uint64_t subroutineIds;
    uint64_t subroutineStartAddresses;
    uint64_t subroutineCount;
    uint64_t disabledErrors;
    uint64_t disabledErrorCount;
};

static_assert(sizeof(CustomResetParameters) == 88, "the record user mode passes");

}  // namespace kzvorn_driver_codegen
