#include "sweep/lifeCycle.h"

#include <algorithm>
#include <cstring>
#include <sstream>

#include "kal/sim/publication.h"
#include "tools/stowly/stowlyData.h"
#include "kzapalcodegen/ioctlRecords.h"

namespace sweep {

using namespace kzvorn_driver;
using nKZAPALS100::tStatus;

const board::FlashImage& image() {
    static const board::FlashImage standard = board::FlashImage::standard();
    return standard;
}

const char* nameOf(Stage stage) {
    switch (stage) {
        case Stage::kLoad: return "load";
        case Stage::kAddDevice: return "add device";
        case Stage::kOpen: return "open";
        case Stage::kBringUp: return "reset to the highest level";
        case Stage::kNamedAccess: return "named access";
        case Stage::kClose: return "close";
        case Stage::kRemoval: return "removal";
    }
    return "?";
}

const char* nameOf(Variant variant) {
    return variant == Variant::kStandard ? "standard board" : "board without a capability list";
}

namespace {

constexpr uint32_t kArmWrite = 0x00208100;
constexpr uint32_t kArmRead = 0x00208101;
constexpr uint32_t kArmRegistrationNames = 0x00208105;
constexpr uint32_t kWindowSet = 0x00208146;
constexpr uint32_t kWindowGet = 0x00208147;
constexpr uint32_t kStorageMapFlush = 0x00208180;
constexpr uint32_t kStorageMapSetRaw = 0x0020818C;
constexpr uint32_t kStorageMapGetRaw = 0x002081A0;
constexpr uint32_t kStorageMapIsChecksumValid = 0x002081B5;
constexpr uint32_t kReset = 0x00208600;
constexpr uint32_t kGetSetupLevel = 0x00202B00;
constexpr const char* kInterface = "smu_kzvorn";

constexpr size_t kCallerMemorySize = 16384;
constexpr size_t kNameSlots = 128 * 64;
// Window bytes across two flash sectors; storage-map bytes at the start of a record.
constexpr uint32_t kWindowOffset = 0x9000 - 32;
constexpr uint32_t kByteCount = 64;
// The flash sectors the requests may rewrite.
constexpr uint32_t kWrittenSectors = 0x8000;
constexpr uint32_t kWrittenSize = 0x2000;

std::string versioned(const char* record) {
    const board::StoredRecord& r = board::storedRecord(record);
    return std::string(r.name) + "_Ver1.0.0d" + std::to_string(r.version & 0xFF);
}

// What the running test has reported so far, failures included.
int reports() { return ::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count(); }

board::ProductOptions makeOptions(Variant variant) {
    board::ProductOptions options;
    options.flash = image();
    // The image downloads are not swept: the board's FPGAs start configured and the plan fakes them.
    options.fpga.configuredAtStart = stowly::builtInFpgaSignatures();
    if (variant == Variant::kNoCapabilityList) {
        options.pci.list = board::PciOptions::List::None;
        options.pci.fallbackProbe = true;
    }
    return options;
}

// Made once: a board is built for every case.
const board::ProductOptions& optionsOf(Variant variant) {
    static const board::ProductOptions standard = makeOptions(Variant::kStandard);
    static const board::ProductOptions withoutList = makeOptions(Variant::kNoCapabilityList);
    return variant == Variant::kStandard ? standard : withoutList;
}

const BringUpPlan& planOf(Levels levels) {
    static const BringUpPlan all = [] {
        BringUpPlan p;
        p.fakeDownloads();
        return p;
    }();
    static const BringUpPlan upTo17 = [] {
        BringUpPlan p = all;
        p.fakeLevels(18, kzvorn_shared::SetupLevel::kHighest, BringUpPlan::kSucceed);
        return p;
    }();
    return levels == Levels::kAll ? all : upTo17;
}

}  // namespace

struct LifeCycle::Request {
    uint32_t code;
    std::vector<uint8_t> input;
    std::vector<uint8_t> output;
    uint32_t statusOffset;  // of the operation's status in the output record
    size_t written;         // caller bytes the request fills (offset into the caller's memory), or 0
    size_t writtenCount;
    int64_t result = 0;     // of its last run: the transport's code, else the operation's status
};

LifeCycle::LifeCycle(Variant variant, Levels levels)
    : blocks_(board::installProduct(board_, optionsOf(variant))), plan_(planOf(levels)),
      kernel_(std::make_unique<kal::sim::Kernel>()), callerBytes_(kCallerMemorySize, 0) {
    board_.log().setEnabled(false);
    blocks_.flash().setLogging(false);
    callerMemory_ = std::make_unique<kal::sim::UserMemory>(callerBytes_.data(), callerBytes_.size());

    size_t next = kNameSlots;  // the registry names' slots first
    auto place = [&](const void* bytes, size_t size) {
        const size_t at = next;
        std::memcpy(callerBytes_.data() + at, bytes, size);
        next += (size + 15) & ~size_t{15};
        return at;
    };
    auto address = [&](size_t at) { return reinterpret_cast<uint64_t>(callerBytes_.data() + at); };
    auto named = [&](auto record, const std::string& name) {
        record.name = address(place(name.data(), name.size()));
        record.nameLength = name.size();
        return record;
    };
    auto add = [&](uint32_t code, const auto& input, auto output, uint32_t statusOffset, size_t written = 0,
                   size_t writtenCount = 0) {
        Request r{code, std::vector<uint8_t>(sizeof input), std::vector<uint8_t>(sizeof output), statusOffset,
                  written, writtenCount, 0};
        std::memcpy(r.input.data(), &input, sizeof input);
        requests_.push_back(std::move(r));
    };

    tFieldRecord read = named(tFieldRecord{}, "Quolin_Ver23.3.0f121");
    read.field = 0xC0000000;
    add(kArmRead, read, tValue32Record{}, 4);
    tFieldWriteRecord write = named(tFieldWriteRecord{}, "QuolinDMAChannel3_Ver23.3.0f121");
    write.field = 0x58;
    write.value = 1;
    add(kArmWrite, write, tStatusRecord{}, 0);
    tUserBufferRecord names{};
    names.address = address(0);
    add(kArmRegistrationNames, names, tStatusRecord{}, 0, 0, kNameSlots);

    // The window and the storage map are written back with what the flash holds, so a flush
    // that goes through leaves the stored data as they were.
    const size_t windowBytes = place(std::vector<uint8_t>(kByteCount, 0xEE).data(), kByteCount);
    tWindowGetRecord windowGet = named(tWindowGetRecord{}, "flashWindow");
    windowGet.offset = kWindowOffset;
    windowGet.count = kByteCount;
    windowGet.destination = address(windowBytes);
    add(kWindowGet, windowGet, tStatusRecord{}, 0, windowBytes, kByteCount);
    tWindowSetRecord windowSet = named(tWindowSetRecord{}, "flashWindow");
    windowSet.source = address(place(image().data() + kWindowOffset, kByteCount));
    windowSet.offset = kWindowOffset;
    windowSet.count = kByteCount;
    add(kWindowSet, windowSet, tStatusRecord{}, 0);

    const std::string posc = versioned("Posc");
    const size_t rawBytes = place(std::vector<uint8_t>(kByteCount, 0xEE).data(), kByteCount);
    tStorageMapRawRecord getRaw = named(tStorageMapRawRecord{}, posc);
    getRaw.elementCount = kByteCount;
    getRaw.elementSize = 1;
    getRaw.buffer = address(rawBytes);
    add(kStorageMapGetRaw, getRaw, tStatusRecord{}, 0, rawBytes, kByteCount);
    tStorageMapRawRecord setRaw = named(tStorageMapRawRecord{}, posc);
    setRaw.elementCount = kByteCount;
    setRaw.elementSize = 1;
    setRaw.buffer = address(place(image().data() + board::storedRecord("Posc").offset, kByteCount));
    add(kStorageMapSetRaw, setRaw, tStatusRecord{}, 0);
    // The small Header record (Posc spans eight sectors); its flush goes through the window's and
    // takes the bytes set above with it.
    tNameForceRecord storageFlush = named(tNameForceRecord{}, versioned("Header"));
    storageFlush.force = 1;
    add(kStorageMapFlush, storageFlush, tStatusRecord{}, 0);
    add(kStorageMapIsChecksumValid, named(tNameRecord{}, versioned("Manufacturing")), tValue8Record{}, 4);

    function_ = &kernel_->plug(board_);
    reportsBeforeLoad_ = reports();
    beforeLoad_ = kal::sim::liveObjects();
}

LifeCycle::~LifeCycle() { closeAndRemove(); }

void LifeCycle::closeAndRemove() {
    accessor_.close();
    if (kernel_->isLoaded() && device() != nullptr) {
        kernel_->removeDevice(*function_);
        opened_.close();
        kernel_->deleteDevice(*function_);
    }
    opened_.close();
}

// The device keeps the plan for its resets.
int32_t LifeCycle::add() {
    TolvaneDevice::setBringUpPlan(&plan_);
    const int32_t result = kernel_->addDevice(*function_);
    TolvaneDevice::setBringUpPlan(nullptr);
    return result;
}

TolvaneDevice* LifeCycle::device() {
    void* slot = kernel_->device(*function_);
    return slot == nullptr ? nullptr : static_cast<TolvaneDevice*>(static_cast<nKZAPAL000::tDevice*>(slot));
}

int64_t LifeCycle::resetRequest(kal::sim::Session& session) {
    tResetRecord input{};
    input.targetLevel = kHighestBuiltLevel;
    tStatusRecord output{};
    const auto reply = session.ioctl(kReset, &input, sizeof input, &output, sizeof output);
    return reply.result != 0 ? reply.result : output.status;
}

int64_t LifeCycle::namedAccess() {
    int64_t first = 0;
    for (Request& r : requests_) {
        std::fill(r.output.begin(), r.output.end(), 0xAA);
        if (r.writtenCount != 0) std::memset(callerBytes_.data() + r.written, 0xEE, r.writtenCount);
        const auto reply = accessor_.ioctl(r.code, r.input.data(), static_cast<uint32_t>(r.input.size()),
                                           r.output.data(), static_cast<uint32_t>(r.output.size()));
        int32_t status = 0;
        std::memcpy(&status, r.output.data() + r.statusOffset, sizeof status);
        r.result = reply.result != 0 ? reply.result : status;
        if (first == 0) first = r.result;
    }
    return first;
}

int64_t LifeCycle::levelQuery(kal::sim::Session& session) {
    tStatusRecord input{};
    tValue32Record output{};
    const auto reply = session.ioctl(kGetSetupLevel, &input, sizeof input, &output, sizeof output);
    return reply.result != 0 ? reply.result : output.status != 0 ? output.status : output.value;
}

std::vector<uint8_t> LifeCycle::transcript(const Request& r) const {
    std::vector<uint8_t> bytes = r.output;
    bytes.insert(bytes.end(), callerBytes_.data() + r.written, callerBytes_.data() + r.written + r.writtenCount);
    return bytes;
}

::testing::AssertionResult LifeCycle::atHighestLevel(const Reference& reference) {
    TolvaneDevice* d = device();
    if (d == nullptr) return ::testing::AssertionFailure() << "no device";
    if (d->getSetupTracker().reached != kHighestBuiltLevel)
        return ::testing::AssertionFailure() << "reached level " << d->getSetupTracker().reached << ", status "
                                             << d->getSetupTracker().status.code;
    TolvaneHelper* helper = d->getHelper();
    const uint64_t registerMaps = helper->getARMDispatcher()->getNumberOfRegistrations();
    const uint64_t storageMaps = helper->getStorageMapDispatcher()->getNumberOfRegistrations();
    const uint64_t windows = helper->getDeviceWindowDispatcher()->getNumberOfRegistrations();
    if (registerMaps != reference.registerMaps || storageMaps != reference.storageMaps ||
        windows != reference.windows)
        return ::testing::AssertionFailure() << "registered " << registerMaps << " register maps, " << storageMaps
                                             << " storage maps, " << windows << " windows";
    return ::testing::AssertionSuccess();
}

void LifeCycle::prepare(Stage stage, const Reference& reference) {
    for (Stage before : kStages) {
        if (before == stage) return;
        const int64_t code = run(before);
        ASSERT_EQ(code, 0) << nameOf(before);
        ASSERT_EQ(verify(before, reference, code), "") << nameOf(before);
        afterStage(before);
    }
}

std::string LifeCycle::runAll(const Reference& reference) {
    for (Stage stage : kStages) {
        const int64_t code = run(stage);
        const std::string wrong = verify(stage, reference, code);
        if (!wrong.empty()) return nameOf(stage) + (": " + wrong);
        if (code != 0) return "";
        afterStage(stage);
    }
    return "";
}

void LifeCycle::afterStage(Stage stage) {
    // The session that asked for the reset is invalidated by it: the named requests come from a
    // session of their own.
    if (stage == Stage::kBringUp) accessor_ = kernel_->open(kInterface);
}

int64_t LifeCycle::run(Stage stage) {
    switch (stage) {
        case Stage::kLoad: return kernel_->load();
        case Stage::kAddDevice: {
            const int32_t result = add();
            return result != 0 ? result : device()->getSetupTracker().status.code;
        }
        case Stage::kOpen: {
            int32_t result = 0;
            opened_ = kernel_->open(kInterface, &result);
            return result;
        }
        case Stage::kBringUp: return resetRequest(opened_);
        case Stage::kNamedAccess: return namedAccess();
        case Stage::kClose:
            sessionsBeforeClose_ = device()->getOpenSessionCount();
            accessor_.close();
            return 0;
        case Stage::kRemoval: closeAndRemove(); return 0;
    }
    return 0;
}

std::string LifeCycle::verify(Stage stage, const Reference& reference, int64_t code) {
    std::ostringstream wrong;
    switch (stage) {
        case Stage::kLoad:
            if (code == 0 && kal::sim::registeredDriver() == nullptr) wrong << "loaded without a registered driver";
            break;
        case Stage::kAddDevice:
            // Properties are left out where what they show cannot be read (a failed capability
            // search makes the device a plain PCI one): only the interfaces must be there.
            if (code == 0) {
                if (auto result = atHighestLevel(reference); !result) wrong << result.message();
                if (kal::sim::liveInterfaceCount() != 2) wrong << " interfaces " << kal::sim::liveInterfaceCount();
            } else if (device() != nullptr && device()->getSetupTracker().reached >= kHighestBuiltLevel) {
                wrong << "a failed bring-up reached the highest level";
            }
            break;
        case Stage::kOpen:
            if (code != 0 && opened_) wrong << "a session from a failed open";
            if (device()->getOpenSessionCount() != (opened_ ? 1u : 0u)) wrong << " sessions miscounted";
            if (code == 0 && levelQuery(opened_) != kHighestBuiltLevel) wrong << " the session is not served";
            break;
        case Stage::kBringUp:
            // A request refused before the reset began, or whose reply could not be written, leaves
            // the device as the reset left it: a level it reached is whole.
            if (code == 0 || device()->getSetupTracker().reached == kHighestBuiltLevel)
                if (auto result = atHighestLevel(reference); !result) wrong << result.message();
            break;
        case Stage::kNamedAccess:
            for (size_t i = 0; i < requests_.size(); ++i) {
                const Request& r = requests_[i];
                if (r.result == 0 && transcript(r) != reference.namedAccess[i])
                    wrong << " request 0x" << std::hex << r.code << std::dec << " succeeded with other results";
                if (r.result > 0) wrong << " request 0x" << std::hex << r.code << std::dec << " gives " << r.result;
            }
            // A refused request unregisters nothing.
            if (auto result = atHighestLevel(reference); !result) wrong << result.message();
            break;
        case Stage::kClose:
            if (device()->getOpenSessionCount() + 1 != sessionsBeforeClose_) wrong << "the session is still counted";
            break;
        case Stage::kRemoval:
            if (kal::sim::liveInterfaceCount() != 0 || kal::sim::livePropertyCount() != 0)
                wrong << "interfaces or properties left after removal";
            break;
    }
    if (code > 0) wrong << " a positive code " << code;
    return wrong.str();
}

::testing::AssertionResult LifeCycle::recover(const Reference& reference) {
    if (!kernel_->isLoaded() && kernel_->load() != 0) return ::testing::AssertionFailure() << "the load fails";
    if (device() == nullptr) {
        if (int32_t result = add(); result != 0)
            return ::testing::AssertionFailure() << "add device gives " << result;
    } else {
        int32_t result = 0;
        kal::sim::Session session = kernel_->open(kInterface, &result);
        if (!session) return ::testing::AssertionFailure() << "open gives " << result;
        if (int64_t code = resetRequest(session); code != 0)
            return ::testing::AssertionFailure() << "the reset gives " << code;
    }
    if (auto result = atHighestLevel(reference); !result) return result;
    // What the requests wrote back is what the flash held (the sectors of the window's bytes and
    // of the Header record, which the flush rewrites).
    const std::vector<uint8_t> written = blocks_.flash().contents(kWrittenSectors, kWrittenSize);
    if (!std::equal(written.begin(), written.end(), image().data() + kWrittenSectors))
        return ::testing::AssertionFailure() << "the flash lost its data";
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult LifeCycle::finish() {
    closeAndRemove();
    kernel_->unload();
    const kal::sim::LiveObjects after = kal::sim::liveObjects();
    if (after != beforeLoad_ && reports() == reportsBeforeLoad_)
        return ::testing::AssertionFailure() << "left behind: " << kal::sim::describe(after) << "\nbefore load: "
                                             << kal::sim::describe(beforeLoad_);
    return ::testing::AssertionSuccess();
}

const Reference& LifeCycle::reference(Variant variant) {
    if (variant == Variant::kStandard) {
        static const Reference standard = undisturbed(variant);
        return standard;
    }
    static const Reference withoutList = undisturbed(variant);
    return withoutList;
}

Reference LifeCycle::undisturbed(Variant variant) {
    Reference reference;
    LifeCycle life(variant);
    for (Stage stage : kStages) {
        EXPECT_EQ(life.run(stage), 0) << nameOf(stage);
        if (stage == Stage::kAddDevice) {
            TolvaneHelper* helper = life.device()->getHelper();
            reference.registerMaps = helper->getARMDispatcher()->getNumberOfRegistrations();
            reference.storageMaps = helper->getStorageMapDispatcher()->getNumberOfRegistrations();
            reference.windows = helper->getDeviceWindowDispatcher()->getNumberOfRegistrations();
        }
        life.afterStage(stage);
    }
    EXPECT_TRUE(life.finish());
    // What the named requests gave stays in their records and the caller's memory.
    for (const Request& r : life.requests_) reference.namedAccess.push_back(life.transcript(r));
    return reference;
}

}  // namespace sweep
