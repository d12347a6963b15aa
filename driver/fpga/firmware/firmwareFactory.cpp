#include "fpga/firmware/firmwareFactory.h"

#include "fpga/autoFirmwareDownloader.h"
#include "kzapal/protons/userMemory.h"
#include "quolinTools/firmwareDownload/quolinFirmwareDownloader.h"
#include "quolinTools/statusCodes.h"

namespace kzvorn_driver {

namespace {
constexpr const char* kSource = "fpga/firmware/FirmwareFactory";
}

bool FirmwareFactory::builtInSize(FirmwareDownloadTarget target, uint64_t& size) {
    switch (target) {
        case kNisoFpga: size = NisoFpgaFirmware::kOriginalSize; return true;
        case kIsoFpga: size = IsoFpgaFirmware::kOriginalSize; return true;
        default: return false;
    }
}

void FirmwareFactory::refuseDecompression(tStatus& status) {
    nKZAPALS100::setCode(status, quolintools::kStatusFirmwareSizeMismatch, KZ_COMPONENT, kSource, __LINE__);
}

Firmware* FirmwareFactory::createBuiltInFirmware(FirmwareDownloadTarget target, tStatus& status) {
    if (status.isFatal()) return nullptr;
    switch (target) {
        case kNisoFpga: return createStowlyFirmware<NisoFpgaFirmware>(status);
        case kIsoFpga: return createStowlyFirmware<IsoFpgaFirmware>(status);
        default: nKZAPALS100::setCode(status, kStatusNoSuchFirmwareTarget, KZ_COMPONENT, kSource, __LINE__); return nullptr;
    }
}

kzhtl::SharedPtr<Firmware> FirmwareFactory::createFirmware(const nKZAPAL000::tEventDescriptor& context,
                                                           uint64_t address, uint64_t size,
                                                           FirmwareDownloadTarget target, bool& custom,
                                                           tStatus& status) {
    if (status.isFatal()) return kzhtl::SharedPtr<Firmware>();
    Firmware* image = nullptr;
    if (address != 0 && size != 0) {
        custom = true;
        // The caller's size never reaches the allocator: the downloader would refuse any other
        // size after the copy, and a 64-bit size could ask for any amount of kernel memory.
        uint64_t expected = 0;
        if (!builtInSize(target, expected)) {
            AutoFirmwareDownloader::refuseTarget(status);
        } else if (size != expected) {
            quolintools::refuseFirmwareSize(status);
        }
        if (status.isFatal()) return kzhtl::SharedPtr<Firmware>();
        auto* replacement = new (status) kdut::CustomFirmware<FirmwareDownloadTarget>(target);
        // Every byte is copied in, or the status fails and the image is deleted.
        if (replacement != nullptr && replacement->bytes().resizeForOverwrite(size, status)) {
            nKZAPAL000::tUserBuffer(context, address, size, status)
                .readFromBuffer(0, replacement->bytes().data(), static_cast<uint32_t>(size), status);
        }
        image = replacement;
    } else {
        custom = false;
        image = createBuiltInFirmware(target, status);
    }
    // Deletes the image when the status holds an error or the pointer's block cannot be allocated.
    return kzhtl::SharedPtr<Firmware>(image, status);
}

}  // namespace kzvorn_driver
