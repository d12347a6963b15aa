// The 64-bit instruction words of the channel sequencers, one value class per instruction form.
// Header-only constexpr code with no run-time dependencies, so the host tools that build
// subroutine packages encode words with exactly these classes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace draviktools {

// The variable field positions; the opcode (bits 58-63) is always fixed by the form.
enum class SequencerField : uint8_t {
    kBits55_57,
    kBits52_54,
    kBits48_51,
    kBits44_47,
    kBits40_43,
    kBits36_39,
    kBits32_35,
    kBits32_47,
    kOperand,
};
constexpr size_t kSequencerFieldCount = 9;

struct SequencerFieldPosition {
    uint8_t lowestBit;
    uint8_t width;
};

constexpr SequencerFieldPosition kSequencerFieldPositions[kSequencerFieldCount] = {
    {55, 3}, {52, 3}, {48, 4}, {44, 4}, {40, 4}, {36, 4}, {32, 4}, {32, 16}, {0, 32},
};

constexpr uint64_t sequencerFieldMask(SequencerField field) {
    const SequencerFieldPosition p = kSequencerFieldPositions[static_cast<size_t>(field)];
    return ((uint64_t{1} << p.width) - 1) << p.lowestBit;
}

// Set of fields of one form: bit n stands for SequencerField n.
using SequencerFieldSet = uint16_t;

constexpr SequencerFieldSet fieldBit(SequencerField field) {
    return static_cast<SequencerFieldSet>(1u << static_cast<unsigned>(field));
}

struct SequencerInstructionForm {
    uint64_t constant;
    SequencerFieldSet fields;
};

constexpr size_t kSequencerInstructionFormCount = 26;

namespace sequencer_forms {
constexpr SequencerFieldSet k55 = fieldBit(SequencerField::kBits55_57);
constexpr SequencerFieldSet k52 = fieldBit(SequencerField::kBits52_54);
constexpr SequencerFieldSet k48 = fieldBit(SequencerField::kBits48_51);
constexpr SequencerFieldSet k44 = fieldBit(SequencerField::kBits44_47);
constexpr SequencerFieldSet k40 = fieldBit(SequencerField::kBits40_43);
constexpr SequencerFieldSet k36 = fieldBit(SequencerField::kBits36_39);
constexpr SequencerFieldSet k32 = fieldBit(SequencerField::kBits32_35);
constexpr SequencerFieldSet k32_47 = fieldBit(SequencerField::kBits32_47);
constexpr SequencerFieldSet kOp = fieldBit(SequencerField::kOperand);

// Row n-1 describes SequencerInstructionNN: the word a fresh instruction holds and its fields.
constexpr SequencerInstructionForm kTable[kSequencerInstructionFormCount] = {
    // constant          fields
    {0x1D0DFF0200000000, k52 | kOp},                                                  // 01
    {0x3000000000000000, k55 | k52},                                                  // 02
    {0x1C00000000000000, k55 | k52 | k48 | k44 | k40 | k36 | k32 | kOp},              // 03
    {0x2400000000000000, k55 | k52 | k48 | k44 | k40 | kOp},                          // 04
    {0x2400000400000000, k55 | k52 | k48 | k44 | k40 | kOp},                          // 05
    {0x2400000000000000, k55 | k52 | k48 | k44 | k40 | k32 | kOp},                    // 06
    {0x2400F00600000000, k55 | k52 | k48 | k40 | kOp},                                // 07
    {0x2400000200000000, k55 | k52 | k48 | k44 | k40 | kOp},                          // 08
    {0x2400000500000000, k55 | k52 | k48 | k44 | k40 | kOp},                          // 09
    {0x2400000100000000, k55 | k52 | k48 | k44 | k40 | kOp},                          // 10
    {0x2400000300000000, k55 | k52 | k48 | k44 | k40 | kOp},                          // 11
    {0x0000000000000000, k55 | k52},                                                  // 12
    {0x2C0BF00600000000, k55 | k52 | k40 | kOp},                                      // 13
    {0x0C00000000000000, k55 | k52 | k48 | k32_47 | kOp},                             // 14
    {0x0400000000000000, k55 | k52 | k48 | k32_47 | kOp},                             // 15
    {0x0800000000000000, k55 | k52 | k32_47},                                         // 16
    {0x1000000000000000, k55 | k52 | k32_47},                                         // 17
    {0x0400000000000000, k55 | k52 | k48 | k32_47 | kOp},                             // 18
    {0x0C00000000000000, k55 | k52 | k48 | k32_47 | kOp},                             // 19
    {0x2400FB0600000000, k55 | k52 | k48 | kOp},                                      // 20
    {0x1D8FFF0300000000, k52 | kOp},                                                  // 21
    {0x2000000000000000, k55 | k52 | k48 | k32_47 | kOp},                             // 22
    {0x1C00FF0000000000, k55 | k52 | k48 | k32 | kOp},                                // 23
    {0x0000000000000000, k55 | k52},                                                  // 24
    {0x1800000000000000, k55 | k52 | k48 | k32_47 | kOp},                             // 25
    {0x1800000000000000, k55 | k52 | k48 | k32_47 | kOp},                             // 26
};
}  // namespace sequencer_forms

