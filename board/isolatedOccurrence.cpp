#include "board/isolatedOccurrence.h"

#include <algorithm>

namespace board {

std::vector<uint16_t> isolatedBoardErrorSources() {
    return {0x100, 0x101, 0x102, 0x103, 0x104, 0x125, 0x126, 0x105, 0x12A, 0x12B, 0x12C, 0x12D, 0x12E, 0x12F, 0x130,
            0x131, 0x132, 0x133, 0x139, 0x107, 0x108, 0x109, 0x106, 0x134, 0x135, 0x137, 0x136, 0x113, 0x114, 0x115,
            0x116, 0x117, 0x118, 0x119, 0x11A, 0x11B, 0x11C, 0x11D, 0x11E, 0x11F, 0x120, 0x121, 0x122, 0x123, 0x124,
            0x10D, 0x10E, 0x10F, 0x110, 0x10A, 0x10B, 0x10C, 0x111, 0x112, 0x127, 0x128, 0x129, 0x138};
}
std::vector<uint16_t> channelErrorSources() {
    return {0x900, 0x901, 0x902, 0x903, 0x904, 0x905, 0x906, 0x907, 0x909, 0x908, 0x90B, 0x90A, 0x90C, 0x90D};
}
std::vector<uint16_t> channelAlarmSources() { return {0xD01, 0xD00, 0xD02, 0xD03, 0xD04, 0xD05, 0xD06, 0xD07}; }
std::vector<uint16_t> channelInterruptSources() { return {0x705, 0x706, 0x707, 0x708, 0x709}; }

namespace {
constexpr unsigned kUnnamedInputs = 256;
constexpr uint32_t kAlarmMux = 0x021;
constexpr uint32_t kInterruptMux = 0x02A;
}  // namespace

IsolatedOccurrence::IsolatedOccurrence() {
    for (unsigned b = 0; b < kIsolatedOccurrenceBlocks; ++b) {
        Block& block = blocks_[b];
        const bool isoBoard = b == kIsolatedBoardBlock;
        block.configuration = isoBoard ? 0x008 : 0x000;
        block.occurrence = isoBoard ? 0x041 : 0x047;
        std::vector<uint32_t> offsets;
        if (isoBoard) {
            for (uint32_t o = 0x030; o <= 0x039; ++o) offsets.push_back(o);
            offsets.push_back(0x040);
        } else {
            for (uint32_t o = 0x020; o <= 0x035; ++o) offsets.push_back(o);
        }
        for (uint32_t offset : offsets) {
            std::vector<uint16_t> sources(kUnnamedInputs, 0);
            ErrorManagerModel* fed = nullptr;
            if (offset == errorMuxOffset(b)) {
                sources = isoBoard ? isolatedBoardErrorSources() : channelErrorSources();
                fed = &block.manager;
            } else if (!isoBoard && offset == kAlarmMux) {
                sources = channelAlarmSources();
            } else if (!isoBoard && offset == kInterruptMux) {
                sources = channelInterruptSources();
            }
            block.muxes[offset] = std::make_unique<OccurrenceMuxModel>(std::move(sources), fed);
        }
    }
}

bool IsolatedOccurrence::locate(uint32_t address, unsigned& block, uint32_t& offset) {
    if (address < kChannelBlockBase) {
        block = kIsolatedBoardBlock;
        offset = address;
        return true;
    }
    const uint32_t channel = (address - kChannelBlockBase) / kChannelBlockSize;
    if (channel >= kIsolatedBoardBlock) return false;
    block = channel;
    offset = (address - kChannelBlockBase) % kChannelBlockSize;
    return true;
}

OccurrenceMuxModel* IsolatedOccurrence::mux(unsigned block, uint32_t offset) {
    if (block >= kIsolatedOccurrenceBlocks) return nullptr;
    auto found = blocks_[block].muxes.find(offset);
    return found == blocks_[block].muxes.end() ? nullptr : found->second.get();
}

bool IsolatedOccurrence::write(uint32_t address, uint32_t value) {
    unsigned block = 0;
    uint32_t offset = 0;
    if (!locate(address, block, offset)) return false;
    if (offset == blocks_[block].configuration) blocks_[block].manager.configure(value & 0x3);
    OccurrenceMuxModel* target = mux(block, offset);
    if (target == nullptr) return false;
    target->configure(value);
    return true;
}

bool IsolatedOccurrence::read(uint32_t address, uint32_t& value) {
    unsigned block = 0;
    uint32_t offset = 0;
    if (!locate(address, block, offset)) return false;
    if (offset == blocks_[block].occurrence) {
        value = blocks_[block].manager.occurrence();
        return true;
    }
    OccurrenceMuxModel* target = mux(block, offset);
    if (target == nullptr) return false;
    value = target->status();
    return true;
}

void IsolatedOccurrence::raise(unsigned block, uint16_t id) {
    if (block >= kIsolatedOccurrenceBlocks || id == 0) return;
    for (auto& entry : blocks_[block].muxes) entry.second->raise(id);
}

void IsolatedOccurrence::drop(unsigned block, uint16_t id) {
    if (block >= kIsolatedOccurrenceBlocks || id == 0) return;
    for (auto& entry : blocks_[block].muxes) entry.second->drop(id);
}

void IsolatedOccurrence::setStuckId(unsigned block, uint16_t id) {
    if (block < kIsolatedOccurrenceBlocks) blocks_[block].manager.setStuckId(id);
}

void IsolatedOccurrence::latchPosition(unsigned block, uint32_t muxOffset, unsigned position, bool latched) {
    if (OccurrenceMuxModel* target = mux(block, muxOffset)) target->latch(position, latched);
}

std::vector<uint32_t> IsolatedOccurrence::routingMuxOffsets(unsigned block) {
    std::vector<uint32_t> offsets;
    if (block == kIsolatedBoardBlock) {
        for (uint32_t o = 0x030; o <= 0x039; ++o) offsets.push_back(o);
        return offsets;
    }
    if (block >= kIsolatedOccurrenceBlocks) return offsets;
    for (uint32_t o = 0x022; o <= 0x035; ++o)
        if (o != 0x026 && o != kInterruptMux) offsets.push_back(o);
    return offsets;
}

std::optional<unsigned> IsolatedOccurrence::routedInput(unsigned block, uint32_t offset) {
    const std::vector<uint32_t> routing = routingMuxOffsets(block);
    OccurrenceMuxModel* target = mux(block, offset);
    if (target == nullptr || std::find(routing.begin(), routing.end(), offset) == routing.end()) return std::nullopt;
    return target->routedInput();
}

int occurrenceBlockByName(const std::string& name) {
    if (name == "niso") return -1;
    if (name == "iso") return int(kIsolatedBoardBlock);
    if (name.size() == 3 && name.compare(0, 2, "ch") == 0 && name[2] >= '0' && name[2] <= '3') return name[2] - '0';
    return -2;
}

}  // namespace board
