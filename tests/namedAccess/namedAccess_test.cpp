// The named-access requests through the ioctl envelope, on the product board brought up for real
// to level 3: register maps by name and field identifier, the flash window's bytes, the storage
// maps' elements and checksums, the registries' listings, and requests sized far beyond their
// objects.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "armgen/nullRegisterMap.h"
#include "board/bar0Map.h"
#include "board/product.h"
#include "deviceWindow/statusCodes.h"
#include "device/tolvaneDevice.h"
#include "kal/sim/faults.h"
#include "kal/sim/harness.h"
#include "kal/sim/user.h"
#include "kzRegiTools/statusCodes.h"
#include "kzapal/protons/statusCodes.h"
#include "kzapalcodegen/ioctlRecords.h"
#include "level3/registeredNames.h"
#include "storageMap/statusCodes.h"
#include "tools/stowly/stowlyData.h"

namespace {

using namespace kzvorn_driver;
using nKZAPALS100::tStatus;

constexpr uint32_t kArmWrite = 0x00208100;
constexpr uint32_t kArmRead = 0x00208101;
constexpr uint32_t kArmNumberOfRegistrations = 0x00208104;
constexpr uint32_t kArmRegistrationNames = 0x00208105;
constexpr uint32_t kArmGet = 0x0020810A;
constexpr uint32_t kArmReadEx = 0x0020810C;
constexpr uint32_t kArmSetEx = 0x0020810D;
constexpr uint32_t kArmGetEx = 0x0020810E;
constexpr uint32_t kArmRegisterFormat = 0x00208111;
constexpr uint32_t kArmSizeOfRegistrationList = 0x00208112;
constexpr uint32_t kArmRegistrationList = 0x00208113;
constexpr uint32_t kWindowNumberOfRegistrations = 0x00208141;
constexpr uint32_t kWindowRegistrationNames = 0x00208142;
constexpr uint32_t kWindowSizeInBytes = 0x00208143;
constexpr uint32_t kWindowRead = 0x00208145;
constexpr uint32_t kWindowSet = 0x00208146;
constexpr uint32_t kWindowGet = 0x00208147;
constexpr uint32_t kStorageMapNumberOfRegistrations = 0x00208181;
constexpr uint32_t kStorageMapRegistrationNames = 0x00208182;
constexpr uint32_t kStorageMapElementCount = 0x00208183;
constexpr uint32_t kStorageMapSetRaw = 0x0020818C;
constexpr uint32_t kStorageMapGetRaw = 0x002081A0;
constexpr uint32_t kStorageMapIsChecksumValid = 0x002081B5;
constexpr uint32_t kCheckHardwareState = 0x00208601;

constexpr int32_t kChecksumInvalid = static_cast<int32_t>(0xBFFA4088);
constexpr int32_t kVersionUnsupported = static_cast<int32_t>(0xBFFA4082);
constexpr int32_t kMemoryFull = nKZAPALS100::kStatusMemoryFull;
constexpr const char* kQuolin = "Quolin_Ver23.3.0f121";
constexpr const char* kChannel3 = "QuolinDMAChannel3_Ver23.3.0f121";
constexpr uint32_t kSignatureId = 0xC0000000;
constexpr uint32_t kRegister450Id = 0x80000450;
constexpr uint64_t kChannel3Register58 = 0x2000 + 3 * 0x200 + 0x58;

using level3names::checksummedRecordNames;
using level3names::kRegisterMapNames;
using level3names::storedRecordNames;

// Bytes in the caller's memory for as long as the object lives (a name carries no terminator).
struct CallerMemory {
    explicit CallerMemory(std::vector<uint8_t> content)
        : bytes(std::move(content)), memory(bytes.data(), bytes.size()) {}
    explicit CallerMemory(const std::string& text) : CallerMemory(std::vector<uint8_t>(text.begin(), text.end())) {}
    explicit CallerMemory(size_t size, uint8_t fill = 0xEE) : CallerMemory(std::vector<uint8_t>(size, fill)) {}
    uint64_t address() const { return reinterpret_cast<uint64_t>(bytes.data()); }
    uint64_t length() const { return bytes.size(); }

