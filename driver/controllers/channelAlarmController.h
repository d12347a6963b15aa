// A channel's two alarms over its alarm mux: alarm 0 is the input fed by 0xD01, alarm 1 the inputs
// fed by 0xD06 and 0xD07.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kzapal/protons/synchronization.h"
#include "kzvorn_regMaps/TolvaneRegisterMap_TolvaneIsoChannelRegMap.h"

namespace kzvorn_driver {

// A row of the alarm mux's input table: the occurrence id and the mux input it feeds.
struct AlarmMuxInput {
    uint32_t id;
    uint32_t position;
};

class ChannelAlarmController {
public:
    // The map and the product's input table are borrowed; a lookup takes the table's first row
    // with the id. Touches no register; -52000 when the lock cannot be made.
    template <size_t kInputCount>
    ChannelAlarmController(kzvorn_regmaps::tTolvaneIsoChannelRegMap& map, const AlarmMuxInput (&inputs)[kInputCount],
                           nKZAPALS100::tStatus& status)
        : map_(map), inputs_(inputs), inputCount_(kInputCount), lock_(status) {}
    ChannelAlarmController(const ChannelAlarmController&) = delete;
    ChannelAlarmController& operator=(const ChannelAlarmController&) = delete;

    // One configuration write addressing the id's input; an id the alarm mux does not have gives
    // 0xBFFA4300 and writes nothing.
    void writeAlarmMuxInput(uint32_t action, uint32_t id, uint32_t maskIndex, nKZAPALS100::tStatus& status);
    // Alarm numbers other than 0 and 1 do nothing (false).
    bool isAlarmRaised(uint32_t alarm, nKZAPALS100::tStatus& status);
    void clearAlarm(uint32_t alarm, nKZAPALS100::tStatus& status);
    void maskAlarm(uint32_t alarm, nKZAPALS100::tStatus& status);
    void unmaskAlarm(uint32_t alarm, nKZAPALS100::tStatus& status);
    // Enables and arms the inputs of both alarms under one mask index.
    void armAlarmInputs(uint32_t maskIndex, nKZAPALS100::tStatus& status);
    void armDefaultAlarmMasks(nKZAPALS100::tStatus& status);

private:
    using tMap = kzvorn_regmaps::tTolvaneIsoChannelRegMap;
    tMap::tOccurrenceMuxConfigRegType config() { return map_.AlarmMuxConfig(); }
    tMap::tOccurrenceMuxStatusRegType latches() { return map_.AlarmMuxStatus(); }
    void writeAlarm(uint32_t alarm, uint32_t action, nKZAPALS100::tStatus& status);
    // Selects the position (always written when force) and reads whether its input latched.
    bool isLatched(uint32_t position, bool force, nKZAPALS100::tStatus& status);
    // 0xBFFA4300 and position 0 for an id without a row.
    uint32_t positionOf(uint32_t id, nKZAPALS100::tStatus& status) const;

    tMap& map_;
    const AlarmMuxInput* inputs_;
    size_t inputCount_;
    // Held across each operation, so one request's select never falls between another's select
    // and read. Taken after the registration lock and before the hardware error controller's.
    nKZAPAL000::tMutex lock_;
};

}  // namespace kzvorn_driver
