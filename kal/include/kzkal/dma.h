#pragma once

#include "kzkal/types.h"

// Page lists: memory described page by page, for the device to reach.
// Allocation flags: bit 0 one bus-contiguous segment, bit 1 bus addresses below 4 GiB; the other
// bits are the caller's. The memory is page aligned and zero filled; null when it cannot be had.
KZKAL_EXTERN_C void* nKZKAL220_tPageList_createFromAllocation(uint64_t pageCount, uint32_t flags);
KZKAL_EXTERN_C void* nKZKAL1_tPageList_createFromAllocationNUMA(uint64_t pageCount, uint32_t flags, int32_t node);
// Pins a caller's pages from a page-aligned address; null when they cannot be pinned.
KZKAL_EXTERN_C void* nKZKAL220_tPageList_createFromUser(uint64_t address, uint32_t pageCount, uint32_t flags);
// A kernel address of the pages [firstPage, firstPage + pageCount); null when it cannot be had.
KZKAL_EXTERN_C void* nKZKAL220_tPageList_mapToKernel(void* pageList, uint64_t firstPage, uint64_t pageCount);
KZKAL_EXTERN_C void nKZKAL220_tPageList_unmapFromKernel(void* pageList, void* address);
// Accepts null. Unpins pinned pages.
KZKAL_EXTERN_C void nKZKAL220_tPageList_destroy(void* pageList);
// The physical address of the byte at byteOffset from the start of the first page; 0 when it
// cannot be had.
KZKAL_EXTERN_C uint64_t nKZKAL220_tPageList_getPhysicalAddress(void* pageList, uint64_t byteOffset);
// A kernel address of one page of the list; null when it cannot be had. Each is unmapped on its own.
KZKAL_EXTERN_C void* nKZKAL220_tPageList_mapOnePageToKernel(void* pageList, uint64_t page);
KZKAL_EXTERN_C void nKZKAL220_tPageList_unmapOnePageFromKernel(void* pageList, void* address);
// Nonzero when the machine has memory at physical addresses above 4 GiB.
KZKAL_EXTERN_C uint32_t nKZKAL200_isAddressableMemOver4G(void);

// Scatter-gather lists: a page-list range mapped for a PCI function (or none) as bus-address
// segments. Created for a capacity in pages; null when it cannot be had.
KZKAL_EXTERN_C void* nKZKAL220_tSGL_createForPCI(void* pci, uint64_t pageCapacity);
// 0, or a negative code. fromDevice is nonzero when the device writes the memory.
KZKAL_EXTERN_C int32_t nKZKAL220_tSGL_map(void* sgl, void* pageList, uint64_t byteOffset, uint64_t size,
                                          uint32_t fromDevice);
KZKAL_EXTERN_C void nKZKAL220_tSGL_unmap(void* sgl);
// Hands the mapped memory to the device / takes back what it transferred.
KZKAL_EXTERN_C void nKZKAL220_tSGL_prepareForDMA(void* sgl);
KZKAL_EXTERN_C void nKZKAL220_tSGL_completeDMA(void* sgl, uint64_t byteCount);
KZKAL_EXTERN_C uint32_t nKZKAL220_tSGL_numSegments(void* sgl);
// Moves the segment cursor to the first segment.
KZKAL_EXTERN_C void nKZKAL220_tSGL_iterate(void* sgl);
KZKAL_EXTERN_C uint64_t nKZKAL220_tSGL_getSegmentAddress(void* sgl);
KZKAL_EXTERN_C uint64_t nKZKAL220_tSGL_getSegmentSize(void* sgl);
KZKAL_EXTERN_C void nKZKAL220_tSGL_nextSegment(void* sgl);
KZKAL_EXTERN_C void nKZKAL220_tSGL_destroy(void* sgl);
