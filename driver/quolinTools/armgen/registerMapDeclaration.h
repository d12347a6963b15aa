// The declaration form of a register map: every register once, with its fields once, in one list
// from which the compiler makes the engine's rows, the row count, the typed register handles with
// their named field accessors, the register getters and the checks.
//
// A map's list is a macro that takes the six entry macros, in this order, and writes one entry a
// register (or register type, or array) in member order:
//
//   #define KZ_EXAMPLE_REGISTERS(R, TYPE, REG, ARRAY, F, FLAG)       (one line each, continued)
//       /* register     offset width kind  initial keep  fields */
//       R(ControlStatus, 0x800, 32,   CMD,  0,      ALL,  F(Enable, 0) F(Reset, 1) F(_, 7, 4) FLAG(_, 8))
//       TYPE(tSelect_t,         8,    WO,   0,      ALL,  F((Source, Source_t), 6, 0) F(_, 7))
//       ARRAY(Select, tSelect_t, 0x88, 24, 1)
//       REG(Window, tSelect_t, (0x0A4, 0x50D2CB))
//
// Registers:
//   R(Name, place, width, kind, initial, keep, fields)   a register of a type of its own, `tName`
//   TYPE(tType, width, kind, initial, keep, fields)      a type that several registers share
//   REG(Name, tType, place)                              one register of a declared type
//   ARRAY(Name, tType, place, count, stride)             `count` registers, `stride` bytes apart
// A place is the offset, which is then the key too, or (offset, key, ...) with one key for each
// register where the keys differ from the offsets (the product maps); such keyed registers take the
// product maps' identifier form. The kind is RW, WO, RO, CMD, CMD_WO, CMD_RO, PENDING or FORMAT_ONLY, with
// `| SECOND_VIEW` for another object at the key and side of an earlier one (only its field
// identifiers reach it), `| NO_ID` for a register without identifiers, and
// `| ARM_READ_SIDE(fields)` for a register whose reads bring in other fields than its writes
// send (where its strobe bits read back as status). ALL is the keep mask of a register without
// strobes. A register named `_` has no getter of its own; `at<tType>(offset)` reaches it.
//
// Fields, ascending, each with its name, or `_` where the register's description names none (the
// name is then derived from the bits: Bit5, Bits9_8):
//   F(Name, bit)  F(Name, high, low)   a number (one bit: as the map's policy says)
//   FLAG(Name, bit)                    a bit that any non-zero value sets
// `(Name, tValue)` in place of the name gives the field's accessors a value type of their own (an
// enumeration, or a number wider than the field that the writers cut to the field's width). A
// one-bit field of type bool is a flag; of any other type of its own (an enumeration, whose values
// are bit patterns, or a number) it takes bit 0 of the value under every policy. Other writers
// take bool for a FLAG and the narrowest unsigned type that holds the field for a number.
//
// `ARM_DECLARE_MAP(nMap, LIST, Engine, kMap, version, source, policy)` declares the map's
// description kMap and, in the namespace nMap of the map's own (`ARM_DECLARE_REGISTERS(LIST,
// Engine)` alone declares these in the current namespace):
//   kRowCount, kRows       the engine's rows, for `arm::mapDesc`
//   tRegisterSet           the engine (`arm::TableMap` or `arm::WindowedTableMap`) with one nested
//                          type per register type and one getter per register: `tName Name()`,
//                          and `tType Name(i)` for arrays (an index past the array gives a handle
//                          that every operation refuses with -52005); `kRowOfName`,
//                          `kOffsetOfName` and `kKeyOfName` are the row, offset and key of the
//                          register (or of the array's first register); and `at<tType>(offset, n)`,
//                          register n of the type at an offset (a handle that refuses when the type
//                          has none there)
// Each nested type has `readRegister`, `writeRegister`, `flush`, `refresh` and, per field,
//   kName                              the field's place (for `arm::fieldValue` of a word read whole)
//   readName(status)                   a fresh read of the register, then the field
//   getName(status)                    the field of the shadow
//   writeName(value, status, force)    merged into the shadow and written as `write` does
//   setName(value, status)             merged into the shadow only
// The writers return the register, so calls chain. A constant value wider than its field stops an
// optimised build, unless the field has a value type of its own; any other value is cut to the
// field's width.
//
// Checked at compile time: registers of 8, 16, 32 or 64 bits, fields inside their register,
// ascending and apart, initial shadows inside the register, keys of 24 bits, no identifier twice in
// the map, and the row count. A name declared twice or a misspelt one does not compile.
#pragma once

