// The image objects, the factory and the downloaders on the device's own register maps, against a
// configuration port that accepts any image, so short images can stand in for the real ones.
#include <algorithm>
#include <cstring>
#include <functional>

#include "board/crc32.h"
#include "fpga/autoFirmwareDownloader.h"
#include "fpga/firmware/firmwareFactory.h"
#include "fpga/fixture.h"
#include "kal/sim/faults.h"
#include "quolinTools/firmwareDownload/quolinFirmwareDownloader.h"

using namespace fpgatest;

namespace {

using tStatusExtended = nKZAPALS100::tStatusExtended;
using tImage = kdut::CustomFirmware<FirmwareDownloadTarget>;

constexpr int64_t kNoSuchTarget = KZ_DEVICE_CODE(0xBFFA4302);
constexpr int64_t kTargetMismatch = KZ_DEVICE_CODE(0xBFFA806A);
constexpr int64_t kSizeMismatch = KZ_DEVICE_CODE(0xBFFA806B);

std::unique_ptr<tImage> imageOf(FirmwareDownloadTarget target, size_t size) {
    auto image = std::make_unique<tImage>(target);
    tStatus status;
    image->bytes().resize(size, status);
    for (size_t i = 0; i < size; ++i) image->bytes()[i] = static_cast<uint8_t>(i * 7 + 1);
    return image;
}

using tDownload = std::function<void(PavoRegMaps&, const Firmware&, tStatus&)>;

// The two load paths with the expected size a test's own.
template <uint64_t kSize>
void throughIOPort2(PavoRegMaps& maps, const Firmware& image, tStatus& status) {
    quolintools::IOPort2Template<0, 1, 3, quolintools::nIOPort2RegMap::IoPort2PllRange_t(7), 0, false, true> link(
        &maps.ioPort2);
    quolintools::QuolinPortAwareFirmwareDownloaderTemplate<2, 1, FirmwareDownloadTarget, kNisoFpga, kSize, 2>(
        link, maps.bim, maps.quolin)
        .download(image, status);
}

template <uint64_t kSize>
void throughIsolationPort(PavoRegMaps& maps, const Firmware& image, tStatus& status) {
    quolintools::QuolinFirmwareDownloaderTemplate<FirmwareDownloadTarget, kIsoFpga, kSize, 3>(maps.quolin)
        .download(image, status);
}

// The record holds as much of the component's name as fits.
const std::string kComponent = std::string(KZ_COMPONENT).substr(0, nKZAPALS100::kStatusComponentSize - 1);

bool touchesBusInterface(const board::AccessLog& log) {
    const std::vector<board::Access> entries = log.entries();
    return std::any_of(entries.begin(), entries.end(), [](const board::Access& a) {
        return a.bar == 0 && a.offset >= board::bar0::kSwitchedBusInterface &&
               a.offset < board::bar0::kSwitchedBusInterface + board::bar0::kSwitchedBusInterfaceSize;
    });
}

class Downloaders : public Level4 {
protected:
    void SetUp() override {
        Level4::SetUp();
        board::ProductOptions options;
        options.fpga.acceptAny = true;
        add(options);
        blocks_->bus.clearTransactions();
        // The isolation port takes data only in the isolation link's state 1.
        blocks_->nonIsolatedFpga.commandIsoComm(1);
    }
};

}  // namespace

