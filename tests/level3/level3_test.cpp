// Setup level 3 on the simulated product board: the bridge and timing register maps, the flash
// window and the stored-data maps registered by name, the bridge signature and the board revision
// checked, and the checkers that guard the stored data.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "board/bar0Map.h"
#include "board/bridgeCore.h"
#include "board/product.h"
#include "device/tolvaneDevice.h"
#include "kal/sim/faults.h"
#include "kal/sim/harness.h"
#include "kal/sim/publication.h"
#include "level3/registeredNames.h"
#include "tools/stowly/stowlyData.h"

using namespace kzvorn_driver;
using nKZAPALS100::tStatus;

namespace {

constexpr uint32_t kDeviceScope = 0;
constexpr int64_t kStoppedAtTarget = -52010;
constexpr int64_t kSignatureMismatch = KZ_DEVICE_CODE(0xBFFA8078);
constexpr int64_t kRevisionTooOld = KZ_DEVICE_CODE(0xBFFA902C);
constexpr int64_t kRevisionTooNew = KZ_DEVICE_CODE(0xBFFA902D);
constexpr int64_t kChecksumInvalid = KZ_DEVICE_CODE(0xBFFA4088);
constexpr int64_t kVersionUnsupported = KZ_DEVICE_CODE(0xBFFA4082);
constexpr int64_t kOutsideTheMapping = -52003;

using level3names::checksummedRecordNames;
using level3names::kRegisterMapNames;
using level3names::storedRecordNames;

template <class Registry>
std::vector<std::string> namesOf(const Registry* registry) {
    if (registry == nullptr) return {};
    std::vector<char> buffer(registry->getNumberOfRegistrations() * kzregitools::kRegistrationNameSlotSize + 1);
    tStatus status;
    registry->getRegistrationNames(buffer.data(), status);
    EXPECT_TRUE(status.isSuccess());
    std::vector<std::string> names;
    for (uint64_t i = 0; i < registry->getNumberOfRegistrations(); ++i)
        names.emplace_back(buffer.data() + i * kzregitools::kRegistrationNameSlotSize,
                           strnlen(buffer.data() + i * kzregitools::kRegistrationNameSlotSize,
                                   kzregitools::kRegistrationNameSlotSize));
    return names;
}

// One product board with its blocks, plugged into the fixture's kernel.
struct Plugged {
    std::unique_ptr<board::Board> board;
    std::unique_ptr<board::ProductBlocks> blocks;
    kal::sim::PciFunction* function = nullptr;
};

class Level3 : public ::testing::Test {
protected:
    // The level above is the image download, which the FPGAs configured from the start spare.
    void SetUp() override {
        ASSERT_EQ(kernel_.load(), 0);
        plan_.fakeDownloads();
        TolvaneDevice::setBringUpPlan(&plan_);
    }
    void TearDown() override { TolvaneDevice::setBringUpPlan(nullptr); }

    Plugged& plug(board::ProductOptions options = {}) {
        options.fpga.configuredAtStart = stowly::builtInFpgaSignatures();
        boards_.emplace_back();
        Plugged& p = boards_.back();
        p.board = std::make_unique<board::Board>(board::productIdentity());
        p.blocks = std::make_unique<board::ProductBlocks>(board::installProduct(*p.board, options));
        p.function = &kernel_.plug(*p.board);
        return p;
    }
    // A board added through the kernel's add-device callback, which starts it.
    Plugged& add(const board::ProductOptions& options = {}) {
        Plugged& p = plug(options);
        EXPECT_EQ(kernel_.addDevice(*p.function), 0);
        return p;
    }

    TolvaneDevice* device(Plugged& p) {
        void* slot = kernel_.device(*p.function);
        return slot == nullptr ? nullptr : static_cast<TolvaneDevice*>(static_cast<nKZAPAL000::tDevice*>(slot));
    }
    TolvaneHelper* helper(Plugged& p) { return device(p) != nullptr ? device(p)->getHelper() : nullptr; }
    const SetupTracker& tracker(Plugged& p) { return device(p)->getSetupTracker(); }

