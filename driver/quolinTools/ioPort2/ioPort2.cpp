#include "quolinTools/ioPort2/ioPort2.h"

#include "atut/poller.h"
#include "quolinTools/statusCodes.h"

namespace quolintools {

namespace {

using tControl = IOPort2::tMap::tIoPort2ControlStatusRegister;

// The link's state: the enable bit and status bit 7.
constexpr uint64_t kEnabled = arm::fieldMask(tControl::kEnable);
constexpr uint64_t kConfigured = arm::fieldMask(tControl::kStatusBit7);
constexpr uint64_t kLinkState = kEnabled | kConfigured;

// The link-state wait: 1 us between reads, 500 ms in all.
constexpr auto kLinkWait =
    atut::Wait<atut::tSleepPrecise>().pausesUs(1, 1).deadlineUs(500000).timeoutStatus(kStatusIOPort2LinkTimedOut);

constexpr uint32_t kRegister0CMode = 2;

}  // namespace

void IOPort2::waitForState(uint64_t state, tStatus& status) {
    auto control = map_->IoPort2ControlStatusRegister();
    atut::waitUntil(kLinkWait, [&](tStatus& s) { return control.readRegister(s); },
                    atut::maskedEquals(kLinkState, state), status);
}

void IOPort2::configure(tStatus& status) {
    if (status.isFatal()) return;
    auto register0C = map_->IoPort2Register0C();
    register0C.setBits1_0(kRegister0CMode, status);
    register0C.flush(status, true);

    map_->IoPort2Register08()
        .setConfigBits8to14(configBits8to14_, status)
        .setConfigBits16to22(configBits16to22_, status)
        .setConfigBits24to29(configBits24to29_, status)
        .setPllRange(pllRange_, status)
        .setConfigBits0to1(configBits0to1_, status)
        .flush(status);

    map_->IoPort2ControlStatusRegister()
        .setControlBit2(controlBit2_, status)
        .setControlBit1(controlBit1_, status)
        .setEnable(false, status)
        .flush(status);

    waitForState(kConfigured, status);
}

void IOPort2::enable(tStatus& status) {
    if (status.isFatal()) return;
    map_->IoPort2ControlStatusRegister().setEnable(true, status).flush(status, true);
    waitForState(kEnabled, status);
}

bool IOPort2::readStatusBit7(tStatus& status) { return map_->IoPort2ControlStatusRegister().readStatusBit7(status); }

}  // namespace quolintools
