// A channel's calibration registers on the board: a data write fills the slot its pointer selects,
// single registers hold their value, and other registers are not the calibration's.
#include <gtest/gtest.h>

#include "board/channelCalibration.h"
#include "board/isolatedRegisterFile.h"

namespace {

TEST(ChannelCalibration, ADataWriteFillsTheSlotItsPointerSelects) {
    board::ChannelCalibration channel;
    EXPECT_TRUE(channel.write(0x61, 5));
    EXPECT_TRUE(channel.write(0x60, 0xFF123456));  // a gain register keeps 24 bits
    EXPECT_TRUE(channel.write(0x61, 0xF6));        // the pointer keeps its field
    EXPECT_TRUE(channel.write(0x60, 7));
    EXPECT_TRUE(channel.write(0x60, 8));           // the same slot again
    EXPECT_EQ(channel.slot(0x60, 5), 0x123456u);
    EXPECT_EQ(channel.slot(0x60, 6), 8u);
    EXPECT_EQ(channel.slot(0x60, 4), std::nullopt);
    // Each data register follows its own pointer.
    EXPECT_TRUE(channel.write(0x115, 63));
    EXPECT_TRUE(channel.write(0x69, 2));
    EXPECT_TRUE(channel.write(0x114, 0xFFFFFFFB));
    EXPECT_TRUE(channel.write(0x68, 9));
    EXPECT_EQ(channel.slot(0x114, 63), 0xFFFFFFFBu);
    EXPECT_EQ(channel.slot(0x68, 2), 9u);
    // A data write before any pointer write fills slot 0.
    EXPECT_TRUE(channel.write(0x63, 0xFFFFFFFF));
    EXPECT_EQ(channel.slot(0x63, 0), 0x7FFFFFFFu);
}

TEST(ChannelCalibration, SingleRegistersAndOthers) {
    board::ChannelCalibration channel;
    EXPECT_TRUE(channel.write(0x7A, 0xC0000000));
    EXPECT_TRUE(channel.write(0x8B, 0x01800000));
    EXPECT_EQ(channel.single(0x7A), 0x40000000u);
    EXPECT_EQ(channel.single(0x8B), 0x800000u);
    EXPECT_EQ(channel.single(0x70), std::nullopt);
    EXPECT_FALSE(channel.write(0x58, 1));  // a charge-balance offset is a register of the channel
    EXPECT_FALSE(channel.write(0x62, 1));
}

}  // namespace

namespace {

TEST(IsolatedRegisterFile, ChannelBlocksKeepTheirCalibrationSlots) {
    board::IsolatedRegisterFile registers;
    const uint32_t channel1 = board::IsolatedRegisterFile::kChannelBlocks + board::IsolatedRegisterFile::kChannelBlockWords;
    registers.write(channel1 + 0x115, 63);
    registers.write(channel1 + 0x114, 0x12345678);
    registers.write(0x115, 9);  // the isolated FPGA's own registers are no channel's
    registers.write(0x114, 1);
    registers.write(board::IsolatedRegisterFile::kCmccDigiPot, 0x5A);
    EXPECT_EQ(registers.calibration(1).slot(0x114, 63), 0x12345678u);
    EXPECT_TRUE(registers.calibration(0).slots(0x114).empty());
    EXPECT_EQ(registers.calibration(1).slots(0x114).size(), 1u);
    // Each write is a plain word too.
    EXPECT_EQ(registers.stored(channel1 + 0x114), 0x12345678u);
    EXPECT_EQ(registers.stored(board::IsolatedRegisterFile::kCmccDigiPot), 0x5Au);
}

}  // namespace