    std::vector<std::string> deviceProperties(Plugged& p) {
        std::vector<std::string> names;
        for (const auto& property : kal::sim::liveProperties(kDeviceScope, &p.function->record))
            names.push_back(property.name);
        return names;
    }
    std::string property(Plugged& p, const std::string& name) {
        for (const auto& property : kal::sim::liveProperties(kDeviceScope, &p.function->record))
            if (property.name == name) return reinterpret_cast<const char*>(property.value.data());
        return "(none)";
    }
    uint32_t geographicAddress(Plugged& p) {
        uint32_t value = 0;
        for (const auto& property : kal::sim::liveProperties(kDeviceScope, &p.function->record))
            if (property.name == "pxiGeographicAddress") std::memcpy(&value, property.value.data(), sizeof value);
        return value;
    }

    int64_t checkHardwareState(Plugged& p) {
        tStatus status;
        helper(p)->getHardwareStateCheckers()->checkHardwareState(status);
        return status.code;
    }

    // What a failed or completed level 3 left registered: register maps, storage maps, windows.
    struct Registered {
        std::vector<std::string> registerMaps, storageMaps, windows;
        size_t checkers;
    };
    Registered registered(Plugged& p) {
        TolvaneHelper* h = helper(p);
        return Registered{namesOf(h->getARMDispatcher()), namesOf(h->getStorageMapDispatcher()),
                          namesOf(h->getDeviceWindowDispatcher()), h->getHardwareStateCheckers()->size()};
    }

    int64_t reset(Plugged& p, int32_t target) {
        kal::sim::Session session = kernel_.open("smu_kzvorn");
        EXPECT_TRUE(session);
        tStatus status;
        nKZAPAL000::tEventDescriptor event{static_cast<nKZAPAL000::tSession*>(session.handle())};
        device(p)->reset(event, target, 0, status);
        return status.code;
    }

    BringUpPlan plan_;             // outlives the devices, which keep it
    std::vector<Plugged> boards_;  // outlive the kernel, which removes their devices last
    kal::sim::Kernel kernel_;
};

}  // namespace

TEST_F(Level3, TheDefaultBoardReachesLevel3WithEveryNameAndGoesOn) {
    Plugged& p = add();
    EXPECT_EQ(tracker(p).reached, 22);
    EXPECT_EQ(tracker(p).status.code, 0);

    const Registered names = registered(p);
    std::vector<std::string> registerMaps = kRegisterMapNames;
    registerMaps.insert(registerMaps.end(), level3names::kNonIsolatedRegisterMapNames.begin(),
                        level3names::kNonIsolatedRegisterMapNames.end());
    registerMaps.insert(registerMaps.end(), level3names::kIsolatedRegisterMapNames.begin(),
                        level3names::kIsolatedRegisterMapNames.end());
    EXPECT_EQ(names.registerMaps, level3names::listed(registerMaps)) << "level 3's names first";
    EXPECT_EQ(names.storageMaps, storedRecordNames());
    EXPECT_EQ(names.storageMaps.size(), 19u);
    EXPECT_EQ(names.windows, (std::vector<std::string>{"flashWindow", "NisoFpgaWindow", "IsoFpgaWindow"}));
    EXPECT_EQ(names.checkers, 6u) << "bridge signature, checksums, versions, level 5's signature, then level "
                                     "11's all-channel error checker and isolated signature";
    EXPECT_EQ(checkHardwareState(p), 0);

    EXPECT_EQ(property(p, "serialNumber"), "1C0FFEE");
    EXPECT_EQ(p.board->log().writesTo(board::bar0::kTimingBlock + 0x08), std::vector<uint64_t>{0x80})
        << "the write-protect line made an output once";
    tStatus status;
    EXPECT_TRUE(helper(p)->areStorageMapChecksumsValid(status));
    EXPECT_TRUE(helper(p)->areStorageMapVersionsValid(status));
    EXPECT_EQ(helper(p)->getBoardSerialNumber(status), board::factory::kSerialNumber);
    EXPECT_TRUE(status.isSuccess());
}

