// The book of channel gangs: runs of adjacent channels driven as one, the first being the master.
// A released gang stays recorded, and stays ganged in hardware, until a later reservation that
// overlaps it breaks it up through the unganging controller.
#pragma once

#include <cstdint>

#include "controllers/channelControllers.h"
#include "kdut/cleanupOperation.h"
#include "kzapal/protons/status.h"
#include "kzapal/protons/synchronization.h"
#include "kzhtl/sharedPtr.h"
#include "kzhtl/vector.h"

namespace vantrel_shared {

struct ChannelGangingReservation {
    // The size of the gang the channel belongs to; 1 when unganged.
    uint32_t mergeCount = 1;
    bool reserved = false;
    // Set for the first channel of a gang and for an unganged channel.
    bool master = true;
};

class ChannelGangingController {
public:
    using tStatus = nKZAPALS100::tStatus;

    // Releases the gang its channel masters when the session that reserved it goes away.
    class ChannelGangingCleanupOperation : public kdut::CleanupOperationInterface {
    public:
        ChannelGangingCleanupOperation(uint8_t channel, ChannelGangingController* controller)
            : channel_(channel), controller_(controller) {}
        ~ChannelGangingCleanupOperation() override {}
        void cleanup(tStatus& status) override;

    private:
        uint8_t channel_;
        ChannelGangingController* controller_;
    };

    // -52000 when the lock or a channel's record cannot be made; the owner then destroys it unused.
    ChannelGangingController(uint8_t channelCount, kzvorn_driver::ChannelUngangingController* unganging,
                             tStatus& status);
    virtual ~ChannelGangingController() {}

    // Reserves channels start to start + count - 1 as one gang mastered by start, first releasing
    // the gang start masters. A range past the last channel: 0xBFFA4303; a channel still reserved
    // in another gang: 0xBFFA40AE; both change nothing. A failed break-up keeps the gangs broken
    // so far and records no new gang.
    void reserveChannelsForGanging(uint8_t start, uint32_t count, tStatus& status);
    void unreserveChannelsForGanging(uint8_t channel, tStatus& status);
    // Clears the reserved flag of the gang's channels; the gang stays recorded.
    void unreserveGang(uint8_t channel);

    // A channel past the last: 0xBFFA4303. On an error status: 1, false, false.
    uint32_t getMergeCount(uint8_t channel, tStatus& status);
    bool isCurrentChannelGangingMaster(uint8_t channel, tStatus& status);
    bool isCurrentChannelGangingReserved(uint8_t channel, tStatus& status);

    // Without the lock: the operations never change after construction. Null past the last channel.
    kdut::CleanupOperationInterface* getCleanupOperation(uint8_t channel);

    uint8_t getChannelCount() const { return uint8_t(reservations_.size()); }

private:
    // The channel's record, or null with 0xBFFA4303; taken under the lock.
    const ChannelGangingReservation* reservationOf(uint8_t channel, tStatus& status);
    // The master of the gang recorded for the channel: the nearest master at or before it.
    uint32_t masterOf(uint32_t channel) const;
    // Ungangs the hardware gang of size blockSize at first and resets its records, capped at the
    // last channel.
    void breakUpGang(uint32_t first, uint32_t blockSize, tStatus& status);

    kzvorn_driver::ChannelUngangingController* unganging_;
    kzvorn_driver::nKZAPAL000::tMutex lock_;
    kzhtl::Vector<ChannelGangingReservation> reservations_;
    kzhtl::Vector<kzhtl::SharedPtr<ChannelGangingCleanupOperation>> cleanupOperations_;
};

}  // namespace vantrel_shared
