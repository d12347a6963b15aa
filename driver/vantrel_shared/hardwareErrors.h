// The hardware-errors record that user mode reads: the non-isolated board's latched error id and
// latched inputs, and each channel's latched error id and latched inputs, serialised little-endian
// byte for byte. A bit field covering ids first to last has one bit per id.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vantrel_shared {

template <uint16_t kBoardFirst, uint16_t kBoardLast, uint16_t kChannelFirst, uint16_t kChannelLast,
          unsigned kChannels>
struct HardwareErrors {
    static constexpr size_t kBoardFieldSize = (kBoardLast - kBoardFirst + 1 + 7) / 8;
    static constexpr size_t kChannelFieldSize = (kChannelLast - kChannelFirst + 1 + 7) / 8;
    static constexpr size_t kBoardErrorId = 0;
    static constexpr size_t kBoardLatchedInputs = 2;
    static constexpr size_t kChannelErrorsLive = kBoardLatchedInputs + kBoardFieldSize;
    static constexpr size_t kChannelErrorIds = kChannelErrorsLive + 2;
    static constexpr size_t kChannelLatchedInputs = kChannelErrorIds + 2 * kChannels;
    static constexpr size_t kSize = kChannelLatchedInputs + kChannelFieldSize * kChannels;

    uint8_t bytes[kSize] = {};

    void setBoardErrorId(uint16_t id) { store16(kBoardErrorId, id); }
    void setChannelErrorsLive(bool live) { bytes[kChannelErrorsLive] = live ? 1 : 0; }
    void setChannelErrorId(unsigned channel, uint16_t id) {
        if (channel < kChannels) store16(kChannelErrorIds + 2 * channel, id);
    }
    // An id outside the field's range is not entered.
    void setBoardInputLatched(uint16_t id) { setBit(kBoardLatchedInputs, kBoardFirst, kBoardLast, id); }
    void setChannelInputLatched(unsigned channel, uint16_t id) {
        if (channel < kChannels)
            setBit(kChannelLatchedInputs + kChannelFieldSize * channel, kChannelFirst, kChannelLast, id);
    }

    uint16_t boardErrorId() const { return load16(kBoardErrorId); }
    bool channelErrorsLive() const { return bytes[kChannelErrorsLive] != 0; }
    uint16_t channelErrorId(unsigned channel) const { return load16(kChannelErrorIds + 2 * channel); }
    bool isBoardInputLatched(uint16_t id) const { return isBitSet(kBoardLatchedInputs, kBoardFirst, kBoardLast, id); }
    bool isChannelInputLatched(unsigned channel, uint16_t id) const {
        return isBitSet(kChannelLatchedInputs + kChannelFieldSize * channel, kChannelFirst, kChannelLast, id);
    }

private:
    void store16(size_t offset, uint16_t value) {
        bytes[offset] = uint8_t(value);
        bytes[offset + 1] = uint8_t(value >> 8);
    }
    uint16_t load16(size_t offset) const { return uint16_t(bytes[offset] | bytes[offset + 1] << 8); }
    void setBit(size_t field, uint16_t first, uint16_t last, uint16_t id) {
        if (id >= first && id <= last) bytes[field + (id - first) / 8] |= uint8_t(1u << ((id - first) % 8));
    }
    bool isBitSet(size_t field, uint16_t first, uint16_t last, uint16_t id) const {
        return id >= first && id <= last && (bytes[field + (id - first) / 8] >> ((id - first) % 8) & 1) != 0;
    }
};

// The product's record: board ids 256 to 554, channel ids 0x900 to 0x90D, four channels.
using TolvaneHardwareErrors = HardwareErrors<256, 554, 2304, 2317, 4>;
static_assert(TolvaneHardwareErrors::kSize == 58 && sizeof(TolvaneHardwareErrors) == 58, "the record is 58 bytes");
static_assert(TolvaneHardwareErrors::kChannelErrorsLive == 40 && TolvaneHardwareErrors::kChannelErrorIds == 42 &&
                  TolvaneHardwareErrors::kChannelLatchedInputs == 50,
              "field offsets of the record");

}  // namespace vantrel_shared
