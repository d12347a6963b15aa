#include "board/powerMonitor.h"

namespace board {

namespace {
constexpr uint32_t kWriteStrobe = 1u << 19;
constexpr uint32_t kReadStrobe = 1u << 22;
constexpr uint32_t kStart = 1u << 30;
constexpr uint32_t kReadDone = 1u << 21;
constexpr uint32_t kReady = 1u << 28;
constexpr uint32_t kValid = 1u << 17;
unsigned pointerOf(uint32_t word) { return (word >> 16) & 7; }
}  // namespace

bool PowerMonitorModel::read(uint64_t offset, uint32_t& value) const {
    if (offset == 0x8) {
        value = readResult_ | (neverReady ? 0 : kReady);
        return true;
    }
    if (offset >= 0xC && offset < kSize && offset % 4 == 0) {
        value = readings_[(offset - 0xC) / 4] | (started_ && !neverValid ? kValid : 0);
        return true;
    }
    return false;
}

bool PowerMonitorModel::write(uint64_t offset, uint32_t value) {
    if (offset == 0x0) {
        table_[pointerOf(value)] = value;
        return true;
    }
    if (offset != 0x4) return false;
    if (value & kWriteStrobe) chip_[pointerOf(value)] = uint16_t(value);
    if (value & kReadStrobe) readResult_ = chip_[pointerOf(value)] | (readNeverDone ? 0 : kReadDone);
    if (value & kStart) started_ = true;
    return true;
}

}  // namespace board
