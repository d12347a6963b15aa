// The isolation-port device kit over a zero-filled host buffer standing in for the mapped window.
// A recording access policy logs every load and store, so the order of writes is checked.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <ostream>
#include <vector>

#include "kal/sim/faults.h"
#include "kzapal/protons/statusCodes.h"
#include "selkaddk/selkaIsoPort.h"
#include "selkaddk/statusCodes.h"

namespace {

using nKZAPALS100::tStatus;

struct Access {
    bool store;
    uintptr_t address;
    uint32_t value;
};

// Loads and stores the buffer as the volatile policy would, and logs each access in a fixed
// array, so the log itself allocates nothing.
struct RecordingAccess {
    static constexpr size_t kCapacity = 256;
    static inline Access log[kCapacity];
    static inline size_t count = 0;

    static void clear() { count = 0; }
    static void record(bool store, uintptr_t address, uint32_t value) {
        if (count < kCapacity) log[count] = {store, address, value};
        ++count;
    }
    static uint32_t load(uintptr_t address) {
        const uint32_t value = *reinterpret_cast<const uint32_t*>(address);
        record(false, address, value);
        return value;
    }
    static void store(uintptr_t address, uint32_t value) {
        record(true, address, value);
        *reinterpret_cast<uint32_t*>(address) = value;
    }
};

using Kit = selkaddk::SelkaIsoPort<RecordingAccess>;

// A store, by offset from the start of the window.
struct Write {
    uint32_t offset;
    uint32_t value;
    bool operator==(const Write& other) const { return offset == other.offset && value == other.value; }
};
void PrintTo(const Write& w, std::ostream* os) { *os << std::hex << "0x" << w.offset << ":=0x" << w.value; }
using Writes = std::vector<Write>;

constexpr uint32_t kIdentification = 0x1F0000;
constexpr uint32_t kControl = 0x1F0010;
constexpr uint32_t kIdentificationWord = 0x5E1CA000;

// Register r of a line of a port, for a core based at the start of the window.
constexpr uint32_t reg(uint32_t port, uint32_t line, uint32_t r) {
    return 0x1F1000 + port * 0x1000 + line * 0x80 + r;
}
constexpr uint32_t kSelect = 0x00, kCommand = 0x0C, kWord = 0x10, kMode = 0x18, kEnable = 0x2C, kBits = 0x3C;

class SelkaIsoPortTest : public ::testing::Test {
protected:
    // The core registers and ports 1 and 2, with room to move the core within the window.
    static constexpr size_t kWindowBytes = 0x1F4000;

    void SetUp() override {
        word(kIdentification) = kIdentificationWord;
        RecordingAccess::clear();
    }
    void TearDown() override { EXPECT_LE(RecordingAccess::count, RecordingAccess::kCapacity); }

    uint32_t& word(uint32_t offset) { return window_[offset / 4]; }
    void attach(Kit& kit) {
        tStatus status;
        kit.attach(window_.data(), kIdentification, status);
        ASSERT_EQ(status.code, 0);
        RecordingAccess::clear();
    }
    Writes writes() const {
        Writes out;
        for (size_t i = 0; i < RecordingAccess::count; ++i) {
            const Access& a = RecordingAccess::log[i];
            if (a.store) out.push_back({static_cast<uint32_t>(a.address - base()), a.value});
        }
        return out;
    }
    uintptr_t base() const { return reinterpret_cast<uintptr_t>(window_.data()); }

