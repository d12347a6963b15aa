// A device brought up with the levels from a chosen one faked, and the channel requests sent
// through the ioctl envelope as user mode sends them.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "kzapalcodegen/ioctlRecords.h"
#include "tolvane/fixture.h"

namespace channeltest {

using namespace kzvorn_driver;

constexpr int32_t code(uint32_t hex) { return static_cast<int32_t>(hex); }
constexpr int32_t kNotSupported = -52002;
constexpr int32_t kNotHeld = -52006;
constexpr int32_t kStoppedAtLevel = -52010;
constexpr int32_t kOutOfRange = code(0xBFFA4300);
constexpr int32_t kInvalidChannel = code(0xBFFA4303);
constexpr int32_t kNotReserved = code(0xBFFA431A);
constexpr int32_t kArrayMissing = code(0xBFFA4311);
constexpr int32_t kCountMismatch = code(0xBFFA4312);
constexpr int32_t kInvalidated = code(0xBFFA9179);

// The request codes, by family.
constexpr uint32_t kReserve = 0x00208604;
constexpr uint32_t kReset = 0x00208600;
constexpr uint32_t kHwClear = 0x00202800;
constexpr uint32_t kHwCheck = 0x00202801;
constexpr uint32_t kHwOverflow = 0x00202802;
constexpr uint32_t kMeasureArm = 0x00202900;
constexpr uint32_t kMeasureReset = 0x00202901;
constexpr uint32_t kEngineStart = 0x00202A00;
constexpr uint32_t kEngineReset = 0x00202A01;
constexpr uint32_t kEngineRunning = 0x00202A02;
constexpr uint32_t kDownload = 0x00202A03;
constexpr uint32_t kList = 0x00202A04;
constexpr uint32_t kCount = 0x00202A05;
constexpr uint32_t kExecute = 0x00202A06;
constexpr uint32_t kOverride = 0x00202C00;
constexpr uint32_t kEventCheck = 0x00202C01;
constexpr uint32_t kEventClear = 0x00202C02;
constexpr uint32_t kEventClearAll = 0x00202C03;
constexpr uint32_t kGangReserve = 0x00202D00;
constexpr uint32_t kGangUnreserve = 0x00202D01;
constexpr uint32_t kMergeCount = 0x00202D02;
constexpr uint32_t kIsMaster = 0x00202D03;
constexpr uint32_t kIsReserved = 0x00202D04;

// One request's reply: its result (0 when the record has none) and its status.
struct Reply {
    uint32_t value;
    int32_t status;
};

template <class tOutput, class tInput>
tOutput send(kal::sim::Session& session, uint32_t code, const tInput& input) {
    tOutput output{};
    const auto reply = session.ioctl(code, &input, sizeof input, &output, sizeof output);
    EXPECT_EQ(reply.result, 0) << std::hex << code;
    EXPECT_EQ(reply.bytesReturned, sizeof output) << std::hex << code;
    return output;
}

// Any channel request by its code, with its one or two arguments put where its record holds them.
inline Reply request(kal::sim::Session& s, uint32_t code, uint64_t a = 0, uint64_t b = 0) {
    switch (code) {
        case kHwClear: case kHwCheck: case kHwOverflow: case kEngineReset: case kEventClearAll: case kReserve: {
            const auto o = send<tStatusRecord>(s, code, tMaskRecord{a, 0, 0});
            return {0, o.status};
        }
        case kEngineRunning: {
            const auto o = send<tValue8Record>(s, code, tMaskRecord{a, 0, 0});
            return {o.value, o.status};
        }
        case kMeasureArm: case kMeasureReset: {
            const tChannel32Record input{uint32_t(a), 0};
            return {0, send<tStatusRecord>(s, code, input).status};
        }
        case kEngineStart:
            return {0, send<tStatusRecord>(s, code, tMaskNumberRecord{a, uint32_t(b), 0}).status};
        case kOverride: {
            const auto o = send<tValue8Record>(s, code, tMaskNumberRecord{a, uint32_t(b), 0});
            return {o.value, o.status};
        }
        case kEventCheck: {
            const auto o = send<tValue8Record>(s, code, tMaskEventRecord{a, uint16_t(b), 0, 0});
            return {o.value, o.status};
        }
        case kEventClear:
            return {0, send<tStatusRecord>(s, code, tMaskEventRecord{a, uint16_t(b), 0, 0}).status};
        case kGangReserve:
            return {0, send<tStatusRecord>(s, code, tGangRecord{uint8_t(a), uint8_t(b), {}, 0}).status};
        case kGangUnreserve:
            return {0, send<tStatusRecord>(s, code, tChannelRecord{uint8_t(a), {}, 0}).status};
        case kMergeCount: case kIsMaster: case kIsReserved: {
            const auto o = send<tValue8Record>(s, code, tChannelRecord{uint8_t(a), {}, 0});
            return {o.value, o.status};
        }
        case kCount: {
            const auto o = send<tValue32Record>(s, code, tStatusRecord{});
            return {o.value, o.status};
        }
        case kDownload:
            return {0, send<tStatusRecord>(s, code, tDownloadSubroutinesRecord{}).status};
        case kExecute:
            return {0, send<tStatusRecord>(s, code, tExecuteSubroutineRecord{}).status};
    }
    ADD_FAILURE() << "no such request " << std::hex << code;
    return {0, 0};
}

// A request of a table of cases, with its arguments as `request` takes them.
struct Case {
    std::string name;
    uint32_t code;
    uint64_t a;
    uint64_t b;
    int32_t status;
};

// The listing into two arrays of `capacity` entries each, user memory for the call; entries past
// `count` are guards the driver must leave alone.
struct Listing {
    static constexpr uint32_t kGuard = 0xA5A5A5A5;
    std::vector<uint32_t> ids;
    std::vector<uint32_t> starts;
    int32_t status = 0;

