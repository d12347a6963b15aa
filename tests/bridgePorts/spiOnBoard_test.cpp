// The SPI controller and the driver's flash stack against the board's configuration port: the
// register words of each transfer, the transfers the SPI engine hands the serial flash, and whole
// sector reads and rewrites through the flash window.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "bridgePorts/bridgePorts.h"
#include "deviceWindow/statusCodes.h"
#include "flash/flashExpectations.h"
#include "kal/sim/clock.h"
#include "kzapal/protons/statusCodes.h"

namespace {

using board::SST25VFFlash;
using flash_test::Lines;
using flash_test::patternImage;
using porttest::FlashOnBoard;
using porttest::FlashStackOnBoard;
using porttest::tStatus;
namespace bar0 = board::bar0;

constexpr uint64_t kReadFormat = bar0::kSpiPort + 0x4;
constexpr uint64_t kWriteFormat = bar0::kSpiPort + 0x8;
constexpr uint64_t kOpcodes = bar0::kSpiPort + 0xC;
constexpr int64_t kFlashTimeout = porttest::kFlashTimeout;

struct Write {
    uint64_t offset;
    unsigned width;
    uint64_t value;
    bool operator==(const Write& o) const { return offset == o.offset && width == o.width && value == o.value; }
};

std::vector<Write> writes(board::Board& board) {
    std::vector<Write> out;
    for (const board::Access& a : board.log().entries())
        if (a.direction == board::Direction::Write) out.push_back({a.offset, a.width, a.value});
    return out;
}

Lines transfers(SST25VFFlash& flash) { return SST25VFFlash::describe(flash.takeLog(), false); }

TEST(SpiOnBoard, EachTransferSetsUpOnlyWhatChangedAndAccessesTheWindowOnce) {
    FlashOnBoard f(board::kDefaultWindowBase, patternImage());
    ASSERT_EQ(f.status.code, 0);
    ASSERT_EQ(f.windowRegister, board::kDefaultWindowBase);
    f.spi.writeByte(0x02, 8, 0x12345, 24, 0xA5, f.status);
    f.spi.writeByte(0x02, 8, 0x12346, 24, 0x5A, f.status);
    EXPECT_EQ(writes(f.board), (std::vector<Write>{{0xE0, 4, 0x12345},
                                                   {kWriteFormat, 4, 0x08180008},
                                                   {kOpcodes, 4, 0x02},
                                                   {0x4345, 1, 0xA5},
                                                   {0xE0, 4, 0x12346},  // the same set-up: address only
                                                   {0x4346, 1, 0x5A}}));
    EXPECT_EQ(transfers(f.flash), (Lines{"02 @012345 = A5", "02 @012346 = 5A"}));  // protected: ignored
    f.board.log().clear();
    EXPECT_EQ(f.spi.readByte(0x03, 8, 0x8001, 24, f.status), 0x87);
    f.spi.command(0x06, 8, f.status);
    // The read format is unchanged, but the write set-up cleared its read bit: sent again.
    EXPECT_EQ(f.spi.readByte(0x05, 8, 0, 0, f.status), 0x0E);  // protected, write-enabled
    f.spi.addressedNoData(0x20, 8, 0x1F000, 24, f.status);
    f.spi.writeByteNoAddress(0x01, 8, 0x00, f.status);
    EXPECT_EQ(f.status.code, 0);
    EXPECT_EQ(writes(f.board), (std::vector<Write>{{0xE0, 4, 0x8001},
                                                   {kReadFormat, 4, 0x88180008},
                                                   {kOpcodes, 4, 0x00030002},
                                                   {0xE0, 4, 0},
                                                   {kWriteFormat, 4, 0x00000008},
                                                   {kOpcodes, 4, 0x00030006},
                                                   {0x4000, 1, 0},
                                                   {0xE0, 4, 0},
                                                   {kReadFormat, 4, 0x88000008},
                                                   {kOpcodes, 4, 0x00050006},
                                                   {0xE0, 4, 0x1F000},
                                                   {kWriteFormat, 4, 0x00180008},
                                                   {kOpcodes, 4, 0x00050020},
                                                   {0x4000, 1, 0},
                                                   {0xE0, 4, 0},
                                                   {kWriteFormat, 4, 0x08000008},
                                                   {kOpcodes, 4, 0x00050001},
                                                   {0x4000, 1, 0}}));
    // What the chip saw: the direction of each access and the formats' bit counts.
    EXPECT_EQ(transfers(f.flash), (Lines{"03 @008001 -> 87", "06", "05 -> 0E", "20 @01F000", "01 = 00"}));
    EXPECT_EQ(f.flash.contents(0x12345, 1), std::vector<uint8_t>{patternImage()[0x12345]});

    // An incoming error sends nothing.
    f.board.log().clear();
    tStatus failed;
    failed.code = -1;
    EXPECT_EQ(f.spi.readByte(0x03, 8, 0, 24, failed), 0);
    f.spi.writeByte(0x02, 8, 0, 24, 0, failed);
    EXPECT_TRUE(f.board.log().entries().empty());
}

// Every access in order: BAR, offset, width, value and whether it was a write.
std::vector<std::tuple<int, uint64_t, unsigned, uint64_t, bool>> accesses(board::Board& board) {
    std::vector<std::tuple<int, uint64_t, unsigned, uint64_t, bool>> out;
    for (const board::Access& a : board.log().entries())
        out.emplace_back(a.bar, a.offset, a.width, a.value, a.direction == board::Direction::Write);
    return out;
}

// A run of reads reaches the board exactly as the same reads one at a time, also after a write
// set-up cleared the read bit; a failed or refused run reads zeros and sends nothing more.
TEST(SpiOnBoard, ReadRunSendsWhatSingleReadsSend) {
    FlashOnBoard single(board::kDefaultWindowBase, patternImage());
    FlashOnBoard run(board::kDefaultWindowBase, patternImage());
    std::vector<uint8_t> one(5), many(5, 0xEE);
    for (FlashOnBoard* f : {&single, &run}) {
        f->spi.readByte(0x05, 8, 0, 0, f->status);
        f->spi.command(0x06, 8, f->status);
        f->board.log().clear();
    }
    for (uint32_t i = 0; i < one.size(); ++i) one[i] = single.spi.readByte(0x03, 8, 0x8FFE + i, 24, single.status);
    run.spi.readBytes(0x03, 8, 0x8FFE, 24, many.data(), many.size(), run.status);
    EXPECT_EQ(run.status.code, 0);
    const std::vector<uint8_t> image = patternImage();
    EXPECT_EQ(many, std::vector<uint8_t>(image.begin() + 0x8FFE, image.begin() + 0x9003));
    EXPECT_EQ(many, one);
    EXPECT_EQ(accesses(run.board), accesses(single.board));
    EXPECT_EQ(transfers(run.flash), transfers(single.flash));

    run.board.log().clear();
    tStatus failed;
    failed.code = -1;
    run.spi.readBytes(0x03, 8, 0, 24, many.data(), many.size(), failed);
    EXPECT_EQ(many, std::vector<uint8_t>(5, 0));
    EXPECT_TRUE(run.board.log().entries().empty());
    uint8_t* none = nullptr;
    quolintools::SPIController idle(&run.spiMap, &run.windowMap, &none, run.status);
    many.assign(5, 0xEE);
    idle.readBytes(0x03, 8, 0, 24, many.data(), many.size(), run.status);
    EXPECT_EQ(run.status.code, nKZAPALS100::kStatusResourceNotFound);
    EXPECT_EQ(many, std::vector<uint8_t>(5, 0));
    EXPECT_TRUE(run.board.log().entries().empty());
}

// The window register comes from the hardware: a data window reaching past the mapping is refused.
TEST(SpiOnBoard, DataWindowMustLieInsideTheMapping) {
    struct Case {
        uint32_t windowRegister;
        uint64_t offset;  // ~0: refused
    };
    uint8_t* const mapped = reinterpret_cast<uint8_t*>(uintptr_t{0x10000000});
    for (const Case& c : {Case{0x0000400C, 0x4000}, Case{0x0003F00C, 0x3F000}, Case{0x0003F0FF, 0x3F000},
                          Case{0x0003F10C, ~0ull}, Case{0x0004000C, ~0ull}, Case{0xFFFFFF0C, ~0ull}}) {
        tStatus status;
        uint8_t* window = quolintools::SPIController::dataWindowAddress(mapped, bar0::kSize, c.windowRegister, status);
        if (c.offset == ~0ull) {
            EXPECT_EQ(window, nullptr) << std::hex << c.windowRegister;
            EXPECT_EQ(status.code, nKZAPALS100::kStatusResourceNotFound);
        } else {
            EXPECT_EQ(window, mapped + c.offset) << std::hex << c.windowRegister;
            EXPECT_EQ(status.code, 0);
        }
    }
    // A controller without a placed window refuses every transfer and touches nothing.
    FlashOnBoard f;
    uint8_t* none = nullptr;
    quolintools::SPIController idle(&f.spiMap, &f.windowMap, &none, f.status);
    EXPECT_EQ(idle.readByte(0x05, 8, 0, 0, f.status), 0);
    EXPECT_EQ(f.status.code, nKZAPALS100::kStatusResourceNotFound);
    tStatus other;
    idle.command(0x06, 8, other);
    EXPECT_EQ(other.code, nKZAPALS100::kStatusResourceNotFound);
    EXPECT_TRUE(f.board.log().entries().empty());
}

TEST(SpiOnBoard, OpenWindowServesTheBridgeSpaceAndNoTransfer) {
    FlashOnBoard f;
    f.window.space().write(0x0C, 0x100);
    f.board.write(0, 0xC0, 4, board::kDefaultWindowBase | board::kWindowOpen);
    f.board.write(0, 0xE0, 4, 0);
    EXPECT_EQ(f.board.read(0, 0x400C, 4), 0x100u);
    f.board.write(0, 0xC0, 4, board::kDefaultWindowBase);
    EXPECT_EQ(f.board.read(0, 0x4000, 4), 0xFFFFFFFFu);  // closed: only byte accesses run transfers
    EXPECT_TRUE(f.flash.takeLog().empty());
}

TEST(FlashStackOnBoard, WindowRangesAcrossASectorBoundary) {
    FlashStackOnBoard f(board::kDefaultWindowBase, patternImage());
    ASSERT_EQ(f.status.code, 0);
    EXPECT_EQ(f.controller.getSectorSize(), 0x1000u);
    f.board.log().setEnabled(false);
    const std::vector<uint8_t> image = patternImage();
    std::vector<uint8_t> bytes(6);
    f.flashWindow.read(0x8FFD, 6, reinterpret_cast<char*>(bytes.data()), f.status);
    EXPECT_EQ(bytes, std::vector<uint8_t>(image.begin() + 0x8FFD, image.begin() + 0x9003));

    const std::string change = "across";
    f.flashWindow.write(change.data(), 0x8FFD, 6, false, f.status);
    ASSERT_EQ(f.status.code, 0);
    std::vector<uint8_t> expected(image.begin() + 0x8000, image.begin() + 0xA000);
    std::copy(change.begin(), change.end(), expected.begin() + 0xFFD);
    EXPECT_EQ(f.flash.contents(0x8000, 0x2000), expected);
    EXPECT_EQ(f.flash.statusRegister() & SST25VFFlash::kBlockProtect, 0x0C);
    EXPECT_FALSE(f.flash.writeProtectLine());
    // Read back from the chip, not the window's copy.
    f.flashWindow.read(0x8FFD, 6, reinterpret_cast<char*>(bytes.data()), f.status);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), change);
}

