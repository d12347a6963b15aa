#include "controllers/routeProgrammer.h"

#include "kzark/topInfo.h"

namespace kzvorn_driver {

namespace {

using nKZAPALS100::tStatus;
using tMuxConfig = kzvorn_regmaps::nTolvaneIsoFpgaRegMap::tRegisterSet::tOccurrenceMuxConfigRegType;

// Mux configuration words: an action (bits 28-31) on an input position (bits 16-23). Actions 8 and
// 9 disconnect whatever the mux routes; 1 enables (connects) the input at the position.
constexpr uint32_t kConnectAction = 1;
constexpr uint32_t kDisconnectAction = 8;
constexpr uint32_t kChannelTriggerDisconnectAction = 9;

constexpr uint32_t muxWord(uint32_t action, uint32_t position) {
    return (action << tMuxConfig::kOccurrenceMuxAction.low) | (position << tMuxConfig::kOccurrenceMuxPosition.low);
}

template <size_t N>
int indexOf(const RouteRegisterIds<N>& ids, uint32_t registerId) {
    for (size_t i = 0; i < N; ++i)
        if (ids.id[i] == registerId) return int(i);
    return -1;
}

}  // namespace

void RouteProgrammer::applyProgrammingAction(uint32_t, uint32_t kind, uint32_t value, tStatus& status) {
    if (status.isFatal()) return;
    switch (kind) {
        case kzark::kActionSelectRegMap: selection_ = value; return;
        case kzark::kActionSelectChannel: channelIndex_ = value; return;
        case kzark::kActionSelectRegister: registerId_ = value; return;
        case kzark::kActionProgramValue: program(value & 0xFFFF, status); return;
        default: return;
    }
}

void RouteProgrammer::program(uint32_t position, tStatus& status) {
    const int line = indexOf(kTriggerLineRegisters, registerId_);
    if (line >= 0) routeController_.disableTriggerLine(uint64_t(line), status);
    routeController_.routeDisconnecting(registerId_, status);
    const bool channelTrigger = indexOf(kChannelTriggerMuxRegisters, registerId_) >= 0;
    helper_.writeRegisterAndValue(selection_, registerId_, channelIndex_,
                                  muxWord(channelTrigger ? kChannelTriggerDisconnectAction : kDisconnectAction, 0),
                                  status);
    if (position == kzark::kDisconnectValue) return;
    helper_.writeRegisterAndValue(selection_, registerId_, channelIndex_, muxWord(kConnectAction, position), status);
    if (line >= 0) routeController_.enableTriggerLine(uint64_t(line), status);
    routeController_.routeConnected(registerId_, status);
}

}  // namespace kzvorn_driver
