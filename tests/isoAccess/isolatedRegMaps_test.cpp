// The level-8 object on the board: what it registers, which port each map reaches, the custom-image
// announcement, its teardown, and its build failures.
#include <gtest/gtest.h>

#include <string>

#include "device/isolatedRegMaps.h"
#include "kal/sim/faults.h"
#include "kzapal/protons/statusCodes.h"
#include "kzvorn_regMaps/fixture.h"

namespace {

using kzvorn_driver::IsolatedRegMaps;
using nKZAPALS100::tStatus;

std::string channelName(unsigned c) {
    return "TolvaneIsoFpgaRegMap_TolvaneIsoChannel" + std::to_string(c) + "_TolvaneIsoChannelRegMap";
}

struct Level8 : kzmaps::NisoBoard {
    kzvorn_regmaps::tTolvaneNisoFpgaRegMap niso{&block, st, 0, 0, 0xFFFFFFFF};
    kdut::HardwareStateCheckerComposite checkers;
    armki::ARMDispatcher registry;
    devicewindow::DeviceWindowDispatcher windows;

    bool registered(const std::string& name) { return map(name) != nullptr; }
    bool windowRegistered() {
        devicewindow::DeviceWindow* window = nullptr;
        tStatus s;
        windows.getRegistration(IsolatedRegMaps::kWindowName, window, s, nullptr);
        return window != nullptr;
    }
    arm::DynamicAccessInterfaceBase<tStatus>* map(const std::string& name) {
        arm::DynamicAccessInterfaceBase<tStatus>* found = nullptr;
        tStatus s;
        registry.getRegistration((name + "_Ver1.5.0f22090707").c_str(), found, s, nullptr);
        return found;
    }
    board::IsolatedLink& link() { return fpga().isolatedLink(); }
};

TEST_F(Level8, RegistersTheMapsAndTheWindowAndGivesChannelsZeroToThreeTheirPorts) {
    {
        IsolatedRegMaps level(niso, registry, windows, checkers, false, st);
        ASSERT_EQ(st.code, 0);
        EXPECT_TRUE(link().log().empty()) << "the built-in image: nothing written";
        EXPECT_TRUE(registered("TolvaneIsoFpgaRegMap"));
        for (unsigned c = 0; c < 7; ++c) EXPECT_TRUE(registered(channelName(c))) << c;
        EXPECT_EQ(channelName(6).size(), 63u);
        EXPECT_TRUE(windowRegistered());
        // Channel register 0x1FF by name: channel 2 through port 2, channel 5 through port 4.
        map(channelName(2))->write(0x80C84A1D, 0x22, true, st, 0);
        map(channelName(5))->write(0x80C84A1D, 0x55, true, st, 0);
        map(channelName(0))->write(0x80C84A1D, 0x77, true, st, 0);
        uint64_t back = 0;
        map(channelName(0))->read(0x80C84A1D, back, st, 0);
        EXPECT_EQ(back, 0x77u);
        map("TolvaneIsoFpgaRegMap")->read(0x80271A89, back, st, 0);
        EXPECT_EQ(back, kzmaps::kNisoSignature + 1);
        EXPECT_EQ(st.code, 0);
        const std::vector<board::PortAccess> expected = {{2, true, 0x15FF, 0x22},
                                                         {4, true, 0x1BFF, 0x55},
                                                         {0, true, 0x11FF, 0x77},
                                                         {0, false, 0x11FF, 0x77},
                                                         {4, false, 0x0000, kzmaps::kNisoSignature + 1}};
        EXPECT_EQ(link().log(), expected);
        for (unsigned c = 0; c < 4; ++c) EXPECT_EQ(level.getChannelMap(c), level.getIsoFpgaMap().channelMap(c));
        EXPECT_EQ(level.getChannelMap(4), nullptr);
        link().clearLog();
        board.log().clear();
    }
    EXPECT_TRUE(seen().empty()) << "the teardown touches no register";
    EXPECT_FALSE(registered("TolvaneIsoFpgaRegMap"));
    for (unsigned c = 0; c < 7; ++c) EXPECT_FALSE(registered(channelName(c))) << c;
    EXPECT_FALSE(windowRegistered());
}

TEST_F(Level8, AReplacementImageIsAnnouncedOnceThroughPortFour) {
    IsolatedRegMaps level(niso, registry, windows, checkers, true, st);
    EXPECT_EQ(st.code, 0);
    EXPECT_EQ(link().log(), (std::vector<board::PortAccess>{{4, true, 0x08, 0x80000000}}));
    EXPECT_EQ(level.getIsoFpgaMap().IsoFpgaConfigReg().getShadow(), 0u);
}

TEST_F(Level8, AnIncomingErrorBuildsEmptyMembersAndTheTeardownStillRuns) {
    tStatus failed;
    KZ_SET_CODE(failed, -52010);
    const int64_t live = kal::sim::liveAllocations();
    {
        IsolatedRegMaps level(niso, registry, windows, checkers, true, failed);
        EXPECT_EQ(failed.code, -52010);
        EXPECT_EQ(level.getIsoFpgaMap().channelMap(0), nullptr);
        EXPECT_FALSE(registered("TolvaneIsoFpgaRegMap"));
        EXPECT_TRUE(link().log().empty());
    }
    EXPECT_EQ(kal::sim::liveAllocations(), live);
}

// One allocation after another fails: a clear status and, once the registries are gone, nothing
// leaked; a failure at channel map k leaves maps 0 to k-1 and registers nothing.
TEST_F(Level8, EveryAllocationFailureEndsCleanly) {
    const int64_t live = kal::sim::liveAllocations();
    bool stoppedAtThree = false;
    for (uint64_t nth = 1;; ++nth) {
        ASSERT_LT(nth, 200u);
        tStatus status;
        auto* ownRegistry = new armki::ARMDispatcher();
        auto* ownWindows = new devicewindow::DeviceWindowDispatcher();
        auto* level = static_cast<IsolatedRegMaps*>(::operator new(sizeof(IsolatedRegMaps)));
        {
            kal::sim::FailAllocations fail(nth);
            new (level) IsolatedRegMaps(niso, *ownRegistry, *ownWindows, checkers, false, status);
        }
        kzvorn_regmaps::tTolvaneIsoFpgaRegMap& map = level->getIsoFpgaMap();
        const bool built = status.isSuccess();
        if (!built) {
            EXPECT_EQ(status.code, nKZAPALS100::kStatusMemoryFull) << nth;
            if (map.channelMap(6) == nullptr) {
                kzhtl::String names;
                tStatus listed;
                ownRegistry->getRegistrationList(names, listed);
                EXPECT_TRUE(names.empty()) << nth;
                for (unsigned c = 0; c + 1 < 7; ++c) {
                    if (map.channelMap(c) == nullptr) {
                        EXPECT_EQ(map.channelMap(c + 1), nullptr);
                    }
                }
            }
            stoppedAtThree = stoppedAtThree || (map.channelMap(2) != nullptr && map.channelMap(3) == nullptr);
        }
        level->~IsolatedRegMaps();
        ::operator delete(level);
        delete ownRegistry;
        delete ownWindows;
        EXPECT_EQ(kal::sim::liveAllocations(), live) << nth;
        if (built) break;
    }
    EXPECT_TRUE(stoppedAtThree);
}

TEST_F(Level8, ARefusedPortLockIsOutOfMemory) {
    tStatus status;
    {
        kal::sim::FailKernelCall refuse("createMutex", 3);
        IsolatedRegMaps level(niso, registry, windows, checkers, false, status);
        EXPECT_EQ(status.code, nKZAPALS100::kStatusMemoryFull);
        EXPECT_FALSE(registered("TolvaneIsoFpgaRegMap"));
    }
}

}  // namespace
