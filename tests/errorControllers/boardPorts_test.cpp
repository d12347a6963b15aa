// The hardware error controller over the board's access ports: the controllers built through the
// factory on the isolated FPGA map and the channel maps, each channel on its own port, the
// controller's check registered in the device's checker composite as the bring-up registers it.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "device/hardwareErrorCheckers.h"
#include "device/isolatedRegMaps.h"
#include "isoFixture.h"
#include "kal/sim/clock.h"

namespace {

using namespace errtest;
using kzvorn_driver::HardwareErrorController;
using kzvorn_driver::WindowedFrontEndAccessor;

constexpr int64_t kNotReady = KZ_DEVICE_CODE(0xBFFA4680);
constexpr int64_t kNested = KZ_DEVICE_CODE(0xBFFA468B);

struct BoardErrors : kzmaps::NisoBoard {
    kzvorn_regmaps::tTolvaneNisoFpgaRegMap niso{&block, st, 0, 0, 0xFFFFFFFF};
    kdut::HardwareStateCheckerComposite checkers;
    std::vector<std::unique_ptr<WindowedFrontEndAccessor>> ports;
    std::unique_ptr<kzvorn_regmaps::tTolvaneIsoFpgaRegMap> isoFpga;
    tChannelMap* channels[4] = {};
    kzvorn_driver::NisoBoardErrorMuxInputMap nisoInputs{st};
    kzvorn_driver::IsoBoardErrorMuxInputMap isoBoardInputs{st};
    kzvorn_driver::IsoChannelErrorMuxInputMap channelInputs{st};
    kzvorn_driver::IsoChannelInterruptMuxInputMap interruptInputs{st};
    kzvorn_driver_codegen::ErrorMap errors{st};
    kzhtl::SharedPtr<vantrel_shared::ErrorControllerInterface> nisoController;
    std::unique_ptr<kzvorn_driver::ErrorControllerFactory> factory;
    std::unique_ptr<vantrel_shared::IsoErrorControllers> controllers;
    std::unique_ptr<HardwareErrorController> hec;
    std::unique_ptr<kzvorn_driver::HardwareErrorCheckers> hecCheckers;

    BoardErrors() {
        for (unsigned p = 0; p < 5; ++p) ports.push_back(std::make_unique<WindowedFrontEndAccessor>(niso, p, checkers, st));
        isoFpga = std::make_unique<kzvorn_regmaps::tTolvaneIsoFpgaRegMap>(ports[4].get(), st);
        for (unsigned c = 0; c < 4; ++c) {
            channels[c] = isoFpga->channelMap(c);
            channels[c]->setAccessor(ports[c].get());
        }
        kzhtl::SharedPtr<vantrel_shared::OccurrenceMuxInterface> mux(
            kzvorn_driver::newNisoBoardErrorMux(niso, uint8_t(nisoInputs.getInputCount()), st), st);
        kzhtl::SharedPtr<vantrel_shared::ErrorManagerInterface> manager(kzvorn_driver::newNisoBoardErrorManager(niso, st),
                                                                         st);
        nisoController.reset(new (st) vantrel_shared::OccurrenceErrorController(manager, mux, &nisoInputs, &errors), st);
        factory = std::make_unique<kzvorn_driver::ErrorControllerFactory>(
            niso, *isoFpga, channels, &isoBoardInputs, &channelInputs, &interruptInputs, &errors);
        controllers = std::make_unique<vantrel_shared::IsoErrorControllers>(*factory, 0xF, st);
        hec = std::make_unique<HardwareErrorController>(nisoController.get(),
                                                        controllers->isoBoardErrorController.get(),
                                                        controllers->channelErrorControllers,
                                                        controllers->channelInterruptControllers, &checkers, st);
        hecCheckers = std::make_unique<kzvorn_driver::HardwareErrorCheckers>(hec.get());
        checkers.add(&hecCheckers->allChannels(), st);
        EXPECT_EQ(st.code, 0);
        board.log().clear();
    }
    void TestBody() override {}

    board::IsolatedOccurrence& iso() { return fpga().isolatedOccurrence(); }
    void fault(unsigned port, bool on) {
        board::AccessPortKnobs knobs;
        knobs.fault = on;
        fpga().setAccessPortKnobs(port, knobs);
    }
};

TEST(BoardErrors, ChannelErrorsReachTheControllerThroughTheirPorts) {
    BoardErrors f;
    f.channels[2]->IsoChannelConfigReg().writeEnableIsoChannelErrorManagerStb(true, f.st);
    f.fpga().raiseError(2, 0x904);
    f.hec->checkErrorState(0x4, f.st);
    EXPECT_EQ(f.st.code, code(0xBFFA4098));
    tStatus read;
    const vantrel_shared::TolvaneHardwareErrors record = f.hec->getErrors(read);
    EXPECT_EQ(read.code, 0);
    EXPECT_EQ(record.channelErrorId(2), 0x904);
    EXPECT_TRUE(record.isChannelInputLatched(2, 0x904));
}

// A check that meets a port's fault: called directly, the fault path runs the checkers, whose
// check finds the controller's own check running on this thread; started from the composite, the
// fault path does nothing and the port's poll times out. Once the fault clears, checks run again.
TEST(BoardErrors, AFaultDuringACheckEndsInTheNestedRuleOrThePortsTimeOut) {
    BoardErrors f;
    f.fault(1, true);
    tStatus direct;
    f.hec->checkErrorState(0xF, direct);
    EXPECT_EQ(direct.code, kNested);
    EXPECT_EQ(f.hec->nesting(), 0);

    tStatus fromComposite;
    f.checkers.checkHardwareState(fromComposite);
    EXPECT_EQ(fromComposite.code, kNotReady);
    EXPECT_EQ(f.hec->nesting(), 0);

    f.fault(1, false);
    tStatus clear;
    f.checkers.checkHardwareState(clear);
    EXPECT_EQ(clear.code, 0);
}

// Thread A checks all channels while thread B's channel 1 access meets the port's fault with the
// all-channel checker in the composite: B's fault path only tries the controller's lock, so
// neither waits for the other, and B ends with its port's time-out.
TEST(BoardErrors, ACheckAndAFaultingAccessOnTwoThreadsBothFinish) {
    BoardErrors f;
    f.fault(1, true);
    kal::sim::ScopedRealTime realTime;
    std::atomic<bool> done{false};
    tStatus a;
    std::thread checker([&] {
        while (!done.load()) {
            tStatus each;
            f.hec->checkErrorState(0xF, each);
            if (each.isFatal() && a.isNotFatal()) a = each;
        }
    });
    tStatus b;
    std::thread access([&] {
        f.channels[1]->IsoChannelStatusReg().readRegister(b);
        done = true;
    });
    access.join();
    checker.join();
    EXPECT_EQ(b.code, kNotReady);
    EXPECT_TRUE(a.code == 0 || a.code == kNested || a.code == kNotReady) << a.code;
}

}  // namespace
