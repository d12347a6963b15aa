#include "quolinTools/ioPort2/ioPort2.h"

#include "atut/poller.h"
#include "kzapal/quarks/time.h"

namespace quolintools {

namespace {

using tLinkPoller = atut::Poller<kzvorn_driver::nKZAPAL000::tTimeout<kzvorn_driver::nKZAPAL000::tTimeWasterSleep,
                                                                     kzvorn_driver::nKZAPAL000::tTimebasePrecise>>;

constexpr uint32_t kEnable = 0x01;
constexpr uint32_t kStatusBit7 = 0x80;
constexpr uint32_t kStateMask = kStatusBit7 | kEnable;

constexpr uint64_t kLinkPauseUs = 1;
constexpr uint64_t kLinkTimeoutUs = 500000;
constexpr int32_t kLinkTimeout = static_cast<int32_t>(0xBFFA807A);

constexpr uint32_t kRegister0CMode = 2;

}  // namespace

void IOPort2::waitForState(uint32_t state, tStatus& status) {
    arm::Register control = map_->IoPort2ControlStatusRegister();
    const tLinkPoller poller(kLinkPauseUs, kLinkPauseUs, kLinkTimeout);
    poller.poll(control, &arm::Register::readRegister, state, kStateMask, kLinkTimeoutUs, true, atut::kPollEqual,
                status);
}

void IOPort2::configure(tStatus& status) {
    if (status.isFatal()) return;
    auto register0C = map_->IoPort2Register0C();
    register0C.setField(0, kRegister0CMode, status);
    register0C.flush(status, true);

    auto register08 = map_->IoPort2Register08();
    register08.setField(8, configBits8to14_, status);
    register08.setField(16, configBits16to22_, status);
    register08.setField(24, configBits24to29_, status);
    register08.setField(4, pllRange_, status);
    register08.setField(0, configBits0to1_, status);
    register08.flush(status);

    auto control = map_->IoPort2ControlStatusRegister();
    control.setField(2, controlBit2_, status);
    control.setField(1, controlBit1_, status);
    control.setField(0, 0, status);
    control.flush(status);

    waitForState(kStatusBit7, status);
}

void IOPort2::enable(tStatus& status) {
    if (status.isFatal()) return;
    auto control = map_->IoPort2ControlStatusRegister();
    control.setField(0, 1, status);
    control.flush(status, true);
    waitForState(kEnable, status);
}

bool IOPort2::readStatusBit7(tStatus& status) {
    return (map_->IoPort2ControlStatusRegister().readRegister(status) & kStatusBit7) != 0;
}

}  // namespace quolintools
