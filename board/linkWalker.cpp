#include "board/linkWalker.h"

namespace board {

LinkWalker::LinkWalker(HostMemoryPort& port, uint64_t address, uint32_t usedLength, uint32_t laps)
    : port_(port), laps_(laps) {
    enter(address, usedLength);
}

uint32_t LinkWalker::word32(uint32_t offset) const {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | link_[offset + i];
    return value;
}

uint64_t LinkWalker::word64(uint32_t offset) const {
    return word32(offset) | (static_cast<uint64_t>(word32(offset + 4)) << 32);
}

// Reads the whole link (header and entries) in one burst.
bool LinkWalker::enter(uint64_t address, uint32_t usedLength) {
    if (usedLength < kLinkHeaderSize || usedLength > kLinkMaxUsedLength || usedLength % 8 != 0) {
        end_ = WalkEnd::BadLink;
        return false;
    }
    if (seen_.count(address) != 0 && !inRing_) {
        inRing_ = true;
        ringEntry_ = address;
    }
    if (inRing_ && address == ringEntry_ && ++lapsDone_ >= laps_) {
        end_ = WalkEnd::Laps;
        return false;
    }
    seen_[address] = true;
    link_.resize(usedLength);
    if (!port_.read(address, link_.data(), usedLength)) {
        end_ = WalkEnd::Fault;
        return false;
    }
    links_.push_back({address, usedLength, word32(0), word32(4), word64(8)});
    position_ = kLinkHeaderSize;
    return true;
}

bool LinkWalker::next(LinkEntry& entry) {
    while (end_ == WalkEnd::Running) {
        const LinkHeader& header = links_.back();
        if (position_ < header.usedLength) {
            const uint32_t second = word32(position_ + 4);
            if ((second & kSelfConfigMarker) != 0) {
                entry = {true, 0, 0, word32(position_), second, header.address};
                position_ += 8;
                return true;
            }
            if (second != 0 || position_ + 16 > header.usedLength) {
                end_ = WalkEnd::BadLink;
                return false;
            }
            entry = {false, word32(position_), word64(position_ + 8), 0, 0, header.address};
            position_ += 16;
            return true;
        }
        if ((header.flags & kLinkLastFlag) != 0) {
            end_ = WalkEnd::LastLink;
            return false;
        }
        enter(header.nextAddress, header.nextUsedLength);
    }
    return false;
}

LinkWalk walkLinks(HostMemoryPort& port, uint64_t address, uint32_t usedLength, uint32_t laps) {
    LinkWalker walker(port, address, usedLength, laps);
    LinkWalk walk;
    for (LinkEntry entry; walker.next(entry);) walk.entries.push_back(entry);
    walk.links = walker.links();
    walk.end = walker.end();
    return walk;
}

}  // namespace board
