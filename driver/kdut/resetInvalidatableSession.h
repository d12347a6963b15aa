// A session that is valid until the device's reset generation moves (reset, stop, power-down).
#pragma once

#include <cstdint>

#include "atut/invalidatableSession.h"

namespace kdut {

class ResetInvalidatableSession : public atut::InvalidatableSession {
public:
    // The counter belongs to the device and changes only by locked increments.
    ResetInvalidatableSession(const uint32_t* resetGeneration, int32_t invalidStatus)
        : atut::InvalidatableSession(invalidStatus), resetGeneration_(resetGeneration), seen_(current()) {}
    ~ResetInvalidatableSession() override {}

    bool isValid() override { return current() == seen_; }
    virtual void revalidate() { seen_ = current(); }

private:
    uint32_t current() const { return __atomic_load_n(resetGeneration_, __ATOMIC_ACQUIRE); }

    const uint32_t* resetGeneration_;
    uint32_t seen_;
};

}  // namespace kdut
