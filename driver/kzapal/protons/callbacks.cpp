#include "kzapal/protons/callbacks.h"

#include <new>

#include "kzapal/protons/device.h"
#include "kzapal/protons/ioNotifier.h"
#include "kzapal/protons/memory.h"
#include "kzapal/protons/statusCodes.h"
#include "kzapal/protons/userMemory.h"
#include "kzkal/user.h"

namespace kzvorn_driver {
namespace nKZAPAL000 {

namespace {

using nKZAPALS100::tStatus;

struct tKernelCodeRow {
    int64_t status;
    int32_t kernel;
};

constexpr tKernelCodeRow kKernelCodes[] = {
    {0, 0},           {-52000, -51352}, {-52001, -51353}, {-52002, -51256}, {-52003, -51150}, {-52005, -51009},
    {-52006, -51101}, {-52007, -51550}, {-52008, -51202}, {-52010, -51104}, {-52013, -51000}, {-52018, -51152},
    {-52019, -51409}, {-52020, -51300}, {-52023, -51405}, {-52024, -51401}, {-52031, -51106},
};
constexpr int32_t kOtherKernelCode = -51001;

tDeviceCore& deviceOf(tSession* session) { return *session->getInterface()->device; }

}  // namespace

int32_t toKernelCode(int64_t code) {
    for (const tKernelCodeRow& row : kKernelCodes)
        if (row.status == code) return row.kernel;
    return kOtherKernelCode;
}

}  // namespace nKZAPAL000
}  // namespace kzvorn_driver

using namespace kzvorn_driver::nKZAPAL000;
using nKZAPALS100::tStatus;

extern "C" int32_t nKZAPAL200_open(void*, void** slot) {
    tStatus status;
    tEventDescriptor event{nullptr};
    auto* interface = static_cast<tDeviceInterface*>(*slot);
    tDeviceCore& device = *interface->device;
    tSession* session = device.open(event, interface, status);
    if (status.isFatal()) return toKernelCode(status.getCode());
    device.countOpenedSession();
    *slot = session;
    // The session exists and is counted: a warning must not make the kernel layer drop it.
    return 0;
}

extern "C" void nKZAPAL200_close(void* session) {
    auto* s = static_cast<tSession*>(session);
    tEventDescriptor event{s};
    tDeviceCore& device = deviceOf(s);
    device.close(event);
    // Qualified: a device may declare a hook of the same name.
    device.tDeviceCore::closeSession(event, s);
}

extern "C" int32_t nKZAPAL200_read(void* session, uint64_t address, uint64_t size, uint64_t, uint64_t* count) {
    tStatus status;
    tEventDescriptor event{static_cast<tSession*>(session)};
    tUserBuffer buffer(event, address, size, status);
    *count = deviceOf(event.session).read(event, buffer, status);
    return toKernelCode(status.getCode());
}

extern "C" int32_t nKZAPAL200_write(void* session, uint64_t address, uint64_t size, uint64_t, uint64_t* count) {
    tStatus status;
    tEventDescriptor event{static_cast<tSession*>(session)};
    tUserBuffer buffer(event, address, size, status);
    *count = deviceOf(event.session).write(event, buffer, status);
    return toKernelCode(status.getCode());
}

extern "C" int32_t nKZAPAL200_ioctl(void* session, uint32_t code, uint64_t argument) {
    tEventDescriptor event{static_cast<tSession*>(session)};
    tDeviceCore& device = deviceOf(event.session);
    if (code == kDestroyIONotifierCode) {
        // The argument is the notifier type itself.
        device.destroyIONotifier(event, static_cast<uint32_t>(argument));
        return 0;
    }
    tStatus status;
    if (code == kCreateIONotifierCode) {
        tIONotifierCreation block{};
        KZ_SET_KERNEL_CODE(status, nKZKAL100_replicateInboundIOControlBuffer(&block, argument, sizeof(block)));
        const tIONotifierParams params{block.cookie, block.port};
        device.createIONotifier(event, block.type, params, status);
        return toKernelCode(status.getCode());
    }
    tIOControlEnvelope envelope{};
    const int32_t copied = nKZKAL100_replicateInboundIOControlBuffer(&envelope, argument, sizeof(envelope));
    if (copied < 0) return copied;
    envelope.bytesReturned = 0;
    const uint64_t reported = event.session->getInterface()->decodeIOControl(
        event, code, envelope.inputAddress, envelope.inputSize, envelope.outputAddress, envelope.outputSize, status);
    envelope.bytesReturned = static_cast<uint32_t>(reported);
    if (envelope.bytesReturned != 0)
        nKZKAL100_replicateOutboundIOControlBuffer(argument + 24, &envelope.bytesReturned, sizeof(envelope.bytesReturned));
    return toKernelCode(status.getCode());
}

extern "C" int32_t nKZAPAL200_mapMemory(void* session, uint16_t argument, void* description, uint32_t* flag,
                                        void** map) {
    tStatus status;
    tEventDescriptor event{static_cast<tSession*>(session)};
    auto* created = new (status) tUserMemoryMap(event.session, description, argument);
    if (created == nullptr) return toKernelCode(status.getCode());
    deviceOf(event.session).mapMemory(event, *created, status);
    if (status.isFatal()) {
        delete created;
        return toKernelCode(status.getCode());
    }
    *map = created;
    *flag = 1;
    // The map is stored: a warning must not make the kernel layer drop it.
    return 0;
}

extern "C" void nKZAPAL200_unmapMemory(void* map) {
    auto* m = static_cast<tUserMemoryMap*>(map);
    tEventDescriptor event{m->getSession()};
    deviceOf(event.session).unmapMemory(event, *m);
    delete m;
}

extern "C" void nKZAPAL200_removeDevice(void* device) {
    auto* d = static_cast<tDevice*>(device);
    if (d->getPnPState() == tDeviceCore::kPnPStateNotPresent) return;
    d->unregisterDeviceInterfaceProperties();
    d->unregisterDeviceProperties();
    d->unregisterBusProperties();
    tStatus status;
    tEventDescriptor event{nullptr};
    d->setPnPState(event, tDeviceCore::kPnPStateNotPresent, 1, false, status);
    tDeviceInterface** interfaces = d->getDeviceInterfaces();
    if (interfaces == nullptr) return;
    size_t count = 0;
    while (interfaces[count] != nullptr) ++count;
    // Last first; an interface never registered, or already unregistered, holds no handle.
    while (count-- > 0) {
        if (interfaces[count]->handle == nullptr) continue;
        nKZKAL200_unregisterDeviceInterface(interfaces[count]->handle);
        interfaces[count]->handle = nullptr;
    }
}

extern "C" void nKZAPAL200_deleteDevice(void* device) { delete static_cast<tDevice*>(device); }

void nKZAPAL200_copyIoctlOutBufferForCodegen(uint64_t userAddress, const void* source, uint32_t size,
                                             nKZAPALS100::tStatus& status) {
    if (nKZKAL100_replicateOutboundIOControlBuffer(userAddress, source, size) != 0)
        KZ_SET_CODE(status, nKZAPALS100::kStatusBadParameter);
}