// The registered objects reach the board: the flash window its flash, the maps their registers.
TEST_F(Level3, TheRegisteredObjectsReachTheBoard) {
    Plugged& p = add();
    TolvaneHelper* h = helper(p);
    tStatus status;

    devicewindow::DeviceWindow* window = nullptr;
    h->getDeviceWindowDispatcher()->getRegistration("flashWindow", window, status, nullptr);
    ASSERT_NE(window, nullptr);
    std::vector<char> bytes(64);
    window->get(0x9000 - 32, bytes.size(), bytes.data(), status);
    ASSERT_TRUE(status.isSuccess());
    const board::FlashImage image = board::FlashImage::standard();
    EXPECT_EQ(0, std::memcmp(bytes.data(), image.data() + 0x9000 - 32, bytes.size())) << "across two sectors";

    arm::DynamicAccessInterfaceBase<tStatus>* quolin = nullptr;
    h->getARMDispatcher()->getRegistration("Quolin_Ver23.3.0f121", quolin, status, nullptr);
    ASSERT_NE(quolin, nullptr);
    uint64_t signature = 0;
    quolin->read(0xC0000000, signature, status, 0);
    EXPECT_EQ(signature, 0xC0107AD0u);

    // DMA channel 3 sits at the offset and stride the bridge core gives (0x2000, 2^9).
    arm::DynamicAccessInterfaceBase<tStatus>* channel = nullptr;
    h->getARMDispatcher()->getRegistration("QuolinDMAChannel3_Ver23.3.0f121", channel, status, nullptr);
    ASSERT_NE(channel, nullptr);
    p.board->log().clear();
    channel->write(0x00000058, 1, false, status, 0);
    EXPECT_EQ(p.board->log().writesTo(0x2000 + 3 * 0x200 + 0x58), std::vector<uint64_t>{1});

    // IO port 2 sits behind the switched bus interface's handshake.
    arm::DynamicAccessInterfaceBase<tStatus>* ioPort2 = nullptr;
    h->getARMDispatcher()->getRegistration("IOPort2RegMap_Ver23.3.0f121", ioPort2, status, nullptr);
    ASSERT_NE(ioPort2, nullptr);
    p.blocks->bus.ioPort2().write(0x10, 0x1234);
    p.blocks->bus.clearTransactions();
    uint64_t value = 0;
    ioPort2->read(0x80000010, value, status, 0);
    EXPECT_EQ(value, 0x1234u);
    const auto transactions = p.blocks->bus.transactions();
    ASSERT_EQ(transactions.size(), 1u);
    EXPECT_FALSE(transactions[0].write);
    EXPECT_EQ(transactions[0].port, board::SwitchedBusInterface::kIOPort2);
    EXPECT_EQ(transactions[0].offset, 0x10);
    EXPECT_TRUE(status.isSuccess());
}

// Every registered name reaches its own map: each reads a register whose value only that map's
// block gives at reset, so a name paired with another map reads another value, or an identifier
// that map does not know. Level 14, which resets the DMA channels, stands in.
TEST_F(Level3, EveryRegisteredNameReadsItsOwnMapsRegister) {
    plan_.fakeLevels(14, 14, BringUpPlan::kSucceed);
    Plugged& p = add();
    struct Case {
        std::string name;
        uint32_t id;
        uint64_t value;
    };
    std::vector<Case> cases;
    for (unsigned i = 0; i < board::bar0::kDmaChannelCount; ++i)
        cases.push_back({"QuolinDMAChannel" + std::to_string(i) + "_Ver23.3.0f121", 0xC0000060,
                         board::dmaChannelStatusAtReset(i)});
    cases.insert(cases.end(),
                 {{"SwitchedQuolinBimRegMap_Ver23.3.0f121", 0xC0000600,
                   board::SwitchedBusInterface::kIdentificationAtReset},
                  {"Quolin_Ver23.3.0f121", 0xC0000000, board::bar0::kBridgeSignature},
                  {"IOPort2RegMap_Ver23.3.0f121", 0xC0000080, board::IOPort2Registers::kIOPort2Debug0AtReset},
                  {"IsolationPortRegMap_Ver23.3.0f121", 0xC0000014, board::IOPort2Registers::kIsolationRead14AtReset},
                  {"QuolinConfigPortSPI_Ver23.3.0f121", 0x80000000, board::kSpiPortRegister00AtReset},
                  {"QuolinConfigPortWindow_Ver23.3.0f121", 0x800000C0, board::kDefaultWindowBase},
                  {"Triggers_Ver200a13081315", 0xC00000DC, board::TimingBlock::kTriggersReadDCAtReset},
                  {"DO_Ver200a13081315", 0xC0000000, board::TimingBlock::kDigitalOutputReadAtReset}});
    ASSERT_EQ(cases.size(), kRegisterMapNames.size());
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        EXPECT_EQ(c.name.rfind(kRegisterMapNames[i] + "_Ver", 0), 0u) << c.name << ": every registered name, in order";
        tStatus status;
        arm::DynamicAccessInterfaceBase<tStatus>* map = nullptr;
        helper(p)->getARMDispatcher()->getRegistration(c.name.c_str(), map, status, nullptr);
        ASSERT_NE(map, nullptr) << c.name;
        uint64_t value = 0;
        map->read(c.id, value, status, 0);
        EXPECT_EQ(status.code, 0) << c.name;
        EXPECT_EQ(value, c.value) << c.name << std::hex << " 0x" << c.id;
    }
}

