// The kernel layer's callbacks into the driver, and the translation of a status into the code a
// callback returns. The device slot of the add-device callback, and the argument of remove and
// delete device, hold the device as a tDevice*.
#pragma once

#include <cstdint>

#include "kzapal/protons/status.h"
#include "kzkal/driver.h"

namespace kzvorn_driver {
namespace nKZAPAL000 {

// The record an ioctl's argument points to (every code but the two IO-notifier requests).
struct tIOControlEnvelope {
    uint64_t inputAddress;
    uint64_t outputAddress;
    uint32_t inputSize;
    uint32_t outputSize;
    uint32_t bytesReturned;  // written back when non-zero
    uint32_t reserved;
};
static_assert(sizeof(tIOControlEnvelope) == 32, "the ioctl envelope is 32 bytes");

// The block request 0x4010FF00 points to.
struct tIONotifierCreation {
    uint64_t cookie;
    uint32_t port;
    uint32_t type;
};
static_assert(sizeof(tIONotifierCreation) == 16, "the IO-notifier creation block is 16 bytes");

constexpr uint32_t kCreateIONotifierCode = 0x4010FF00;
constexpr uint32_t kDestroyIONotifierCode = 0xFF01;

// Platform code to kernel-layer code: a different table from the one status records use, and
// not its inverse. Anything unlisted, warnings included, is -51001.
int32_t toKernelCode(int64_t code);

}  // namespace nKZAPAL000
}  // namespace kzvorn_driver

extern "C" {
int32_t nKZAPAL200_open(void* ignored, void** slot);
void nKZAPAL200_close(void* session);
int32_t nKZAPAL200_read(void* session, uint64_t address, uint64_t size, uint64_t ignored, uint64_t* count);
int32_t nKZAPAL200_write(void* session, uint64_t address, uint64_t size, uint64_t ignored, uint64_t* count);
int32_t nKZAPAL200_ioctl(void* session, uint32_t code, uint64_t argument);
int32_t nKZAPAL200_mapMemory(void* session, uint16_t argument, void* description, uint32_t* flag, void** map);
void nKZAPAL200_unmapMemory(void* map);
void nKZAPAL200_removeDevice(void* device);
void nKZAPAL200_deleteDevice(void* device);
}

// Used by every generated unmarshaller to return its output record: any failed copy is -52005.
void nKZAPAL200_copyIoctlOutBufferForCodegen(uint64_t userAddress, const void* source, uint32_t size,
                                             nKZAPALS100::tStatus& status);
