// Setup levels 5 and 6 and the disabled-error step on the simulated product board: what they
// write in order, how each board fault stops them, the caller's list of errors to disable, and a
// replacement image's strobe.
#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "board/bar0Map.h"
#include "fpga/firmware/fpgaSignatures.h"
#include "kal/sim/clock.h"
#include "kal/sim/user.h"
#include "kzapalcodegen/ioctlRecords.h"
#include "kzvorn_driver_codegen/customResetParameters.h"
#include "level3/registeredNames.h"
#include "tolvane/fixture.h"

namespace {

using namespace tolvanetest;
using Write = std::pair<uint32_t, uint32_t>;

constexpr int64_t code(uint32_t hex) { return int64_t(int32_t(hex)); }
constexpr int64_t kStoppedAtTarget = -52010;
// Level 18's stand-in fails with it.
constexpr int64_t kLevel18Failed = code(0xBFFA8012);
constexpr uint32_t kConfiguration = 0x10;
constexpr uint32_t kErrorMux = 0x70;
constexpr uint32_t kEnableManager = 0x00000001;
constexpr uint32_t kErrorsApplied = 0x20000000;
constexpr uint32_t kErrorsUndone = 0x80000000;
constexpr uint32_t kCustomImage = 0x40000000;
// Level 17's routing enable.
constexpr uint32_t kRoutingEnable = 0x00000004;

// Level 6 on the default board with cooling mode 16, in order.
const std::vector<Write> kLevel6Writes = {
    {0x580, 0x000471DC},
    {0x5A0, 0x0005FCCC}, {0x5A0, 0x00041999}, {0x5A0, 0x00012760}, {0x5A0, 0x00002B20},
    {0x5A0, 0x0007FCCC}, {0x5A0, 0x00067FFF}, {0x5A0, 0x00032760}, {0x5A0, 0x00022B20},
    {0x584, 0x000D130D}, {0x584, 0x00080007}, {0x584, 0x40000007},
    {0x5A4, 0x000D20C4}, {0x5A4, 0x00080007}, {0x5A4, 0x40000007},
    {0x2D0, 0x00198A52},
    {0x2C4, 0x00010006}, {0x2C4, 0x01031303}, {0x2C4, 0x02030904}, {0x2C4, 0x03030402},
    {0x2C4, 0x04030301}, {0x2C4, 0x05030101}, {0x2C4, 0x06030001}, {0x2C4, 0x0707000F},
    {0x2BC, 0x0000000A},
    {0x2D8, 0x00000001},
};

std::vector<Write> joined(std::vector<Write> first, const std::vector<Write>& then) {
    first.insert(first.end(), then.begin(), then.end());
    return first;
}

// The board with both FPGAs configured; the image downloads faked, so level 7 succeeds. Level 18
// stands in failing: the levels above 17 are not looked at here, and a failed end shows the
// disabled-error step undone.
class Level56 : public Tolvane {
protected:
    Level56() { plan_.fake(BringUpPlan::stepOfLevel(18), BringUpPlan::kFail, kLevel18Failed); }

    board::NonIsolatedFpga& fpga() { return blocks_.nonIsolatedFpga; }

    // The board's writes to the non-isolated FPGA, in order, at offsets within it.
    std::vector<Write> nisoWrites(std::initializer_list<uint32_t> only = {}) {
        std::vector<Write> writes;
        for (const board::Access& a : board_.log().entries()) {
            if (a.bar != 0 || a.direction != board::Direction::Write || a.offset < board::bar0::kNonIsolatedFpga ||
                a.offset >= board::bar0::kNonIsolatedFpga + board::bar0::kNonIsolatedFpgaSize)
                continue;
            const uint32_t offset = uint32_t(a.offset - board::bar0::kNonIsolatedFpga);
            bool wanted = only.size() == 0;
            for (uint32_t o : only) wanted = wanted || o == offset;
            if (wanted) writes.push_back({offset, uint32_t(a.value)});
        }
        return writes;
    }

    // The reached level, read from a fresh session.
    uint32_t reachedLevel() {
        kal::sim::Session session = kernel_.open("smu_kzvorn");
        tStatusRecord input{};
        tValue32Record output{};
        EXPECT_EQ(session.ioctl(0x00202B00, &input, sizeof input, &output, sizeof output).result, 0);
        return output.value;
    }
};

}  // namespace

