#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "../kzhtl/failures.h"
#include "deviceWindow/statusCodes.h"
#include "flashExpectations.h"
#include "flashStack.h"
#include "kal/sim/clock.h"
#include "kzapal/protons/statusCodes.h"

namespace {

using board::SST25VFFlash;
using flash_test::FlashStack;
using flash_test::kFlashTimeout;
using flash_test::kSpiFault;
using nKZAPALS100::tStatus;

using flash_test::bytesOf;
using flash_test::Lines;
using flash_test::patternImage;
using flash_test::sectorRewrite;

Lines commands(FlashStack& s) { return SST25VFFlash::describe(s.flash.takeLog(), true); }

void expectProtected(FlashStack& s) {
    EXPECT_EQ(s.flash.statusRegister() & SST25VFFlash::kBlockProtect, 0x0C);
    EXPECT_FALSE(s.flash.writeProtectLine());
}

TEST(FlashController, SizesAndAddressesAreChecked) {
    struct Case {
        uint64_t size, sectorSize;
        int64_t code;
    };
    for (const Case& c : {Case{0x100000, 0x200000, -240030}, Case{0x180000, 0x1000, -240032},
                          Case{0, 0x1000, -240032}, Case{0x100000, 0x3000, -240033}, Case{0x100000, 0, -240033}}) {
        FlashStack s;
        tStatus status;
        nonvolatilememorytools::SST25VFFlashController controller(c.size, c.sectorSize, s.spi, s.line, kFlashTimeout,
                                                                  status);
        EXPECT_EQ(status.code, c.code) << c.size << " " << c.sectorSize;
        EXPECT_EQ(controller.getSectorSize(), c.sectorSize);  // kept even when refused
    }
    FlashStack s;
    tStatus status;
    EXPECT_EQ(s.controller.sectorIndex(0x100000, status), 256u);
    EXPECT_EQ(s.controller.sectorAddress(255, status), 0xFF000u);
    s.controller.checkSectorAddress(0xFF000, status);
    EXPECT_TRUE(status.isSuccess());
    for (uint64_t address : {0x100000ull, 0x1001ull, 0x100001ull}) {
        tStatus bad;
        s.controller.checkSectorAddress(address, bad);
        EXPECT_EQ(bad.code, devicewindow::kStatusAddressOutsideFlash) << address;
    }
    tStatus bad;
    EXPECT_EQ(s.controller.sectorAddress(256, bad), 0xFFFFFFFFu);
    EXPECT_EQ(bad.code, devicewindow::kStatusAddressOutsideFlash);
}

// The erase command covers 4 KiB; any other sector size from the bridge would leave bytes unerased
// or erase a neighbour that is never rewritten.
TEST(SST25VFFlashController, RefusesSectorSizesTheEraseDoesNotCover) {
    for (uint64_t sectorSize : {0x800ull, 0x2000ull, 0x10000ull}) {
        FlashStack s;
        tStatus status;
        nonvolatilememorytools::SST25VFFlashController controller(0x100000, sectorSize, s.spi, s.line, kFlashTimeout,
                                                                  status);
        EXPECT_EQ(status.code, devicewindow::kStatusBadSectorSize) << sectorSize;
    }
}

TEST(SST25VFFlashController, SectorReadsCheckTheAddressAndZeroFillAfterAFailure) {
    FlashStack s(patternImage());
    std::vector<char> sector(0x1000, 0x55);
    s.controller.readSector(0x2010, sector.data(), s.status);
    EXPECT_EQ(s.status.code, devicewindow::kStatusAddressOutsideFlash);
    EXPECT_EQ(s.spi.transfers(), 0u);

    tStatus status;
    s.spi.failTransfer(101);
    s.controller.readSector(0x2000, sector.data(), status);
    EXPECT_EQ(status.code, kSpiFault);
    const std::vector<uint8_t> image = patternImage();
    for (uint32_t i = 0; i < 0x1000; ++i) {
        ASSERT_EQ(static_cast<uint8_t>(sector[i]), i < 100 ? image[0x2000 + i] : 0) << i;
    }
    EXPECT_EQ(s.spi.transfers(), 100u);  // nothing after the failure
}

TEST(WriteProtectController, DrivesBit7OfTheDataRegisterWrittenWhenChanged) {
    board::SST25VFFlash flash;
    flash_test::ModelDigitalOutput registers(flash);
    tStatus status;
    pavotools::WriteProtectController line(registers, 0x80, status);
    line.protect(status);  // already low: nothing to write
    line.unprotect(status);
    line.unprotect(status);
    EXPECT_TRUE(flash.writeProtectLine());
    line.protect(status);
    EXPECT_FALSE(flash.writeProtectLine());
    EXPECT_TRUE(status.isSuccess());
    using W = std::pair<uint32_t, uint32_t>;
    EXPECT_EQ(registers.writes, (std::vector<W>{{0x8, 0x80}, {0x4, 0x80}, {0x4, 0x00}}));
}

TEST(FlashWindow, OneSectorWriteSendsTheChipsSequenceAndEndsProtected) {
    FlashStack s(patternImage());
    ASSERT_TRUE(s.status.isSuccess());
    EXPECT_EQ(s.digitalOutput.writes.front(), (std::pair<uint32_t, uint32_t>{0x8, 0x80}));
    const std::vector<uint8_t> change = bytesOf("kz");
    std::vector<uint8_t> sector = patternImage();
    sector = std::vector<uint8_t>(sector.begin() + 0x8000, sector.begin() + 0x9000);
    sector[0x10] = change[0];
    sector[0x11] = change[1];

    s.window.write(reinterpret_cast<const char*>(change.data()), 0x8010, 2, false, s.status);
    ASSERT_TRUE(s.status.isSuccess());
    Lines log = commands(s);
    const Lines expected = sectorRewrite(0x8000, sector);
    ASSERT_EQ(log.size(), 4096u + expected.size());
    EXPECT_EQ(Lines(log.begin(), log.begin() + 2), (Lines{"03 @008000 -> 80", "03 @008001 -> 87"}));
    EXPECT_EQ(Lines(log.begin() + 4096, log.end()), expected);
    EXPECT_EQ(s.flash.contents(0x8000, 0x1000), sector);
    expectProtected(s);
}

TEST(FlashWindow, RangesAcrossASectorBoundaryReadAndRewriteBothSectors) {
    FlashStack s(patternImage());
    const std::vector<uint8_t> image = patternImage();
    std::vector<uint8_t> bytes(6);
    s.window.read(0x8FFD, 6, reinterpret_cast<char*>(bytes.data()), s.status);
    EXPECT_EQ(bytes, std::vector<uint8_t>(image.begin() + 0x8FFD, image.begin() + 0x9003));

    s.flash.takeLog();
    const std::vector<uint8_t> change = bytesOf("window");
    s.window.write(reinterpret_cast<const char*>(change.data()), 0x8FFD, 6, false, s.status);
    ASSERT_TRUE(s.status.isSuccess());
    Lines erases;
    for (const std::string& line : commands(s)) {
        if (line.rfind("20 ", 0) == 0) erases.push_back(line);
    }
    EXPECT_EQ(erases, (Lines{"20 @008000", "20 @009000"}));
    std::vector<uint8_t> expected(image.begin() + 0x8000, image.begin() + 0xA000);
    std::copy(change.begin(), change.end(), expected.begin() + 0xFFD);
    EXPECT_EQ(s.flash.contents(0x8000, 0x2000), expected);
    expectProtected(s);

    // A flush of the unchanged range writes nothing; a forced one rewrites both sectors.
    s.window.flush(0x8FFD, 6, false, s.status);
    EXPECT_EQ(commands(s), Lines{});
    s.window.flush(0x8FFD, 6, true, s.status);
    EXPECT_EQ(commands(s).size(), 2 * sectorRewrite(0, std::vector<uint8_t>(0x1000)).size());
    EXPECT_TRUE(s.status.isSuccess());
}

TEST(FlashWindow, AFlushWritesOnlyItsRangeAndARefreshKeepsOtherPendingChanges) {
    FlashStack s;
    s.window.set("A", 0x10, 1, s.status);
    s.window.set("B", 0x20, 1, s.status);
    s.window.flush(0x10, 1, false, s.status);
    EXPECT_EQ(s.flash.contents(0x10, 0x11), bytesOf("A" + std::string(15, '\xFF') + "\xFF"));

    s.window.refresh(0x0, 0x20, s.status);  // 0x20 lies outside: still pending
    char byte = 0;
    s.window.get(0x20, 1, &byte, s.status);
    EXPECT_EQ(byte, 'B');
    s.window.flush(0x0, 0x1000, false, s.status);
    EXPECT_EQ(s.flash.contents(0x20, 1), bytesOf("B"));
    EXPECT_TRUE(s.status.isSuccess());
}

TEST(FlashWindow, ChecksRangesAndPointersAndMakesNoSectorForAnEmptyRange) {
    FlashStack s;
    char byte = 0;
    s.window.get(0x100000, 0, &byte, s.status);
    s.window.flush(0x100000, 0, true, s.status);
    EXPECT_TRUE(s.status.isSuccess());
    EXPECT_EQ(s.spi.transfers(), 0u);
    struct Case {
        uint64_t offset, size;
        char* pointer;
        int64_t code;
    };
    for (const Case& c : {Case{0xFFFFF, 2, &byte, -240029}, Case{2, UINT64_MAX, &byte, -240029},
                          Case{0, 1, nullptr, -240031}}) {
        tStatus get, set, write;
        s.window.get(c.offset, c.size, c.pointer, get);
        s.window.set(c.pointer, c.offset, c.size, set);
        s.window.write(c.pointer, c.offset, c.size, false, write);
        EXPECT_EQ(get.code, c.code);
        EXPECT_EQ(set.code, c.code);
        EXPECT_EQ(write.code, c.code);
    }
    EXPECT_EQ(s.spi.transfers(), 0u);
    EXPECT_EQ(s.window.getSizeInBytes(), 0x100000u);
}

struct ChipFault {
    const char* name;
    void (*arm)(SST25VFFlash&, bool);
};

// A chip that stays busy, or never sets its write-enable latch, times out with the flash time-out
// status; nothing is programmed and the chip is protected again.
TEST(FlashWindow, ChipTimeOutsReportTheFlashTimeoutAndLeaveTheChipProtected) {
    for (const ChipFault& fault :
         {ChipFault{"stuck busy", [](SST25VFFlash& f, bool on) { f.setStuckBusy(on); }},
          ChipFault{"never ready", [](SST25VFFlash& f, bool on) { f.setNeverReady(on); }}}) {
        FlashStack s(patternImage());
        char byte = 0;
        s.window.get(0x3000, 1, &byte, s.status);
        s.flash.takeLog();
        fault.arm(s.flash, true);
        const uint64_t startUs = kal::sim::clock().nowUs();
        s.window.write("Z", 0x3000, 1, false, s.status);
        EXPECT_EQ(s.status.code, KZ_DEVICE_CODE(0xBFFA4081)) << fault.name;
        const uint64_t waitedUs = kal::sim::clock().nowUs() - startUs;
        EXPECT_GE(waitedUs, 30000u) << fault.name;
        EXPECT_LT(waitedUs, 30100u) << fault.name;
        const Lines log = commands(s);
        for (const std::string& line : log) EXPECT_NE(line.substr(0, 2), "02") << fault.name;
        ASSERT_GE(log.size(), 3u);
        EXPECT_EQ(Lines(log.end() - 3, log.end()), (Lines{"50", "01 = 0C", "WP low"})) << fault.name;
        expectProtected(s);
        EXPECT_EQ(s.flash.contents(0x3000, 1), std::vector<uint8_t>{patternImage()[0x3000]});

        // The next unforced flush writes the sector again, though the copies agree.
        fault.arm(s.flash, false);
        tStatus retry;
        s.window.flush(0x3000, 1, false, retry);
        EXPECT_TRUE(retry.isSuccess()) << fault.name;
        EXPECT_EQ(s.flash.contents(0x3000, 2), (std::vector<uint8_t>{'Z', patternImage()[0x3001]})) << fault.name;
        s.window.flush(0x3000, 1, false, retry);
        EXPECT_EQ(commands(s).size(), sectorRewrite(0, std::vector<uint8_t>(0x1000)).size());
    }
}

// A read that fails part-way leaves a zero-filled copy behind; it must never reach the flash.
TEST(FlashWindow, AFailedSectorReadNeverLeadsToZerosWrittenOverTheSector) {
    const std::vector<uint8_t> image = patternImage();
    const std::vector<uint8_t> sector(image.begin() + 0x5000, image.begin() + 0x6000);
    FlashStack s(image);
    char byte = 0;
    s.spi.failTransfer(50);
    s.window.get(0x5000, 1, &byte, s.status);
    EXPECT_EQ(s.status.code, kSpiFault);
    tStatus status;
    s.window.write("Q", 0x5001, 1, false, status);
    ASSERT_TRUE(status.isSuccess());
    std::vector<uint8_t> expected = sector;
    expected[1] = 'Q';
    EXPECT_EQ(s.flash.contents(0x5000, 0x1000), expected);

    // The same for a refresh that fails on a sector already held.
    s.spi.failTransfer(2000);
    s.window.refresh(0x5000, 0x1000, status);
    EXPECT_EQ(status.code, kSpiFault);
    tStatus again;
    s.window.write("R", 0x5002, 1, false, again);
    ASSERT_TRUE(again.isSuccess());
    expected[2] = 'R';
    EXPECT_EQ(s.flash.contents(0x5000, 0x1000), expected);
}

TEST(FlashWindow, ADroppedProgramGoesUnnoticedUntilTheSectorIsReadAgain) {
    FlashStack s(patternImage());
    s.flash.setDropPrograms(true);
    s.window.write("D", 0x7000, 1, false, s.status);
    EXPECT_TRUE(s.status.isSuccess());  // the chip's byte program reports no failure
    char byte = 0;
    s.window.get(0x7000, 1, &byte, s.status);
    EXPECT_EQ(byte, 'D');
    s.window.read(0x7000, 1, &byte, s.status);
    EXPECT_EQ(static_cast<uint8_t>(byte), 0xFF);  // erased, never programmed
}

TEST(FlashWindow, AllocationFailuresGiveMemoryFullAndKeepNoHalfBuiltSector) {
    FlashStack s(patternImage());
    s.flash.setLogging(false);
    // Each attempt touches a new sector; a failed one keeps nothing, the good one keeps its sector.
    for (uint64_t failAt = 1;; ++failAt) {
        ASSERT_LT(failAt, 10u);
        const int64_t live = kal::sim::liveAllocations();
        tStatus status;
        char byte = 0;
        const uint32_t address = static_cast<uint32_t>(0x1000 * failAt);
        if (!kzhtl_test::failing(failAt, status, [&](tStatus& st) { s.window.get(address, 1, &byte, st); })) {
            EXPECT_TRUE(status.isSuccess());
            EXPECT_EQ(static_cast<uint8_t>(byte), patternImage()[address]);
            break;
        }
        EXPECT_EQ(status.code, nKZAPALS100::kStatusMemoryFull);
        EXPECT_EQ(kal::sim::liveAllocations(), live) << failAt;
    }
}

}  // namespace

namespace {

// The window's lock keeps each sector rewrite whole when two threads flush different sectors.
TEST(FlashWindow, RewritesFromTwoThreadsDoNotInterleave) {
    FlashStack s;
    std::vector<std::thread> threads;
    for (uint32_t t = 0; t < 2; ++t) {
        threads.emplace_back([&s, t] {
            tStatus status;
            const char byte = static_cast<char>('a' + t);
            s.window.write(&byte, 0x1000 * (t + 1), 1, false, status);
            EXPECT_TRUE(status.isSuccess());
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(s.flash.contents(0x1000, 1), bytesOf("a"));
    EXPECT_EQ(s.flash.contents(0x2000, 1), bytesOf("b"));
    // Each rewrite runs from its line change up to its line change back, programming one sector.
    uint32_t sector = 0;
    for (const std::string& line : commands(s)) {
        if (line == "WP high" || line == "WP low") sector = 0;
        if (line.rfind("02 @", 0) != 0) continue;
        const uint32_t address = std::stoul(line.substr(4, 6), nullptr, 16) & ~0xFFFu;
        if (sector == 0) sector = address;
        ASSERT_EQ(address, sector);
    }
}

}  // namespace
