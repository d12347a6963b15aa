// Every request code of the device, each after a set-up of its own, with every allocation and
// every kernel-object creation of the one request failed in turn: the request reports the
// failure, the device still answers the level query, and once the session closes the kernel
// layer holds what it held before it opened. One device at level 22 serves a family's codes
// (every level real but the two image downloads); after each code's sweep a reset to 22 without
// injection reaches 22 with 0.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "board/flashImage.h"
#include "dma/fixture.h"
#include "kzark/topography.h"
#include "kzhtl/failures.h"
#include "tolvane/fixture.h"

namespace {

using namespace tolvanetest;
using kzhtl_test::Injected;
using kzhtl_test::Injection;
using kzhtl_test::SweepCounts;

// What a request needs in place before it is sent; a row combines them. Each is made by the
// run's own session and undone when it closes.
enum SetUp : uint32_t {
    kNone = 0,
    kChannels = 1u << 0,    // the four channels reserved
    kGang = 1u << 1,        // channels 0 and 1 ganged
    kCalculated = 1u << 2,  // two routes calculated (terminal 44 to 35 and 36)
    kReserved = 1u << 3,    // the first reserved too
    kProgrammed = 1u << 4,  // and programmed
    kStaged = 1u << 5,      // 30 W staged for channel 0
    kStream = 1u << 6,      // stream 0 with four pages to receive into
    kRunning = 1u << 7,     // stream 0 started too
    kNotifier = 1u << 8,    // the routing notifier open
    kArmed = 1u << 9,       // channel 0's measure unit armed
    kEngine = 1u << 10,     // channel 0's sequence engine started
    // All of them: what a session's cleanup request undoes.
    kEverything = kChannels | kGang | kProgrammed | kStaged | kRunning | kNotifier | kArmed | kEngine,
};
constexpr uint32_t need(uint32_t setUp) {
    if (setUp & kProgrammed) setUp |= kReserved;
    if (setUp & kReserved) setUp |= kCalculated;
    if (setUp & kRunning) setUp |= kStream;
    if (setUp & (kGang | kStaged | kStream | kArmed | kEngine)) setUp |= kChannels;
    return setUp;
}

constexpr uint32_t kStreamFromDevice = 0, kStreamToDevice = 1;
constexpr uint64_t kPage = 4096, kStreamPages = 4;
constexpr uint32_t kFlashOffset = 0x100, kFlashCount = 16, kPoscCount = 4;
constexpr uint32_t kSignatureId = 0xC0000000, kRegister450Id = 0x80000450, kChannelRegister58 = 0x58;

// The caller's memory every request points into, registered as user memory once.
struct Caller {
    char quolin[32] = "Quolin_Ver23.3.0f121";
    char channel3[40] = "QuolinDMAChannel3_Ver23.3.0f121";
    char window[16] = "flashWindow";
    char posc[24] = "Posc_Ver1.0.0d0";
    char manufacturing[40] = {};  // versioned as the board stores it; a record with a checksum
    kzark::RouteCalculationSeedBase seed{44, 0, 0, {}};
    uint32_t destinations[2] = {35, 36};
    kzark::RoutePossibilityBase routes[2] = {};
    uint8_t reserved[16 * 4] = {};
    uint8_t configuration[8] = {0xE8, 0x03, 0x00, 0x00, 2, 3, 0, 0};  // downsampling, filter order, window
    uint8_t flash[kFlashCount] = {};  // the flash's own bytes: writes put them back
    uint8_t poscBytes[kPoscCount] = {};
    uint8_t types[64] = {};
    uint64_t masks[64] = {};
    uint8_t area[16384] = {};  // every other buffer: names, lists, readings
    uint32_t subroutines = 0;  // as many as the device registered

    // The first route the set-up calculated (route ids run on over the sessions).
    uint32_t route() const { return routes[0].routeId; }