// Words and tail bytes share one transfer counter, starting at 1, with a status read after every
// 30th; the isolation port's path never touches IO port 2 or the bus interface.
TEST_F(Downloaders, ShortImagesGoOutAsWordsAndTailBytes) {
    struct Case {
        const char* name;
        tDownload download;
        FirmwareDownloadTarget target;
        size_t size;
        uint64_t words;
        uint64_t tailBytes;
        std::vector<uint64_t> streamingReads;  // status reads after these transfers, before the last
        bool throughIOPort2;
    };
    const Case cases[] = {
        {"5 bytes", throughIOPort2<5>, kNisoFpga, 5, 0, 5, {}, true},
        {"29 words and 3 bytes", throughIOPort2<235>, kNisoFpga, 235, 29, 3, {30}, true},
        {"61 words", throughIOPort2<488>, kNisoFpga, 488, 61, 0, {30, 60}, true},
        {"isolation port", throughIsolationPort<235>, kIsoFpga, 235, 29, 3, {30}, false},
    };
    for (const Case& c : cases) {
        board_->log().clear();
        blocks_->bus.clearTransactions();
        const std::unique_ptr<tImage> image = imageOf(c.target, c.size);
        tStatus status;
        c.download(maps(), *image, status);
        EXPECT_EQ(status.code, 0) << c.name;
        const Port::Load load = lastLoad();
        EXPECT_EQ(load.port, c.throughIOPort2 ? 2u : 3u) << c.name;
        EXPECT_EQ(load.stores64, c.words) << c.name;
        EXPECT_EQ(load.byteWrites, c.tailBytes) << c.name;
        EXPECT_EQ(load.crc, board::crc32(image->data(), c.size)) << c.name;
        std::vector<uint64_t> streaming;
        for (uint64_t after : load.statusReadsAfter)
            if (after > 0 && after < c.words + c.tailBytes) streaming.push_back(after);
        EXPECT_EQ(streaming, c.streamingReads) << c.name;
        EXPECT_EQ(touchesBusInterface(board_->log()), c.throughIOPort2) << c.name;
        EXPECT_EQ(blocks_->bus.transactions().empty(), !c.throughIOPort2) << c.name;
    }
}

// A downloader refuses an image for another target, or of another size, before any register.
TEST_F(Downloaders, AnImageTheDownloaderDoesNotLoadTouchesNoRegister) {
    struct Case {
        const char* name;
        tDownload download;
        FirmwareDownloadTarget target;
        size_t size;
        int64_t status;
    };
    const Case cases[] = {
        {"isolation port, non-isolated image", throughIsolationPort<235>, kNisoFpga, 235, kTargetMismatch},
        {"isolation port, one byte long", throughIsolationPort<235>, kIsoFpga, 236, kSizeMismatch},
        {"auto, package target", [](PavoRegMaps& maps, const Firmware& image,
                                    tStatus& status) { AutoFirmwareDownloader(maps).download(image, status); },
         kSubroutineData, 235, kNoSuchTarget},
    };
    for (const Case& c : cases) {
        board_->log().clear();
        tStatusExtended status;
        c.download(maps(), *imageOf(c.target, c.size), status);
        EXPECT_EQ(status.code, c.status) << c.name;
        EXPECT_EQ(status.component, kComponent) << c.name;
        EXPECT_STREQ(status.file, c.status == kNoSuchTarget ? "fpga/AutoFirmwareDownloader"
                                                            : "quolinTools/firmwareDownload/QuolinFirmwareDownloader")
            << c.name;
        EXPECT_TRUE(board_->log().entries().empty()) << c.name;
    }
}

TEST(FirmwareFactory, BuiltInImagesAreTheEmbeddedBlocksDecompressed) {
    FirmwareFactory factory;
    for (FirmwareDownloadTarget target : {kNisoFpga, kIsoFpga}) {
        tStatus status;
        std::unique_ptr<Firmware> image(factory.createBuiltInFirmware(target, status));
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(status.code, 0);
        EXPECT_EQ(image->getTarget(), target);
        const std::vector<uint8_t> expected = stowly::builtInFpgaImage(static_cast<uint16_t>(target));
        ASSERT_EQ(image->size(), expected.size());
        EXPECT_EQ(0, std::memcmp(image->data(), expected.data(), expected.size()));
    }
    tStatusExtended status;
    EXPECT_EQ(factory.createBuiltInFirmware(kSubroutineData, status), nullptr) << "level 10 decompresses it";
    EXPECT_EQ(status.code, kNoSuchTarget);
    EXPECT_STREQ(status.file, "fpga/firmware/FirmwareFactory");
}

// A block that is damaged, or decompresses to less than the image's size, makes no image: the
// factory refuses it and deletes the object, and nothing goes out.
unsigned char gTruncatedBlock[stowly_TolvaneNisoFpga_bin_size / 2];

