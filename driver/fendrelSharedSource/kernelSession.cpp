#include "fendrelSharedSource/kernelSession.h"

#include "kzapal/protons/memory.h"
#include "kzark/routingSession.h"

namespace fendrelsharedsource {

using kzvorn_driver::nKZAPAL000::tAutoLock;
using nKZAPALS100::tStatus;

KernelSession::KernelSession(kzvorn_driver::nKZAPAL000::tDeviceInterface* interface, const uint32_t* resetGeneration,
                             int32_t notHeldStatus, kdut::ResourceReservationManager* reservations,
                             kzark::RoutingResourcesManager* routing, uint32_t cleanupCapacity, tStatus& status)
    : tSession(interface, status),
      atut::InvalidatableSession(static_cast<int32_t>(kStatusSessionInvalidated)),
      routingLock_(status),
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

void KernelSession::createRoutingSession(kzark::RoutingResourcesManager* routing, tStatus& status) {
    if (status.isFatal() || routing == nullptr) return;
    routingSession_.session = new (status) kzark::RoutingSession(routing, status);
}

void KernelSession::destroyRoutingSession() {
    tAutoLock guard(routingLock_);
    routingSession_.destroy();
}

KernelSession::RoutingSessionOwner::~RoutingSessionOwner() { destroy(); }

void KernelSession::RoutingSessionOwner::destroy() {
    delete session;
    session = nullptr;
}

}  // namespace fendrelsharedsource