#include "kzhtl/utility.h"
#include "quolinTools/armgen/registerMap.h"

// ---------------------------------------------------------------------------------------------
// Preprocessor helpers

#define ARM_PP_CAT(a, b) ARM_PP_CAT_(a, b)
#define ARM_PP_CAT_(a, b) a##b
#define ARM_PP_SECOND(a, b, ...) b
#define ARM_PP_CHECK(...) ARM_PP_SECOND(__VA_ARGS__, 0, ~)
#define ARM_PP_PROBE ~, 1
#define ARM_PP_IF(condition) ARM_PP_CAT(ARM_PP_IF_, condition)
#define ARM_PP_IF_0(then, otherwise) otherwise
#define ARM_PP_IF_1(then, otherwise) then
// 1 for a parenthesised argument.
#define ARM_PP_IS_PAREN(x) ARM_PP_CHECK(ARM_PP_IS_PAREN_PROBE x)
#define ARM_PP_IS_PAREN_PROBE(...) ARM_PP_PROBE
// 1 for `_`.
#define ARM_PP_IS_UNNAMED(x) ARM_PP_CHECK(ARM_PP_CAT(ARM_PP_UNNAMED_, x))
#define ARM_PP_UNNAMED__ ARM_PP_PROBE
#define ARM_PP_FIRST(a, ...) a
#define ARM_PP_REST(a, ...) __VA_ARGS__
// The number of arguments, 2 to 3.
#define ARM_PP_ARITY(...) ARM_PP_ARITY_(__VA_ARGS__, 5, 4, 3, 2, 1, ~)
#define ARM_PP_ARITY_(a, b, c, d, e, n, ...) n
// `x` without its parentheses, if it has any.
#define ARM_PP_STRIP(x) ARM_PP_IF(ARM_PP_IS_PAREN(x))(ARM_PP_STRIP_PAREN, ARM_PP_STRIP_NONE)(x)
#define ARM_PP_STRIP_PAREN(x) ARM_PP_EXPAND x
#define ARM_PP_STRIP_NONE(x) x
#define ARM_PP_EXPAND(...) __VA_ARGS__
#define ARM_PP_NOTHING(...)

#define ARM_ALWAYS_INLINE __attribute__((always_inline)) inline

// ---------------------------------------------------------------------------------------------
// Field names and value types

#define ARM_BIT_NAME(bit) Bit##bit
#define ARM_BITS_NAME(high, low) Bits##high##_##low
// The name a field slot gives: its name, the name in `(Name, tValue)`, or the derived one for `_`.
#define ARM_FIELD_NAME(slot, derived) \
    ARM_PP_IF(ARM_PP_IS_PAREN(slot))(ARM_FIELD_NAME_TYPED, ARM_FIELD_NAME_PLAIN)(slot, derived)
#define ARM_FIELD_NAME_TYPED(slot, derived) ARM_FIELD_NAME_PLAIN(ARM_PP_FIRST slot, derived)
#define ARM_FIELD_NAME_PLAIN(slot, derived) ARM_PP_IF(ARM_PP_IS_UNNAMED(slot))(derived, slot)
// The value type of a field's writers.
#define ARM_FIELD_VALUE(slot, width, merge) \
    ARM_PP_IF(ARM_PP_IS_PAREN(slot))(ARM_FIELD_VALUE_TYPED, ARM_FIELD_VALUE_NUMBER)(slot, width, merge)