    template <class T>
    static uint64_t at(const T* p) {
        return reinterpret_cast<uint64_t>(p);
    }
    template <class tRecord>
    static void name(tRecord& record, const char* text) {
        record.name = at(text);
        record.nameLength = std::strlen(text);
    }
};

// A request as one row: its set-up, its input, and the status an undisturbed run gives (a few
// requests this board does not offer answer so whatever is injected).
struct Row {
    uint32_t code;
    uint32_t setUp;
    void (*fill)(Caller& c, dmatest::UserPages& pages, void* input);
    int64_t undisturbed;
};

#define KZ_ROW(family, operation, setUp, undisturbed, ...)                                        \
    Row {                                                                                         \
        requests::family##_##operation::code, setUp,                                              \
            [](Caller& c, dmatest::UserPages& pages, void* p) {                                   \
                auto& in = *static_cast<requests::family##_##operation::Input*>(p);               \
                (void)c, (void)pages, (void)in;                                                   \
                __VA_ARGS__;                                                                      \
            },                                                                                    \
            undisturbed                                                                           \
    }

constexpr int64_t kNotSupported = nKZAPALS100::kStatusFeatureNotSupported;
constexpr int64_t kNotAvailable = KZ_DEVICE_CODE(0xBFFA4308);

// The reset request is swept with the bring-up it runs (add device's sweeps); its row only
// keeps the table complete.
constexpr uint32_t kSkipped = 0xFFFFFFFF;

constexpr Row kRows[] = {
    // kzvoltixPXICooling
    KZ_ROW(kzvoltixPXICooling, getCoolingMode, kNone, 0),
    KZ_ROW(kzvoltixPXICooling, overrideCoolingMode, kNone, 0, in.value = 0x120),
    // hwCondition
    KZ_ROW(hwCondition, clearChannelBasedHardwareErrors, kChannels, 0, in.mask = 1),
    KZ_ROW(hwCondition, checkBoardAndChannelBasedHardwareErrors, kChannels, 0, in.mask = 1),
    KZ_ROW(hwCondition, checkMeasureFIFOOverflowStatus, kChannels, 0, in.mask = 1),
    // measureUnit
    KZ_ROW(measureUnit, arm, kChannels, 0, in.channel = 0),
    KZ_ROW(measureUnit, reset, kArmed, 0, in.channel = 0),
    // dravik: subroutines are not offered.
    KZ_ROW(dravik, startSequenceEngine, kChannels, 0, in.mask = 1),
    KZ_ROW(dravik, resetSequenceEngine, kEngine, 0, in.mask = 1),
    KZ_ROW(dravik, isSequenceEngineRunning, kEngine, 0, in.mask = 1),
    KZ_ROW(dravik, downloadSubroutines, kChannels, kNotSupported),
    KZ_ROW(dravik, getSubroutines, kChannels, 0, in.ids = c.at(c.area), in.startAddresses = c.at(c.area + 8192),
           in.count = c.subroutines),
    KZ_ROW(dravik, getNumSubroutines, kChannels, 0),
    KZ_ROW(dravik, executeSubroutine, kChannels, kNotSupported),
    // kzvorn
    KZ_ROW(kzvorn, getSetupLevel, kNone, 0),
    // triggersAndEvents
    KZ_ROW(triggersAndEvents, overrideTrigger, kChannels, 0, in.mask = 1, in.number = 1034),
    KZ_ROW(triggersAndEvents, checkEventLatch, kChannels, 0, in.mask = 1, in.event = 0x800),
    KZ_ROW(triggersAndEvents, clearEventLatch, kChannels, 0, in.mask = 1, in.event = 0x800),
    KZ_ROW(triggersAndEvents, clearAllEventLatches, kChannels, 0, in.mask = 1),
    // channelGanging
    KZ_ROW(channelGanging, reserveChannelsForGanging, kChannels, 0, in.firstChannel = 0, in.count = 2),
    KZ_ROW(channelGanging, unreserveChannelsForGanging, kGang, 0, in.channel = 0),
    KZ_ROW(channelGanging, getMergeCount, kGang, 0, in.channel = 0),
    KZ_ROW(channelGanging, isCurrentChannelGangingMaster, kGang, 0, in.channel = 0),
    KZ_ROW(channelGanging, isCurrentChannelGangingReserved, kGang, 0, in.channel = 0),
    // vantrel: two operations are not offered.
    KZ_ROW(vantrel, getHardwareErrors, kNone, 0, in.address = c.at(c.area), in.size = 58),
    KZ_ROW(vantrel, readTemperatureSensor, kNone, 0, in.value = 0),
    KZ_ROW(vantrel, queryInCompliance, kChannels, 0, in.channel = 0),
    KZ_ROW(vantrel, areStorageMapChecksumsValid, kNone, 0),
    KZ_ROW(vantrel, areStorageMapVersionsValid, kNone, 0),
    KZ_ROW(vantrel, getAlarmRaised, kChannels, 0, in.mask = 1),
    KZ_ROW(vantrel, clearAlarm, kChannels, 0, in.mask = 1),
    KZ_ROW(vantrel, maskAlarm, kChannels, 0, in.mask = 1),
    KZ_ROW(vantrel, unmaskAlarm, kChannels, 0, in.mask = 1),
    KZ_ROW(vantrel, calculateChargeBalanceOffset, kChannels, 0, in.channel = 0, in.rangeCode = 1,
           in.resultAddress = c.at(c.area)),
    KZ_ROW(vantrel, loadCalibrationToFirmwareFromStorageMapSoftcopy, kChannels, 0, in.mask = 1),
    KZ_ROW(vantrel, configureMeasureUnit, kChannels, 0, in.mask = 1, in.subUnit = 0,
           in.configurationAddress = c.at(c.configuration), in.configurationSize = 8),
    KZ_ROW(vantrel, getMeasurement, kChannels, 0, in.channel = 0, in.subUnit = 0, in.address = c.at(c.area),
           in.size = 24),
    KZ_ROW(vantrel, stagePowerAllocation, kChannels, 0, in.channel = 0, in.microwatts = 30000000),
    KZ_ROW(vantrel, commitPowerAllocation, kStaged, 0, in.channel = 0),
    KZ_ROW(vantrel, discardPowerAllocation, kStaged, 0, in.channel = 0),
    KZ_ROW(vantrel, getActualPowerAllocation, kStaged, 0, in.channel = 0),
    KZ_ROW(vantrel, readDAC, kChannels, 0, in.channel = 0),
    KZ_ROW(vantrel, writeCmccDigipot, kChannels, 0, in.channel = 0),
    KZ_ROW(vantrel, fetchChargeBalanceOffsetRawData, kNone, kNotAvailable),
    KZ_ROW(vantrel, getConnectedAccessory, kNone, 0),
    KZ_ROW(vantrel, setConnectedAccessory, kNone, 0, in.value = 9),
    KZ_ROW(vantrel, setAuxiliaryIoConfig, kNone, kNotAvailable),
    // routing
    KZ_ROW(routing, queryVersion, kNone, 0),
    KZ_ROW(routing, calculateRoute, kNone, 0, in.owner = 44, in.seeds = c.at(&c.seed), in.seedCount = 1,
           in.destinations = c.at(c.destinations), in.destinationCount = 2, in.routes = c.at(c.routes),
           in.routeCapacity = 2),
    KZ_ROW(routing, destroyRoute, kProgrammed | kNotifier, 0, in.route = c.route()),
    KZ_ROW(routing, reserveRoute, kCalculated, 0, in.route = c.route(), in.address = c.at(c.reserved), in.capacity = 4),
    KZ_ROW(routing, programRoute, kReserved, 0, in.route = c.route()),
    KZ_ROW(routing, unreserveRoute, kReserved, 0, in.route = c.route()),
    KZ_ROW(routing, unprogramRoute, kProgrammed, 0, in.route = c.route()),
    KZ_ROW(routing, getRouteTerminalPath, kCalculated, 0, in.route = c.route(), in.address = c.at(c.area),
           in.capacity = 16),
    KZ_ROW(routing, getTopographyName, kNone, 0, in.address = c.at(c.area), in.size = 32),
    KZ_ROW(routing, resetTerminal, kProgrammed | kNotifier, 0, in.terminal = 16, in.mode = 0),
    KZ_ROW(routing, calculateResetTerminal, kProgrammed, 0, in.owner = 7, in.terminal = 15, in.mode = 0),
    // arm
    KZ_ROW(arm, write, kNone, 0, c.name(in, c.channel3), in.field = kChannelRegister58, in.force = 1),
    KZ_ROW(arm, read, kNone, 0, c.name(in, c.quolin), in.field = kSignatureId),
    KZ_ROW(arm, flushRegister, kNone, 0, c.name(in, c.channel3), in.field = kChannelRegister58, in.force = 1),
    KZ_ROW(arm, refreshRegister, kNone, 0, c.name(in, c.quolin), in.field = kSignatureId),
    KZ_ROW(arm, getNumberOfRegistrations, kNone, 0),
    KZ_ROW(arm, getRegistrationNames, kNone, 0, in.address = c.at(c.area)),
    KZ_ROW(arm, flushRegMap, kNone, 0, c.name(in, c.channel3), in.force = 1),
    KZ_ROW(arm, set, kNone, 0, c.name(in, c.quolin), in.field = kRegister450Id, in.value = 0x1234),
    KZ_ROW(arm, get, kNone, 0, c.name(in, c.quolin), in.field = kRegister450Id),
    KZ_ROW(arm, writeEx, kNone, 0, c.name(in, c.channel3), in.field = kChannelRegister58, in.force = 1),
    KZ_ROW(arm, readEx, kNone, 0, c.name(in, c.quolin), in.field = kSignatureId),
    KZ_ROW(arm, setEx, kNone, 0, c.name(in, c.quolin), in.field = kRegister450Id, in.extension = 0xFFFFFF,
           in.value = 0x1234),
    KZ_ROW(arm, getEx, kNone, 0, c.name(in, c.quolin), in.field = kRegister450Id, in.extension = 0xFFFFFF),
    KZ_ROW(arm, flushRegisterEx, kNone, 0, c.name(in, c.channel3), in.field = kChannelRegister58, in.force = 1),
    KZ_ROW(arm, refreshRegisterEx, kNone, 0, c.name(in, c.quolin), in.field = kSignatureId),
    KZ_ROW(arm, getRegisterFormat, kNone, 0, c.name(in, c.channel3), in.field = kChannelRegister58,
           in.types = c.at(c.types), in.masks = c.at(c.masks)),
    KZ_ROW(arm, getSizeOfRegistrationList, kNone, 0),
    KZ_ROW(arm, getRegistrationList, kNone, 0, in.address = c.at(c.area)),
    // deviceWindow: writes put back the flash's own bytes.
    KZ_ROW(deviceWindow, flush, kNone, 0, c.name(in, c.window), in.offset = kFlashOffset, in.count = kFlashCount,
           in.force = 1),
    KZ_ROW(deviceWindow, getNumberOfRegistrations, kNone, 0),
    KZ_ROW(deviceWindow, getRegistrationNames, kNone, 0, in.address = c.at(c.area)),
    KZ_ROW(deviceWindow, getSizeInBytes, kNone, 0, c.name(in, c.window)),
    KZ_ROW(deviceWindow, write, kNone, 0, c.name(in, c.window), in.source = c.at(c.flash), in.offset = kFlashOffset,
           in.count = kFlashCount, in.force = 1),
    KZ_ROW(deviceWindow, read, kNone, 0, c.name(in, c.window), in.offset = kFlashOffset, in.count = kFlashCount,
           in.destination = c.at(c.area)),
    KZ_ROW(deviceWindow, set, kNone, 0, c.name(in, c.window), in.source = c.at(c.flash), in.offset = kFlashOffset,
           in.count = kFlashCount),
    KZ_ROW(deviceWindow, get, kNone, 0, c.name(in, c.window), in.offset = kFlashOffset, in.count = kFlashCount,
           in.destination = c.at(c.area)),
    KZ_ROW(deviceWindow, refresh, kNone, 0, c.name(in, c.window), in.offset = kFlashOffset, in.count = kFlashCount),
    // storageMap: raw writes put back the record's own bytes.
    KZ_ROW(storageMap, flush, kNone, 0, c.name(in, c.posc), in.force = 1),
    KZ_ROW(storageMap, getNumberOfRegistrations, kNone, 0),
    KZ_ROW(storageMap, getRegistrationNames, kNone, 0, in.address = c.at(c.area)),
    KZ_ROW(storageMap, getElementCount, kNone, 0, c.name(in, c.posc)),
    KZ_ROW(storageMap, getElementSize, kNone, 0, c.name(in, c.posc)),
    KZ_ROW(storageMap, refresh, kNone, 0, c.name(in, c.posc)),
    KZ_ROW(storageMap, setRaw, kNone, 0, c.name(in, c.posc), in.elementCount = kPoscCount, in.elementSize = 1,
           in.buffer = c.at(c.poscBytes)),
    KZ_ROW(storageMap, getRaw, kNone, 0, c.name(in, c.posc), in.elementCount = kPoscCount, in.elementSize = 1,
           in.buffer = c.at(c.area)),
    KZ_ROW(storageMap, isChecksumValid, kNone, 0, c.name(in, c.manufacturing)),
    // quolinTools
    KZ_ROW(quolinTools, startDMA, kStream, 0, in.stream = kStreamFromDevice, in.startFlag = 1),
    KZ_ROW(quolinTools, stopDMA, kRunning, 0, in.stream = kStreamFromDevice),
    KZ_ROW(quolinTools, addTransferToDevice, kChannels, 0, in.stream = kStreamToDevice, in.list = 0,
           in.address = pages.address(), in.size = kStreamPages * kPage, in.repeatCount = 1),
    KZ_ROW(quolinTools, addTransferFromDevice, kChannels, 0, in.stream = kStreamFromDevice, in.list = 0,
           in.address = pages.address(), in.size = kStreamPages * kPage),
    KZ_ROW(quolinTools, writeStreamAdditiveTransferCount, kRunning, 0, in.stream = kStreamFromDevice,
           in.count = kPage),
    KZ_ROW(quolinTools, getTransferCount, kRunning, 0, in.stream = kStreamFromDevice),
    KZ_ROW(quolinTools, clearTransfers, kStream, 0, in.stream = kStreamFromDevice),
    KZ_ROW(quolinTools, clearApplicationFIFO, kRunning, 0, in.stream = kStreamFromDevice),
    KZ_ROW(quolinTools, waitUntilBytesTransferred, kRunning, 0, in.stream = kStreamFromDevice,
           in.byteCount = kPage, in.timeout = 0),
    KZ_ROW(quolinTools, cancelWaitUntilBytesTransferred, kRunning, 0, in.stream = kStreamFromDevice),
    // pxiCooling
    KZ_ROW(pxiCooling, getRequestedCoolingMode, kNone, 0),
    KZ_ROW(pxiCooling, setCoolingMode, kNone, 0, in.value = 0x120),
    // kdut: the cleanup undoes all a session holds.
    KZ_ROW(kdut, reset, kSkipped, 0),
    KZ_ROW(kdut, checkHardwareState, kNone, 0),
    KZ_ROW(kdut, checkChannelHardwareState, kChannels, kNotSupported),
    KZ_ROW(kdut, cleanup, kEverything, 0),
    KZ_ROW(kdut, reserveResources, kNone, 0, in.mask = 0xF),
};
#undef KZ_ROW

// Every code of the device's table, with its family.
struct Code {
    uint32_t code;
    const char* family;
    const char* name;
};
#define KZ_CODE(family, operation, code, ...) Code{code, #family, #family "_" #operation},
constexpr Code kCodes[] = {KZ_KZVORN_IOCTLS(KZ_CODE, KZ_CODE)};
#undef KZ_CODE

constexpr const Row* rowOf(uint32_t code) {
    for (const Row& row : kRows)
        if (row.code == code) return &row;
    return nullptr;
}
const kzvorn_driver::tIOControlEntry& entryOf(uint32_t code) {
    for (const auto& entry : kzvorn_driver::kKzvornIOControls)
        if (entry.code == code) return entry;
    return kzvorn_driver::kKzvornIOControls[0];
}

std::vector<const char*> families() {
    std::vector<const char*> all;
    for (const Code& c : kCodes)
        if (all.empty() || std::strcmp(all.back(), c.family) != 0) all.push_back(c.family);
    return all;
}

void printCounts(const char* what, uint64_t allocations, uint64_t objects, const std::string& more) {
    std::printf("  %-58s %5llu %5llu  %s\n", what, static_cast<unsigned long long>(allocations),
                static_cast<unsigned long long>(objects), more.c_str());
}

struct SweepTotal {
    uint64_t allocations = 0, objects = 0;
    int64_t milliseconds = 0;
};

TEST(RequestTable, EveryCodeHasExactlyOneRow) {
    for (const Code& c : kCodes) {
        size_t rows = 0;
        for (const Row& row : kRows) rows += row.code == c.code;
        EXPECT_EQ(rows, 1u) << c.name;
    }
    EXPECT_EQ(sizeof kRows / sizeof kRows[0], sizeof kCodes / sizeof kCodes[0]) << "a row for a code not in the table";
}

class RequestSweep : public Tolvane, public ::testing::WithParamInterface<const char*> {
protected:
    void SetUp() override {
        Tolvane::SetUp();
        ASSERT_EQ(add(), 0);
        ASSERT_EQ(tracker().reached, 22);
        const board::StoredRecord& manufacturing = board::storedRecord("Manufacturing");
        std::snprintf(caller_.manufacturing, sizeof caller_.manufacturing, "%s_Ver1.0.0d%u", manufacturing.name,
                      unsigned(manufacturing.version & 0xFF));
        // The bytes the writes put back.
        kal::sim::Session session = kernel_.open("smu_kzvorn");
        requests::deviceWindow_get::Input get{};
        Caller::name(get, caller_.window);
        get.offset = kFlashOffset;
        get.count = kFlashCount;
        get.destination = Caller::at(caller_.flash);
        ASSERT_EQ(requests::status<requests::deviceWindow_get>(session, get), 0);
        requests::storageMap_getRaw::Input raw{};
        Caller::name(raw, caller_.posc);
        raw.elementCount = kPoscCount;
        raw.elementSize = 1;
        raw.buffer = Caller::at(caller_.poscBytes);
        ASSERT_EQ(requests::status<requests::storageMap_getRaw>(session, raw), 0);
        const auto subroutines = requests::send<requests::dravik_getNumSubroutines>(session, {});
        ASSERT_EQ(subroutines.output.status, 0);
        caller_.subroutines = subroutines.output.value;
    }