inline constexpr const SequencerInstructionForm (&kSequencerInstructionForms)[kSequencerInstructionFormCount] =
    sequencer_forms::kTable;

constexpr uint64_t sequencerFieldsMask(SequencerFieldSet fields) {
    uint64_t mask = 0;
    for (size_t f = 0; f < kSequencerFieldCount; ++f) {
        const auto field = static_cast<SequencerField>(f);
        if (fields & fieldBit(field)) mask |= sequencerFieldMask(field);
    }
    return mask;
}

// A word is of a form when every bit outside the form's fields equals the form's constant.
constexpr bool isOfSequencerForm(uint64_t word, const SequencerInstructionForm& form) {
    return (word & ~sequencerFieldsMask(form.fields)) == form.constant;
}

// Number (1-26) of the first form the word is of, or 0 for a word of no form.
constexpr unsigned sequencerFormOf(uint64_t word) {
    for (size_t n = 0; n < kSequencerInstructionFormCount; ++n) {
        if (isOfSequencerForm(word, kSequencerInstructionForms[n])) return static_cast<unsigned>(n + 1);
    }
    return 0;
}

namespace sequencer_forms {
constexpr uint64_t kOpcodeMask = uint64_t{0x3F} << 58;

constexpr bool isWellFormed(const SequencerInstructionForm& form) {
    uint64_t taken = kOpcodeMask;
    for (size_t f = 0; f < kSequencerFieldCount; ++f) {
        const auto field = static_cast<SequencerField>(f);
        if (!(form.fields & fieldBit(field))) continue;
        const uint64_t mask = sequencerFieldMask(field);
        if (taken & mask) return false;
        taken |= mask;
    }
    return (form.constant & sequencerFieldsMask(form.fields)) == 0;
}

constexpr bool allWellFormed() {
    for (const SequencerInstructionForm& form : kTable) {
        if (!isWellFormed(form)) return false;
    }
    return true;
}

constexpr size_t formsWithField(SequencerField field) {
    size_t n = 0;
    for (const SequencerInstructionForm& form : kTable) n += (form.fields & fieldBit(field)) != 0;
    return n;
}

// Forms in which the position is no field and the constant holds a non-zero value there.
constexpr size_t formsFixing(SequencerField field) {
    size_t n = 0;
    for (const SequencerInstructionForm& form : kTable) {
        n += !(form.fields & fieldBit(field)) && (form.constant & sequencerFieldMask(field)) != 0;
    }
    return n;
}

// How many forms have each field, and fix a value there, per the sequencer's documentation: a
// slip in the table above fails the build.
static_assert(allWellFormed(), "fields overlap each other, the opcode or a fixed bit");
static_assert(formsWithField(SequencerField::kBits55_57) == 24 && formsFixing(SequencerField::kBits55_57) == 2);
static_assert(formsWithField(SequencerField::kBits52_54) == 26);
static_assert(formsWithField(SequencerField::kBits48_51) == 18 && formsFixing(SequencerField::kBits48_51) == 3);
static_assert(formsWithField(SequencerField::kBits44_47) == 8 && formsFixing(SequencerField::kBits44_47) == 6);
static_assert(formsWithField(SequencerField::kBits40_43) == 10 && formsFixing(SequencerField::kBits40_43) == 4);
static_assert(formsWithField(SequencerField::kBits36_39) == 1);
static_assert(formsWithField(SequencerField::kBits32_35) == 3 && formsFixing(SequencerField::kBits32_35) == 10);
static_assert(formsWithField(SequencerField::kBits32_47) == 9);
static_assert(formsWithField(SequencerField::kOperand) == 21);
}  // namespace sequencer_forms

// One instruction word of form Number. Setters mask the value to the field's width, so a value
// too wide for its field can never reach a neighbouring field or the opcode.
template <unsigned Number>
class SequencerInstruction {
    static_assert(Number >= 1 && Number <= kSequencerInstructionFormCount, "forms are numbered 1 to 26");
    static constexpr SequencerInstructionForm kForm = kSequencerInstructionForms[Number - 1];

public:
    static constexpr uint64_t kConstant = kForm.constant;

    constexpr SequencerInstruction() = default;

    constexpr uint64_t word() const { return word_; }

