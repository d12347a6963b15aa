#include "kzark/routingSession.h"

#include "kzapal/protons/memory.h"
#include "kzapal/protons/statusCodes.h"
#include "kzhtl/allocator.h"

namespace kzark {

using kzvorn_driver::nKZAPAL000::tAutoLock;
using nKZAPALS100::tStatus;

namespace {

// A size in bytes of count records, for one copy; -52005 when it does not fit a copy's 32 bits.
uint32_t bytesOf(uint32_t count, uint32_t recordSize, tStatus& status) {
    const uint64_t bytes = uint64_t(count) * recordSize;
    if (bytes > UINT32_MAX) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusBadParameter);
        return 0;
    }
    return uint32_t(bytes);
}

// An array of count records read whole from offset 0 of the buffer: the inline slots for up to
// 16, otherwise a zeroed allocation the caller releases (when it differs from the slots).
template <class T, uint32_t kSlots>
T* readRecords(APALUserBufferWrapper& buffer, uint32_t count, T (&slots)[kSlots], tStatus& status) {
    if (status.isFatal() || count == 0) return nullptr;
    if (count > kMaxRouteCalculationCount || buffer.getSize() < uint64_t(count) * sizeof(T)) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusBadParameter);
        return nullptr;
    }
    T* records = slots;
    if (count > kSlots) {
        records = kzhtl::detail::allocateArray<T>(count, status);
        if (records == nullptr) return nullptr;
    }
    for (uint32_t i = 0; i < count; ++i) records[i] = T{};
    buffer.readFromBuffer(0, records, uint32_t(count * sizeof(T)), status);
    return records;
}

template <class T, uint32_t kSlots>
void releaseRecords(T* records, T (&slots)[kSlots]) {
    if (records != slots) kzhtl::detail::releaseArray(records);
}

size_t nameLength(const char* name) {
    size_t length = 0;
    while (name != nullptr && name[length] != '\0') ++length;
    return length;
}

}  // namespace

RoutingSessionBase::RoutingSessionBase(RoutingResourcesManagerInterface* manager, tStatus& status)
    : mutex_(status), manager_(manager) {
    link_.session = this;
    valid_ = status.isNotFatal() ? 1 : 0;
}

void RoutingSessionBase::joinManager() {
    if (!valid_ || manager_ == nullptr || registered_) return;
    manager_->registerRoutingSession(this);
    registered_ = true;
}

RoutingSessionBase::~RoutingSessionBase() { leaveManager(); }

// A session the manager already took off its list (when it withdrew the resources, as the routing
// step's teardown does before the manager goes) has nothing to leave: the manager may be gone.
void RoutingSessionBase::leaveManager() {
    if (!registered_) return;
    registered_ = false;
    if (link_.isListed()) manager_->unregisterRoutingSession(this);
}

size_t RoutingSessionBase::indexOf(uint32_t routeId) const {
    size_t i = 0;
    while (i < routeIds_.size() && routeIds_[i] != routeId) ++i;
    return i;
}

RoutingResourcesInterface* RoutingSessionBase::resourcesFor(tStatus& status) {
    if (resources_ == nullptr) KZ_SET_CODE(status, nKZAPALS100::kStatusNotStarted);
    return resources_;
}

void RoutingSessionBase::destroyInResources(RoutingResourcesInterface& resources, const RoutePossibilityBase* records,
                                            uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) resources.destroyRoute(records[i].routeId);
}

bool RoutingSessionBase::calculateRoute(uint64_t ownerTag, APALUserBufferWrapper& seeds, uint32_t seedCount,
                                        APALUserBufferWrapper& destinations, uint32_t destinationCount, uint32_t flags,
                                        APALUserBufferWrapper& possibilities, uint32_t& capacity, tStatus& status) {
    if (!valid_ || status.isFatal()) return false;
    tAutoLock lock(mutex_);
    RouteCalculationSeedBase* seedArray = readRecords(seeds, seedCount, seedSlots_, status);
    uint32_t* destinationArray = readRecords(destinations, destinationCount, destinationSlots_, status);
    const bool result = calculateRoute(ownerTag, seedArray, seedCount, destinationArray, destinationCount, flags,
                                       possibilities, capacity, status);
    releaseRecords(destinationArray, destinationSlots_);
    releaseRecords(seedArray, seedSlots_);
    return result;
}

