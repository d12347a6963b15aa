#include "fixture.h"

#include "kal/sim/interrupt.h"
#include "kal/sim/registerMemory.h"
#include "kal/sim/user.h"
#include "kzkal/regmem.h"
#include "kzkal/user.h"

namespace devicetest {
namespace {

std::vector<std::string> names(const std::vector<kal::sim::RegisteredProperty>& properties) {
    std::vector<std::string> result;
    for (const auto& p : properties) result.push_back(p.name);
    return result;
}

const std::vector<std::string> kPlainOrder = {
    "busType",     "busSubType",     "pciBusNumber",   "pciDeviceNumber", "pciFunctionNumber", "pciVendorID",
    "pciDeviceID", "pciSubsystemVendorID", "pciSubsystemID", "pciRevision", "numaNode", "pciSlotPath",
};

using PciDevice = DeviceFixture;

TEST_F(PciDevice, APCIExpressLinkPublishesSixteenBusProperties) {
    board_.platform().numaNode = 1;
    kal::sim::setPciTopology({{0, 0, 0x1C, 0, 3, 3}});
    add();
    kal::sim::setPciTopology({});
    ASSERT_TRUE(addStatus_.isSuccess());
    auto bus = busProperties();
    auto expected = kPlainOrder;
    for (const char* name : {"pcieMaxLinkWidth", "pcieLinkWidth", "pcieMaxTransferRate", "pcieTransferRate"})
        expected.push_back(name);
    EXPECT_EQ(names(bus), expected);
    ASSERT_EQ(bus.size(), 16u);
    EXPECT_EQ(number(bus[0]), 0x20706369u);
    EXPECT_EQ(number(bus[1]), 0x70636965u);
    EXPECT_EQ(number(bus[2]), 3u);
    EXPECT_EQ(number(bus[5]), kzvorn_driver::kPCIVendorID);
    EXPECT_EQ(number(bus[8]), kzvorn_driver::kPCISubsystemID);
    EXPECT_EQ(number(bus[9]), 2u);
    EXPECT_EQ(number(bus[10]), 1u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bus[11].value.data())), "0000:00:E0:00");
    EXPECT_EQ(bus[11].size, 14u);
    EXPECT_EQ(number(bus[12]), 4u);  // widths and speed codes of the board's link
    EXPECT_EQ(number(bus[13]), 4u);
    EXPECT_EQ(number(bus[14]), 2u);
}

class NoCapabilityList : public DeviceFixture {
protected:
    NoCapabilityList() : DeviceFixture(board::PciOptions{board::PciOptions::List::None}) {}
};

TEST_F(NoCapabilityList, WithoutAPCIExpressCapabilityTwelveBusProperties) {
    add();
    ASSERT_TRUE(addStatus_.isSuccess());
    auto bus = busProperties();
    EXPECT_EQ(names(bus), kPlainOrder);
    EXPECT_EQ(number(bus[1]), 0x20706369u);
    // The fallback probe was tried and left the identifiers alone.
    EXPECT_EQ(board_.log().writesTo(0x00, board::kConfigSpace), (std::vector<uint64_t>{0x5A5A}));
    EXPECT_EQ(board_.configRead(0x00, 2), kzvorn_driver::kPCIVendorID);
}

class FallbackProbe : public DeviceFixture {
protected:
    FallbackProbe() : DeviceFixture(board::PciOptions{board::PciOptions::List::None, true, 3, 8, 1, 2}) {}
};

TEST_F(FallbackProbe, FindsTheCapabilityWithoutAList) {
    tStatus status;
    device_ = build(status);
    EXPECT_EQ(tPCIDevice::findPCICapability(device_->getPCIDescription(), 0x10, status), board::kPcieCapability);
    EXPECT_TRUE(status.isSuccess());
    tEventDescriptor event{nullptr};
    device_->startBusDevice(event, status);
    const auto& d = device_->getPCIDescription();
    EXPECT_EQ(d.maxLinkSpeed, 3u);
    EXPECT_EQ(d.maxLinkWidth, 8u);
    EXPECT_EQ(d.linkSpeed, 1u);
    EXPECT_EQ(d.linkWidth, 2u);
    // Only the PCI Express capability has a fallback.
    tStatus other;
    EXPECT_EQ(tPCIDevice::findPCICapability(d, 0x05, other), 0u);
    EXPECT_EQ(other.getCode(), -52006);
    delete device_;
}