TEST_F(Downloaders, ABlockThatDoesNotDecompressToTheImagesSizeIsRefused) {
    std::memcpy(gTruncatedBlock, stowly_TolvaneNisoFpga_bin, sizeof gTruncatedBlock);
    using Truncated = kdut::StowlyFirmware<FirmwareDownloadTarget, kNisoFpga, gTruncatedBlock, sizeof gTruncatedBlock,
                                           stowly_TolvaneNisoFpga_bin_original_size>;
    // The real block, which holds one byte fewer than this image claims.
    using OneByteShort = kdut::StowlyFirmware<FirmwareDownloadTarget, kNisoFpga, stowly_TolvaneNisoFpga_bin,
                                              stowly_TolvaneNisoFpga_bin_size,
                                              stowly_TolvaneNisoFpga_bin_original_size + 1>;
    const std::function<Firmware*(tStatus&)> creators[] = {
        [](tStatus& status) -> Firmware* { return FirmwareFactory::createStowlyFirmware<Truncated>(status); },
        [](tStatus& status) -> Firmware* { return FirmwareFactory::createStowlyFirmware<OneByteShort>(status); },
    };
    const int64_t before = kal::sim::liveAllocations();
    for (const auto& create : creators) {
        tStatus status;
        const kzhtl::SharedPtr<Firmware> image(create(status), status);
        EXPECT_EQ(status.code, kSizeMismatch);
        EXPECT_EQ(image, nullptr);
    }
    EXPECT_EQ(kal::sim::liveAllocations(), before);
    EXPECT_TRUE(board_->log().entries().empty());
}

// Which image the factory makes, and that a replacement of another size or target is refused
// before a byte is allocated for it.
TEST_F(Downloaders, TheFactoryCopiesOnlyAReplacementOfTheRightTargetAndSize) {
    CallerImage replacement(stowly::buildFpgaImage(0, kTargetSignature, kImageSize));
    const nKZAPAL000::tEventDescriptor request{nullptr};
    FirmwareFactory factory;
    struct Case {
        const char* name;
        uint64_t address;
        uint64_t size;
        FirmwareDownloadTarget target;
        int64_t status;
        const char* file;
        bool custom;
        bool replacementBytes;
    };
    const Case cases[] = {
        {"replacement", replacement.address(), kImageSize, kNisoFpga, 0, "", true, true},
        {"no address", 0, kImageSize, kNisoFpga, 0, "", false, false},
        {"no size", replacement.address(), 0, kNisoFpga, 0, "", false, false},
        {"one byte short", replacement.address(), kImageSize - 1, kNisoFpga, kSizeMismatch,
         "quolinTools/firmwareDownload/QuolinFirmwareDownloader", true, false},
        {"2^64 - 1 bytes", replacement.address(), ~uint64_t{0}, kNisoFpga, kSizeMismatch,
         "quolinTools/firmwareDownload/QuolinFirmwareDownloader", true, false},
        {"the isolated FPGA's size", replacement.address(), stowly::kIsoFpgaImageSize, kNisoFpga, kSizeMismatch,
         "quolinTools/firmwareDownload/QuolinFirmwareDownloader", true, false},
        {"package target", replacement.address(), kImageSize, kSubroutineData, kNoSuchTarget,
         "fpga/AutoFirmwareDownloader", true, false},
    };
    for (const Case& c : cases) {
        tStatusExtended status;
        bool custom = !c.custom;
        kal::sim::markLargestAllocation();
        const kzhtl::SharedPtr<Firmware> image =
            factory.createFirmware(request, c.address, c.size, c.target, custom, status);
        EXPECT_EQ(status.code, c.status) << c.name;
        EXPECT_EQ(custom, c.custom) << c.name;
        if (c.status != 0) {
            EXPECT_EQ(image, nullptr) << c.name;
            EXPECT_EQ(status.component, kComponent) << c.name;
            EXPECT_STREQ(status.file, c.file) << c.name;
            EXPECT_LT(kal::sim::largestAllocationSinceMark(), 4096u) << c.name;
            continue;
        }
        ASSERT_NE(image, nullptr) << c.name;
        EXPECT_EQ(image->size(), kImageSize) << c.name;
        const std::vector<uint8_t> expected =
            c.replacementBytes ? replacement.bytes : stowly::builtInFpgaImage(0);
        EXPECT_EQ(0, std::memcmp(image->data(), expected.data(), kImageSize)) << c.name;
    }
}
