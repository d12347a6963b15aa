// The setup level of the board: 0 means nothing is set up, N means bring-up steps 1 to N have
// completed.
#pragma once

#include <cstdint>

namespace kzvorn_shared {

struct SetupLevel {
    using type = int32_t;
    static constexpr type kNone = 0;
    static constexpr type kHighest = 22;
};

}  // namespace kzvorn_shared
