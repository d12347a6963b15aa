// A session's own way to the device's routing resources: it acts only on the routes it calculated,
// copies results to the caller's buffers, and destroys its routes when it ends or when the manager
// withdraws the resources. Every operation holds the session's recursive lock for its whole run;
// lock order manager, session, resources.
#pragma once

#include <cstdint>

#include "kzapal/protons/ioNotifier.h"
#include "kzapal/protons/synchronization.h"
#include "kzark/apalUserBufferWrapper.h"
#include "kzark/routingResourcesManager.h"
#include "kzhtl/vector.h"

namespace kzark {

// Requests may not send more seeds or destinations than this: larger counts are refused (-52005)
// before anything is allocated, so a count from user mode never sizes a kernel copy on its own.
constexpr uint32_t kMaxRouteCalculationCount = 65536;
constexpr uint32_t kRoutingInterfaceVersion = 1;

class RoutingSessionInterface {
public:
    using tStatus = nKZAPALS100::tStatus;
    virtual ~RoutingSessionInterface() {}

    virtual uint32_t queryVersion() = 0;
    virtual bool calculateRoute(uint64_t ownerTag, APALUserBufferWrapper& seeds, uint32_t seedCount,
                                APALUserBufferWrapper& destinations, uint32_t destinationCount, uint32_t flags,
                                APALUserBufferWrapper& possibilities, uint32_t& capacity, tStatus& status) = 0;
    virtual bool calculateRoute(uint64_t ownerTag, const RouteCalculationSeedBase* seeds, uint32_t seedCount,
                                const uint32_t* destinations, uint32_t destinationCount, uint32_t flags,
                                APALUserBufferWrapper& possibilities, uint32_t& capacity, tStatus& status) = 0;
    virtual void destroyRoute(uint32_t routeId) = 0;
    virtual void reserveRoute(uint32_t routeId, APALUserBufferWrapper& conflicts, uint32_t& capacity,
                              tStatus& status) = 0;
    virtual void programRoute(uint32_t routeId, tStatus& status) = 0;
    virtual void unreserveRoute(uint32_t routeId) = 0;
    virtual void unprogramRoute(uint32_t routeId) = 0;
    virtual void resetTerminal(uint32_t terminalId, uint32_t mode, tStatus& status) = 0;
    virtual uint32_t calculateResetTerminal(uint64_t ownerTag, uint32_t terminalId, uint32_t mode,
                                            tStatus& status) = 0;
    virtual void getRouteTerminalPath(uint32_t routeId, APALUserBufferWrapper& path, uint32_t& capacity,
                                      tStatus& status) = 0;
    virtual void getTopographyName(APALUserBufferWrapper& name, tStatus& status) = 0;
    virtual void demoteSession() = 0;
    virtual void setRoutingResources(RoutingResourcesInterface* resources) = 0;
    virtual void clearRoutingResources() = 0;
};

class RoutingSessionBase : public RoutingSessionInterface {
public:
    static constexpr uint32_t kInlineSlots = 16;

