#include "board/measureUnits.h"

namespace board {

namespace {
constexpr uint32_t kCicFilterConfig = 0x130;
constexpr uint32_t kControl = 0x133;
constexpr uint32_t kRecordConfig = 0x136;
constexpr uint32_t kStart = 1u << 0;
constexpr uint32_t kAbort = 1u << 1;
constexpr uint32_t kContinuous = 1u << 28;
constexpr uint32_t kReadDone = 1u << 1;
constexpr uint32_t kReset = 1u << 8;
constexpr uint32_t kUnitRegisters = 0x0C;  // three units, 4 bytes apart, in each 0x10 group

bool within(uint32_t offset, uint32_t first, unsigned& unit) {
    if (offset < first || offset >= first + MeasureUnitsModel::kUnits) return false;
    unit = offset - first;
    return true;
}
}  // namespace

void MeasureUnitsModel::advance(unsigned channel, unsigned u, uint64_t nowUs) {
    Unit& x = unit(channel, u);
    if (!x.running || x.dataWaiting || x.neverData || nowUs < x.nextMeasurementUs) return;
    const uint32_t n = ++measurements_;
    for (uint32_t k = 0; k < 2; ++k) {
        x.headers[k] = (n << 12) | (channel << 8) | (u << 4) | k;
        x.data[k] = (channel << 28) | (u << 24) | (k << 20) | (n & 0xFFFFF);
    }
    x.dataWaiting = true;
    if (!x.continuous) x.running = false;
}

bool MeasureUnitsModel::idle(unsigned channel, unsigned u, uint64_t nowUs) {
    advance(channel, u, nowUs);
    const Unit& x = unit(channel, u);
    return !x.running && !x.neverIdle;
}

bool MeasureUnitsModel::dataWaiting(unsigned channel, unsigned u, uint64_t nowUs) {
    advance(channel, u, nowUs);
    return unit(channel, u).dataWaiting;
}

void MeasureUnitsModel::isolatedWrite(unsigned channel, uint32_t offset, uint32_t value, uint64_t nowUs) {
    if (channel >= kChannels) return;
    unsigned u = 0;
    if (within(offset, kCicFilterConfig, u)) unit(channel, u).cicFilterConfig = value;
    if (within(offset, kRecordConfig, u)) unit(channel, u).continuousRecords = (value & kContinuous) != 0;
    if (!within(offset, kControl, u)) return;
    Unit& x = unit(channel, u);
    if (value & kAbort) x.running = x.continuous = false;
    if (value & kStart) {
        x.running = true;
        x.continuous = x.continuousRecords;
        x.nextMeasurementUs = nowUs + (x.continuous ? continuousIntervalUs : measurementDelayUs);
    }
}

bool MeasureUnitsModel::read(uint64_t offset, uint64_t nowUs, uint32_t& value) {
    if (offset == kDataReady || offset == kIdle) {
        value = 0;
        for (unsigned c = 0; c < kChannels; ++c)
            for (unsigned u = 0; u < kUnits; ++u)
                if (offset == kDataReady ? dataWaiting(c, u, nowUs) : idle(c, u, nowUs)) value |= 1u << (3 * c + u);
        return true;
    }
    if (offset < kWindows || offset >= kWindows + kChannels * kWindowStride) return false;
    const unsigned channel = unsigned((offset - kWindows) / kWindowStride);
    const uint32_t r = uint32_t((offset - kWindows) % kWindowStride);
    if (r < 0x10 || r % 0x10 >= kUnitRegisters || r % 4 != 0) return false;
    const unsigned u = (r % 0x10) / 4;
    advance(channel, u, nowUs);
    const Unit& x = unit(channel, u);
    switch (r / 0x10) {
        case 1: value = x.cicFilterConfig; break;
        case 2: value = x.headers[0]; break;
        case 3: value = x.data[0]; break;
        case 4: value = x.headers[1]; break;
        default: value = x.data[1]; break;
    }
    return true;
}

void MeasureUnitsModel::write(uint64_t offset, uint32_t value, uint64_t nowUs) {
    if (!writes(offset)) return;
    const unsigned channel = unsigned((offset - kWindows) / kWindowStride);
    const uint32_t r = uint32_t((offset - kWindows) % kWindowStride);
    if (r >= kUnitRegisters || r % 4 != 0) return;
    const unsigned u = r / 4;
    advance(channel, u, nowUs);
    Unit& x = unit(channel, u);
    if (value & kReadDone) {
        x.dataWaiting = false;
        x.nextMeasurementUs = nowUs + continuousIntervalUs;
    }
    if (value & kReset) x.running = x.continuous = false;
}

}  // namespace board