TEST(FlashStackOnBoard, OneSectorWriteIsTheChipsSequenceWithTheLineFromTheDigitalOutputs) {
    FlashStackOnBoard f(board::kDefaultWindowBase, patternImage());
    ASSERT_EQ(f.status.code, 0);
    f.board.log().setEnabled(false);
    char byte = 0;
    f.flashWindow.get(0x8010, 1, &byte, f.status);  // reads the sector in
    f.flash.takeLog();
    f.board.log().setEnabled(true);
    f.flashWindow.write("k", 0x8010, 1, false, f.status);
    ASSERT_EQ(f.status.code, 0);
    const std::vector<uint8_t> image = patternImage();
    std::vector<uint8_t> sector(image.begin() + 0x8000, image.begin() + 0x9000);
    sector[0x10] = 'k';
    EXPECT_EQ(SST25VFFlash::describe(f.flash.takeLog(), true), flash_test::sectorRewrite(0x8000, sector));
    // The line went high and low again through the digital-output register, made an output first.
    EXPECT_EQ(f.board.log().writesTo(bar0::kTimingBlock + 0x04), (std::vector<uint64_t>{0x80, 0x00}));
    EXPECT_EQ(f.timing.written(0x08), 0x80u);
    EXPECT_EQ(f.flash.contents(0x8000, 0x1000), sector);
    EXPECT_EQ(f.flash.statusRegister() & SST25VFFlash::kBlockProtect, 0x0C);
    EXPECT_FALSE(f.flash.writeProtectLine());
}

