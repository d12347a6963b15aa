#include "controllers/channelAlarmController.h"

#include "controllers/statusCodes.h"

namespace kzvorn_driver {

namespace {

using nKZAPALS100::tStatus;
using kzvorn_regmaps::nTolvaneIsoChannelRegMap::OccurrenceMuxActionType;
using kzvorn_regmaps::nTolvaneIsoChannelRegMap::OccurrenceMuxMaskIndexType;

constexpr uint32_t kAlarmSources[2][2] = {{0xD01, 0}, {0xD06, 0xD07}};
constexpr unsigned kAlarmSourceCount[2] = {1, 2};
// Every input of both alarms, in the order they are armed.
constexpr uint32_t kArmedSources[] = {0xD01, 0xD06, 0xD07};

}  // namespace

uint32_t ChannelAlarmController::positionOf(uint32_t id, tStatus& status) const {
    for (size_t i = 0; i < inputCount_; ++i)
        if (inputs_[i].id == id) return inputs_[i].position;
    KZ_SET_CODE(status, kStatusArgumentOutOfRange);
    return 0;
}

void ChannelAlarmController::writeAlarmMuxInput(uint32_t action, uint32_t id, uint32_t maskIndex, tStatus& status) {
    if (status.isFatal()) return;
    nKZAPAL000::tAutoLock locked(lock_);
    const uint32_t position = positionOf(id, status);
    if (status.isFatal()) return;
    auto reg = config();
    reg.setOccurrenceMuxAction(OccurrenceMuxActionType(action & 0xF), status)
        .setOccurrenceMuxPosition(position, status)
        .setOccurrenceMuxMaskIndex(OccurrenceMuxMaskIndexType(maskIndex & 7), status)
        .flush(status, true);
}

void ChannelAlarmController::writeAlarm(uint32_t alarm, uint32_t action, tStatus& status) {
    if (status.isFatal() || alarm > 1) return;
    nKZAPAL000::tAutoLock locked(lock_);
    for (unsigned i = 0; i < kAlarmSourceCount[alarm]; ++i) writeAlarmMuxInput(action, kAlarmSources[alarm][i], 0, status);
}

void ChannelAlarmController::maskAlarm(uint32_t alarm, tStatus& status) { writeAlarm(alarm, 2, status); }
void ChannelAlarmController::unmaskAlarm(uint32_t alarm, tStatus& status) { writeAlarm(alarm, 1, status); }

void ChannelAlarmController::clearAlarm(uint32_t alarm, tStatus& status) {
    if (status.isFatal() || alarm > 1) return;
    nKZAPAL000::tAutoLock locked(lock_);
    for (unsigned i = 0; i < kAlarmSourceCount[alarm] && status.isNotFatal(); ++i) {
        const uint32_t position = positionOf(kAlarmSources[alarm][i], status);
        config().setOccurrenceMuxPosition(position, status).writeOccurrenceMuxClearLatchStb(true, status);
    }
}

bool ChannelAlarmController::isLatched(uint32_t position, bool force, tStatus& status) {
    config().writeOccurrenceMuxPosition(position, status, force);
    return latches().readOccurrenceInputLatched(status) != 0;
}

bool ChannelAlarmController::isAlarmRaised(uint32_t alarm, tStatus& status) {
    if (status.isFatal() || alarm > 1) return false;
    nKZAPAL000::tAutoLock locked(lock_);
    // Alarm 0's position is 0, which every write leaves in the shadow: without force no select
    // would be sent and the read would describe the input addressed last.
    if (alarm == 0) return isLatched(positionOf(0xD01, status), true, status);
    const bool first = isLatched(positionOf(0xD06, status), false, status);
    const bool second = isLatched(positionOf(0xD07, status), false, status);
    return first || second;
}

void ChannelAlarmController::armAlarmInputs(uint32_t maskIndex, tStatus& status) {
    if (status.isFatal()) return;
    nKZAPAL000::tAutoLock locked(lock_);
    for (uint32_t id : kArmedSources) {
        const uint32_t position = positionOf(id, status);
        if (status.isFatal()) return;
        auto reg = config();
        reg.setOccurrenceMuxAction(OccurrenceMuxActionType(1), status)
            .setOccurrenceMuxPosition(position, status)
            .setOccurrenceMuxMaskIndex(OccurrenceMuxMaskIndexType(maskIndex & 7), status)
            .setOccurrenceArmMuxStb(true, status)
            .flush(status, true);
    }
}

void ChannelAlarmController::armDefaultAlarmMasks(tStatus& status) {
    armAlarmInputs(0, status);
    armAlarmInputs(3, status);
}

}  // namespace kzvorn_driver