    Listing(kal::sim::Session& s, uint32_t count, size_t capacity, bool nullIds = false) {
        ids.assign(capacity, kGuard);
        starts.assign(capacity, kGuard);
        kal::sim::UserMemory idMemory(ids.data(), ids.size() * 4), startMemory(starts.data(), starts.size() * 4);
        tSubroutineListRecord input{};
        input.ids = nullIds ? 0 : reinterpret_cast<uint64_t>(ids.data());
        input.startAddresses = reinterpret_cast<uint64_t>(starts.data());
        input.count = count;
        status = send<tStatusRecord>(s, kList, input).status;
    }
    bool untouched(size_t from) const {
        for (size_t i = from; i < ids.size(); ++i)
            if (ids[i] != kGuard || starts[i] != kGuard) return false;
        return true;
    }
};

class ChannelRequests : public tolvanetest::Tolvane {
protected:
    // Levels `first` to 22 and the step after are succeeding stand-ins; the levels before run.
    void addFakingFrom(int32_t first) {
        plan_.fakeLevels(first, kzvorn_shared::SetupLevel::kHighest, BringUpPlan::kSucceed);
        ASSERT_EQ(add(), 0);
        ASSERT_EQ(tracker().reached, kzvorn_shared::SetupLevel::kHighest);
    }
    // Levels up to 13 run; 14 to 22 and the step after are stand-ins.
    void addBuiltTo13() {
        plan_.fakeLevels(14, kzvorn_shared::SetupLevel::kHighest, BringUpPlan::kSucceed);
        ASSERT_EQ(add(), 0);
        ASSERT_EQ(tracker().reached, kzvorn_shared::SetupLevel::kHighest);
        ASSERT_NE(device()->getHelper()->getIsolatedObjects(), nullptr);
    }

    // The board, each part under its lock.
    std::unique_lock<board::BoardLock> boardLock() {
        return std::unique_lock<board::BoardLock>(blocks_.nonIsolatedFpga.boardLock());
    }
    board::IsolatedLink& link() { return blocks_.nonIsolatedFpga.isolatedLink(); }
    // The runs of one subroutine, as the sequencers recorded them: the channel of each.
    std::vector<unsigned> runsOf(uint32_t id) {
        auto guard = boardLock();
        std::vector<unsigned> channels;
        for (const board::SequencerRun& run : link().sequencers().runs())
            if (run.id == id) channels.push_back(run.channel);
        return channels;
    }
    // The isolated accesses of a channel's block (its port, its words) since the log was cleared.
    std::vector<board::PortAccess> accesses(unsigned channel) {
        auto guard = boardLock();
        std::vector<board::PortAccess> found;
        for (const board::PortAccess& a : link().log())
            if (a.address >= 0x1000 + 0x200 * channel && a.address < 0x1200 + 0x200 * channel) found.push_back(a);
        return found;
    }
    void clearLog() {
        auto guard = boardLock();
        link().clearLog();
    }

    kal::sim::Session open() {
        kal::sim::Session session = kernel_.open("smu_kzvorn");
        EXPECT_TRUE(session);
        return session;
    }
    int32_t resetTo(kal::sim::Session& s, uint32_t level) {
        tResetRecord input{};
        input.targetLevel = level;
        return send<tStatusRecord>(s, kReset, input).status;
    }
};

}  // namespace channeltest