class CyclicCapabilityList : public DeviceFixture {
protected:
    CyclicCapabilityList() : DeviceFixture(board::PciOptions{board::PciOptions::List::Cyclic}) {}
};

TEST_F(CyclicCapabilityList, TheWalkEndsAndTwelveBusPropertiesArePublished) {
    tStatus status;
    device_ = build(status);
    board_.log().clear();
    EXPECT_EQ(tPCIDevice::findPCICapability(device_->getPCIDescription(), 0x10, status), 0u);
    EXPECT_EQ(status.getCode(), -52006);
    size_t headerReads = 0;
    for (const auto& access : board_.log().entries())
        headerReads += access.bar == board::kConfigSpace && access.width == 2 && access.offset >= 0x40;
    EXPECT_LE(headerReads, 48u);
    delete device_;
    device_ = nullptr;

    add();
    EXPECT_TRUE(addStatus_.isSuccess());
    EXPECT_EQ(busProperties().size(), 12u);
}

TEST_F(PciDevice, ConfigurationReadFailures) {
    tStatus status;
    device_ = build(status);
    tEventDescriptor event{nullptr};
    {
        // Finding the capability fails: the link stays unread and the caller's status clean.
        kal::sim::FailKernelCall refuse("pciConfigRead16");
        device_->startBusDevice(event, status);
    }
    EXPECT_TRUE(status.isSuccess());
    EXPECT_EQ(device_->getPCIDescription().linkWidth, 0u);
    {
        // The link-status read fails: -52008 and zeros for that pair only.
        kal::sim::FailKernelCall refuse("pciConfigRead16", 6);  // status, three headers, link capabilities
        device_->startBusDevice(event, status);
    }
    EXPECT_EQ(status.getCode(), -52008);
    EXPECT_EQ(device_->getPCIDescription().maxLinkWidth, 4u);
    EXPECT_EQ(device_->getPCIDescription().linkWidth, 0u);
    delete device_;
}

TEST_F(PciDevice, SlotPathFollowsTheBridgesToTheDevice) {
    struct Case {
        board::PciTopology topology;
        uint16_t domain;
        const char* path;
    };
    const Case cases[] = {
        {{}, 0, "0000:00:00"},
        {{{0, 0, 0x1C, 0, 3, 3}}, 0, "0000:00:E0:00"},
        // A bridge chain: root port, switch upstream, switch downstream.
        {{{0, 0, 1, 0, 1, 5}, {0, 1, 0, 0, 2, 5}, {0, 2, 2, 1, 3, 3}, {0, 2, 3, 0, 4, 4}}, 0, "0000:00:08:00:11:00"},
        // A second root hierarchy before the device's; bridges of other domains are ignored.
        {{{0, 0, 1, 0, 1, 1}, {1, 0, 5, 0, 3, 3}, {0, 0x20, 2, 0, 3, 3}}, 0, "0000:01:10:00"},
        {{{7, 0, 1, 0, 3, 3}}, 7, "0007:00:08:00"},
    };
    for (const Case& c : cases) {
        board_.identity().domain = c.domain;
        kal::sim::setPciTopology(c.topology);
        tStatus status;
        TestDevice* device = build(status);
        ASSERT_TRUE(status.isSuccess());
        EXPECT_STREQ(device->getSlotPath(), c.path);
        delete device;
    }
    // A domain the kernel layer cannot tell is 0; a failed enumeration leaves the device's own hop.
    {
        kal::sim::FailKernelCall noDomain("getPCIDomain");
        kal::sim::FailKernelCall noBridges("enumeratePCIBuses");
        tStatus status;
        TestDevice* device = build(status);
        EXPECT_STREQ(device->getSlotPath(), "0000:00:00");
        delete device;
    }
    kal::sim::setPciTopology({});
    board_.identity().domain = 0;
}

TEST_F(PciDevice, AHopListThatOverflowsGivesNoSlotPath) {
    board::PciTopology topology;
    for (int i = 0; i < 300; ++i) topology.push_back({0, 0, 1, 0, 1, 9});
    kal::sim::setPciTopology(topology);
    tStatus status;
    TestDevice* device = build(status);
    kal::sim::setPciTopology({});
    EXPECT_TRUE(status.isSuccess());
    EXPECT_STREQ(device->getSlotPath(), "");
    delete device;
}