TEST_F(Level3, TheBridgeSignatureIsCheckedAgainOnEveryHardwareStateCheck) {
    Plugged& p = add();
    p.board->bar(0).store(board::bar0::kSignature, 4, 0xFFFFFFFF);
    EXPECT_EQ(checkHardwareState(p), kSignatureMismatch);
    p.board->bar(0).store(board::bar0::kSignature, 4, board::bar0::kBridgeSignature);
    EXPECT_EQ(checkHardwareState(p), 0);
}

// A failed level 3 keeps what it built (the device stays up at level 2 with the failure); a reset
// to 3 once the board is mended reaches it.
struct Failure {
    const char* name;
    std::function<void(board::ProductOptions&)> spoil;
    bool refuseMapping;
    int64_t code;
    size_t registerMaps;
    size_t storageMaps;
    std::function<void(Plugged&)> mend;
};

class Level3Failure : public Level3, public ::testing::WithParamInterface<Failure> {};

TEST_P(Level3Failure, StopsTheBringUpKeepsWhatWasBuiltAndAResetOnTheMendedBoardReachesLevel3) {
    const Failure& f = GetParam();
    board::ProductOptions options;
    f.spoil(options);
    Plugged& p = plug(options);
    {
        std::unique_ptr<kal::sim::FailKernelCall> refuse;
        if (f.refuseMapping) refuse = std::make_unique<kal::sim::FailKernelCall>("mapPhysicalToKernel");
        ASSERT_EQ(kernel_.addDevice(*p.function), 0) << "a failed bring-up leaves the device up";
    }
    EXPECT_EQ(tracker(p).reached, 2);
    EXPECT_EQ(tracker(p).status.code, f.code);
    Registered names = registered(p);
    EXPECT_EQ(names.registerMaps.size(), f.registerMaps);
    if (f.registerMaps != 0) {
        EXPECT_EQ(names.registerMaps, kRegisterMapNames);
    }
    EXPECT_EQ(names.storageMaps.size(), f.storageMaps);
    EXPECT_TRUE(names.windows.empty()) << "flashWindow is registered last";
    EXPECT_EQ(names.checkers, 0u);
    EXPECT_EQ(property(p, "serialNumber"), "0");
    EXPECT_EQ(property(p, "modelName"), helper(p)->getModelName());

    f.mend(p);
    EXPECT_EQ(reset(p, 3), kStoppedAtTarget);
    EXPECT_EQ(tracker(p).reached, 3);
    names = registered(p);
    EXPECT_EQ(names.registerMaps, kRegisterMapNames);
    EXPECT_EQ(names.storageMaps.size(), 19u);
    EXPECT_EQ(names.windows, std::vector<std::string>{"flashWindow"});
    EXPECT_EQ(names.checkers, 3u);
}

