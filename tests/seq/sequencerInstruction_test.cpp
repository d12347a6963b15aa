#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <type_traits>
#include <utility>

#include "dravikTools/sequencerInstruction.h"

using namespace draviktools;

namespace {

// The instruction forms as the sequencer's documentation lists them.
struct FormRow {
    uint64_t constant;
    const char* fields;
};
const FormRow kForms[kSequencerInstructionFormCount] = {
    {0x1D0DFF0200000000, "52-54 0-31"},
    {0x3000000000000000, "55-57 52-54"},
    {0x1C00000000000000, "55-57 52-54 48-51 44-47 40-43 36-39 32-35 0-31"},
    {0x2400000000000000, "55-57 52-54 48-51 44-47 40-43 0-31"},
    {0x2400000400000000, "55-57 52-54 48-51 44-47 40-43 0-31"},
    {0x2400000000000000, "55-57 52-54 48-51 44-47 40-43 32-35 0-31"},
    {0x2400F00600000000, "55-57 52-54 48-51 40-43 0-31"},
    {0x2400000200000000, "55-57 52-54 48-51 44-47 40-43 0-31"},
    {0x2400000500000000, "55-57 52-54 48-51 44-47 40-43 0-31"},
    {0x2400000100000000, "55-57 52-54 48-51 44-47 40-43 0-31"},
    {0x2400000300000000, "55-57 52-54 48-51 44-47 40-43 0-31"},
    {0x0000000000000000, "55-57 52-54"},
    {0x2C0BF00600000000, "55-57 52-54 40-43 0-31"},
    {0x0C00000000000000, "55-57 52-54 48-51 32-47 0-31"},
    {0x0400000000000000, "55-57 52-54 48-51 32-47 0-31"},
    {0x0800000000000000, "55-57 52-54 32-47"},
    {0x1000000000000000, "55-57 52-54 32-47"},
    {0x0400000000000000, "55-57 52-54 48-51 32-47 0-31"},
    {0x0C00000000000000, "55-57 52-54 48-51 32-47 0-31"},
    {0x2400FB0600000000, "55-57 52-54 48-51 0-31"},
    {0x1D8FFF0300000000, "52-54 0-31"},
    {0x2000000000000000, "55-57 52-54 48-51 32-47 0-31"},
    {0x1C00FF0000000000, "55-57 52-54 48-51 32-35 0-31"},
    {0x0000000000000000, "55-57 52-54"},
    {0x1800000000000000, "55-57 52-54 48-51 32-47 0-31"},
    {0x1800000000000000, "55-57 52-54 48-51 32-47 0-31"},
};

const char* const kFieldNames[kSequencerFieldCount] = {"55-57", "52-54", "48-51", "44-47", "40-43",
                                                       "36-39", "32-35", "32-47", "0-31"};

bool listed(const FormRow& row, size_t field) {
    const std::string list = std::string(" ") + row.fields + " ";
    return list.find(std::string(" ") + kFieldNames[field] + " ") != std::string::npos;
}

template <unsigned N, size_t F>
void checkField(const FormRow& row) {
    using Instruction = SequencerInstruction<N>;
    constexpr auto field = static_cast<SequencerField>(F);
    SCOPED_TRACE(std::string("field ") + kFieldNames[F]);
    ASSERT_EQ(Instruction::template has<field>(), listed(row, F));
    if constexpr (Instruction::template has<field>()) {
        const uint64_t mask = sequencerFieldMask(field);
        const uint32_t max = static_cast<uint32_t>(mask >> kSequencerFieldPositions[F].lowestBit);
        Instruction instruction;
        // A value wider than the field is cut to the field: no other bit moves.
        instruction.template set<field>(0xFFFFFFFF);
        EXPECT_EQ(instruction.word(), row.constant | mask);
        EXPECT_EQ(instruction.template get<field>(), max);
        instruction.template set<field>(0x2A5A5A5 & max);
        EXPECT_EQ(instruction.template get<field>(), 0x2A5A5A5 & max);
        EXPECT_EQ(instruction.template set<field>(0).word(), row.constant);
    }
}

template <unsigned N, size_t... F>
void checkForm(std::index_sequence<F...>) {
    const FormRow& row = kForms[N - 1];
    SCOPED_TRACE("SequencerInstruction" + std::to_string(N));
    static_assert(sizeof(SequencerInstruction<N>) == 8);
    EXPECT_EQ(SequencerInstruction<N>().word(), row.constant);
    EXPECT_EQ(SequencerInstruction<N>::kConstant, row.constant);
    EXPECT_EQ(sequencerFormOf(row.constant) != 0, true);
    EXPECT_TRUE(isOfSequencerForm(row.constant, kSequencerInstructionForms[N - 1]));
    (checkField<N, F>(row), ...);
}

template <size_t... N>
void checkAllForms(std::index_sequence<N...>) {
    (checkForm<N + 1>(std::make_index_sequence<kSequencerFieldCount>()), ...);
}

}  // namespace

