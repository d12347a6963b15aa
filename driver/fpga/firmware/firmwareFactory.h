// Makes the image a download loads: a caller's replacement copied from user memory, or the
// built-in image decompressed from the block the system carries.
#pragma once

#include <cstdint>

#include <lz4.h>

#include "fpga/firmware/firmwareDownloadTarget.h"
#include "fpga/statusCodes.h"
#include "kzapal/protons/deviceCore.h"
#include "kzapal/protons/memory.h"
#include "kzhtl/sharedPtr.h"
#include "stowlyImages.h"

namespace kzvorn_driver {

using NisoFpgaFirmware = kdut::StowlyFirmware<FirmwareDownloadTarget, kNisoFpga, stowly_TolvaneNisoFpga_bin,
                                              stowly_TolvaneNisoFpga_bin_size, stowly_TolvaneNisoFpga_bin_original_size>;
using IsoFpgaFirmware = kdut::StowlyFirmware<FirmwareDownloadTarget, kIsoFpga, stowly_TolvaneIsoFpga_bin,
                                             stowly_TolvaneIsoFpga_bin_size, stowly_TolvaneIsoFpga_bin_original_size>;
// The sequencer package's block; its level decompresses it itself.
using SubroutineDataFirmware =
    kdut::StowlyFirmware<FirmwareDownloadTarget, kSubroutineData, stowly_TolvaneSubroutineData_bin,
                         stowly_TolvaneSubroutineData_bin_size, stowly_TolvaneSubroutineData_bin_original_size>;

class FirmwareFactory {
public:
    using tStatus = nKZAPALS100::tStatus;

    // A replacement when both address and size are not 0 (custom set), else the built-in image
    // (custom cleared). A replacement whose target has no built-in image, or whose size is not
    // that image's, is refused before anything is allocated or copied. Empty on failure.
    kzhtl::SharedPtr<Firmware> createFirmware(const nKZAPAL000::tEventDescriptor& context, uint64_t address,
                                              uint64_t size, FirmwareDownloadTarget target, bool& custom,
                                              tStatus& status);
    // Targets 0 and 1; 0xBFFA4302 and null for any other. The object may come back with the
    // status holding an error: the caller deletes it.
    Firmware* createBuiltInFirmware(FirmwareDownloadTarget target, tStatus& status);

    // The image of one embedded block. The block must decompress to exactly the image's size,
    // else 0xBFFA806B. Null only when the object itself could not be allocated.
    template <class tImage>
    static tImage* createStowlyFirmware(tStatus& status);

    // The size a replacement for the target must have; false for a target without a built-in image.
    static bool builtInSize(FirmwareDownloadTarget target, uint64_t& size);

private:
    static void refuseDecompression(tStatus& status);
};

template <class tImage>
tImage* FirmwareFactory::createStowlyFirmware(tStatus& status) {
    static_assert(tImage::kCompressedSize <= LZ4_MAX_INPUT_SIZE && tImage::kOriginalSize <= LZ4_MAX_INPUT_SIZE,
                  "one LZ4 block");
    if (status.isFatal()) return nullptr;
    tImage* image = new (status) tImage();
    // Every byte is decompressed into, or the image is refused.
    if (image == nullptr || !image->bytes().resizeForOverwrite(tImage::kOriginalSize, status)) return image;
    const int decoded = LZ4_decompress_safe(reinterpret_cast<const char*>(tImage::block()),
                                            reinterpret_cast<char*>(image->bytes().data()),
                                            static_cast<int>(tImage::kCompressedSize),
                                            static_cast<int>(tImage::kOriginalSize));
    // A damaged or short block must not reach an FPGA as a partly zero image.
    if (decoded < 0 || static_cast<uint64_t>(decoded) != tImage::kOriginalSize) refuseDecompression(status);
    return image;
}

}  // namespace kzvorn_driver