#define ARM_FIELD_VALUE_TYPED(slot, width, merge) ARM_PP_REST slot
#define ARM_FIELD_VALUE_NUMBER(slot, width, merge) ::arm::FieldValue<width, merge>
// How a one-bit number takes its value: by its value type when it has one of its own, else as the
// map's policy says.
#define ARM_ONE_BIT_MERGE(slot) ARM_PP_IF(ARM_PP_IS_PAREN(slot))(ARM_ONE_BIT_MERGE_TYPED, ARM_ONE_BIT_MERGE_PLAIN)(slot)
#define ARM_ONE_BIT_MERGE_TYPED(slot) ::arm::oneBitMerge<ARM_PP_REST slot>()
#define ARM_ONE_BIT_MERGE_PLAIN(slot) ::arm::Merge::kLowBits
#define ARM_FIELD_RESULT(slot, width) \
    ARM_PP_IF(ARM_PP_IS_PAREN(slot))(ARM_FIELD_RESULT_TYPED, ARM_FIELD_RESULT_NUMBER)(slot, width)
#define ARM_FIELD_RESULT_TYPED(slot, width) ARM_PP_REST slot
#define ARM_FIELD_RESULT_NUMBER(slot, width) ::arm::FieldResult<width>
// The width a constant value is checked against: the field's, or none (64) for a field whose value
// type states what its writers take.
#define ARM_FIELD_CHECKED_WIDTH(slot, width) \
    ARM_PP_IF(ARM_PP_IS_PAREN(slot))(ARM_FIELD_CHECKED_WIDTH_TYPED, ARM_FIELD_CHECKED_WIDTH_NUMBER)(width)
#define ARM_FIELD_CHECKED_WIDTH_TYPED(width) 64
#define ARM_FIELD_CHECKED_WIDTH_NUMBER(width) width

// F(Name, bit) or F(Name, high, low), by the number of arguments.
#define ARM_F_BY_ARITY(prefix, ...) ARM_PP_CAT(prefix, ARM_PP_ARITY(__VA_ARGS__))(__VA_ARGS__)

namespace arm {

// What a field's reader returns: a one-bit field a bool, others the narrowest unsigned type.
template <unsigned kClass> struct FieldResultOf { using type = uint64_t; };
template <> struct FieldResultOf<1> { using type = bool; };
template <> struct FieldResultOf<8> { using type = uint8_t; };
template <> struct FieldResultOf<16> { using type = uint16_t; };
template <> struct FieldResultOf<32> { using type = uint32_t; };
template <unsigned kWidth> using FieldResult =
    typename FieldResultOf<kWidth == 1 ? 1 : kWidth <= 8 ? 8 : kWidth <= 16 ? 16 : kWidth <= 32 ? 32 : 64>::type;
// A one-bit field with a value type of its own: a bool sets it for any non-zero value, any other
// type gives it the value's bit 0.
template <class tValue>
constexpr Merge oneBitMerge() {
    return kzhtl::kIsSame<tValue, bool> ? Merge::kFlag : Merge::kBit;
}

// What a field's writer takes: a flag a bool, a number the narrowest unsigned type that holds it.
template <unsigned kWidth, Merge kMerge>
using FieldValue = typename FieldResultOf<kMerge == Merge::kFlag ? 1 : kWidth <= 8 ? 8 : kWidth <= 16 ? 16
                                                                     : kWidth <= 32 ? 32 : 64>::type;

// A constant value wider than its field stops an optimised build here, as the kernel's own field
// helpers do; a value known only at run time is cut to the field's width by the engine.
void constantWiderThanItsField() __attribute__((error("a constant value is wider than its field")));
template <unsigned kWidth>
ARM_ALWAYS_INLINE void checkConstantFits(uint64_t value) {
    if constexpr (kWidth < 64) {
        if (__builtin_constant_p(value) && (value >> kWidth) != 0) constantWiderThanItsField();
    }
}

// The base of every declared register type: the typed field operations over one field.
template <class tSelf>
class DeclaredRegister : public Register {
public:
    using Register::Register;

