#include "fpga/autoFirmwareDownloader.h"

#include "fpga/firmware/firmwareFactory.h"
#include "quolinTools/firmwareDownload/quolinFirmwareDownloader.h"

namespace kzvorn_driver {

namespace {

constexpr const char* kSource = "fpga/AutoFirmwareDownloader";

// IO port 2's link settings for the non-isolated FPGA.
using tNisoIOPort = quolintools::IOPort2Template<0, 1, 3, quolintools::nIOPort2RegMap::IoPort2PllRange_t(7), 0,
                                                 false, true>;
// The bus interface's routing values once the non-isolated FPGA is loaded, and the ports.
constexpr uint8_t kNisoBusValueA = 2;
constexpr uint8_t kNisoBusValueB = 1;
constexpr uint8_t kNisoPort = 2;
constexpr uint8_t kIsoPort = 3;

using tNisoDownloader =
    quolintools::QuolinPortAwareFirmwareDownloaderTemplate<kNisoBusValueA, kNisoBusValueB, FirmwareDownloadTarget,
                                                           kNisoFpga, NisoFpgaFirmware::kOriginalSize, kNisoPort>;
using tIsoDownloader = quolintools::QuolinFirmwareDownloaderTemplate<FirmwareDownloadTarget, kIsoFpga,
                                                                     IsoFpgaFirmware::kOriginalSize, kIsoPort>;

}  // namespace

void AutoFirmwareDownloader::refuseTarget(tStatus& status) {
    nKZAPALS100::setCode(status, kStatusNoSuchFirmwareTarget, KZ_COMPONENT, kSource, __LINE__);
}

void AutoFirmwareDownloader::download(const Firmware& image, tStatus& status) {
    if (status.isFatal()) return;
    switch (image.getTarget()) {
        case kNisoFpga: {
            tNisoIOPort ioPort(&ioPort2_);
            tNisoDownloader(ioPort, bus_, core_).download(image, status);
            return;
        }
        case kIsoFpga: tIsoDownloader(core_).download(image, status); return;
        default: refuseTarget(status); return;
    }
}

void downloadFpgaFirmware(const nKZAPAL000::tEventDescriptor& context, uint64_t address, uint64_t size,
                          FirmwareDownloadTarget target, AutoFirmwareDownloader& downloader, bool& custom,
                          nKZAPALS100::tStatus& status) {
    if (status.isFatal()) return;
    FirmwareFactory factory;
    const kzhtl::SharedPtr<Firmware> image = factory.createFirmware(context, address, size, target, custom, status);
    if (status.isNotFatal() && image) downloader.download(*image, status);
}

}  // namespace kzvorn_driver