TEST_F(Level56, Level6WritesThePowerPathInOrder) {
    ASSERT_EQ(add(), 0);
    EXPECT_EQ(tracker().reached, 17);
    EXPECT_EQ(tracker().status.code, kLevel18Failed);
    // The disabled-error step follows, then level 9's one write through access port 4 (data, then
    // address), the later levels' through the access ports, and level 18's failure undoes the step
    // at the end.
    const std::vector<Write> expected = joined(kLevel6Writes, {{kConfiguration, kEnableManager},
                                                               {kConfiguration, kErrorsApplied},
                                                               {0x248, 0x10},
                                                               {0x244, 0x08}});
    const std::vector<Write> writes = nisoWrites();
    ASSERT_GT(writes.size(), expected.size());
    EXPECT_EQ(std::vector<Write>(writes.begin(), writes.begin() + expected.size()), expected);
    EXPECT_EQ(writes.back(), (Write{kConfiguration, kErrorsUndone}));
    std::lock_guard<board::BoardLock> guard(board_.lock());
    EXPECT_EQ(fpga().backplanePowerMonitor().tableEntry(4) & 0xFFFF, 29148u);
    for (const PowerMonitorLimit& row : kSinkingBoardPowerMonitorLimits)
        EXPECT_EQ(fpga().sinkingBoardPowerMonitor().tableEntry(row.index) & 0xFFFF, row.modes16To31) << int(row.index);
    EXPECT_TRUE(fpga().powerPath().sinkingBoardEnabled);
}

TEST_F(Level56, ABadManufacturingChecksumGivesTheDefaultBiasDac) {
    board::ProductOptions options = configuredFpgas();
    options.flash = board::FlashImage::standard().corruptChecksum("Manufacturing");
    board::Board other(board::productIdentity());
    board::installProduct(other, options);
    kal::sim::PciFunction& function = kernel_.plug(other);
    TolvaneDevice::setBringUpPlan(&plan_);
    ASSERT_EQ(kernel_.addDevice(function), 0);
    TolvaneDevice::setBringUpPlan(nullptr);
    EXPECT_EQ(other.log().writesTo(board::bar0::kNonIsolatedFpga + 0x2D0), std::vector<uint64_t>{0x00199393});
    kernel_.removeDevice(function);
    kernel_.deleteDevice(function);
}

// Bits 0 and 29 once the step ran, bit 31 when a failed bring-up ends and at the teardown.
TEST_F(Level56, TheDisabledErrorStepAndItsUndo) {
    ASSERT_EQ(add(), 0);
    struct Case {
        const char* name;
        int32_t target;
        std::vector<uint64_t> errors;
        int64_t status;
        std::vector<Write> bringUp;  // 0x10 and 0x70, after the previous helper's teardown
    } cases[] = {
        // 0x10F names no board error; 0x227 is the last input, 0x200 the first.
        {"a list", 22, {0x227, 0x10F, 0x200}, kLevel18Failed,
         {{kErrorMux, 0x202A0000}, {kErrorMux, 0x20000000}, {kConfiguration, kEnableManager},
          {kConfiguration, kErrorsApplied}, {kConfiguration, kRoutingEnable}, {kConfiguration, kErrorsUndone}}},
        // A stop at the target undoes nothing.
        {"a stop at level 5", 5, {0x200}, kStoppedAtTarget,
         {{kErrorMux, 0x20000000}, {kConfiguration, kEnableManager}, {kConfiguration, kErrorsApplied}}},
        {"a stop at level 4", 4, {0x200}, kStoppedAtTarget, {}},
        {"no list", 22, {}, kLevel18Failed,
         {{kConfiguration, kEnableManager}, {kConfiguration, kErrorsApplied}, {kConfiguration, kRoutingEnable},
          {kConfiguration, kErrorsUndone}}},
        // Only the low 16 bits name an error.
        {"upper bits", 22, {0xABCD000000000227, 0x10000}, kLevel18Failed,
         {{kErrorMux, 0x202A0000}, {kConfiguration, kEnableManager}, {kConfiguration, kErrorsApplied},
          {kConfiguration, kRoutingEnable}, {kConfiguration, kErrorsUndone}}},
    };
    bool previousActive = true;  // the add's bring-up ran the step
    for (Case& c : cases) {
        CallerRecord record(c.errors);
        board_.log().clear();
        EXPECT_EQ(resetTo(c.target, &record), c.status) << c.name;
        std::vector<Write> expected = c.bringUp;
        if (previousActive) expected.insert(expected.begin(), {kConfiguration, kErrorsUndone});
        EXPECT_EQ(nisoWrites({kConfiguration, kErrorMux}), expected) << c.name;
        previousActive = c.target >= 5;
    }
}