    std::vector<uint32_t> window_ = std::vector<uint32_t>(kWindowBytes / 4);
    Kit kit_;
};

// Attach finds the identification word at window + offset; the core sits 0x1F0000 below it.
TEST_F(SelkaIsoPortTest, AttachChecksTheIdentificationWord) {
    struct Case {
        uint32_t identification;
        uint32_t offset;
        int64_t code;
    };
    const Case cases[] = {
        {kIdentificationWord, kIdentification, 0},
        {kIdentificationWord, kIdentification + 0x100, 0},
        {0, kIdentification, selkaddk::kStatusIdentificationMismatch},
        {kIdentificationWord + 1, kIdentification, selkaddk::kStatusIdentificationMismatch},
        {0xFFFFFFFF, kIdentification + 0x100, selkaddk::kStatusIdentificationMismatch},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.identification << " at 0x" << c.offset);
        std::fill(window_.begin(), window_.end(), 0);
        word(c.offset) = c.identification;
        word(c.offset + 4) = 0xA5C30F01;
        RecordingAccess::clear();
        Kit kit;
        tStatus status;
        kit.attach(window_.data(), c.offset, status);
        EXPECT_EQ(status.code, c.code);

        uint32_t info[4] = {7, 7, 7, 7};
        tStatus infoStatus;
        kit.getInfo(info[0], info[1], info[2], info[3], infoStatus);
        if (c.code == 0) {
            EXPECT_EQ(infoStatus.code, 0);
            EXPECT_EQ(std::vector<uint32_t>(info, info + 4), (std::vector<uint32_t>{0xA5C30F01, 0, 0, 0x31C000}));
            ASSERT_EQ(RecordingAccess::count, 2u);
            EXPECT_EQ(RecordingAccess::log[1].address, base() + c.offset + 4);
        } else {
            EXPECT_EQ(infoStatus.code, selkaddk::kStatusCoreUnavailable);
            EXPECT_EQ(std::vector<uint32_t>(info, info + 4), (std::vector<uint32_t>{7, 7, 7, 7}));
            EXPECT_EQ(RecordingAccess::count, 1u) << "only the identification word is read";
        }
        EXPECT_TRUE(writes().empty());
    }

    RecordingAccess::clear();
    tStatus status;
    kit_.attach(nullptr, kIdentification, status);
    EXPECT_EQ(status.code, nKZAPALS100::kStatusBadParameter);
    EXPECT_EQ(RecordingAccess::count, 0u);
}

// Every operation of the kit, with the code it gives on a kit without a core (0 for the
// operations without a status).
struct Operation {
    const char* name;
    std::function<void(Kit&, tStatus&)> run;
    int64_t codeWithoutCore;
};
const std::vector<Operation>& operations() {
    static const std::vector<Operation> all = {
        {"getInfo", [](Kit& k, tStatus& s) { uint32_t a, b, c, d; k.getInfo(a, b, c, d, s); },
         selkaddk::kStatusCoreUnavailable},
        {"routeLines", [](Kit& k, tStatus& s) { k.routeLines(0xFFFFF, s); }, selkaddk::kStatusCoreUnavailable},
        {"connectLine",
         [](Kit& k, tStatus& s) { EXPECT_FALSE(k.connectLine(1, 3, 2, 5, s).connected); },
         selkaddk::kStatusCoreUnavailable},
        {"disconnectLine",
         [](Kit& k, tStatus& s) {
             Kit::tConnection c;
             c.connected = true;
             c.sourcePort = 1;
             c.destinationPort = 2;
             k.disconnectLine(c, s);
         },
         selkaddk::kStatusCoreUnavailable},
        {"setRoutingLock", [](Kit& k, tStatus&) { k.setRoutingLock(true); }, 0},
        {"selectLine", [](Kit& k, tStatus&) { k.selectLine(1, 0); }, 0},
        {"driveLine", [](Kit& k, tStatus&) { k.driveLine(1, 0, 1); }, 0},
        {"releaseLine", [](Kit& k, tStatus&) { k.releaseLine(1, 0); }, 0},
        {"releaseLine on two ports", [](Kit& k, tStatus&) { k.releaseLine(1, 2, 0); }, 0},
        {"disableLine", [](Kit& k, tStatus&) { k.disableLine(1, 0); }, 0},
        {"setConnectionBit", [](Kit& k, tStatus&) { k.setConnectionBit(1, 0, 3); }, 0},
        {"selectConnection", [](Kit& k, tStatus&) { k.selectConnection(1, 0, 3); }, 0},
        {"clearConnectionBit", [](Kit& k, tStatus&) { k.clearConnectionBit(1, 0, 3); }, 0},
    };
    return all;
}