TEST(SequencerInstruction, EveryFormHasItsConstantAndFields) {
    checkAllForms(std::make_index_sequence<kSequencerInstructionFormCount>());
}

TEST(SequencerInstruction, EndWordOfLocalRam) {
    SequencerInstruction23 end;
    EXPECT_EQ(end.word(), 0x1C00FF0000000000u);
    EXPECT_EQ(end.setBits48_51(15).word(), 0x1C0FFF0000000000u);
    EXPECT_EQ(end.setBits32_35(5).word(), 0x1C0FFF0500000000u);
    EXPECT_EQ(kLocalRamEndWord, 0x1C0FFF0500000000u);

    // The operand setter replaces bits 0-31 only.
    end.setOperand(0xFFFFFFFF);
    EXPECT_EQ(end.bits48_51(), 15u);
    EXPECT_EQ(end.bits32_35(), 5u);
    EXPECT_EQ(end.operand(), 0xFFFFFFFFu);
    EXPECT_EQ(end.setOperand(0).word(), 0x1C0FFF0500000000u);
}

TEST(SequencerInstruction, NamedAccessorsReachTheirBits) {
    SequencerInstruction03 all;
    all.setBits55_57(1).setBits52_54(2).setBits48_51(3).setBits44_47(4);
    all.setBits40_43(5).setBits36_39(6).setBits32_35(7).setOperand(0x89ABCDEF);
    EXPECT_EQ(all.word(), 0x1CA3456789ABCDEFu);
    EXPECT_EQ(all.bits55_57(), 1u);
    EXPECT_EQ(all.bits52_54(), 2u);
    EXPECT_EQ(all.bits48_51(), 3u);
    EXPECT_EQ(all.bits44_47(), 4u);
    EXPECT_EQ(all.bits40_43(), 5u);
    EXPECT_EQ(all.bits36_39(), 6u);
    EXPECT_EQ(all.bits32_35(), 7u);
    EXPECT_EQ(all.operand(), 0x89ABCDEFu);

    SequencerInstruction22 wide;
    wide.setBits32_47(0xBEEF);
    EXPECT_EQ(wide.word(), 0x2000BEEF00000000u);
    EXPECT_EQ(wide.bits32_47(), 0xBEEF);
    static_assert(std::is_same_v<decltype(wide.bits32_47()), uint16_t>);
}

TEST(SequencerInstruction, FormsWithEqualLayoutsStayDistinctTypes) {
    static_assert(!std::is_same_v<SequencerInstruction04, SequencerInstruction06>);
    static_assert(!std::is_same_v<SequencerInstruction14, SequencerInstruction19>);
    static_assert(!std::is_same_v<SequencerInstruction15, SequencerInstruction18>);
    static_assert(!std::is_same_v<SequencerInstruction25, SequencerInstruction26>);
    static_assert(!std::is_same_v<SequencerInstruction12, SequencerInstruction24>);
    SUCCEED();
}

TEST(SequencerInstruction, ClassifiesWordsByForm) {
    struct Case {
        uint64_t word;
        bool ofSomeForm;
    };
    const Case cases[] = {
        {0x1C0FFF0500000000, true},   // the end word
        {0x1D8FFF03DEADBEEF, true},   // 21 with an operand
        {0x1D9FFF0300000000, true},   // 21 with 48-51 changed is still of form 03
        {0x2C0CF00600000000, false},  // 13 with its fixed 48-51 changed
        {0x1400000000000000, false},  // opcode 5 belongs to no form
        {0x2C0BF01600000000, false},  // 13 with bits 36-39 set
        {0x3000000000000001, false},  // 02 has no operand
        {0x2400001000000000, false},  // no opcode-9 form has bits 36-39
        {0x2400E00600000000, true},   // 06: bits 44-47 and 32-35 are both fields
        {0x0800000100000000, true},   // 16: bits 32-47 is a field
        {0x0801000000000000, false},  // 16 has no field at 48-51
        {0x0000000000000000, true},   // 12 and 24
    };
    for (const Case& c : cases) {
        EXPECT_EQ(sequencerFormOf(c.word) != 0, c.ofSomeForm) << std::hex << c.word;
    }
}
