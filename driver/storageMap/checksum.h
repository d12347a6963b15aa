// Checksums of storage maps.
#pragma once

#include <cstdint>

#include "kzapal/protons/status.h"

namespace storagemap {

class ChecksumInterface {
public:
    virtual uint32_t calculate(const void* data, uint64_t length, nKZAPALS100::tStatus& status) = 0;

protected:
    // Calculators are embedded in their maps and never deleted through this interface.
    ~ChecksumInterface() = default;
};

// The CRC-32 of zlib (IEEE 802.3): reflected polynomial 0xEDB88320, register preset to all ones,
// final complement. Null data, or a status that already holds an error, gives 0xFFFFFFFF.
class CRC32Checksum : public ChecksumInterface {
public:
    uint32_t calculate(const void* data, uint64_t length, nKZAPALS100::tStatus& status) override;
};

}  // namespace storagemap
