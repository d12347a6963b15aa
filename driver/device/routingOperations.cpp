// The routing requests: each unpacks its record and calls one operation of the session's routing
// session. A session whose cleanup request destroyed its routing session has none to call: it is
// answered as a routing session without resources answers (-52020, results 0, counts as sent).
#include "device/tolvaneDevice.h"
#include "kzapal/protons/memory.h"
#include "kzapal/protons/userMemory.h"
#include "kzark/routingSession.h"
#include "kzhtl/vector.h"

namespace kzvorn_driver {

using nKZAPAL000::tEventDescriptor;
using nKZAPAL000::tUserBuffer;
using nKZAPALS100::tStatus;

namespace {

// count records copied whole from user memory into a zeroed kernel array; none for count 0.
template <class T>
void copyIn(tEventDescriptor& event, uint64_t address, uint32_t count, kzhtl::Vector<T>& into, tStatus& status) {
    if (status.isFatal() || count == 0) return;
    if (!into.resize(count, status)) return;
    const uint64_t bytes = uint64_t(count) * sizeof(T);
    tUserBuffer(event, address, bytes, status).readFromBuffer(0, into.data(), uint32_t(bytes), status);
}

// The routing session's operations on a route and a buffer of records (the reservation's conflicts,
// the route's terminal path): the buffer holds the record's capacity of records of `recordSize`
// bytes, and the count the operation returns goes to the output.
using tRouteBufferOperation = void (kzark::RoutingSessionBase::*)(uint32_t, kzark::APALUserBufferWrapper&, uint32_t&,
                                                                  tStatus&);
void serveRouteBuffer(kzark::RoutingSession* routing, tEventDescriptor& event, const tRouteBufferRecord& input,
                      uint32_t recordSize, tRouteBufferOperation operation, tValue32Record& output, tStatus& status) {
    if (status.isFatal()) return;
    tUserBuffer buffer(event, input.address, uint64_t(input.capacity) * recordSize, status);
    kzark::APALUserBufferWrapper wrapper(buffer);
    uint32_t count = input.capacity;
    (routing->*operation)(input.route, wrapper, count, status);
    output.value = count;
}

}  // namespace

void TolvaneDevice::routing_queryVersion(tEventDescriptor&, const tStatusRecord&, tValue32Record& output, tStatus&) {
    output.value = kzark::kRoutingInterfaceVersion;
}

void TolvaneDevice::routing_calculateRoute(tEventDescriptor& event, const tCalculateRouteRecord& input,
                                           tCalculatedRoutesRecord& output, tStatus& status) {
    RoutingOf routing(event, status);
    if (status.isFatal()) return;
    // Counts from user mode size the two copies: bounded before anything is allocated.
    if (input.seedCount > kzark::kMaxRouteCalculationCount || input.destinationCount > kzark::kMaxRouteCalculationCount)
        return void(KZ_SET_CODE(status, nKZAPALS100::kStatusBadParameter));
    kzhtl::Vector<kzark::RouteCalculationSeedBase> seeds;
    kzhtl::Vector<uint32_t> destinations;
    copyIn(event, input.seeds, input.seedCount, seeds, status);
    copyIn(event, input.destinations, input.destinationCount, destinations, status);
    tUserBuffer routes(event, input.routes, uint64_t(input.routeCapacity) * sizeof(kzark::RoutePossibilityBase), status);
    kzark::APALUserBufferWrapper wrapper(routes);
    uint32_t count = input.routeCapacity;
    const bool result = routing->calculateRoute(input.owner, seeds.data(), input.seedCount, destinations.data(),
                                                input.destinationCount, input.flags, wrapper, count, status);
    output.result = result ? 1 : 0;
    output.count = count;
}

void TolvaneDevice::routing_destroyRoute(tEventDescriptor& event, const tRouteRecord& input, tStatusRecord&,
                                         tStatus& status) {
    if (RoutingOf routing{event, status}) routing->destroyRoute(input.route);
}

void TolvaneDevice::routing_reserveRoute(tEventDescriptor& event, const tRouteBufferRecord& input,
                                         tValue32Record& output, tStatus& status) {
    serveRouteBuffer(RoutingOf(event, status).get(), event, input, sizeof(kzark::RouteConflict),
                     &kzark::RoutingSessionBase::reserveRoute, output, status);
}

void TolvaneDevice::routing_programRoute(tEventDescriptor& event, const tRouteRecord& input, tStatusRecord&,
                                         tStatus& status) {
    if (RoutingOf routing{event, status}) routing->programRoute(input.route, status);
}

void TolvaneDevice::routing_unreserveRoute(tEventDescriptor& event, const tRouteRecord& input, tStatusRecord&,
                                           tStatus& status) {
    if (RoutingOf routing{event, status}) routing->unreserveRoute(input.route);
}

void TolvaneDevice::routing_unprogramRoute(tEventDescriptor& event, const tRouteRecord& input, tStatusRecord&,
                                           tStatus& status) {
    if (RoutingOf routing{event, status}) routing->unprogramRoute(input.route);
}

void TolvaneDevice::routing_getRouteTerminalPath(tEventDescriptor& event, const tRouteBufferRecord& input,
                                                 tValue32Record& output, tStatus& status) {
    serveRouteBuffer(RoutingOf(event, status).get(), event, input, sizeof(uint32_t),
                     &kzark::RoutingSessionBase::getRouteTerminalPath, output, status);
}

void TolvaneDevice::routing_getTopographyName(tEventDescriptor& event, const tSizedUserBufferRecord& input,
                                              tStatusRecord&, tStatus& status) {
    RoutingOf routing(event, status);
    if (status.isFatal()) return;
    tUserBuffer name(event, input.address, input.size, status);
    kzark::APALUserBufferWrapper wrapper(name);
    routing->getTopographyName(wrapper, status);
}

void TolvaneDevice::routing_resetTerminal(tEventDescriptor& event, const tResetTerminalRecord& input, tStatusRecord&,
                                          tStatus& status) {
    if (RoutingOf routing{event, status})
        routing->resetTerminal(input.terminal, input.mode, status);
}

void TolvaneDevice::routing_calculateResetTerminal(tEventDescriptor& event, const tCalculateResetTerminalRecord& input,
                                                   tValue32Record& output, tStatus& status) {
    if (RoutingOf routing{event, status})
        output.value = routing->calculateResetTerminal(input.owner, input.terminal, input.mode, status);
}

}  // namespace kzvorn_driver
