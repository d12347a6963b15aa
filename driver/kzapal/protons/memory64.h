// The device's plain 64-bit register loads and stores: one access each, as the bridge requires
// for its 64-bit registers.
#pragma once

#include <cstdint>

#include "kzkal/regmem.h"

namespace kzvorn_driver {
namespace nKZAPAL000 {

inline uint64_t memoryRead64(const void* address) { return nKZKAL100_simMemoryRead64(address); }
inline void memoryWrite64(void* address, uint64_t value) { nKZKAL100_simMemoryWrite64(address, value); }

}  // namespace nKZAPAL000
}  // namespace kzvorn_driver
