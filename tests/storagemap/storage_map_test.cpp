// The storage-map base: check order of the accessors, element conversions, strings, the checksum.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "flash_fixture.h"
#include "kal/sim/faults.h"
#include "kzvoltixCalibrationTools/storageMaps/headerStorageMap.h"
#include "kzvorn_storageMaps/calibrationStorageMap.h"
#include "kzvorn_storageMaps/poscStorageMap.h"
#include "storageMap/storageMapCommon.h"

namespace storagemap_test {
namespace {

using kzvorn_storagemaps::CalibrationStorageMap;
using kzvoltixcalibrationtools::HeaderStorageMap;
using storagemap::FieldInfo;

constexpr uint64_t kCalibration0 = 0xA000;  // DefaultCalibrationChannel0
constexpr uint64_t kHeader = 0x9000;

enum class Op { Get12, Set12, Get9, Set9, Get0, GetRaw, SetRaw };

struct AccessCase {
    const char* what;
    Op op;
    uint32_t id;
    uint64_t start;
    uint64_t count;
    bool null;
    uint64_t elementSize;  // raw accesses only
    int64_t code;
};

void run(CalibrationStorageMap& map, const AccessCase& c, tStatus& status) {
    alignas(16) uint8_t buffer[49 * 16] = {};
    void* elements = c.null ? nullptr : buffer;
    switch (c.op) {
    case Op::Get12: map.getType12(c.id, c.start, c.count, static_cast<uint32_t*>(elements), status); break;
    case Op::Set12: map.setType12(c.id, c.start, c.count, static_cast<uint32_t*>(elements), status); break;
    case Op::Get9: map.getType9(c.id, c.start, c.count, static_cast<uint8_t*>(elements), status); break;
    case Op::Set9: map.setType9(c.id, c.start, c.count, static_cast<uint8_t*>(elements), status); break;
    case Op::Get0:
        map.getType0(c.id, c.start, c.count, static_cast<kztypes::FixedPoint128<>*>(elements), status);
        break;
    case Op::GetRaw: map.getRaw(c.id, c.start, c.count, elements, c.elementSize, status); break;
    case Op::SetRaw: map.setRaw(c.id, c.start, c.count, elements, c.elementSize, status); break;
    }
}

// Each access reports exactly the first check that fails: field, pointer, range, then the
// checksum field and the type (typed) or the element size and the checksum field (raw).
TEST(StorageMapAccess, ChecksRunInOrder) {
    const AccessCase cases[] = {
        {"no field with that id", Op::Get12, 2, 0, 1, true, 0, -240035},
        {"null before range", Op::Get12, 1696, 5, 1, true, 0, -240031},
        {"range before type", Op::Get12, 1700, 1, 1, false, 0, -240015},
        {"type", Op::Get12, 1700, 0, 1, false, 0, -240039},
        {"checksum is readable", Op::Get12, 0, 0, 1, false, 0, 0},
        {"count 0 copies nothing", Op::Get12, 1696, 0, 0, false, 0, 0},
        {"last element", Op::Get0, 336, 48, 1, false, 0, 0},
        {"start at the count", Op::Get0, 336, 49, 0, false, 0, -240015},
        {"start + count would wrap", Op::Get0, 336, 1, UINT64_MAX, false, 0, -240015},
        {"set: null first", Op::Set12, 0, 0, 1, true, 0, -240031},
        {"set: range before checksum", Op::Set12, 0, 1, 1, false, 0, -240015},
        {"set: checksum refused", Op::Set12, 0, 0, 1, false, 0, -240045},
        {"set: checksum before type", Op::Set9, 0, 0, 1, false, 0, -240045},
        {"set: type", Op::Set9, 1696, 0, 1, false, 0, -240039},
        {"getRaw: element size", Op::GetRaw, 1700, 0, 1, false, 4, -240025},
        {"getRaw: null before element size", Op::GetRaw, 1700, 0, 1, true, 4, -240031},
        {"getRaw: any type", Op::GetRaw, 1700, 0, 1, false, 1, 0},
        {"getRaw: code 10", Op::GetRaw, 12, 0, 1, false, 8, 0},
        {"setRaw: range before element size", Op::SetRaw, 0, 1, 1, false, 2, -240015},
        {"setRaw: element size before checksum", Op::SetRaw, 0, 0, 1, false, 2, -240025},
        {"setRaw: checksum refused", Op::SetRaw, 0, 0, 1, false, 4, -240045},
        {"setRaw: no field inside an element", Op::SetRaw, 13, 0, 1, false, 8, -240035},
    };
    for (const AccessCase& c : cases) {
        SCOPED_TRACE(c.what);
        FlashFixture f;
        tStatus status;
        CalibrationStorageMap map(kCalibration0, &f.window, status);
        const auto before = f.cached(kCalibration0, CalibrationStorageMap::kSize);
        run(map, c, status);
        EXPECT_EQ(status.getCode(), c.code);
        if (c.code != 0) {
            EXPECT_EQ(f.cached(kCalibration0, CalibrationStorageMap::kSize), before);
        }
    }
}

TEST(StorageMapAccess, AnEarlierErrorStopsEverything) {
    FlashFixture f;
    tStatus status;
    CalibrationStorageMap map(kCalibration0, &f.window, status);
    status.code = -7;
    EXPECT_EQ(map.getElementCount(336, status), 0u);
    EXPECT_EQ(map.getDACCurrentGainFine(status), 0u);
    EXPECT_FALSE(map.isChecksumValid(status));
    map.setDACCurrentGainFine(9, status);
    EXPECT_EQ(status.getCode(), -7);
    EXPECT_EQ(f.cachedByte(kCalibration0 + 1701), board::factory::kDACCurrentGainFine);
}

// A map is built whatever the caller's status holds; a lock that could not be created is reported
// then, and again by every operation that needs it, instead of being taken.
TEST(StorageMapAccess, AMapWithoutItsLock) {
    FlashFixture f;
    tStatus status;
    status.code = -5;
    {
        kal::sim::FailKernelCall fail("createMutex");
        CalibrationStorageMap map(kCalibration0, &f.window, status);
        EXPECT_EQ(status.getCode(), -5);
        tStatus later;
        map.setDACCurrentGainFine(1, later);
        EXPECT_EQ(later.getCode(), -52000);
        later.clear();
        EXPECT_FALSE(map.isChecksumValid(later));
        EXPECT_EQ(later.getCode(), -52000);
    }
    EXPECT_EQ(f.cachedByte(kCalibration0 + 1701), board::factory::kDACCurrentGainFine);
}

TEST(StorageMapAccess, ElementCountsAndSizes) {
    FlashFixture f;
    tStatus status;
    CalibrationStorageMap calibration(kCalibration0, &f.window, status);
    kzvorn_storagemaps::PoscStorageMap posc(0, &f.window, status);
    HeaderStorageMap header(kHeader, &f.window, status);
    EXPECT_EQ(calibration.getElementCount(336, status), 49u);
    EXPECT_EQ(calibration.getElementSize(12, status), 8u);
    EXPECT_EQ(posc.getElementCount(0, status), 32768u);
    EXPECT_EQ(header.getElementSize(44, status), 1024u);
    EXPECT_EQ(status.getCode(), 0);
    EXPECT_EQ(calibration.getElementCount(1702, status), 0u);
    EXPECT_EQ(status.getCode(), -240035);
}

// A map of the base alone, to reach what no product map uses: big-endian elements and swapped
// words.
class TestMap : public storagemap::StorageMapCommon {
public:
    static constexpr FieldInfo kFields[] = {
        {"checksum", 0, 0, 1, 4, 12, 4, false},
        {"words", 4, 4, 2, 4, 12, 4, false},
        {"wide", 12, 12, 1, 16, 0, 16, true},
        {"texts", 28, 28, 2, 8, 1, 8, false},
        {"blob", 44, 44, 1, 32, 4, 32, false},
        {"bytes", 76, 76, 4, 1, 9, 1, false},
    };
    static constexpr uint64_t kBase = 0x1B000;  // beyond the product's maps

