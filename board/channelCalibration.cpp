#include "board/channelCalibration.h"

namespace board {

namespace {

constexpr uint32_t mask(uint32_t bits) { return bits >= 32 ? ~0u : (1u << bits) - 1; }

}  // namespace

bool ChannelCalibration::write(uint32_t offset, uint32_t value) {
    for (const SlotTable& table : kSlotTables) {
        if (offset == table.pointer) {
            pointers_[table.pointer] = value & mask(table.pointerBits);
            return true;
        }
        if (offset == table.data) {
            slots_[{table.data, pointers_[table.pointer]}] = value & mask(table.dataBits);
            return true;
        }
    }
    for (const SingleRegister& single : kSingleRegisters) {
        if (offset != single.offset) continue;
        singles_[offset] = value & mask(single.bits);
        return true;
    }
    return false;
}

std::optional<uint32_t> ChannelCalibration::slot(uint32_t data, uint32_t pointer) const {
    const auto it = slots_.find({data, pointer});
    if (it == slots_.end()) return std::nullopt;
    return it->second;
}

HostVector<std::pair<uint32_t, uint32_t>> ChannelCalibration::slots(uint32_t data) const {
    HostVector<std::pair<uint32_t, uint32_t>> filled;
    for (auto it = slots_.lower_bound({data, 0}); it != slots_.end() && it->first.first == data; ++it)
        filled.emplace_back(it->first.second, it->second);
    return filled;
}

std::optional<uint32_t> ChannelCalibration::single(uint32_t offset) const {
    const auto it = singles_.find(offset);
    if (it == singles_.end()) return std::nullopt;
    return it->second;
}

}  // namespace board
