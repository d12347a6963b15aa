// The caller's list of hardware errors to disable, from the reset's custom record: 64-bit entries
// whose low 16 bits name an error source, read from the caller's memory on behalf of the resetting
// request. Every reader of the list takes it through these, with the same bound.
#pragma once

#include <cstdint>

#include "kzapal/protons/status.h"
#include "kzhtl/vector.h"

namespace kzvorn_driver {

namespace nKZAPAL000 {
struct tEventDescriptor;
}

// A longer list is refused before anything is allocated or read: the driver would otherwise
// allocate whatever a caller asks (512 KiB here).
constexpr uint64_t kMaxDisabledErrorCount = 65536;

// The zero-filled list of `count` entries; false with -52000 when the count is above the bound or
// memory runs out (the list is then empty).
bool allocateDisabledErrorList(uint64_t count, kzhtl::Vector<uint64_t>& list, nKZAPALS100::tStatus& status);
// Reads the caller's entries into the allocated list; a refused copy reports the copy's status.
void readDisabledErrorList(const nKZAPAL000::tEventDescriptor& request, uint64_t address,
                           kzhtl::Vector<uint64_t>& list, nKZAPALS100::tStatus& status);

}  // namespace kzvorn_driver