namespace {

void mendManufacturingRecord(Plugged& p) {
    const board::FlashImage image = board::FlashImage::standard();
    const board::StoredRecord& record = board::storedRecord("Manufacturing");
    p.blocks->flash().load(record.offset, std::vector<uint8_t>(image.data() + record.offset,
                                                               image.data() + record.offset + record.size));
}

void mendBridgeCore(Plugged& p) { board::installBridgeCore(*p.board); }

void mendWindowRegister(Plugged& p) {
    p.board->bar(0).store(board::kWindowBaseRegister, 4, board::kDefaultWindowBase);
}

const Failure kFailures[] = {
    {"WrongSignature", [](board::ProductOptions& o) { o.bridgeCore.signature = 0xC0107AD1; }, false,
     kSignatureMismatch, 16, 0, mendBridgeCore},
    {"BoardRevision0",
     [](board::ProductOptions& o) { o.flash = board::FlashImage::standard().setOldestCompatibleBoardRevision(0); },
     false, kRevisionTooOld, 16, 19, mendManufacturingRecord},
    {"BoardRevision2",
     [](board::ProductOptions& o) { o.flash = board::FlashImage::standard().setOldestCompatibleBoardRevision(2); },
     false, kRevisionTooNew, 16, 19, mendManufacturingRecord},
    {"MappingRefused", [](board::ProductOptions&) {}, true, -52000, 0, 0, [](Plugged&) {}},
    // Placements from a dead or foreign bridge: nothing may reach outside the mapping.
    {"DMABlocksOutsideTheMapping", [](board::ProductOptions& o) { o.bridgeCore.dmaChannelOffset = 0x3FF80; }, false,
     kOutsideTheMapping, 0, 0, mendBridgeCore},
    {"DMAStrideOutsideTheMapping",
     [](board::ProductOptions& o) {
         o.bridgeCore.dmaChannelOffset = 0x8000;
         o.bridgeCore.dmaChannelStrideLog2 = 15;
     },
     false, kOutsideTheMapping, 0, 0, mendBridgeCore},
    {"DeadBridge", [](board::ProductOptions& o) { o.bridgeCore.dmaChannelOffset = 0xFFFFFFFF; }, false,
     kOutsideTheMapping, 0, 0, mendBridgeCore},
    {"ConfigurationWindowOutsideTheMapping", [](board::ProductOptions& o) { o.windowRegister = 0x0003F80C; }, false,
     kOutsideTheMapping, 16, 0, mendWindowRegister},
    {"ConfigurationWindowSmallerThanTheDataWindow", [](board::ProductOptions& o) { o.windowRegister = 0x00004008; },
     false, kOutsideTheMapping, 16, 0, mendWindowRegister},
};

}  // namespace

INSTANTIATE_TEST_SUITE_P(Faults, Level3Failure, ::testing::ValuesIn(kFailures),
                         [](const ::testing::TestParamInfo<Failure>& info) { return std::string(info.param.name); });

// A Manufacturing record that does not hold leaves the serial number unreadable, and then the
// three board properties are not published; the slot's geographic address, read on its own, still
// is. The bring-up itself checks only the revision.
TEST_F(Level3, ABadManufacturingRecordLeavesTheBoardPropertiesOut) {
    struct Case {
        board::FlashImage image;
        int64_t code;
    };
    const Case cases[] = {
        {board::FlashImage::standard().corruptChecksum("Manufacturing"), kChecksumInvalid},
        {board::FlashImage::standard().breakVersion("Manufacturing"), kVersionUnsupported},
    };
    for (const Case& c : cases) {
        board::ProductOptions options;
        options.flash = c.image;
        Plugged& p = add(options);
        EXPECT_EQ(tracker(p).reached, 22);
        EXPECT_EQ(deviceProperties(p), std::vector<std::string>{"pxiGeographicAddress"});
        EXPECT_EQ(geographicAddress(p), board::GeographicAddressOptions{}.slot);
        tStatus status;
        EXPECT_EQ(helper(p)->getBoardSerialNumber(status), 0u);
        EXPECT_EQ(status.code, c.code);
        EXPECT_EQ(checkHardwareState(p), c.code);
    }
}

TEST_F(Level3, TheSerialNumberNeedsAManufacturingVersionRangeThatMeetsTheDriversOwn) {
    struct Case {
        uint32_t version;
        uint32_t oldest;
        int64_t code;
    };
    const Case cases[] = {
        {0x01000002, 0x01000001, 0},  // a newer format this driver can still read
        {0x01000001, 0x01000000, 0},
        {0x01000002, 0x01000002, kVersionUnsupported},
        {0x01000000, 0x01000001, kVersionUnsupported},  // oldest above the version
        {0x01000000, 0x01000000, kVersionUnsupported},
    };
    for (const Case& c : cases) {
        board::ProductOptions options;
        options.flash = board::FlashImage::standard().setVersions("Manufacturing", c.version, c.oldest);
        Plugged& p = add(options);
        tStatus status;
        const uint32_t serial = helper(p)->getBoardSerialNumber(status);
        EXPECT_EQ(status.code, c.code) << std::hex << c.version << " " << c.oldest;
        EXPECT_EQ(serial, c.code == 0 ? board::factory::kSerialNumber : 0u);
        EXPECT_EQ(helper(p)->areStorageMapVersionsValid(status = tStatus()), c.code == 0);
    }
}

