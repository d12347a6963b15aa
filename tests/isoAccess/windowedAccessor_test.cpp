// The windowed front-end accessor on the board's access ports: the protocol each access makes, its
// time-outs, the checkers it runs on a port fault and how nested and concurrent checks end; the
// channel-based accessor and the device-window adapter over it.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "device/isolatedRegMaps.h"
#include "kal/sim/clock.h"
#include "kzapal/protons/statusCodes.h"
#include "kzvoltixSharedSource/frontEndAccessors/channelBasedFrontEndAccessor.h"
#include "kzvorn_regMaps/fixture.h"

namespace {

using armtest::Access;
using armtest::R;
using armtest::W;
using kzvorn_driver::WindowedFrontEndAccessor;
using nKZAPALS100::tStatus;

constexpr int64_t kNotReady = KZ_DEVICE_CODE(0xBFFA4680);
constexpr int64_t kNoResponse = KZ_DEVICE_CODE(0xBFFA4681);
constexpr int64_t kBridgeSignature = KZ_DEVICE_CODE(0xBFFA8078);

uint32_t port(unsigned p, uint32_t word) { return 0x200 + 0x10 * p + word; }

// Counts its runs; optionally finds a fault, or reads isolated registers through accessors.
struct Checker : kdut::HardwareStateCheckerInterface {
    std::atomic<int> runs{0};
    int64_t finds = 0;
    std::vector<kzvoltixsharedsource::FrontEndAccessorInterface*> readsThrough;
    void checkHardwareState(tStatus& status) override {
        ++runs;
        for (auto* accessor : readsThrough) accessor->read32(0, status);
        if (status.isNotFatal() && finds != 0) KZ_SET_CODE(status, finds);
    }
};

struct Ports : kzmaps::NisoBoard {
    kzvorn_regmaps::tTolvaneNisoFpgaRegMap niso{&block, st, 0, 0, 0xFFFFFFFF};
    kdut::HardwareStateCheckerComposite checkers;
    std::vector<std::unique_ptr<WindowedFrontEndAccessor>> accessors;