    constexpr uint32_t bits55_57() const { return get<SequencerField::kBits55_57>(); }
    constexpr uint32_t bits52_54() const { return get<SequencerField::kBits52_54>(); }
    constexpr uint32_t bits48_51() const { return get<SequencerField::kBits48_51>(); }
    constexpr uint32_t bits44_47() const { return get<SequencerField::kBits44_47>(); }
    constexpr uint32_t bits40_43() const { return get<SequencerField::kBits40_43>(); }
    constexpr uint32_t bits36_39() const { return get<SequencerField::kBits36_39>(); }
    constexpr uint32_t bits32_35() const { return get<SequencerField::kBits32_35>(); }
    constexpr uint16_t bits32_47() const { return static_cast<uint16_t>(get<SequencerField::kBits32_47>()); }
    constexpr uint32_t operand() const { return get<SequencerField::kOperand>(); }

    constexpr SequencerInstruction& setBits55_57(uint32_t v) { return set<SequencerField::kBits55_57>(v); }
    constexpr SequencerInstruction& setBits52_54(uint32_t v) { return set<SequencerField::kBits52_54>(v); }
    constexpr SequencerInstruction& setBits48_51(uint32_t v) { return set<SequencerField::kBits48_51>(v); }
    constexpr SequencerInstruction& setBits44_47(uint32_t v) { return set<SequencerField::kBits44_47>(v); }
    constexpr SequencerInstruction& setBits40_43(uint32_t v) { return set<SequencerField::kBits40_43>(v); }
    constexpr SequencerInstruction& setBits36_39(uint32_t v) { return set<SequencerField::kBits36_39>(v); }
    constexpr SequencerInstruction& setBits32_35(uint32_t v) { return set<SequencerField::kBits32_35>(v); }
    constexpr SequencerInstruction& setBits32_47(uint32_t v) { return set<SequencerField::kBits32_47>(v); }
    constexpr SequencerInstruction& setOperand(uint32_t v) { return set<SequencerField::kOperand>(v); }

    // Field access by position, for code that walks the form table.
    template <SequencerField F>
    static constexpr bool has() {
        return (kForm.fields & fieldBit(F)) != 0;
    }

    template <SequencerField F>
    constexpr uint32_t get() const {
        static_assert(has<F>(), "the form has no such field");
        return static_cast<uint32_t>((word_ & sequencerFieldMask(F)) >> lowestBit(F));
    }

    template <SequencerField F>
    constexpr SequencerInstruction& set(uint32_t value) {
        static_assert(has<F>(), "the form has no such field");
        word_ = (word_ & ~sequencerFieldMask(F)) | ((uint64_t{value} << lowestBit(F)) & sequencerFieldMask(F));
        return *this;
    }

private:
    static constexpr unsigned lowestBit(SequencerField f) {
        return kSequencerFieldPositions[static_cast<size_t>(f)].lowestBit;
    }

    uint64_t word_ = kConstant;
};

using SequencerInstruction01 = SequencerInstruction<1>;
using SequencerInstruction02 = SequencerInstruction<2>;
using SequencerInstruction03 = SequencerInstruction<3>;
using SequencerInstruction04 = SequencerInstruction<4>;
using SequencerInstruction05 = SequencerInstruction<5>;
using SequencerInstruction06 = SequencerInstruction<6>;
using SequencerInstruction07 = SequencerInstruction<7>;
using SequencerInstruction08 = SequencerInstruction<8>;
using SequencerInstruction09 = SequencerInstruction<9>;
using SequencerInstruction10 = SequencerInstruction<10>;
using SequencerInstruction11 = SequencerInstruction<11>;
using SequencerInstruction12 = SequencerInstruction<12>;
using SequencerInstruction13 = SequencerInstruction<13>;
using SequencerInstruction14 = SequencerInstruction<14>;
using SequencerInstruction15 = SequencerInstruction<15>;
using SequencerInstruction16 = SequencerInstruction<16>;
using SequencerInstruction17 = SequencerInstruction<17>;
using SequencerInstruction18 = SequencerInstruction<18>;
using SequencerInstruction19 = SequencerInstruction<19>;
using SequencerInstruction20 = SequencerInstruction<20>;
using SequencerInstruction21 = SequencerInstruction<21>;
using SequencerInstruction22 = SequencerInstruction<22>;
using SequencerInstruction23 = SequencerInstruction<23>;
using SequencerInstruction24 = SequencerInstruction<24>;
using SequencerInstruction25 = SequencerInstruction<25>;
using SequencerInstruction26 = SequencerInstruction<26>;

// The word setup level 10 writes at the last local-RAM address.
constexpr uint64_t kLocalRamEndWord = SequencerInstruction23().setBits48_51(15).setBits32_35(5).word();

}  // namespace draviktools
