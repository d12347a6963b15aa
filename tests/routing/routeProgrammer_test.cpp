// The route programmer over the register maps of a device brought up on the board, as the routing
// step builds it: the route controller over the non-isolated FPGA map, the helper over it, the
// isolated FPGA map and channel maps 0 to 3. What reaches the board is read from the access ports'
// log, the PXI trigger registers and the board's routing view of its muxes.
#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "controllers/routeProgrammer.h"
#include "device/routing/routingResourcesFactory.h"
#include "kzapal/protons/statusCodes.h"
#include "kzapalcodegen/pciIdentifiers.h"
#include "kzark/topInfo.h"
#include "routing/resourcesFixture.h"
#include "tolvane/fixture.h"
#include "tolvane/scriptRun.h"

namespace {

using kzvorn_driver::RouteController;
using kzvorn_driver::RouteProgrammer;
using kzvorn_driver::tRouteProgrammerHelper;
using nKZAPALS100::tStatus;
using routing_test::ResourcesFixture;
using routing_test::seedOf;
using Timeline = std::vector<std::string>;

constexpr int64_t kPortNeverReady = KZ_DEVICE_CODE(0xBFFA4680);
constexpr uint64_t kPxiTriggerConfig = board::bar0::kNonIsolatedFpga + 0x0A0;

std::string hex(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

// What the programmer did, in order: the route controller's calls as they came, each isolated
// write as "iso ADDRESS: VALUE".
class Events {
public:
    explicit Events(board::IsolatedLink& link) : link_(link) { seen_ = link_.log().size(); }
    void note(const std::string& event) {
        drain();
        timeline_.push_back(event);
    }
    Timeline take() {
        drain();
        Timeline taken;
        taken.swap(timeline_);
        return taken;
    }

private:
    void drain() {
        const std::vector<board::PortAccess> log = link_.log();
        for (size_t i = seen_; i < log.size(); ++i)
            if (log[i].write) timeline_.push_back("iso " + hex(log[i].address) + ": " + hex(log[i].value));
        seen_ = log.size();
    }
    board::IsolatedLink& link_;
    size_t seen_ = 0;
    Timeline timeline_;
};

// The route controller as the system builds it, its calls noted; a call on an error does nothing
// and is not noted.
class NotedRouteController : public RouteController {
public:
    NotedRouteController(kzvorn_regmaps::tTolvaneNisoFpgaRegMap& map, Events& events)
        : RouteController(map), events_(events) {}
    void enableTriggerOutput(uint64_t index, tStatus& status) override {
        if (status.isNotFatal()) events_.note("enableTriggerOutput " + std::to_string(index));
        RouteController::enableTriggerOutput(index, status);
    }
    void disableTriggerOutput(uint64_t index, tStatus& status) override {
        if (status.isNotFatal()) events_.note("disableTriggerOutput " + std::to_string(index));
        RouteController::disableTriggerOutput(index, status);
    }
    void afterConnect(uint32_t registerId, tStatus& status) override {
        if (status.isNotFatal()) events_.note("afterConnect " + hex(registerId));
        RouteController::afterConnect(registerId, status);
    }
    void beforeDisconnect(uint32_t registerId, tStatus& status) override {
        if (status.isNotFatal()) events_.note("beforeDisconnect " + hex(registerId));
        RouteController::beforeDisconnect(registerId, status);
    }

private:
    Events& events_;
};

// The device brought up as far as the board takes it; the routing objects over its maps.
class BoardRouting : public tolvanetest::Tolvane {
protected:
    void SetUp() override {
        Tolvane::SetUp();
        ASSERT_EQ(add(), 0);
        kzvorn_driver::TolvaneHelper* helper = device()->getHelper();
        ASSERT_NE(helper->getIsolatedRegMaps(), nullptr) << "the isolated maps are built";
        kzvorn_driver::IsolatedRegMaps& isolated = *helper->getIsolatedRegMaps();
        for (unsigned c = 0; c < 4; ++c) channelMaps_[c] = isolated.getChannelMap(c);
        events_.emplace(link());
        controller_.emplace(helper->getNonIsolatedObjects()->getRegMaps()->fpga, *events_);
        helper_.emplace(helper->getNonIsolatedObjects()->getRegMaps()->fpga, isolated.getIsoFpgaMap(), channelMaps_);
        programmer_.emplace(*controller_, *helper_);
    }

    board::IsolatedLink& link() { return blocks_.nonIsolatedFpga.isolatedLink(); }
    board::NonIsolatedFpga& fpga() { return blocks_.nonIsolatedFpga; }
    std::optional<unsigned> routed(unsigned block, uint32_t offset) { return fpga().routedInput(block, offset); }
    bool pxiOn(unsigned line) { return fpga().pxiTriggerOutputOn(line); }
    std::string muxes() { return tolvanetest::printedByEveryLine(kernel_, blocks_, "board.muxes\n"); }
    // The values written to PXI trigger register `line`, in order.
    std::vector<uint64_t> pxiWrites(unsigned line) {
        std::vector<uint64_t> values;
        for (const board::Access& a : board_.log().entries())
            if (a.bar == 0 && a.offset == kPxiTriggerConfig + 4 * line && a.direction == board::Direction::Write)
                values.push_back(a.value);
        return values;
    }

    kzvorn_regmaps::tTolvaneIsoChannelRegMap* channelMaps_[4] = {};
    std::optional<Events> events_;
    std::optional<NotedRouteController> controller_;
    std::optional<tRouteProgrammerHelper> helper_;
    std::optional<RouteProgrammer> programmer_;
};

// The tables the programmer compares register ids with, as the isolated FPGA and channel maps
// declare those registers.
TEST(RouteProgrammerTables, TriggerLinesAndChannelTriggerMuxes) {
    const uint32_t lines[] = {0x809DAEAB, 0x802E863A, 0x8071C4C7, 0x80F65AD9, 0x80D279BA,
                              0x80A272B7, 0x80065D17, 0x80033879, 0x8056C482};
    for (unsigned line = 0; line < 9; ++line) EXPECT_EQ(kzvorn_driver::kTriggerLineRegisters.id[line], lines[line]);
    const uint32_t channelTriggers[] = {0x80EF3D7C, 0x80BE5675, 0x80E22859, 0x8012C0C5, 0x80A400BD};
    for (unsigned i = 0; i < 5; ++i) EXPECT_EQ(kzvorn_driver::kChannelTriggerMuxRegisters.id[i], channelTriggers[i]);
}

TEST_F(BoardRouting, ActionsReachTheBoardInOrder) {
    struct Action {
        uint32_t kind, value;
    };
    const struct {
        const char* name;
        std::vector<Action> actions;
        Timeline expected;
        int64_t code;
    } cases[] = {
        {"the disconnect value on channel 0's start-trigger mux: one write, action 9",
         {{1, 0}, {0, 3}, {2, 0x80EF3D7C}, {3, 0xFFFF}},
         {"beforeDisconnect 0x80EF3D7C", "iso 0x1022: 0x90000000"},
         0},
        {"input 5 on isolated mux 0x32: PXI trigger line 2 off around it",
         {{0, 2}, {2, 0x8071C4C7}, {3, 5}},
         {"disableTriggerOutput 2", "beforeDisconnect 0x8071C4C7", "iso 0x32: 0x80000000", "iso 0x32: 0x10050000",
          "enableTriggerOutput 2", "afterConnect 0x8071C4C7"},
         0},
        {"input 0 on isolated mux 0x39, which drives no trigger line",
         {{0, 2}, {2, 0x80AC4F07}, {3, 0}},
         {"beforeDisconnect 0x80AC4F07", "iso 0x39: 0x80000000", "iso 0x39: 0x10000000", "afterConnect 0x80AC4F07"},
         0},
        {"only the low 16 bits of a value count; kinds above 3 do nothing",
         {{4, 2}, {0, 2}, {7, 0x80AC4F07}, {2, 0x80AC4F07}, {0xFFFFFFFF, 1}, {3, 0x70003}},
         {"beforeDisconnect 0x80AC4F07", "iso 0x39: 0x80000000", "iso 0x39: 0x10030000", "afterConnect 0x80AC4F07"},
         0},
        {"no map selected yet: nothing written, the hooks still run",
         {{2, 0x8071C4C7}, {3, 5}},
         {"disableTriggerOutput 2", "beforeDisconnect 0x8071C4C7", "enableTriggerOutput 2",
          "afterConnect 0x8071C4C7"},
         0},
        {"a channel past the four maps reaches none",
         {{1, 4}, {0, 3}, {2, 0x80EF3D7C}, {3, 1}},
         {"beforeDisconnect 0x80EF3D7C"},
         nKZAPALS100::kStatusBadParameter},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RouteProgrammer programmer(*controller_, *helper_);
        tStatus status;
        programmer.beginProgramming(status);
        for (const Action& a : c.actions) programmer.applyProgrammingAction(0, a.kind, a.value, status);
        programmer.endProgramming(status);
        EXPECT_EQ(status.code, c.code);
        EXPECT_EQ(events_->take(), c.expected);
    }
    // Line 2's output is on after the connects: its buffer first, then with the output and a pulse
    // of 25.
    EXPECT_TRUE(pxiOn(2));
    EXPECT_EQ(pxiWrites(2).back(), 0xC0000019u);
    EXPECT_EQ(routed(board::kIsolatedBoardBlock, 0x32), 5u);
    EXPECT_EQ(routed(board::kIsolatedBoardBlock, 0x39), 3u);
    EXPECT_EQ(routed(0, 0x022), std::nullopt) << "action 9 disconnects the trigger override's input";
}

TEST_F(BoardRouting, AnErrorStopsEveryAction) {
    RouteProgrammer programmer(*controller_, *helper_);
    tStatus status;
    for (uint32_t kind : {1u, 0u, 2u}) programmer.applyProgrammingAction(0, kind, kind == 2 ? 0x80AC4F07 : 2, status);
    tStatus failed;
    KZ_SET_CODE(failed, -7);
    for (uint32_t kind : {0u, 1u, 2u, 3u, 4u}) programmer.applyProgrammingAction(0, kind, 0x8071C4C7, failed);
    EXPECT_EQ(failed.code, -7);
    EXPECT_EQ(events_->take(), Timeline{}) << "nothing written, no hook";
    programmer.applyProgrammingAction(0, 3, 1, status);
    EXPECT_EQ(status.code, 0);
    EXPECT_EQ(events_->take(), (Timeline{"beforeDisconnect 0x80AC4F07", "iso 0x39: 0x80000000",
                                         "iso 0x39: 0x10010000", "afterConnect 0x80AC4F07"}))
        << "the selection made before the error still holds";
}

// Routes from terminal 44 to 35 and 36 through the resources, over the board.
class BoardRoutes : public BoardRouting {
protected:
    void SetUp() override {
        BoardRouting::SetUp();
        resources_.emplace(kzvorn_driver::RoutingResourcesFactory::createRoutingResources(kzvorn_driver::kPCISubsystemID,
                                                                                          &*programmer_, created_));
        ASSERT_EQ(created_.code, 0);
        ResourcesFixture& f = *resources_;
        ASSERT_EQ(f.calculate(0xA, {seedOf(44, 0, 0)}, {35, 36}).records.size(), 2u);
        ASSERT_EQ(f.reserve(1).code, 0);
        ASSERT_EQ(f.reserve(2).code, 0);
        events_->take();
    }
    void TearDown() override { resources_.reset(); }

    tStatus created_;
    std::optional<ResourcesFixture> resources_;
};

TEST_F(BoardRoutes, ProgrammedRoutesConnectTheirMuxesAndOutputs) {
    ResourcesFixture& f = *resources_;
    const std::string afterBringUp = muxes();
    ASSERT_EQ(f.program(1), 0);
    EXPECT_EQ(routed(0, 0x02B), 3u);
    EXPECT_EQ(routed(board::kIsolatedBoardBlock, 0x30), 2u);
    EXPECT_TRUE(pxiOn(0));
    EXPECT_FALSE(pxiOn(1));
    ASSERT_EQ(f.program(2), 0);
    EXPECT_EQ(routed(board::kIsolatedBoardBlock, 0x31), 2u);
    EXPECT_TRUE(pxiOn(1));
    std::string expected = afterBringUp;
    expected.insert(expected.find("  ch1"), "  ch0 0x02B: input 3\n");
    expected.insert(expected.find("  ch0"), "  iso 0x30: input 2\n  iso 0x31: input 2\n");
    EXPECT_EQ(muxes(), expected + "  pxi 0: on\n  pxi 1: on\n");

    f.resources->unprogramRoute(1);
    EXPECT_EQ(routed(board::kIsolatedBoardBlock, 0x30), std::nullopt);
    EXPECT_FALSE(pxiOn(0));
    EXPECT_EQ(routed(0, 0x02B), 3u) << "route 2 still runs through it";
    f.resources->unprogramRoute(2);
    EXPECT_EQ(routed(0, 0x02B), std::nullopt);
    EXPECT_EQ(routed(board::kIsolatedBoardBlock, 0x31), std::nullopt);
    EXPECT_FALSE(pxiOn(1));
    EXPECT_EQ(muxes(), afterBringUp);
}

// Port 4 never ready: the second edge (isolated mux 0x30) fails after the first (channel 0's
// 0x02B) was written, and the failed programming disconnects 0x02B again.
TEST_F(BoardRoutes, AFailedProgrammingDisconnectsWhatItConnected) {
    ResourcesFixture& f = *resources_;
    board::AccessPortKnobs never;
    never.neverReady = true;
    fpga().setAccessPortKnobs(4, never);
    EXPECT_EQ(f.program(1), kPortNeverReady);
    EXPECT_EQ(f.resources->getRouteState(1), kzark::kRouteStateReserved);
    EXPECT_EQ(events_->take(),
              (Timeline{"beforeDisconnect 0x806D82A8", "iso 0x102B: 0x80000000", "iso 0x102B: 0x10030000",
                        "afterConnect 0x806D82A8", "disableTriggerOutput 0", "beforeDisconnect 0x809DAEAB",
                        // the defaults: terminal 35's fails again on port 4, 15's goes through
                        "disableTriggerOutput 0", "beforeDisconnect 0x809DAEAB", "beforeDisconnect 0x806D82A8",
                        "iso 0x102B: 0x80000000"}));
    EXPECT_EQ(routed(0, 0x02B), std::nullopt);
    EXPECT_FALSE(pxiOn(0));

    fpga().setAccessPortKnobs(4, board::AccessPortKnobs{});
    EXPECT_EQ(f.program(1), 0);
    EXPECT_EQ(events_->take(),
              (Timeline{"beforeDisconnect 0x806D82A8", "iso 0x102B: 0x80000000", "iso 0x102B: 0x10030000",
                        "afterConnect 0x806D82A8", "disableTriggerOutput 0", "beforeDisconnect 0x809DAEAB",
                        "iso 0x30: 0x80000000", "iso 0x30: 0x10020000", "enableTriggerOutput 0",
                        "afterConnect 0x809DAEAB"}));
    EXPECT_EQ(routed(0, 0x02B), 3u);
    EXPECT_EQ(routed(board::kIsolatedBoardBlock, 0x30), 2u);
    EXPECT_TRUE(pxiOn(0));
}

}  // namespace
