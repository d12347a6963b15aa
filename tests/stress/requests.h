// Requests as user mode sends them, typed by the driver's request table: requests::arm_read names
// the code and the two records of that row. The operation's own status comes back in the output
// record; the ioctl's result is the transport's.
#pragma once

#include <cstdint>

#include "kal/sim/harness.h"
#include "kzapalcodegen/ioctlTable.h"

namespace requests {

// The columns after the records do not matter here.
#define KZ_TEST_REQUEST(family, operation, requestCode, tInput, tOutput, ...) \
    struct family##_##operation {                                                 \
        static constexpr uint32_t code = requestCode;                             \
        using Input = kzvorn_driver::tInput;                                      \
        using Output = kzvorn_driver::tOutput;                                    \
    };
KZ_KZVORN_IOCTLS(KZ_TEST_REQUEST, KZ_TEST_REQUEST)
#undef KZ_TEST_REQUEST

template <class tRequest>
struct Reply {
    int32_t result;
    typename tRequest::Output output;
};

template <class tRequest>
Reply<tRequest> send(kal::sim::Session& session, const typename tRequest::Input& input) {
    Reply<tRequest> reply{};
    reply.result = session.ioctl(tRequest::code, &input, sizeof input, &reply.output, sizeof reply.output).result;
    return reply;
}

// The operation's status, or the transport's code when the ioctl itself failed.
template <class tRequest>
int64_t status(kal::sim::Session& session, const typename tRequest::Input& input) {
    const Reply<tRequest> reply = send<tRequest>(session, input);
    return reply.result != 0 ? reply.result : reply.output.status;
}

}  // namespace requests
