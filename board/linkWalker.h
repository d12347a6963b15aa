// Walks a chain of DMA links in host memory as the bridge's DMA channels do.
//
// A link is a 16-byte header {u32 used length of the next link, u32 flags, u64 bus address of
// the next link} followed by entries, little endian: transfer descriptors {u32 count, u32 0,
// u64 bus address} and self-configuration entries {u32 data, u32 control with bit 31 set}.
// Flag bit 31 ends the list at its link; otherwise the channel follows the header.
#pragma once

#include <cstdint>

#include "board/hostAllocator.h"
#include "board/hostMemoryPort.h"

namespace board {

constexpr uint32_t kLinkHeaderSize = 16;
constexpr uint32_t kLinkLastFlag = 0x80000000;
constexpr uint32_t kLinkRingPairFlag = 0x40000000;
constexpr uint32_t kSelfConfigMarker = 0x80000000;
// Longer used lengths are taken for corrupt links.
constexpr uint32_t kLinkMaxUsedLength = 1u << 20;

struct LinkEntry {
    bool selfConfig;
    uint32_t count;    // transfer descriptor
    uint64_t address;  // transfer descriptor
    uint32_t data;     // self-configuration entry
    uint32_t control;  // self-configuration entry
    uint64_t link;     // bus address of the link that holds the entry
};

struct LinkHeader {
    uint64_t address;  // of the link itself
    uint32_t usedLength;
    uint32_t nextUsedLength;
    uint32_t flags;
    uint64_t nextAddress;
};

enum class WalkEnd {
    Running,   // the walk goes on
    LastLink,  // a link whose flags carry the last-link flag
    Laps,      // a ring played the number of laps asked for
    Fault,     // the port refused a read
    BadLink,   // a used length or an entry the format does not allow
};

class LinkWalker {
public:
    // A ring stops after `laps` laps (counted each time the walk comes back to the first link it
    // met twice).
    LinkWalker(HostMemoryPort& port, uint64_t address, uint32_t usedLength, uint32_t laps = 1);

    // The next entry in order; false once the walk has ended.
    bool next(LinkEntry& entry);
    WalkEnd end() const { return end_; }
    // Every link read so far, in order (a ring's links once per lap).
    const HostVector<LinkHeader>& links() const { return links_; }

private:
    bool enter(uint64_t address, uint32_t usedLength);
    uint32_t word32(uint32_t offset) const;
    uint64_t word64(uint32_t offset) const;

    HostMemoryPort& port_;
    uint32_t laps_;
    uint32_t lapsDone_ = 0;
    uint64_t ringEntry_ = 0;
    bool inRing_ = false;
    HostMap<uint64_t, bool> seen_;
    HostVector<uint8_t> link_;
    uint32_t position_ = 0;
    HostVector<LinkHeader> links_;
    WalkEnd end_ = WalkEnd::Running;
};

struct LinkWalk {
    HostVector<LinkEntry> entries;
    HostVector<LinkHeader> links;
    WalkEnd end;
};
LinkWalk walkLinks(HostMemoryPort& port, uint64_t address, uint32_t usedLength, uint32_t laps = 1);

}  // namespace board
