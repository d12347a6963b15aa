#include "board/triggerOverrides.h"

#include "board/isolatedOccurrence.h"

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

void TriggerOverridesModel::isolatedWrite(unsigned c, uint32_t offset, uint32_t value, IsolatedRegisterFile& registers,
                                          IsolatedOccurrence& occurrence) {
    if (c >= kChannels) return;
    Channel& ch = channels_[c];
    if (offset == kConfiguration && (value & kConfigStrobes) != 0) ch.configStrobes.push(value & kConfigStrobes);
    if (offset != kOverride) return;
    for (const Trigger& trigger : kWiring) {
        const OccurrenceMuxModel* mux = occurrence.mux(c, trigger.mux);
        if ((value & trigger.overrideBit) == 0 || mux == nullptr || !mux->enabled(0)) continue;
        ch.lastId = ch.reportedId.value_or(trigger.id);
        registers.write(IsolatedRegisterFile::kChannelBlocks + c * IsolatedRegisterFile::kChannelBlockWords +
                            trigger.occurrence,
                        ch.lastId);
    }
}

}  // namespace board
