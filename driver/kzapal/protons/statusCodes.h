// Platform status codes used across the system.
#pragma once

#include <cstdint>

namespace nKZAPALS100 {

constexpr int64_t kStatusMemoryFull = -52000;
constexpr int64_t kStatusPageLockFailed = -52001;
constexpr int64_t kStatusFeatureNotSupported = -52002;
constexpr int64_t kStatusValueConflict = -52003;
constexpr int64_t kStatusBadParameter = -52005;
constexpr int64_t kStatusResourceNotFound = -52006;
constexpr int64_t kStatusTimeout = -52007;
constexpr int64_t kStatusSoftwareFault = -52008;
constexpr int64_t kStatusAsyncIOSessionClosing = -52009;
constexpr int64_t kStatusSetupStoppedAtLevel = -52010;
constexpr int64_t kStatusKernel51000 = -52013;
constexpr int64_t kStatusNoKernelMapping = -52017;
constexpr int64_t kStatusBadPointerKind = -52018;
constexpr int64_t kStatusBufferTooSmall = -52019;
constexpr int64_t kStatusNotStarted = -52020;
constexpr int64_t kStatusDeviceNotAcceptingIO = -52022;
constexpr int64_t kStatusKernel51405 = -52023;
constexpr int64_t kStatusKernel51401 = -52024;
constexpr int64_t kStatusWaitInterrupted = -52025;
constexpr int64_t kStatusKernel51106 = -52031;

}  // namespace nKZAPALS100
