#include "kzark/routingResourcesManager.h"

#include "kzark/routingSession.h"

namespace kzark {

using kzvorn_driver::nKZAPAL000::tAutoLock;

RoutingResourcesManager::RoutingResourcesManager(nKZAPALS100::tStatus& status) : mutex_(status) {}

void RoutingResourcesManager::setRoutingResources(RoutingResourcesInterface* resources) {
    tAutoLock lock(mutex_);
    resources_ = resources;
    for (RoutingSessionLink* l = sessions_.next; l != &sessions_; l = l->next) l->session->setRoutingResources(resources);
}

void RoutingResourcesManager::clearRoutingResources() {
    tAutoLock lock(mutex_);
    while (sessions_.isLinked()) {
        RoutingSessionLink* first = sessions_.next;
        first->unlink();
        first->session->clearRoutingResources();
        first->session->demoteSession();
        first->release();
    }
    resources_ = nullptr;
}

void RoutingResourcesManager::registerRoutingSession(RoutingSessionBase* session) {
    tAutoLock lock(mutex_);
    if (resources_ != nullptr) session->setRoutingResources(resources_);
    session->link().insertBefore(sessions_);
}

void RoutingResourcesManager::unregisterRoutingSession(RoutingSessionBase* session) {
    tAutoLock lock(mutex_);
    if (!session->link().isLinked()) return;
    session->link().unlink();
    session->clearRoutingResources();
    session->link().release();
}

bool RoutingResourcesManager::isRegistered(const RoutingSessionBase* session) {
    tAutoLock lock(mutex_);
    for (RoutingSessionLink* l = sessions_.next; l != &sessions_; l = l->next)
        if (l->session == session) return true;
    return false;
}

size_t RoutingResourcesManager::sessionCount() {
    tAutoLock lock(mutex_);
    size_t count = 0;
    for (RoutingSessionLink* l = sessions_.next; l != &sessions_; l = l->next) ++count;
    return count;
}

RoutingResourcesInterface* RoutingResourcesManager::getRoutingResources() {
    tAutoLock lock(mutex_);
    return resources_;
}

}  // namespace kzark