// A list too long is refused before anything is allocated or read, an unreadable one disables
// nothing; the error manager is enabled and bit 29 strobed either way.
TEST_F(Level56, ListsTheStepRefusesOrCannotRead) {
    ASSERT_EQ(add(), 0);
    std::vector<uint64_t> longest(65536, 0);
    longest.back() = 0x200;
    struct Case {
        const char* name;
        uint64_t count;
        bool readable;
        int64_t status;
        std::vector<Write> mux;
    } cases[] = {
        {"2^61 entries", uint64_t{1} << 61, true, -52000, {}},
        {"65,537 entries", 65537, true, -52000, {}},
        {"65,536 entries", 65536, true, kLevel18Failed, {{kErrorMux, 0x20000000}}},
        {"memory that is not the caller's", 3, false, -52005, {}},
    };
    for (const Case& c : cases) {
        CallerRecord record({});
        kal::sim::UserMemory list(longest.data(), longest.size() * 8);
        record.record.disabledErrors = c.readable ? reinterpret_cast<uint64_t>(longest.data()) : 0x1000;
        record.record.disabledErrorCount = c.count;
        board_.log().clear();
        kal::sim::markLargestAllocation();
        EXPECT_EQ(resetTo(22, &record), c.status) << c.name;
        EXPECT_LE(kal::sim::largestAllocationSinceMark(), 65536u * 8 + 64) << c.name;
        EXPECT_EQ(nisoWrites({kErrorMux}), c.mux) << c.name;
        // Level 17 enables routing when the bring-up gets there.
        std::vector<Write> configuration = {{kConfiguration, kErrorsUndone},
                                            {kConfiguration, kEnableManager},
                                            {kConfiguration, kErrorsApplied},
                                            {kConfiguration, kErrorsUndone}};
        if (c.status == kLevel18Failed) configuration.insert(configuration.end() - 1, {kConfiguration, kRoutingEnable});
        EXPECT_EQ(nisoWrites({kConfiguration}), configuration) << c.name;
        // A failed step leaves the levels after it undone.
        EXPECT_EQ(reachedLevel(), c.status == kLevel18Failed ? 17u : 7u) << c.name;
    }
}

namespace {

// One board fault for a reset to 22: the code it stops the bring-up with, the level reached, the
// registers never written.
struct LevelFailure {
    const char* name;
    void (*knob)(board::NonIsolatedFpga&);
    int64_t status;
    uint32_t reached;
    std::vector<uint32_t> unwritten;
};

void PrintTo(const LevelFailure& failure, std::ostream* out) { *out << failure.name; }

class Level56Failure : public Level56, public ::testing::WithParamInterface<LevelFailure> {};

}  // namespace