// Every checksummed map is tested (Posc has no checksum), and every map's version.
class Level3StoredMap : public Level3, public ::testing::WithParamInterface<std::string> {};

TEST_P(Level3StoredMap, ItsChecksumAndItsVersionAreChecked) {
    const std::string& name = GetParam();
    for (bool checksum : {true, false}) {
        board::ProductOptions options;
        options.flash = checksum ? board::FlashImage::standard().corruptChecksum(name)
                                 : board::FlashImage::standard().breakVersion(name);
        Plugged& p = add(options);
        ASSERT_EQ(tracker(p).reached, 22);
        tStatus status;
        EXPECT_EQ(helper(p)->areStorageMapChecksumsValid(status), !checksum);
        EXPECT_EQ(helper(p)->areStorageMapVersionsValid(status), checksum);
        EXPECT_TRUE(status.isSuccess());
        EXPECT_EQ(checkHardwareState(p), checksum ? kChecksumInvalid : kVersionUnsupported);
    }
}

INSTANTIATE_TEST_SUITE_P(Checksummed, Level3StoredMap, ::testing::ValuesIn(checksummedRecordNames()),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });

TEST_F(Level3, TheEighteenChecksummedMapsHoldOnTheStandardImageAndPoscIsNotChecked) {
    EXPECT_EQ(checksummedRecordNames().size(), 18u);
    board::ProductOptions options;
    options.flash = board::FlashImage::standard().corruptChecksum("Posc");
    Plugged& p = add(options);
    tStatus status;
    EXPECT_TRUE(helper(p)->areStorageMapChecksumsValid(status));
    EXPECT_EQ(checkHardwareState(p), 0);
}

// Memory runs out at every allocation of a reset to level 3 in turn: each time a clear status,
// nothing leaks and nothing is freed twice.
TEST_F(Level3, AllocationFailuresAtEveryStepOfAResetToLevel3) {
    Plugged& p = add();
    // A reset invalidates the session that asked for it; each one asks from a session of its own.
    auto resetTo3 = [&](uint64_t failNth, bool& triggered) {
        kal::sim::Session session = kernel_.open("smu_kzvorn");
        EXPECT_TRUE(session);
        nKZAPAL000::tEventDescriptor event{static_cast<nKZAPAL000::tSession*>(session.handle())};
        tStatus status;
        std::unique_ptr<kal::sim::FailAllocations> fail;
        if (failNth != 0) fail = std::make_unique<kal::sim::FailAllocations>(failNth);
        device(p)->reset(event, 3, 0, status);
        triggered = fail != nullptr && fail->triggered();
        return status.code;
    };
    bool triggered = false;
    ASSERT_EQ(resetTo3(0, triggered), kStoppedAtTarget);
    const int64_t before = kal::sim::liveAllocations();
    bool failedAtLevel3 = false;
    uint64_t nth = 1;
    for (;; ++nth) {
        const int64_t code = resetTo3(nth, triggered);
        if (!triggered) {
            EXPECT_EQ(code, kStoppedAtTarget);
            EXPECT_EQ(tracker(p).reached, 3);
            break;
        }
        if (code == kStoppedAtTarget) {
            EXPECT_EQ(tracker(p).reached, 3) << nth;  // a failure the bring-up does not depend on
        } else {
            EXPECT_EQ(code, -52000) << nth;
            EXPECT_TRUE(tracker(p).status.code == -52000 ? tracker(p).reached < 3 : tracker(p).reached == 3) << nth;
            failedAtLevel3 = failedAtLevel3 || tracker(p).reached == 2;
        }
    }
    EXPECT_TRUE(failedAtLevel3);
    EXPECT_GT(nth, 20u);
    EXPECT_EQ(kal::sim::liveAllocations(), before) << "nothing of a failed bring-up is left behind";
    EXPECT_EQ(registered(p).registerMaps, kRegisterMapNames) << "a reset to the same level registers each name once";
}
