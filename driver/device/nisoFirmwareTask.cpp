// Setup level 4: the non-isolated FPGA's image, the caller's replacement or the built-in one,
// loaded through IO port 2.
#include "device/tolvaneHelper.h"
#include "fpga/autoFirmwareDownloader.h"
#include "kzapal/protons/statusCodes.h"

namespace kzvorn_driver {

void TolvaneHelper::stepNisoFirmware(nKZAPALS100::tStatus& status) {
    customNisoImage_ = false;
    if (status.isFatal()) return;
    // A faked level 3 leaves no register maps to load through.
    PavoRegMaps* maps = pavoObjects_ != nullptr ? pavoObjects_->getRegMaps() : nullptr;
    if (maps == nullptr) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusResourceNotFound);
        return;
    }
    // The context only names the request the caller's memory is read for.
    const nKZAPAL000::tEventDescriptor noRequest{nullptr};
    downloadFpgaFirmware(context_.request != nullptr ? *context_.request : noRequest, parameters_.nisoFpgaImage,
                         parameters_.nisoFpgaImageSize, kNisoFpga, *maps, customNisoImage_, status);
}

}  // namespace kzvorn_driver
