#include "controllers/chargeBalanceController.h"

#include "controllers/channelControllers.h"

namespace kzvorn_driver {

namespace {

constexpr auto kBalancerWait = atut::Wait<atut::tSleepPrecise>().pausesUs(1, 128).deadlineUs(1000000).timeoutStatus(
    kStatusChargeBalanceTimeout);

static_assert(sizeof(ChargeBalanceRangeTable) == 4 * kChargeBalanceRangeCount * sizeof(uint32_t),
              "four columns of four words");
constexpr bool rowsFollowTheirRange() {
    for (unsigned r = 0; r < kChargeBalanceRangeCount; ++r) {
        if (ChargeBalanceRangeTable.completionBit[r] != 1u << (4 * r + 1)) return false;
        if (ChargeBalanceRangeTable.failureBit[r] != 1u << (4 * r + 2)) return false;
        if (ChargeBalanceRangeTable.rangeSelect[r] != 1u << r) return false;
        if (chargeBalanceRangeRow(uint8_t(1u << r)) != r) return false;
    }
    return true;
}
static_assert(rowsFollowTheirRange(), "row r: completion bit 4r + 1, failure bit 4r + 2, select bit r");

}  // namespace

ChargeBalanceController::ChargeBalanceController(tChannelMap& map, kdut::HardwareStateCheckerInterface& checker,
                                                 SubroutineDispatcher& dispatcher, tStatus& status)
    : lock_(status),
      map_(&map),
      handler_(&checker, kBalancerWait.timeoutCode),
      dispatcher_(&dispatcher) {}

uint16_t ChargeBalanceController::calculate(uint8_t rangeCode, tStatus& status) {
    if (status.isFatal()) return 0;
    const unsigned row = chargeBalanceRangeRow(rangeCode);
    if (row >= kChargeBalanceRangeCount) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusBadParameter);
        return 0;
    }
    const int32_t subroutineTimeout = static_cast<int32_t>(kStatusChargeBalanceSubroutineTimeout);
    nKZAPAL000::tAutoLock guard(lock_);
    dispatcher_->run(kSubroutineLine, ChargeBalanceRangeTable.calculationSubroutine[row], status);
    dispatcher_->wait(kSubroutineLine, kSubroutineWaitUs, subroutineTimeout, status);
    auto balancerStatus = map_->ChargeBalancerStatusRegT();
    if (status.isNotFatal()) {
        map_->ChargeBalancerControlRegT().writeRegister(ChargeBalanceRangeTable.rangeSelect[row], status, true);
        const uint32_t done = ChargeBalanceRangeTable.failureBit[row] | ChargeBalanceRangeTable.completionBit[row];
        atut::waitUntil(kBalancerWait, [&](tStatus& s) { return balancerStatus.readRegister(s); },
                        atut::anyBitSet(done), &handler_, status);
    }
    if (balancerStatus.getShadow() & ChargeBalanceRangeTable.failureBit[row])
        KZ_SET_CODE(status, kStatusChargeBalanceFailed);
    // The balancer is left finished even after a failed calculation.
    tStatus finishing;
    dispatcher_->run(kSubroutineLine, draviktools::kSubroutineChargeBalanceFinish, finishing);
    nKZAPALS100::merge(status, finishing);
    tStatus waiting;
    dispatcher_->wait(kSubroutineLine, kSubroutineWaitUs, subroutineTimeout, waiting);
    nKZAPALS100::merge(status, waiting);
    if (status.isFatal()) return 0;
    const uint16_t offset = map_->ChargeBalanceOffsetRegT(row).readChargeBalanceOffset(status);
    return status.isFatal() ? 0 : offset;
}

void ChargeBalanceController::setOffset(uint8_t rangeIndex, uint32_t offset, tStatus& status) {
    if (status.isFatal()) return;
    if (rangeIndex >= kChargeBalanceRangeCount) return void(KZ_SET_CODE(status, nKZAPALS100::kStatusBadParameter));
    nKZAPAL000::tAutoLock guard(lock_);
    // The field takes the offset's low 14 bits.
    map_->ChargeBalanceOffsetRegT(rangeIndex).writeChargeBalanceOffset(uint16_t(offset), status);
}

}  // namespace kzvorn_driver