bool RoutingSessionBase::calculateRoute(uint64_t ownerTag, const RouteCalculationSeedBase* seeds, uint32_t seedCount,
                                        const uint32_t* destinations, uint32_t destinationCount, uint32_t flags,
                                        APALUserBufferWrapper& possibilities, uint32_t& capacity, tStatus& status) {
    if (!valid_ || status.isFatal()) return false;
    tAutoLock lock(mutex_);
    RoutingResourcesInterface* resources = resourcesFor(status);
    if (resources == nullptr) return false;
    const AllocHelper helper = resources->getAllocHelper();
    RoutePossibilityBase* records = nullptr;
    uint32_t found = 0;
    bool result = resources->calculateRoute(ownerTag, seeds, seedCount, destinations, destinationCount, flags, records,
                                            found, status);
    if (status.isNotFatal()) {
        // The id list grows by the routes found, never by the caller's capacity, which user mode
        // may send as 0xFFFFFFFF.
        if (capacity < found) {
            capacity = found;
            KZ_SET_CODE(status, nKZAPALS100::kStatusBufferTooSmall);
        } else {
            capacity = found;
            routeIds_.reserve(routeIds_.size() + found, status);
            possibilities.writeToBuffer(0, records, bytesOf(found, sizeof(RoutePossibilityBase), status), status);
        }
        if (status.isFatal()) {
            destroyInResources(*resources, records, found);
        } else {
            for (uint32_t i = 0; i < found; ++i) routeIds_.push_back(records[i].routeId, status);
        }
    }
    if (records != nullptr) helper.resize(records, 0);
    return status.isFatal() ? false : result;
}

void RoutingSessionBase::destroyRoute(uint32_t routeId) {
    if (!valid_) return;
    tAutoLock lock(mutex_);
    const size_t index = indexOf(routeId);
    if (index == routeIds_.size()) return;
    routeIds_.erase(routeIds_.begin() + index);
    if (resources_ != nullptr) resources_->destroyRoute(routeId);
}

void RoutingSessionBase::reserveRoute(uint32_t routeId, APALUserBufferWrapper& conflicts, uint32_t& capacity,
                                      tStatus& status) {
    if (!valid_ || status.isFatal()) return;
    tAutoLock lock(mutex_);
    RoutingResourcesInterface* resources = resourcesFor(status);
    if (resources == nullptr) return;
    if (!owns(routeId)) return void(KZ_SET_CODE(status, nKZAPALS100::kStatusBadParameter));
    const AllocHelper helper = resources->getAllocHelper();
    RouteConflict* records = nullptr;
    uint32_t count = 0;
    resources->reserveRoute(routeId, records, count, status);
    // The records go back even on a conflict; a capacity too small only shortens the list.
    tStatus copy;
    if (count > capacity) count = capacity;
    capacity = count;
    if (count != 0) conflicts.writeToBuffer(0, records, bytesOf(count, sizeof(RouteConflict), copy), copy);
    if (copy.isFatal()) capacity = 0;
    if (records != nullptr) helper.resize(records, 0);
}

void RoutingSessionBase::programRoute(uint32_t routeId, tStatus& status) {
    if (!valid_ || status.isFatal()) return;
    tAutoLock lock(mutex_);
    RoutingResourcesInterface* resources = resourcesFor(status);
    if (resources == nullptr) return;
    if (!owns(routeId)) return void(KZ_SET_CODE(status, nKZAPALS100::kStatusBadParameter));
    resources->programRoute(routeId, status);
}

void RoutingSessionBase::unreserveRoute(uint32_t routeId) {
    if (!valid_) return;
    tAutoLock lock(mutex_);
    if (resources_ != nullptr && owns(routeId)) resources_->unreserveRoute(routeId);
}

void RoutingSessionBase::unprogramRoute(uint32_t routeId) {
    if (!valid_) return;
    tAutoLock lock(mutex_);
    if (resources_ != nullptr && owns(routeId)) resources_->unprogramRoute(routeId);
}