// Before attach, after detach and after a failed attach the kit reaches no memory at all.
TEST_F(SelkaIsoPortTest, WithoutACoreNothingIsReached) {
    struct State {
        const char* name;
        std::function<void(Kit&)> enter;
    };
    const State states[] = {
        {"never attached", [](Kit&) {}},
        {"detached",
         [this](Kit& k) {
             attach(k);
             k.detach();
         }},
        {"attach failed after a good one",
         [this](Kit& k) {
             attach(k);
             word(kIdentification) = 0;
             tStatus s;
             k.attach(window_.data(), kIdentification, s);
             word(kIdentification) = kIdentificationWord;
         }},
    };
    for (const State& state : states) {
        for (const Operation& op : operations()) {
            SCOPED_TRACE(testing::Message() << state.name << ": " << op.name);
            Kit kit;
            state.enter(kit);
            RecordingAccess::clear();
            tStatus status;
            op.run(kit, status);
            EXPECT_EQ(status.code, op.codeWithoutCore);
            EXPECT_EQ(RecordingAccess::count, 0u);
        }
    }
}

// An error on entry leaves the status as it was and reaches nothing; attach then stays detached.
TEST_F(SelkaIsoPortTest, AnErrorOnEntryDoesNothing) {
    for (const Operation& op : operations()) {
        if (op.codeWithoutCore == 0) continue;
        SCOPED_TRACE(op.name);
        Kit kit;
        attach(kit);
        tStatus status;
        status.code = nKZAPALS100::kStatusTimeout;
        op.run(kit, status);
        EXPECT_EQ(status.code, nKZAPALS100::kStatusTimeout);
        EXPECT_EQ(RecordingAccess::count, 0u);
    }
    tStatus status;
    status.code = nKZAPALS100::kStatusTimeout;
    kit_.attach(window_.data(), kIdentification, status);
    EXPECT_EQ(RecordingAccess::count, 0u);
    tStatus infoStatus;
    uint32_t a, b, c, d;
    kit_.getInfo(a, b, c, d, infoStatus);
    EXPECT_EQ(infoStatus.code, selkaddk::kStatusCoreUnavailable);
}

// Two bits per line for lines 0 to 9: 1 routes port 1 to port 2, 2 the other way, 3 releases.
TEST_F(SelkaIsoPortTest, RouteLinesWritesPerLineCode) {
    struct Case {
        uint32_t codes;
        Writes expected;
    };
    const Case cases[] = {
        {0x9,
         {{reg(1, 0, kCommand), 0x4101}, {reg(1, 0, kWord), 0x10000000},
          {reg(2, 0, kCommand), 0x4101}, {reg(2, 0, kWord), 0x10000000},
          {reg(1, 0, kSelect), 1}, {reg(2, 0, kSelect), 1},
          {reg(2, 0, kCommand), 0x4204}, {reg(2, 0, kWord), 0x10700000},
          {reg(1, 1, kCommand), 0x4101}, {reg(1, 1, kWord), 0x10000000},
          {reg(2, 1, kCommand), 0x4101}, {reg(2, 1, kWord), 0x10000000},
          {reg(2, 1, kSelect), 1}, {reg(1, 1, kSelect), 1},
          {reg(1, 1, kCommand), 0x4204}, {reg(1, 1, kWord), 0x10700000}}},
        {3u << 18,
         {{reg(1, 9, kCommand), 0x4101}, {reg(1, 9, kWord), 0x10000000},
          {reg(2, 9, kCommand), 0x4101}, {reg(2, 9, kWord), 0x10000000}}},
        {0, {}},
        {0xFFF00000, {}},
    };
    attach(kit_);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.codes);
        RecordingAccess::clear();
        tStatus status;
        kit_.routeLines(c.codes, status);
        EXPECT_EQ(status.code, 0);
        EXPECT_EQ(writes(), c.expected);
    }
}

