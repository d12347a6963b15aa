// The instrument requests through the ioctl envelope, on a board brought up to level 15 with the
// levels from 16 on faked: their gates, channel checks and reservations, and what reaches the
// board (temperatures, alarms, the DAC, the digipot, measure units, calibration, the power budget).
#include <cstring>
#include <optional>
#include <set>
#include <string>

#include "fixture.h"
#include "ioctl/requestIndex.h"
#include "kzhtl/failures.h"

namespace channeltest {
namespace {

constexpr uint32_t kTemperature = 0x00202E01;
constexpr uint32_t kCompliance = 0x00202E02;
constexpr uint32_t kChecksums = 0x00202E03;
constexpr uint32_t kVersions = 0x00202E04;
constexpr uint32_t kAlarmRaised = 0x00202E05;
constexpr uint32_t kClearAlarm = 0x00202E06;
constexpr uint32_t kMaskAlarm = 0x00202E07;
constexpr uint32_t kUnmaskAlarm = 0x00202E08;
constexpr uint32_t kChargeBalance = 0x00202E09;
constexpr uint32_t kReload = 0x00202E0A;
constexpr uint32_t kConfigure = 0x00202E0B;
constexpr uint32_t kMeasurement = 0x00202E0C;
constexpr uint32_t kStage = 0x00202E0D;
constexpr uint32_t kCommit = 0x00202E0E;
constexpr uint32_t kDiscard = 0x00202E0F;
constexpr uint32_t kActual = 0x00202E10;
constexpr uint32_t kReadDAC = 0x00202E11;
constexpr uint32_t kDigipot = 0x00202E12;
constexpr uint32_t kGetAccessory = 0x00202E14;
constexpr uint32_t kSetAccessory = 0x00202E15;
constexpr uint32_t kCheckChannelState = 0x00208602;

constexpr int32_t kNotAvailable = code(0xBFFA4308);
constexpr int32_t kBadParameter = -52005;
constexpr int32_t kOverBudget = code(0xBFFA40A9);
constexpr int32_t kCallersError = code(0xBFFA4999);

// Every request of this family, by code.
const std::vector<uint32_t> kInstrumentRequests = {
    kTemperature, kCompliance, kChecksums, kVersions, kAlarmRaised, kClearAlarm, kMaskAlarm, kUnmaskAlarm,
    kChargeBalance, kReload, kConfigure, kMeasurement, kStage, kCommit, kDiscard, kActual, kReadDAC, kDigipot,
    kSetAccessory, kGetAccessory};

// A buffer size that stands for the record's own size, and one that sends address 0 with it.
constexpr uint32_t kRecordSize = 0xFFFFFFFE;
constexpr uint32_t kNullAddress = 0xFFFFFFFF;
constexpr uint8_t kGuard = 0xEE;

// One reply: its result (0 when the record has none), its status and the user buffer afterwards.
struct Sent {
    uint32_t value;
    int32_t status;
    std::vector<uint8_t> bytes;
};

// The measure-unit configuration the requests send: a downsample rate, filter order 2, window 3.
constexpr uint8_t kConfiguration[8] = {0xE8, 0x03, 0x00, 0x00, 2, 3, 0, 0};

// Any request of the family, its two arguments where its record holds them (channel or mask
// first; then the sensor, alarm, range, sub-unit, allocation or value), the caller's status
// seeded, and a user buffer of `size` guard bytes where the record names one. Everything is
// allocated when it is made, so that `send` allocates nothing of the test's.
class Call {
public:
    Call(uint32_t code, uint64_t a = 0, uint64_t b = 0, int32_t caller = 0, uint32_t size = kRecordSize) : code_(code) {
        auto sized = [&](uint32_t own) { return size == kRecordSize || size == kNullAddress ? own : size; };
        switch (code) {
            case kChargeBalance: buffer_.assign(2, kGuard); break;
            case kConfigure: buffer_.assign(kConfiguration, kConfiguration + 8); buffer_.resize(sized(8), 0); break;
            case kMeasurement: buffer_.assign(sized(24), kGuard); break;
        }
        if (!buffer_.empty()) memory_.emplace(buffer_.data(), buffer_.size());
        const uint64_t address = size == kNullAddress ? 0 : reinterpret_cast<uint64_t>(buffer_.data());
        switch (code) {
            case kTemperature: make<tValue16Record>(tValue32Record{uint32_t(a), caller}); break;
            case kChecksums: case kVersions: make<tValue8Record>(tStatusRecord{caller}); break;
            case kGetAccessory: make<tValue32Record>(tStatusRecord{caller}); break;
            case kSetAccessory: make<tStatusRecord>(tValue32Record{uint32_t(a), caller}); break;
            case kCompliance: make<tValue8Record>(tChannelRecord{uint8_t(a), {}, caller}); break;
            case kCommit: case kDiscard: case kDigipot: make<tStatusRecord>(tChannelRecord{uint8_t(a), {}, caller}); break;
            case kActual: case kReadDAC: make<tValue32Record>(tChannelRecord{uint8_t(a), {}, caller}); break;
            case kAlarmRaised: make<tValue8Record>(tMaskNumberRecord{a, uint32_t(b), caller}); break;
            case kClearAlarm: case kMaskAlarm: case kUnmaskAlarm:
                make<tStatusRecord>(tMaskNumberRecord{a, uint32_t(b), caller});
                break;
            case kReload: make<tStatusRecord>(tMaskRecord{a, caller, 0}); break;
            case kStage: {
                tPowerAllocationRecord input{};
                input.channel = uint8_t(a);
                input.microwatts = uint32_t(b);
                input.status = caller;
                make<tValue32Record>(input);
                break;
            }
            case kChargeBalance: {
                tChargeBalanceOffsetRecord input{};
                input.channel = uint8_t(a);
                input.rangeCode = uint8_t(b);
                input.resultAddress = address;
                input.status = caller;
                make<tStatusRecord>(input);
                break;
            }
            case kConfigure: {
                tConfigureMeasureUnitRecord input{};
                input.mask = a;
                input.subUnit = uint32_t(b);
                input.configurationAddress = address;
                input.configurationSize = sized(8);
                input.status = caller;
                make<tStatusRecord>(input);
                break;
            }
            case kMeasurement: {
                tMeasurementRecord input{};
                input.channel = uint8_t(a);
                input.subUnit = uint32_t(b);
                input.address = address;
                input.size = sized(24);
                input.status = caller;
                make<tStatusRecord>(input);
                break;
            }
            default: ADD_FAILURE() << "no such request " << std::hex << code;
        }
    }

