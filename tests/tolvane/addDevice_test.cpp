#include <memory>
#include <optional>
#include <vector>

#include "kzapalcodegen/driverEntry.h"
#include "kzhtl/failures.h"
#include "tolvane/fixture.h"

using namespace tolvanetest;

namespace {

constexpr uint32_t kDeviceScope = 0;
constexpr uint32_t kBusScope = 1;

}  // namespace

TEST_F(Tolvane, AddDevicePublishesTheInterfacesAndPropertiesOfTheReachedLevel) {
    ASSERT_EQ(add(), 0);
    ASSERT_NE(device(), nullptr);
    EXPECT_EQ(tracker().reached, 22);
    EXPECT_EQ(tracker().status.code, 0);
    ASSERT_NE(device()->getHelper(), nullptr);
    EXPECT_NE(device()->getHelper()->getARMDispatcher(), nullptr);
    EXPECT_NE(device()->getHelper()->getDeviceWindowDispatcher(), nullptr);
    EXPECT_NE(device()->getHelper()->getStorageMapDispatcher(), nullptr);
    EXPECT_EQ(device()->getPnPState(), nKZAPAL000::tDeviceCore::kPnPStateReady);

    const auto interfaces = kal::sim::interfaces();
    ASSERT_EQ(interfaces.size(), 2u);
    EXPECT_EQ(interfaces[0].name, "smu_kzvorn");
    EXPECT_EQ(interfaces[1].name, "nPXICOOLING_17_2_pxiCooling");
    for (uint32_t i = 0; i < 2; ++i) {
        EXPECT_EQ(interfaces[i].index, i);
        EXPECT_TRUE(interfaces[i].live && interfaces[i].announced);
        EXPECT_EQ(interfaces[i].device, &function_->record) << "registered for the kernel's device handle";
    }

    const auto properties = kal::sim::liveProperties(kDeviceScope, &function_->record);
    ASSERT_EQ(properties.size(), 4u);
    EXPECT_EQ(properties[0].name, "serialNumber");
    EXPECT_EQ(text(properties[0]), "1C0FFEE") << "the board's serial number from its flash";
    EXPECT_EQ(properties[1].name, "modelName");
    EXPECT_EQ(text(properties[1]), vantrel_caps::getCapsDefinitions().find(kPCISubsystemID)->modelName);
    EXPECT_FALSE(text(properties[1]).empty());
    EXPECT_EQ(properties[2].name, "manufacturerName");
    EXPECT_EQ(text(properties[2]), "Kazmerion");
    EXPECT_EQ(properties[3].name, "pxiGeographicAddress");
    EXPECT_EQ(number(properties[3]), 5u) << "the slot the board's capability holds";
    EXPECT_EQ(kal::sim::liveProperties(kBusScope, &function_->record).size(), 16u);
}

// 0xFFFFFFFF when the capability has nothing to read; left out (the read failed) when the
// capability is missing.
TEST_F(Tolvane, TheGeographicAddressOfOtherCapabilities) {
    struct Case {
        board::GeographicAddressOptions::Chain chain;
        uint32_t mode;
        bool published;
        uint32_t value;
    } cases[] = {
        {board::GeographicAddressOptions::Chain::Normal, 0, true, 0xFFFFFFFF},
        {board::GeographicAddressOptions::Chain::Missing, 4, false, 0},
        {board::GeographicAddressOptions::Chain::Cyclic, 4, false, 0},
    };
    std::vector<std::unique_ptr<board::Board>> boards;
    for (const Case& c : cases) {
        boards.push_back(std::make_unique<board::Board>(board::productIdentity()));
        board::ProductOptions options;
        options.geographicAddress.chain = c.chain;
        options.geographicAddress.mode = c.mode;
        board::installProduct(*boards.back(), options);
        kal::sim::PciFunction& function = kernel_.plug(*boards.back());
        ASSERT_EQ(kernel_.addDevice(function), 0);
        bool published = false;
        for (const auto& p : kal::sim::liveProperties(kDeviceScope, &function.record)) {
            if (p.name != "pxiGeographicAddress") continue;
            published = true;
            EXPECT_EQ(number(p), c.value);
        }
        EXPECT_EQ(published, c.published) << int(c.chain);
        // The teardown writes the board, which goes before the fixture's kernel.
        kernel_.removeDevice(function);
        kernel_.deleteDevice(function);
    }
}

