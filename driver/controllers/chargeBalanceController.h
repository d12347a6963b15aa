// The charge balancer of one isolated channel: one 14-bit offset register per range, measured by
// the balancer with the help of the channel's sequencer, or loaded from the stored calibration.
#pragma once

#include <cstdint>

#include "atut/poller.h"
#include "controllers/chargeBalanceControllerInterface.h"
#include "controllers/subroutineDispatcher.h"
#include "dravikTools/systemSubroutineIds.h"
#include "kdut/checkHardwareStateTimeoutHandler.h"
#include "kdut/hardwareStateChecker.h"
#include "kzapal/protons/synchronization.h"
#include "kzvorn_regMaps/TolvaneRegisterMap_TolvaneIsoChannelRegMap.h"

namespace kzvorn_driver {

// The balancer reported neither completion nor failure in time.
constexpr int64_t kStatusChargeBalanceTimeout = KZ_DEVICE_CODE(0xBFFA4694);
// The balancer reported that the range's calculation failed.
constexpr int64_t kStatusChargeBalanceFailed = KZ_DEVICE_CODE(0xBFFA4695);
// A charge-balance subroutine's line stayed latched, or the channel busy, past its wait.
constexpr int64_t kStatusChargeBalanceSubroutineTimeout = KZ_DEVICE_CODE(0xBFFA90F3);

constexpr unsigned kChargeBalanceRangeCount = 4;

// Row r belongs to range code 1 << r; stored column after column.
struct ChargeBalanceRangeColumns {
    // Bits of the balancer's status register.
    uint32_t failureBit[kChargeBalanceRangeCount];
    uint32_t completionBit[kChargeBalanceRangeCount];
    // The balancer's control register value that selects the range.
    uint32_t rangeSelect[kChargeBalanceRangeCount];
    draviktools::SubroutineId calculationSubroutine[kChargeBalanceRangeCount];
};

inline constexpr ChargeBalanceRangeColumns ChargeBalanceRangeTable = {
    {0x4, 0x40, 0x400, 0x4000},
    {0x2, 0x20, 0x200, 0x2000},
    {0x1, 0x2, 0x4, 0x8},
    {draviktools::kSubroutineChargeBalance[0], draviktools::kSubroutineChargeBalance[1],
     draviktools::kSubroutineChargeBalance[2], draviktools::kSubroutineChargeBalance[3]},
};

// The row of a one-hot range code 1, 2, 4 or 8; kChargeBalanceRangeCount (no row) for any other.
constexpr unsigned chargeBalanceRangeRow(uint8_t rangeCode) {
    for (unsigned row = 0; row < kChargeBalanceRangeCount; ++row)
        if (rangeCode == (1u << row)) return row;
    return kChargeBalanceRangeCount;
}

class ChargeBalanceController final : public ChargeBalanceControllerInterface {
public:
    using tStatus = nKZAPALS100::tStatus;
    using tChannelMap = kzvorn_regmaps::tTolvaneIsoChannelRegMap;

    // The map, checker and dispatcher are the channel's and are borrowed. -52000 when the lock
    // cannot be made; no lock is made on an error status.
    ChargeBalanceController(tChannelMap& map, kdut::HardwareStateCheckerInterface& checker,
                            SubroutineDispatcher& dispatcher, tStatus& status);
    ~ChargeBalanceController() override {}
    ChargeBalanceController(const ChargeBalanceController&) = delete;
    ChargeBalanceController& operator=(const ChargeBalanceController&) = delete;

    // Runs the range's calculation subroutine, selects the range in the balancer, waits for it and
    // reads the range's offset; the finishing subroutine runs whatever happened. A code other than
    // 1, 2, 4 or 8: -52005 and 0, before anything runs. 0 on any error.
    uint16_t calculate(uint8_t rangeCode, tStatus& status) override;
    // Range index 0 to 3 (others: -52005, no access); written only when the offset changes it.
    void setOffset(uint8_t rangeIndex, uint32_t offset, tStatus& status) override;

private:
    nKZAPAL000::tMutex lock_;
    tChannelMap* map_;
    kdut::CheckHardwareStateTimeoutHandler handler_;
    SubroutineDispatcher* dispatcher_;
};

}  // namespace kzvorn_driver
