// One download of the built-in non-isolated FPGA image (274,001 64-bit stores and 4 byte writes)
// by the device's downloader over the level-3 register maps of a device on the board.
#include <memory>

#include "benchDevice.h"
#include "benchSupport.h"
#include "device/pavoObjects.h"
#include "device/tolvaneHelper.h"
#include "fpga/autoFirmwareDownloader.h"
#include "fpga/firmware/firmwareFactory.h"

namespace {

using namespace kzvorn_driver;
using nKZAPALS100::tStatus;

constexpr uint64_t kStores = 274001;

// Only the level-3 maps are needed: the levels above are stand-ins.
BringUpPlan level3Plan() {
    BringUpPlan plan;
    plan.fakeDownloads();
    plan.fakeLevels(4, kzvorn_shared::SetupLevel::kHighest, BringUpPlan::kSucceed);
    return plan;
}

bench::BenchDevice& device() {
    static bench::BenchDevice device(level3Plan());
    return device;
}

const Firmware& image() {
    static std::unique_ptr<Firmware> image = [] {
        tStatus status;
        std::unique_ptr<Firmware> made(FirmwareFactory().createBuiltInFirmware(kNisoFpga, status));
        return status.isFatal() ? nullptr : std::move(made);
    }();
    return *image;
}

bool download() {
    tStatus status;
    AutoFirmwareDownloader(*device().device()->getHelper()->getPavoObjects()->getRegMaps()).download(image(), status);
    return status.isNotFatal();
}

}  // namespace

int main(int argc, char** argv) {
    if (!device().ok()) {
        std::fprintf(stderr, "download-bench: the device was not added\n");
        return 1;
    }
    if (image().size() != kStores * 8 + 4) {
        std::fprintf(stderr, "download-bench: the built-in image is not %llu stores and 4 bytes\n",
                     static_cast<unsigned long long>(kStores));
        return 1;
    }
    if (bench::underValgrind()) {
        const std::string label = "fpga-download per=" + std::to_string(kStores);
        return bench::countInstructions(label, 1, download) ? 0 : 1;
    }
    bench::Runner runner(argc, argv, "download-bench");
    const double ns = runner.time("FPGA download", download);
    if (ns > 0) std::printf("median: one download %.3f ms, %.2f ns per 64-bit store\n", ns / 1e6, ns / kStores);
    bench::printCountGoal("FPGA download, per 64-bit store (status reads included)", "at most 15 driver instructions");
    return runner.exitCode();
}
