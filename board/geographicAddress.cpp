#include "board/geographicAddress.h"

#include <mutex>

#include "board/registerFile.h"

namespace board {

namespace {

uint32_t header(uint32_t id, uint32_t next, uint32_t kind) { return (id << 16) | (next & 0xFFFC) | kind; }

}  // namespace

void installGeographicAddress(Board& board, BridgeWindow& window, const GeographicAddressOptions& options) {
    using Chain = GeographicAddressOptions::Chain;
    BridgeSpace& space = window.space();
    uint32_t start = kCapabilityStart;
    if (options.chain == Chain::NoStart) start = 0;
    if (options.chain == Chain::UnalignedStart) start = kCapabilityStart + 2;
    space.write(0x0C, start);
    space.write(kCapabilityStart, options.holderAt14 ? 1 : 0);
    space.write(options.holderAt14 ? 0x14 : 0x10, kFirstCapability);

    // The first capability points at the second with a relative pointer.
    space.write(kFirstCapability, header(0x1234, kGeographicHeader - kFirstCapability, 2));
    switch (options.chain) {
        case Chain::Cyclic:
            space.write(kGeographicHeader, header(0x5678, kFirstCapability, 0));
            return;
        case Chain::SecondKind3:
            space.write(kGeographicHeader, header(0x5678, 0x400, 3));
            return;
        case Chain::Missing:
            space.write(kGeographicHeader, header(0x5678, 0, 0));
            return;
        default:
            break;
    }
    uint32_t at = kGeographicHeader;
    if (options.upperHalfPointer) {
        // Through a header whose pointer takes its upper half from the word before it.
        at = kGeographicHeaderHigh;
        space.write(kFirstCapability, header(0x1234, 0x0FC0, 0));
        space.write(0x0FC0 - 4, at & 0xFFFF0000u);
        space.write(0x0FC0, header(0x1235, at, 1));
    }
    uint32_t value = kGeographicValueWindowed;
    if (options.mode == 1) value = kGeographicValueDirect;
    space.write(at, header(kGeographicAddressCapability, 0, 0));
    space.write(at + 4, value);
    space.write(at + 8, (options.mode & 0xF) | ((options.width & 7) << 8) | ((options.shift & 0x1F) << 16));
    const uint32_t raw = options.slot << options.shift;
    if (options.mode == 1) {
        std::lock_guard<BoardLock> guard(board.lock());
        if (!board.bar(0).hasRegionIn(kGeographicValueDirect, 4))
            board.addRegion<RegisterFile>(0, kGeographicValueDirect, 4, board);
        board.bar(0).store(kGeographicValueDirect, 4, raw);
    }
    else
        space.write(kGeographicValueWindowed, raw);
}

}  // namespace board