    std::vector<uint8_t> bytes;
    kal::sim::UserMemory memory;
};

// A record that names an object in the caller's memory.
template <class tRecord>
tRecord naming(const CallerMemory& name, int32_t callerStatus = 0) {
    tRecord record{};
    record.name = name.address();
    record.nameLength = name.length();
    record.status = callerStatus;
    return record;
}

// The version a stored record is registered with: its packed "1.0.0dN".
std::string versioned(const board::StoredRecord& record) {
    EXPECT_EQ(record.version >> 8, 0x010000u) << record.name;
    return std::string(record.name) + "_Ver1.0.0d" + std::to_string(record.version & 0xFF);
}

using RegisterMapLock = kzregitools::tMutex*;

// The registration lock of a registered name.
template <class tRegistry>
RegisterMapLock registrationLock(tRegistry& registry, const char* name) {
    tStatus status;
    decltype(tRegistry::Wrapper::object) object = nullptr;
    kzregitools::tMutex* lock = nullptr;
    registry.getRegistration(name, object, status, &lock);
    return status.isFatal() ? nullptr : lock;
}

class NamedAccess : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(kernel_.load(), 0); }

    // The board brought up for real to level 3, and to 4 over FPGAs configured from the start;
    // with highest, the levels above are faked so that the requests of level 22 pass their gates.
    void add(board::ProductOptions options = {}, bool highest = false) {
        options.fpga.configuredAtStart = stowly::builtInFpgaSignatures();
        board_ = std::make_unique<board::Board>(board::productIdentity());
        blocks_ = std::make_unique<board::ProductBlocks>(board::installProduct(*board_, options));
        kal::sim::PciFunction& function = kernel_.plug(*board_);
        plan_.fakeDownloads();
        if (highest) plan_.fakeLevels(4, kzvorn_shared::SetupLevel::kHighest, BringUpPlan::kSucceed);
        // Otherwise the device stands at level 4, with only level 3's names.
        if (!highest)
            plan_.fakeLevels(5, kzvorn_shared::SetupLevel::kHighest, BringUpPlan::kFail,
                             nKZAPALS100::kStatusFeatureNotSupported);
        TolvaneDevice::setBringUpPlan(&plan_);
        ASSERT_EQ(kernel_.addDevice(function), 0);
        TolvaneDevice::setBringUpPlan(nullptr);
        device_ = static_cast<TolvaneDevice*>(static_cast<nKZAPAL000::tDevice*>(kernel_.device(function)));
        ASSERT_EQ(device_->getSetupTracker().reached, highest ? kzvorn_shared::SetupLevel::kHighest : 4);
        session_ = kernel_.open("smu_kzvorn");
        ASSERT_TRUE(session_);
    }

    template <class tOutput, class tInput>
    tOutput request(uint32_t code, const tInput& input) {
        tOutput output{};
        const auto reply = session_.ioctl(code, &input, sizeof input, &output, sizeof output);
        EXPECT_EQ(reply.result, 0);
        return output;
    }
    // The operation's status of a request whose records are ready; allocates nothing of its own, so
    // that allocation failures can be injected around it.
    int32_t status(uint32_t code, const void* input, uint32_t inputSize, uint32_t outputSize) {
        uint8_t output[16] = {};
        const auto reply = session_.ioctl(code, input, inputSize, output, outputSize);
        if (reply.result != 0) return reply.result;  // the transport's code
        int32_t result = 0;
        std::memcpy(&result, output + outputSize - (outputSize == 16 ? 8 : 4), 4);
        return result;
    }

    tValue32Record field32(uint32_t code, const std::string& map, uint32_t id, int32_t callerStatus = 0) {
        CallerMemory name(map);
        tFieldRecord input = naming<tFieldRecord>(name, callerStatus);
        input.field = id;
        return request<tValue32Record>(code, input);
    }
    tValue64Record field64(uint32_t code, const std::string& map, uint32_t id, uint64_t extension = 0) {
        CallerMemory name(map);
        tFieldExRecord input = naming<tFieldExRecord>(name);
        input.field = id;
        input.extension = extension;
        return request<tValue64Record>(code, input);
    }
    int32_t write(const std::string& map, uint32_t id, uint32_t value, int32_t callerStatus = 0) {
        CallerMemory name(map);
        tFieldWriteRecord input = naming<tFieldWriteRecord>(name, callerStatus);
        input.field = id;
        input.value = value;
        return request<tStatusRecord>(kArmWrite, input).status;
    }
    int32_t setEx(const std::string& map, uint32_t id, uint64_t value, uint64_t extension) {
        CallerMemory name(map);
        tFieldSetExRecord input = naming<tFieldSetExRecord>(name);
        input.field = id;
        input.value = value;
        input.extension = extension;
        return request<tStatusRecord>(kArmSetEx, input).status;
    }

    // A registry's names through its two listing requests.
    std::vector<std::string> names(uint32_t countCode, uint32_t namesCode) {
        const tValue64Record count = request<tValue64Record>(countCode, tStatusRecord{});
        EXPECT_EQ(count.status, 0);
        CallerMemory slots(count.value * kzregitools::kRegistrationNameSlotSize, 0xEE);
        tUserBufferRecord input{};
        input.address = slots.address();
        EXPECT_EQ(request<tStatusRecord>(namesCode, input).status, 0);
        std::vector<std::string> result;
        for (uint64_t i = 0; i < count.value; ++i)
            result.emplace_back(reinterpret_cast<const char*>(slots.bytes.data()) + i * 64);
        return result;
    }

    // Window bytes into the caller's memory, prefilled with 0xEE.
    std::vector<uint8_t> windowBytes(uint32_t code, const std::string& window, uint64_t offset, uint64_t count,
                                     int32_t& result) {
        CallerMemory name(window), out(count);
        tWindowGetRecord input = naming<tWindowGetRecord>(name);
        input.offset = offset;
        input.count = count;
        input.destination = out.address();
        result = request<tStatusRecord>(code, input).status;
        return out.bytes;
    }
    std::vector<uint8_t> raw(const std::string& map, uint32_t id, uint64_t first, uint64_t count, uint64_t elementSize,
                             int32_t& result) {
        CallerMemory name(map), out(count * elementSize);
        tStorageMapRawRecord input = naming<tStorageMapRawRecord>(name);
        input.field = id;
        input.firstElement = first;
        input.elementCount = count;
        input.elementSize = elementSize;
        input.buffer = out.address();
        result = request<tStatusRecord>(kStorageMapGetRaw, input).status;
        return out.bytes;
    }
    tValue8Record checksumValid(const std::string& map) {
        CallerMemory name(map);
        return request<tValue8Record>(kStorageMapIsChecksumValid, naming<tNameRecord>(name));
    }
    int32_t checkHardwareState() { return request<tStatusRecord>(kCheckHardwareState, tHardwareStateRecord{}).status; }

    std::unique_ptr<board::Board> board_;  // outlives the kernel, which removes its device last
    std::unique_ptr<board::ProductBlocks> blocks_;
    BringUpPlan plan_;
    kal::sim::Kernel kernel_;
    TolvaneDevice* device_ = nullptr;
    kal::sim::Session session_;
};

