// The subroutines the system runs or looks up by id; every package loaded into local RAM must
// register all of them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace draviktools {

using SubroutineId = uint32_t;

constexpr SubroutineId kSubroutineLevel13 = 0x3CB407F3;
constexpr SubroutineId kSubroutineLevel18Line0 = 0xBF901527;
constexpr SubroutineId kSubroutineLevel18Line1 = 0x486DE645;
// Channels 0 to 3.
constexpr SubroutineId kSubroutineLevel19[4] = {0x8E1F5DA5, 0x743A3331, 0x313AE8B7, 0x11AB9ACC};
constexpr SubroutineId kSubroutineLevel22 = 0xCEB1B24E;
constexpr SubroutineId kSubroutineShutdown = 0x3C54F050;
constexpr SubroutineId kSubroutineSequenceEngineReset = 0xB8AE1123;
// Ranges 1, 2, 4 and 8.
constexpr SubroutineId kSubroutineChargeBalance[4] = {0x89193290, 0x615EE36C, 0x64BB1817, 0x12D6624E};
constexpr SubroutineId kSubroutineChargeBalanceFinish = 0x5C5D3FC9;
constexpr SubroutineId kSubroutineUngang = 0xA8F0871B;

constexpr size_t kSystemSubroutineCount = 16;
constexpr SubroutineId kSystemSubroutineIds[kSystemSubroutineCount] = {
    kSubroutineLevel13,
    kSubroutineLevel18Line0,
    kSubroutineLevel18Line1,
    kSubroutineLevel19[0],
    kSubroutineLevel19[1],
    kSubroutineLevel19[2],
    kSubroutineLevel19[3],
    kSubroutineLevel22,
    kSubroutineShutdown,
    kSubroutineSequenceEngineReset,
    kSubroutineChargeBalance[0],
    kSubroutineChargeBalance[1],
    kSubroutineChargeBalance[2],
    kSubroutineChargeBalance[3],
    kSubroutineChargeBalanceFinish,
    kSubroutineUngang,
};

}  // namespace draviktools
