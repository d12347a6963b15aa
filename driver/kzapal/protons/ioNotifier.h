// Short event messages to a user-mode listener over a kernel socket.
#pragma once

#include <cstdint>

#include "kzapal/protons/status.h"

namespace kzvorn_driver {
namespace nKZAPAL000 {

struct tIONotifierParams {
    uint64_t cookie;
    uint32_t port;
};

// One datagram, little-endian.
struct tIONotifierMessage {
    uint64_t cookie;
    uint32_t length;
    uint8_t payload[32];
    uint8_t reserved[4];
};
static_assert(sizeof(tIONotifierMessage) == 48, "IO-notifier message is 48 bytes");

class tIONotifier {
public:
    enum tMessageType : uint32_t { kMessageNotify = 1, kMessageClosing = 2 };
    static constexpr uint32_t kMaxPayload = 32;

    tIONotifier() = default;
    // The buffer made here is kept for the closing message.
    virtual void open(const tIONotifierParams& params, nKZAPALS100::tStatus& status);
    virtual void close();
    virtual ~tIONotifier() = default;
    // Each notification uses a fresh buffer; callers check isOpen first.
    virtual void notify(const void* payload, uint32_t length, nKZAPALS100::tStatus& status);

    bool isOpen() const { return buffer_ != nullptr; }
    uint64_t getCookie() const { return cookie_; }
    uint32_t getPort() const { return port_; }

private:
    uint64_t cookie_ = 0;
    void* buffer_ = nullptr;
    uint32_t port_ = 0;
};

}  // namespace nKZAPAL000
}  // namespace kzvorn_driver