    template <class tRequest>
    int64_t send(kal::sim::Session& s, const typename tRequest::Input& input) {
        return requests::status<tRequest>(s, input);
    }

    // Makes the row's set-up on the session; false (with the failure recorded) when a step failed.
    bool setUp(kal::sim::Session& s, uint32_t wanted) {
        const uint32_t setUp = need(wanted);
        auto step = [](const char* what, int64_t status) {
            EXPECT_EQ(status, 0) << "set-up: " << what;
            return status == 0;
        };
        using namespace requests;
        if ((setUp & kChannels) && !step("reserve", send<kdut_reserveResources>(s, {0xF, 0, 0})))
            return false;
        if ((setUp & kGang) && !step("gang", send<channelGanging_reserveChannelsForGanging>(s, {0, 2, {}, 0})))
            return false;
        if ((setUp & kArmed) && !step("arm", send<measureUnit_arm>(s, {0, 0}))) return false;
        if ((setUp & kEngine) && !step("engine", send<dravik_startSequenceEngine>(s, {1, 0, 0})))
            return false;
        if (setUp & kCalculated) {
            routing_calculateRoute::Input input{};
            rowOf(routing_calculateRoute::code)->fill(caller_, pages_, &input);
            if (!step("calculate", send<routing_calculateRoute>(s, input))) return false;
        }
        if (setUp & kReserved) {
            routing_reserveRoute::Input input{};
            rowOf(routing_reserveRoute::code)->fill(caller_, pages_, &input);
            if (!step("reserve route", send<routing_reserveRoute>(s, input))) return false;
        }
        if ((setUp & kProgrammed) && !step("program", send<routing_programRoute>(s, {caller_.route(), 0})))
            return false;
        if ((setUp & kStaged) &&
            !step("stage", send<vantrel_stagePowerAllocation>(s, {0, {}, 30000000, 0})))
            return false;
        if (setUp & kStream) {
            quolinTools_addTransferFromDevice::Input input{};
            rowOf(quolinTools_addTransferFromDevice::code)->fill(caller_, pages_, &input);
            if (!step("add buffer", send<quolinTools_addTransferFromDevice>(s, input))) return false;
        }
        if ((setUp & kRunning) && !step("start", send<quolinTools_startDMA>(s, {kStreamFromDevice, 1, {}, 0})))
            return false;
        if ((setUp & kNotifier) &&
            !step("notifier", s.createIONotifier(1, 2, TolvaneDevice::kRoutingNotifierType)))
            return false;
        return true;
    }

