#pragma once

#include "kzkal/types.h"

// Copies between kernel memory and a caller's memory: 0, or a negative code. Thread context.
KZKAL_EXTERN_C int32_t nKZKAL100_replicateInboundIOControlBuffer(void* destination, uint64_t userSource,
                                                                 uint32_t size);
KZKAL_EXTERN_C int32_t nKZKAL100_replicateOutboundIOControlBuffer(uint64_t userDestination, const void* source,
                                                                  uint32_t size);
KZKAL_EXTERN_C uint64_t nKZKAL100_getPageSize(void);

// A caller's request to map device or kernel memory into its address space (the map-memory
// callback's description).
KZKAL_EXTERN_C uint64_t nKZKAL220_tUserMemMap_getSize(void* description);
KZKAL_EXTERN_C uint64_t nKZKAL220_tUserMemMap_getVirtualAddress(void* description);
// Bit 1: the caller asked for write access.
KZKAL_EXTERN_C uint32_t nKZKAL220_tUserMemMap_getAccessMode(void* description);
// Both refuse what would not fit the caller's mapping. Physical mode 1 cached, 0 uncached.
KZKAL_EXTERN_C int32_t nKZKAL220_tUserMemMap_mapPageList(void* description, void* pageList, uint64_t firstPage,
                                                         uint64_t pageCount);
KZKAL_EXTERN_C int32_t nKZKAL2280_tUserMemMap_mapPhysicalAddress(void* description, uint64_t address,
                                                                 uint64_t size, uint32_t mode);