TEST(FlashStackOnBoard, ChipThatNeverFinishesTimesOutAndEndsProtected) {
    struct Fault {
        const char* name;
        void (SST25VFFlash::*knob)(bool);
    };
    for (const Fault& fault : {Fault{"stuck busy", &SST25VFFlash::setStuckBusy},
                               Fault{"never ready", &SST25VFFlash::setNeverReady}}) {
        SCOPED_TRACE(fault.name);
        FlashStackOnBoard f(board::kDefaultWindowBase, patternImage());
        f.board.log().setEnabled(false);
        char byte = 0;
        f.flashWindow.get(0x3000, 1, &byte, f.status);
        (f.flash.*fault.knob)(true);
        const uint64_t start = kal::sim::clock().nowUs();
        f.flashWindow.write("Z", 0x3000, 1, false, f.status);
        EXPECT_EQ(f.status.code, kFlashTimeout);
        EXPECT_GE(kal::sim::clock().nowUs() - start, 30000u);
        const Lines log = SST25VFFlash::describe(f.flash.takeLog(), true);
        ASSERT_GE(log.size(), 3u);
        EXPECT_EQ(Lines(log.end() - 3, log.end()), (Lines{"50", "01 = 0C", "WP low"}));
        EXPECT_EQ(f.flash.statusRegister() & SST25VFFlash::kBlockProtect, 0x0C);
        EXPECT_FALSE(f.flash.writeProtectLine());
        EXPECT_EQ(f.flash.contents(0x3000, 1), std::vector<uint8_t>{patternImage()[0x3000]});
    }
}

// The sector size comes from the window register; only the 4 KiB the erase covers is accepted.
TEST(FlashStackOnBoard, WindowRegisterGivesTheSectorSize) {
    FlashStackOnBoard f(0x0000400D);
    EXPECT_EQ(f.controller.getSectorSize(), 0x2000u);
    EXPECT_EQ(f.status.code, devicewindow::kStatusBadSectorSize);
}

}  // namespace
