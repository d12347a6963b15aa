// Setup levels 7 to 9 through the reset request and the named-access requests of a session, as user
// mode drives them: the isolation link's handshake around the isolated image, the isolated side's
// maps and window, the configuration strobes, and what each board fault leaves.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <deque>
#include <string>
#include <thread>
#include <vector>

#include "board/isolatedSequencers.h"
#include "isolatedLevels/isolatedSide.h"
#include "kal/sim/clock.h"

namespace {

using namespace tolvanetest;

constexpr uint64_t kIsoComm = board::bar0::kNonIsolatedFpga + 0x020;
constexpr int64_t kIsoCommTimeout = KZ_DEVICE_CODE(0xBFFA4678);
constexpr int64_t kDcBusTimeout = KZ_DEVICE_CODE(0xBFFA4683);
constexpr int64_t kPortNotReady = KZ_DEVICE_CODE(0xBFFA4680);
constexpr uint32_t kIsoFpgaConfig = 0x08;
const std::string kChannel = "TolvaneIsoFpgaRegMap_TolvaneIsoChannel";
const std::string kVersion = "_Ver1.5.0f22090707";

std::string channelMap(unsigned c) { return kChannel + std::to_string(c) + "_TolvaneIsoChannelRegMap" + kVersion; }

class IsolatedLevels : public isolatedtest::IsolatedSide {
protected:
    // The isolated writes of one address, in order.
    std::vector<uint32_t> isolatedWrites(uint32_t address) {
        std::vector<uint32_t> out;
        for (const board::PortAccess& a : link().log())
            if (a.write && a.address == address) out.push_back(a.value);
        return out;
    }
};

TEST_F(IsolatedLevels, TheBringUpPassesTheIsolatedLevelsAndRegistersTheIsolatedSide) {
    ASSERT_EQ(add(), 0);
    EXPECT_EQ(tracker().reached, 22);
    EXPECT_EQ(tracker().status.code, 0);
    const std::string names = run("arm.names\n");
    const size_t fpga = names.find("  TolvaneIsoFpgaRegMap\n");
    ASSERT_NE(fpga, std::string::npos) << names;
    std::string channels;
    for (unsigned c = 0; c < 7; ++c) channels += "  " + kChannel + std::to_string(c) + "_TolvaneIsoChannelRegMap\n";
    EXPECT_EQ(names.substr(fpga), "  TolvaneIsoFpgaRegMap\n" + channels);
    const std::string windows = run("window.names\n");
    EXPECT_EQ(windows.substr(windows.size() - std::string("  IsoFpgaWindow\n").size()), "  IsoFpgaWindow\n");
    // Built-in image: level 8 writes nothing isolated, level 9 the one strobe, before level 10's
    // accesses; level 17 the routing enable, level 21 the error manager's enable.
    EXPECT_EQ(isolatedWrites(kIsoFpgaConfig), (std::vector<uint32_t>{0x10, 0x04, 0x01}));
    ASSERT_FALSE(link().log().empty());
    EXPECT_EQ(link().log().front(), (board::PortAccess{4, true, kIsoFpgaConfig, 0x10}));
}

TEST_F(IsolatedLevels, LevelSevenDrivesTheLinkAroundTheDownload) {
    ASSERT_EQ(add(), 0);
    plan_.fake(kStepIsoFirmware, BringUpPlan::kReal);
    board_.log().clear();
    EXPECT_EQ(run("reset 7\nboard.fpga\narm.names\n").substr(0, 23), "reset 7: status: -52010");
    EXPECT_EQ(tracker().reached, 7);
    EXPECT_EQ(board_.log().writesTo(kIsoComm), (std::vector<uint64_t>{1, 2, 0x100}));
    const std::vector<board::FpgaConfigurationPort::Load> loads = blocks_.fpgaPort.loads();
    ASSERT_FALSE(loads.empty());
    EXPECT_EQ(loads.back().port, 3u);
    EXPECT_EQ(loads.back().size, 6692572u);
    EXPECT_EQ(loads.back().stores64, 836571u);
    EXPECT_EQ(loads.back().byteWrites, 4u);
    EXPECT_EQ(loads.back().verdict, board::FpgaConfigurationPort::Verdict::kConfigured);
    EXPECT_EQ((board_.log().writesTo(board::bar0::kFpgaPortSelect).back() >> 8) & 7, 3u);
    EXPECT_EQ(board_.log().writesTo(board::bar0::kFpgaLoadSize).back(), 6692572u);
    // The status reads: each command waits until the link reports it.
    const std::vector<uint64_t> reads = board_.log().readsOf(kIsoComm);
    ASSERT_GE(reads.size(), 3u);
    EXPECT_EQ(reads.back(), 0x102u);
    EXPECT_EQ(run("arm.names\n").find("TolvaneIsoFpgaRegMap"), std::string::npos) << "nothing isolated registered";
}

TEST_F(IsolatedLevels, NamedAccessReachesEachMapThroughItsPort) {
    ASSERT_EQ(add(), 0);
    link().clearLog();
    char signature[16];
    std::snprintf(signature, sizeof signature, "0x%X", stowly::builtInFpgaSignatures()[1]);
    EXPECT_EQ(run("arm.read TolvaneIsoFpgaRegMap" + kVersion + " 0x80271A89\n"),
              "arm.read TolvaneIsoFpgaRegMap" + kVersion + " 0x80271A89: value: " + signature + ", status: 0\n");
    EXPECT_EQ(run("arm.write " + channelMap(2) + " 0x80C84A1D 0x22\n" + "arm.write " + channelMap(5) +
                  " 0x80C84A1D 0x55\n" + "arm.write " + channelMap(0) + " 0x80C84A1D 0x77\n" + "arm.read " +
                  channelMap(0) + " 0x80C84A1D\n" + "board.iso 0x15FF\n"),
              "arm.write " + channelMap(2) + " 0x80C84A1D 0x22: status: 0\n" + "arm.write " + channelMap(5) +
                  " 0x80C84A1D 0x55: status: 0\n" + "arm.write " + channelMap(0) + " 0x80C84A1D 0x77: status: 0\n" +
                  "arm.read " + channelMap(0) + " 0x80C84A1D: value: 0x77, status: 0\n" +
                  "board.iso:\n  0x15FF: 00000022\n");
    EXPECT_EQ(link().log(), (std::vector<board::PortAccess>{{4, false, 0x0000, stowly::builtInFpgaSignatures()[1]},
                                                            {2, true, 0x15FF, 0x22},
                                                            {4, true, 0x1BFF, 0x55},
                                                            {0, true, 0x11FF, 0x77},
                                                            {0, false, 0x11FF, 0x77}}));
    const std::string formats = run("arm.format " + channelMap(1) + " 0x806A4830\narm.format " + channelMap(1) +
                                    " 0xC06A4830\n");
    EXPECT_NE(formats.find("0x806A4830: fields: 14, status: 0"), std::string::npos) << formats;
    EXPECT_NE(formats.find("0xC06A4830: fields: 8, status: 0"), std::string::npos) << formats;
    link().clearLog();
    blocks_.nonIsolatedFpga.presentIsolated(8, 0x0300);
    EXPECT_EQ(run("window.get IsoFpgaWindow 8 4\n"), "window.get IsoFpgaWindow 8 4: status: 0\n  bytes: 00030000\n");
    EXPECT_EQ(link().log(), (std::vector<board::PortAccess>{{4, false, 8, 0x0300}}));
    // The window serves single words only, within its 7680 bytes; no port is reached otherwise.
    link().clearLog();
    EXPECT_EQ(run("window.read IsoFpgaWindow 8 8\nwindow.read IsoFpgaWindow 7680 4\narm.read TolvaneIsoFpgaRegMap" +
                  kVersion + " 0x80E5C260\n"),
              "window.read IsoFpgaWindow 8 8: status: -52005\n"
              "window.read IsoFpgaWindow 7680 4: status: -240015\n"
              "arm.read TolvaneIsoFpgaRegMap" + kVersion + " 0x80E5C260: value: 0x0, status: -52005\n");
    EXPECT_TRUE(link().log().empty());
}

TEST_F(IsolatedLevels, AReplacementImageIsAnnouncedAtLevelEight) {
    ASSERT_EQ(add(), 0);
    plan_.fake(kStepIsoFirmware, BringUpPlan::kReal);
    link().clearLog();
    EXPECT_EQ(resetWithIsoImage(9, stowly::kIsoFpgaImageSize), "reset 9: status: -52010\n");
    EXPECT_EQ(isolatedWrites(kIsoFpgaConfig), (std::vector<uint32_t>{0x80000000, 0x10}));
    EXPECT_EQ(blocks_.fpgaPort.fpga(board::kIsolatedFpga).signature, isolatedtest::kOtherIsoSignature);
    link().clearLog();
    EXPECT_EQ(resetWithIsoImage(9, stowly::kIsoFpgaImageSize - 8), "reset 9: status: 0xBFFA806B\n");
    EXPECT_EQ(tracker().reached, 6);
    EXPECT_TRUE(link().log().empty());
}

// A port that keeps reporting its fault: the device's checkers run at each status test, find
// nothing, and the read ends with the port's time-out (a failed request reports no value). Below
// level 11, whose checkers would read the channel through the faulting port themselves.
TEST_F(IsolatedLevels, APersistingPortFaultEndsInThePortsTimeOut) {
    ASSERT_EQ(add(), 0);
    ASSERT_EQ(run("reset 10\n"), "reset 10: status: -52010\n");
    EXPECT_EQ(run("arm.write " + channelMap(0) + " 0x80C84A1D 0x31\narm.read " + channelMap(0) + " 0x80C84A1D\n"),
              "arm.write " + channelMap(0) + " 0x80C84A1D 0x31: status: 0\narm.read " + channelMap(0) +
                  " 0x80C84A1D: value: 0x31, status: 0\n");
    blocks_.nonIsolatedFpga.setAccessPortKnobs(0, board::AccessPortKnobs{0, false, false, true});
    board_.log().clear();
    EXPECT_EQ(run("arm.read " + channelMap(0) + " 0x80C84A1D\n"),
              "arm.read " + channelMap(0) + " 0x80C84A1D: value: 0x0, status: 0xBFFA4680\n");
    // Each status test ran the checkers: the bridge signature among them is read as often.
    const size_t tests = board_.log().countReads(board::bar0::kNonIsolatedFpga + 0x200);
    EXPECT_GT(tests, 100u);
    EXPECT_EQ(board_.log().countReads(board::bar0::kSignature), tests);
}

// Channel 2's error manager started and an error raised on its mux, through the channel's map on
// its own access port: the manager's occurrence register names the error, the board holds it, and
// the hardware-errors record of level 11's controller reports it. Levels 18 to 22 stand in: level
// 21 would start every isolated manager.
TEST_F(IsolatedLevels, AChannelErrorReachesItsMapThroughTheChannelsPort) {
    plan_.fakeLevels(18, 22, BringUpPlan::kSucceed);
    ASSERT_EQ(add(), 0);
    link().clearLog();
    const std::string m = channelMap(2);
    EXPECT_EQ(run("arm.write " + m + " 0x000DCE7E 1\nboard.raise ch2 0x904\narm.read " + m +
                  " 0x80878BBF\nboard.errors\n"),
              "arm.write " + m + " 0x000DCE7E 1: status: 0\n"
              "board.raise: ch2 0x904\n"
              "arm.read " + m + " 0x80878BBF: value: 0x904, status: 0\n"
              "board.errors:\n"
              "  niso: manager enabled, latched id 0x0, error mux latched: none\n"
              "  iso: manager disabled, latched id 0x0, error mux latched: none\n"
              "  ch0: manager disabled, latched id 0x0, error mux latched: none\n"
              "  ch1: manager disabled, latched id 0x0, error mux latched: none\n"
              "  ch2: manager enabled, latched id 0x904, error mux latched: 0x904\n"
              "  ch3: manager disabled, latched id 0x0, error mux latched: none\n");
    // Both accesses went through channel 2's port.
    const std::vector<board::PortAccess> accesses = link().log();
    ASSERT_EQ(accesses.size(), 2u);
    EXPECT_EQ(accesses[0], (board::PortAccess{2, true, 0x1400, 1}));
    EXPECT_EQ(accesses[1], (board::PortAccess{2, false, 0x1447, 0x904}));
    EXPECT_EQ(run("hw.errors\n"),
              "hw.errors: status: 0\n"
              "  board: id 0x0, latched: none\n"
              "  channels live: 1\n"
              "  ch0: id 0x0, latched: none\n"
              "  ch1: id 0x0, latched: none\n"
              "  ch2: id 0x904, latched: 0x904\n"
              "  ch3: id 0x0, latched: none\n");
}

// Each fault of the link or the port: the status, the level reached, whether data went out.
TEST_F(IsolatedLevels, WhatTheLinksFaultsLeave) {
    struct Case {
        const char* name;
        void (*knob)(board::ProductOptions&);
        int64_t status;
        int32_t reached;
        bool dataSent;
    };
    const Case cases[] = {
        {"state 1 never", [](board::ProductOptions& o) { o.isolated.isoCommNever = 1; }, kIsoCommTimeout, 6, false},
        {"state 2 never", [](board::ProductOptions& o) { o.isolated.isoCommNever = 2; }, kIsoCommTimeout, 6, true},
        {"no DC bus", [](board::ProductOptions& o) { o.isolated.dcBusNeverStarts = true; }, kDcBusTimeout, 6, true},
        {"completion withheld", [](board::ProductOptions& o) { o.fpga.isolatedDoneWithheld = true; }, 0, 22, true},
        {"never ready", [](board::ProductOptions& o) { o.fpga.isolatedNeverReady = true; }, kPortNotReady, 8, false},
    };
    // The kernel unplugs its boards when it goes, after this test's body: they live as long.
    static std::deque<board::Board> boards;
    // The levels above 17 are not what this looks at.
    plan_.fakeLevels(18, 22, BringUpPlan::kSucceed);
    for (const Case& c : cases) {
        board::Board& b = boards.emplace_back(board::productIdentity());
        board::ProductOptions options = configuredFpgas();
        c.knob(options);
        board::ProductBlocks blocks = board::installProduct(b, options);
        kal::sim::PciFunction& function = kernel_.plug(b);
        plan_.fake(kStepIsoFirmware, BringUpPlan::kReal);
        TolvaneDevice::setBringUpPlan(&plan_);
        EXPECT_EQ(kernel_.addDevice(function), 0) << c.name;
        TolvaneDevice::setBringUpPlan(nullptr);
        auto* device = static_cast<TolvaneDevice*>(static_cast<nKZAPAL000::tDevice*>(kernel_.device(function)));
        EXPECT_EQ(device->getSetupTracker().status.code, c.status) << c.name;
        EXPECT_EQ(device->getSetupTracker().reached, c.reached) << c.name;
        const std::vector<board::FpgaConfigurationPort::Load> loads = blocks.fpgaPort.loads();
        EXPECT_EQ(!loads.empty() && loads.back().received > 0, c.dataSent) << c.name;
        kernel_.removeDevice(function);
    }
}

TEST_F(IsolatedLevels, ResetsToSevenAndEightAndTheTeardownWriteNothingIsolated) {
    ASSERT_EQ(add(), 0);
    // Level 11's teardown writes its trigger muxes.
    EXPECT_EQ(run("reset 10\n"), "reset 10: status: -52010\n");
    link().clearLog();
    EXPECT_EQ(run("reset 8\n"), "reset 8: status: -52010\n");
    const std::string names = run("arm.names\nwindow.names\n");
    EXPECT_NE(names.find("  TolvaneIsoFpgaRegMap\n"), std::string::npos);
    EXPECT_NE(names.find(kChannel + "6_TolvaneIsoChannelRegMap"), std::string::npos);
    EXPECT_NE(names.find("  IsoFpgaWindow\n"), std::string::npos);
    EXPECT_EQ(run("reset 7\n"), "reset 7: status: -52010\n");
    const std::string none = run("arm.names\nwindow.names\n");
    EXPECT_EQ(none.find("TolvaneIso"), std::string::npos);
    EXPECT_EQ(none.find("IsoFpgaWindow"), std::string::npos);
    EXPECT_TRUE(link().log().empty()) << "neither level 8 nor its teardown writes an isolated register";
}

// Channels 0 and 1 go through ports 0 and 1: a stalled port 0 does not hold up channel 1. Channels 4
// and 5 share port 4 without a protocol violation.
TEST_F(IsolatedLevels, ChannelsOnTheirOwnPortsRunInParallel) {
    ASSERT_EQ(add(), 0);
    blocks_.nonIsolatedFpga.setAccessPortKnobs(0, board::AccessPortKnobs{0, true});
    kal::sim::ScopedRealTime realTime;
    std::atomic<bool> channel0Done{false}, channel1DoneFirst{false};
    std::thread stalled([&] {
        run("arm.read " + channelMap(0) + " 0x80C84A1D\n");
        channel0Done = true;
    });
    std::thread quick([&] {
        run("arm.write " + channelMap(1) + " 0x80C84A1D 5\n");
        channel1DoneFirst = !channel0Done;
    });
    stalled.join();
    quick.join();
    EXPECT_TRUE(channel1DoneFirst);
    blocks_.nonIsolatedFpga.setAccessPortKnobs(0, {});
    blocks_.nonIsolatedFpga.setAccessPortKnobs(4, board::AccessPortKnobs{2});
    std::atomic<int> wrong{0};
    auto writeAndRead = [&](unsigned c) {
        for (unsigned i = 1; i <= 10; ++i) {
            const std::string value = std::to_string(i * 16 + c);
            run("arm.write " + channelMap(c) + " 0x80C84A1D " + value + "\n");
            char expected[32];
            std::snprintf(expected, sizeof expected, "value: 0x%X,", i * 16 + c);
            if (run("arm.read " + channelMap(c) + " 0x80C84A1D\n").find(expected) == std::string::npos) ++wrong;
        }
    };
    std::thread four(writeAndRead, 4), five(writeAndRead, 5);
    four.join();
    five.join();
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(link().counts(4).violations, 0u);
}

}  // namespace

// Level 10 runs on the board after level 9 and loads local RAM up to its end word; a reset to it
// stops there.
TEST_F(IsolatedLevels, AResetToTenStopsThere) {
    ASSERT_EQ(add(), 0);
    EXPECT_EQ(run("reset 10\nlevel\n"), "reset 10: status: -52010\nlevel: 10, status: 0\n");
    EXPECT_NE(link().sequencers().localRam()[0xFFFF], 0u);
}

// Level 12 runs on the board after level 11, and a reset to 12 stops there.
TEST_F(IsolatedLevels, AResetToTwelveStopsThere) {
    ASSERT_EQ(add(), 0);
    EXPECT_EQ(run("reset 12\nlevel\n"), "reset 12: status: -52010\nlevel: 12, status: 0\n");
    EXPECT_TRUE(link().sequencers().pllLocked());
}