// The kernel offers only what the ID table lists; offered anyway, add device refuses it itself.
TEST_F(Tolvane, ABoardThatIsNotTheProductIsRefused) {
    board::Identity identity = board::productIdentity();
    identity.subsystemId ^= 1;
    board::Board other(identity);
    board::installProduct(other);
    kal::sim::PciFunction& function = kernel_.plug(other);
    const int64_t before = kal::sim::liveAllocations();
    EXPECT_EQ(kernel_.addDevice(function), -51101) << "not in the PCI ID table";
    EXPECT_EQ(kernel_.addDevice(function, true), -51150) << "-52003 in the kernel layer's terms";
    EXPECT_EQ(kernel_.device(function), nullptr);
    EXPECT_TRUE(kal::sim::interfaces().empty());
    EXPECT_TRUE(kal::sim::properties().empty());
    EXPECT_EQ(kal::sim::liveAllocations(), before);
}

TEST_F(Tolvane, TheProductBoardIsInThePCIIDTable) {
    EXPECT_TRUE(kal::sim::listedInPCIIDTable(function_->record));
}

TEST_F(Tolvane, ASecondInterfaceRefusedUnregistersTheFirstOnce) {
    {
        kal::sim::FailKernelCall refuse("registerDeviceInterface", 2);
        EXPECT_EQ(add(), -51352);
    }
    EXPECT_EQ(device(), nullptr);
    const auto interfaces = kal::sim::interfaces();
    ASSERT_EQ(interfaces.size(), 1u);
    EXPECT_FALSE(interfaces[0].live);
    EXPECT_TRUE(kal::sim::liveProperties(kBusScope, &function_->record).empty());
    EXPECT_EQ(recorder_.teardown.size(), size_t(kTeardownStepCount))
        << "the removal tore the complete bring-up down, its sequencers too";
}

TEST_F(Tolvane, MSIWhenTheKernelGrantsIt) {
    std::unique_ptr<board::Board> boards[2];
    for (bool granted : {false, true}) {
        boards[granted] = std::make_unique<board::Board>(board::productIdentity());
        board::Board& other = *boards[granted];
        other.platform().msiGranted = granted;
        board::installProduct(other);
        kal::sim::PciFunction& function = kernel_.plug(other);
        TolvaneDevice::setBringUpPlan(&plan_);
        ASSERT_EQ(kernel_.addDevice(function), 0);
        TolvaneDevice::setBringUpPlan(nullptr);
        auto* d = static_cast<TolvaneDevice*>(static_cast<nKZAPAL000::tDevice*>(kernel_.device(function)));
        const auto& pci = d->getPCIDescription();
        EXPECT_EQ(pci.interruptKind, granted ? 0 : 6);
        EXPECT_EQ(pci.interruptNumber, granted ? other.platform().msiVector : 10u);
    }
}

