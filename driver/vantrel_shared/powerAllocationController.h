// The channels' shared power budget, in microwatts. An increase is taken from the budget when it is
// staged, so two channels cannot promise themselves the same headroom; a decrease is handed back
// only when it is committed.
#pragma once

#include <cstdint>

#include "kzapal/protons/status.h"
#include "kzapal/protons/synchronization.h"
#include "kzhtl/vector.h"

namespace vantrel_shared {

class PowerAllocationController {
public:
    using tStatus = nKZAPALS100::tStatus;

    struct ChannelAllocation {
        int64_t committed = 0;
        int64_t staged = 0;
        bool pending = false;
    };

    // -52000 when the lock or the allocations cannot be made; the owner then destroys it unused.
    PowerAllocationController(uint32_t totalBudget, uint64_t channelCount, tStatus& status);
    virtual ~PowerAllocationController() {}

    // Lowering the total while anything is committed or staged: 0xBFFA4331, nothing changes.
    virtual void setTotalBudget(uint32_t total, tStatus& status);
    // Returns the budget left (low 32 bits), also when the increase is refused with 0xBFFA40A9.
    virtual uint32_t stagePowerAllocation(uint8_t channel, uint32_t allocation, tStatus& status);
    virtual void commitPowerAllocation(uint8_t channel, tStatus& status);
    virtual void discardPowerAllocation(uint8_t channel, tStatus& status);
    virtual uint32_t getActualPowerAllocation(uint8_t channel, tStatus& status);

    int64_t totalBudget() const { return total_; }
    int64_t availableBudget() const { return available_; }

private:
    // The channel's record; null with 0xBFFA4303 for a channel past the last, before the vector is
    // touched (the requests check the channel, this account does not rely on it).
    ChannelAllocation* allocationOf(uint8_t channel, tStatus& status);

    int64_t total_;
    int64_t available_;
    kzhtl::Vector<ChannelAllocation> allocations_;
    kzvorn_driver::nKZAPAL000::tMutex lock_;
};

}  // namespace vantrel_shared