    Ports() {
        for (unsigned p = 0; p < 6; ++p)
            accessors.push_back(std::make_unique<WindowedFrontEndAccessor>(niso, p, checkers, st));
        board.log().clear();
    }
    WindowedFrontEndAccessor& accessor(unsigned p) { return *accessors[p]; }
    board::IsolatedLink& link() { return fpga().isolatedLink(); }
    void knobs(unsigned p, const board::AccessPortKnobs& k) { fpga().setAccessPortKnobs(p, k); }
    // The offsets and directions the board saw, values of writes only.
    std::vector<Access> protocol() const {
        std::vector<Access> out;
        for (Access a : seen()) {
            if (!a.write) a.value = 0;
            out.push_back(a);
        }
        return out;
    }
};

TEST_F(Ports, AWriteIsAStatusReadTheDataAndTheAddressAReadWaitsForItsResponse) {
    knobs(2, board::AccessPortKnobs{2});
    accessor(2).write32(0x2005, 0xCAFE0001, st);
    accessor(2).write32(0x2005, 0xCAFE0002, st);
    EXPECT_EQ(accessor(2).read32(0x15FF, st), 0u);
    fpga().isolatedLink().registers().write(0x15FF, 0x600DF00D);
    EXPECT_EQ(accessor(2).read32(0x15FF, st), 0x600DF00Du);
    EXPECT_EQ(st.code, 0);
    const uint32_t s = port(2, 0), a = port(2, 4), d = port(2, 8);
    const std::vector<Access> one = {R(s, 32, 0), W(d, 32, 0xCAFE0001), W(a, 32, 0x0005)};
    // The second access waits two status reads for the port, then both words go again.
    const std::vector<Access> two = {R(s, 32, 0), R(s, 32, 0), W(d, 32, 0xCAFE0002), W(a, 32, 0x0005)};
    // A read's response comes with the port ready again.
    const std::vector<Access> read = {R(s, 32, 0), R(s, 32, 0), W(a, 32, 0x115FF), R(s, 32, 0), R(s, 32, 0),
                                      R(d, 32, 0)};
    std::vector<Access> expected = one;
    expected.insert(expected.end(), two.begin(), two.end());
    expected.insert(expected.end(), read.begin(), read.end());
    expected.insert(expected.end(), read.begin() + 1, read.end());
    EXPECT_EQ(protocol(), expected);
    const std::vector<board::PortAccess> isolated = {
        {2, true, 5, 0xCAFE0001}, {2, true, 5, 0xCAFE0002}, {2, false, 0x15FF, 0}, {2, false, 0x15FF, 0x600DF00D}};
    EXPECT_EQ(link().log(), isolated);
    EXPECT_EQ(link().counts(2).violations, 0u);
}

TEST_F(Ports, APortThatNeverAnswersTimesOutAfterHalfASecondWithItsPreviousReadValue) {
    link().registers().write(0x10, 0x1234);
    EXPECT_EQ(accessor(1).read32(0x10, st), 0x1234u);
    struct Case {
        const char* name;
        board::AccessPortKnobs knobs;
        int64_t code;
    } cases[] = {
        {"never ready", {0, true}, kNotReady},
        {"never responding", {0, false, true}, kNoResponse},
    };
    for (const Case& c : cases) {
        knobs(1, c.knobs);
        tStatus status;
        const uint64_t start = kal::sim::clock().nowUs();
        EXPECT_EQ(accessor(1).read32(0x20, status), 0x1234u) << c.name;
        EXPECT_EQ(status.code, c.code) << c.name;
        EXPECT_GE(kal::sim::clock().nowUs() - start, 500000u) << c.name;
        EXPECT_LT(kal::sim::clock().nowUs() - start, 700000u) << c.name;
        tStatus incoming;
        KZ_SET_CODE(incoming, -52000);
        board.log().clear();
        EXPECT_EQ(accessor(1).read32(0x20, incoming), 0xFFFFFFFFu) << c.name;
        accessor(1).write32(0x20, 1, incoming);
        EXPECT_TRUE(seen().empty()) << c.name << ": an incoming error reaches no port";
        knobs(1, {});
    }
}

TEST_F(Ports, AFaultRunsTheCheckersAtEveryStatusTestUntilOneFindsTheCause) {
    Checker checker;
    checkers.add(&checker, st);
    link().registers().write(0x13, 0x77);
    EXPECT_EQ(accessor(0).read32(0x13, st), 0x77u);
    knobs(0, board::AccessPortKnobs{0, false, false, true});
    board.log().clear();
    tStatus clean;
    EXPECT_EQ(accessor(0).read32(0x1000, clean), 0x77u);
    EXPECT_EQ(clean.code, kNotReady);
    EXPECT_EQ(size_t(checker.runs), board.log().countReads(board::bar0::kNonIsolatedFpga + port(0, 0)));
    EXPECT_GT(checker.runs, 100);

    checker.runs = 0;
    checker.finds = kBridgeSignature;
    board.log().clear();
    tStatus found;
    EXPECT_EQ(accessor(0).read32(0x1000, found), 0x77u);
    EXPECT_EQ(found.code, kBridgeSignature);
    EXPECT_EQ(checker.runs, 1);
    EXPECT_EQ(board.log().countReads(board::bar0::kNonIsolatedFpga + port(0, 0)), 1u);
    EXPECT_EQ(board.log().countWrites(board::bar0::kNonIsolatedFpga + port(0, 4)), 0u);
}

TEST_F(Ports, ACheckerReadingThroughTheFaultingPortRunsOnce) {
    Checker signature;
    signature.readsThrough = {&accessor(4)};
    checkers.add(&signature, st);
    knobs(4, board::AccessPortKnobs{0, false, false, true});
    tStatus status;
    accessor(4).read32(0, status);
    EXPECT_EQ(status.code, kNotReady);
    EXPECT_EQ(signature.runs, 1);
}

// Both ports faulting, a checker reading through both: the thread whose fault entry runs the
// checkers waits for the other's port, which times out without waiting for anything.
TEST_F(Ports, TwoFaultingPortsOnTwoThreadsEndWithoutDeadlock) {
    Checker both;
    both.readsThrough = {&accessor(0), &accessor(4)};
    checkers.add(&both, st);
    knobs(0, board::AccessPortKnobs{0, false, false, true});
    knobs(4, board::AccessPortKnobs{0, false, false, true});
    kal::sim::ScopedRealTime realTime;
    tStatus first, second;
    std::thread a([&] { accessor(0).read32(0x1000, first); });
    std::thread b([&] { accessor(4).read32(0x0002, second); });
    a.join();
    b.join();
    EXPECT_EQ(first.code, kNotReady);
    EXPECT_EQ(second.code, kNotReady);
    EXPECT_GE(both.runs, 1);
}

TEST_F(Ports, TwoThreadsOnOnePortNeverInterleave) {
    knobs(4, board::AccessPortKnobs{3});
    kal::sim::ScopedRealTime realTime;
    std::atomic<int> mismatches{0};
    auto work = [&](uint32_t address) {
        for (uint32_t i = 0; i < 40; ++i) {
            tStatus status;
            accessor(4).write32(address, i * 3 + address, status);
            if (accessor(4).read32(address, status) != i * 3 + address || status.isFatal()) ++mismatches;
        }
    };
    std::thread a(work, 0x1810), b(work, 0x1A10);
    a.join();
    b.join();
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(link().counts(4).violations, 0u);
}

TEST_F(Ports, TheChannelAccessorAndTheWindowAdapterPassAddressesOn) {
    const kzvorn_regmaps::ChannelBaseAddressCalculator calculator;
    kzvoltixsharedsource::ChannelBasedFrontEndAccessor channel5(5, accessor(4), calculator);
    channel5.write32(0x1FF, 0xAB, st);
    EXPECT_EQ(link().registers().stored(0x1BFF), 0xABu);
    EXPECT_EQ(channel5.read32(0x1FF, st), 0xABu);

    kzvorn_driver::FrontEndAccessorToDeviceWindowAdapter adapter(accessor(4), 7680);
    EXPECT_EQ(adapter.getSize(), 7680u);
    uint32_t word = 0x5A5A;
    adapter.write(reinterpret_cast<const char*>(&word), 8, 4, st);
    EXPECT_EQ(link().registers().stored(8), 0x5A5Au) << "the byte index is the isolated address";
    board.log().clear();
    char eight[8];
    tStatus refused;
    adapter.read(8, 8, eight, refused);
    EXPECT_EQ(refused.code, nKZAPALS100::kStatusBadParameter);
    EXPECT_TRUE(seen().empty());
    fpga().presentIsolated(8, 0x11);
    uint32_t back = 0;
    adapter.read(8, 4, reinterpret_cast<char*>(&back), st);
    EXPECT_EQ(back, 0x11u);
    EXPECT_EQ(st.code, 0);
}

}  // namespace