void RoutingSessionBase::resetTerminal(uint32_t terminalId, uint32_t mode, tStatus& status) {
    if (!valid_ || status.isFatal()) return;
    tAutoLock lock(mutex_);
    if (RoutingResourcesInterface* resources = resourcesFor(status)) resources->resetTerminal(terminalId, mode, status);
}

uint32_t RoutingSessionBase::calculateResetTerminal(uint64_t ownerTag, uint32_t terminalId, uint32_t mode,
                                                    tStatus& status) {
    if (!valid_ || status.isFatal()) return 0;
    tAutoLock lock(mutex_);
    RoutingResourcesInterface* resources = resourcesFor(status);
    if (resources == nullptr || !routeIds_.reserve(routeIds_.size() + 1, status)) return 0;
    const uint32_t id = resources->calculateResetTerminal(ownerTag, terminalId, mode, status);
    if (status.isFatal()) return 0;
    routeIds_.push_back(id, status);
    return id;
}

void RoutingSessionBase::getRouteTerminalPath(uint32_t routeId, APALUserBufferWrapper& path, uint32_t& capacity,
                                              tStatus& status) {
    if (!valid_ || status.isFatal()) return;
    tAutoLock lock(mutex_);
    RoutingResourcesInterface* resources = resourcesFor(status);
    if (resources == nullptr) return;
    const AllocHelper helper = resources->getAllocHelper();
    uint32_t* terminals = nullptr;
    uint32_t length = 0;
    resources->getRouteTerminalPath(routeId, terminals, length, status);
    if (status.isNotFatal()) {
        if (capacity >= length)
            path.writeToBuffer(0, terminals, bytesOf(length, sizeof(uint32_t), status), status);
        else
            KZ_SET_CODE(status, nKZAPALS100::kStatusBufferTooSmall);
        capacity = length;
    }
    if (terminals != nullptr) helper.resize(terminals, 0);
}

void RoutingSessionBase::getTopographyName(APALUserBufferWrapper& name, tStatus& status) {
    if (!valid_ || status.isFatal()) return;
    tAutoLock lock(mutex_);
    RoutingResourcesInterface* resources = resourcesFor(status);
    if (resources == nullptr) return;
    const TopInfo* info = resources->getTopInfo();
    const char* text = info != nullptr ? info->name : nullptr;
    const size_t length = nameLength(text);
    if (name.getSize() <= length) return void(KZ_SET_CODE(status, nKZAPALS100::kStatusBufferTooSmall));
    if (text == nullptr) {
        const char nul = '\0';
        name.writeToBuffer(0, &nul, 1, status);
    } else {
        name.writeToBuffer(0, text, uint32_t(length + 1), status);
    }
}

void RoutingSessionBase::setRoutingResources(RoutingResourcesInterface* resources) {
    tAutoLock lock(mutex_);
    resources_ = resources;
}

void RoutingSessionBase::clearRoutingResources() {
    tAutoLock lock(mutex_);
    if (resources_ != nullptr) {
        while (!routeIds_.empty()) {
            resources_->destroyRoute(routeIds_.back());
            routeIds_.pop_back();
        }
    }
    resources_ = nullptr;
}

RoutingSession::~RoutingSession() {
    leaveManager();
    closeNotifier();
}

void RoutingSession::demoteSession() {
    if (!isValid()) return;
    tAutoLock lock(mutex_);
    if (!notifier_.isOpen()) return;
    tStatus dropped;
    notifier_.notify(nullptr, 0, dropped);
}

void RoutingSession::openNotifier(const kzvorn_driver::nKZAPAL000::tIONotifierParams& params, tStatus& status) {
    if (!isValid() || status.isFatal()) return;
    tAutoLock lock(mutex_);
    notifier_.open(params, status);
}

void RoutingSession::closeNotifier() {
    if (!isValid()) return;
    tAutoLock lock(mutex_);
    if (notifier_.isOpen()) notifier_.close();
}

bool RoutingSession::isNotifierOpen() {
    if (!isValid()) return false;
    tAutoLock lock(mutex_);
    return notifier_.isOpen();
}

}  // namespace kzark