// The lock is bit 2 of the control word; while it is set routing writes nothing.
TEST_F(SelkaIsoPortTest, RoutingLock) {
    struct Case {
        uint32_t control;
        bool lock;
        uint32_t expected;
    };
    const Case cases[] = {{0x12345670, true, 0x12345674}, {0xFFFFFFFF, false, 0xFFFFFFFB}, {0, true, 4}, {4, true, 4}};
    attach(kit_);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.control << " " << c.lock);
        word(kControl) = c.control;
        RecordingAccess::clear();
        kit_.setRoutingLock(c.lock);
        EXPECT_EQ(writes(), (Writes{{kControl, c.expected}}));

        RecordingAccess::clear();
        tStatus status;
        kit_.routeLines(0x1, status);
        EXPECT_EQ(status.code, c.lock ? selkaddk::kStatusCoreUnavailable : 0);
        EXPECT_EQ(writes().empty(), c.lock);
    }
}

// One connection at a time; the first connection bit of a line enables it and the last disables it.
TEST_F(SelkaIsoPortTest, ConnectAndDisconnect) {
    struct Case {
        uint32_t otherBits;  // already set on the source line
        Writes connect;
        Writes disconnect;
    };
    const Case cases[] = {
        {0,
         {{reg(1, 3, kSelect), 1}, {reg(2, 5, kSelect), 1},
          {reg(1, 3, kEnable), 1}, {reg(1, 3, kEnable), 2}, {reg(1, 3, kBits), 0x400},
          {reg(2, 5, kWord), 0x10000400}, {reg(2, 5, kMode), 2}, {reg(2, 5, kCommand), 0x4204}},
         {{reg(2, 5, kCommand), 0x101}, {reg(2, 5, kWord), 0x10000000},
          {reg(1, 3, kBits), 0}, {reg(1, 3, kEnable), 1}, {reg(1, 3, kMode), 1}}},
        {0x10,
         {{reg(1, 3, kSelect), 1}, {reg(2, 5, kSelect), 1}, {reg(1, 3, kBits), 0x410},
          {reg(2, 5, kWord), 0x10000400}, {reg(2, 5, kMode), 2}, {reg(2, 5, kCommand), 0x4204}},
         {{reg(2, 5, kCommand), 0x101}, {reg(2, 5, kWord), 0x10000000}, {reg(1, 3, kBits), 0x10}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.otherBits);
        Kit kit;
        attach(kit);
        word(reg(1, 3, kBits)) = c.otherBits;

        tStatus status;
        Kit::tConnection connection = kit.connectLine(1, 3, 2, 5, status);
        EXPECT_EQ(status.code, 0);
        EXPECT_EQ(writes(), c.connect);
        EXPECT_TRUE(connection.connected);
        EXPECT_EQ(connection.sourcePort, 1u);
        EXPECT_EQ(connection.sourceLine, 3);
        EXPECT_EQ(connection.destinationPort, 2u);
        EXPECT_EQ(connection.destinationLine, 5);
        EXPECT_EQ(connection.connectionBit, 10);

        RecordingAccess::clear();
        tStatus second;
        EXPECT_FALSE(kit.connectLine(1, 4, 2, 6, second).connected);
        EXPECT_EQ(second.code, selkaddk::kStatusConnectionAlreadyOpen);
        EXPECT_EQ(RecordingAccess::count, 0u);

        tStatus closing;
        kit.disconnectLine(connection, closing);
        EXPECT_EQ(closing.code, 0);
        EXPECT_EQ(writes(), c.disconnect);
        EXPECT_FALSE(connection.connected);

        RecordingAccess::clear();
        kit.disconnectLine(connection, closing);
        EXPECT_EQ(RecordingAccess::count, 0u) << "a closed record is not closed again";

        tStatus again;
        EXPECT_TRUE(kit.connectLine(1, 3, 2, 5, again).connected);
        EXPECT_EQ(again.code, 0);
    }
}

// The line-register helpers; a connection bit past the 32-bit register names no bit.
TEST_F(SelkaIsoPortTest, LineHelpers) {
    struct Case {
        const char* name;
        uint32_t bitsBefore;  // connection bits of port 1 line 2
        std::function<void(Kit&)> run;
        Writes expected;
    };
    const Case cases[] = {
        {"select", 0, [](Kit& k) { k.selectLine(2, 7); }, {{reg(2, 7, kSelect), 1}}},
        {"drive", 0, [](Kit& k) { k.driveLine(1, 4, 0x1234); },
         {{reg(1, 4, kCommand), 0x4204}, {reg(1, 4, kWord), 0x10601234}}},
        {"release", 0, [](Kit& k) { k.releaseLine(2, 9); },
         {{reg(2, 9, kCommand), 0x4101}, {reg(2, 9, kWord), 0x10000000}}},
        {"release on two ports", 0, [](Kit& k) { k.releaseLine(2, 1, 6); },
         {{reg(2, 6, kCommand), 0x4101}, {reg(2, 6, kWord), 0x10000000},
          {reg(1, 6, kCommand), 0x4101}, {reg(1, 6, kWord), 0x10000000}}},
        {"disable", 0, [](Kit& k) { k.disableLine(1, 0); },
         {{reg(1, 0, kCommand), 0x101}, {reg(1, 0, kWord), 0x10000000}}},
        {"select connection", 0, [](Kit& k) { k.selectConnection(2, 1, 3); },
         {{reg(2, 1, kWord), 0x10000008}, {reg(2, 1, kMode), 2}, {reg(2, 1, kCommand), 0x4204}}},
        {"select connection past 24 bits", 0, [](Kit& k) { k.selectConnection(2, 1, 24); },
         {{reg(2, 1, kWord), 0x10000000}, {reg(2, 1, kMode), 2}, {reg(2, 1, kCommand), 0x4204}}},
        {"select connection past 32 bits", 0, [](Kit& k) { k.selectConnection(2, 1, 40); },
         {{reg(2, 1, kWord), 0x10000000}, {reg(2, 1, kMode), 2}, {reg(2, 1, kCommand), 0x4204}}},
        {"first bit", 0, [](Kit& k) { k.setConnectionBit(1, 2, 31); },
         {{reg(1, 2, kEnable), 1}, {reg(1, 2, kEnable), 2}, {reg(1, 2, kBits), 0x80000000}}},
        {"another bit", 1, [](Kit& k) { k.setConnectionBit(1, 2, 5); }, {{reg(1, 2, kBits), 0x21}}},
        {"set bit 32", 0, [](Kit& k) { k.setConnectionBit(1, 2, 32); }, {}},
        {"clear, bits left", 0x21, [](Kit& k) { k.clearConnectionBit(1, 2, 5); }, {{reg(1, 2, kBits), 1}}},
        {"clear the last bit", 1, [](Kit& k) { k.clearConnectionBit(1, 2, 0); },
         {{reg(1, 2, kBits), 0}, {reg(1, 2, kEnable), 1}, {reg(1, 2, kMode), 1}}},
        {"clear bit 32", 1, [](Kit& k) { k.clearConnectionBit(1, 2, 32); }, {}},
    };
    attach(kit_);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        word(reg(1, 2, kBits)) = c.bitsBefore;
        RecordingAccess::clear();
        c.run(kit_);
        EXPECT_EQ(writes(), c.expected);
    }
}

