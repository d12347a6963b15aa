// A session that can become invalid for good; `check` reports it with the session's status.
#pragma once

#include <cstdint>

#include "kzapal/protons/status.h"

namespace atut {

class InvalidatableSession {
public:
    explicit InvalidatableSession(int32_t invalidStatus) : invalidStatus_(invalidStatus) {}
    virtual ~InvalidatableSession() {}
    virtual bool isValid() = 0;

    bool check(nKZAPALS100::tStatus& status) {
        const bool valid = isValid();
        if (!valid) KZ_SET_CODE(status, invalidStatus_);
        return valid;
    }

private:
    int32_t invalidStatus_;
};

}  // namespace atut
