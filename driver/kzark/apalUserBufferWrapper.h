// A caller's buffer as the routing sessions see it: the platform user buffer behind it.
#pragma once

#include <cstdint>

#include "kzapal/protons/userMemory.h"

namespace kzark {

class APALUserBufferWrapper {
public:
    explicit APALUserBufferWrapper(const kzvorn_driver::nKZAPAL000::tUserBuffer& buffer) : buffer_(&buffer) {}
    virtual ~APALUserBufferWrapper() {}

    // Nothing when the status already holds an error; a copy outside user memory records the
    // kernel layer's translated code.
    virtual void readFromBuffer(uint64_t offset, void* destination, uint32_t size, nKZAPALS100::tStatus& status) {
        buffer_->readFromBuffer(offset, destination, size, status);
    }
    virtual void writeToBuffer(uint64_t offset, const void* source, uint32_t size, nKZAPALS100::tStatus& status) {
        buffer_->writeToBuffer(offset, source, size, status);
    }
    virtual uint64_t getSize() { return buffer_->getSize(); }

private:
    const kzvorn_driver::nKZAPAL000::tUserBuffer* buffer_;
};

}  // namespace kzark