// The kit allocates nothing, however it is used.
TEST_F(SelkaIsoPortTest, AllocatesNothing) {
    tStatus statuses[4];
    const int64_t live = kal::sim::liveAllocations();
    {
        Kit kit;
        kit.attach(window_.data(), kIdentification, statuses[0]);
        uint32_t a, b, c, d;
        kit.getInfo(a, b, c, d, statuses[0]);
        kit.routeLines(0xFFFFF, statuses[0]);
        kit.setRoutingLock(true);
        kit.routeLines(0x9, statuses[1]);
        kit.setRoutingLock(false);
        Kit::tConnection connection = kit.connectLine(1, 3, 2, 5, statuses[2]);
        kit.connectLine(1, 3, 2, 5, statuses[3]);
        kit.disconnectLine(connection, statuses[2]);
        kit.driveLine(1, 1, 1);
        kit.releaseLine(1, 2, 1);
        kit.detach();
    }
    EXPECT_EQ(kal::sim::liveAllocations(), live);
    EXPECT_EQ(statuses[0].code, 0);
    EXPECT_EQ(statuses[1].code, selkaddk::kStatusCoreUnavailable);
    EXPECT_EQ(statuses[2].code, 0);
    EXPECT_EQ(statuses[3].code, selkaddk::kStatusConnectionAlreadyOpen);
}

}  // namespace