    // One run: a session with the row's set-up, the request with the injection armed, the
    // checks. True when the injection was met.
    bool run(const Row& row, const Code& code, const Injection* injection, std::vector<uint8_t>& input) {
        const kzvorn_driver::tIOControlEntry& entry = entryOf(row.code);
        uint8_t output[16] = {};
        const kal::sim::LiveObjects before = kal::sim::liveObjects();
        bool met = false;
        int64_t status = 0;
        {
            kal::sim::Session session = kernel_.open("smu_kzvorn");
            if (!session || !setUp(session, row.setUp)) return false;
            // After the set-up: the input names what it made.
            std::memset(input.data(), 0, input.size());
            row.fill(caller_, pages_, input.data());
            kal::sim::Session::Reply reply{};
            if (injection != nullptr) {
                Injected armed(*injection);
                reply = session.ioctl(row.code, input.data(), entry.inputSize, output, entry.outputSize);
                met = armed.met();
            } else {
                reply = session.ioctl(row.code, input.data(), entry.inputSize, output, entry.outputSize);
            }
            int32_t operation = 0;
            std::memcpy(&operation, output + entry.outputStatusOffset, 4);
            status = reply.result != 0 ? reply.result : operation;
            uint32_t level = 0;
            EXPECT_EQ(levelRequest(session, &level), 0) << code.name;
            EXPECT_EQ(level, 22u) << code.name;
        }
        if (injection == nullptr) {
            // What the request keeps on the device from its first call on (the flash sectors a
            // window caches, the lists a registry builds) is made here, not counted against a run.
            EXPECT_EQ(status, row.undisturbed) << code.name << " undisturbed";
            return false;
        }
        // No request drops such a failure on purpose: every one met is reported.
        EXPECT_FALSE(met && status == 0) << code.name << ": " << *injection << " met, yet the request answered 0";
        // A stream keeps its lists' first links on the device; a failure while they were made again
        // leaves them to the next buffer, which this one is.
        if (need(row.setUp) & kStream) {
            kal::sim::Session session = kernel_.open("smu_kzvorn");
            setUp(session, kStream);
        }
        if (::testing::Test::HasFailure()) return met;
        EXPECT_EQ(kal::sim::liveObjects(), before)
            << code.name << ", " << *injection << ": " << kal::sim::describe(kal::sim::liveObjects());
        return met;
    }

