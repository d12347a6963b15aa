// kzvorn-sim's channel commands and board knobs, each a request through the envelope, on a board
// brought up to level 13 with levels 14 to 22 faked (kzvorn-sim --fake-from 14).
#include <cstdio>
#include <string>

#include "boardFaults.h"
#include "fixture.h"
#include "tolvane/scriptRun.h"
#include "tools/stowly/stowlyData.h"

namespace channeltest {
namespace {

class SimScript : public ChannelRequests {
protected:
    std::string run(const std::string& script) {
        bool good = false;
        const std::string printed = tolvanetest::printedBy(kernel_, blocks_, script, &good);
        EXPECT_TRUE(good) << printed;
        return printed;
    }
    void knobs(std::initializer_list<const char*> faults) {
        kzvornsim::BoardFaults chosen;
        for (const char* fault : faults) {
            std::string why;
            ASSERT_TRUE(chosen.add(fault, why)) << fault << ": " << why;
        }
        chosen.apply(blocks_);
    }
};

TEST_F(SimScript, SequencerCommands) {
    addBuiltTo13();
    const stowly::SubroutinePackageData package = stowly::builtInSubroutinePackage();
    std::string listing = "dravik.list: 123, status: 0\n";
    for (size_t i = 0; i < package.ids.size(); ++i) {
        char line[64];
        std::snprintf(line, sizeof line, "  0x%08X at 0x%X\n", package.ids[i], package.startAddresses[i]);
        listing += line;
    }
    EXPECT_EQ(run("reserve 0x1\ndravik.count\ndravik.list\ndravik.start 0x1 0\ndravik.running 0x1\n"
                  "dravik.reset 0x1\ndravik.running 0x1\n"),
              "reserve 0x1: status: 0\n"
              "dravik.count: 123, status: 0\n" +
                  listing +
                  "dravik.start 0x1 0: status: 0\n"
                  "dravik.running 0x1: running: 1, status: 0\n"
                  "dravik.reset 0x1: status: 0\n"
                  "dravik.running 0x1: running: 0, status: 0\n");
}

TEST_F(SimScript, ChannelCommandsAndKnobs) {
    addBuiltTo13();
    knobs({"latch=1:0x8", "overflow=2"});
    EXPECT_EQ(run("hw.check 0\n"
                  "reserve 0x6\n"
                  "hw.overflow 0x4\n"
                  "hw.overflow 0x2\n"
                  "event.check 0x2 0x800\n"
                  "event.check 0x6 0x800\n"
                  "event.clear 0x2 0x800\n"
                  "event.check 0x2 0x800\n"
                  "event.clearall 0x6\n"
                  "event.check 0x2 2077\n"
                  "measure.arm 1\n"
                  "measure.reset 1\n"
                  "measure.arm 0x101\n"
                  "trigger.override 0x6 1036\n"
                  "gang.reserve 1 2\n"
                  "gang.state 2\n"
                  "gang.reserve 2 2\n"
                  "gang.unreserve 1\n"
                  "gang.state 1\n"
                  "hw.clear 0x6\n"),
              "hw.check 0: status: 0\n"
              "reserve 0x6: status: 0\n"
              "hw.overflow 0x4: status: 0xBFFA4037\n"
              "hw.overflow 0x2: status: 0\n"
              "event.check 0x2 0x800: latched: 1, status: 0\n"
              "event.check 0x6 0x800: latched: 0, status: 0\n"
              "event.clear 0x2 0x800: status: 0\n"
              "event.check 0x2 0x800: latched: 0, status: 0\n"
              "event.clearall 0x6: status: 0\n"
              "event.check 0x2 2077: latched: 0, status: 0xBFFA4300\n"
              "measure.arm 1: status: 0\n"
              "measure.reset 1: status: 0\n"
              "measure.arm 0x101: status: 0xBFFA4303\n"
              "trigger.override 0x6 1036: overridden: 1, status: 0\n"
              "gang.reserve 1 2: status: 0\n"
              "gang.state 2: merge count: 2, master: 0, reserved: 1, status: 0\n"
              "gang.reserve 2 2: status: 0xBFFA40AE\n"
              "gang.unreserve 1: status: 0\n"
              "gang.state 1: merge count: 2, master: 1, reserved: 0, status: 0\n"
              "hw.clear 0x6: status: 0\n");
}

// One command per instrument request, its words in record order, its buffers in user memory.
TEST_F(SimScript, InstrumentCommands) {
    addFakingFrom(16);
    knobs({"dac-word=1:0x00200000"});
    EXPECT_EQ(run("reserve 0x3\n"
                  "vantrel.readTemperatureSensor 2\n"
                  "vantrel.queryInCompliance 1\n"
                  "vantrel.areStorageMapChecksumsValid\n"
                  "vantrel.areStorageMapVersionsValid\n"
                  "vantrel.getAlarmRaised 0x2 1\n"
                  "vantrel.clearAlarm 0x3 0\n"
                  "vantrel.maskAlarm 0x2 2\n"
                  "vantrel.unmaskAlarm 0x8 1\n"
                  "vantrel.calculateChargeBalanceOffset 1 3\n"
                  "vantrel.loadCalibrationToFirmwareFromStorageMapSoftcopy 0x20\n"
                  "vantrel.configureMeasureUnit 0x9 1 E803000002030000 0\n"
                  "vantrel.configureMeasureUnit 0x9 1 E80300000203000000 0\n"
                  "vantrel.getMeasurement 0 1 23\n"
                  "vantrel.stagePowerAllocation 0 30000000\n"
                  "vantrel.commitPowerAllocation 0\n"
                  "vantrel.getActualPowerAllocation 0\n"
                  "vantrel.stagePowerAllocation 1 20000000\n"
                  "vantrel.discardPowerAllocation 1\n"
                  "vantrel.readDAC 1\n"
                  "vantrel.writeCmccDigipot 128\n"
                  "vantrel.setConnectedAccessory 9\n"
                  "vantrel.getConnectedAccessory\n"),
              "reserve 0x3: status: 0\n"
              "vantrel.readTemperatureSensor 2: result: 0, status: 0xBFFA4300\n"
              "vantrel.queryInCompliance 1: result: 0, status: 0\n"
              "vantrel.areStorageMapChecksumsValid: result: 1, status: 0\n"
              "vantrel.areStorageMapVersionsValid: result: 1, status: 0\n"
              "vantrel.getAlarmRaised 0x2 1: result: 0, status: 0\n"
              "vantrel.clearAlarm 0x3 0: status: 0xBFFA4303\n"
              "vantrel.maskAlarm 0x2 2: status: 0xBFFA4300\n"
              "vantrel.unmaskAlarm 0x8 1: status: 0\n"
              "vantrel.calculateChargeBalanceOffset 1 3: bytes: 0000, status: -52005\n"
              "vantrel.loadCalibrationToFirmwareFromStorageMapSoftcopy 0x20: status: 0xBFFA431A\n"
              "vantrel.configureMeasureUnit 0x9 1 E803000002030000 0: status: 0\n"
              "vantrel.configureMeasureUnit 0x9 1 E80300000203000000 0: status: -52005\n"
              "vantrel.getMeasurement 0 1 23: bytes: 0000000000000000000000000000000000000000000000, status: -52005\n"
              "vantrel.stagePowerAllocation 0 30000000: result: 10000000, status: 0\n"
              "vantrel.commitPowerAllocation 0: status: 0\n"
              "vantrel.getActualPowerAllocation 0: result: 30000000, status: 0\n"
              "vantrel.stagePowerAllocation 1 20000000: result: 0, status: 0xBFFA40A9\n"
              "vantrel.discardPowerAllocation 1: status: 0\n"
              "vantrel.readDAC 1: result: -2097152, status: 0\n"
              "vantrel.writeCmccDigipot 128: status: 0\n"
              "vantrel.setConnectedAccessory 9: status: 0\n"
              "vantrel.getConnectedAccessory: result: 9, status: 0\n");
}

TEST(SimKnobs, ChannelKnobsRefuseChannelsTheBoardDoesNotHave) {
    for (const char* fault : {"latch=4:1", "latch=1", "overflow=4", "overflow", "latch=0:0x100000000", "dac-word=4:1",
                              "dac-word=1", "dac-word=0:0x100000000"}) {
        kzvornsim::BoardFaults chosen;
        std::string why;
        EXPECT_FALSE(chosen.add(fault, why)) << fault;
    }
}

}  // namespace
}  // namespace channeltest