TEST_P(Level56Failure, StopsTheBringUpWithItsCode) {
    const LevelFailure& f = GetParam();
    ASSERT_EQ(add(), 0);
    {
        std::lock_guard<board::BoardLock> guard(board_.lock());
        f.knob(fpga());
    }
    board_.log().clear();
    const uint64_t start = kal::sim::clock().nowUs();
    EXPECT_EQ(resetTo(22), f.status);
    EXPECT_EQ(reachedLevel(), f.reached);
    for (uint32_t offset : f.unwritten) EXPECT_EQ(nisoWrites({offset}), std::vector<Write>{}) << std::hex << offset;
    // Once the step ran it is undone when the bring-up ends in the failure.
    std::vector<Write> configuration = {{kConfiguration, kErrorsUndone}};
    if (f.reached >= 5)
        configuration.insert(configuration.end(), {{kConfiguration, kEnableManager},
                                                   {kConfiguration, kErrorsApplied},
                                                   {kConfiguration, kErrorsUndone}});
    EXPECT_EQ(nisoWrites({kConfiguration}), configuration);
    if (f.status == code(0xBFFA4693)) {
        EXPECT_GE(kal::sim::clock().nowUs() - start, std::string(f.name) == "DacNeverReady" ? 200000u : 100000u)
            << "the poll's deadline";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Knobs, Level56Failure,
    ::testing::Values(
        LevelFailure{"WrongSignature", [](board::NonIsolatedFpga& f) { f.overrideSignature(0x12345678); },
                     code(0xBFFA467C), 4, {0x580, 0x5A0}},
        LevelFailure{"SinkingBoardReading9599",
                     [](board::NonIsolatedFpga& f) { f.sinkingBoardPowerMonitor().setReading(0, 9599); },
                     code(0xBFFA4697), 5, {0x2D8}},
        LevelFailure{"DacNeverReady", [](board::NonIsolatedFpga& f) { f.powerPath().dacNeverReady = true; },
                     code(0xBFFA4693), 5, {0x2D0, 0x2C4}},
        LevelFailure{"BackplaneNeverValid",
                     [](board::NonIsolatedFpga& f) { f.backplanePowerMonitor().neverValid = true; },
                     code(0xBFFA4693), 5, {0x2BC, 0x2D8}},
        LevelFailure{"SinkingBoardNeverValid",
                     [](board::NonIsolatedFpga& f) { f.sinkingBoardPowerMonitor().neverValid = true; },
                     code(0xBFFA4693), 5, {0x2D8}},
        LevelFailure{"TransformerNeverUp", [](board::NonIsolatedFpga& f) { f.powerPath().transformerNeverUp = true; },
                     code(0xBFFA4693), 5, {0x2D8}},
        LevelFailure{"MonitorWindowNeverReady",
                     [](board::NonIsolatedFpga& f) { f.backplanePowerMonitor().neverReady = true; },
                     code(0xBFFA431F), 5, {0x2D0}},
        LevelFailure{"StuckLatchedError", [](board::NonIsolatedFpga& f) { f.errorManager().setStuckId(0x205); },
                     code(0xBFFA4688), 7, {}}),
    [](const ::testing::TestParamInfo<LevelFailure>& info) { return std::string(info.param.name); });

// The wrong signature stops level 5 after its maps and controllers were built: the names stay,
// no checker is added. Readings of 9600 and 0x8000 (unsigned) enable the sinking board.
TEST_F(Level56, WhatAFailedLevel5KeepsAndTheReadingsThatPass) {
    ASSERT_EQ(add(), 0);
    fpga().overrideSignature(0x12345678);
    EXPECT_EQ(resetTo(22), code(0xBFFA467C));
    TolvaneHelper* helper = device()->getHelper();
    EXPECT_EQ(helper->getARMDispatcher()->getNumberOfRegistrations(),
              level3names::kRegisterMapNames.size() + level3names::kNonIsolatedRegisterMapNames.size());
    EXPECT_EQ(helper->getDeviceWindowDispatcher()->getNumberOfRegistrations(), 2u);
    EXPECT_EQ(helper->getHardwareStateCheckers()->size(), 3u) << "level 3's only";
    fpga().overrideSignature(std::nullopt);
    for (uint16_t reading : {9600, 0x8000}) {
        {
            std::lock_guard<board::BoardLock> guard(board_.lock());
            fpga().sinkingBoardPowerMonitor().setReading(0, reading);
        }
        board_.log().clear();
        EXPECT_EQ(resetTo(22), kLevel18Failed) << reading;
        EXPECT_EQ(nisoWrites({0x2D8}), (std::vector<Write>{{0x2D8, 1}})) << reading;
    }
}

// A replacement image: one bit-30 strobe right after the signature read; one that reports another
// signature stops level 5 before it.
TEST_F(Level56, AReplacementImageIsAnnouncedOnceAfterTheSignatureCheck) {
    ASSERT_EQ(add(), 0);
    plan_.fake(kStepNisoFirmware, BringUpPlan::kReal);
    for (uint32_t signature : {kNisoFpgaSignature, 0x0BADF00Du}) {
        std::vector<uint8_t> image = stowly::buildFpgaImage(0, signature, stowly::kNisoFpgaImageSize);
        kal::sim::UserMemory imageMemory(image.data(), image.size());
        CallerRecord record({});
        record.record.nisoFpgaImage = reinterpret_cast<uint64_t>(image.data());
        record.record.nisoFpgaImageSize = image.size();
        board_.log().clear();
        const bool good = signature == kNisoFpgaSignature;
        EXPECT_EQ(resetTo(22, &record), good ? kLevel18Failed : code(0xBFFA467C));
        std::vector<Write> strobes;
        for (const Write& w : nisoWrites({kConfiguration}))
            if ((w.second & kCustomImage) != 0) strobes.push_back(w);
        EXPECT_EQ(strobes.size(), good ? 1u : 0u) << std::hex << signature;
        if (!good) continue;
        // The access after the last read of the signature.
        const std::vector<board::Access> log = board_.log().entries();
        size_t lastSignatureRead = 0;
        for (size_t i = 0; i < log.size(); ++i)
            if (log[i].direction == board::Direction::Read && log[i].offset == board::bar0::kNonIsolatedFpga)
                lastSignatureRead = i;
        ASSERT_LT(lastSignatureRead + 1, log.size());
        EXPECT_EQ(log[lastSignatureRead + 1].offset, board::bar0::kNonIsolatedFpga + kConfiguration);
        EXPECT_EQ(log[lastSignatureRead + 1].value, kCustomImage);
    }
}

TEST_F(Level56, AResetToLevel3LeavesOnlyLevel3sNames) {
    ASSERT_EQ(add(), 0);
    EXPECT_EQ(resetTo(3), kStoppedAtTarget);
    TolvaneHelper* helper = device()->getHelper();
    EXPECT_EQ(helper->getARMDispatcher()->getNumberOfRegistrations(), level3names::kRegisterMapNames.size());
    EXPECT_EQ(helper->getDeviceWindowDispatcher()->getNumberOfRegistrations(), 1u);
    EXPECT_EQ(helper->getNonIsolatedControllers(), nullptr);
}
