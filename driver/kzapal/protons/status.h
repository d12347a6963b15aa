// Status record passed by reference as the last argument of every operation that can fail.
#pragma once

#include <cstddef>
#include <cstdint>

namespace nKZAPALS100 {

constexpr uint64_t kShortStatusSize = 16;
constexpr uint64_t kExtendedStatusSize = 216;
constexpr size_t kStatusComponentSize = 10;
constexpr size_t kStatusFileSize = 101;
constexpr size_t kStatusStackWords = 10;

struct tStatus {
    uint64_t size = kShortStatusSize;
    int64_t code = 0;

    bool isFatal() const { return code < 0; }
    bool isNotFatal() const { return code >= 0; }
    bool isWarning() const { return code > 0; }
    bool isSuccess() const { return code == 0; }
    int64_t getCode() const { return code; }
    bool isExtended() const { return size >= kExtendedStatusSize; }

    // Back to success; an extended record also loses its location and stack.
    void clear();
};

// The extended record; only ever handed in by a caller, never created by the system.
struct tStatusExtended : tStatus {
    char component[kStatusComponentSize];
    char file[kStatusFileSize];
    uint64_t line;
    uint64_t stack[kStatusStackWords];

    tStatusExtended();
};

bool setCode(tStatus& status, int64_t code, const char* component, const char* file, uint64_t line);
bool merge(tStatus& destination, const tStatus& source);
int toText(const tStatus& status, char* buffer, size_t size);

// Kernel-layer return code to platform code; 0 stores nothing.
int64_t fromKernelCode(int32_t kernelCode);
void setCodeFromKernel(int32_t kernelCode, tStatus& status, const char* file, uint64_t line);

tStatus* createStatus();
void destroyStatus(tStatus* status);

}  // namespace nKZAPALS100

#define KZ_COMPONENT "kzvorn_driver"
#define KZ_SET_CODE(status, code) \
    ::nKZAPALS100::setCode((status), static_cast<int64_t>(code), KZ_COMPONENT, __FILE__, __LINE__)
#define KZ_SET_KERNEL_CODE(status, kernelCode) \
    ::nKZAPALS100::setCodeFromKernel((kernelCode), (status), __FILE__, __LINE__)

// Device codes are negative 32-bit values, stored sign-extended.
#define KZ_DEVICE_CODE(hex) (static_cast<int64_t>(static_cast<int32_t>(static_cast<uint32_t>(hex))))
