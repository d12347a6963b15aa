// Links the device's routing resources to the routing sessions of the open sessions: hands them
// out when IO runs and withdraws them, destroying every session's routes, when IO is suspended.
// Lock order: manager, then session, then resources.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kzapal/protons/synchronization.h"
#include "kzark/routingResourcesInterface.h"

namespace kzark {

class RoutingSessionBase;

// A session's place in the manager's list; unlinked, it points at itself.
// The links change only under the manager's lock. `listed` may be read without it: it falls to 0
// only once the manager is done with the session.
struct RoutingSessionLink {
    RoutingSessionLink* next = this;
    RoutingSessionLink* previous = this;
    RoutingSessionBase* session = nullptr;
    uint8_t listed = 0;

    bool isLinked() const { return next != this; }
    bool isListed() const { return __atomic_load_n(&listed, __ATOMIC_ACQUIRE) != 0; }
    void unlink() {
        previous->next = next;
        next->previous = previous;
        next = previous = this;
    }
    void release() { __atomic_store_n(&listed, uint8_t{0}, __ATOMIC_RELEASE); }
    void insertBefore(RoutingSessionLink& position) {
        next = &position;
        previous = position.previous;
        position.previous->next = this;
        position.previous = this;
        __atomic_store_n(&listed, uint8_t{1}, __ATOMIC_RELEASE);
    }
};

class RoutingResourcesManagerInterface {
public:
    virtual ~RoutingResourcesManagerInterface() {}

    virtual void setRoutingResources(RoutingResourcesInterface* resources) = 0;
    virtual void clearRoutingResources() = 0;
    virtual void registerRoutingSession(RoutingSessionBase* session) = 0;
    virtual void unregisterRoutingSession(RoutingSessionBase* session) = 0;
};

class RoutingResourcesManager : public RoutingResourcesManagerInterface {
public:
    // No resources, no sessions; -52000 when the lock cannot be made.
    explicit RoutingResourcesManager(nKZAPALS100::tStatus& status);
    ~RoutingResourcesManager() override {}
    RoutingResourcesManager(const RoutingResourcesManager&) = delete;
    RoutingResourcesManager& operator=(const RoutingResourcesManager&) = delete;

    // To every listed session, in list order.
    void setRoutingResources(RoutingResourcesInterface* resources) override;
    // Every session leaves the list, loses its routes and resources, and is demoted.
    void clearRoutingResources() override;
    // Appended at the tail, with the resources when the manager holds them.
    void registerRoutingSession(RoutingSessionBase* session) override;
    // Only a listed session: unlinked, and its routes and resources dropped.
    void unregisterRoutingSession(RoutingSessionBase* session) override;

    // For diagnostics and tests.
    bool isRegistered(const RoutingSessionBase* session);
    size_t sessionCount();
    RoutingResourcesInterface* getRoutingResources();

private:
    RoutingResourcesInterface* resources_ = nullptr;
    // The head of a circular doubly linked list through the sessions' own links.
    RoutingSessionLink sessions_;
    kzvorn_driver::nKZAPAL000::tMutex mutex_;
};

}  // namespace kzark
