// Level 11's hardware error controller on a device brought up as far as the driver goes: over the
// level-5 board error controller, the device's checker composite, and level 8's isolated FPGA and
// channel maps on their access ports.
#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>
#include <vector>

#include "device/hardwareErrorCheckers.h"
#include "device/isolatedRegMaps.h"
#include "fixture.h"
#include "kal/sim/clock.h"

namespace tolvanetest {
namespace {

class DeviceErrors : public Tolvane {
protected:
    void build() {
        TolvaneHelper* helper = device()->getHelper();
        ASSERT_NE(helper, nullptr);
        // The one type of controller the level makes.
        hec_ = static_cast<HardwareErrorController*>(helper->getHardwareErrorController());
        ASSERT_NE(hec_, nullptr);
    }

    HardwareErrorController* hec_ = nullptr;
};

// Level 5 started the board's manager: a board error reaches the check, the device's check
// request (through its composite) and the record, where the channels are the remembered ones.
TEST_F(DeviceErrors, TheLevelFiveBoardControllerLeadsTheCheckAndTheRecord) {
    ASSERT_EQ(add(), 0);
    ASSERT_GE(tracker().reached, 6);
    build();
    tStatus clean;
    hec_->checkErrorState(0xF, clean);
    EXPECT_EQ(clean.code, 0);

    blocks_.nonIsolatedFpga.raiseError(board::NonIsolatedFpga::kNonIsolatedBlock, 0x20D);
    tStatus checked;
    hec_->checkErrorState(0, checked);
    EXPECT_EQ(checked.code, KZ_DEVICE_CODE(0xBFFA4094));
    tStatus composite;
    device()->getHelper()->checkHardwareState(0, composite);
    EXPECT_EQ(composite.code, KZ_DEVICE_CODE(0xBFFA4094));

    tStatus read;
    const vantrel_shared::TolvaneHardwareErrors record = hec_->getErrors(read);
    EXPECT_EQ(read.code, 0);
    EXPECT_EQ(record.boardErrorId(), 0x20D);
    EXPECT_TRUE(record.isBoardInputLatched(0x20D));
    EXPECT_FALSE(record.channelErrorsLive());
}

// A channel's error as the controller meets it over level 8's maps: each channel's accesses go
// through that channel's own port, the isolated board's through the board port, and the device's
// check request reaches the channel error through the composite.
TEST_F(DeviceErrors, ChannelErrorsReachTheControllerThroughTheLevelEightPorts) {
    ASSERT_EQ(add(), 0);
    ASSERT_GE(tracker().reached, 9);
    build();
    board::IsolatedLink& link = blocks_.nonIsolatedFpga.isolatedLink();
    link.clearLog();
    tStatus enabled;
    hec_->enableIsoErrorManagers(enabled);
    EXPECT_EQ(enabled.code, 0);
    blocks_.nonIsolatedFpga.raiseError(2, 0x904);
    tStatus checked;
    hec_->checkErrorState(0x4, checked);
    EXPECT_EQ(checked.code, KZ_DEVICE_CODE(0xBFFA4098));
    tStatus composite;
    device()->getHelper()->checkHardwareState(0, composite);
    EXPECT_EQ(composite.code, KZ_DEVICE_CODE(0xBFFA4098));
    tStatus read;
    const vantrel_shared::TolvaneHardwareErrors record = hec_->getErrors(read);
    EXPECT_EQ(read.code, 0);
    EXPECT_EQ(record.channelErrorId(2), 0x904);
    EXPECT_TRUE(record.isChannelInputLatched(2, 0x904));
    EXPECT_TRUE(record.channelErrorsLive());

    std::set<unsigned> channelPorts;
    for (const board::PortAccess& a : link.log()) {
        const unsigned expected = a.address < 0x1000 ? IsolatedRegMaps::kBoardPort : (a.address - 0x1000) / 0x200;
        EXPECT_EQ(a.port, expected) << std::hex << a.address;
        channelPorts.insert(a.port);
    }
    EXPECT_EQ(channelPorts, (std::set<unsigned>{0, 1, 2, 3, IsolatedRegMaps::kBoardPort}));
}

// A channel-1 access on its level-8 port meets the port's fault while another thread checks every
// channel, with the all-channel check in the device's composite: the access's fault path only
// tries the controller's lock, so both finish and the access ends with its port's time-out.
TEST_F(DeviceErrors, ACheckAndAFaultingChannelAccessOnTwoThreadsBothFinish) {
    ASSERT_EQ(add(), 0);
    build();
    board::AccessPortKnobs knobs;
    knobs.fault = true;
    blocks_.nonIsolatedFpga.setAccessPortKnobs(1, knobs);
    kal::sim::ScopedRealTime realTime;
    std::atomic<bool> done{false};
    tStatus a;
    std::thread checker([&] {
        while (!done.load()) {
            tStatus each;
            hec_->checkErrorState(0xF, each);
            if (each.isFatal() && a.isNotFatal()) a = each;
        }
    });
    tStatus b;
    std::thread access([&] {
        device()->getHelper()->getIsolatedRegMaps()->getChannelMap(1)->IsoChannelStatusReg().readRegister(b);
        done = true;
    });
    access.join();
    checker.join();
    EXPECT_EQ(b.code, KZ_DEVICE_CODE(0xBFFA4680));
    EXPECT_TRUE(a.code == 0 || a.code == KZ_DEVICE_CODE(0xBFFA468B) || a.code == KZ_DEVICE_CODE(0xBFFA4680)) << a.code;
    EXPECT_EQ(hec_->nesting(), 0);

    blocks_.nonIsolatedFpga.setAccessPortKnobs(1, board::AccessPortKnobs{});
    tStatus clear;
    device()->getHelper()->checkHardwareState(0, clear);
    EXPECT_EQ(clear.code, 0);
}

}  // namespace
}  // namespace tolvanetest