// Every allocation of levels 18 to 22 failed in turn, in a reset whose list disables errors on two
// channels (levels 16 and 17 standing in): no crash, no leak, and either a complete bring-up or
// -52000 with level 20 reached.
TEST_F(Tolvane, AllocationFailuresInLevelsEighteenToTwentyTwo) {
    // Counts the allocations of those levels only.
    struct FailInLevels : BringUpObserver {
        void onBringUpStep(BringUpStep step) override {
            if (step == kStepInterruptVector && failAt != 0) fail.emplace(failAt);
            if (step == kStepChargeBalanceOffset && fail) {
                triggered = fail->triggered();
                fail.reset();
            }
        }
        uint64_t failAt = 0;
        std::optional<kal::sim::FailAllocations> fail;
        bool triggered = false;
    } observer;
    plan_.observer = &observer;
    plan_.fakeLevels(16, 17, BringUpPlan::kSucceed);
    CallerRecord record({0x20905, 0xC0904});
    bool listFailed = false;
    kzhtl_test::sweepAllocationFailures([&](uint64_t failAt) {
        EXPECT_EQ(add(), 0);
        observer.failAt = failAt;
        const int64_t status = resetTo(22, &record);
        const bool triggered = observer.triggered || (observer.fail && observer.fail->triggered());
        observer.fail.reset();
        observer.failAt = 0;
        observer.triggered = false;
        if (triggered) {
            EXPECT_EQ(status, -52000) << failAt;
            EXPECT_EQ(tracker().reached, 20) << failAt << ": only level 21 allocates";
            listFailed = true;
        } else {
            EXPECT_EQ(status, 0) << failAt;
            EXPECT_EQ(tracker().reached, 22) << failAt;
        }
        kernel_.removeDevice(*function_);
        kernel_.deleteDevice(*function_);
        return triggered;
    });
    EXPECT_TRUE(listFailed);
}

// Every allocation from the step after level 22 on failed in turn in a reset to 22: the failure
// stays in the tracker at level 22 and in the reset's status, and nothing leaks.
TEST_F(Tolvane, AllocationFailuresInAResetFromTheStepAfterLevelTwentyTwo) {
    // Armed at the step after level 22, until the reset returns.
    struct FailFromTheLastStep : BringUpObserver {
        void onBringUpStep(BringUpStep step) override {
            if (step == kStepChargeBalanceOffset && failAt != 0) fail.emplace(failAt);
        }
        uint64_t failAt = 0;
        std::optional<kal::sim::FailAllocations> fail;
    } observer;
    plan_.observer = &observer;
    bool failed = false;
    kzhtl_test::sweepAllocationFailures([&](uint64_t failAt) {
        EXPECT_EQ(add(), 0);
        int64_t status;
        bool triggered;
        {
            kal::sim::Session session = kernel_.open("smu_kzvorn");
            observer.failAt = failAt;
            status = reset(session, 22);
            triggered = observer.fail && observer.fail->triggered();
        }
        observer.failAt = 0;
        observer.fail.reset();
        EXPECT_EQ(status, triggered ? -52000 : 0) << failAt;
        EXPECT_EQ(tracker().status.code, status) << failAt;
        EXPECT_EQ(tracker().reached, 22) << failAt;
        failed |= triggered;
        kernel_.removeDevice(*function_);
        kernel_.deleteDevice(*function_);
        return triggered;
    });
    EXPECT_TRUE(failed);
}

// The DMA mask: a refused 64-bit mask leaves the device on 32-bit addresses at level 14; a refused
// 32-bit mask too fails the level.
TEST_F(Tolvane, TheDMAMaskRefusedInAddDevice) {
    plan_.observer = nullptr;
    const kal::sim::LiveObjects before = kal::sim::liveObjects();
    for (const uint64_t refused : {1, 2}) {
        {
            kal::sim::FailKernelCall refuse("pciSetDMAMask", 1, refused);
            ASSERT_EQ(add(), 0);
        }
        if (refused == 1) {
            EXPECT_EQ(tracker().reached, 22);
            EXPECT_EQ(device()->getDMAConfiguration().type, 1u);
        } else {
            EXPECT_EQ(tracker().reached, 13);
            EXPECT_TRUE(tracker().status.isFatal());
            EXPECT_EQ(device()->getHelper()->getDMADispatcher(), nullptr);
        }
        kernel_.removeDevice(*function_);
        kernel_.deleteDevice(*function_);
        EXPECT_EQ(kal::sim::liveObjects(), before) << refused;
    }
}