    // Per request: the allocations and the kernel-object creations whose failure it met (the
    // latter by call); per family and over all, with the time taken.
    static void SetUpTestSuite() { std::printf("  %-58s %5s %5s\n", "request", "alloc", "kobj"); }
    static void TearDownTestSuite() {
        printCounts("all requests", total_.allocations, total_.objects, std::to_string(total_.milliseconds) + " ms");
    }
    static inline SweepTotal total_;

    Caller caller_;
    kal::sim::UserMemory callerMemory_{&caller_, sizeof caller_};
    dmatest::UserPages pages_{kStreamPages};
};

TEST_P(RequestSweep, EveryAllocationAndKernelObjectOfEachRequestFails) {
    const auto start = std::chrono::steady_clock::now();
    uint64_t familyAllocations = 0, familyObjects = 0;
    for (const Code& code : kCodes) {
        if (std::strcmp(code.family, GetParam()) != 0) continue;
        const Row* row = rowOf(code.code);
        ASSERT_NE(row, nullptr) << code.name;
        if (row->setUp == kSkipped) continue;
        SCOPED_TRACE(code.name);
        std::vector<uint8_t> input(64, 0);
        run(*row, code, nullptr, input);
        if (HasFailure()) return;
        std::vector<SweepCounts> met;
        kzhtl_test::sweepInjections([&](const Injection& injection) { return run(*row, code, &injection, input); },
                                    &met);
        uint64_t allocations = 0, objects = 0;
        std::string calls;
        for (const SweepCounts& m : met) {
            (m.call == kzhtl_test::kAllocation ? allocations : objects) += m.met;
            if (m.call != kzhtl_test::kAllocation && m.met != 0)
                calls += std::string(calls.empty() ? "" : ", ") + m.call + " " + std::to_string(m.met);
        }
        familyAllocations += allocations;
        familyObjects += objects;
        printCounts(code.name, allocations, objects, calls);
        kal::sim::Session session = kernel_.open("smu_kzvorn");
        EXPECT_EQ(resetRequest(session, 22), 0) << code.name;
        EXPECT_EQ(tracker().reached, 22) << code.name;
        if (HasFailure()) return;
    }
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    printCounts(GetParam(), familyAllocations, familyObjects, std::to_string(ms) + " ms");
    total_.allocations += familyAllocations;
    total_.objects += familyObjects;
    total_.milliseconds += ms;
}

INSTANTIATE_TEST_SUITE_P(Families, RequestSweep, ::testing::ValuesIn(families()),
                         [](const ::testing::TestParamInfo<const char*>& info) { return std::string(info.param); });

}  // namespace

