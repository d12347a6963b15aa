// The per-open session: the platform session plus what the caller owns on the device: validity
// across resets, reserved channels, the cleanup operations of what it started, and its routing
// session.
#pragma once

#include <cstdint>

#include "atut/invalidatableSession.h"
#include "fendrelSharedSource/statusCodes.h"
#include "kdut/cleanupOperation.h"
#include "kdut/resetInvalidatableSession.h"
#include "kdut/resourceReservation.h"
#include "kzapal/protons/deviceCore.h"
#include "kzapal/protons/synchronization.h"

namespace kzark {
class RoutingSession;
class RoutingResourcesManager;
}  // namespace kzark

namespace fendrelsharedsource {

class CleanupOperationAccessor {
public:
    virtual ~CleanupOperationAccessor() {}
    virtual kdut::CleanupOperationComposite* getCleanupOperations() = 0;
};

class KernelSession : public kzvorn_driver::nKZAPAL000::tSession,
                      public atut::InvalidatableSession,
                      public CleanupOperationAccessor,
                      public kdut::ResourceReservationInterface,
                      public kdut::CleanupOperationInterface {
public:
    static constexpr uint32_t kCleanupCapacity = 80;

    KernelSession(kzvorn_driver::nKZAPAL000::tDeviceInterface* interface, const uint32_t* resetGeneration,
                  int32_t notHeldStatus, kdut::ResourceReservationManager* reservations,
                  kzark::RoutingResourcesManager* routing, uint32_t cleanupCapacity, nKZAPALS100::tStatus& status);
    ~KernelSession() override {}

    bool isValid() override { return resetInvalidation_.isValid(); }
    virtual void revalidate() { resetInvalidation_.revalidate(); }
    kdut::CleanupOperationComposite* getCleanupOperations() override {
        return cleanupOperations_.getCleanupOperations();
    }
    void reserve(kdut::CleanupOperationComposite* composite, uint64_t mask, nKZAPALS100::tStatus& status) override;
    void release(kdut::CleanupOperationComposite* composite, nKZAPALS100::tStatus& status) override;
    void require(uint64_t mask, nKZAPALS100::tStatus& status) override;
    // The session's own cleanup operation, registered first so that it runs last.
    void cleanup(nKZAPALS100::tStatus& status) override;

    void reserveResources(uint64_t mask, nKZAPALS100::tStatus& status) {
        reserve(getCleanupOperations(), mask, status);
    }
    void releaseResources(nKZAPALS100::tStatus& status) { release(getCleanupOperations(), status); }

    // None below the routing level, and none after the session's cleanup. Unguarded: for requests,
    // RoutingSessionUse.
    kzark::RoutingSession* getRoutingSession() const { return routingSession_.session; }
    void destroyRoutingSession();

    // A request's hold on the session's routing session. Requests of one session may run on
    // several threads at once, and the cleanup request destroys the routing session: while a hold
    // lives, that destruction waits, so no request goes on with a routing session already freed.
    // Lock order: this hold, then the routing session's own lock.
    class RoutingSessionUse {
    public:
        explicit RoutingSessionUse(KernelSession& session)
            : guard_(session.routingLock_), routing_(session.routingSession_.session) {}
        // None below the routing level and after the session's cleanup.
        kzark::RoutingSession* get() const { return routing_; }

    private:
        kzvorn_driver::nKZAPAL000::tAutoLock guard_;
        kzark::RoutingSession* routing_;
    };

private:
    // A failed creation leaves the status failed, so the open fails and the session is deleted
    // with the half-built routing session its owner holds.
    void createRoutingSession(kzark::RoutingResourcesManager* routing, nKZAPALS100::tStatus& status);

    // Destroys a routing session the cleanup set did not (a session invalidated before it closed,
    // or one whose open failed), after that set has run.
    struct RoutingSessionOwner {
        kzark::RoutingSession* session = nullptr;
        ~RoutingSessionOwner();
        void destroy();
    };

    // Destroyed in reverse: the cleanup set runs first, while the reservation still exists; the
    // lock outlives the routing session it guards.
    kzvorn_driver::nKZAPAL000::tMutex routingLock_;
    RoutingSessionOwner routingSession_;
    kdut::ResetInvalidatableSession resetInvalidation_;
    kdut::ResourceReservation reservation_;
    kdut::CleanupOperationSession cleanupOperations_;
};

}  // namespace fendrelsharedsource
