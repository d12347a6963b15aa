#include "setupTeardownTask/channelCalibrationLoader.h"

#include "setupTeardownTask/coefficientConversion.h"

namespace kzvorn_driver {

namespace {

using Channel = kzvorn_regmaps::tTolvaneIsoChannelRegMap;
using nKZAPALS100::tStatus;
namespace format = coefficientformat;

constexpr uint8_t kLocalSense = 1, kRemoteSense = 2;
constexpr uint32_t kVoltageRanges = 3;
constexpr uint32_t kCurrentRanges = 6;  // the 3 A range is the seventh and has registers of its own
constexpr uint32_t kChargeBalanceRanges = 4;
constexpr uint32_t kPredictiveRanges = 7;

}  // namespace

ChannelCalibrationLoader::ChannelCalibrationLoader(Channel* channelMap, CalibrationGroup* calibration,
                                                   ChargeBalanceControllerInterface* chargeBalance, tStatus& status)
    : channelMap_(channelMap), calibration_(calibration), chargeBalance_(chargeBalance), lock_(status) {}

void ChannelCalibrationLoader::loadCalibrationToFirmware(bool validate, tStatus& status) {
    if (status.isFatal()) return;
    nKZAPAL000::tAutoLock hold(lock_);
    CalibrationMap* map = validate ? calibration_->firstUsableMap(status) : calibration_->selfCalibration;
    if (map != nullptr) writeCalibration(*map, status);
}

void ChannelCalibrationLoader::writeCalibration(CalibrationMap& map, tStatus& status) {
    if (status.isFatal()) return;
    nKZAPAL000::tAutoLock hold(lock_);
    writeVoltageRanges(map, status);
    writeCurrentRanges(map, status);
    writeChargeBalanceOffsets(map, status);
    writePredictiveGains(map, status);
}

void ChannelCalibrationLoader::writeVoltageRanges(CalibrationMap& map, tStatus& status) {
    Channel& channel = *channelMap_;
    // A pointer register selects the slot that the next write of its data register fills.
    auto gainPointer = channel.VoltageGainPtr();
    auto gainData = channel.VoltageGainData();
    auto offsetPointer = channel.VoltageOffsetPtr();
    auto offsetData = channel.VoltageOffsetData();
    uint32_t gain = 0;
    uint32_t localOffset = 0;
    // Range i + 1 is selected as (i + 1) << 2 | sense; both senses share the range's gain.
    for (uint32_t i = 0; i < kVoltageRanges; ++i) {
        const uint8_t range = static_cast<uint8_t>((i + 1) << 2);
        gain = convertCoefficient(format::kUnsigned31, map.getVoltageGain(i, status), status);
        gainPointer.writeVoltageRangeAndOutputSense(range | kLocalSense, status);
        gainData.writeRegister(gain, status);
        gainPointer.writeVoltageRangeAndOutputSense(range | kRemoteSense, status);
        gainData.writeRegister(gain, status);
        localOffset = convertCoefficientSum(format::kSigned30, map.getVoltageOffset(i, status),
                                            map.getResidualLocalSenseOffset(i, status), status);
        offsetPointer.writeVoltageRangeAndOutputSense(range | kLocalSense, status);
        offsetData.writeRegister(localOffset, status);
        const uint32_t remoteOffset = convertCoefficientSum(format::kSigned30, map.getVoltageRemoteOffset(i, status),
                                                            map.getResidualRemoteSenseOffset(i, status), status);
        offsetPointer.writeVoltageRangeAndOutputSense(range | kRemoteSense, status);
        offsetData.writeRegister(remoteOffset, status);
    }
    // The highest range also has registers of its own, loaded with its gain and local offset.
    channel.VoltageRange3Gain().writeRegister(gain, status);
    channel.VoltageRange3Offset().writeRegister(localOffset, status);
}

void ChannelCalibrationLoader::writeCurrentRanges(CalibrationMap& map, tStatus& status) {
    Channel& channel = *channelMap_;
    auto gainPointer = channel.CurrentGainPtr();
    auto gainData = channel.CurrentGainData();
    auto offsetPointer = channel.CurrentOffsetPtr();
    auto offsetData = channel.CurrentOffsetData();
    auto cmcPointer = channel.CmcGainPtr();
    auto cmcData = channel.CmcGainData();
    for (uint32_t i = 0; i < kCurrentRanges; ++i) {
        const uint8_t range = static_cast<uint8_t>(i + 1);
        const uint32_t gain = convertCoefficient(format::kUnsigned31, map.getLowCurrentGain(i, status), status);
        gainPointer.writeCurrentRange(range, status);
        gainData.writeRegister(gain, status);
        const uint32_t offset = convertCoefficientSum(format::kSigned30, map.getResidualCurrentOffset(i, status),
                                                      map.getLowCurrentOffset(i, status), status);
        offsetPointer.writeCurrentRange(range, status);
        offsetData.writeRegister(offset, status);
        const uint32_t cmcGain = convertCoefficient(format::kSigned33, map.getLowCurrentCmcGain(i, status), status);
        cmcPointer.writeCurrentRange(range, status);
        cmcData.writeRegister(cmcGain, status);
    }
    const uint32_t gain = convertCoefficient(format::kUnsigned31, map.getThreeAmpGain(status), status);
    channel.ThreeAmpGain().writeRegister(gain, status);
    const uint32_t offset = convertCoefficientSum(format::kSigned30, map.getResidualCurrentOffset(kCurrentRanges, status),
                                                  map.getThreeAmpOffset(status), status);
    channel.ThreeAmpOffset().writeRegister(offset, status);
    const uint32_t cmcGain = convertCoefficient(format::kSigned33, map.getThreeAmpCmcGain(status), status);
    channel.ThreeAmpCmcGain().writeRegister(cmcGain, status);
}

void ChannelCalibrationLoader::writeChargeBalanceOffsets(CalibrationMap& map, tStatus& status) {
    // An uncalibrated range keeps what it holds; the step after a complete bring-up measures it.
    for (uint32_t j = 0; j < kChargeBalanceRanges; ++j) {
        const Coefficient stored = map.getChargeBalanceOffsets(j, status);
        if (status.isFatal()) return;
        if (isUncalibratedChargeBalanceOffset(stored)) continue;
        const uint32_t offset = convertCoefficient(format::kChargeBalance, stored, status);
        chargeBalance_->setOffset(static_cast<uint8_t>(j), offset, status);
    }
}

void ChannelCalibrationLoader::writePredictiveGains(CalibrationMap& map, tStatus& status) {
    auto pointer = channelMap_->PredictiveRangeGainPtrReg();
    auto data = channelMap_->PredictiveRangeGainTableReg();
    // Entry (o, i) sits at 8(o + 1) + (i + 1): 9 to 63. Both registers are written every time.
    for (uint32_t o = 0; o < kPredictiveRanges; ++o) {
        for (uint32_t i = 0; i < kPredictiveRanges; ++i) {
            const uint32_t gain =
                convertCoefficient(format::kPredictiveGain, map.getPredictiveGains(kPredictiveRanges * o + i, status),
                                   status);
            if (status.isFatal()) return;
            pointer.writeBits5_0(static_cast<uint8_t>(8 * (o + 1) + (i + 1)), status, true);
            data.writeRegister(gain, status, true);
        }
    }
}

}  // namespace kzvorn_driver