    tSelf& writeRegister(uint64_t value, tStatus& status, bool force = false) {
        Register::writeRegister(value, status, force);
        return static_cast<tSelf&>(*this);
    }

protected:
    template <class tResult>
    tResult readAt(const FieldDesc& field, tStatus& status) {
        return static_cast<tResult>(readFieldAt(field, status));
    }
    template <class tResult>
    tResult getAt(const FieldDesc& field) const {
        return static_cast<tResult>(getFieldAt(field));
    }
    template <unsigned kWidth>
    ARM_ALWAYS_INLINE tSelf& writeAt(const FieldDesc& field, uint64_t value, tStatus& status, bool force) {
        checkConstantFits<kWidth>(value);
        writeFieldAt(field, value, status, force);
        return static_cast<tSelf&>(*this);
    }
    template <unsigned kWidth>
    ARM_ALWAYS_INLINE tSelf& setAt(const FieldDesc& field, uint64_t value, tStatus& status) {
        checkConstantFits<kWidth>(value);
        setFieldAt(field, value, status);
        return static_cast<tSelf&>(*this);
    }
};

}  // namespace arm

// ---------------------------------------------------------------------------------------------
// Pass 1: one constant type description per register type (`kTypeOf_tName`)

#define ARM_TYPE_OF_R(name, place, width, kind, initial, keep, ...) \
    ARM_TYPE_OF_TYPE(t##name, width, kind, initial, keep, __VA_ARGS__)
#define ARM_TYPE_OF_TYPE(type, width, kind, initial, keep, ...)                                  \
    inline constexpr ::arm::RegisterType kTypeOf_##type = [] {                                   \
        using namespace ::arm::table;                                                            \
        return ::arm::RegisterType(#type, width, kind, initial, keep) __VA_ARGS__;                      \
    }();
#define ARM_TYPE_OF_F(...) ARM_F_BY_ARITY(ARM_TYPE_OF_F, __VA_ARGS__)
#define ARM_TYPE_OF_F2(slot, bit) .add(bit, bit, ARM_ONE_BIT_MERGE(slot))
#define ARM_TYPE_OF_F3(slot, high, low) .add(high, low, ::arm::Merge::kLowBits)
#define ARM_TYPE_OF_FLAG(slot, bit) .add(bit, bit, ::arm::Merge::kFlag)

// Pass 2: the row count
#define ARM_COUNT_ONE(...) +1
#define ARM_COUNT_ARRAY(name, type, place, count, stride) +(count)

// Pass 3: the rows
#define ARM_ROWS_R(name, place, ...) rows.add(kTypeOf_t##name, ::arm::at(ARM_PP_STRIP(place)), 1, 0);
#define ARM_ROWS_REG(name, type, place) rows.add(kTypeOf_##type, ::arm::at(ARM_PP_STRIP(place)), 1, 0);
#define ARM_ROWS_ARRAY(name, type, place, count, stride) \
    rows.add(kTypeOf_##type, ::arm::at(ARM_PP_STRIP(place)), count, stride);

// Pass 4: the register set: nested types with their field accessors, and the getters
#define ARM_SET_R(name, place, width, kind, initial, keep, ...) \
    ARM_SET_CLASS(t##name, __VA_ARGS__)                        \
    ARM_SET_REG(name, t##name, place)
#define ARM_SET_TYPE(type, width, kind, initial, keep, ...) ARM_SET_CLASS(type, __VA_ARGS__)
#define ARM_SET_CLASS(type, ...)                                           \
    class type : public ::arm::DeclaredRegister<type> {                    \
    public:                                                                \
        using DeclaredRegister::DeclaredRegister;                          \
        using tSelfType = type;                                            \
        static constexpr const ::arm::RegisterType& kDeclaredType = kTypeOf_##type; \
        __VA_ARGS__                                                        \
    };
#define ARM_SET_REG(name, type, place) ARM_PP_IF(ARM_PP_IS_UNNAMED(name))(ARM_PP_NOTHING, ARM_SET_REG_)(name, type, place)
#define ARM_SET_REG_(name, type, place)                                                                  \
    ARM_SET_ROW_OF(name, type, place)                                                                    \
    type name() { return type(*this, kRowOf##name); }
#define ARM_SET_ARRAY(name, type, place, count, stride) \
    ARM_PP_IF(ARM_PP_IS_UNNAMED(name))(ARM_PP_NOTHING, ARM_SET_ARRAY_)(name, type, place, count, stride)
#define ARM_SET_ARRAY_(name, type, place, count, stride)                                                 \
    ARM_SET_ROW_OF(name, type, place)                                                                    \
    type name(unsigned i) { return type(*this, i < unsigned(count) ? kRowOf##name + int(i) : -1); }
#define ARM_SET_ROW_OF(name, type, place)                                                                \
    static constexpr int kRowOf##name = ::arm::rowIndex(kRows, kTypeOf_##type, ::arm::at(ARM_PP_STRIP(place))); \
    static_assert(kRowOf##name >= 0, #name " has a row");                                                \
    static constexpr uint32_t kOffsetOf##name = kRows[kRowOf##name].address;                             \
    static constexpr uint32_t kKeyOf##name = kRows[kRowOf##name].key;
#define ARM_SET_F(...) ARM_F_BY_ARITY(ARM_SET_F, __VA_ARGS__)
#define ARM_SET_F2(slot, bit) \
    ARM_FIELD_ACCESSORS(ARM_FIELD_NAME(slot, ARM_BIT_NAME(bit)), slot, bit, 1, ARM_ONE_BIT_MERGE(slot))
#define ARM_SET_F3(slot, high, low)                                                                 \
    ARM_FIELD_ACCESSORS(ARM_FIELD_NAME(slot, ARM_BITS_NAME(high, low)), slot, low, (high) - (low) + 1, \
                        ::arm::Merge::kLowBits)
#define ARM_SET_FLAG(slot, bit) \
    ARM_FIELD_ACCESSORS(ARM_FIELD_NAME(slot, ARM_BIT_NAME(bit)), slot, bit, 1, ::arm::Merge::kFlag)
#define ARM_FIELD_ACCESSORS(name, slot, low, width, merge)                                                   \
    ARM_FIELD_ACCESSORS_(name, ARM_FIELD_VALUE(slot, width, merge), ARM_FIELD_RESULT(slot, width), low, width, \
                         merge, ARM_FIELD_CHECKED_WIDTH(slot, width))
#define ARM_FIELD_ACCESSORS_(name, tValue, tResult, low, width, merge, checked)                              \
    static constexpr ::arm::FieldDesc k##name{low, width, merge};                                            \
    tResult read##name(::nKZAPALS100::tStatus& status) { return readAt<tResult>(k##name, status); }          \
    tResult get##name(const ::nKZAPALS100::tStatus&) const { return getAt<tResult>(k##name); }               \
    ARM_ALWAYS_INLINE tSelfType& write##name(tValue value, ::nKZAPALS100::tStatus& status, bool force = false) { \
        return writeAt<checked>(k##name, uint64_t(value), status, force);                                    \
    }                                                                                                        \
    ARM_ALWAYS_INLINE tSelfType& set##name(tValue value, ::nKZAPALS100::tStatus& status) {                   \
        return setAt<checked>(k##name, uint64_t(value), status);                                             \
    }

// Fields that several registers lay out alike can be one macro taking F, used in each row; so the
// watchdog mode selects of the timing block's output lines:
#define ARM_SIXTEEN_2_BIT_FIELDS(F)                                                                         \
    F(_, 1, 0) F(_, 3, 2) F(_, 5, 4) F(_, 7, 6) F(_, 9, 8) F(_, 11, 10) F(_, 13, 12) F(_, 15, 14) F(_, 17, 16) \
        F(_, 19, 18) F(_, 21, 20) F(_, 23, 22) F(_, 25, 24) F(_, 27, 26) F(_, 29, 28) F(_, 31, 30)

// In a namespace of the map's own: the rows, their count and the register set over `Engine`.
#define ARM_DECLARE_REGISTERS(LIST, Engine)                                                             \
    LIST(ARM_TYPE_OF_R, ARM_TYPE_OF_TYPE, ARM_PP_NOTHING, ARM_PP_NOTHING, ARM_TYPE_OF_F, ARM_TYPE_OF_FLAG) \
    inline constexpr size_t kRowCount =                                                                 \
        0 LIST(ARM_COUNT_ONE, ARM_PP_NOTHING, ARM_COUNT_ONE, ARM_COUNT_ARRAY, ARM_PP_NOTHING, ARM_PP_NOTHING); \
    inline constexpr ::arm::DeclaredRows<kRowCount> kRowTable = [] {                                    \
        ::arm::DeclaredRows<kRowCount> rows{};                                                          \
        LIST(ARM_ROWS_R, ARM_PP_NOTHING, ARM_ROWS_REG, ARM_ROWS_ARRAY, ARM_PP_NOTHING, ARM_PP_NOTHING)  \
        return rows.complete();                                                                         \
    }();                                                                                                \
    inline constexpr const ::arm::RegisterDesc(&kRows)[kRowCount] = kRowTable.rows;                     \
    class tRegisterSet : public Engine {                                                                \
        using tEngine = Engine;                                                                         \
                                                                                                        \
    public:                                                                                             \
        static constexpr size_t kRegisterCount = kRowCount;                                             \
        static constexpr const ::arm::RegisterDesc* kRegisters = kRows;                                 \
        LIST(ARM_SET_R, ARM_SET_TYPE, ARM_SET_REG, ARM_SET_ARRAY, ARM_SET_F, ARM_SET_FLAG)              \
                                                                                                        \
        template <class tType>                                                                          \
        tType at(uint32_t offset, unsigned n = 0) {                                                     \
            return tType(*this, ::arm::rowAt(kRows, tType::kDeclaredType, offset, n));                          \
        }                                                                                               \
                                                                                                        \
    protected:                                                                                          \
        using tEngine::tEngine;                                                                         \
    };

// A register's fields as its reads bring them in, where they differ from the written ones.
#define ARM_READ_SIDE(...) (::arm::ReadLayout{} __VA_ARGS__)

// The map's description and, in its namespace, its register set.
#define ARM_DECLARE_MAP(nMap, LIST, Engine, kMap, version, source, policy) \
    namespace nMap {                                                       \
    ARM_DECLARE_REGISTERS(LIST, Engine)                                    \
    }                                                                      \
    inline constexpr ::arm::MapDesc kMap = ::arm::mapDesc(nMap::kRows, version, source, policy);

namespace arm {

// Row n of a type at an offset, -1 when there is none.
template <size_t N>
constexpr int rowAt(const RegisterDesc (&rows)[N], const RegisterType& type, uint32_t offset, unsigned n) {
    for (size_t i = 0; i < N; ++i)
        if (rows[i].address == offset && sameName(rows[i].typeName, type.name) && n-- == 0) return int(i);
    return -1;
}

// A declared map: its register states, its register set (the engine with the typed registers) and
// the hardware access over the map's accessor.
template <class Set, class Access, const MapDesc& kDesc>
class DeclaredMap : private RegisterStates<Set::kRegisterCount>, public Set {
    static_assert(describes(kDesc, Set::kRegisters, Set::kRegisterCount),
                  "the map's description is made from its register set's rows");

public:
    static constexpr const MapDesc& kDescription = kDesc;

    template <class Accessor>
    explicit DeclaredMap(Accessor* accessor, Window window = kWholeWindow)
        : Set(kDesc, RegisterStates<Set::kRegisterCount>::states, &access_, window), access_(accessor) {}

protected:
    Access access_;
};

}  // namespace arm