TEST_F(NamedAccess, RegisterMapsByNameAndFieldIdentifierReachTheBoard) {
    add();
    tValue32Record signature = field32(kArmRead, kQuolin, kSignatureId);
    EXPECT_EQ(signature.value, board::bar0::kBridgeSignature);
    EXPECT_EQ(signature.status, 0);
    EXPECT_EQ(field64(kArmReadEx, kQuolin, kSignatureId).value, board::bar0::kBridgeSignature);
    // Once read, the shadow holds it.
    EXPECT_EQ(field32(kArmGet, kQuolin, kSignatureId).value, board::bar0::kBridgeSignature);

    board_->log().clear();
    EXPECT_EQ(write(kChannel3, 0x58, 1), 0);
    EXPECT_EQ(board_->log().writesTo(kChannel3Register58), std::vector<uint64_t>{1});

    // "Triggers" needs its version: nothing is written without it; a newer one only warns.
    board_->log().clear();
    EXPECT_EQ(write("Triggers", 0xD8, 1), kzregitools::kStatusVersionRequired);
    EXPECT_EQ(write("Triggers_Ver201a13081315", 0xD8, 1), kzregitools::kStatusVersionNewerThanObject);
    EXPECT_EQ(board_->log().entries().size(), 1u);
    // A caller's error comes back and nothing happens.
    EXPECT_EQ(write(kChannel3, 0x58, 0, -1), -1);
    EXPECT_EQ(board_->log().entries().size(), 1u);
    EXPECT_EQ(field32(kArmRead, "Quolin_Ver23.3.0f121x", kSignatureId).status, kzregitools::kStatusBadVersionText);
    EXPECT_EQ(field32(kArmRead, "Nothing_Ver1.0.0d0", kSignatureId).status, kzregitools::kStatusNameNotFound);
    EXPECT_EQ(field32(kArmRead, kQuolin, 0x80000FFC).status, nKZAPALS100::kStatusBadParameter) << "unknown field";
}

