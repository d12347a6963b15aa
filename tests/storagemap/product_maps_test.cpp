// The nineteen maps over the board's flash image: registration, validity, the values the board
// wrote, and the variants that spoil one record.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "maps_fixture.h"
#include "kal/sim/faults.h"

namespace storagemap_test {
namespace {


std::vector<std::string> registeredNames(storagemap::StorageMapDispatcher& registry) {
    std::vector<char> buffer(64 * registry.getNumberOfRegistrations());
    tStatus status;
    registry.getRegistrationNames(buffer.data(), status);
    std::vector<std::string> names;
    for (size_t i = 0; i < buffer.size(); i += 64) names.emplace_back(&buffer[i]);
    return names;
}

TEST(ProductMaps, AllNineteenRegisterInTheBoardsOrder) {
    MapsFixture f;
    EXPECT_EQ(f.buildStatus.getCode(), 0);
    std::vector<std::string> expected;
    for (const board::StoredRecord& record : board::storedRecords()) expected.emplace_back(record.name);
    EXPECT_EQ(registeredNames(f.registry), expected);

    // Each name reaches the map at the board's offset for that record.
    for (const board::StoredRecord& record : board::storedRecords()) {
        SCOPED_TRACE(record.name);
        tStatus status;
        auto* map = f.lookUp(versionedName(record).c_str(), status);
        ASSERT_EQ(status.getCode(), 0);
        uint32_t word = 0;
        // Posc has no 32-bit field: read its first four bytes one by one.
        if (record.checksummed) {
            map->getType12(0, 0, 1, &word, status);
        } else {
            map->getRaw(0, 0, 4, &word, 1, status);
        }
        EXPECT_EQ(word, board::FlashImage::standard().read32(record.offset));
    }
}

TEST(ProductMaps, TheStandardImageIsValid) {
    MapsFixture f;
    EXPECT_EQ(f.checksumResults(), std::vector<bool>(18, true));
    EXPECT_EQ(f.versionResults(), std::vector<bool>(18, true));
    tStatus status;
    for (CalibrationGroup& group : f.groups) {
        EXPECT_TRUE(group.areChecksumsValid(status));
        EXPECT_TRUE(group.areVersionsValid(status));
    }
    EXPECT_FALSE(f.maps.posc.isChecksumValid(status));
    EXPECT_EQ(status.getCode(), -240044);
}

TEST(ProductMaps, ErasedFlashFailsEveryCheck) {
    MapsFixture f(board::FlashImage::erased());
    EXPECT_EQ(f.checksumResults(), std::vector<bool>(18, false));
    EXPECT_EQ(f.versionResults(), std::vector<bool>(18, false));
}

// A spoilt record fails its own check only, and without a code: turning the result into a code
// is the checkers' business.
TEST(ProductMaps, ABadRecordFailsAloneWithoutACode) {
    size_t index = 0;
    for (const board::StoredRecord& record : board::storedRecords()) {
        if (!record.checksummed) continue;
        SCOPED_TRACE(record.name);
        std::vector<bool> expected(18, true);
        expected[index++] = false;
        {
            MapsFixture f(board::FlashImage::standard().corruptChecksum(record.name));
            EXPECT_EQ(f.checksumResults(), expected);
            EXPECT_EQ(f.versionResults(), std::vector<bool>(18, true));
        }
        {
            MapsFixture f(board::FlashImage::standard().breakVersion(record.name));
            EXPECT_EQ(f.checksumResults(), std::vector<bool>(18, true));
            EXPECT_EQ(f.versionResults(), expected);
        }
    }
}

TEST(ProductMaps, TheVersionRule) {
    struct Case {
        uint32_t version;
        uint32_t oldest;
        bool valid;
    };
    const Case cases[] = {
        {0x01000004, 0x01000004, true},
        {0x01000005, 0x01000004, true},   // newer format, still readable by this reader
        {0x01000005, 0x01000005, false},  // demands a newer reader
        {0x01000003, 0x01000003, false},  // older than anything this reader reads
        {0x01000004, 0x01000005, false},  // oldest above version
        {0x01000006, 0x01000003, true},
        {0xFFFFFFFF, 0xFFFFFFFF, false},  // erased
        {0, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.version << " " << c.oldest);
        MapsFixture f(board::FlashImage::standard().setVersions("ExternalCalibrationChannel2", c.version, c.oldest));
        tStatus status;
        EXPECT_EQ(f.groups[2].areVersionsValid(*f.groups[2].externalCalibration, status), c.valid);
        EXPECT_EQ(f.groups[2].areVersionsValid(status), c.valid);
        EXPECT_EQ(status.getCode(), 0);
    }
    // The system's own range must be well formed too.
    EXPECT_FALSE(vantrel_shared::isStoredVersionCompatible(0x01000004, 0x01000004, 0x01000003, 0x01000005));
    EXPECT_TRUE(vantrel_shared::isStoredVersionCompatible(0x01000004, 0x01000004, 0x01000005, 0x01000003));
}

// Device memory whose every read fails, so a map over it shows whether anyone read it.
class RefusingAccessor : public devicewindow::MemoryAccessor {
public:
    explicit RefusingAccessor(tStatus& status) : MemoryAccessor(board::kFlashSize, status) {}
    void read(uint64_t, uint64_t, char*, tStatus& status) override { status.code = -77; }
};

// Stops at the first invalid map: a bad factory map means the external and self maps are not
// read.
TEST(ProductMaps, AGroupStopsAtItsFirstInvalidMap) {
    MapsFixture f(board::FlashImage::standard().breakVersion("FactoryCalibrationChannel1").corruptChecksum(
        "FactoryCalibrationChannel1"));
    tStatus status;
    RefusingAccessor refusing(status);
    devicewindow::MemoryWindow refusingWindow(refusing, status);
    CalibrationStorageMap trap(0xD000, &refusingWindow, status);
    f.groups[1].externalCalibration = &trap;
    f.groups[1].selfCalibration = &trap;
    EXPECT_FALSE(f.groups[1].areVersionsValid(status));
    EXPECT_FALSE(f.groups[1].areChecksumsValid(status));
    EXPECT_EQ(status.getCode(), 0);
}

TEST(ProductMaps, ManufacturingAndHeaderHoldWhatTheBoardWrote) {
    MapsFixture f;
    tStatus status;
    auto& m = f.maps.manufacturing;
    EXPECT_EQ(m.getChecksum(status), board::FlashImage::standard().storedChecksum("Manufacturing"));
    EXPECT_EQ(m.getMapVersion(status), kManufacturingVersion);
    EXPECT_EQ(m.getOldestCompatibleMapVersion(0, status), kManufacturingVersion);
    EXPECT_EQ(m.getBoardSerialNumber(status), board::factory::kSerialNumber);
    EXPECT_EQ(m.getBoardRevision(status), board::factory::kBoardRevision);
    EXPECT_EQ(m.getOldestCompatibleBoardRevision(status), board::factory::kOldestCompatibleBoardRevision);
    EXPECT_EQ(m.getCommonModeCurrentDigipot(status), board::factory::kCommonModeCurrentDigipot);
    EXPECT_EQ(m.getSinkingBoardBiasDAC(status), board::factory::kSinkingBoardBiasDAC);

    auto& h = f.maps.header;
    EXPECT_EQ(h.getMapVersion(status), kHeaderVersion);
    kzhtl::String text("x", status);
    h.getPassword(text, status);
    EXPECT_STREQ(text.c_str(), "");
    h.getComments(text, status);
    EXPECT_STREQ(text.c_str(), board::factory::kComments);

    uint8_t posc[32768];
    f.maps.posc.getRaw(0, 0, 32768, posc, 1, status);
    EXPECT_EQ(std::memcmp(posc, board::FlashImage::standard().data(), sizeof posc), 0);
    EXPECT_EQ(f.maps.posc.getPOSC(32767, status), board::FlashImage::standard().data()[32767]);
    EXPECT_EQ(status.getCode(), 0);
}

TEST(ProductMaps, BoardRevisionVariantsKeepAValidRecord) {
    for (uint8_t revision : {0, 2}) {
        MapsFixture f(board::FlashImage::standard().setOldestCompatibleBoardRevision(revision));
        tStatus status;
        EXPECT_EQ(f.maps.manufacturing.getOldestCompatibleBoardRevision(status), revision);
        EXPECT_TRUE(f.maps.manufacturing.isChecksumValid(status));
        EXPECT_EQ(status.getCode(), 0);
    }
}

TEST(ProductMaps, CalibrationMapsHoldTheBoardsCoefficients) {
    using Getter = kztypes::FixedPoint128<> (kzvorn_storagemaps::CalibrationStorageMapInterface::*)(
        uint64_t, nKZAPALS100::tStatus&);
    struct Field {
        uint32_t boardOffset;
        uint32_t count;
        Getter get;
    };
    using Map = kzvorn_storagemaps::CalibrationStorageMapInterface;
    namespace r = board::record;
    const Field fields[] = {
        {r::kVoltageReferenceInVolts, 1, &Map::getVoltageReferenceInVolts},
        {r::kResistor5KReferenceInOhms, 1, &Map::getResistor5KReferenceInOhms},
        {r::kResidualLocalSenseOffset, 3, &Map::getResidualLocalSenseOffset},
        {r::kResidualRemoteSenseOffset, 3, &Map::getResidualRemoteSenseOffset},
        {r::kResidualCurrentOffset, 7, &Map::getResidualCurrentOffset},
        {r::kPredictiveGains, 49, &Map::getPredictiveGains},
        {r::kChargeBalanceOffsets, 4, &Map::getChargeBalanceOffsets},
        {r::kLowCurrentCmcGain, 6, &Map::getLowCurrentCmcGain},
        {r::kThreeAmpCmcGain, 1, &Map::getThreeAmpCmcGain},
        {r::kVoltageRemoteOffset, 3, &Map::getVoltageRemoteOffset},
        {r::kVoltageOffset, 3, &Map::getVoltageOffset},
        {r::kVoltageGain, 3, &Map::getVoltageGain},
        {r::kLowCurrentOffset, 6, &Map::getLowCurrentOffset},
        {r::kLowCurrentGain, 6, &Map::getLowCurrentGain},
        {r::kThreeAmpOffset, 1, &Map::getThreeAmpOffset},
        {r::kThreeAmpGain, 1, &Map::getThreeAmpGain},
    };
    MapsFixture f;
    tStatus status;
    for (uint32_t k = 0; k < 16; ++k) {
        SCOPED_TRACE(k);
        Map& map = f.maps.calibration[k];
        for (const Field& field : fields) {
            for (uint32_t i = 0; i < field.count; ++i) {
                const kztypes::FixedPoint128<> value = (map.*field.get)(i, status);
                EXPECT_EQ((board::Coefficient{value.low, value.high}),
                          board::factory::coefficient(k, field.boardOffset, i))
                    << "field at " << field.boardOffset << " element " << i;
            }
        }
        for (uint32_t i = 0; i < 7; ++i) EXPECT_EQ(map.getUnused2(i, status), board::factory::unused2(k, i));
        EXPECT_EQ(map.getUnused1(status).high, 0u);
        EXPECT_EQ(map.getTime(status).words[0], board::factory::kTime[0]);
        EXPECT_EQ(map.getCalibrationDueDate(status).words[0], board::factory::kCalibrationDueDate[0]);
        EXPECT_EQ(map.getCalibratedDacZeroV(status), board::factory::kCalibratedDacZeroV);
        EXPECT_EQ(map.getDACCurrentGainCoarse(status), board::factory::kDACCurrentGainCoarse);
        EXPECT_EQ(map.getDACCurrentGainFine(status), board::factory::kDACCurrentGainFine);
        uint64_t temperature = 0;
        f.maps.calibration[k].getRaw(12, 0, 1, &temperature, 8, status);
        EXPECT_EQ(temperature, board::factory::kTemperature);
    }
    EXPECT_EQ(status.getCode(), 0);
}

TEST(ProductMaps, AccessorsWriteTheFieldsTheBoardReads) {
    MapsFixture f;
    tStatus status;
    f.maps.manufacturing.setSinkingBoardBiasDAC(0xA1B2C3D4, status);
    EXPECT_EQ(f.cached(0x8013, 4), (std::vector<uint8_t>{0xD4, 0xC3, 0xB2, 0xA1}));
    f.maps.calibration[13].setPredictiveGains(kztypes::FixedPoint128<>{7, 9}, 48, status);
    EXPECT_EQ(status.getCode(), 0);
    f.maps.calibration[13].setPredictiveGains(kztypes::FixedPoint128<>{}, 49, status);
    EXPECT_EQ(status.getCode(), -240015);
    status.clear();
    f.maps.manufacturing.flush(false, status);
    f.maps.calibration[13].flush(false, status);
    EXPECT_EQ(status.getCode(), 0);

    board::FlashImage device = board::FlashImage::erased();
    device.write(0, f.device().data(), board::kFlashSize);
    EXPECT_TRUE(device.isChecksumValid("Manufacturing"));
    EXPECT_TRUE(device.isChecksumValid("SelfCalibrationChannel1"));
    EXPECT_EQ(device.read32(0x8000 + board::record::kSinkingBoardBiasDAC), 0xA1B2C3D4u);
    const uint32_t element =
        board::storedRecord("SelfCalibrationChannel1").offset + board::record::kPredictiveGains + 48 * 16;
    EXPECT_EQ(device.read32(element), 7u);
    EXPECT_EQ(device.read32(element + 8), 9u);
}

TEST(ProductMaps, ABuildOnAnErrorRegistersNothingAndTearsDownQuietly) {
    FlashFixture flash;
    storagemap::StorageMapDispatcher registry;
    tStatus status;
    status.code = -5;
    {
        TolvaneStorageMaps maps(&flash.window, &registry, status);
        EXPECT_EQ(registry.getNumberOfRegistrations(), 0u);
    }
    EXPECT_EQ(status.getCode(), -5);
}

// Each allocation of the build failing in turn: the names before it stay registered, the set
// still tears down, and nothing leaks.
TEST(ProductMaps, RegistrationFailuresKeepTheNamesBefore) {
    FlashFixture flash;
    for (uint64_t failAt = 1;; ++failAt) {
        const int64_t live = kal::sim::liveAllocations();
        bool failed;
        {
            storagemap::StorageMapDispatcher registry;
            tStatus status;
            kal::sim::FailAllocations fail(failAt);
            {
                TolvaneStorageMaps maps(&flash.window, &registry, status);
                failed = fail.triggered();
                if (!failed) {
                    EXPECT_EQ(registry.getNumberOfRegistrations(), 19u);
                } else {
                    EXPECT_EQ(status.getCode(), -52000);
                    EXPECT_LT(registry.getNumberOfRegistrations(), 19u);
                }
            }
            EXPECT_EQ(registry.getNumberOfRegistrations(), 0u);
        }
        EXPECT_EQ(kal::sim::liveAllocations(), live) << failAt;
        if (!failed) break;
        ASSERT_LT(failAt, 500u);
    }
}

}  // namespace
}  // namespace storagemap_test
