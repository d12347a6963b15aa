#include "setupTeardownTask/channelCalibrationLoaders.h"

namespace kzvorn_driver {

namespace {

// The digipot's middle setting, for a board whose manufacturing record cannot be trusted.
constexpr uint8_t kDigipotMiddle = 128;

}  // namespace

ChannelCalibrationLoaders::ChannelCalibrationLoaders(kzvorn_regmaps::tTolvaneIsoFpgaRegMap* isoFpgaMap,
                                                     CalibrationControllersInterface* controllers,
                                                     StorageMaps* storageMaps, tStatus& status)
    : isoFpgaMap_(isoFpgaMap), storageMaps_(storageMaps) {
    if (status.isFatal()) return;
    for (uint32_t c = 0; c < StorageMaps::kChannelCount; ++c) {
        auto loader = kzhtl::makeShared<ChannelCalibrationLoader>(
            isoFpgaMap_->channelMap(c), storageMaps_->channelGroups[c],
            controllers->getChargeBalanceController(static_cast<uint8_t>(c)), status);
        if (!loader || !loaders_.push_back(kzhtl::move(loader), status)) return;
    }
    loadCalibrationToFirmware((uint64_t{1} << StorageMaps::kChannelCount) - 1, true, status);
}

void ChannelCalibrationLoaders::loadCalibrationToFirmware(uint64_t channelMask, bool validate, tStatus& status) {
    for (uint32_t c = 0; c < loaders_.size(); ++c) {
        if ((channelMask >> c) & 1) loaders_[c]->loadCalibrationToFirmware(validate, status);
    }
    const uint8_t setting = digipotSetting(validate, status);
    isoFpgaMap_->CmccDigiPotControl().writeBits7_0(setting, status, true);
}

uint8_t ChannelCalibrationLoaders::digipotSetting(bool validate, tStatus& status) {
    auto& manufacturing = storageMaps_->maps.manufacturing;
    if (validate && !manufacturing.isChecksumValid(status)) return kDigipotMiddle;
    return manufacturing.getCommonModeCurrentDigipot(status);
}

}  // namespace kzvorn_driver
