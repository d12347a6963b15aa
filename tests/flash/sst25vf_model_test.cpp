#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "board/flashImage.h"
#include "board/sst25vfFlash.h"

namespace {

using board::SST25VFFlash;
using T = SST25VFFlash::Transfer;

T command(uint8_t opcode) { return {opcode, 8, 0, 0, 0, false, 0}; }
T statusRead() { return {SST25VFFlash::kReadStatusRegister, 8, 0, 0, 8, true, 0}; }
T writeStatus(uint8_t value) { return {SST25VFFlash::kWriteStatusRegister, 8, 0, 0, 8, false, value}; }
T program(uint32_t address, uint8_t value) { return {SST25VFFlash::kByteProgram, 8, address, 24, 8, false, value}; }
T erase(uint32_t address) { return {SST25VFFlash::kSectorErase, 8, address, 24, 0, false, 0}; }
T readAt(uint32_t address) { return {SST25VFFlash::kRead, 8, address, 24, 8, true, 0}; }

// Waits out an operation the way a driver would.
void idle(SST25VFFlash& flash) {
    for (int i = 0; i < 100 && (flash.transfer(statusRead()) & SST25VFFlash::kBusy) != 0; ++i) {
    }
}

void unprotect(SST25VFFlash& flash) {
    flash.setWriteProtectLine(true);
    flash.transfer(command(SST25VFFlash::kEnableWriteStatusRegister));
    flash.transfer(writeStatus(0));
}

TEST(SST25VFModel, StartsErasedAndProtectedAndIgnoresWritesUntilUnprotected) {
    SST25VFFlash flash({0x12, 0x34});
    EXPECT_EQ(flash.transfer(readAt(1)), 0x34);
    EXPECT_EQ(flash.transfer(readAt(2)), 0xFF);
    EXPECT_EQ(flash.transfer(statusRead()), 0x0C);
    // The status register cannot be written while the line is low.
    flash.transfer(command(SST25VFFlash::kEnableWriteStatusRegister));
    flash.transfer(writeStatus(0));
    EXPECT_EQ(flash.statusRegister(), 0x0C);
    flash.transfer(command(SST25VFFlash::kWriteEnable));
    flash.transfer(program(0, 0x02));
    idle(flash);
    EXPECT_EQ(flash.transfer(readAt(0)), 0x12);  // block protection kept the byte
    unprotect(flash);
    EXPECT_EQ(flash.transfer(statusRead()), 0x00);  // the status write cleared nothing but BP
}

TEST(SST25VFModel, ProgramAndsIntoTheByteEraseFillsOneSectorAndBothClearTheLatch) {
    SST25VFFlash flash(std::vector<uint8_t>(0x3000, 0x00));
    unprotect(flash);
    flash.transfer(command(SST25VFFlash::kWriteEnable));
    EXPECT_EQ(flash.transfer(statusRead()), SST25VFFlash::kWriteEnableLatch);
    flash.transfer(erase(0x1234));
    EXPECT_EQ(flash.transfer(statusRead()) & SST25VFFlash::kWriteEnableLatch, 0);
    idle(flash);
    EXPECT_EQ(flash.contents(0x0FFF, 3), (std::vector<uint8_t>{0x00, 0xFF, 0xFF}));
    EXPECT_EQ(flash.contents(0x1FFF, 2), (std::vector<uint8_t>{0xFF, 0x00}));

    flash.transfer(program(0x1000, 0x0F));  // no write enable: ignored
    flash.transfer(command(SST25VFFlash::kWriteEnable));
    flash.transfer(program(0x1000, 0x3C));
    idle(flash);
    flash.transfer(command(SST25VFFlash::kWriteEnable));
    flash.transfer(program(0x1000, 0xF5));
    idle(flash);
    EXPECT_EQ(flash.transfer(readAt(0x1000)), 0x34);
    EXPECT_EQ(flash.transfer(statusRead()), 0x00);
}

// Chips that start from one image share it: what one programs or erases, and a later change of
// the image itself, reach no other chip.
TEST(SST25VFModel, ChipsStartingFromOneImageChangeApart) {
    board::FlashImage image = board::FlashImage::standard();
    const std::vector<uint8_t> original = image.bytes();
    SST25VFFlash first(image.share()), second(image.share());
    unprotect(first);
    first.transfer(command(SST25VFFlash::kWriteEnable));
    first.transfer(erase(0x2000));
    idle(first);
    first.transfer(command(SST25VFFlash::kWriteEnable));
    first.transfer(program(0x2001, 0x5A));
    idle(first);
    first.load(SST25VFFlash::kSize - 1, {0x11, 0x22});  // wraps to address 0
    image.write(0x2001, "\x00", 1);

    std::vector<uint8_t> changed = original;
    std::fill(changed.begin() + 0x2000, changed.begin() + 0x3000, 0xFF);
    changed[0x2001] = 0x5A;
    changed.back() = 0x11;
    changed[0] = 0x22;
    EXPECT_EQ(first.contents(0, SST25VFFlash::kSize), changed);
    EXPECT_EQ(second.contents(0, SST25VFFlash::kSize), original);
    EXPECT_EQ(image.bytes()[0x2001], 0x00);
    EXPECT_EQ(board::FlashImage::standard().bytes(), original);
}

TEST(SST25VFModel, BusyLastsTheConfiguredReadsAndIgnoresCommandsMeanwhile) {
    SST25VFFlash flash;
    unprotect(flash);
    flash.setBusyReads(2, 1);
    flash.transfer(command(SST25VFFlash::kWriteEnable));
    flash.transfer(erase(0));
    flash.transfer(command(SST25VFFlash::kWriteEnable));  // ignored while busy
    EXPECT_EQ(flash.transfer(statusRead()), SST25VFFlash::kBusy);
    EXPECT_EQ(flash.transfer(statusRead()), SST25VFFlash::kBusy);
    EXPECT_EQ(flash.transfer(statusRead()), 0x00);

    flash.setStuckBusy(true);
    flash.transfer(command(SST25VFFlash::kWriteEnable));  // still acts: only the bit is stuck
    EXPECT_EQ(flash.transfer(statusRead()), SST25VFFlash::kBusy | SST25VFFlash::kWriteEnableLatch);
    flash.setStuckBusy(false);
    flash.setNeverReady(true);
    flash.transfer(writeStatus(0));
    flash.transfer(command(SST25VFFlash::kWriteEnable));
    EXPECT_EQ(flash.transfer(statusRead()), 0x00);
}

TEST(SST25VFModel, LogsTransfersAndLineChanges) {
    SST25VFFlash flash;
    flash.setWriteProtectLine(true);
    flash.setWriteProtectLine(true);  // no change, no entry
    flash.transfer(command(SST25VFFlash::kWriteEnable));
    flash.transfer(statusRead());
    flash.transfer(statusRead());
    flash.transfer(program(0x10, 0xA5));
    flash.transfer(readAt(0x10));
    flash.setWriteProtectLine(false);
    const auto log = flash.takeLog();
    EXPECT_EQ(SST25VFFlash::describe(log, true),
              (std::vector<std::string>{"WP high", "06", "poll", "02 @000010 = A5", "03 @000010 -> FF", "WP low"}));
    EXPECT_EQ(SST25VFFlash::describe(log, false)[2], "05 -> 0E");
    EXPECT_TRUE(flash.takeLog().empty());
}

}  // namespace