TEST_F(PciDevice, DMAMaskFallsBackTo32Bits) {
    tStatus status;
    device_ = build(status);
    device_->configureDMA(tDMAConfiguration::kDMAType64, status);
    EXPECT_EQ(device_->getDMAConfiguration().type, 2u);
    EXPECT_EQ(device_->getDMAConfiguration().description, &device_->getPCIDescription());
    board_.platform().dma64Accepted = false;
    device_->configureDMA(tDMAConfiguration::kDMAType64, status);
    EXPECT_TRUE(status.isSuccess());
    EXPECT_EQ(device_->getDMAConfiguration().type, 1u);
    {
        kal::sim::FailKernelCall refuse("pciSetDMAMask", 1, 2);
        device_->configureDMA(tDMAConfiguration::kDMAType64, status);
    }
    EXPECT_EQ(status.getCode(), -52005);
    delete device_;
}

class Handler : public iPrimaryInterruptHandler {
public:
    bool handlePrimaryInterrupt() override {
        ++calls;
        inInterruptContext = kal::sim::inInterruptContext();
        return claim;
    }
    int calls = 0;
    bool claim = true;
    bool inInterruptContext = false;
};

TEST_F(PciDevice, InterruptHandlerRunsInInterruptContext) {
    tStatus status;
    device_ = build(status);
    Handler handler;
    device_->registerInterruptHandler(&handler, status, 0);
    ASSERT_TRUE(status.isSuccess());
    EXPECT_TRUE(kal::sim::raiseInterrupt(11));
    EXPECT_EQ(handler.calls, 1);
    EXPECT_TRUE(handler.inInterruptContext);
    handler.claim = false;
    EXPECT_FALSE(kal::sim::raiseInterrupt(11));
    device_->unregisterInterruptHandler();
    EXPECT_EQ(kal::sim::reservedInterrupts(11), 0u);
    EXPECT_FALSE(kal::sim::raiseInterrupt(11));
    EXPECT_EQ(handler.calls, 2);

    tSpinLock* lock = device_->registerLockedInterruptHandler(&handler, status, 0);
    ASSERT_NE(lock, nullptr);
    handler.claim = true;
    EXPECT_TRUE(kal::sim::raiseInterrupt(11));
    device_->unregisterLockedInterruptHandler(lock);
    EXPECT_EQ(lock, nullptr);
    EXPECT_EQ(kal::sim::reservedInterrupts(11), 0u);
    delete device_;
}

TEST_F(PciDevice, AFailedReservationLeavesNothingToRelinquish) {
    tStatus status;
    device_ = build(status);
    Handler handler;
    {
        kal::sim::FailKernelCall refuse("reserveInterrupt", 1, 1, -51150);
        device_->registerInterruptHandler(&handler, status, 0);
    }
    EXPECT_EQ(status.getCode(), -52003);
    EXPECT_EQ(device_->getPCIDescription().device.interruptCallback.function, nullptr);
    // The stand-in aborts on relinquishing what was never reserved.
    device_->unregisterInterruptHandler();

    tStatus locked;
    {
        kal::sim::FailKernelCall refuse("reserveInterrupt");
        EXPECT_EQ(device_->registerLockedInterruptHandler(&handler, locked, 0), nullptr);
    }
    EXPECT_TRUE(locked.isFatal());
    // An interrupt line of 0 is never reserved.
    device_->getPCIDescription().interruptNumber = 0;
    tStatus zero;
    device_->registerInterruptHandler(&handler, zero, 0);
    EXPECT_EQ(zero.getCode(), -52005);
    device_->unregisterInterruptHandler();
    delete device_;
}

TEST_F(PciDevice, BARMappingsAliasAndRefusalsAreReported) {
    tStatus status;
    device_ = build(status);
    void* first = device_->mapBAR(0, status, 1);
    void* second = device_->mapBAR(0, status, 0);
    ASSERT_TRUE(status.isSuccess());
    EXPECT_EQ(first, second);
    nKZKAL100_memoryWrite32(static_cast<uint8_t*>(first) + 0x10, 0xABCD);
    EXPECT_EQ(board_.log().writesTo(0x10), (std::vector<uint64_t>{0xABCD}));
    device_->unmapBAR(second, 0);
    device_->unmapBAR(first, 1);
    device_->unmapBAR(nullptr, 0);
    EXPECT_EQ(kal::sim::liveMappings(board_), 0u);
    {
        kal::sim::FailKernelCall refuse("mapPhysicalToKernel");
        EXPECT_EQ(device_->mapBAR(0, status, 0), nullptr);
    }
    EXPECT_EQ(status.getCode(), -52000);
    tStatus missing;
    EXPECT_EQ(device_->mapBAR(1, missing, 0), nullptr);
    EXPECT_EQ(missing.getCode(), -52005);
    delete device_;
}

