// Channel reservation: the device-wide union of reserved resources (one bit per channel) and, per
// session, the bits that session holds.
#pragma once

#include <cstdint>

#include "kdut/cleanupOperation.h"
#include "kzapal/protons/synchronization.h"

namespace kdut {

class ResourceReservationManager {
public:
    ResourceReservationManager(int32_t alreadyReservedStatus, int32_t notReservedStatus, int32_t invalidResourceStatus,
                               uint64_t validMask, nKZAPALS100::tStatus& status);
    // Every bit is valid.
    ResourceReservationManager(int32_t alreadyReservedStatus, int32_t notReservedStatus, nKZAPALS100::tStatus& status);
    virtual ~ResourceReservationManager() {}
    ResourceReservationManager(const ResourceReservationManager&) = delete;
    ResourceReservationManager& operator=(const ResourceReservationManager&) = delete;

    // A bit outside the valid mask, or one already reserved, changes nothing.
    virtual void reserve(uint64_t mask, nKZAPALS100::tStatus& status);
    // Every bit of the mask must be reserved, else nothing changes.
    virtual void release(uint64_t mask, nKZAPALS100::tStatus& status);

    uint64_t getReservedMask();

private:
    int32_t alreadyReservedStatus_;
    int32_t notReservedStatus_;
    int32_t invalidResourceStatus_;
    uint64_t validMask_;
    kzvorn_driver::nKZAPAL000::tMutex mutex_;
    uint64_t reservedMask_ = 0;
};

class ResourceReservationInterface {
public:
    virtual ~ResourceReservationInterface() {}
    virtual void reserve(CleanupOperationComposite* composite, uint64_t mask, nKZAPALS100::tStatus& status) = 0;
    virtual void release(CleanupOperationComposite* composite, nKZAPALS100::tStatus& status) = 0;
    virtual void require(uint64_t mask, nKZAPALS100::tStatus& status) = 0;
};

// One session's part. Its cleanup operation returns every bit the session holds.
class ResourceReservation : public ResourceReservationInterface, public CleanupOperationInterface {
public:
    ResourceReservation(int32_t notHeldStatus, ResourceReservationManager* manager, nKZAPALS100::tStatus& status);
    ~ResourceReservation() override {}

    // A further reservation adds its bits to those held; the cleanup operation is registered once.
    void reserve(CleanupOperationComposite* composite, uint64_t mask, nKZAPALS100::tStatus& status) override;
    void release(CleanupOperationComposite* composite, nKZAPALS100::tStatus& status) override;
    void require(uint64_t mask, nKZAPALS100::tStatus& status) override;
    void cleanup(nKZAPALS100::tStatus& status) override;

    uint64_t getHeldMask();

private:
    int32_t notHeldStatus_;
    kzvorn_driver::nKZAPAL000::tMutex mutex_;
    ResourceReservationManager* manager_;
    uint64_t heldMask_ = 0;
};

}  // namespace kdut