    uint32_t queryVersion() override { return kRoutingInterfaceVersion; }
    // Reads exactly count x 12 bytes of seeds and count x 4 bytes of destinations from offset 0; a
    // smaller buffer, or a count above kMaxRouteCalculationCount: -52005.
    bool calculateRoute(uint64_t ownerTag, APALUserBufferWrapper& seeds, uint32_t seedCount,
                        APALUserBufferWrapper& destinations, uint32_t destinationCount, uint32_t flags,
                        APALUserBufferWrapper& possibilities, uint32_t& capacity, tStatus& status) override;
    // capacity: the caller's in records on entry, the number of routes found on return (also when
    // they do not fit: -52019, and none of them stays).
    bool calculateRoute(uint64_t ownerTag, const RouteCalculationSeedBase* seeds, uint32_t seedCount,
                        const uint32_t* destinations, uint32_t destinationCount, uint32_t flags,
                        APALUserBufferWrapper& possibilities, uint32_t& capacity, tStatus& status) override;
    void destroyRoute(uint32_t routeId) override;
    // capacity: on return the number of conflict records written (at most the caller's capacity).
    void reserveRoute(uint32_t routeId, APALUserBufferWrapper& conflicts, uint32_t& capacity,
                      tStatus& status) override;
    void programRoute(uint32_t routeId, tStatus& status) override;
    void unreserveRoute(uint32_t routeId) override;
    void unprogramRoute(uint32_t routeId) override;
    void resetTerminal(uint32_t terminalId, uint32_t mode, tStatus& status) override;
    uint32_t calculateResetTerminal(uint64_t ownerTag, uint32_t terminalId, uint32_t mode, tStatus& status) override;
    // Any route of the device; capacity: the path's length on return.
    void getRouteTerminalPath(uint32_t routeId, APALUserBufferWrapper& path, uint32_t& capacity,
                              tStatus& status) override;
    void getTopographyName(APALUserBufferWrapper& name, tStatus& status) override;
    void demoteSession() override {}
    void setRoutingResources(RoutingResourcesInterface* resources) override;
    void clearRoutingResources() override;

    bool isValid() const { return valid_ != 0; }
    RoutingSessionLink& link() { return link_; }
    // For diagnostics and tests, without the lock.
    const kzhtl::Vector<uint32_t>& routeIds() const { return routeIds_; }
    bool hasRoutingResources() const { return resources_ != nullptr; }

protected:
    // Valid when the status is good at the end. The most derived constructor registers a valid
    // session with the manager (joinManager) once it is whole.
    RoutingSessionBase(RoutingResourcesManagerInterface* manager, tStatus& status);
    ~RoutingSessionBase() override;
    RoutingSessionBase(const RoutingSessionBase&) = delete;
    RoutingSessionBase& operator=(const RoutingSessionBase&) = delete;

    // Registers a valid session with the manager, from the end of the most derived constructor: a
    // reset's teardown may reach every registered session from another thread at once, and must not
    // find one whose construction (its type's virtual functions) has not finished.
    void joinManager();
    // Unregisters a registered session once; the destructors call it before anything of theirs
    // goes, so the manager never reaches a session that is half destroyed.
    void leaveManager();

    kzvorn_driver::nKZAPAL000::tMutex mutex_;

private:
    // The index of the id in the list, or the list's size.
    size_t indexOf(uint32_t routeId) const;
    bool owns(uint32_t routeId) const { return indexOf(routeId) != routeIds_.size(); }
    // The resources, or null with -52020.
    RoutingResourcesInterface* resourcesFor(tStatus& status);
    void destroyInResources(RoutingResourcesInterface& resources, const RoutePossibilityBase* records,
                            uint32_t count);

    RoutingSessionLink link_;
    RoutingResourcesManagerInterface* manager_;
    RoutingResourcesInterface* resources_ = nullptr;
    kzhtl::Vector<uint32_t> routeIds_;
    uint8_t valid_ = 0;
    bool registered_ = false;
    RouteCalculationSeedBase seedSlots_[kInlineSlots] = {};
    uint32_t destinationSlots_[kInlineSlots] = {};
};

class RoutingSession : public RoutingSessionBase {
public:
    // Allocate with the status-reporting operator new; a session whose status holds an error
    // afterwards is deleted again by its creator.
    RoutingSession(RoutingResourcesManagerInterface* manager, tStatus& status) : RoutingSessionBase(manager, status) {
        joinManager();
    }
    // Leaves the manager first (its routes destroyed), then closes the notifier with its closing
    // message.
    ~RoutingSession() override;

    // One notification without payload when the notifier is open; a failed send is dropped.
    void demoteSession() override;

    // The notifier of type 0x80000000, under the session's lock. Opening an open notifier closes it
    // first.
    void openNotifier(const kzvorn_driver::nKZAPAL000::tIONotifierParams& params, tStatus& status);
    void closeNotifier();
    bool isNotifierOpen();

private:
    kzvorn_driver::nKZAPAL000::tIONotifier notifier_;
};

}  // namespace kzark
