// Loads an image into the FPGA its target names: the non-isolated FPGA through IO port 2 (the
// link enabled before, configured after, and the bus routed to it), the isolated FPGA through the
// isolation port.
#pragma once

#include <cstdint>

#include "device/pavoRegMaps.h"
#include "fpga/firmware/firmwareDownloadTarget.h"
#include "kzapal/protons/deviceCore.h"

namespace kzvorn_driver {

class AutoFirmwareDownloader : public kdut::FirmwareDownloaderInterface<FirmwareDownloadTarget> {
public:
    using tStatus = nKZAPALS100::tStatus;

    explicit AutoFirmwareDownloader(PavoRegMaps& maps) : maps_(maps) {}

    // 0xBFFA4302 for a target without a download path.
    void download(const Firmware& image, tStatus& status) override;

    // Records that refusal, with this downloader's source file.
    static void refuseTarget(tStatus& status);

private:
    PavoRegMaps& maps_;
};

// Makes the target's image (the replacement at address when address and size are both not 0,
// else the built-in one), loads it and frees it; custom tells which image it was. The context is
// the request on whose behalf the replacement is read.
void downloadFpgaFirmware(const nKZAPAL000::tEventDescriptor& context, uint64_t address, uint64_t size,
                          FirmwareDownloadTarget target, PavoRegMaps& maps, bool& custom,
                          nKZAPALS100::tStatus& status);

}  // namespace kzvorn_driver
