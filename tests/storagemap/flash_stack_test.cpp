// The nineteen maps over the driver's flash stack (the SST25VF controller and the flash window) on
// the board's flash chip holding the board's image.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "flash/flashStack.h"
#include "maps_fixture.h"

namespace storagemap_test {
namespace {

struct StackFixture {
    explicit StackFixture(const board::FlashImage& image = board::FlashImage::standard())
        : stack(image.bytes()), maps(&stack.window, &registry, status) {}

    // The chip's contents as a board image, for the board's own checks.
    board::FlashImage chip() const {
        board::FlashImage image = board::FlashImage::erased();
        const std::vector<uint8_t> bytes = stack.flash.contents(0, board::kFlashSize);
        image.write(0, bytes.data(), bytes.size());
        return image;
    }
    // Addresses of the sector erases since the last call.
    std::vector<uint32_t> erasedSectors() {
        std::vector<uint32_t> sectors;
        for (const auto& entry : stack.flash.takeLog()) {
            if (entry.kind == board::SST25VFFlash::LogEntry::kTransfer &&
                entry.transfer.opcode == board::SST25VFFlash::kSectorErase) {
                sectors.push_back(entry.transfer.address);
            }
        }
        return sectors;
    }

    flash_test::FlashStack stack;
    storagemap::StorageMapDispatcher registry;
    tStatus status;
    TolvaneStorageMaps maps;
};

TEST(StorageMapsOnTheFlashChip, TheStandardImageReadsBackWhole) {
    StackFixture f;
    ASSERT_EQ(f.status.getCode(), 0);
    EXPECT_EQ(f.registry.getNumberOfRegistrations(), 19u);
    tStatus status;
    EXPECT_TRUE(f.maps.manufacturing.isChecksumValid(status));
    EXPECT_TRUE(f.maps.header.isChecksumValid(status));
    for (auto& map : f.maps.calibration) EXPECT_TRUE(map.isChecksumValid(status));
    EXPECT_TRUE(vantrel_shared::areStoredVersionsValid(f.maps.manufacturing, kManufacturingVersion,
                                                       kManufacturingVersion, status));
    EXPECT_TRUE(vantrel_shared::areStoredVersionsValid(f.maps.header, kHeaderVersion, kHeaderVersion, status));
    for (auto& map : f.maps.calibration) {
        EXPECT_TRUE(vantrel_shared::areStoredVersionsValid(map, kCalibrationVersion, kCalibrationVersion, status));
    }
    EXPECT_EQ(f.maps.manufacturing.getBoardSerialNumber(status), board::factory::kSerialNumber);
    EXPECT_EQ(f.maps.manufacturing.getOldestCompatibleBoardRevision(status),
              board::factory::kOldestCompatibleBoardRevision);
    EXPECT_EQ(f.maps.manufacturing.getSinkingBoardBiasDAC(status), board::factory::kSinkingBoardBiasDAC);
    const auto gain = f.maps.calibration[11].getVoltageGain(2, status);
    EXPECT_EQ((board::Coefficient{gain.low, gain.high}),
              board::factory::coefficient(11, board::record::kVoltageGain, 2));
    EXPECT_EQ(status.getCode(), 0);
    EXPECT_FALSE(f.maps.posc.isChecksumValid(status));
    EXPECT_EQ(status.getCode(), -240044);
    // Reading erased nothing.
    EXPECT_TRUE(f.erasedSectors().empty());
}

TEST(StorageMapsOnTheFlashChip, AFlushRewritesOnlyTheSectorsThatChanged) {
    StackFixture f;
    tStatus status;
    kztypes::FixedPoint128<> gain;
    gain.low = 0x80000000;
    gain.high = 0x00400000;
    CalibrationStorageMap& external1 = f.maps.calibration[9];
    external1.setVoltageGain(gain, 1, status);
    f.maps.posc.setPOSC(0x42, 0x6123, status);
    external1.flush(false, status);
    f.maps.posc.flush(false, status);
    EXPECT_EQ(status.getCode(), 0);
    EXPECT_EQ(f.erasedSectors(), (std::vector<uint32_t>{0x12000 + 0x1000, 0x6000}));

    const board::FlashImage chip = f.chip();
    EXPECT_TRUE(chip.isChecksumValid("ExternalCalibrationChannel1"));
    const uint32_t element =
        board::storedRecord("ExternalCalibrationChannel1").offset + board::record::kVoltageGain + 16;
    EXPECT_EQ(chip.read32(element), 0x80000000u);
    EXPECT_EQ(chip.read32(element + 8), 0x00400000u);
    EXPECT_EQ(chip.data()[0x6123], 0x42);

    // Unchanged maps write nothing without force; a forced flush rewrites all sectors of its map.
    for (auto& map : f.maps.calibration) map.flush(false, status);
    f.maps.manufacturing.flush(false, status);
    EXPECT_TRUE(f.erasedSectors().empty());
    f.maps.header.flush(true, status);
    EXPECT_EQ(f.erasedSectors(), (std::vector<uint32_t>{0x9000}));
    EXPECT_EQ(status.getCode(), 0);
}

TEST(StorageMapsOnTheFlashChip, AFlushMendsABadChecksumOnTheChip) {
    StackFixture f(board::FlashImage::standard().corruptChecksum("Manufacturing"));
    tStatus status;
    EXPECT_FALSE(f.maps.manufacturing.isChecksumValid(status));
    f.maps.manufacturing.flush(false, status);
    EXPECT_EQ(status.getCode(), 0);
    EXPECT_EQ(f.erasedSectors(), (std::vector<uint32_t>{0x8000}));
    EXPECT_TRUE(f.chip().isChecksumValid("Manufacturing"));
    EXPECT_TRUE(f.maps.manufacturing.isChecksumValid(status));
}

}  // namespace
}  // namespace storagemap_test
