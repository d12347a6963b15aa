// Request codes of the device interfaces: the Linux ioctl layout, with the 32-byte envelope as
// the size of every code.
#pragma once

#include <cstdint>

namespace kzvorn_driver {

// direction (bits 30-31) | envelope size (bits 16-29) | family (bits 8-15) | operation (bits 0-7)
constexpr uint32_t kIOControlDirectionNone = 0;
constexpr uint32_t kIOControlDirectionWrite = 1;
constexpr uint32_t kIOControlDirectionRead = 2;
constexpr uint32_t kIOControlEnvelopeSize = 0x20;

constexpr uint32_t makeIOControlCode(uint32_t direction, uint32_t family, uint32_t operation) {
    return direction << 30 | kIOControlEnvelopeSize << 16 | (family & 0xFF) << 8 | (operation & 0xFF);
}
constexpr uint32_t ioControlDirection(uint32_t code) { return code >> 30; }
constexpr uint32_t ioControlSize(uint32_t code) { return (code >> 16) & 0x3FFF; }
constexpr uint32_t ioControlFamily(uint32_t code) { return (code >> 8) & 0xFF; }
constexpr uint32_t ioControlOperation(uint32_t code) { return code & 0xFF; }

// Family bytes. arm, deviceWindow and storageMap share 0x81 and split its operation bytes.
namespace ioctlFamily {
constexpr uint32_t kzvoltixPXICooling = 0x27;
constexpr uint32_t hwCondition = 0x28;
constexpr uint32_t measureUnit = 0x29;
constexpr uint32_t dravik = 0x2A;
constexpr uint32_t kzvorn = 0x2B;
constexpr uint32_t triggersAndEvents = 0x2C;
constexpr uint32_t channelGanging = 0x2D;
constexpr uint32_t vantrel = 0x2E;
constexpr uint32_t routing = 0x80;
constexpr uint32_t arm = 0x81;
constexpr uint32_t deviceWindow = 0x81;
constexpr uint32_t storageMap = 0x81;
constexpr uint32_t quolinTools = 0x82;
constexpr uint32_t pxiCooling = 0x84;
constexpr uint32_t kdut = 0x86;
}  // namespace ioctlFamily

// A required setup level, or none: the operation passes no IO gate.
constexpr uint32_t kNoSetupLevel = 0xFFFFFFFF;

}  // namespace kzvorn_driver
