#include "kzapal/protons/ioNotifier.h"

#include "kzapal/protons/statusCodes.h"
#include "kzkal/memory.h"
#include "kzkal/socket.h"

namespace kzvorn_driver {
namespace nKZAPAL000 {

namespace {

void buildMessage(tIONotifierMessage& message, uint64_t cookie, const void* payload, uint32_t length) {
    nKZKAL240_memSet(&message, 0, sizeof(message));
    message.cookie = cookie;
    message.length = length;
    if (length != 0) nKZKAL180_memCpy(message.payload, payload, length);
}

}  // namespace

void tIONotifier::open(const tIONotifierParams& params, nKZAPALS100::tStatus& status) {
    if (status.isFatal()) return;
    // Reopening: the old listener hears that it is closed, and its buffer is not lost.
    close();
    buffer_ = nKZKAL250_createKernelSocketBuffer(sizeof(tIONotifierMessage));
    if (buffer_ == nullptr) KZ_SET_CODE(status, nKZAPALS100::kStatusMemoryFull);
    if (status.isFatal()) return;
    cookie_ = params.cookie;
    port_ = params.port;
}

void tIONotifier::close() {
    if (buffer_ == nullptr) return;
    tIONotifierMessage message;
    buildMessage(message, cookie_, nullptr, 0);
    // A buffer whose send failed is still ours.
    if (nKZKAL250_kernelSocketSend(buffer_, port_, kMessageClosing, &message, sizeof(message)) != 0)
        nKZKAL250_releaseKernelSocketBuffer(buffer_);
    buffer_ = nullptr;
    port_ = 0;
}

void tIONotifier::notify(const void* payload, uint32_t length, nKZAPALS100::tStatus& status) {
    if (length > kMaxPayload) KZ_SET_CODE(status, nKZAPALS100::kStatusBadParameter);
    if (status.isFatal()) return;
    void* buffer = nKZKAL250_createKernelSocketBuffer(sizeof(tIONotifierMessage));
    if (buffer == nullptr) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusMemoryFull);
        return;
    }
    tIONotifierMessage message;
    buildMessage(message, cookie_, payload, length);
    KZ_SET_KERNEL_CODE(status, nKZKAL250_kernelSocketSend(buffer, port_, kMessageNotify, &message, sizeof(message)));
    if (status.isFatal()) nKZKAL250_releaseKernelSocketBuffer(buffer);
}

}  // namespace nKZAPAL000
}  // namespace kzvorn_driver
