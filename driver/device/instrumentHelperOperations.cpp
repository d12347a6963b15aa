// The helper's side of the instrument requests: temperatures, compliance, alarms, measure-unit
// configuration and read-out, the power budget, the DAC read-back, the digipot and the reload of
// the stored calibration. The requests have checked their channels and masks before; the objects
// are still looked up through bounded getters, so no index reaches past the board's channels.
#include "controllers/channelAlarmController.h"
#include "controllers/channelControllers.h"
#include "device/helperObjects.h"
#include "device/nonIsolatedControllers.h"
#include "device/statusCodes.h"
#include "device/tolvaneHelper.h"
#include "kzapal/protons/statusCodes.h"
#include "kzapal/protons/userMemory.h"
#include "kzvorn_shared/channelBitmask.h"
#include "setupTeardownTask/channelCalibrationLoaders.h"
#include "vantrel_shared/powerAllocationController.h"

namespace kzvorn_driver {

using nKZAPALS100::tStatus;
using kzvorn_shared::PhysicalChannelBitmask;

namespace {

constexpr uint32_t kHighestAlarm = 1;
// The DAC's value: the register's 22-bit field, two's complement.
constexpr uint32_t kDACBits = kzvorn_regmaps::tTolvaneIsoChannelRegMap::tDirectDacControlReg::kBits21_0.width;

// The alarm controller of the mask's lowest channel, once the alarm number is one it has.
ChannelAlarmController* alarmOf(const IsolatedObjects* objects, PhysicalChannelBitmask mask, uint32_t alarm,
                                tStatus& status) {
    if (status.isFatal()) return nullptr;
    if (alarm > kHighestAlarm) {
        KZ_SET_CODE(status, kStatusArgumentOutOfRange);
        return nullptr;
    }
    return channelObject(objects, &IsolatedObjects::getAlarmController, kzvorn_shared::lowestChannelIndex(mask), status);
}

}  // namespace

// readDAC widens the low 22 bits as a two's-complement number by shifting them to the top and back.
static_assert(int32_t(uint32_t(0x3FFFFF) << (32 - kDACBits)) >> (32 - kDACBits) == -1, "arithmetic right shift");

uint16_t TolvaneHelper::readTemperatureSensor(uint32_t sensor, tStatus& status) {
    TemperatureSensorController* sensors = boardObject(getTemperatureSensorController(), status);
    if (sensors == nullptr) return 0;
    return sensor != 0 ? sensors->readNisoFpgaTemperature(status) : sensors->readVrefTemperature(status);
}

bool TolvaneHelper::queryInCompliance(uint8_t channel, tStatus& status) {
    ChannelController* controller =
        channelObject(isolatedObjects_, &IsolatedObjects::getChannelController, channel, status);
    return controller != nullptr && controller->queryInCompliance(status);
}

bool TolvaneHelper::getAlarmRaised(uint64_t mask, uint32_t alarm, tStatus& status) {
    ChannelAlarmController* alarms = alarmOf(isolatedObjects_, mask, alarm, status);
    return alarms != nullptr && alarms->isAlarmRaised(alarm, status);
}

void TolvaneHelper::clearAlarm(uint64_t mask, uint32_t alarm, tStatus& status) {
    if (ChannelAlarmController* alarms = alarmOf(isolatedObjects_, mask, alarm, status))
        alarms->clearAlarm(alarm, status);
}

void TolvaneHelper::maskAlarm(uint64_t mask, uint32_t alarm, tStatus& status) {
    if (ChannelAlarmController* alarms = alarmOf(isolatedObjects_, mask, alarm, status))
        alarms->maskAlarm(alarm, status);
}

void TolvaneHelper::unmaskAlarm(uint64_t mask, uint32_t alarm, tStatus& status) {
    if (ChannelAlarmController* alarms = alarmOf(isolatedObjects_, mask, alarm, status))
        alarms->unmaskAlarm(alarm, status);
}

void TolvaneHelper::configureMeasureUnit(uint64_t mask, int32_t unit, const MeasureUnitConfiguration& configuration,
                                         bool continuous, tStatus& status) {
    if (status.isFatal()) return;
    for (unsigned c = 0; c < kzvorn_shared::kChannelCount; ++c) {
        if ((mask & kzvorn_shared::channelIndexToBitmask(uint8_t(c))) == 0) continue;
        MeasureUnitController* controller =
            channelObject(isolatedObjects_, &IsolatedObjects::getMeasureUnitController, c, status);
        if (controller == nullptr) return;
        controller->configure(unit, configuration.downsampleRate, configuration.filterOrder, configuration.windowLsb,
                              configuration.pointCompressible != 0, continuous, status);
    }
}

void TolvaneHelper::getMeasurement(const nKZAPAL000::tEventDescriptor& request, uint8_t channel, int32_t unit,
                                   uint64_t address, uint32_t size, tStatus& status) {
    if (status.isFatal()) return;
    if (address == 0 || size != sizeof(MeasureUnitMeasurement)) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusBadParameter);
        return;
    }
    MeasureUnitController* controller =
        channelObject(isolatedObjects_, &IsolatedObjects::getMeasureUnitController, channel, status);
    if (controller == nullptr) return;
    const MeasureUnitMeasurement measurement = controller->getMeasurement(unit, status);
    if (status.isFatal()) return;
    nKZAPAL000::tUserBuffer(request, address, size, status).writeToBuffer(0, &measurement, size, status);
}

