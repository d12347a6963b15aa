// Writes seed inputs for a fuzz target into a corpus directory: sessions whose requests add
// buffers to streams, start them, grant credits, clear and stop them, so that the fuzzer begins
// with live streams under its mutations instead of having to find a valid transfer record first.
//
//     kzvorn-fuzz-seeds ioctl|sessions DIRECTORY
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fuzzing.h"
#include "kzapalcodegen/ioctlRecords.h"

namespace {

using namespace kzvorn_driver;
using Bytes = std::vector<uint8_t>;

// A buffer in the caller's scratch memory, clear of the registered names at its start.
constexpr uint32_t kBufferOffset = 2048;
constexpr uint64_t kBufferSize = 1024;
// The transfer records' address slot (bytes 8 to 15).
constexpr uint8_t kAddressSlot = 1u << 1;

template <class tRecord>
Bytes request(const char* name, const tRecord& record, uint8_t slots = 0) {
    return fuzzing::encodeRequest(name, &record, sizeof record, slots, kBufferOffset);
}

// One stream's life in requests, leaving it running when `leaveRunning`.
std::vector<Bytes> streamRequests(uint32_t stream, bool leaveRunning) {
    std::vector<Bytes> requests;
    if (stream % 2 == 0)
        requests.push_back(request("quolinTools_addTransferFromDevice",
                                   tTransferFromDeviceRecord{stream, 0, 0, kBufferSize, 0, 0}, kAddressSlot));
    else
        requests.push_back(request("quolinTools_addTransferToDevice",
                                   tTransferToDeviceRecord{stream, 1, 0, kBufferSize, 3, 0}, kAddressSlot));
    requests.push_back(request("quolinTools_startDMA", tStartDMARecord{stream, 1, {}, 0}));
    requests.push_back(request("quolinTools_writeStreamAdditiveTransferCount", tStreamCountRecord{stream, 4096, 0}));
    requests.push_back(request("quolinTools_getTransferCount", tStreamRecord{stream, 0}));
    requests.push_back(request("quolinTools_clearApplicationFIFO", tStreamRecord{stream, 0}));
    requests.push_back(request("quolinTools_clearTransfers", tStreamRecord{stream, 0}));
    if (leaveRunning) return requests;
    requests.push_back(request("quolinTools_stopDMA", tStreamRecord{stream, 0}));
    requests.push_back(request("quolinTools_clearTransfers", tStreamRecord{stream, 0}));
    return requests;
}

// The ioctl target: one session of the instrument's interface, its requests in turn.
Bytes ioctlSeed(uint32_t stream, bool leaveRunning) {
    Bytes input = {0};
    for (const Bytes& r : streamRequests(stream, leaveRunning)) input.insert(input.end(), r.begin(), r.end());
    return input;
}

// The sessions target: session 0 runs the stream; session 1, opened beside it, resets the device
// to the highest level while the stream may still run; then the removal.
Bytes sessionsSeed(uint32_t stream, bool leaveRunning) {
    constexpr uint8_t kOpenSession0 = 0x00, kRequestOfSession0 = 0x02, kOpenSession1 = 0x08, kResetBySession1 = 0x0C;
    Bytes input = {kOpenSession0};
    for (const Bytes& r : streamRequests(stream, leaveRunning)) {
        input.push_back(kRequestOfSession0);
        input.insert(input.end(), r.begin(), r.end());
    }
    input.insert(input.end(), {kOpenSession1, kResetBySession1, 22});
    return input;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 || (std::strcmp(argv[1], "ioctl") != 0 && std::strcmp(argv[1], "sessions") != 0)) {
        std::fprintf(stderr, "usage: kzvorn-fuzz-seeds ioctl|sessions DIRECTORY\n");
        return 2;
    }
    const bool sessions = std::strcmp(argv[1], "sessions") == 0;
    for (uint32_t stream : {0u, 1u}) {
        for (bool leaveRunning : {false, true}) {
            const Bytes input = sessions ? sessionsSeed(stream, leaveRunning) : ioctlSeed(stream, leaveRunning);
            const std::string path = std::string(argv[2]) + "/seed-stream" + std::to_string(stream) +
                                     (leaveRunning ? "-running" : "-stopped");
            std::FILE* file = std::fopen(path.c_str(), "wb");
            if (file == nullptr || std::fwrite(input.data(), 1, input.size(), file) != input.size() ||
                std::fclose(file) != 0) {
                std::fprintf(stderr, "cannot write %s\n", path.c_str());
                return 1;
            }
        }
    }
    return 0;
}