TEST_F(PciDevice, ARefusedPropertyUnregistersItsListOnce) {
    tStatus status;
    device_ = build(status);
    kernel_.adoptDevice(*function_, static_cast<tDevice*>(device_));
    device_->buildBusProperties();
    device_->registerBusProperties(status);
    ASSERT_TRUE(status.isSuccess());
    {
        // The device list's third record is refused.
        kal::sim::FailKernelCall refuse("registerProperty", 3);
        device_->registerDeviceProperties(status);
    }
    EXPECT_EQ(status.getCode(), -52003);
    for (tProperty** p = device_->getDeviceProperties(); *p != nullptr; ++p) EXPECT_EQ((*p)->handle, nullptr);
    size_t liveDevice = kal::sim::liveProperties(tProperty::kScopeDevice, &function_->record).size();
    EXPECT_EQ(liveDevice, 0u);
    EXPECT_EQ(busProperties().size(), 12u);  // the link was never read
    // Removal unregisters the bus list and passes only null handles for the refused list; the
    // stand-in aborts on any second unregistration.
    kernel_.removeDevice(*function_);
    EXPECT_TRUE(busProperties().empty());
}

TEST_F(PciDevice, TextPropertiesWithoutTextRegisterOneByte) {
    add();
    auto device = kal::sim::liveProperties(tProperty::kScopeDevice, &function_->record);
    ASSERT_EQ(device.size(), 3u);
    EXPECT_EQ(device[0].name, "serialNumber");
    EXPECT_EQ(device[0].size, 1u);
    EXPECT_EQ(device[2].size, 4u);
    EXPECT_EQ(number(device[2]), 7u);
}

}  // namespace
}  // namespace devicetest

namespace devicetest {
namespace {

// Fail each allocation of building and starting the PCI device in turn: a clear status every
// time, nothing leaked, until it succeeds.
TEST_F(PciDevice, AllocationFailuresWhileBuildingLeakNothing) {
    kal::sim::setPciTopology({{0, 0, 0x1C, 0, 3, 3}});
    const int64_t before = kal::sim::liveAllocations();
    for (uint64_t n = 1;; ++n) {
        tStatus status;
        TestDevice* device = nullptr;
        bool triggered = false;
        {
            kal::sim::FailAllocations fail(n);
            device = build(status);
            tEventDescriptor event{nullptr};
            if (device != nullptr) device->startBusDevice(event, status);
            triggered = fail.triggered();
        }
        if (!triggered) {
            EXPECT_TRUE(status.isSuccess());
            EXPECT_STREQ(device->getSlotPath(), "0000:00:E0:00");
            delete device;
            break;
        }
        EXPECT_EQ(status.getCode(), -52000) << n;
        delete device;
        EXPECT_EQ(kal::sim::liveAllocations(), before) << n;
        ASSERT_LT(n, 50u);
    }
    EXPECT_EQ(kal::sim::liveAllocations(), before);
    kal::sim::setPciTopology({});
}

}  // namespace
}  // namespace devicetest