TEST_F(NamedAccess, TheExtensionMustStayBelow2To24) {
    add();
    EXPECT_EQ(setEx(kQuolin, kRegister450Id, 0x1234, 0x1000000), nKZAPALS100::kStatusFeatureNotSupported);
    tValue64Record shadow = field64(kArmGetEx, kQuolin, kRegister450Id, 0x1000000);
    EXPECT_EQ(shadow.status, nKZAPALS100::kStatusFeatureNotSupported);
    EXPECT_EQ(shadow.value, 0u);
    EXPECT_EQ(field32(kArmGet, kQuolin, kRegister450Id).value, 0u) << "the map was not touched";
    EXPECT_EQ(setEx(kQuolin, kRegister450Id, 0x1234, 0xFFFFFF), 0);
    EXPECT_EQ(field64(kArmGetEx, kQuolin, kRegister450Id, 0xFFFFFF).value, 0x1234u);
    EXPECT_EQ(field32(kArmGet, kQuolin, kRegister450Id).value, 0x1234u);
}

// A map whose values need 64 bits, registered beside the product's.
struct WideMap : armtest::NullRegisterMap {
    void get(uint32_t, uint64_t& v, tStatus& s, uint32_t) override {
        if (s.isNotFatal()) v = value;
    }
    void read(uint32_t id, uint64_t& v, tStatus& s, uint32_t e) override {
        if (s.isNotFatal()) ++reads;
        get(id, v, s, e);
    }
    uint64_t value = 0x123456789;
    int reads = 0;
};

TEST_F(NamedAccess, ThePlainReadsNarrowTo32BitsAndTheExReadsDoNot) {
    add();
    WideMap wide;
    tStatus status;
    armki::ARMDispatcher* registry = device_->getHelper()->getARMDispatcher();
    registry->add("Wide", wide, status);
    ASSERT_TRUE(status.isSuccess());
    for (uint32_t code : {kArmGet, kArmRead}) {
        const tValue32Record narrow = field32(code, "Wide_Ver1.0.0d0", 0);
        EXPECT_EQ(narrow.value, 0u);
        EXPECT_EQ(narrow.status, nKZAPALS100::kStatusValueConflict);
    }
    EXPECT_EQ(wide.reads, 1) << "the read itself happened";
    EXPECT_EQ(field64(kArmGetEx, "Wide_Ver1.0.0d0", 0).value, 0x123456789u);
    EXPECT_EQ(field64(kArmReadEx, "Wide_Ver1.0.0d0", 0).value, 0x123456789u);
    registry->remove("Wide", status);
}

