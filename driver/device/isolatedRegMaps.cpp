#include "device/isolatedRegMaps.h"

#include "kzapal/protons/memory.h"
#include "kzkal/memory.h"
#include "kzapal/protons/statusCodes.h"

namespace kzvorn_driver {

namespace {

constexpr const char* kIsoFpgaMapName = "TolvaneIsoFpgaRegMap";
// The map's name, "_" and each channel map's own name.
#define KZ_ISO_CHANNEL_MAP_NAME(c) "TolvaneIsoFpgaRegMap_TolvaneIsoChannel" #c "_TolvaneIsoChannelRegMap"
constexpr const char* kChannelMapNames[kzvorn_regmaps::tTolvaneIsoFpgaRegMap::kChannelMapCount] = {
    KZ_ISO_CHANNEL_MAP_NAME(0), KZ_ISO_CHANNEL_MAP_NAME(1), KZ_ISO_CHANNEL_MAP_NAME(2), KZ_ISO_CHANNEL_MAP_NAME(3),
    KZ_ISO_CHANNEL_MAP_NAME(4), KZ_ISO_CHANNEL_MAP_NAME(5), KZ_ISO_CHANNEL_MAP_NAME(6)};
#undef KZ_ISO_CHANNEL_MAP_NAME

constexpr uint64_t kWordBytes = 4;

}  // namespace

void FrontEndAccessorToDeviceWindowAdapter::read(uint64_t index, uint64_t count, char* destination, tStatus& status) {
    if (status.isFatal()) return;
    if (count != kWordBytes) return void(KZ_SET_CODE(status, nKZAPALS100::kStatusBadParameter));
    const uint32_t word = accessor_->read32(uint32_t(index), status);
    if (status.isNotFatal()) nKZKAL180_memCpy(destination, &word, sizeof word);
}

void FrontEndAccessorToDeviceWindowAdapter::write(const char* source, uint64_t index, uint64_t count,
                                                  tStatus& status) {
    if (status.isFatal()) return;
    if (count != kWordBytes) return void(KZ_SET_CODE(status, nKZAPALS100::kStatusBadParameter));
    uint32_t word = 0;
    nKZKAL180_memCpy(&word, source, sizeof word);
    accessor_->write32(uint32_t(index), word, status);
}

IsolatedRegMaps::IsolatedRegMaps(tNisoFpgaRegMap& niso, armki::ARMDispatcher& registry,
                                 devicewindow::DeviceWindowDispatcher& windows,
                                 kdut::HardwareStateCheckerComposite& checkers, bool customImage, tStatus& status)
    : registry_(registry),
      windows_(windows),
      channelAccessors_{{niso, 0, checkers, status},
                        {niso, 1, checkers, status},
                        {niso, 2, checkers, status},
                        {niso, 3, checkers, status}},
      boardAccessor_(niso, kBoardPort, checkers, status),
      adapter_(boardAccessor_, kWindowSize),
      window_(adapter_, status),
      isoFpga_(&boardAccessor_, status) {
    // The isolated FPGA learns that it runs a replacement image; the bit is a strobe.
    if (customImage) isoFpga_.IsoFpgaConfigReg().writeBit31(1, status);
    if (status.isFatal()) return;
    for (unsigned c = 0; c < kChannelCount; ++c) {
        channelMaps_[c] = isoFpga_.channelMap(c);
        channelMaps_[c]->setAccessor(&channelAccessors_[c]);
    }
    registry_.add(kIsoFpgaMapName, isoFpga_, status);
    for (unsigned c = 0; c < kzvorn_regmaps::tTolvaneIsoFpgaRegMap::kChannelMapCount; ++c)
        registry_.add(kChannelMapNames[c], *isoFpga_.channelMap(c), status);
    windows_.add(kWindowName, window_, status);
}

IsolatedRegMaps::~IsolatedRegMaps() {
    tStatus dropped;
    windows_.remove(kWindowName, dropped);
    tStatus removed;
    registry_.remove(kIsoFpgaMapName, removed);
    for (const char* name : kChannelMapNames) {
        tStatus each;
        registry_.remove(name, each);
    }
    for (tChannelMap*& map : channelMaps_) map = nullptr;
}

}  // namespace kzvorn_driver