    // The transport's result.
    int32_t send(kal::sim::Session& s) {
        return s.ioctl(code_, input_.data(), uint32_t(input_.size()), output_.data(), uint32_t(output_.size())).result;
    }
    Sent reply() const {
        Sent sent{0, 0, buffer_};
        std::memcpy(&sent.status, output_.data() + output_.size() - 4, 4);
        if (output_.size() > 4) std::memcpy(&sent.value, output_.data(), resultWidth_);
        return sent;
    }

private:
    template <class tOutput, class tInput>
    void make(const tInput& input) {
        input_.assign(reinterpret_cast<const uint8_t*>(&input), reinterpret_cast<const uint8_t*>(&input) + sizeof input);
        output_.assign(sizeof(tOutput), 0);
        if constexpr (!std::is_same_v<tOutput, tStatusRecord>) resultWidth_ = sizeof(tOutput{}.value);
    }

    uint32_t code_;
    std::vector<uint8_t> input_, output_, buffer_;
    size_t resultWidth_ = 0;
    std::optional<kal::sim::UserMemory> memory_;
};

Sent vantrel(kal::sim::Session& s, uint32_t code, uint64_t a = 0, uint64_t b = 0, int32_t caller = 0,
             uint32_t size = kRecordSize) {
    Call call(code, a, b, caller, size);
    EXPECT_EQ(call.send(s), 0) << std::hex << code;
    return call.reply();
}

class Instrument : public ChannelRequests {
protected:
    void bringUp() { addFakingFrom(16); }

