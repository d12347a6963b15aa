// Carries out the programming actions of route edges: each edge's actions select a map (and for
// a channel map the channel) and a mux configuration register, then program it with the input
// position to connect, or disconnect it. A register that drives a PXI trigger line has that
// line's output switched off around the change and on again once connected.
#pragma once

#include <cstddef>
#include <cstdint>

#include "controllers/routeController.h"
#include "atut/routeProgrammerInterface.h"
#include "kzvorn_regMaps/TolvaneRegisterMap_TolvaneIsoChannelRegMap.h"
#include "kzvorn_regMaps/TolvaneRegisterMap_TolvaneIsoFpgaRegMap.h"
#include "kzvorn_regMaps/TolvaneRegisterMap_TolvaneNisoFpgaRegMap.h"
#include "vantrel_shared/routeProgrammerHelper.h"

namespace kzvorn_driver {

using tRouteProgrammerHelper =
    vantrel_shared::RouteProgrammerHelper<kzvorn_regmaps::tTolvaneNisoFpgaRegMap, kzvorn_regmaps::tTolvaneIsoFpgaRegMap,
                                          kzvorn_regmaps::tTolvaneIsoChannelRegMap>;

// Whole-register identifiers the programmer compares register ids with.
template <size_t N>
struct RouteRegisterIds {
    uint32_t id[N];
};

namespace routeprogrammer {
namespace nIso = kzvorn_regmaps::nTolvaneIsoFpgaRegMap;
namespace nChannel = kzvorn_regmaps::nTolvaneIsoChannelRegMap;

constexpr uint32_t kChannelTriggerMuxOffsets[] = {0x022, 0x023, 0x024, 0x025, 0x027};
constexpr size_t kChannelTriggerMuxCount = sizeof(kChannelTriggerMuxOffsets) / sizeof(kChannelTriggerMuxOffsets[0]);

constexpr RouteRegisterIds<RouteController::kPxiTriggerCount> triggerLineRegisters() {
    RouteRegisterIds<RouteController::kPxiTriggerCount> ids{};
    for (unsigned line = 0; line < RouteController::kPxiTriggerCount; ++line)
        ids.id[line] = arm::wholeId(nIso::kRows[nIso::tRegisterSet::kRowOfOccurrenceMuxConfig + line]);
    return ids;
}
static_assert(nIso::kRows[nIso::tRegisterSet::kRowOfOccurrenceMuxConfig + RouteController::kPxiTriggerCount - 1]
                      .address == 0x38,
              "one routing mux per PXI trigger line");

constexpr RouteRegisterIds<kChannelTriggerMuxCount> channelTriggerMuxRegisters() {
    RouteRegisterIds<kChannelTriggerMuxCount> ids{};
    for (size_t i = 0; i < kChannelTriggerMuxCount; ++i)
        ids.id[i] = arm::wholeId(nChannel::kRows[arm::rowAt(
            nChannel::kRows, nChannel::tRegisterSet::tOccurrenceMuxConfigRegType::kDeclaredType,
            kChannelTriggerMuxOffsets[i], 0)]);
    return ids;
}
}  // namespace routeprogrammer

// The isolated FPGA's routing muxes 0x30 to 0x38, in line order: the position of a register is
// the PXI trigger line it drives.
inline constexpr RouteRegisterIds<RouteController::kPxiTriggerCount> kTriggerLineRegisters =
    routeprogrammer::triggerLineRegisters();
// The channel trigger muxes (0x022 start, 0x023 source, 0x024 sequence advance, 0x025, 0x027 main
// measure), disconnected with action 9; every other mux with action 8.
inline constexpr RouteRegisterIds<routeprogrammer::kChannelTriggerMuxCount> kChannelTriggerMuxRegisters =
    routeprogrammer::channelTriggerMuxRegisters();

class RouteProgrammer final : public atut::RouteProgrammerInterface {
public:
    using tStatus = nKZAPALS100::tStatus;

    // Both borrowed; no map, channel or register selected yet.
    RouteProgrammer(RouteController& routeController, tRouteProgrammerHelper& helper)
        : routeController_(routeController), helper_(helper) {}

    void beginProgramming(tStatus&) override {}
    // Kinds 0 to 2 select the map, the channel and the register; kind 3 programs the selected
    // register with the low 16 bits of the value; any other kind does nothing. The selector is
    // not used.
    void applyProgrammingAction(uint32_t selector, uint32_t kind, uint32_t value, tStatus& status) override;
    void endProgramming(tStatus&) override {}

private:
    // Disconnects the register, then, unless the value is the disconnect value, connects the
    // input at that position; the trigger line's output and the controller's hooks around it.
    void program(uint32_t position, tStatus& status);

    RouteController& routeController_;
    tRouteProgrammerHelper& helper_;
    uint32_t selection_ = 0;
    uint32_t channelIndex_ = 0xFFFFFFFF;
    uint32_t registerId_ = 0xFFFFFFFF;
};

}  // namespace kzvorn_driver