// A register-map request holds its map's registration lock around the map operation; window and
// storage-map requests take no registration lock.
TEST_F(NamedAccess, OnlyRegisterMapRequestsTakeTheRegistrationLock) {
    add();
    TolvaneHelper* helper = device_->getHelper();
    RegisterMapLock quolin = registrationLock(*helper->getARMDispatcher(), kQuolin);
    RegisterMapLock flash = registrationLock(*helper->getDeviceWindowDispatcher(), "flashWindow");
    RegisterMapLock posc = registrationLock(*helper->getStorageMapDispatcher(), "Posc_Ver1.0.0d0");
    ASSERT_TRUE(quolin && flash && posc);

    std::atomic<bool> answered{false};
    quolin->acquire();
    std::thread reader([&] {
        EXPECT_EQ(field32(kArmRead, kQuolin, kSignatureId).value, board::bar0::kBridgeSignature);
        answered = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(answered) << "waits for the lock";
    quolin->release();
    reader.join();
    EXPECT_TRUE(answered);

    flash->acquire();
    posc->acquire();
    std::thread other([&] {
        int32_t result = -1;
        windowBytes(kWindowGet, "flashWindow", 0, 4, result);
        EXPECT_EQ(result, 0);
        raw("Posc_Ver1.0.0d0", 0, 0, 4, 1, result);
        EXPECT_EQ(result, 0);
    });
    other.join();  // would never return if the requests took the registration locks held here
    posc->release();
    flash->release();
}

TEST_F(NamedAccess, RegisterFormatsAreWrittenWhateverCountTheCallerSent) {
    add();
    CallerMemory name(kChannel3), types(64, 0xEE), masks(64 * 8, 0xEE);
    tRegisterFormatRecord input = naming<tRegisterFormatRecord>(name);
    input.field = 0x58;
    input.count = 0;
    input.types = types.address();
    input.masks = masks.address();
    tValue32Record output = request<tValue32Record>(kArmRegisterFormat, input);
    EXPECT_EQ(output.status, 0);
    ASSERT_EQ(output.value, 6u);
    const uint64_t expectedMasks[] = {0x1, 0x2, 0x4, 0x8, 0x1000000, 0x2000000};
    for (uint32_t i = 0; i < 6; ++i) {
        EXPECT_EQ(types.bytes[i], arm::kFieldTypeBit);
        uint64_t mask = 0;
        std::memcpy(&mask, masks.bytes.data() + 8 * i, 8);
        EXPECT_EQ(mask, expectedMasks[i]);
    }
    EXPECT_EQ(types.bytes[6], 0xEE) << "one byte per field";

    // A register the map does not know: its code and count, and nothing written.
    CallerMemory untouchedTypes(64, 0xEE), untouchedMasks(64 * 8, 0xEE);
    input.field = 0x5C;
    input.count = 9;
    input.types = untouchedTypes.address();
    input.masks = untouchedMasks.address();
    output = request<tValue32Record>(kArmRegisterFormat, input);
    EXPECT_EQ(output.status, nKZAPALS100::kStatusFeatureNotSupported);
    EXPECT_EQ(output.value, 0u);
    EXPECT_EQ(untouchedTypes.bytes, std::vector<uint8_t>(64, 0xEE));
    EXPECT_EQ(untouchedMasks.bytes, std::vector<uint8_t>(64 * 8, 0xEE));
    // The lookup failed: the caller's count comes back.
    CallerMemory unversioned("Quolin");
    input = naming<tRegisterFormatRecord>(unversioned);
    input.count = 9;
    output = request<tValue32Record>(kArmRegisterFormat, input);
    EXPECT_EQ(output.status, kzregitools::kStatusVersionRequired);
    EXPECT_EQ(output.value, 9u);
}

TEST_F(NamedAccess, TheRegistriesListTheirNamesInTheOrderTheBringUpRegisteredThem) {
    add();
    EXPECT_EQ(names(kArmNumberOfRegistrations, kArmRegistrationNames), kRegisterMapNames);
    EXPECT_EQ(names(kWindowNumberOfRegistrations, kWindowRegistrationNames), std::vector<std::string>{"flashWindow"});
    EXPECT_EQ(names(kStorageMapNumberOfRegistrations, kStorageMapRegistrationNames), storedRecordNames());

    std::string list;
    for (const std::string& name : kRegisterMapNames) list += (list.empty() ? "" : "\t") + name;
    const tValue64Record size = request<tValue64Record>(kArmSizeOfRegistrationList, tStatusRecord{-1});
    EXPECT_EQ(size.value, list.size() + 1) << "sized also when the caller sent an error";
    EXPECT_EQ(size.status, -1);
    CallerMemory text(list.size() + 1, 0xEE);
    tUserBufferRecord input{};
    input.address = text.address();
    EXPECT_EQ(request<tStatusRecord>(kArmRegistrationList, input).status, 0);
    EXPECT_EQ(std::string(text.bytes.begin(), text.bytes.end() - 1), list);
    EXPECT_EQ(text.bytes.back(), 0xEE) << "no terminator";

    const tValue64Record count = request<tValue64Record>(kStorageMapNumberOfRegistrations, tStatusRecord{-1});
    EXPECT_EQ(count.value, 19u);
    EXPECT_EQ(count.status, -1);
}

TEST_F(NamedAccess, TheFlashWindowHoldsTheBoardsFlash) {
    add();
    const board::FlashImage image = board::FlashImage::standard();
    int32_t result = 0;
    for (uint32_t code : {kWindowGet, kWindowRead}) {
        const std::vector<uint8_t> bytes = windowBytes(code, "flashWindow", 0x9000 - 32, 64, result);
        EXPECT_EQ(result, 0);
        EXPECT_EQ(bytes, std::vector<uint8_t>(image.data() + 0x9000 - 32, image.data() + 0x9000 + 32));
    }
    windowBytes(kWindowGet, "flashWindow_Ver1.0.0d0", 0, 4, result);
    EXPECT_EQ(result, kzregitools::kStatusVersionNotSupported);
    CallerMemory name("flashWindow");
    const tValue64Record size = request<tValue64Record>(kWindowSizeInBytes, naming<tNameRecord>(name));
    EXPECT_EQ(size.value, image.size());
    EXPECT_EQ(size.status, 0);

    // A set changes the driver's copy only.
    CallerMemory source(std::vector<uint8_t>{0x5A, 0xA5});
    tWindowSetRecord set = naming<tWindowSetRecord>(name);
    set.source = source.address();
    set.offset = 0x100;
    set.count = 2;
    EXPECT_EQ(request<tStatusRecord>(kWindowSet, set).status, 0);
    EXPECT_EQ(windowBytes(kWindowGet, "flashWindow", 0x100, 2, result), source.bytes);
    EXPECT_EQ(blocks_->flash().contents(0x100, 2), std::vector<uint8_t>(image.data() + 0x100, image.data() + 0x102));
}

TEST_F(NamedAccess, StorageMapElementsAndVersions) {
    add();
    const board::StoredRecord& posc = board::storedRecord("Posc");
    const board::FlashImage image = board::FlashImage::standard();
    int32_t result = 0;
    std::vector<uint8_t> area = raw(versioned(posc), 0, 0, posc.size, 1, result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(area, std::vector<uint8_t>(image.data() + posc.offset, image.data() + posc.offset + posc.size));

    raw("Posc_Ver1.0.0d1", 0, 0, 4, 1, result);
    EXPECT_EQ(result, kzregitools::kStatusVersionNewerThanObject);
    raw("Posc", 0, 0, 4, 1, result);
    EXPECT_EQ(result, kzregitools::kStatusVersionRequired);
    raw("Header_Ver0.0.1d0", 0, 0, 1, 4, result);
    EXPECT_EQ(result, kzregitools::kStatusVersionTooOld);
    raw(versioned(posc), 0, 0, 0, 1, result);
    EXPECT_EQ(result, kzregitools::kStatusNullPointer) << "count 0";
    // A wrong element size: the caller's buffer stays as it was.
    const std::string header = versioned(board::storedRecord("Header"));
    EXPECT_EQ(raw(header, 0, 0, 1, 3, result), std::vector<uint8_t>(3, 0xEE));
    EXPECT_EQ(result, storagemap::kStatusElementSizeMismatch);

    CallerMemory nowhere("Nowhere_Ver1.0.0d0");
    tStorageMapRawRecord setRaw = naming<tStorageMapRawRecord>(nowhere);
    setRaw.elementCount = 1;
    EXPECT_EQ(request<tStatusRecord>(kStorageMapSetRaw, setRaw).status, storagemap::kStatusOutOfRange)
        << "element size 0, whatever the name";
    tFieldRecord field = naming<tFieldRecord>(nowhere);
    const tValue64Record count = request<tValue64Record>(kStorageMapElementCount, field);
    EXPECT_EQ(count.value, 0xFFFFFFFFu);
    EXPECT_EQ(count.status, kzregitools::kStatusNameNotFound);

    const tValue8Record poscChecksum = checksumValid(versioned(posc));
    EXPECT_EQ(poscChecksum.value, 0);
    EXPECT_EQ(poscChecksum.status, storagemap::kStatusNoChecksum);
    for (const std::string& name : checksummedRecordNames()) {
        const tValue8Record valid = checksumValid(versioned(board::storedRecord(name)));
        EXPECT_EQ(valid.value, 1) << name;
        EXPECT_EQ(valid.status, 0) << name;
    }
}

// Each checksummed map is reported invalid on its own spoilt variant, and the hardware-state
// check reports a spoilt checksum and an unreadable version.
class NamedAccessStoredMap : public NamedAccess, public ::testing::WithParamInterface<std::string> {};

TEST_P(NamedAccessStoredMap, ItsChecksumIsReportedInvalidAndTheHardwareStateCheckFails) {
    const board::StoredRecord& record = board::storedRecord(GetParam());
    board::ProductOptions options;
    options.flash = board::FlashImage::standard().corruptChecksum(record.name);
    add(options, true);
    EXPECT_EQ(checkHardwareState(), kChecksumInvalid);
    for (const std::string& name : checksummedRecordNames()) {
        const tValue8Record valid = checksumValid(versioned(board::storedRecord(name)));
        EXPECT_EQ(valid.value, name == record.name ? 0 : 1) << name;
        EXPECT_EQ(valid.status, 0) << name;
    }
}

INSTANTIATE_TEST_SUITE_P(Checksummed, NamedAccessStoredMap, ::testing::ValuesIn(checksummedRecordNames()),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });

TEST_F(NamedAccess, TheHardwareStateCheckHoldsOnTheStandardImage) {
    add({}, true);
    EXPECT_EQ(checkHardwareState(), 0);
}

TEST_F(NamedAccess, TheHardwareStateCheckReportsAnUnreadableVersion) {
    board::ProductOptions options;
    options.flash = board::FlashImage::standard().breakVersion("Header");
    add(options, true);
    EXPECT_EQ(checkHardwareState(), kVersionUnsupported);
}

// Names, counts and sizes far beyond their objects are refused by the object's own checks, before
// anything of their size is allocated: with every allocation after the gate's and the name's failing, the
// refusal is still the object's code, never -52000.
TEST_F(NamedAccess, OversizedRequestsAreRefusedBeforeAnyAllocationOfTheirSize) {
    add();
    const std::string posc = versioned(board::storedRecord("Posc"));
    CallerMemory flashName("flashWindow"), poscName(posc), scratch(64);
    constexpr uint64_t kHuge = uint64_t{1} << 40;

    tFieldRecord longName = naming<tFieldRecord>(flashName);
    longName.nameLength = kHuge;
    tWindowGetRecord windowGet = naming<tWindowGetRecord>(flashName);
    windowGet.count = kHuge;
    windowGet.destination = scratch.address();
    tWindowSetRecord windowSet = naming<tWindowSetRecord>(flashName);
    windowSet.offset = 16;
    windowSet.count = UINT64_MAX;
    windowSet.source = scratch.address();
    tStorageMapRawRecord getRaw = naming<tStorageMapRawRecord>(poscName);
    getRaw.elementCount = kHuge;
    getRaw.elementSize = 1;
    getRaw.buffer = scratch.address();
    tStorageMapRawRecord setRaw = getRaw;
    setRaw.elementCount = 1;
    setRaw.elementSize = kHuge;
    tStorageMapRawRecord wideElements = getRaw;
    wideElements.elementCount = uint64_t{1} << 32;
    wideElements.elementSize = uint64_t{1} << 31;

    struct Case {
        const char* what;
        uint32_t code;
        const void* input;
        uint32_t inputSize, outputSize;
        uint64_t allocationsBeforeFailing;  // the gate's sentry list, then the name's copy
        int32_t expected;
    };
    const Case cases[] = {
        {"name", kArmRead, &longName, sizeof longName, 8, 1, kzregitools::kStatusNameNotFound},
        {"window get", kWindowGet, &windowGet, sizeof windowGet, 4, 2, devicewindow::kStatusAddressOutsideFlash},
        {"window set", kWindowSet, &windowSet, sizeof windowSet, 4, 2, devicewindow::kStatusAddressOutsideFlash},
        {"getRaw count", kStorageMapGetRaw, &getRaw, sizeof getRaw, 4, 2, storagemap::kStatusOutOfRange},
        {"setRaw element size", kStorageMapSetRaw, &setRaw, sizeof setRaw, 4, 2,
         storagemap::kStatusElementSizeMismatch},
        {"getRaw 2^63 bytes", kStorageMapGetRaw, &wideElements, sizeof wideElements, 4, 2,
         storagemap::kStatusOutOfRange},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const int64_t live = kal::sim::liveAllocations();
        int32_t result = 0;
        {
            kal::sim::FailAllocations refuse(c.allocationsBeforeFailing + 1, true);
            result = status(c.code, c.input, c.inputSize, c.outputSize);
        }
        EXPECT_EQ(result, c.expected);
        EXPECT_EQ(kal::sim::liveAllocations(), live);
        EXPECT_EQ(scratch.bytes, std::vector<uint8_t>(64, 0xEE));
    }
    // The same injection fails a request of a sensible size: its buffer is the next allocation.
    getRaw.elementCount = 4;
    int32_t result = 0;
    {
        kal::sim::FailAllocations refuse(3, true);
        result = status(kStorageMapGetRaw, &getRaw, sizeof getRaw, 4);
    }
    EXPECT_EQ(result, kMemoryFull);
}

// Memory runs out at each allocation of the requests in turn: a clear status each time, nothing
// leaks, and the request succeeds once memory suffices.
TEST_F(NamedAccess, AllocationFailuresOneAtATime) {
    add();
    CallerMemory quolin(kQuolin), flash("flashWindow"), posc(versioned(board::storedRecord("Posc")));
    CallerMemory out(kRegisterMapNames.size() * kzregitools::kRegistrationNameSlotSize);
    tFieldRecord read = naming<tFieldRecord>(quolin);
    read.field = kSignatureId;
    tUserBufferRecord listing{};
    listing.address = out.address();
    tWindowGetRecord windowGet = naming<tWindowGetRecord>(flash);
    windowGet.count = 64;
    windowGet.destination = out.address();
    tStorageMapRawRecord getRaw = naming<tStorageMapRawRecord>(posc);
    getRaw.elementCount = 64;
    getRaw.elementSize = 1;
    getRaw.buffer = out.address();
    tStatusRecord list{};
    struct Case {
        uint32_t code;
        const void* input;
        uint32_t inputSize, outputSize;
    };
    for (const Case& c : {Case{kArmRead, &read, sizeof read, 8}, Case{kArmRegistrationNames, &listing, sizeof listing, 4},
                          Case{kArmRegistrationList, &listing, sizeof listing, 4},
                          Case{kArmSizeOfRegistrationList, &list, sizeof list, 16},
                          Case{kWindowGet, &windowGet, sizeof windowGet, 4},
                          Case{kWindowRead, &windowGet, sizeof windowGet, 4},
                          Case{kStorageMapGetRaw, &getRaw, sizeof getRaw, 4}}) {
        // Once, so that the flash sectors the window keeps are there.
        EXPECT_EQ(status(c.code, c.input, c.inputSize, c.outputSize), 0);
        for (uint64_t nth = 1;; ++nth) {
            const int64_t live = kal::sim::liveAllocations();
            int32_t result = 0;
            bool triggered = false;
            {
                kal::sim::FailAllocations refuse(nth);
                result = status(c.code, c.input, c.inputSize, c.outputSize);
                triggered = refuse.triggered();
            }
            EXPECT_EQ(kal::sim::liveAllocations(), live) << std::hex << c.code;
            if (!triggered) {
                EXPECT_EQ(result, 0) << std::hex << c.code;
                break;
            }
            EXPECT_EQ(result, kMemoryFull) << std::hex << c.code << " " << nth;
        }
    }
}

}  // namespace
