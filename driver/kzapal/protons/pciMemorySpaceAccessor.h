// A block of the device's mapped register memory: the kernel address of its start and its size.
#pragma once

#include <cstdint>

namespace kzvorn_driver {
namespace nKZAPAL000 {

template <bool kDebug>
struct tPCIMemorySpaceAccessorDebug {
    uint64_t base;
    uint64_t size;
};

}  // namespace nKZAPAL000
}  // namespace kzvorn_driver