namespace {

// A cleanup request whose stream could not make its lists again (an allocation failed) reports
// the failure; the stream then takes the next session's buffer and runs, as it did before.
TEST_F(Tolvane, AStreamWhoseCleanupFailedTakesBuffersAgain) {
    ASSERT_EQ(add(), 0);
    dmatest::UserPages pages(kStreamPages);
    auto bringUpStream = [&](kal::sim::Session& s) {
        EXPECT_EQ(requests::status<requests::kdut_reserveResources>(s, {0xF, 0, 0}), 0);
        EXPECT_EQ(requests::status<requests::quolinTools_addTransferFromDevice>(
                      s, {kStreamFromDevice, 0, pages.address(), kStreamPages * kPage, 0, 0}),
                  0);
        EXPECT_EQ(requests::status<requests::quolinTools_startDMA>(s, {kStreamFromDevice, 1, {}, 0}), 0);
    };
    {
        kal::sim::Session s = kernel_.open("smu_kzvorn");
        bringUpStream(s);
        kal::sim::FailAllocations fail(1);
        EXPECT_EQ(requests::status<requests::kdut_cleanup>(s, {}), nKZAPALS100::kStatusMemoryFull);
        EXPECT_TRUE(fail.triggered());
    }
    kal::sim::Session s = kernel_.open("smu_kzvorn");
    bringUpStream(s);
    EXPECT_EQ(requests::status<requests::kdut_cleanup>(s, {}), 0);
}

}  // namespace
