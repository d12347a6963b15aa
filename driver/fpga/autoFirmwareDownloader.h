// Loads an image into the FPGA its target names: the non-isolated FPGA through IO port 2 (the
// link enabled before, configured after, and the bus routed to it), the isolated FPGA through the
// isolation port.
#pragma once

#include <cstdint>

#include "fpga/firmware/firmwareDownloadTarget.h"
#include "kzapal/protons/deviceCore.h"
#include "quolinTools/armgen/IOPort2RegMap.h"
#include "quolinTools/armgen/Quolin.h"
#include "quolinTools/armgen/SwitchedQuolinBimRegMap.h"

namespace kzvorn_driver {

class AutoFirmwareDownloader : public kdut::FirmwareDownloaderInterface<FirmwareDownloadTarget> {
public:
    using tStatus = nKZAPALS100::tStatus;

    // Over the bridge and timing register-map set (PavoRegMaps): its bridge core, switched bus
    // interface and IO port 2 maps.
    template <class tRegMaps>
    explicit AutoFirmwareDownloader(tRegMaps& maps) : core_(maps.quolin), bus_(maps.bim), ioPort2_(maps.ioPort2) {}

    // 0xBFFA4302 for a target without a download path.
    void download(const Firmware& image, tStatus& status) override;

    // Records that refusal, with this downloader's source file.
    static void refuseTarget(tStatus& status);

private:
    quolintools::tQuolinWithOffset<0u>& core_;
    quolintools::tSwitchedQuolinBimRegMapWithOffset<0u>& bus_;
    quolintools::tIOPort2RegMapWithOffset<0u>& ioPort2_;
};

// Makes the target's image (the replacement at address when address and size are both not 0,
// else the built-in one), loads it and frees it; custom tells which image it was. The context is
// the request on whose behalf the replacement is read.
void downloadFpgaFirmware(const nKZAPAL000::tEventDescriptor& context, uint64_t address, uint64_t size,
                          FirmwareDownloadTarget target, AutoFirmwareDownloader& downloader, bool& custom,
                          nKZAPALS100::tStatus& status);
// The same through the bridge and timing register-map set.
template <class tRegMaps>
void downloadFpgaFirmware(const nKZAPAL000::tEventDescriptor& context, uint64_t address, uint64_t size,
                          FirmwareDownloadTarget target, tRegMaps& maps, bool& custom, nKZAPALS100::tStatus& status) {
    AutoFirmwareDownloader downloader(maps);
    downloadFpgaFirmware(context, address, size, target, downloader, custom, status);
}

}  // namespace kzvorn_driver