    // The isolated accesses to one word since the log was cleared.
    std::vector<board::PortAccess> accessesTo(uint32_t address, bool write) {
        auto guard = boardLock();
        std::vector<board::PortAccess> found;
        for (const board::PortAccess& a : link().log())
            if (a.address == address && a.write == write) found.push_back(a);
        return found;
    }
    // The writes into a channel's block since the log was cleared.
    size_t channelWrites(unsigned channel) {
        size_t count = 0;
        for (const board::PortAccess& a : accesses(channel)) count += a.write ? 1 : 0;
        return count;
    }
    void setDacWord(unsigned channel, uint32_t word) {
        auto guard = boardLock();
        link().registers().setDacWord(channel, word);
    }
};

// At level 22 every code has a body: with well-formed records only the two operations the device
// does not offer answer 0xBFFA4308, and only downloading and executing subroutines and the
// channel hardware-state check answer -52002.
TEST_F(Instrument, EveryCodeHasABodyAtLevel22) {
    bringUp();
    auto s = open();
    ASSERT_EQ(request(s, kReserve, 0xF).status, 0);
    std::vector<uint8_t> area(4096, 0);
    kal::sim::UserMemory areaMemory(area.data(), area.size());
    const uint64_t areaAddress = reinterpret_cast<uint64_t>(area.data());
    const std::set<uint32_t> notSupported = {kDownload, kExecute, kCheckChannelState};
    const std::set<uint32_t> notAvailable = {0x00202E13, 0x00202E16};
    for (const ioctltest::IndexRow& row : ioctltest::kIndex) {
        // A reset would invalidate the session; its own tests cover it.
        if (row.code == kReset) continue;
        SCOPED_TRACE(row.name);
        std::vector<uint8_t> input(row.inputSize, 0), output(row.outputSize, 0);
        auto put = [&](size_t offset, uint64_t value, size_t width) { std::memcpy(&input[offset], &value, width); };
        const uint32_t family = (row.code >> 8) & 0xFF;
        // Masks name channel 0; the records with buffers name the shared area and their sizes.
        if (family == 0x28 || (family == 0x2A && row.code <= kEngineRunning) || family == 0x2C) put(0, 1, 8);
        switch (row.code) {
            case kOverride: put(8, 1034, 4); break;
            case kEventCheck: case kEventClear: put(8, 0x800, 2); break;
            case kReserve: case kAlarmRaised: case kClearAlarm: case kMaskAlarm: case kUnmaskAlarm: case kReload:
                put(0, 1, 8);
                break;
            case 0x00202E00: put(0, areaAddress, 8); put(8, 58, 4); break;
            case kChargeBalance: put(1, 1, 1); put(8, areaAddress, 8); break;
            case kConfigure: put(0, 1, 8); put(16, areaAddress, 8); put(24, 8, 4); break;
            case kMeasurement: put(8, areaAddress, 8); put(16, 24, 4); break;
            case kList: case kDownload: case kExecute: break;
        }
        const auto reply = s.ioctl(row.code, input.data(), row.inputSize, output.data(), row.outputSize);
        ASSERT_EQ(reply.result, 0);
        int32_t status = 0;
        std::memcpy(&status, output.data() + row.outputStatusOffset, 4);
        EXPECT_EQ(status == kNotSupported, notSupported.count(row.code) == 1) << status;
        EXPECT_EQ(status == kNotAvailable, notAvailable.count(row.code) == 1) << status;
    }
}

// The checks of every request of the family in their order: a channel past the last before the
// reservation, a mask reported once, the reservation, and a caller's error that stops all but
// the accessory pair. The session holds channel 0 only.
TEST_F(Instrument, ChannelsMasksAndReservationsAreCheckedInOrder) {
    bringUp();
    auto s = open();
    ASSERT_EQ(request(s, kReserve, 0x1).status, 0);
    const std::vector<Case> cases = {
        {"compliance, channel 4", kCompliance, 4, 0, kInvalidChannel},
        {"compliance, unreserved channel", kCompliance, 1, 0, kNotReserved},
        {"offset, channel 4", kChargeBalance, 4, 1, kInvalidChannel},
        {"offset, unreserved channel", kChargeBalance, 2, 1, kNotReserved},
        {"measurement, channel 4", kMeasurement, 4, 0, kInvalidChannel},
        {"measurement needs no reservation", kMeasurement, 3, 0, 0},
        {"stage, channel 4", kStage, 4, 1, kInvalidChannel},
        {"stage, unreserved channel", kStage, 1, 1, kNotReserved},
        {"commit, channel 255", kCommit, 255, 0, kInvalidChannel},
        {"commit, unreserved channel", kCommit, 3, 0, kNotReserved},
        {"discard, channel 4", kDiscard, 4, 0, kInvalidChannel},
        {"actual, unreserved channel", kActual, 2, 0, kNotReserved},
        {"DAC, channel 4", kReadDAC, 4, 0, kInvalidChannel},
        {"DAC, unreserved channel", kReadDAC, 1, 0, kNotReserved},
        {"alarm, mask 0x10", kAlarmRaised, 0x10, 0, kInvalidChannel},
        {"alarm, empty mask", kClearAlarm, 0, 0, kInvalidChannel},
        {"alarm, two channels", kClearAlarm, 0x3, 0, kInvalidChannel},
        {"alarm, alarm 2", kClearAlarm, 0x2, 2, kOutOfRange},
        {"alarm needs no reservation", kMaskAlarm, 0x8, 1, 0},
        {"alarm, bit 63", kUnmaskAlarm, uint64_t{1} << 63, 0, kInvalidChannel},
        {"configure, mask 0x10", kConfigure, 0x10, 0, kInvalidChannel},
        {"configure, empty mask", kConfigure, 0, 0, kInvalidChannel},
        {"configure needs no reservation", kConfigure, 0x6, 0, 0},
        {"configure, sub-unit 3", kConfigure, 0x1, 3, kOutOfRange},
        {"reload, mask 0x10 is unreserved", kReload, 0x10, 0, kNotReserved},
        {"reload, mask 0x20", kReload, 0x20, 0, kNotReserved},
        {"reload, empty mask", kReload, 0, 0, kInvalidChannel},
        {"reload, unreserved channel", kReload, 0x3, 0, kNotReserved},
        {"temperature, sensor 2", kTemperature, 2, 0, kOutOfRange},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Sent sent = vantrel(s, c.code, c.a, c.b);
        EXPECT_EQ(sent.status, c.status);
        if (c.status != 0) {
            EXPECT_EQ(sent.value, 0u);
        }
    }
    // A caller's error comes back and nothing is done, except the accessory pair's.
    clearLog();
    for (uint32_t code : kInstrumentRequests) {
        SCOPED_TRACE(testing::Message() << std::hex << code);
        const Sent sent = vantrel(s, code, code == kSetAccessory ? 7 : 1, 1, kCallersError);
        EXPECT_EQ(sent.status, kCallersError);
        EXPECT_EQ(sent.value, code == kGetAccessory ? 7u : 0u);
        for (uint8_t byte : sent.bytes) EXPECT_TRUE(byte == kGuard || code == kConfigure);
    }
    EXPECT_TRUE(accesses(0).empty());
    EXPECT_TRUE(accessesTo(0x10, true).empty());
    EXPECT_EQ(vantrel(s, kGetAccessory).value, 7u);
}

// After a reset to 11, a new session's alarm requests are answered; the others are refused with
// what stopped the bring-up, and a bad temperature sensor is refused before the gate counts.
TEST_F(Instrument, BelowLevel22OnlyTheAlarmsAreAnswered) {
    bringUp();
    {
        auto s = open();
        EXPECT_EQ(resetTo(s, 11), kStoppedAtLevel);
        EXPECT_EQ(vantrel(s, kAlarmRaised, 0x1, 0).status, kInvalidated);
    }
    auto s = open();
    for (uint32_t code : kInstrumentRequests) {
        SCOPED_TRACE(testing::Message() << std::hex << code);
        const Sent sent = vantrel(s, code, 0x1, 0);
        const bool alarm = code >= kAlarmRaised && code <= kUnmaskAlarm;
        EXPECT_EQ(sent.status, alarm ? 0 : kStoppedAtLevel);
        EXPECT_EQ(sent.value, code == kGetAccessory ? 1u : 0u);
    }
    const Sent sensor = vantrel(s, kTemperature, 2);
    EXPECT_EQ(sensor.status, kOutOfRange);
    EXPECT_EQ(sensor.value, 0u);
}

TEST_F(Instrument, TemperaturesAreTheBoardsTwoReadings) {
    bringUp();
    {
        auto guard = boardLock();
        blocks_.nonIsolatedFpga.write(0x818, 4, 0x1234);
        blocks_.nonIsolatedFpga.write(0x820, 4, 0x0ABC);
    }
    auto s = open();
    const Sent vref = vantrel(s, kTemperature, 0);
    const Sent fpga = vantrel(s, kTemperature, 1);
    EXPECT_EQ(vref.status, 0);
    EXPECT_EQ(vref.value, 0x1234u);
    EXPECT_EQ(fpga.status, 0);
    EXPECT_EQ(fpga.value, 0x0ABCu);
}

TEST_F(Instrument, StorageMapHealth) {
    bringUp();
    {
        auto s = open();
        EXPECT_EQ(vantrel(s, kChecksums).value, 1u);
        EXPECT_EQ(vantrel(s, kVersions).value, 1u);
        EXPECT_EQ(vantrel(s, kChecksums).status, 0);
    }
    blocks_.flash().load(0, board::FlashImage::standard().corruptChecksum("SelfCalibrationChannel2").bytes());
    auto s = open();
    ASSERT_EQ(resetTo(s, 22), 0);
    auto again = open();
    const Sent checksums = vantrel(again, kChecksums);
    EXPECT_EQ(checksums.value, 0u);
    EXPECT_EQ(checksums.status, 0);
    EXPECT_EQ(vantrel(again, kVersions).value, 1u);
}

// 0 on a new device; a value set survives a reset; an invalidated session is answered 1.
TEST_F(Instrument, TheConnectedAccessoryIsKeptAcrossResets) {
    bringUp();
    auto s = open();
    EXPECT_EQ(vantrel(s, kGetAccessory).value, 0u);
    EXPECT_EQ(vantrel(s, kSetAccessory, 0xC0DE).status, 0);
    EXPECT_EQ(resetTo(s, 22), 0);
    const Sent refused = vantrel(s, kGetAccessory);
    EXPECT_EQ(refused.value, 1u);
    EXPECT_EQ(refused.status, kInvalidated);
    auto again = open();
    EXPECT_EQ(vantrel(again, kGetAccessory).value, 0xC0DEu);
}

TEST_F(Instrument, TheDigipotIsWrittenEvenWhenUnchanged) {
    bringUp();
    auto s = open();
    clearLog();
    EXPECT_EQ(vantrel(s, kDigipot, 0x5A).status, 0);
    EXPECT_EQ(vantrel(s, kDigipot, 0x5A).status, 0);
    const std::vector<board::PortAccess> writes = accessesTo(0x10, true);
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[0].value & 0xFF, 0x5Au);
    EXPECT_EQ(writes[1].value & 0xFF, 0x5Au);
}

// An input latched on channel 2's alarm mux reads raised for channel 2 and its alarm number only.
TEST_F(Instrument, AlarmsReadTheLatchedInputOfTheirChannel) {
    bringUp();
    {
        auto guard = boardLock();
        blocks_.nonIsolatedFpga.isolatedOccurrence().latchPosition(2, 0x21, 6);
    }
    auto s = open();
    EXPECT_EQ(vantrel(s, kAlarmRaised, 0x4, 1).value, 1u);
    EXPECT_EQ(vantrel(s, kAlarmRaised, 0x4, 0).value, 0u);
    EXPECT_EQ(vantrel(s, kAlarmRaised, 0x2, 1).value, 0u);
    const Sent refused = vantrel(s, kAlarmRaised, 0x4, 2);
    EXPECT_EQ(refused.status, kOutOfRange);
    EXPECT_EQ(refused.value, 0u);
}

// A budget of 40 W: an increase is taken when staged, a decrease given back only when committed.
TEST_F(Instrument, PowerAllocationFollowsTheBudget) {
    bringUp();
    {
        auto s = open();
        ASSERT_EQ(request(s, kReserve, 0xF).status, 0);
        const std::vector<Case> cases = {
            {"stage 0 to 30 W", kStage, 0, 30000000, 0},
            {"stage 1 to 10 W", kStage, 1, 10000000, 0},
            {"stage 2 to 1 uW", kStage, 2, 1, kOverBudget},
        };
        const uint32_t left[] = {10000000, 0, 0};
        for (size_t i = 0; i < cases.size(); ++i) {
            SCOPED_TRACE(cases[i].name);
            const Sent sent = vantrel(s, cases[i].code, cases[i].a, cases[i].b);
            EXPECT_EQ(sent.status, cases[i].status);
            EXPECT_EQ(sent.value, left[i]);
        }
        EXPECT_EQ(resetTo(s, 22), 0);
    }
    auto s = open();
    ASSERT_EQ(request(s, kReserve, 0x1).status, 0);
    EXPECT_EQ(vantrel(s, kStage, 0, 25000000).value, 15000000u);
    EXPECT_EQ(vantrel(s, kCommit, 0).status, 0);
    EXPECT_EQ(vantrel(s, kActual, 0).value, 25000000u);
    EXPECT_EQ(vantrel(s, kStage, 0, 35000000).value, 5000000u);
    EXPECT_EQ(vantrel(s, kCommit, 0).status, 0);
    // A decrease: the budget comes back on commit, not before; a discard keeps the committed one.
    EXPECT_EQ(vantrel(s, kStage, 0, 10000000).value, 5000000u);
    EXPECT_EQ(vantrel(s, kDiscard, 0).status, 0);
    EXPECT_EQ(vantrel(s, kActual, 0).value, 35000000u);
    EXPECT_EQ(vantrel(s, kStage, 0, 10000000).value, 5000000u);
    EXPECT_EQ(vantrel(s, kCommit, 0).status, 0);
    EXPECT_EQ(vantrel(s, kActual, 0).value, 10000000u);
    EXPECT_EQ(vantrel(s, kStage, 0, 10000000).value, 30000000u);
}

TEST_F(Instrument, TheDACReadsItsLow22BitsSignedAndComplianceFollowsTheBoard) {
    bringUp();
    auto s = open();
    ASSERT_EQ(request(s, kReserve, 0xF).status, 0);
    struct Row {
        uint32_t word;
        uint32_t result;
    };
    for (const Row& row : {Row{0x003FFFFF, 0xFFFFFFFF}, Row{0x00200000, 0xFFE00000}, Row{0xFFC00005, 5},
                           Row{0x001FFFFF, 0x001FFFFF}, Row{0, 0}}) {
        SCOPED_TRACE(row.word);
        setDacWord(3, row.word);
        const Sent sent = vantrel(s, kReadDAC, 3);
        EXPECT_EQ(sent.status, 0);
        EXPECT_EQ(sent.value, row.result);
    }
    for (bool compliant : {true, false}) {
        {
            auto guard = boardLock();
            link().sequencers().options().channels[1].compliance = compliant;
        }
        EXPECT_EQ(vantrel(s, kCompliance, 1).value, compliant ? 1u : 0u);
        EXPECT_EQ(vantrel(s, kCompliance, 2).value, 0u);
    }
}

// Mask 0b1001 configures channel 0, then channel 3; a port fault on channel 0 stops there.
TEST_F(Instrument, MeasureUnitsAreConfiguredLowestChannelFirst) {
    bringUp();
    auto s = open();
    clearLog();
    EXPECT_EQ(vantrel(s, kConfigure, 0x9, 1).status, 0);
    std::vector<unsigned> order;
    {
        auto guard = boardLock();
        for (const board::PortAccess& a : link().log())
            if (a.write && a.address >= 0x1000 && a.address < 0x1800) {
                const unsigned channel = (a.address - 0x1000) / 0x200;
                if (order.empty() || order.back() != channel) order.push_back(channel);
            }
    }
    EXPECT_EQ(order, (std::vector<unsigned>{0, 3}));
    {
        auto guard = boardLock();
        EXPECT_EQ(blocks_.nonIsolatedFpga.measureUnits().unit(3, 1).cicFilterConfig, (2u << 24) | (3u << 28) | 1000u);
    }

    board::AccessPortKnobs fault;
    fault.neverReady = true;
    {
        auto guard = boardLock();
        blocks_.nonIsolatedFpga.setAccessPortKnobs(0, fault);
    }
    clearLog();
    EXPECT_NE(vantrel(s, kConfigure, 0x9, 2).status, 0);
    EXPECT_EQ(channelWrites(3), 0u);
}

TEST_F(Instrument, MeasureUnitRecordsHaveTheirExactSizes) {
    bringUp();
    auto s = open();
    const std::vector<std::pair<std::string, Sent>> refused = {
        {"configure, size 16", vantrel(s, kConfigure, 0x1, 0, 0, 16)},
        {"configure, address 0", vantrel(s, kConfigure, 0x1, 0, 0, kNullAddress)},
        {"configure, sub-unit 3 before the size", vantrel(s, kConfigure, 0x1, 3, 0, 16)},
        {"measurement, size 23", vantrel(s, kMeasurement, 0, 0, 0, 23)},
        {"measurement, size 25", vantrel(s, kMeasurement, 0, 0, 0, 25)},
        {"measurement, address 0", vantrel(s, kMeasurement, 0, 0, 0, kNullAddress)},
        {"measurement, sub-unit 3", vantrel(s, kMeasurement, 0, 3)},
    };
    for (const auto& [name, sent] : refused) {
        SCOPED_TRACE(name);
        EXPECT_EQ(sent.status, name.find("sub-unit") != std::string::npos ? kOutOfRange : kBadParameter);
        for (uint8_t byte : sent.bytes) EXPECT_TRUE(byte == kGuard || name.rfind("configure", 0) == 0);
    }
    // A measurement is the unit's packet words, word 1 zero; no reservation is needed.
    ASSERT_EQ(vantrel(s, kConfigure, 0x4, 1).status, 0);
    const Sent measured = vantrel(s, kMeasurement, 2, 1);
    ASSERT_EQ(measured.status, 0);
    uint32_t words[6];
    std::memcpy(words, measured.bytes.data(), sizeof words);
    auto guard = boardLock();
    const board::MeasureUnitsModel::Unit& unit = blocks_.nonIsolatedFpga.measureUnits().unit(2, 1);
    EXPECT_EQ(words[0], unit.cicFilterConfig);
    EXPECT_EQ(words[1], 0u);
    EXPECT_EQ(std::vector<uint32_t>(words + 2, words + 6),
              (std::vector<uint32_t>{unit.data[0], unit.headers[0], unit.data[1], unit.headers[1]}));
}

// The reload writes the calibration of the mask's channels only; the offset request writes the
// balancer's measurement as two bytes, nothing for a range code it refuses.
TEST_F(Instrument, CalibrationReloadAndChargeBalanceOffset) {
    bringUp();
    auto s = open();
    ASSERT_EQ(request(s, kReserve, 0xF).status, 0);
    clearLog();
    EXPECT_EQ(vantrel(s, kReload, 0x5).status, 0);
    EXPECT_GT(channelWrites(0), 0u);
    EXPECT_EQ(channelWrites(1), 0u);
    EXPECT_GT(channelWrites(2), 0u);
    EXPECT_EQ(channelWrites(3), 0u);

    {
        auto guard = boardLock();
        blocks_.nonIsolatedFpga.chargeBalancers().knobs(1).results[1] = 0x2ABC;
    }
    const Sent refused = vantrel(s, kChargeBalance, 1, 3);
    EXPECT_EQ(refused.status, kBadParameter);
    EXPECT_EQ(refused.bytes, (std::vector<uint8_t>{kGuard, kGuard}));
    const Sent measured = vantrel(s, kChargeBalance, 1, 2);
    EXPECT_EQ(measured.status, 0);
    EXPECT_EQ(measured.bytes, (std::vector<uint8_t>{0xBC, 0x2A}));
}

// One allocation failing at a time, in every request of the family: a clear status, no leak.
TEST_F(Instrument, AllocationFailuresInEveryRequestEndCleanly) {
    bringUp();
    auto s = open();
    ASSERT_EQ(request(s, kReserve, 0xF).status, 0);
    for (uint32_t code : kInstrumentRequests) {
        SCOPED_TRACE(testing::Message() << std::hex << code);
        const uint64_t a = code == kAlarmRaised || code == kClearAlarm || code == kMaskAlarm ||
                                   code == kUnmaskAlarm || code == kConfigure || code == kReload
                               ? 1
                               : 0;
        const uint64_t b = code == kChargeBalance ? 1 : code == kStage ? 1000 : 0;
        // Once in full first: what the driver fills on a first use and keeps is no leak of the
        // attempts.
        {
            Call warm(code, a, b);
            ASSERT_EQ(warm.send(s), 0);
            ASSERT_EQ(warm.reply().status, 0);
        }
        kzhtl_test::sweepAllocationFailures([&](uint64_t failAt) {
            Call call(code, a, b);
            int32_t transport = 0;
            const bool failed = kzhtl_test::failing(failAt, [&] { transport = call.send(s); });
            const int32_t status = call.reply().status;
            if (failed) {
                EXPECT_TRUE(transport != 0 || status == -52000) << transport << " " << status;
            } else {
                EXPECT_EQ(transport, 0);
                EXPECT_EQ(status, 0);
            }
            return failed;
        });
    }
}

}  // namespace
}  // namespace channeltest
