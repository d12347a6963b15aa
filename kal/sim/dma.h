// DMA memory as the kernel-layer stand-in keeps it: page lists (allocated or pinned), scatter-
// gather lists, the IOMMU that gives their segments bus addresses, and the host-memory port
// through which boards reach them.
//
// Allocated memory is not coherent: the device sees it as it stood at the latest prepareForDMA
// of a mapping that covers it, and a device read of bytes the processor has changed since then
// is a DMA fault. So are accesses outside every live mapping, against a mapping's direction, or
// into user memory that is no longer registered. Destroying a page list that is still mapped (for
// the device or into kernel space), or a scatter-gather list that is still mapped, aborts.
#pragma once

#include <cstdint>
#include <vector>

#include "board/hostMemoryPort.h"

namespace kal::sim {

// How tSGL_map cuts a range into segments. Memory allocated with flag 1 is always one segment.
enum class SGLSplit {
    Page,    // one segment per page
    Runs,    // runs of up to 16 pages
    Random,  // each page boundary cut or not at random (seeded)
};
void setSGLSplit(SGLSplit split, uint32_t seed = 1);
SGLSplit sglSplit();

// What nKZKAL100_getPageSize answers: 4096 unless a test sets another value (0 restores it).
uint64_t pageSize();
void setPageSize(uint64_t size);

struct PageListRecord {
    uint64_t id;
    bool pinned;       // a caller's pages (createFromUser); else allocated
    uint64_t address;  // host address of the first page
    uint64_t pages;
    uint32_t flags;
    bool numaForm;
    int32_t node;  // as asked for with the NUMA form; -1 otherwise
    uint32_t kernelMappings;
    uint32_t deviceMappings;  // scatter-gather lists that map it
};

struct SegmentRecord {
    uint64_t busAddress;
    uint64_t size;
};

struct SGLRecord {
    uint64_t id;
    bool forPCI;
    uint64_t capacity;  // pages
    bool mapped;
    uint64_t pageList;  // id of the mapped page list
    uint64_t byteOffset;
    uint64_t size;
    bool fromDevice;
    std::vector<SegmentRecord> segments;
    uint64_t prepares;
    uint64_t completions;
};

enum class DMAFaultKind { Unmapped, Direction, Stale, UserMemoryGone };
const char* dmaFaultText(DMAFaultKind kind);

struct DMAFault {
    uint64_t busAddress;
    uint64_t size;
    bool deviceWrite;
    DMAFaultKind kind;
};

struct DMAState {
    std::vector<PageListRecord> pageLists;
    std::vector<SGLRecord> sgls;
    uint64_t pinnedPages;
    std::vector<DMAFault> faults;
};
DMAState dmaState();
// Live page lists, allocated or pinned ones, and live scatter-gather lists; counted without
// allocating.
size_t livePageLists(bool pinned);
size_t liveSGLs();

// Pinned page lists made and destroyed since the process started.
uint64_t pinsMade();
uint64_t unpinsMade();

// The recorded DMA faults, which are then forgotten.
std::vector<DMAFault> takeDMAFaults();

// The port every plugged board reaches host memory through (one IOMMU for the whole bus). A bus
// address no mapping holds is taken for a physical address: a page that getPhysicalAddress gave
// one and that a live page list still holds is reached directly, coherently with the processor.
board::HostMemoryPort& hostMemoryPort();

// Physical memory. A page gets its physical address when getPhysicalAddress first asks for it and
// keeps it while a live page list holds the page; addresses below 4 GiB by default. With memory
// above 4 GiB present (isAddressableMemOver4G answers it), the pages of placed host ranges get
// addresses above 4 GiB, except in lists allocated with flag 2. setMemoryOver4G(false) forgets
// every placement.
void setMemoryOver4G(bool present);
void placeAbove4G(const void* address, uint64_t size);

}  // namespace kal::sim
