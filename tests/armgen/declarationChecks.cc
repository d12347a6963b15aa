// Slips in a register-map declaration that must not build; run by declarationChecks.cmake, one
// case at a time (case 0 builds, so a failure of the others is the slip and not the set-up).
#include "quolinTools/armgen/memorySpaceAccess.h"
#include "quolinTools/armgen/registerMapDeclaration.h"

// clang-format off
#if CASE == 0 || CASE == 8 || CASE == 9
#define KZ_CHECK_REGISTERS(R, TYPE, REG, ARRAY, F, FLAG) \
    R(Control, 0x00, 32, RW, 0, ALL, F(Mode, 3, 0) FLAG(_, 7)) \
    TYPE(tSelect, 8, WO, 0, ALL, F(Source, 6, 0) F(_, 7)) \
    ARRAY(Select, tSelect, 0x10, 4, 2) \
    R(Address, 0x20, 32, WO, 0, ALL, F((Target, uint16_t), 12, 0))
#elif CASE == 1  // a field beyond the register's width
#define KZ_CHECK_REGISTERS(R, TYPE, REG, ARRAY, F, FLAG) R(Control, 0x00, 16, RW, 0, ALL, F(_, 16))
#elif CASE == 2  // overlapping fields
#define KZ_CHECK_REGISTERS(R, TYPE, REG, ARRAY, F, FLAG) R(Control, 0x00, 32, RW, 0, ALL, F(_, 7, 0) F(_, 7))
#elif CASE == 3  // one offset and side twice
#define KZ_CHECK_REGISTERS(R, TYPE, REG, ARRAY, F, FLAG) \
    R(Control, 0x00, 32, RW, 0, ALL, F(_, 7)) R(Status, 0x00, 32, RW, 0, ALL, F(_, 9))
#elif CASE == 4  // a second view whose field the first view has
#define KZ_CHECK_REGISTERS(R, TYPE, REG, ARRAY, F, FLAG) \
    R(Control, 0x00, 32, RW, 0, ALL, F(_, 7)) R(Control2, 0x00, 32, RW | SECOND_VIEW, 0, ALL, F(_, 7))
#elif CASE == 5  // a second view of nothing
#define KZ_CHECK_REGISTERS(R, TYPE, REG, ARRAY, F, FLAG) R(Control2, 0x00, 32, RW | SECOND_VIEW, 0, ALL, F(_, 7))
#elif CASE == 6  // an array with fewer keys than registers
#define KZ_CHECK_REGISTERS(R, TYPE, REG, ARRAY, F, FLAG) \
    TYPE(tSelect, 32, RW, 0, ALL, F(_, 7)) ARRAY(Select, tSelect, (0x00, 0x10, 0x20), 3, 4)
#elif CASE == 7  // an initial shadow wider than the register
#define KZ_CHECK_REGISTERS(R, TYPE, REG, ARRAY, F, FLAG) R(Control, 0x00, 8, RW, 0x100, ALL, F(_, 7))
#elif CASE == 10  // a key of more than 24 bits
#define KZ_CHECK_REGISTERS(R, TYPE, REG, ARRAY, F, FLAG) \
    TYPE(tSelect, 32, RW, 0, ALL, F(_, 7)) REG(Select, tSelect, (0x00, 0x1000000))
#elif CASE == 11  // a register 12 bits wide
#define KZ_CHECK_REGISTERS(R, TYPE, REG, ARRAY, F, FLAG) R(Control, 0x00, 12, RW, 0, ALL, F(_, 7))
#endif
// clang-format on

namespace nCheck {
ARM_DECLARE_REGISTERS(KZ_CHECK_REGISTERS, ::arm::TableMap)
}  // namespace nCheck

inline constexpr arm::MapDesc kCheckMap = arm::mapDesc(nCheck::kRows, "1.0", "checks", arm::kBridgePolicy);

class tCheckMap : public arm::DeclaredMap<nCheck::tRegisterSet, arm::MemorySpaceAccess, kCheckMap> {
public:
    using DeclaredMap::DeclaredMap;
};

uint64_t use(tCheckMap& map, uint64_t runTime, nKZAPALS100::tStatus& status) {
    map.Control().setMode(runTime, status).writeBit7(1, status);
    map.Select(3).writeSource(0x7F, status);
    map.Address().writeTarget(0x2345, status);  // a value type of its own: cut to the field
#if CASE == 8  // a misspelt field
    map.Control().writeMod(1, status);
#elif CASE == 9  // a constant wider than its field
    map.Control().writeMode(0x10, status);
#endif
    return map.Select(1).getSource(status);
}
