#pragma once

#include "kzkal/types.h"

// Register memory: the only way the driver touches device registers.
// Mode 0 uncached, 1 cached, 2 write-combining; any other mode is refused (null).
KZKAL_EXTERN_C void* nKZKAL230_mapPhysicalToKernel(uint64_t physicalAddress, uint64_t size, uint32_t mode);
KZKAL_EXTERN_C void nKZKAL230_unmapPhysicalFromKernel(void* address, uint32_t mode);
KZKAL_EXTERN_C uint8_t nKZKAL100_memoryRead8(const void* address);
KZKAL_EXTERN_C uint16_t nKZKAL100_memoryRead16(const void* address);
KZKAL_EXTERN_C uint32_t nKZKAL100_memoryRead32(const void* address);
KZKAL_EXTERN_C void nKZKAL100_memoryWrite8(void* address, uint8_t value);
KZKAL_EXTERN_C void nKZKAL100_memoryWrite16(void* address, uint16_t value);
KZKAL_EXTERN_C void nKZKAL100_memoryWrite32(void* address, uint32_t value);

// This project's addition, not part of the kernel layer: the device's plain 64-bit loads and
// stores go through these two seams so the simulated board sees them.
KZKAL_EXTERN_C uint64_t nKZKAL100_simMemoryRead64(const void* address);
KZKAL_EXTERN_C void nKZKAL100_simMemoryWrite64(void* address, uint64_t value);
