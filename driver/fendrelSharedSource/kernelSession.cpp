#include "fendrelSharedSource/kernelSession.h"

namespace fendrelsharedsource {

using nKZAPALS100::tStatus;

KernelSession::KernelSession(kzvorn_driver::nKZAPAL000::tDeviceInterface* interface, const uint32_t* resetGeneration,
                             int32_t notHeldStatus, kdut::ResourceReservationManager* reservations,
                             kzark::RoutingResourcesManager* routing, uint32_t cleanupCapacity, tStatus& status)
    : tSession(interface, status),
      atut::InvalidatableSession(static_cast<int32_t>(kStatusSessionInvalidated)),
      resetInvalidation_(resetGeneration, static_cast<int32_t>(kStatusSessionInvalidated)),
      reservation_(notHeldStatus, reservations, status),
      cleanupOperations_(cleanupCapacity, &resetInvalidation_, status) {
    if (status.isFatal()) return;
    createRoutingSession(routing, status);
    getCleanupOperations()->add(this, status);
}

void KernelSession::reserve(kdut::CleanupOperationComposite* composite, uint64_t mask, tStatus& status) {
    if (status.isNotFatal()) reservation_.reserve(composite, mask, status);
}

void KernelSession::release(kdut::CleanupOperationComposite* composite, tStatus& status) {
    if (status.isNotFatal()) reservation_.release(composite, status);
}

void KernelSession::require(uint64_t mask, tStatus& status) {
    if (status.isNotFatal()) reservation_.require(mask, status);
}

void KernelSession::cleanup(tStatus& status) {
    if (status.isNotFatal()) destroyRoutingSession();
}

// The routing sessions arrive with the routing resources (level 17); until then no manager is
// handed in and a session has none.
void KernelSession::createRoutingSession(kzark::RoutingResourcesManager* routing, tStatus& status) {}

void KernelSession::destroyRoutingSession() { routingSession_ = nullptr; }

}  // namespace fendrelsharedsource