namespace {

vantrel_shared::PowerAllocationController* powerOf(NonIsolatedControllers* controllers, tStatus& status) {
    return boardObject(controllers != nullptr ? controllers->getPowerAllocationController() : nullptr, status);
}

}  // namespace

uint32_t TolvaneHelper::stagePowerAllocation(uint8_t channel, uint32_t microwatts, tStatus& status) {
    vantrel_shared::PowerAllocationController* power = powerOf(getNonIsolatedControllers(), status);
    return power != nullptr ? power->stagePowerAllocation(channel, microwatts, status) : 0;
}

void TolvaneHelper::commitPowerAllocation(uint8_t channel, tStatus& status) {
    if (vantrel_shared::PowerAllocationController* power = powerOf(getNonIsolatedControllers(), status))
        power->commitPowerAllocation(channel, status);
}

void TolvaneHelper::discardPowerAllocation(uint8_t channel, tStatus& status) {
    if (vantrel_shared::PowerAllocationController* power = powerOf(getNonIsolatedControllers(), status))
        power->discardPowerAllocation(channel, status);
}

uint32_t TolvaneHelper::getActualPowerAllocation(uint8_t channel, tStatus& status) {
    vantrel_shared::PowerAllocationController* power = powerOf(getNonIsolatedControllers(), status);
    return power != nullptr ? power->getActualPowerAllocation(channel, status) : 0;
}

int32_t TolvaneHelper::readDAC(uint8_t channel, tStatus& status) {
    kzvorn_regmaps::tTolvaneIsoChannelRegMap* map =
        channelObject(isolatedRegMaps_ != nullptr ? isolatedRegMaps_->getChannelMap(channel) : nullptr, channel, status);
    if (map == nullptr) return 0;
    auto dac = map->DirectDacControlReg();
    // A failed read (or one outside the window) leaves the shadow, which the result is formed from.
    dac.refresh(status);
    return int32_t(uint32_t(dac.getShadow()) << (32 - kDACBits)) >> (32 - kDACBits);
}

void TolvaneHelper::writeCmccDigipot(uint8_t value, tStatus& status) {
    if (boardObject(isolatedRegMaps_, status) != nullptr)
        isolatedRegMaps_->getIsoFpgaMap().CmccDigiPotControl().writeBits7_0(value, status, true);
}

void TolvaneHelper::loadCalibrationToFirmwareFromStorageMapSoftcopy(uint64_t mask, tStatus& status) {
    kzvorn_shared::checkInvalidBitsNotSet(mask, status);
    kzvorn_shared::checkBitmaskNotEmpty(mask, status);
    if (ChannelCalibrationLoaders* loaders = boardObject(calibrationLoaders_, status))
        loaders->loadCalibrationToFirmware(mask, false, status);
}

}  // namespace kzvorn_driver