    TestMap(uint32_t byteOrder, devicewindow::DeviceWindow* window, tStatus& status)
        : StorageMapCommon("1.0.0d0", "1.0.0d0", byteOrder, kBase, 128, &crc_, &kFields[0], window, status) {}
    const FieldInfo* getFieldInfo(uint32_t id, tStatus& status) override {
        return findField(kFields, sizeof kFields / sizeof kFields[0], id, status);
    }

private:
    storagemap::CRC32Checksum crc_;
};

TEST(StorageMapConversions, BigEndianElementsAreReversedInTheWindowOnly) {
    FlashFixture f;
    tStatus status;
    TestMap map(1, &f.window, status);
    const uint32_t value = 0x11223344;
    map.setType12(4, 1, 1, &value, status);
    EXPECT_EQ(f.cached(TestMap::kBase + 8, 4), (std::vector<uint8_t>{0x11, 0x22, 0x33, 0x44}));
    EXPECT_EQ(value, 0x11223344u);
    uint32_t back = 0;
    map.getType12(4, 1, 1, &back, status);
    EXPECT_EQ(back, value);

    // Single bytes and strings are never reversed.
    const uint8_t byte = 0xAB;
    map.setType9(76, 2, 1, &byte, status);
    EXPECT_EQ(f.cachedByte(TestMap::kBase + 78), 0xAB);
    kzhtl::String text("abc", status);
    map.setType1(28, 0, 1, &text, status);
    EXPECT_EQ(f.cached(TestMap::kBase + 28, 4), (std::vector<uint8_t>{'a', 'b', 'c', 0}));
    EXPECT_EQ(status.getCode(), 0);
}

TEST(StorageMapConversions, SwappedWordsWithAndWithoutByteReversal) {
    for (uint32_t byteOrder : {0u, 1u}) {
        SCOPED_TRACE(byteOrder);
        FlashFixture f;
        tStatus status;
        TestMap map(byteOrder, &f.window, status);
        kztypes::FixedPoint128<> value;
        value.low = 0x0706050403020100;
        value.high = 0x0F0E0D0C0B0A0908;
        map.setType0(12, 0, 1, &value, status);
        // Bytes reversed first (big-endian maps), then the four words in reverse order.
        std::vector<uint8_t> element(16);
        for (int b = 0; b < 16; ++b) element[b] = static_cast<uint8_t>(byteOrder == 1 ? 15 - b : b);
        std::vector<uint8_t> expected;
        for (int w = 3; w >= 0; --w) expected.insert(expected.end(), &element[4 * w], &element[4 * w] + 4);
        EXPECT_EQ(f.cached(TestMap::kBase + 12, 16), expected);
        kztypes::FixedPoint128<> back;
        map.getType0(12, 0, 1, &back, status);
        EXPECT_EQ(back.low, value.low);
        EXPECT_EQ(back.high, value.high);
        EXPECT_EQ(status.getCode(), 0);
    }
}

// The conversions work on a 16-byte copy: a longer element is refused instead of overrunning it.
TEST(StorageMapConversions, ElementsLongerThanSixteenBytesAreRefused) {
    FlashFixture f;
    tStatus status;
    TestMap map(1, &f.window, status);
    uint8_t blob[32];
    std::memset(blob, 0x5C, sizeof blob);
    const auto before = f.cached(TestMap::kBase + 44, 32);
    map.setType4(44, 0, 1, blob, status);
    EXPECT_EQ(status.getCode(), -240025);
    EXPECT_EQ(f.cached(TestMap::kBase + 44, 32), before);
    status.clear();
    map.getType4(44, 0, 1, blob, status);
    EXPECT_EQ(status.getCode(), -240025);
}

TEST(StorageMapStrings, TextsMustLeaveRoomForTheirTerminator) {
    FlashFixture f;
    tStatus status;
    HeaderStorageMap header(kHeader, &f.window, status);
    const std::string longest(31, 'p');
    header.setPassword(kzhtl::String(longest.c_str(), status), status);
    EXPECT_EQ(status.getCode(), 0);
    EXPECT_EQ(f.cached(kHeader + 12, 31), std::vector<uint8_t>(longest.begin(), longest.end()));
    EXPECT_EQ(f.cachedByte(kHeader + 43), 0);

    const auto before = f.cached(kHeader + 12, 32);
    header.setPassword(kzhtl::String(std::string(32, 'q').c_str(), status), status);
    EXPECT_EQ(status.getCode(), -240015);
    EXPECT_EQ(f.cached(kHeader + 12, 32), before);
}

TEST(StorageMapStrings, AShorterTextLeavesNoOldCharacters) {
    FlashFixture f;
    tStatus status;
    HeaderStorageMap header(kHeader, &f.window, status);
    header.setComments(kzhtl::String("ab", status), status);
    kzhtl::String comments("unchanged", status);
    header.getComments(comments, status);
    EXPECT_STREQ(comments.c_str(), "ab");
    EXPECT_EQ(f.cached(kHeader + 44, 1024), [] {
        std::vector<uint8_t> expected(1024, 0);
        expected[0] = 'a';
        expected[1] = 'b';
        return expected;
    }());
}

TEST(StorageMapStrings, ElementsWithoutTextReadAsEmpty) {
    for (bool firstByteZero : {true, false}) {
        SCOPED_TRACE(firstByteZero);
        FlashFixture f;
        tStatus status;
        HeaderStorageMap header(kHeader, &f.window, status);
        std::vector<uint8_t> element(32, 'x');  // no terminator at all
        if (firstByteZero) element[0] = 0;
        f.setCached(kHeader + 12, element);
        kzhtl::String password("old", status);
        header.getPassword(password, status);
        EXPECT_EQ(status.getCode(), 0);
        EXPECT_TRUE(password.empty());
    }
}

TEST(StorageMapStrings, AnArrayWriteStopsAtTheFirstTextTooLong) {
    FlashFixture f;
    tStatus status;
    TestMap map(0, &f.window, status);
    kzhtl::String texts[2] = {kzhtl::String("fits", status), kzhtl::String("too long", status)};
    map.setType1(28, 0, 2, texts, status);
    EXPECT_EQ(status.getCode(), -240015);
    EXPECT_EQ(f.cached(TestMap::kBase + 28, 8), (std::vector<uint8_t>{'f', 'i', 't', 's', 0, 0, 0, 0}));
    EXPECT_EQ(f.cachedByte(TestMap::kBase + 36), 0xFF);
}

TEST(StorageMapStrings, NoScratchMemoryLeavesTheTextUnchanged) {
    FlashFixture f;
    tStatus status;
    HeaderStorageMap header(kHeader, &f.window, status);
    kzhtl::String comments("kept", status);
    {
        kal::sim::FailAllocations fail(1);
        header.getComments(comments, status);
    }
    EXPECT_EQ(status.getCode(), -52000);
    EXPECT_STREQ(comments.c_str(), "kept");
}

// The checksum covers exactly map bytes 4 to 4095.
TEST(StorageMapChecksum, CoversBytesFourToTheEndOfTheMap) {
    const uint32_t original = board::FlashImage::standard().storedChecksum("DefaultCalibrationChannel0");
    struct Case {
        uint64_t byte;
        bool checksummed;
    };
    for (const Case& c : {Case{0, false}, Case{3, false}, Case{4, true}, Case{1701, true}, Case{1702, true},
                          Case{4095, true}}) {
        SCOPED_TRACE(c.byte);
        FlashFixture f;
        tStatus status;
        CalibrationStorageMap map(kCalibration0, &f.window, status);
        ASSERT_TRUE(map.isChecksumValid(status));
        f.setCached(kCalibration0 + c.byte, {static_cast<uint8_t>(f.cachedByte(kCalibration0 + c.byte) ^ 0x5A)});
        EXPECT_FALSE(map.isChecksumValid(status));
        map.flush(false, status);
        EXPECT_TRUE(map.isChecksumValid(status));
        EXPECT_EQ(status.getCode(), 0);
        if (c.checksummed) {
            EXPECT_NE(map.getChecksum(status), original);
            EXPECT_TRUE(f.boardChecksumValid("DefaultCalibrationChannel0"));
        } else {
            // The stored value was spoilt; the calculated one is the same as before.
            EXPECT_EQ(map.getChecksum(status), original);
        }
    }
    // The first byte of the next map is not part of it.
    FlashFixture f;
    tStatus status;
    CalibrationStorageMap map(kCalibration0, &f.window, status);
    f.setCached(kCalibration0 + 0x1000, {static_cast<uint8_t>(f.cachedByte(kCalibration0 + 0x1000) ^ 0x5A)});
    EXPECT_TRUE(map.isChecksumValid(status));
}

TEST(StorageMapChecksum, FlushStoresTheCorrectChecksumWhateverWasStored) {
    FlashFixture f(board::FlashImage::standard().corruptChecksum("Header"));
    tStatus status;
    HeaderStorageMap header(kHeader, &f.window, status);
    EXPECT_FALSE(header.isChecksumValid(status));
    EXPECT_FALSE(f.boardChecksumValid("Header"));
    header.flush(false, status);
    EXPECT_EQ(status.getCode(), 0);
    EXPECT_TRUE(header.isChecksumValid(status));
    EXPECT_TRUE(f.boardChecksumValid("Header"));
}

TEST(StorageMapChecksum, AMapWithoutChecksum) {
    FlashFixture f;
    tStatus status;
    kzvorn_storagemaps::PoscStorageMap posc(0, &f.window, status);
    EXPECT_FALSE(posc.isChecksumValid(status));
    EXPECT_EQ(status.getCode(), -240044);
}

TEST(StorageMapChecksum, NoImageMemory) {
    FlashFixture f(board::FlashImage::standard().corruptChecksum("Header"));
    tStatus status;
    HeaderStorageMap header(kHeader, &f.window, status);
    {
        kal::sim::FailAllocations fail(1);
        EXPECT_FALSE(header.isChecksumValid(status));
    }
    EXPECT_EQ(status.getCode(), -52000);
    status.clear();
    {
        kal::sim::FailAllocations fail(1);
        header.flush(false, status);
    }
    EXPECT_EQ(status.getCode(), -52000);
    // Nothing reached the device.
    EXPECT_FALSE(f.boardChecksumValid("Header"));
}

TEST(StorageMapRefresh, ReplacesUnflushedChangesWithTheDevicesBytes) {
    FlashFixture f;
    tStatus status;
    CalibrationStorageMap map(kCalibration0, &f.window, status);
    map.setDACCurrentGainCoarse(0x11, status);
    EXPECT_EQ(map.getDACCurrentGainCoarse(status), 0x11);
    map.refresh(status);
    EXPECT_EQ(map.getDACCurrentGainCoarse(status), board::factory::kDACCurrentGainCoarse);
    EXPECT_EQ(status.getCode(), 0);
}

}  // namespace
}  // namespace storagemap_test