namespace devicetest {
namespace {

// The PCI device's services for other drivers of the family: this driver calls none of them.
using PciDeviceServices = DeviceFixture;

TEST_F(PciDeviceServices, TheDescriptionCopyIsAnAllocationOfItsOwn) {
    tStatus status;
    device_ = build(status);
    const int64_t live = kal::sim::liveAllocations();
    tPCIDescription* copy = device_->copyPCIDescription(status);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(kal::sim::liveAllocations(), live + 1);
    EXPECT_EQ(std::memcmp(copy, &device_->getPCIDescription(), sizeof(tPCIDescription)), 0);
    EXPECT_EQ(copy->device.device, device_);
    tPCIDevice::releasePCIDescription(copy);
    EXPECT_EQ(kal::sim::liveAllocations(), live);
    {
        kal::sim::FailAllocations fail(1);
        EXPECT_EQ(device_->copyPCIDescription(status), nullptr);
    }
    EXPECT_EQ(status.getCode(), -52000);
    // An error in the status allocates nothing.
    EXPECT_EQ(device_->copyPCIDescription(status), nullptr);
    EXPECT_EQ(kal::sim::liveAllocations(), live);
    tPCIDevice::releasePCIDescription(nullptr);
    delete device_;
}

TEST_F(PciDeviceServices, AnIORangeRecordHoldsItsAddress) {
    // The kernel reports two IO ranges beside the board's memory range.
    function_->record.bars[2] = {0xE000, 0x20, 1};
    function_->record.bars[4] = {0xE100, 0x40, 1};
    tStatus status;
    device_ = build(status);
    ASSERT_EQ(device_->getPCIDescription().ioRangeCount, 2u);
    const int64_t live = kal::sim::liveAllocations();
    tIORange* range = device_->createIORange(1, status);
    ASSERT_NE(range, nullptr);
    EXPECT_EQ(range->address, 0xE100u);
    EXPECT_EQ(kal::sim::liveAllocations(), live + 1);
    tPCIDevice::releaseIORange(range);
    EXPECT_EQ(kal::sim::liveAllocations(), live);

    struct Case {
        uint32_t index;
        bool failAllocation;
        int64_t code;
    };
    for (const Case& c : {Case{2, false, -52005}, Case{0, true, -52000}}) {
        tStatus failed;
        kal::sim::FailAllocations fail(c.failAllocation ? 1 : 0);
        EXPECT_EQ(device_->createIORange(c.index, failed), nullptr);
        EXPECT_EQ(failed.getCode(), c.code) << c.index;
    }
    EXPECT_EQ(kal::sim::liveAllocations(), live);
    delete device_;
}

TEST_F(PciDeviceServices, APhysicalSubRangeMapsIntoKernelSpaceInItsMode) {
    tStatus status;
    device_ = build(status);
    void* whole = device_->mapBAR(0, status, 0);
    ASSERT_TRUE(status.isSuccess());
    for (uint32_t mode : {0u, 1u, 2u}) {
        void* part = device_->mapPhysicalRange(0, 0x8, 0x100, mode, status);
        ASSERT_TRUE(status.isSuccess()) << mode;
        EXPECT_EQ(part, static_cast<uint8_t*>(whole) + 0x8);
        EXPECT_EQ(kal::sim::mappingMode(part), mode);
        nKZKAL100_memoryWrite32(static_cast<uint8_t*>(part) + 0x8, 0x5A000000 | mode);
        device_->unmapBAR(part, mode);
    }
    EXPECT_EQ(board_.log().writesTo(0x10), (std::vector<uint64_t>{0x5A000000, 0x5A000001, 0x5A000002}));
    // The last bytes of the range, in mode 0.
    void* tail = device_->mapPhysicalRange(0, 0x3FFF0, 0x10, 0, status);
    EXPECT_EQ(tail, static_cast<uint8_t*>(whole) + 0x3FFF0);
    device_->unmapBAR(tail, 0);
    device_->unmapBAR(whole, 0);

    struct Case {
        const char* what;
        uint32_t index;
        uint64_t offset;
        uint64_t size;
        uint32_t mode;
        int64_t code;
    };
    const Case cases[] = {
        {"past the range", 0, 0x3FFF0, 0x11, 0, -52005},
        {"offset past the range", 0, 0x40001, 1, 0, -52005},
        {"a size that wraps", 0, 0x10, ~uint64_t{0}, 0, -52005},
        {"no bytes", 0, 0, 0, 0, -52005},
        {"no such range", 1, 0, 0x10, 0, -52005},
        {"no such mode", 0, 0, 0x10, 3, -52005},
    };
    for (const Case& c : cases) {
        tStatus refused;
        EXPECT_EQ(device_->mapPhysicalRange(c.index, c.offset, c.size, c.mode, refused), nullptr) << c.what;
        EXPECT_EQ(refused.getCode(), c.code) << c.what;
    }
    {
        kal::sim::FailKernelCall refuse("mapPhysicalToKernel");
        EXPECT_EQ(device_->mapPhysicalRange(0, 0, 0x10, 2, status), nullptr);
    }
    EXPECT_EQ(status.getCode(), -52000);
    EXPECT_EQ(device_->mapPhysicalRange(0, 0, 0x10, 0, status), nullptr) << "an error in the status maps nothing";
    EXPECT_EQ(kal::sim::liveMappings(board_), 0u);
    delete device_;
}

TEST_F(PciDeviceServices, AMemorySubRangeMapsIntoACallersMapping) {
    tStatus status;
    device_ = build(status);
    const uint64_t bar = function_->record.bars[0].address;
    kal::sim::UserMapRequest request;
    request.size = 0x2000;
    tUserMemoryMap map(nullptr, &request, 0);
    device_->mapPhysicalRangeToUser(map, 0, 0x3000, 0x2000, 1, status);
    device_->mapPhysicalRangeToUser(map, 0, 0, 0x1000, 2, status);
    ASSERT_TRUE(status.isSuccess());
    ASSERT_EQ(request.physical.size(), 2u);
    EXPECT_EQ(request.physical[0].address, bar + 0x3000);
    EXPECT_EQ(request.physical[0].size, 0x2000u);
    EXPECT_EQ(request.physical[0].mode, 1u);
    EXPECT_EQ(request.physical[1].mode, 0u) << "the user mapping knows only cached and uncached";

    struct Case {
        const char* what;
        uint32_t index;
        uint64_t offset;
        uint64_t size;
        int64_t code;
    };
    const Case cases[] = {
        {"not page aligned", 0, 0x10, 0x1000, -52005},
        {"past the range", 0, 0x3F000, 0x2000, -52005},
        {"no such range", 1, 0, 0x1000, -52005},
        {"more than the caller's mapping", 0, 0, 0x3000, -52005},
    };
    for (const Case& c : cases) {
        tStatus refused;
        device_->mapPhysicalRangeToUser(map, c.index, c.offset, c.size, 0, refused);
        EXPECT_EQ(refused.getCode(), c.code) << c.what;
    }
    EXPECT_EQ(request.physical.size(), 2u);
    delete device_;
}

int32_t gTrampolineCalls = 0;
void* gTrampolineDevice = nullptr;
int32_t recordingTrampoline(uint32_t interrupt, void* device) {
    ++gTrampolineCalls;
    gTrampolineDevice = device;
    return interrupt == 11 ? 1 : 0;
}

TEST_F(PciDeviceServices, TheInterruptReservedWithTheCallersTrampoline) {
    tStatus status;
    device_ = build(status);
    device_->reserveInterruptWithTrampoline(recordingTrampoline, status, 0);
    ASSERT_TRUE(status.isSuccess());
    EXPECT_EQ(kal::sim::reservedInterrupts(11), 1u);
    EXPECT_TRUE(kal::sim::raiseInterrupt(11));
    EXPECT_EQ(gTrampolineCalls, 1);
    EXPECT_EQ(gTrampolineDevice, device_);

    // One reservation at a time: a second would rewrite the record the kernel holds.
    Handler handler;
    tStatus second;
    device_->registerInterruptHandler(&handler, second, 0);
    EXPECT_EQ(second.getCode(), -52003);
    EXPECT_EQ(device_->registerLockedInterruptHandler(&handler, second = tStatus(), 0), nullptr);
    EXPECT_EQ(second.getCode(), -52003);
    EXPECT_TRUE(kal::sim::raiseInterrupt(11));
    EXPECT_EQ(gTrampolineCalls, 2);
    EXPECT_EQ(handler.calls, 0);

    device_->unregisterInterruptHandler();
    EXPECT_EQ(kal::sim::reservedInterrupts(11), 0u);
    device_->unregisterInterruptHandler();  // the stand-in aborts on a second relinquish

    tStatus none;
    device_->reserveInterruptWithTrampoline(nullptr, none, 0);
    EXPECT_EQ(none.getCode(), -52005);
    {
        kal::sim::FailKernelCall refuse("reserveInterrupt");
        device_->reserveInterruptWithTrampoline(recordingTrampoline, status, 0);
    }
    EXPECT_TRUE(status.isFatal());
    EXPECT_EQ(kal::sim::reservedInterrupts(11), 0u);
    // Refused, it left nothing behind: the device's own handler can be registered afterwards.
    device_->registerInterruptHandler(&handler, second = tStatus(), 0);
    EXPECT_TRUE(second.isSuccess());
    device_->unregisterInterruptHandler();
    delete device_;
}

}  // namespace
}  // namespace devicetest
