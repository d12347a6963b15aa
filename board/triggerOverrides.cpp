#include "board/triggerOverrides.h"

namespace board {

namespace {

struct Trigger {
    uint32_t mux;
    uint32_t overrideBit;
    uint32_t occurrence;
    uint16_t id;
};
constexpr Trigger kWiring[TriggerOverridesModel::kTriggers] = {
    {0x22, 1u << 0, 0x45, 0x700},
    {0x23, 1u << 1, 0x45, 0x701},
    {0x24, 1u << 2, 0x45, 0x702},
    {0x27, 1u << 4, 0x46, 0x704},
};
constexpr uint32_t kConfiguration = 0x00;
constexpr uint32_t kOverride = 0x44;
constexpr uint32_t kConfigStrobes = (1u << 4) | (1u << 6);

}  // namespace

void TriggerOverridesModel::isolatedWrite(unsigned c, uint32_t offset, uint32_t value, IsolatedRegisterFile& registers) {
    if (c >= kChannels) return;
    Channel& ch = channels_[c];
    if (offset == kConfiguration && (value & kConfigStrobes) != 0) ch.configStrobes.push_back(value & kConfigStrobes);
    for (unsigned t = 0; t < kTriggers; ++t) {
        const Trigger& trigger = kWiring[t];
        if (offset == trigger.mux && ((value >> 16) & 0xFF) == 0) {
            const uint32_t action = value >> 28;
            if (action == 1) ch.input0Enabled[t] = true;
            if (action == 2) ch.input0Enabled[t] = false;
        }
        if (offset == kOverride && (value & trigger.overrideBit) != 0 && ch.input0Enabled[t]) {
            ch.lastId = ch.reportedId.value_or(trigger.id);
            registers.write(IsolatedRegisterFile::kChannelBlocks + c * IsolatedRegisterFile::kChannelBlockWords +
                                trigger.occurrence,
                            ch.lastId);
        }
    }
}

}  // namespace board
